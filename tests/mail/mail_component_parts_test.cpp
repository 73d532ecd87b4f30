// The parts of the mail component one by one: the functions from text to text answer the tables
// of tests/data/cases/<function>.txt; outgoing messages as they go on the wire; the receive record.
#include "mail/charset_decoder.h"
#include "mail/curl_mail_component.h"
#include "mail/header_decoder.h"
#include "mail/html_text.h"
#include "mail/local_files.h"
#include "mail/outgoing_message.h"
#include "mail/receive_record.h"
#include "mail/server_address.h"
#include "support/fakes.h"
#include "support/files.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

using namespace qv::mail;

using qv::test::file_bytes;
using qv::test::write_file;

// --- the tables ---

// A field of a table: "\xNN", "\n", "\r", "\t" and "\\" as in C.
QByteArray unescape(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = i + 1 < field.size() && field[i] == '\\' ? field[++i] : 0;
        if (c == 'x') {
            out += static_cast<char>(field.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c ? c : field[i];
        }
    }
    return out;
}

QString text(const QByteArray& utf8) { return QString::fromUtf8(utf8); }

struct Function {
    int inputs;
    std::function<QString(const QList<QByteArray>&)> call;
};

const std::map<std::string, Function> kFunctions = {
    {"decode_charset", {2, [](const auto& a) { return decode_charset(a[0], a[1]); }}},
    {"decode_header_text", {1, [](const auto& a) { return decode_header_text(a[0]); }}},
    {"decode_mailbox", {1, [](const auto& a) { return decode_mailbox(a[0]); }}},
    {"header_parameter",
     {2,
      [](const auto& a) {
          const QString value = header_parameter(a[0], a[1]);
          return value.isNull() ? QStringLiteral("(absent)") : value;
      }}},
    {"header_main_value", {1, [](const auto& a) { return text(header_main_value(a[0])); }}},
    {"safe_file_name",
     {1, [](const auto& a) { return safe_file_name(text(a[0]), QStringLiteral("attachment")); }}},
    {"attachment_file_name",
     {2,
      [](const auto& a) {
          return attachment_file_name(text(a[0]), a[1], QStringLiteral("fallback"));
      }}},
    {"numbered_name", {2, [](const auto& a) { return numbered_name(text(a[0]), a[1].toInt()); }}},
    {"content_type_for", {1, [](const auto& a) { return text(content_type_for(text(a[0]))); }}},
    {"parse_addresses",
     {1,
      [](const auto& a) {
          QStringList out;
          for (const MailAddress& m : parse_addresses(text(a[0]))) out << m.name + '|' + m.address;
          return out.join(QStringLiteral(" ; "));
      }}},
    {"html_to_text", {1, [](const auto& a) { return html_to_text(text(a[0])); }}},
    {"html_declared_charset", {1, [](const auto& a) { return text(html_declared_charset(a[0])); }}},
    {"incoming_protocol",
     {1,
      [](const auto& a) {
          return QString::fromLatin1(incoming_protocol(text(a[0])) == MailProtocol::Imap ? "imap"
                                                                                         : "pop3");
      }}},
    {"parse_server_address",
     {2,
      [](const auto& a) {
          const MailProtocol protocol = a[0] == "imap"   ? MailProtocol::Imap
                                        : a[0] == "smtp" ? MailProtocol::Smtp
                                                         : MailProtocol::Pop3;
          QString error;
          const auto address = parse_server_address(text(a[1]), protocol, &error);
          if (!address) return error;
          static const char* const modes[] = {"implicit", "starttls-required",
                                              "starttls-if-offered"};
          return text(address->url() + ' ' + modes[static_cast<int>(address->tls)]) + error;
      }}},
    {"receive_record_name",
     {2,
      [](const auto& a) {
          QString error;
          const auto address = parse_server_address(text(a[0]), MailProtocol::Pop3, &error);
          return address ? ReceiveRecord::file_name(*address, text(a[1])) : error;
      }}},
};

class CaseTableTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CaseTableTest, GivesWhatEveryCaseSays) {
    QFile file(QStringLiteral(QV_TEST_DATA_DIR "/cases/%1.txt").arg(text(GetParam().c_str())));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const Function& function = kFunctions.at(GetParam());
    int line_number = 0;
    int cases = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        ++line_number;
        if (line.isEmpty() || line.startsWith('#')) continue;
        QList<QByteArray> fields = line.split('\t');
        ASSERT_EQ(fields.size(), function.inputs + 1) << "line " << line_number;
        for (QByteArray& field : fields) field = unescape(field);
        EXPECT_EQ(function.call(fields).toStdString(), fields.last().toStdString())
            << "line " << line_number;
        ++cases;
    }
    EXPECT_GT(cases, 0);
}

std::vector<std::string> function_names() {
    std::vector<std::string> names;
    for (const auto& entry : kFunctions) names.push_back(entry.first);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTableTest, ::testing::ValuesIn(function_names()),
                         [](const auto& info) { return info.param; });

// --- outgoing mail ---

class BuiltMessageTest : public ::testing::Test {
  protected:
    QTemporaryDir dir_;
    qv::test::RecordingPauser pauser_;
    qv::CurlMailComponent mail_{pauser_};
};

// (How a built message reads back is checked where it went through the real servers.)
TEST_F(BuiltMessageTest, GoesOutAsSevenBitCrlf) {
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
        ASSERT_TRUE(data[i] != '\n' || (i > 0 && data[i - 1] == '\r')) << "bare LF at " << i;
    }
    for (const QByteArray& line : data.split('\n')) EXPECT_LE(line.size(), 998);
    const QByteArray head = "\r\n" + data.left(data.indexOf("\r\n\r\n") + 2);
    for (const char* field : {"\r\nDate: ", "\r\nSubject: =?UTF-8?B?", "\r\nMIME-Version: 1.0\r\n",
                              "\r\nTo: =?UTF-8?", " <to@example.test>, cc@example.test\r\n",
                              "@example.test>\r\n"}) {  // the Message-Id, in the sender's domain
        EXPECT_TRUE(head.contains(field)) << field << "\n" << head.toStdString();
    }
    EXPECT_TRUE(data.contains("\r\nContent-Type: audio/mpeg"));

    // Plain ASCII stays readable on the wire, in one part.
    const auto plain =
        build_message({QStringLiteral("to@example.test"), QStringLiteral("from@example.test"),
                       QStringLiteral("Hello"), QStringLiteral("line 1\nline 2"), QString()},
                      &error);
    ASSERT_TRUE(plain) << error.toStdString();
    EXPECT_TRUE(plain->data.contains("\r\nSubject: Hello\r\n"));
    EXPECT_TRUE(plain->data.contains("\r\n\r\nline 1\r\nline 2"));
    EXPECT_FALSE(plain->data.contains("multipart"));
}

TEST_F(BuiltMessageTest, RefusesWhatCannotBeSent) {
    QString error;
    EXPECT_FALSE(build_message(
        {QStringLiteral("to@example.test"), QStringLiteral("nobody"), {}, {}, {}}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("差出人"))) << error.toStdString();
    EXPECT_FALSE(build_message({{}, QStringLiteral("from@example.test"), {}, {}, {}}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("宛先"))) << error.toStdString();
    // SendMail says so before going anywhere near a server.
    const QString heard =
        QStringLiteral("送信できませんでした（サーバーの指定「smtp://」が正しくありません）");
    EXPECT_EQ(mail_.SendMail(QStringLiteral("smtp://"), QStringLiteral("to@example.test"),
                             QStringLiteral("from@example.test"), {}, {}, {}),
              heard);
    EXPECT_EQ(mail_.lastError(), heard);
    // Sleep waits through the pauser (which the tests fake).
    mail_.Sleep(3);
    mail_.Sleep(1);
    EXPECT_EQ(pauser_.pauses, (std::vector<int>{3, 1}));
}

// --- the receive record ---

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

        EXPECT_FALSE(ReceiveRecord().open(dir.path(), name, &error));  // locked
        EXPECT_TRUE(error.contains(QStringLiteral("実行中")));

        ASSERT_TRUE(record.saving(
            {{"id4", QStringLiteral(".qv-part-x"), QStringLiteral("四.eml"), "mkey", false}},
            &error));
        ASSERT_TRUE(record.stored({"id1", "id4"}, &error));
    }
    ASSERT_TRUE(write_file(dir.filePath(name), file_bytes(dir.filePath(name)) + "D\tid2"));
    {
        ReceiveRecord again;  // the lock went with the first object
        ASSERT_TRUE(again.open(dir.path(), name, &error)) << error.toStdString();
        ASSERT_EQ(again.entries().size(), 3u);
        EXPECT_TRUE(again.find("id1")->stored);
        EXPECT_FALSE(again.find("id2")->stored);
        const ReceiveRecord::Entry* four = again.find("id4");
        ASSERT_TRUE(four);  // (its fields as saved: the receive tests, killed at each step)
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

}  // namespace
