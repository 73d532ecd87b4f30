// The mail component against the real Dovecot and Postfix (scripts/mailservers/start): what the
// server holds afterwards, the exact bytes of the saved files, what a wrong password, a dead
// port, a silent server, a foreign certificate and a connection cut in the middle of a message
// do, and mail sent through both TLS ports and fetched back.
#include "mail/curl_mail_component.h"
#include "mail/receive_record.h"
#include "mail/server_address.h"
#include "support/fakes.h"
#include "support/fault_proxy.h"
#include "support/mail_servers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <ostream>

namespace {

using qv::test::FaultProxy;
using qv::test::MailServers;

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write_file(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A message as it sits in the Maildir (LF lines). `filler` pads the body to about that size;
// one line starts with a dot, to be sure the dot-stuffing is undone.
QByteArray make_message(int n, int filler = 0) {
    QByteArray m = "From: =?UTF-8?B?" + QStringLiteral("送信者").toUtf8().toBase64() +
                   "?= <sender@example.test>\n"
                   "To: user1@example.test\n"
                   "Subject: =?UTF-8?B?" +
                   QStringLiteral("テスト %1 号").arg(n).toUtf8().toBase64() +
                   "?=\n"
                   "Date: Tue, 01 Dec 2026 10:00:00 +0900\n"
                   "Message-ID: <server-test-" +
                   QByteArray::number(n) + "." +
                   QByteArray::number(QRandomGenerator::global()->generate()) +
                   "@example.test>\n"
                   "MIME-Version: 1.0\n"
                   "Content-Type: text/plain; charset=UTF-8\n"
                   "Content-Transfer-Encoding: 8bit\n\n" +
                   QStringLiteral("本文 %1\n").arg(n).toUtf8() + ".a line that starts with a dot\n";
    const QByteArray line = QByteArray(70, 'a' + n % 26) + '\n';
    while (m.size() < filler) m += line;
    return m;
}

// The component's view of the files it saved, as (name, bytes); hidden files are its own.
std::vector<QByteArray> saved_contents(const QString& dir, const QStringList& names) {
    std::vector<QByteArray> out;
    for (const QString& name : names) out.push_back(file_bytes(dir + QLatin1Char('/') + name));
    return out;
}

QStringList visible_files(const QString& dir) {
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

QStringList hidden_temporaries(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral(".qv-part*")}, QDir::Files | QDir::Hidden);
}

class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        mail_.setProgress([this](int done, int total) {
            std::lock_guard lock(progress_mutex_);
            progress_.emplace_back(done, total);
        });
    }

    QString pop3(const MailServers& s) const {
        return QStringLiteral("pop3://%1:%2").arg(s.host).arg(s.pop3_port);
    }
    qv::MailArray receive(const QString& server, const MailServers& s,
                          const QString& command = QStringLiteral("SAVEALLD")) {
        return mail_.RcvMail(server, s.user1, s.pass1, command, dir_.path());
    }
    // Seeds `count` messages into user1's empty mailbox; returns them as POP3 hands them out.
    std::vector<QByteArray> seed(const MailServers& s, int count, int filler = 0) {
        qv::test::empty_mailbox(s, s.user1);
        std::vector<QByteArray> wire;
        for (int i = 1; i <= count; ++i) {
            const QByteArray m = make_message(i, filler);
            qv::test::seed_message(s, s.user1, m);
            wire.push_back(qv::test::as_crlf(m));
        }
        return wire;
    }

    QTemporaryDir dir_;
    qv::test::RecordingPauser pauser_;
    qv::CurlMailComponent mail_{pauser_};
    std::mutex progress_mutex_;
    std::vector<std::pair<int, int>> progress_;
};

TEST_F(ServerTest, StatAndListCountWhatWaits) {
    QV_REQUIRE_MAIL_SERVERS(s);
    qv::test::empty_mailbox(s, s.user1);
    qv::MailArray stat = receive(pop3(s), s, QStringLiteral("STAT"));
    ASSERT_TRUE(stat) << mail_.lastError().toStdString();
    EXPECT_EQ(*stat, (QStringList{QStringLiteral("0 0"), QStringLiteral("0 0")}));

    const std::vector<QByteArray> wire = seed(s, 3);
    qint64 octets = 0;
    for (const QByteArray& m : wire) octets += m.size();
    stat = receive(pop3(s), s, QStringLiteral("STAT"));
    ASSERT_TRUE(stat) << mail_.lastError().toStdString();
    EXPECT_EQ(*stat, (QStringList{QStringLiteral("3 %1").arg(octets), QStringLiteral("0 0")}));

    const qv::MailArray list = receive(pop3(s), s, QStringLiteral("LIST"));
    ASSERT_TRUE(list);
    EXPECT_EQ(*list, (QStringList{QStringLiteral("1 %1").arg(wire[0].size()),
                                  QStringLiteral("2 %1").arg(wire[1].size()),
                                  QStringLiteral("3 %1").arg(wire[2].size())}));
    // Looking deletes nothing.
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 3);
    EXPECT_TRUE(visible_files(dir_.path()).isEmpty());
}

// SAVEALLD over each way of writing the server: pop3:// (STLS when offered), host:port
// (STARTTLS required) and pop3s:// (TLS from the start).
class SaveAllTest : public ServerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SaveAllTest, EmptiesTheServerIntoByteExactFiles) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 5, 3000);
    const int tls_logins_before =
        qv::test::count_log_lines(s.dovecot_log, {"Login: user=<user1>", ", TLS"});
    const QString server =
        QString::fromLatin1(GetParam())
            .arg(s.host)
            .arg(QString::fromLatin1(GetParam()).startsWith("pop3s") ? s.pop3s_port : s.pop3_port);

    const qv::MailArray saved = receive(server, s);
    ASSERT_TRUE(saved) << mail_.lastError().toStdString();
    ASSERT_EQ(saved->size(), 5);
    EXPECT_EQ(saved_contents(dir_.path(), *saved), wire);  // in server order, byte for byte
    EXPECT_EQ(visible_files(dir_.path()).size(), 5);
    EXPECT_TRUE(hidden_temporaries(dir_.path()).isEmpty());
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1), std::make_pair(0LL, 0LL));
    EXPECT_EQ(qv::test::count_log_lines(s.dovecot_log, {"Login: user=<user1>", ", TLS"}),
              tls_logins_before + 1);
    ASSERT_FALSE(progress_.empty());
    EXPECT_EQ(progress_.back(), std::make_pair(5, 5));
    EXPECT_TRUE(mail_.lastError().isEmpty());

    // Each saved file reads back as the mail it was.
    const auto first = mail_.ReadMail((*saved)[0], dir_.path());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->subject, QStringLiteral("テスト 1 号"));
    EXPECT_EQ(first->sender, QStringLiteral("送信者 <sender@example.test>"));

    // Nothing left: an empty answer, not a failure, and no files.
    const qv::MailArray again = receive(server, s);
    ASSERT_TRUE(again) << mail_.lastError().toStdString();
    EXPECT_TRUE(again->isEmpty());
    EXPECT_EQ(visible_files(dir_.path()).size(), 5);
}

std::string server_form_name(const ::testing::TestParamInfo<const char*>& info) {
    static const char* const names[] = {"Pop3StlsIfOffered", "HostPortStartTls", "Pop3s"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(ServerForms, SaveAllTest,
                         ::testing::Values("pop3://%1:%2", "%1:%2", "pop3s://%1:%2"),
                         server_form_name);

TEST_F(ServerTest, RecordedMessageIsDeletedNotFetchedAgain) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 3);
    const auto uidls = qv::test::pop3_uidls(s, s.user1, s.pass1);
    ASSERT_EQ(uidls.size(), 3u);

    // An earlier receive saved message 2 and recorded it, then failed before QUIT.
    QString error;
    const auto address =
        qv::mail::parse_server_address(pop3(s), qv::mail::MailProtocol::Pop3, &error);
    ASSERT_TRUE(address);
    const QString record = dir_.filePath(qv::mail::ReceiveRecord::file_name(*address, s.user1));
    ASSERT_TRUE(write_file(dir_.filePath(QStringLiteral("earlier.eml")), wire[1]));
    ASSERT_TRUE(write_file(record, uidls[1].second + "\tearlier.eml\n"));

    const qv::MailArray saved = receive(pop3(s), s);
    ASSERT_TRUE(saved) << mail_.lastError().toStdString();
    ASSERT_EQ(saved->size(), 3);
    EXPECT_EQ((*saved)[0], QStringLiteral("earlier.eml"));  // handed over now, not fetched
    EXPECT_EQ(saved_contents(dir_.path(), *saved),
              (std::vector<QByteArray>{wire[1], wire[0], wire[2]}));
    EXPECT_EQ(visible_files(dir_.path()).size(), 3);  // no second copy of message 2
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 0);
    EXPECT_EQ(file_bytes(record), QByteArray());  // all handed over
}

TEST_F(ServerTest, RecordedMessageWhoseFileIsGoneIsFetchedAgain) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 2);
    const auto uidls = qv::test::pop3_uidls(s, s.user1, s.pass1);
    ASSERT_EQ(uidls.size(), 2u);
    QString error;
    const auto address =
        qv::mail::parse_server_address(pop3(s), qv::mail::MailProtocol::Pop3, &error);
    ASSERT_TRUE(address);
    ASSERT_TRUE(write_file(dir_.filePath(qv::mail::ReceiveRecord::file_name(*address, s.user1)),
                           uidls[0].second + "\tvanished.eml\n"));

    const qv::MailArray saved = receive(pop3(s), s);
    ASSERT_TRUE(saved) << mail_.lastError().toStdString();
    EXPECT_EQ(saved_contents(dir_.path(), *saved), wire);  // never lost
}

TEST_F(ServerTest, WrongPasswordFailsAndKeepsTheMail) {
    QV_REQUIRE_MAIL_SERVERS(s);
    seed(s, 2);
    const qv::MailArray saved = mail_.RcvMail(pop3(s), s.user1, QStringLiteral("wrong"),
                                              QStringLiteral("SAVEALLD"), dir_.path());
    EXPECT_FALSE(saved);
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("パスワード")))
        << mail_.lastError().toStdString();
    EXPECT_TRUE(visible_files(dir_.path()).isEmpty());
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 2);

    EXPECT_FALSE(mail_.RcvMail(pop3(s), s.user1, QStringLiteral("wrong"), QStringLiteral("STAT"),
                               dir_.path()));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("パスワード")));
}

TEST_F(ServerTest, ClosedPortFailsQuickly) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const int port = qv::test::unused_port();
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(receive(QStringLiteral("127.0.0.1:%1").arg(port), s, QStringLiteral("STAT")));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("接続できません")))
        << mail_.lastError().toStdString();
    const QString sent =
        mail_.SendMail(QStringLiteral("smtp://127.0.0.1:%1").arg(port), s.addr2, s.addr1,
                       QStringLiteral("x"), QStringLiteral("x"), QString());
    EXPECT_TRUE(sent.startsWith(QStringLiteral("送信できませんでした（"))) << sent.toStdString();
    EXPECT_TRUE(sent.contains(QStringLiteral("接続できません")));
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST_F(ServerTest, SilentServerTimesOut) {
    QV_REQUIRE_MAIL_SERVERS(s);
    FaultProxy silent(s.pop3_port, FaultProxy::Mode::Silent);
    mail_.setTimeouts(2, 2);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(receive(QStringLiteral("pop3://127.0.0.1:%1").arg(silent.port()), s));
    EXPECT_LT(timer.elapsed(), 6000);
    EXPECT_GE(timer.elapsed(), 1500);
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("応答がありません")))
        << mail_.lastError().toStdString();
    EXPECT_EQ(silent.connections(), 1);
}

TEST_F(ServerTest, ForeignCertificateIsRefused) {
    QV_REQUIRE_MAIL_SERVERS(s);
    seed(s, 1);
    // A real authority, but not the one that signed the test servers' certificate.
    const QStringList authorities = QDir(QStringLiteral("/usr/share/ca-certificates/mozilla"))
                                        .entryList({QStringLiteral("*.crt")});
    if (authorities.isEmpty()) GTEST_SKIP() << "no CA certificates installed";
    mail_.setCaFile(QStringLiteral("/usr/share/ca-certificates/mozilla/") + authorities.first());
    EXPECT_FALSE(receive(QStringLiteral("pop3s://%1:%2").arg(s.host).arg(s.pop3s_port), s));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("証明書")))
        << mail_.lastError().toStdString();
    EXPECT_FALSE(receive(QStringLiteral("%1:%2").arg(s.host).arg(s.pop3_port), s));  // STARTTLS too
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("証明書")));
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 1);

    mail_.setCaFile(QString());  // the system store trusts the test CA
    EXPECT_TRUE(receive(QStringLiteral("pop3s://%1:%2").arg(s.host).arg(s.pop3s_port), s));
}

TEST_F(ServerTest, RequiredStartTlsIsNeverSkipped) {
    QV_REQUIRE_MAIL_SERVERS(s);
    seed(s, 1);
    // A server (or someone in between) that does not offer STLS: nothing may log in in the
    // clear before the user said yes for the account.
    FaultProxy plain(s.pop3_port, FaultProxy::Mode::Forward);
    plain.hide_stls();
    EXPECT_FALSE(receive(QStringLiteral("127.0.0.1:%1").arg(plain.port()), s));
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("STARTTLS")))
        << mail_.lastError().toStdString();
    QByteArray sasl_plain(1, '\0');  // what AUTH PLAIN would carry, base64-encoded
    sasl_plain += s.user1.toUtf8() + '\0' + s.pass1.toUtf8();
    EXPECT_FALSE(plain.from_clients().contains(s.pass1.toUtf8()));
    EXPECT_FALSE(plain.from_clients().contains(sasl_plain.toBase64()));
    EXPECT_TRUE(plain.from_clients().contains("CAPA"));  // it did talk to the server
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 1);

    EXPECT_EQ(mail_.lastFailure(), qv::MailFailure::NoStartTls);
    mail_.setPlainLoginAllowed(true);
    const qv::MailArray saved = receive(QStringLiteral("pop3://127.0.0.1:%1").arg(plain.port()), s);
    ASSERT_TRUE(saved) << mail_.lastError().toStdString();
    EXPECT_EQ(saved->size(), 1);
    EXPECT_TRUE(plain.from_clients().contains(sasl_plain.toBase64()));  // this time in the clear
}

// A connection cut in the middle of a message: nothing deleted, no partial file, and the next
// receive gets every message exactly once. Over TLS (the server offers STLS) and over plain
// POP3 (the proxy hides STLS), where only the protocol itself shows that a message was cut.
class CutTest : public ServerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CutTest, NothingLostNothingDoubled) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const bool plain = GetParam();
    const std::vector<QByteArray> wire = seed(s, 4, 20000);
    // Past the greeting, the login and message 1, into the middle of message 2 or 3.
    FaultProxy cutter(s.pop3_port, FaultProxy::Mode::CutAfter, 50000);
    if (plain) cutter.hide_stls();
    mail_.setPlainLoginAllowed(plain);
    mail_.setReceiveBatch(1);  // message 1 is committed before the cut
    const std::vector<QByteArray> tls_login = {"Login: user=<user1>", ", TLS"};
    const int tls_logins = qv::test::count_log_lines(s.dovecot_log, tls_login);

    const qv::MailArray cut = receive(QStringLiteral("pop3://127.0.0.1:%1").arg(cutter.port()), s);
    EXPECT_EQ(qv::test::count_log_lines(s.dovecot_log, tls_login), tls_logins + (plain ? 0 : 1));
    EXPECT_FALSE(cut);
    EXPECT_TRUE(cutter.has_cut());
    EXPECT_EQ(cutter.connections(), 1);  // never quietly reconnected
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("接続が切れました")))
        << mail_.lastError().toStdString();
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 4);  // nothing deleted
    EXPECT_TRUE(hidden_temporaries(dir_.path()).isEmpty());
    const QStringList before = visible_files(dir_.path());
    EXPECT_GE(before.size(), 1);
    EXPECT_LT(before.size(), 4);
    for (const QString& name : before) {  // only whole messages
        const QByteArray content = file_bytes(dir_.filePath(name));
        EXPECT_NE(std::find(wire.begin(), wire.end(), content), wire.end()) << name.toStdString();
    }

    // The retry goes to the same server (through the proxy, which now lets it pass).
    const qv::MailArray rest = receive(QStringLiteral("pop3://127.0.0.1:%1").arg(cutter.port()), s);
    ASSERT_TRUE(rest) << mail_.lastError().toStdString();
    // Without a batch sink, the files saved before the cut were handed over then: the retry
    // brings the others, and no message twice.
    EXPECT_EQ(saved_contents(dir_.path(), before + *rest), wire);
    EXPECT_EQ(visible_files(dir_.path()).size(), 4);
    EXPECT_EQ(cutter.connections(), 2);
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 0);
}

TEST_P(CutTest, UnfinishedBatchLeavesNoFileAtAll) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 4, 20000);
    FaultProxy cutter(s.pop3_port, FaultProxy::Mode::CutAfter, 50000);
    if (GetParam()) cutter.hide_stls();
    mail_.setPlainLoginAllowed(GetParam());
    EXPECT_FALSE(receive(QStringLiteral("pop3://127.0.0.1:%1").arg(cutter.port()), s));
    EXPECT_TRUE(QDir(dir_.path()).entryList({QStringLiteral("*.eml")}, QDir::Files).isEmpty());
    EXPECT_TRUE(hidden_temporaries(dir_.path()).isEmpty());
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 4);
    const qv::MailArray all = receive(pop3(s), s);
    ASSERT_TRUE(all);
    EXPECT_EQ(saved_contents(dir_.path(), *all), wire);
}

TEST_P(CutTest, ServerFallingSilentMidMessageTimesOut) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 3, 20000);
    FaultProxy staller(s.pop3_port, FaultProxy::Mode::StallAfter, 30000);
    if (GetParam()) staller.hide_stls();
    mail_.setPlainLoginAllowed(GetParam());
    mail_.setTimeouts(5, 2);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(receive(QStringLiteral("pop3://127.0.0.1:%1").arg(staller.port()), s));
    EXPECT_TRUE(staller.has_cut());
    EXPECT_LT(timer.elapsed(), 8000);
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("応答がありません")))
        << mail_.lastError().toStdString();
    EXPECT_TRUE(QDir(dir_.path())
                    .entryList(QDir::Files | QDir::Hidden)
                    .filter(QStringLiteral(".eml"))
                    .isEmpty());
    EXPECT_TRUE(hidden_temporaries(dir_.path()).isEmpty());
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 3);
}

INSTANTIATE_TEST_SUITE_P(Transport, CutTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Plain" : "Tls");
                         });

// Sending through the submission port (STARTTLS + AUTH) and the SMTPS port, then fetching the
// mail back over POP3 and reading it.
struct SendCase {
    const char* name;
    const char* server;  // %1 host, %2 port
    bool submission;
};

void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class SendTest : public ServerTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTest, ArrivesWithJapaneseTextAndAttachment) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const SendCase& c = GetParam();
    qv::test::empty_mailbox(s, s.user2);
    QByteArray mp3(48 * 1024, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(mp3.data()), mp3.size() / 4);
    mp3.replace(0, 3, "ID3");
    QTemporaryDir outbox;
    const QString attachment = outbox.filePath(QStringLiteral("録音メモ①.mp3"));
    ASSERT_TRUE(write_file(attachment, mp3));

    const QString subject = QStringLiteral("会議の件①～髙橋より");
    const QString body =
        QStringLiteral("こんにちは。\n添付の録音をお聞きください。\n.\n以上です。");
    mail_.setSmtpLogin(s.user1, s.pass1);
    const int port = c.submission ? s.submission_port : s.smtps_port;
    const QString result =
        mail_.SendMail(QString::fromLatin1(c.server).arg(s.host).arg(port), s.addr2,
                       QStringLiteral("テスト太郎 <%1>").arg(s.addr1), subject, body, attachment);
    ASSERT_EQ(result, QString()) << result.toStdString();
    ASSERT_TRUE(qv::test::wait_for_maildir(s, s.user2, 1, 20000));

    const qv::MailArray saved =
        mail_.RcvMail(QStringLiteral("pop3s://%1:%2").arg(s.host).arg(s.pop3s_port), s.user2,
                      s.pass2, QStringLiteral("SAVEALLD"), dir_.path());
    ASSERT_TRUE(saved) << mail_.lastError().toStdString();
    ASSERT_EQ(saved->size(), 1);
    const QByteArray raw = file_bytes(dir_.filePath(saved->first()));
    EXPECT_TRUE(raw.toLower().contains("\r\nsubject: =?utf-8?b?")) << raw.left(2000).toStdString();
    EXPECT_TRUE(raw.contains("\r\nDate: "));
    EXPECT_TRUE(raw.contains("\r\nMessage-Id: <") || raw.contains("\r\nMessage-ID: <"));
    EXPECT_TRUE(raw.contains("\r\nMIME-Version: 1.0"));
    EXPECT_TRUE(raw.contains("Content-Type: audio/mpeg"));
    EXPECT_TRUE(raw.contains("charset=utf-8"));
    EXPECT_TRUE(raw.toLower().contains("filename*=utf-8''%e9%8c%b2%e9%9f%b3"));  // RFC 2231

    const auto mail = mail_.ReadMail(saved->first(), dir_.path());
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->subject, subject);
    EXPECT_EQ(mail->sender, QStringLiteral("テスト太郎 <%1>").arg(s.addr1));
    EXPECT_FALSE(mail->date.isEmpty());
    EXPECT_EQ(mail->body, body);
    EXPECT_EQ(mail->attachment, QDir(qv::attachment_dir(dir_.path(), saved->first()))
                                    .filePath(QStringLiteral("録音メモ①.mp3")));
    EXPECT_TRUE(file_bytes(mail->attachment) == mp3);
    EXPECT_GE(qv::test::count_log_lines(s.postfix_log, {"sasl_username=user1"}), 1);
}

INSTANTIATE_TEST_SUITE_P(Ports, SendTest,
                         ::testing::Values(SendCase{"SubmissionStartTls", "%1:%2", true},
                                           SendCase{"Smtps", "smtps://%1:%2", false}),
                         [](const ::testing::TestParamInfo<SendCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ServerTest, SendWithoutAuthWhereNoneIsOffered) {
    QV_REQUIRE_MAIL_SERVERS(s);
    qv::test::empty_mailbox(s, s.user1);
    mail_.setSmtpLogin(s.user2, s.pass2);  // set, but the plain port offers no AUTH
    mail_.setPlainLoginAllowed(true);      // nor STARTTLS
    const QString result = mail_.SendMail(
        QStringLiteral("smtp://%1:%2").arg(s.host).arg(s.smtp_port), s.addr1, s.addr2,
        QStringLiteral("plain"), QStringLiteral("ASCII body\nline 2"), QString());
    ASSERT_EQ(result, QString()) << result.toStdString();
    ASSERT_TRUE(qv::test::wait_for_maildir(s, s.user1, 1, 20000));
    const std::vector<QByteArray> stored = qv::test::maildir_messages(s, s.user1);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].contains("Subject: plain"));
    EXPECT_TRUE(stored[0].contains("ASCII body\nline 2"));
}

TEST_F(ServerTest, RefusedLoginGivesTheReason) {
    QV_REQUIRE_MAIL_SERVERS(s);
    qv::test::empty_mailbox(s, s.user2);
    mail_.setSmtpLogin(s.user1, QStringLiteral("wrong"));
    const QString result =
        mail_.SendMail(QStringLiteral("%1:%2").arg(s.host).arg(s.submission_port), s.addr2, s.addr1,
                       QStringLiteral("件名"), QStringLiteral("本文"), QString());
    EXPECT_TRUE(result.startsWith(QStringLiteral("送信できませんでした（認証に失敗しました。")))
        << result.toStdString();
    EXPECT_EQ(mail_.lastError(), result);

    mail_.setSmtpLogin(QString(), QString());  // no login at all where one is required
    const QString anonymous =
        mail_.SendMail(QStringLiteral("smtps://%1:%2").arg(s.host).arg(s.smtps_port), s.addr2,
                       s.addr1, QStringLiteral("件名"), QStringLiteral("本文"), QString());
    EXPECT_TRUE(anonymous.startsWith(QStringLiteral("送信できませんでした（")))
        << anonymous.toStdString();
    QThread::msleep(500);
    EXPECT_EQ(qv::test::maildir_count(s, s.user2), 0);
}

TEST_F(ServerTest, MissingAttachmentSendsNothing) {
    QV_REQUIRE_MAIL_SERVERS(s);
    FaultProxy watch(s.smtp_port, FaultProxy::Mode::Forward);
    const QString result = mail_.SendMail(
        QStringLiteral("smtp://127.0.0.1:%1").arg(watch.port()), s.addr1, s.addr2,
        QStringLiteral("件名"), QStringLiteral("本文"), dir_.filePath(QStringLiteral("ない.mp3")));
    EXPECT_TRUE(result.startsWith(QStringLiteral("送信できませんでした（添付ファイル")));
    EXPECT_TRUE(result.contains(QStringLiteral("ない.mp3")));
    EXPECT_TRUE(result.contains(QStringLiteral("見つかりません")));
    EXPECT_EQ(watch.connections(), 0);
}

}  // namespace
