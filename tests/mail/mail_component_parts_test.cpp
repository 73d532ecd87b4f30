// The parts of the mail component one by one: server addresses as users type them, Japanese
// charsets and their lying labels, header words and parameters, safe file names, outgoing
// messages (built, then read back), and the receive record.
#include "mail/charset_decoder.h"
#include "mail/curl_mail_component.h"
#include "mail/header_decoder.h"
#include "mail/local_files.h"
#include "mail/message_key.h"
#include "mail/outgoing_message.h"
#include "mail/receive_record.h"
#include "mail/server_address.h"
#include "support/fakes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace qv::mail;

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write_file(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// --- server addresses ---

struct AddressCase {
    const char* typed;
    MailProtocol protocol;
    const char* url;
    TlsMode tls;
};

TEST(ServerAddressTest, ReadsWhatUsersType) {
    const AddressCase cases[] = {
        {"mail.example.test", MailProtocol::Pop3, "pop3s://mail.example.test:995/",
         TlsMode::Implicit},
        {"mail.example.test", MailProtocol::Smtp, "smtps://mail.example.test:465/",
         TlsMode::Implicit},
        {"mail.example.test:995", MailProtocol::Pop3, "pop3s://mail.example.test:995/",
         TlsMode::Implicit},
        {"mail.example.test:465", MailProtocol::Smtp, "smtps://mail.example.test:465/",
         TlsMode::Implicit},
        {"mail.example.test:110", MailProtocol::Pop3, "pop3://mail.example.test:110/",
         TlsMode::StartTlsRequired},
        {"mail.example.test:587", MailProtocol::Smtp, "smtp://mail.example.test:587/",
         TlsMode::StartTlsRequired},
        {"pop3://mail.example.test", MailProtocol::Pop3, "pop3://mail.example.test:110/",
         TlsMode::StartTlsRequired},
        {"pop3://127.0.0.1:11110/", MailProtocol::Pop3, "pop3://127.0.0.1:11110/",
         TlsMode::StartTlsRequired},
        {"smtp://mail.example.test", MailProtocol::Smtp, "smtp://mail.example.test:25/",
         TlsMode::StartTlsRequired},
        {"POP3S://Mail.Example.TEST", MailProtocol::Pop3, "pop3s://mail.example.test:995/",
         TlsMode::Implicit},
        {"smtps://127.0.0.1:11465", MailProtocol::Smtp, "smtps://127.0.0.1:11465/",
         TlsMode::Implicit},
        {"  mail.example.test  ", MailProtocol::Pop3, "pop3s://mail.example.test:995/",
         TlsMode::Implicit},
        {"[::1]:995", MailProtocol::Pop3, "pop3s://[::1]:995/", TlsMode::Implicit},
        {"[::1]:2525", MailProtocol::Smtp, "smtp://[::1]:2525/", TlsMode::StartTlsRequired},
    };
    for (const AddressCase& c : cases) {
        QString error;
        const auto a = parse_server_address(QString::fromUtf8(c.typed), c.protocol, &error);
        ASSERT_TRUE(a) << c.typed << ": " << error.toStdString();
        EXPECT_EQ(a->url(), QByteArray(c.url)) << c.typed;
        EXPECT_EQ(a->tls, c.tls) << c.typed;
        EXPECT_TRUE(error.isEmpty());
    }
}

TEST(ServerAddressTest, RefusesWhatIsNoServer) {
    const std::pair<const char*, MailProtocol> bad[] = {
        {"", MailProtocol::Pop3},
        {"smtp://mail.example.test", MailProtocol::Pop3},  // the other protocol
        {"pop3s://mail.example.test", MailProtocol::Smtp},
        {"imap://mail.example.test", MailProtocol::Pop3},
        {"mail.example.test:abc", MailProtocol::Pop3},
        {"mail.example.test:70000", MailProtocol::Pop3},
        {"mail.example.test:0", MailProtocol::Smtp},
        {"pop3://", MailProtocol::Pop3},
        {"mail example.test", MailProtocol::Pop3},
        {"[::1", MailProtocol::Pop3},
    };
    for (const auto& [typed, protocol] : bad) {
        QString error;
        EXPECT_FALSE(parse_server_address(QString::fromUtf8(typed), protocol, &error)) << typed;
        EXPECT_TRUE(error.contains(QStringLiteral("正しくありません"))) << typed;
    }
}

// --- charsets ---

TEST(CharsetTest, ReadsIso2022JpAsWindowsWritesIt) {
    // ①Ⅱ (NEC row 13), 髙 (NEC-selected IBM extension, JIS row 0x7C), ～ (0x2141).
    EXPECT_EQ(decode_charset("\x1b$B-!-6|b!A\x1b(B", "ISO-2022-JP"), QStringLiteral("①Ⅱ髙～"));
    // JIS X 0201 katakana by escape and by SO/SI; the redundant ESC ( B ESC $ B that joined
    // encoded words leave behind.
    EXPECT_EQ(decode_charset("\x1b(I6@6E\x1b(B", "iso-2022-jp"), QStringLiteral("ｶﾀｶﾅ"));
    EXPECT_EQ(decode_charset("a\x0e"
                             "6@\x0f"
                             "b",
                             "ISO-2022-JP"),
              QStringLiteral("aｶﾀb"));
    EXPECT_EQ(decode_charset("\x1b$B$\"\x1b(B\x1b$B$$\x1b(B", "csISO2022JP"),
              QStringLiteral("あい"));
    // A line never continues in two-byte mode.
    EXPECT_EQ(decode_charset("\x1b$B$\"\r\nabc", "ISO-2022-JP"), QStringLiteral("あ\r\nabc"));
    // JIS X 0212 cannot be shown in CP932: a stand-in, not garbage.
    EXPECT_EQ(decode_charset("\x1b$(D\x30\x21\x1b(Bx", "ISO-2022-JP-1"), QStringLiteral("〓x"));
}

TEST(CharsetTest, CatchesLyingLabels) {
    const QByteArray utf8 = QStringLiteral("本当はUTF-8").toUtf8();
    EXPECT_EQ(decode_charset(utf8, "ISO-2022-JP"), QStringLiteral("本当はUTF-8"));
    EXPECT_EQ(decode_charset(utf8, "Shift_JIS"), QStringLiteral("本当はUTF-8"));
    EXPECT_EQ(decode_charset(utf8, "us-ascii"), QStringLiteral("本当はUTF-8"));
    const QByteArray sjis("\x93\xfa\x96\x7b\x8c\xea", 6);  // 日本語 in Shift_JIS
    EXPECT_EQ(decode_charset(sjis, "UTF-8"), QStringLiteral("日本語"));
    EXPECT_EQ(decode_charset(sjis, "ISO-2022-JP"), QStringLiteral("日本語"));
    EXPECT_EQ(decode_charset(sjis, ""), QStringLiteral("日本語"));
    EXPECT_EQ(decode_charset(sjis, "x-unknown-charset"), QStringLiteral("日本語"));
    const QByteArray euc("\xc6\xfc\xcb\xdc\xb8\xec", 6);  // 日本語 in EUC-JP
    EXPECT_EQ(decode_charset(euc, ""), QStringLiteral("日本語"));
    EXPECT_EQ(decode_charset(euc, "Shift_JIS"), QStringLiteral("日本語"));
    EXPECT_EQ(decode_charset("\x1b$BF|K\\\x1b(B", ""), QStringLiteral("日本"));  // unlabelled JIS
}

TEST(CharsetTest, ReadsOtherLabelsAsMailersMeanThem) {
    EXPECT_EQ(decode_charset("\x80 5", "iso-8859-1"), QStringLiteral("€ 5"));  // as windows-1252
    EXPECT_EQ(decode_charset("\x81\x40", "gb2312"), QStringLiteral("丂"));     // GBK beyond GB2312
    EXPECT_EQ(decode_charset("caf\xc3\xa9", "\"UTF-8\""), QStringLiteral("café"));
    EXPECT_EQ(decode_charset("\xfc\xe2", "cp51932"), QStringLiteral("髙"));     // EUC with IBM ext
    EXPECT_EQ(decode_charset("\x8f\xb0\xa1", "EUC-JP"), QStringLiteral("丂"));  // JIS X 0212
    EXPECT_EQ(decode_charset(QByteArray("a\0b", 3), "us-ascii"), QString::fromLatin1("a\0b", 3));
}

// --- headers ---

TEST(HeaderTest, JoinsAdjacentEncodedWords) {
    // One character split across two B words, with folding between them.
    const QByteArray a = QStringLiteral("日本").toUtf8();
    const QByteArray b = QByteArray("=?UTF-8?B?") + a.left(4).toBase64() + "?=\r\n =?utf-8?b?" +
                         a.mid(4).toBase64() + "?=";
    EXPECT_EQ(decode_header_text(b), QStringLiteral("日本"));
    // Words of different charsets side by side, and text around them keeps its spaces.
    EXPECT_EQ(decode_header_text("Re: =?ISO-2022-JP?B?GyRCJCIbKEI=?= =?UTF-8?Q?=E3=81=84?= ok"),
              QStringLiteral("Re: あい ok"));
    EXPECT_EQ(decode_header_text("=?UTF-8?Q?a_b?= c"), QStringLiteral("a b c"));
    EXPECT_EQ(decode_header_text("=?UTF-8*ja?B?44GC?="),
              QStringLiteral("あ"));  // RFC 2231 language
    EXPECT_EQ(decode_header_text("x=?UTF-8?B?44GC?=y"), QStringLiteral("xあy"));  // mid-word
}

TEST(HeaderTest, LeavesBrokenWordsAsText) {
    EXPECT_EQ(decode_header_text("=?UTF-8?X?abc?="), QStringLiteral("=?UTF-8?X?abc?="));
    EXPECT_EQ(decode_header_text("=? not a word"), QStringLiteral("=? not a word"));
    EXPECT_EQ(decode_header_text("=?UTF-8?B?44GC"), QStringLiteral("=?UTF-8?B?44GC"));
    EXPECT_EQ(decode_header_text("a\tb\x01"
                                 "c"),
              QStringLiteral("a b c"));
    // Many almost-words must not take quadratic time.
    const QByteArray many = QByteArray("=?a?B?").repeated(10000);
    EXPECT_EQ(decode_header_text(many).size(), many.size());
}

TEST(HeaderTest, ReadsMailboxesInTheirUsualForms) {
    EXPECT_EQ(decode_mailbox("a@example.test"), QStringLiteral("a@example.test"));
    EXPECT_EQ(decode_mailbox("<a@example.test>"), QStringLiteral("a@example.test"));
    EXPECT_EQ(decode_mailbox("Name <a@example.test>"), QStringLiteral("Name <a@example.test>"));
    EXPECT_EQ(decode_mailbox("\"Last, First\" <a@example.test>, b@example.test"),
              QStringLiteral("Last, First <a@example.test>"));
    EXPECT_EQ(decode_mailbox("Yamada, Taro <t@example.test>"),
              QStringLiteral("Yamada, Taro <t@example.test>"));
    EXPECT_EQ(decode_mailbox("a@example.test (Comment Name)"),
              QStringLiteral("Comment Name <a@example.test>"));
    EXPECT_EQ(decode_mailbox("\"say \\\"hi\\\"\" <a@example.test>"),
              QStringLiteral("say \"hi\" <a@example.test>"));
    EXPECT_EQ(decode_mailbox("\"=?UTF-8?B?5bGx55Sw?=\" <y@example.test>"),
              QStringLiteral("山田 <y@example.test>"));
    EXPECT_EQ(decode_mailbox("a@example.test, b@example.test"), QStringLiteral("a@example.test"));
    EXPECT_EQ(decode_mailbox(""), QString());
    EXPECT_EQ(decode_mailbox("undisclosed-recipients:;"),
              QStringLiteral("undisclosed-recipients:;"));
}

TEST(HeaderTest, ReadsParametersOfEveryKind) {
    EXPECT_EQ(header_parameter("attachment; filename=\"a b.txt\"", "filename"),
              QStringLiteral("a b.txt"));
    EXPECT_EQ(header_parameter("attachment; FILENAME=plain.txt ; size=3", "filename"),
              QStringLiteral("plain.txt"));
    EXPECT_EQ(header_parameter("attachment; filename*=UTF-8'ja'%E3%81%82.txt", "filename"),
              QStringLiteral("あ.txt"));
    EXPECT_EQ(
        header_parameter("attachment; filename*0=\"abc\"; filename*1=\"def.txt\"", "filename"),
        QStringLiteral("abcdef.txt"));
    EXPECT_EQ(
        header_parameter("attachment; filename*1*=%81%82.txt; filename*0*=utf-8''%E3", "filename"),
        QStringLiteral("あ.txt"));  // sections in any order
    EXPECT_EQ(header_parameter("text/plain; name=\"=?UTF-8?B?44GC?=.txt\"", "name"),
              QStringLiteral("あ.txt"));
    EXPECT_EQ(header_parameter("a; filename=\"q\\\"uote\"", "filename"), QStringLiteral("q\"uote"));
    // Raw Shift_JIS whose second byte is a backslash (表), right before the closing quote.
    EXPECT_EQ(header_parameter(QByteArray("a; filename=\"\x95\x5c\"; x=1", 19), "filename"),
              QStringLiteral("表"));
    EXPECT_TRUE(header_parameter("attachment", "filename").isNull());
    EXPECT_EQ(header_parameter("text/plain; charset=\"ISO-2022-JP\"", "charset"),
              QStringLiteral("ISO-2022-JP"));
    EXPECT_EQ(header_main_value(" Text/HTML ; charset=x"), QByteArray("text/html"));
}

// --- file names ---

TEST(FileNameTest, MakesNamesSafe) {
    const QString fallback = QStringLiteral("attachment");
    EXPECT_EQ(safe_file_name(QStringLiteral("../../etc/passwd"), fallback),
              QStringLiteral("passwd"));
    EXPECT_EQ(safe_file_name(QStringLiteral("C:\\Users\\a\\見積.pdf"), fallback),
              QStringLiteral("見積.pdf"));
    EXPECT_EQ(safe_file_name(QStringLiteral(".hidden"), fallback), QStringLiteral("hidden"));
    EXPECT_EQ(safe_file_name(QStringLiteral(".."), fallback), fallback);
    EXPECT_EQ(safe_file_name(QString(), fallback), fallback);
    EXPECT_EQ(safe_file_name(QStringLiteral("a\tb\x01"
                                            "c\n.txt"),
                             fallback),
              QStringLiteral("abc.txt"));
    EXPECT_EQ(safe_file_name(QStringLiteral("a:b*c?\"<>|.txt"), fallback),
              QStringLiteral("a_b_c_____.txt"));
    EXPECT_EQ(safe_file_name(QStringLiteral("trailing. . "), fallback), QStringLiteral("trailing"));
    const QString long_name = QString(300, QChar(0x3042)) + QStringLiteral(".pdf");
    const QString cut = safe_file_name(long_name, fallback);
    EXPECT_LE(cut.toUtf8().size(), 200);
    EXPECT_TRUE(cut.endsWith(QStringLiteral("あ.pdf")));
    EXPECT_EQ(numbered_name(QStringLiteral("a.tar.gz"), 2), QStringLiteral("a.tar-2.gz"));
    EXPECT_EQ(numbered_name(QStringLiteral("noext"), 1), QStringLiteral("noext-1"));
    EXPECT_EQ(numbered_name(QStringLiteral("x.txt"), 0), QStringLiteral("x.txt"));
}

TEST(FileNameTest, GivesAttachmentsNamesThatAreNeitherDevicesNorVoiceUnlessAudio) {
    struct Case {
        const char* proposed;
        const char* type;
        const char* saved;
    };
    const Case cases[] = {
        {"CON", "text/plain", "_CON"},
        {"com1.txt", "text/plain", "_com1.txt"},
        {"LPT9", "text/plain", "_LPT9"},
        {"console.txt", "text/plain", "console.txt"},
        {"x.mp3.desktop", "application/x-desktop", "x_mp3.desktop"},
        {"a.MP3.mp3.exe", "application/octet-stream", "a_MP3_mp3.exe"},
        {"voice.mp3", "application/octet-stream", "voice_mp3"},
        {"voice.mp3", "audio/mpeg", "voice.mp3"},
        {"VOICE.Mp3", "audio/mpeg", "VOICE.mp3"},
        {"song.desktop", "audio/mpeg", "song.desktop.mp3"},
        {"", "audio/mpeg", "fallback.mp3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            attachment_file_name(QString::fromUtf8(c.proposed), c.type, QStringLiteral("fallback")),
            QString::fromUtf8(c.saved))
            << c.proposed << " " << c.type;
    }
    // Cut to length, an audio part keeps its ending, and so do its numbered variants.
    const QString long_audio =
        attachment_file_name(QString(300, QChar(0x3042)), "audio/mpeg", QString());
    EXPECT_LE(long_audio.toUtf8().size(), 200);
    EXPECT_TRUE(numbered_name(long_audio, 12345).endsWith(QLatin1String(".mp3")));
}

TEST(FileNameTest, CreatesAndRenamesWithoutReplacing) {
    QTemporaryDir dir;
    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("a.txt")), "old"));
    QString used;
    const int fd = create_new_file(dir.path(), QStringLiteral("a.txt"), &used);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(used, QStringLiteral("a-1.txt"));
    EXPECT_EQ(file_bytes(dir.filePath(QStringLiteral("a.txt"))), QByteArray("old"));

    ASSERT_TRUE(write_file(dir.filePath(QStringLiteral("tmp")), "new"));
    const int dir_fd = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_TRUE(rename_to_new_name(dir_fd, "tmp", QStringLiteral("a.txt"), &used));
    ::close(dir_fd);
    EXPECT_EQ(used, QStringLiteral("a-2.txt"));
    EXPECT_EQ(file_bytes(dir.filePath(QStringLiteral("a-2.txt"))), QByteArray("new"));
    EXPECT_EQ(file_bytes(dir.filePath(QStringLiteral("a.txt"))), QByteArray("old"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("tmp"))));
}

// --- outgoing mail ---

TEST(OutgoingTest, ParsesAddressLists) {
    const auto list = parse_addresses(QStringLiteral(
        "a@example.test; \"B, C\" <b@example.test>,山田 太郎 <y@example.test>, bad, <>"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].address, QStringLiteral("a@example.test"));
    EXPECT_TRUE(list[0].name.isEmpty());
    EXPECT_EQ(list[1].name, QStringLiteral("B, C"));
    EXPECT_EQ(list[1].address, QStringLiteral("b@example.test"));
    EXPECT_EQ(list[2].name, QStringLiteral("山田 太郎"));
    EXPECT_TRUE(parse_addresses(QStringLiteral("no address here")).empty());
}

TEST(OutgoingTest, PicksContentTypes) {
    EXPECT_EQ(content_type_for(QStringLiteral("/tmp/録音.mp3")), QByteArray("audio/mpeg"));
    EXPECT_EQ(content_type_for(QStringLiteral("a.MP3")), QByteArray("audio/mpeg"));
    EXPECT_EQ(content_type_for(QStringLiteral("a.PDF")), QByteArray("application/pdf"));
    EXPECT_EQ(content_type_for(QStringLiteral("a.xlsx")),
              QByteArray("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"));
    EXPECT_EQ(content_type_for(QStringLiteral("a.qvunknown")),
              QByteArray("application/octet-stream"));
    EXPECT_EQ(content_type_for(QStringLiteral("Makefile")), QByteArray("application/octet-stream"));
}

class BuiltMessageTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QTemporaryDir dir_;
    qv::test::RecordingPauser pauser_;
    qv::CurlMailComponent mail_{pauser_};
};

TEST_F(BuiltMessageTest, GoesOutAsSevenBitCrlfAndReadsBack) {
    const QString attachment = dir_.filePath(QStringLiteral("音声メモ.mp3"));
    QByteArray audio(5000, '\0');
    for (int i = 0; i < audio.size(); ++i) audio[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(write_file(attachment, audio));
    QString error;
    const auto built =
        build_message({QStringLiteral("宛先 <to@example.test>, cc@example.test"),
                       QStringLiteral("差出人 <from@example.test>"), QStringLiteral("件名①～"),
                       QStringLiteral("一行目\n二行目\r\n三行目"), attachment},
                      &error);
    ASSERT_TRUE(built) << error.toStdString();
    EXPECT_EQ(built->sender, QByteArray("from@example.test"));
    EXPECT_EQ(built->recipients, (std::vector<QByteArray>{"to@example.test", "cc@example.test"}));
    const QByteArray& data = built->data;
    for (qsizetype i = 0; i < data.size(); ++i) {
        ASSERT_LT(static_cast<unsigned char>(data[i]), 0x80) << "8-bit byte at " << i;
        if (data[i] == '\n') {
            ASSERT_TRUE(i > 0 && data[i - 1] == '\r') << "bare LF at " << i;
        }
    }
    for (const QByteArray& line : data.split('\n')) EXPECT_LE(line.size(), 998);
    const QList<QByteArray> headers = data.left(data.indexOf("\r\n\r\n")).split('\n');
    const auto has_header = [&](const QByteArray& start, const QByteArray& end) {
        return std::any_of(headers.begin(), headers.end(), [&](const QByteArray& line) {
            return line.startsWith(start) && line.trimmed().endsWith(end);
        });
    };
    EXPECT_TRUE(has_header("Date: ", ""));
    EXPECT_TRUE(has_header("Message-Id: <", "@example.test>"));  // in the sender's domain
    EXPECT_TRUE(has_header("Subject: =?UTF-8?B?", "?="));
    EXPECT_TRUE(has_header("To: ", "<to@example.test>, cc@example.test"));
    EXPECT_TRUE(has_header("MIME-Version: 1.0", ""));
    EXPECT_TRUE(data.contains("\r\nContent-Type: audio/mpeg"));

    ASSERT_TRUE(write_file(dir_.filePath(QStringLiteral("out.eml")), data));
    QTemporaryDir inbox;
    const auto read = mail_.ReadMail(dir_.filePath(QStringLiteral("out.eml")), inbox.path());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->subject, QStringLiteral("件名①～"));
    EXPECT_EQ(read->sender, QStringLiteral("差出人 <from@example.test>"));
    EXPECT_EQ(read->body, QStringLiteral("一行目\n二行目\n三行目"));
    EXPECT_EQ(read->attachment, inbox.filePath(QStringLiteral("attach/out/音声メモ.mp3")));
    EXPECT_EQ(read->attachment_type, QStringLiteral("audio/mpeg"));
    EXPECT_EQ(file_bytes(read->attachment), audio);
}

TEST_F(BuiltMessageTest, PlainAsciiStaysReadableOnTheWire) {
    QString error;
    const auto built =
        build_message({QStringLiteral("to@example.test"), QStringLiteral("from@example.test"),
                       QStringLiteral("Hello"), QStringLiteral("line 1\nline 2"), QString()},
                      &error);
    ASSERT_TRUE(built) << error.toStdString();
    EXPECT_TRUE(built->data.contains("\r\nSubject: Hello\r\n"));
    EXPECT_TRUE(built->data.contains("\r\n\r\nline 1\r\nline 2"));
    EXPECT_FALSE(built->data.contains("multipart"));
}

TEST_F(BuiltMessageTest, RefusesWhatCannotBeSent) {
    QString error;
    EXPECT_FALSE(build_message({QStringLiteral("to@example.test"), QStringLiteral("nobody"),
                                QString(), QString(), QString()},
                               &error));
    EXPECT_TRUE(error.contains(QStringLiteral("差出人")));
    EXPECT_FALSE(build_message(
        {QString(), QStringLiteral("from@example.test"), QString(), QString(), QString()}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("宛先")));
    EXPECT_FALSE(
        build_message({QStringLiteral("to@example.test"), QStringLiteral("from@example.test"),
                       QString(), QString(), dir_.filePath(QStringLiteral("gone.mp3"))},
                      &error));
    EXPECT_TRUE(error.contains(QStringLiteral("gone.mp3")));
    // SendMail says so before going anywhere near a server.
    EXPECT_EQ(
        mail_.SendMail(QStringLiteral("smtp://"), QStringLiteral("to@example.test"),
                       QStringLiteral("from@example.test"), QString(), QString(), QString()),
        QStringLiteral("送信できませんでした（サーバーの指定「smtp://」が正しくありません）"));
    EXPECT_EQ(
        mail_.lastError(),
        QStringLiteral("送信できませんでした（サーバーの指定「smtp://」が正しくありません）"));
}

// --- the receive record ---

TEST(ReceiveRecordTest, NamesOneRecordPerServerAndUser) {
    QString error;
    const auto a =
        parse_server_address(QStringLiteral("mail.example.test"), MailProtocol::Pop3, &error);
    const auto b = parse_server_address(QStringLiteral("pop3s://MAIL.example.test:995"),
                                        MailProtocol::Pop3, &error);
    const auto c =
        parse_server_address(QStringLiteral("mail.example.test:110"), MailProtocol::Pop3, &error);
    ASSERT_TRUE(a && b && c);
    const QString name = ReceiveRecord::file_name(*a, QStringLiteral("user1"));
    EXPECT_TRUE(name.startsWith(QStringLiteral(".uidl-")));
    EXPECT_EQ(name, ReceiveRecord::file_name(*b, QStringLiteral("user1")));
    EXPECT_NE(name, ReceiveRecord::file_name(*a, QStringLiteral("user2")));
    EXPECT_NE(name, ReceiveRecord::file_name(*c, QStringLiteral("user1")));
}

TEST(ReceiveRecordTest, KeepsWholeLinesAcrossFormatsAndLocksTheFolder) {
    QTemporaryDir dir;
    const QString name = QStringLiteral(".uidl-test");
    // The older version's record: saved, never handed over. A line cut short by a crash is not
    // trusted.
    ASSERT_TRUE(
        write_file(dir.filePath(name), "id1\tone.eml\nbroken line\nid2\ttwo.eml\nid3\tthr"));
    QString error;
    {
        ReceiveRecord record;
        ASSERT_TRUE(record.open(dir.path(), name, &error)) << error.toStdString();
        ASSERT_EQ(record.entries().size(), 2u);
        EXPECT_EQ(record.find("id2")->file, QStringLiteral("two.eml"));
        EXPECT_FALSE(record.find("id2")->stored);

        ReceiveRecord second;
        EXPECT_FALSE(second.open(dir.path(), name, &error));
        EXPECT_TRUE(error.contains(QStringLiteral("実行中")));

        ASSERT_TRUE(record.saving(
            {{"id4", QStringLiteral(".qv-part-x"), QStringLiteral("四.eml"), "mkey", false}},
            &error));
        ASSERT_TRUE(record.stored({"id1", "id4"}, &error));
    }
    QFile cut(dir.filePath(name));
    ASSERT_TRUE(cut.open(QIODevice::Append));
    cut.write("D\tid2");
    cut.close();
    {
        ReceiveRecord again;  // the lock went with the first object
        ASSERT_TRUE(again.open(dir.path(), name, &error)) << error.toStdString();
        ASSERT_EQ(again.entries().size(), 3u);
        EXPECT_TRUE(again.find("id1")->stored);
        EXPECT_FALSE(again.find("id2")->stored);
        const ReceiveRecord::Entry* four = again.find("id4");
        ASSERT_TRUE(four);
        EXPECT_EQ(four->temp, QStringLiteral(".qv-part-x"));
        EXPECT_EQ(four->file, QStringLiteral("四.eml"));
        EXPECT_EQ(four->key, QByteArray("mkey"));
        EXPECT_TRUE(four->stored);
        ASSERT_TRUE(again.rewrite(7, {*four}, &error));
    }
    ReceiveRecord last;
    ASSERT_TRUE(last.open(dir.path(), name, &error));
    EXPECT_EQ(last.uidvalidity(), 7u);
    ASSERT_EQ(last.entries().size(), 1u);
    EXPECT_TRUE(last.find("id4")->stored);
    EXPECT_TRUE(last.find("id4")->temp.isEmpty());
}

TEST(MessageKeyTest, TheMessageIdAloneOrTheWholeHeaderFindsTheSameMail) {
    const QByteArray header =
        "From: a@example.test\r\nMessage-ID:\r\n <k1@example.test>\r\nSubject: x\r\n\r\n";
    const QByteArray key = message_key(header + "body\r\n");
    EXPECT_EQ(header_length(header + "body\r\n"), header.size());
    EXPECT_EQ(header_length("From: a\r\nSubject: b\r\n"), -1);
    // As an IMAP server hands out just that field.
    EXPECT_EQ(message_key("Message-ID: <k1@example.test>\r\n\r\n", false), key);
    EXPECT_NE(message_key("Message-ID: <k2@example.test>\r\n\r\n", false), key);
    // Without one: the whole header, never the field alone.
    const QByteArray bare = "From: a@example.test\r\nSubject: x\r\n\r\n";
    EXPECT_TRUE(message_key("\r\n", false).isEmpty());
    EXPECT_EQ(message_key(bare + "one body"), message_key(bare + "another"));
    EXPECT_NE(message_key(bare), message_key("From: b@example.test\r\nSubject: x\r\n\r\n"));
}

TEST(SleepTest, PausesThroughThePauser) {
    qv::test::RecordingPauser pauser;
    qv::CurlMailComponent mail(pauser);
    mail.Sleep(3);
    mail.Sleep(1);
    EXPECT_EQ(pauser.pauses, (std::vector<int>{3, 1}));
}

}  // namespace
