// ReadMail on the mail corpus in tests/data/mail: every file decoded to the exact text a user
// must hear, the first attachment saved under its decoded, safe name, and malformed input read
// without a crash or a hang.
#include "mail/curl_mail_component.h"
#include "support/fakes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

namespace {

QString corpus(const char* name) {
    return QStringLiteral(QV_TEST_DATA_DIR "/mail/") + QString::fromUtf8(name);
}

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write_file(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

class ReadMailTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    std::optional<qv::ParsedMail> read(const QString& file) {
        return mail_.ReadMail(file, dir_.path());
    }
    // Where an attachment of `mail` is saved.
    QString saved(const char* mail, const char* name) const {
        return QDir(qv::attachment_dir(dir_.path(), QString::fromUtf8(mail)))
            .filePath(QString::fromUtf8(name));
    }
    QString saved(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }

    QTemporaryDir dir_;
    qv::test::RecordingPauser pauser_;
    qv::CurlMailComponent mail_{pauser_};
};

struct Golden {
    const char* file;
    const char* subject;
    const char* from;
    const char* date;
    const char* body;
    const char* attachment;  // saved name, or nullptr when the mail has none
};

const char* const kDate = "Tue, 01 Dec 2026 10:00:00 +0900";

const Golden kCorpus[] = {
    {"iso2022jp_cp50220.eml", "【案件①】見積～Ⅱ㈱髙島屋", "髙橋 一郎 <takahashi@example.test>",
     kDate, "髙橋です。\n①会議は３時～５時です。\nⅡ．㈱サンプル", nullptr},
    {"shift_jis_8bit.eml", "売上表①", "営業部 <sales@example.test>", kDate,
     "表示テスト①～\nｶﾀｶﾅ半角", nullptr},
    {"euc_jp_8bit.eml", "ＥＵＣの件名①", "euc@example.test", kDate,
     "日本語のＥＵＣ本文～です。\nｶﾅも。", nullptr},
    {"utf8_quoted_printable.eml", "Café メニュー", "Jürgen Test <jurgen@example.com>", kDate,
     "あいうえお、かきくけこ。さしすせそ、たちつてと。なにぬねの、はひふへほ。\n二行目です。",
     nullptr},
    {"iso2022jp_label_utf8_bytes.eml", "件名もUTF-8", "liar@example.test", kDate,
     "ラベルはJISだが中身はUTF-8です。", nullptr},
    {"raw_8bit_headers_sjis.eml", "生の表ヘッダー", "計算担当表 <hyou@example.test>",
     "Wed, 02 Dec 2026 09:30:00 +0900", "文字コードの指定がない本文です。", nullptr},
    {"raw_8bit_headers_utf8.eml", "生のUTF-8件名", "山田 太郎 <yamada@example.test>",
     "Wed, 02 Dec 2026 09:31:00 +0900", "ヘッダーも本文もUTF-8のまま。", nullptr},
    {"html_only.eml", "HTML only", "html@example.test", kDate,
     "こんにちは 世界 & <tag>\n\n二段落目ああ\n改行後\n\n・項目一\n・項目二", nullptr},
    {"html_meta_charset_sjis.eml", "Meta charset", "Comment Name <sender@example.test>", kDate,
     "メタ指定のみ©2026", nullptr},
    {"multipart_alternative.eml", "代替パート", "Alt Sender <alt@example.test>", kDate,
     "プレーンテキスト版です。", nullptr},
    {"inline_image_related.eml", "Inline", "news@example.test", kDate, "ロゴ付きのお知らせ",
     nullptr},
    {"attachment_rfc2231_japanese_name.eml", "RFC 2231", "attach@example.test", kDate,
     "添付をご確認ください。", "見積書①.pdf"},
    {"attachment_rfc2231_continuation.eml", "RFC 2231 continuation", "attach@example.test", kDate,
     "添付をご確認ください。", "議事録（第２回）.txt"},
    {"attachment_rfc2047_name.eml", "RFC 2047 name", "attach@example.test", kDate,
     "添付をご確認ください。", "資料①.xlsx"},
    {"attachment_path_traversal.eml", "Traversal", "attach@example.test", kDate, "危ない名前の添付",
     "evil.sh"},
    {"forwarded_rfc822.eml", "Fwd", "fwd@example.test", kDate, "転送します。", "message.eml"},
    {"missing_headers.eml", "", "", "", "body only", nullptr},
    {"broken_base64.eml", "Broken base64", "broken@example.test", kDate,
     "壊れたBase64でも読める部分です", nullptr},
    {"truncated_multipart.eml", "Truncated", "cut@example.test", kDate, "切れたマルチパート",
     "data.bin"},
    {"nul_bytes.eml", "NUL", "nul@example.test", kDate, "前後", nullptr},
};

void PrintTo(const Golden& g, std::ostream* os) { *os << g.file; }

class CorpusTest : public ReadMailTest, public ::testing::WithParamInterface<Golden> {};

TEST_P(CorpusTest, DecodesToTheExactText) {
    const Golden& g = GetParam();
    const auto mail = read(corpus(g.file));
    ASSERT_TRUE(mail.has_value()) << mail_.lastError().toStdString();
    EXPECT_EQ(mail->subject, QString::fromUtf8(g.subject));
    EXPECT_EQ(mail->sender, QString::fromUtf8(g.from));
    EXPECT_EQ(mail->date, QString::fromUtf8(g.date));
    EXPECT_EQ(mail->body, QString::fromUtf8(g.body));
    if (g.attachment) {
        const QString path = saved(g.file, g.attachment);
        EXPECT_EQ(mail->attachment, path);
        EXPECT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
        EXPECT_TRUE(QFileInfo(path).isAbsolute());
    } else {
        EXPECT_EQ(mail->attachment, QString());
    }
    // Nothing lands in the folder itself.
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTest, ::testing::ValuesIn(kCorpus),
                         [](const ::testing::TestParamInfo<Golden>& info) {
                             QString name = QString::fromLatin1(info.param.file);
                             name.chop(4);
                             return name.toStdString();
                         });

TEST_F(ReadMailTest, SavesAttachmentBytesExactly) {
    ASSERT_TRUE(read(corpus("attachment_rfc2231_japanese_name.eml")));
    EXPECT_EQ(file_bytes(saved("attachment_rfc2231_japanese_name", "見積書①.pdf")),
              QByteArray("%PDF-1.4\n% test attachment\n\x00\x01\x02\xff\n%%EOF\n", 38));

    ASSERT_TRUE(read(corpus("attachment_rfc2231_continuation.eml")));
    EXPECT_EQ(file_bytes(saved("attachment_rfc2231_continuation", "議事録（第２回）.txt")),
              QByteArray("議事録の本文\n"));

    ASSERT_TRUE(read(corpus("forwarded_rfc822.eml")));
    const QByteArray forwarded = file_bytes(saved("forwarded_rfc822", "message.eml"));
    EXPECT_TRUE(forwarded.contains("Subject: inner")) << forwarded.toStdString();
    EXPECT_TRUE(forwarded.contains("inner body"));

    // What arrived of a cut attachment is kept, the cut base64 line decoded as far as it goes.
    ASSERT_TRUE(read(corpus("truncated_multipart.eml")));
    EXPECT_TRUE(file_bytes(saved("truncated_multipart", "data.bin"))
                    .startsWith(QByteArray("\x00\x01\x02\x03\x04\x05\x06\x07\x08", 9)));
}

TEST_F(ReadMailTest, NeverOverwritesAndNeverLeavesTheFolder) {
    const char* const mail = "attachment_path_traversal";
    ASSERT_TRUE(QDir().mkpath(qv::attachment_dir(dir_.path(), QString::fromUtf8(mail))));
    ASSERT_TRUE(write_file(saved(mail, "evil.sh"), "mine"));
    const auto first = read(corpus("attachment_path_traversal.eml"));
    const auto second = read(corpus("attachment_path_traversal.eml"));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->attachment, saved(mail, "evil-1.sh"));
    EXPECT_EQ(second->attachment, saved(mail, "evil-2.sh"));
    EXPECT_EQ(file_bytes(saved(mail, "evil.sh")), QByteArray("mine"));
    EXPECT_EQ(file_bytes(saved(mail, "evil-1.sh")), QByteArray("#!/bin/sh\necho owned\n"));
    EXPECT_EQ(QDir(qv::attachment_dir(dir_.path(), QString::fromUtf8(mail)))
                  .entryList(QDir::Files)
                  .size(),
              3);
}

TEST_F(ReadMailTest, ResolvesANameRelativeToTheFolder) {
    ASSERT_TRUE(QFile::copy(corpus("shift_jis_8bit.eml"), saved("20261201-100000-0001.eml")));
    const auto mail = read(QStringLiteral("20261201-100000-0001.eml"));
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->subject, QStringLiteral("売上表①"));
}

TEST_F(ReadMailTest, AnswersNotAnArrayForWhatIsNoMail) {
    EXPECT_FALSE(read(saved("missing.eml")));
    EXPECT_FALSE(mail_.lastError().isEmpty());

    ASSERT_TRUE(write_file(saved("empty.eml"), QByteArray()));
    EXPECT_FALSE(read(saved("empty.eml")));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("empty.eml")));

    EXPECT_FALSE(read(dir_.path()));  // a folder

    // A success afterwards clears the reason.
    ASSERT_TRUE(read(corpus("euc_jp_8bit.eml")));
    EXPECT_TRUE(mail_.lastError().isEmpty());
}

TEST_F(ReadMailTest, CarriesATenMegabyteAttachment) {
    QByteArray payload(10 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32*>(payload.data()), payload.size() / 4);
    QByteArray mail =
        "From: big@example.test\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n\r\n大きな添付\r\n--B\r\n"
        "Content-Type: audio/mpeg\r\nContent-Disposition: attachment; filename=\"big.mp3\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray encoded = payload.toBase64();
    for (qsizetype i = 0; i < encoded.size(); i += 76) mail += encoded.mid(i, 76) + "\r\n";
    mail += "--B--\r\n";
    ASSERT_TRUE(write_file(saved("big.eml"), mail));

    QElapsedTimer timer;
    timer.start();
    const auto read_mail = read(saved("big.eml"));
    ASSERT_TRUE(read_mail);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(read_mail->body, QStringLiteral("大きな添付"));
    EXPECT_EQ(read_mail->attachment, saved("big", "big.mp3"));
    EXPECT_EQ(read_mail->attachment_type, QStringLiteral("audio/mpeg"));
    EXPECT_TRUE(file_bytes(saved("big", "big.mp3")) == payload);
}

TEST_F(ReadMailTest, SurvivesAnEndlessHeaderLine) {
    // A header that never ends (no line break before the end of the file), then the same with
    // a subject of a few megabytes: answered quickly, with a subject of sensible length.
    QByteArray endless = "From: a@example.test\r\nX-Junk: " + QByteArray(16 * 1024 * 1024, 'a');
    ASSERT_TRUE(write_file(saved("endless.eml"), endless));
    QByteArray long_subject =
        "From: a@example.test\r\nSubject: " + QByteArray(4 * 1024 * 1024, 'b') +
        "\r\n\r\nshort body\r\n";
    ASSERT_TRUE(write_file(saved("long_subject.eml"), long_subject));

    QElapsedTimer timer;
    timer.start();
    const auto first = read(saved("endless.eml"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->sender, QStringLiteral("a@example.test"));
    const auto second = read(saved("long_subject.eml"));
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->subject.startsWith(QStringLiteral("bbbb")));
    EXPECT_LE(second->subject.size(), 70 * 1024);
    EXPECT_EQ(second->attachment, QString());
    EXPECT_EQ(second->body, QStringLiteral("short body"));
    EXPECT_LT(timer.elapsed(), 10000);
}

TEST_F(ReadMailTest, SurvivesGarbage) {
    // Random bytes and pathological MIME: nothing to read as a mail, or a sensible one; never a
    // crash (the sanitizer build watches for the rest).
    QRandomGenerator generator(7);
    for (int round = 0; round < 20; ++round) {
        QByteArray junk(4096 + round * 517, Qt::Uninitialized);
        for (char& c : junk) c = static_cast<char>(generator.bounded(256));
        if (round % 2)
            junk.prepend(
                "Subject: =?ISO-2022-JP?B?GyRC?= =?x?Q?=?=\r\nContent-Type: multipart/mixed; "
                "boundary=\"\"\r\n\r\n--\r\n");
        const QString path = saved("junk.eml");
        ASSERT_TRUE(write_file(path, junk));
        EXPECT_TRUE(read(path));
    }
    QByteArray nested = "Content-Type: multipart/mixed; boundary=\"a\"\r\n\r\n";
    for (int depth = 0; depth < 200; ++depth) {
        nested += "--a\r\nContent-Type: multipart/mixed; boundary=\"a\"\r\n\r\n";
    }
    ASSERT_TRUE(write_file(saved("nested.eml"), nested));
    const auto mail = read(saved("nested.eml"));
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->attachment, QString());
}

}  // namespace
