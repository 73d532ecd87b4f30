// HTML mail to text: the shape a listener needs, the parser's entities, the declared charset,
// and hostile bodies (built ones and what the fuzzers found in tests/data/fuzz/html) read in
// bounded time without losing what follows the trap.
#include "mail/html_text.h"
#include "support/hostile_html.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <time.h>
#include <cctype>
#include <string>
#include <vector>

namespace {

using qv::mail::html_declared_charset;
using qv::mail::html_to_text;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST(HtmlTextTest, KeepsTheTextAndItsShape) {
    const std::pair<const char*, const char*> cases[] = {
        {"<pre>a  b\n  c</pre><p>x</p>", "a  b\n  c\n\nx"},
        {"<table><tr><td>1</td><td>2</td></tr><tr><td>3</td></tr></table>", "1 2\n3"},
        {"<table><tr><th>a<th>b<tr><td>c<td>d</table>after", "a b\nc d\n\nafter"},
        {"<ul><li>one<li>two</ul><ol><li>three</ol>", "・one\n・two\n\n・three"},
        {"a<br>b<br/><br>c", "a\nb\n\nc"},
        {"<div>a</div><div>b</div><p>c</p><h2>d</h2>e", "a\nb\n\nc\n\nd\n\ne"},
        {"<STYLE>x{}</STYLE><Body>Big   <B>bold</B>\n text</Body>", "Big bold text"},
        {"<html><head><title>t</title><meta charset=utf-8></head><body>shown", "shown"},
        {"before<script>never()", "before"},
        {"<!-- hidden -->shown<!-- unclosed", "shown"},
        {"a < b &amp;&amp; c > d", "a < b && c > d"},
        {"<a href=\"x>y\" title='>'>link</a> text", "link text"},
        {"x&nbsp;&nbsp;y &copy;&hellip;&mdash;&yen;&rarr;&#x2460;&#12354;", "x  y ©…—¥→①あ"},
        {"&bogus; &#0;&#65;", "&bogus; A"},
        {"https://example.com/a_b-c?x='1'&amp;y=\"2\"", "https://example.com/a_b-c?x='1'&y=\"2\""},
    };
    for (const auto& [html, text] : cases) {
        EXPECT_EQ(html_to_text(QString::fromUtf8(html)), QString::fromUtf8(text)) << html;
    }
}

TEST(HtmlTextTest, DropsWhatAParserRefusesCharacterByCharacter) {
    const QString html = QStringLiteral("a") + QChar(0) + QStringLiteral("b\u0001c\uFFFEd\fe");
    EXPECT_EQ(html_to_text(html), QStringLiteral("abcd e"));
}

TEST(HtmlTextTest, ReadsANewsletterWithoutItsMachinery) {
    QFile file(QStringLiteral(QV_TEST_DATA_DIR "/html/newsletter.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = html_to_text(QString::fromUtf8(file.readAll()));
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("今月のおすすめと会員限定セールのお知らせです。\n\nExample "
                                       "Shop 月刊ニュースレター\n\n第1回")))
        << text.left(200).toStdString();
    EXPECT_TRUE(
        text.endsWith(QStringLiteral("配信停止 | プライバシーポリシー\n\n"
                                     "© 2026 Example Shop, Inc. 東京都千代田区1-2-3")))
        << text.right(200).toStdString();
    for (const char* machinery : {"mso-", "{", "utm_", "月刊ニュースレター 2026年12月号"}) {
        EXPECT_FALSE(text.contains(QString::fromUtf8(machinery))) << machinery;
    }
}

TEST(HtmlTextTest, FindsTheDeclaredCharset) {
    const std::pair<const char*, const char*> cases[] = {
        {"<meta charset=\"Shift_JIS\">", "shift_jis"},
        {"<meta http-equiv=Content-Type content='text/html; charset=euc-jp'>", "euc-jp"},
        {"<html><head><style>p{}</style><META CHARSET=ISO-2022-JP></head>", "iso-2022-jp"},
        {"<p>no charset here</p>", ""},
        {"<body><p>charset=utf-8 in the text</p><meta charset=x>", ""},
    };
    for (const auto& [html, charset] : cases) {
        EXPECT_EQ(html_declared_charset(html), QByteArray(charset)) << html;
    }
}

class HostileHtmlTest : public ::testing::TestWithParam<int> {};

TEST_P(HostileHtmlTest, BecomesTextWithinASecond) {
    const qv::test::HostileHtml hostile = qv::test::hostile_html(GetParam());
    const double start = cpu_seconds();
    const QString text = html_to_text(hostile.html);
    EXPECT_LT(cpu_seconds() - start, 1.0);
    EXPECT_TRUE(text.contains(hostile.survives)) << text.left(200).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Built, HostileHtmlTest, ::testing::Range(0, qv::test::kHostileHtmlKinds),
                         [](const auto& info) {
                             std::string name = qv::test::kHostileHtmlNames[info.param];
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

std::vector<std::string> fuzz_found() {
    std::vector<std::string> names;
    const QDir dir(QStringLiteral(QV_TEST_DATA_DIR "/fuzz/html"));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        names.push_back(name.toStdString());
    }
    return names;
}

class FuzzFoundHtmlTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzFoundHtmlTest, BecomesTextInBoundedTime) {
    QFile file(QStringLiteral(QV_TEST_DATA_DIR "/fuzz/html/") + QString::fromStdString(GetParam()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const double start = cpu_seconds();
    html_declared_charset(bytes);
    html_to_text(QString::fromUtf8(bytes));
    EXPECT_LT(cpu_seconds() - start, 1.5);
}

INSTANTIATE_TEST_SUITE_P(Html, FuzzFoundHtmlTest, ::testing::ValuesIn(fuzz_found()),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzFoundHtmlTest);

}  // namespace
