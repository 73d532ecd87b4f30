#include "help/help.h"
#include "support/window_harness.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

void write_file(const QString& dir, const QString& name, const QByteArray& utf8) {
    QFile f(QDir(dir).filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(utf8);
}

const QByteArray kHelp =
    "はじめに\n<common>\n共通の説明\nです\n<list>\n一覧\n<folder>\nフォルダー\n<fields>\n"
    "宛先\n<body>\n本文\n<address>\nアドレス帳\n";

}  // namespace

TEST(HelpFile, SectionsFollowTheMarkersAndJoinTheirLines) {
    const HelpSections s = parse_help(QString::fromUtf8(kHelp).split(QLatin1Char('\n')));
    EXPECT_EQ(s[0], QStringLiteral("はじめに"));
    EXPECT_EQ(s[1], QStringLiteral("共通の説明です"));
    EXPECT_EQ(s[2], QStringLiteral("一覧"));
    EXPECT_EQ(s[6], QStringLiteral("アドレス帳"));
    EXPECT_TRUE(s[7].isEmpty());
}

TEST(HelpFile, OddLayouts) {
    // No marker: everything is the lead-in.
    HelpSections s = parse_help({QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_EQ(s[0], QStringLiteral("ab"));
    EXPECT_TRUE(s[1].isEmpty());

    // Two markers in a row: the second is the first text line of the section the first began.
    s = parse_help({QStringLiteral("<1>"), QStringLiteral("<x>"), QStringLiteral("t")});
    EXPECT_EQ(s[1], QStringLiteral("<x>t"));
    EXPECT_TRUE(s[2].isEmpty());

    // A closing marker right after a marker is dropped with the line after it.
    s = parse_help({QStringLiteral("<1>"), QStringLiteral("</1>"), QStringLiteral("lost"),
                    QStringLiteral("kept")});
    EXPECT_EQ(s[1], QStringLiteral("kept"));

    // A closing marker met as an ordinary line starts the next section.
    s = parse_help({QStringLiteral("<1>"), QStringLiteral("one"), QStringLiteral("</1>"),
                    QStringLiteral("two")});
    EXPECT_EQ(s[1], QStringLiteral("one"));
    EXPECT_EQ(s[2], QStringLiteral("two"));

    // A marker, or a closing marker after a marker, on the last line reads nothing past the end.
    s = parse_help({QStringLiteral("a"), QStringLiteral("<1>")});
    EXPECT_EQ(s[0], QStringLiteral("a"));
    EXPECT_TRUE(s[1].isEmpty());
    s = parse_help({QStringLiteral("<1>"), QStringLiteral("x"), QStringLiteral("<2>"),
                    QStringLiteral("</2>")});
    EXPECT_EQ(s[1], QStringLiteral("x"));
    EXPECT_TRUE(s[2].isEmpty());

    // Markers past the tenth keep their text in section 10.
    QStringList many;
    for (int i = 1; i <= 12; ++i) many << QStringLiteral("<%1>").arg(i) << QString::number(i);
    s = parse_help(many);
    EXPECT_EQ(s[9], QStringLiteral("9"));
    EXPECT_EQ(s[10], QStringLiteral("101112"));
}

TEST(HelpCommand, F1SpeaksTheFocusedAreaThenTheCommonHelp) {
    WindowHarness h;
    write_file(h.dataDir(), QStringLiteral("help.txt"), kHelp);
    ASSERT_GT(h.seed().insertAccount(
                  {"pop.example.test", "smtp.example.test", "u", "p", "u@example.test", "n", "t"}),
              0);
    ASSERT_TRUE(h.start());

    // As before any area has had the focus (the offscreen window hands the focus to a list as it
    // is activated, which a user's desktop need not do).
    h.focus().help_context = 0;
    h.mark();
    h.key(Qt::Key_F1);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{QStringLiteral("はじめに"), QStringLiteral("共通の説明です")}));
    EXPECT_EQ(h.w().cmd_message->text(), QStringLiteral("ヘルプ"));

    h.focus(h.w().List2);
    EXPECT_EQ(h.focus().help_context, 6);
    h.mark();
    h.key(Qt::Key_F1);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{QStringLiteral("アドレス帳"), QStringLiteral("共通の説明です")}));

    h.focus(h.w().body);
    h.mark();
    h.key(Qt::Key_F1);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{QStringLiteral("本文"), QStringLiteral("共通の説明です")}));
}

TEST(HelpCommand, AMissingHelpFileIsSaidAndTheProgramGoesOn) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    const QString missing = QStringLiteral("ヘルプのファイル help.txt が読めません。");
    const QStringList said = h.spoken();
    ASSERT_FALSE(said.isEmpty());
    EXPECT_EQ(said.front(), QStringLiteral("09時05分"));
    EXPECT_TRUE(std::any_of(said.begin(), said.end(),
                            [&](const QString& s) { return s.startsWith(missing); }));

    h.mark();
    h.key(Qt::Key_F1);
    const QStringList f1 = h.spokenSinceMark();
    ASSERT_EQ(f1.size(), 1);
    EXPECT_TRUE(f1.front().startsWith(missing));
}

TEST(HelpCommand, TheHtmlManualOpensFromBesideTheProgram) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.mark();
    h.trigger(QStringLiteral("htmlhelp"));
    EXPECT_TRUE(h.opener.opened.isEmpty());  // not there: said, not handed to the browser
    ASSERT_EQ(h.spokenSinceMark().size(), 1);

    write_file(h.dataDir(), QStringLiteral("はじめにお読みください.html"), "<html></html>");
    h.trigger(QStringLiteral("htmlhelp"));
    EXPECT_EQ(
        h.opener.opened,
        QStringList{QDir(h.dataDir()).filePath(QStringLiteral("はじめにお読みください.html"))});
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());
}

TEST(ShippedHelp, EveryAreaHasItsKeys) {
    QFile f(QStringLiteral(QV_SOURCE_DIR "/data/help.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const HelpSections s = parse_help(QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')));
    const QStringList keys[] = {
        {},
        // The common part also names the voice's own keys and where its settings are.
        {QStringLiteral("F1"), QStringLiteral("TAB"), QStringLiteral("コントロールキーだけ"),
         QStringLiteral("F2キー"), QStringLiteral("シフトキーとF2キー"),
         QStringLiteral("音声の設定")},
        {QStringLiteral("ENTER"), QStringLiteral("INS"), QStringLiteral("DEL"),
         QStringLiteral("ESC"), QStringLiteral("SPACE")},
        {QStringLiteral("ENTER")},
        {QStringLiteral("TAB")},
        {QStringLiteral("INS"), QStringLiteral("ENTER"), QStringLiteral("ESC")},
        {QStringLiteral("DEL"), QStringLiteral("ESC")},
    };
    for (int i = 0; i <= 6; ++i) {
        EXPECT_FALSE(s[i].isEmpty()) << "section " << i;
        for (const QString& key : keys[i]) {
            EXPECT_TRUE(s[i].contains(key)) << "section " << i << " lacks " << key.toStdString();
        }
    }
    for (int i = 7; i <= 10; ++i) EXPECT_TRUE(s[i].isEmpty()) << "section " << i;
}

TEST(ShippedHelp, TheManualCoversAccountsServersAndOptions) {
    QFile f(QStringLiteral(QV_SOURCE_DIR "/data/はじめにお読みください.html"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    for (const char* needed :
         {"<html lang=\"ja\">", "アカウント一覧", "既定に設定", "pop3://", "pop3s://", "smtp://",
          "smtps://", "STARTTLS", "--data-dir", "--speech auto|openjtalk|qt|transcript",
          "--speech-log", "音声メッセージ", "F1", "SPACE", "Ctrl</kbd>+<kbd>TAB", "<kbd>F2</kbd>",
          "<kbd>Shift</kbd>+<kbd>F2</kbd>", "音声の設定"}) {
        EXPECT_TRUE(html.contains(QString::fromUtf8(needed))) << needed;
    }
}
