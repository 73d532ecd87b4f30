// The mail component and its POP3 and IMAP sessions against the real Dovecot and Postfix, checked
// through the tests' own plain clients: what the server holds afterwards, the exact bytes fetched
// and saved, what failures do and what the user hears then, and mail sent and fetched back.
#include "mail/curl_mail_component.h"
#include "mail/imap_session.h"
#include "mail/pop3_session.h"
#include "mail/receive_record.h"
#include "mail/server_address.h"
#include "support/fakes.h"
#include "support/fault_proxy.h"
#include "support/files.h"
#include "support/mail_servers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace {

using qv::mail::ImapSession;
using qv::mail::Pop3Session;
using qv::test::FaultProxy;
using qv::test::MailServers;

using qv::test::file_bytes;
using qv::test::write_file;

// `count` messages of tests/data/server/seed.eml (lines POP3 dot-stuffs, lines like IMAP answers)
// in user1's otherwise empty mailbox, filled to about `filler` bytes; their bytes as served.
std::vector<QByteArray> seed(const MailServers& s, int count, int filler = 0) {
    qv::test::empty_mailbox(s, s.user1);
    std::vector<QByteArray> wire;
    for (int n = 1; n <= count; ++n) {
        QByteArray m =
            file_bytes(QStringLiteral(QV_TEST_DATA_DIR "/server/seed.eml"))
                .replace("{to}", s.addr1.toUtf8())
                .replace("{subject}", QStringLiteral("テスト %1 号").arg(n).toUtf8().toBase64())
                .replace("{id}", QByteArray::number(QRandomGenerator::global()->generate64()))
                .replace("{n}", QByteArray::number(n));
        while (m.size() < filler) m += QByteArray(998, static_cast<char>('a' + n % 26)) + '\n';
        qv::test::seed_message(s, s.user1, m);
        wire.push_back(qv::test::as_crlf(m));
    }
    return wire;
}

QStringList visible_files(const QString& dir) {
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

bool no_temporaries(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral(".qv-part*")}, QDir::Files | QDir::Hidden).isEmpty();
}

// A real authority, but not the one that signed the test servers' certificate.
QString foreign_ca() {
    const QString dir = QStringLiteral("/usr/share/ca-certificates/mozilla/");
    const QStringList all = QDir(dir).entryList({QStringLiteral("*.crt")});
    return all.isEmpty() ? QString() : dir + all.first();
}

// The address of a server on 127.0.0.1 at `port`, written "<scheme>://host:port".
qv::mail::ServerAddress address(const char* scheme, int port, qv::mail::MailProtocol protocol) {
    QString error;
    const QString text = QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
    return qv::mail::parse_server_address(text, protocol, &error).value();
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

    qv::MailArray receive(const QString& server, const MailServers& s,
                          const QString& command = QStringLiteral("SAVEALLD")) {
        return mail_.RcvMail(server, s.user1, s.pass1, command, dir_.path());
    }
    // The contents of saved files, in the order given.
    std::vector<QByteArray> contents(const QStringList& names) const {
        std::vector<QByteArray> out;
        for (const QString& name : names) out.push_back(file_bytes(dir_.filePath(name)));
        return out;
    }

    QTemporaryDir dir_;
    qv::test::RecordingPauser pauser_;
    qv::CurlMailComponent mail_{pauser_};
    std::mutex progress_mutex_;
    std::vector<std::pair<int, int>> progress_;
};

// Over each way of writing the server: pop3:// (STLS when offered), host:port (STARTTLS
// required) and pop3s:// (TLS from the start), STAT and LIST count what waits and take nothing;
// SAVEALLD empties the server into byte-exact files, handing over what an earlier receive
// recorded. (An empty server: the receive tests.)
class SaveAllTest : public ServerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SaveAllTest, CountsThenEmptiesTheServerIntoByteExactFiles) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 5, 3000);
    const QString form = QString::fromLatin1(GetParam());
    const QString server =
        form.arg(s.host).arg(form.startsWith(QLatin1String("pop3s")) ? s.pop3s_port : s.pop3_port);
    qint64 octets = 0;
    QStringList sizes;
    for (const QByteArray& m : wire) {
        octets += m.size();
        sizes << QStringLiteral("%1 %2").arg(sizes.size() + 1).arg(m.size());
    }
    const qv::MailArray stat = receive(server, s, QStringLiteral("STAT"));
    ASSERT_TRUE(stat) << mail_.lastError().toStdString();
    EXPECT_EQ(*stat, (QStringList{QStringLiteral("5 %1").arg(octets), QStringLiteral("0 0")}));
    const qv::MailArray list = receive(server, s, QStringLiteral("LIST"));
    ASSERT_TRUE(list) << mail_.lastError().toStdString();
    EXPECT_EQ(*list, sizes);
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 5);  // looking deletes nothing

    // An earlier receive recorded message 2, saved, and message 1, whose file is gone since.
    const auto uidls = qv::test::pop3_uidls(s, s.user1, s.pass1);
    ASSERT_EQ(uidls.size(), 5u);
    QString error;
    const QString record = dir_.filePath(qv::mail::ReceiveRecord::file_name(
        *qv::mail::parse_server_address(server, qv::mail::MailProtocol::Pop3, &error), s.user1));
    ASSERT_TRUE(write_file(dir_.filePath(QStringLiteral("earlier.eml")), wire[1]));
    ASSERT_TRUE(write_file(
        record, uidls[0].second + "\tvanished.eml\n" + uidls[1].second + "\tearlier.eml\n"));

    const std::vector<QByteArray> tls_login = {"Login: user=<user1>", ", TLS"};
    const int tls_logins_before = qv::test::count_log_lines(s.dovecot_log, tls_login);
    const qv::MailArray saved = receive(server, s);
    ASSERT_TRUE(saved) << mail_.lastError().toStdString();
    // Message 2 handed over without fetching it again, message 1 fetched again (never lost),
    // then the rest in server order, byte for byte; no second copy of anything.
    EXPECT_EQ(contents(*saved),
              (std::vector<QByteArray>{wire[1], wire[0], wire[2], wire[3], wire[4]}));
    EXPECT_EQ(saved->value(0), QStringLiteral("earlier.eml"));
    EXPECT_EQ(visible_files(dir_.path()).size(), 5);
    EXPECT_EQ(file_bytes(record), QByteArray());  // all handed over
    EXPECT_TRUE(no_temporaries(dir_.path()));
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1), std::make_pair(0LL, 0LL));
    EXPECT_EQ(qv::test::count_log_lines(s.dovecot_log, tls_login), tls_logins_before + 1);
    ASSERT_FALSE(progress_.empty());
    EXPECT_EQ(progress_.back(), std::make_pair(4, 4));  // fetched: all but message 2
}

const char* const kFormNames[] = {"Pop3StlsIfOffered", "HostPortStartTls", "Pop3s"};
INSTANTIATE_TEST_SUITE_P(ServerForms, SaveAllTest,
                         ::testing::Values("pop3://%1:%2", "%1:%2", "pop3s://%1:%2"),
                         [](const auto& info) { return std::string(kFormNames[info.index]); });

// What the user hears when receiving over POP3 or IMAP or sending cannot work, how soon, and that
// the mail stays on the server and nothing arrives. A server that does not offer STLS / STARTTLS
// (or someone in between) must make no address log in in the clear, and a missing attachment is
// found before any connection.
TEST_F(ServerTest, FailuresSayWhyAndKeepTheMail) {
    QV_REQUIRE_MAIL_SERVERS(s);
    seed(s, 2);
    qv::test::empty_mailbox(s, s.user2);
    ASSERT_FALSE(foreign_ca().isEmpty());
    FaultProxy silent(s.pop3_port, FaultProxy::Mode::Silent);
    FaultProxy imap_silent(s.imap_port, FaultProxy::Mode::Silent);
    FaultProxy plain(s.pop3_port, FaultProxy::Mode::Forward);
    FaultProxy imap_plain(s.imap_port, FaultProxy::Mode::Forward);
    FaultProxy smtp_watch(s.smtp_port, FaultProxy::Mode::Forward);
    plain.hide_tls();
    imap_plain.hide_tls();
    const QHash<QString, QString> names = {
        {QStringLiteral("host"), s.host},
        {QStringLiteral("pop3"), QString::number(s.pop3_port)},
        {QStringLiteral("pop3s"), QString::number(s.pop3s_port)},
        {QStringLiteral("imap"), QString::number(s.imap_port)},
        {QStringLiteral("imaps"), QString::number(s.imaps_port)},
        {QStringLiteral("submission"), QString::number(s.submission_port)},
        {QStringLiteral("smtps"), QString::number(s.smtps_port)},
        {QStringLiteral("closed"), QString::number(qv::test::unused_port())},
        {QStringLiteral("silent"), QString::number(silent.port())},
        {QStringLiteral("imap_silent"), QString::number(imap_silent.port())},
        {QStringLiteral("plain"), QString::number(plain.port())},
        {QStringLiteral("imap_plain"), QString::number(imap_plain.port())},
        {QStringLiteral("smtp_watch"), QString::number(smtp_watch.port())}};
    const auto named = [&](QString text) {
        for (auto n = names.begin(); n != names.end(); ++n) text.replace('{' + n.key() + '}', *n);
        return text;
    };
    int cases = 0;
    for (const QByteArray& line :
         file_bytes(QV_TEST_DATA_DIR "/cases/mail_failures.txt").split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QStringList c = named(QString::fromUtf8(line)).split(u'\t');
        ASSERT_EQ(c.size(), 8) << line.constData();
        ++cases;
        const bool send = c[2].startsWith(u"SEND");
        const QString password = c[1] == u"-" ? s.pass1 : c[1];
        mail_.setCaFile(c[3].isEmpty() ? QString() : foreign_ca());
        mail_.setTimeouts(15, c[4].toInt());
        mail_.setPlainLoginAllowed(send);  // the plain SMTP port offers no STARTTLS
        mail_.setSmtpLogin(password.isEmpty() ? QString() : s.user1, password);
        QElapsedTimer timer;
        timer.start();
        if (send) {
            const QString missing = c[2].mid(5);
            const QString result = mail_.SendMail(
                c[0], s.addr2, s.addr1, QStringLiteral("件名"), QStringLiteral("本文"),
                missing.isEmpty() ? QString() : dir_.filePath(missing));
            EXPECT_TRUE(result.startsWith(QStringLiteral("送信できませんでした（")))
                << result.toStdString();
            EXPECT_EQ(mail_.lastError(), result);
        } else {
            EXPECT_FALSE(mail_.RcvMail(c[0], s.user1, password, c[2], dir_.path()))
                << line.constData();
        }
        EXPECT_GE(timer.elapsed(), c[5].toInt()) << line.constData();
        EXPECT_LT(timer.elapsed(), c[6].toInt()) << line.constData();
        EXPECT_TRUE(mail_.lastError().contains(c[7]))
            << line.constData() << ": " << mail_.lastError().toStdString();
    }
    EXPECT_EQ(cases, 16);
    EXPECT_EQ(imap_silent.connections(), 1);
    EXPECT_EQ(imap_plain.connections(), 1);
    const QByteArray imap_sent = imap_plain.from_clients();
    EXPECT_TRUE(imap_sent.contains("CAPABILITY")) << imap_sent.constData();
    for (const char* secret : {"AUTHENTICATE", "LOGIN", "pass1"}) {
        EXPECT_FALSE(imap_sent.contains(secret)) << imap_sent.constData();
    }
    EXPECT_EQ(silent.connections(), 1);
    EXPECT_EQ(smtp_watch.connections(), 0);
    EXPECT_TRUE(visible_files(dir_.path()).isEmpty());
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 2);
    // (Consent to a login in the clear: plain_login_consent_test.)
    EXPECT_TRUE(plain.from_clients().contains("CAPA"));  // it did talk to the server
    EXPECT_FALSE(plain.from_clients().contains(s.pass1.toUtf8()));
    QThread::msleep(500);
    EXPECT_EQ(qv::test::maildir_count(s, s.user2), 0);
}

// A server falling silent in a message times out and leaves no file (default batch); a connection
// cut there (batches of one) leaves whole messages only. Neither deletes anything, and the next
// receive gets every message exactly once. Over TLS and over plain POP3 (the proxy hides STLS).
class CutTest : public ServerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CutTest, NothingLostNothingDoubled) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const bool plain = GetParam();
    const std::vector<QByteArray> wire = seed(s, 4, 20000);
    FaultProxy staller(s.pop3_port, FaultProxy::Mode::StallAfter, 30000);
    // Past the greeting, the login and message 1, into the middle of message 2 or 3.
    FaultProxy cutter(s.pop3_port, FaultProxy::Mode::CutAfter, 50000);
    if (plain) {
        staller.hide_tls();
        cutter.hide_tls();
    }
    mail_.setPlainLoginAllowed(plain);
    const auto through = [](const FaultProxy& p) {
        return QStringLiteral("pop3://127.0.0.1:%1").arg(p.port());
    };

    mail_.setTimeouts(5, 2);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(receive(through(staller), s));
    EXPECT_LT(timer.elapsed(), 8000);
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("応答がありません")))
        << mail_.lastError().toStdString();
    EXPECT_TRUE(visible_files(dir_.path()).isEmpty());
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 4);  // nothing deleted
    EXPECT_TRUE(no_temporaries(dir_.path()));

    mail_.setReceiveBatch(1);  // message 1 is committed before the cut
    const std::vector<QByteArray> tls_login = {"Login: user=<user1>", ", TLS"};
    const int tls_logins = qv::test::count_log_lines(s.dovecot_log, tls_login);
    EXPECT_FALSE(receive(through(cutter), s));
    EXPECT_EQ(qv::test::count_log_lines(s.dovecot_log, tls_login), tls_logins + (plain ? 0 : 1));
    EXPECT_EQ(cutter.connections(), 1);  // never quietly reconnected
    EXPECT_TRUE(mail_.lastError().contains(QStringLiteral("接続が切れました")))
        << mail_.lastError().toStdString();
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 4);  // nothing deleted
    EXPECT_TRUE(no_temporaries(dir_.path()));
    const QStringList before = visible_files(dir_.path());
    EXPECT_GE(before.size(), 1);
    EXPECT_LT(before.size(), 4);

    // The retry, through the proxy that now lets it pass, brings the others (the files saved
    // before the cut were handed over then): each whole, none twice.
    const qv::MailArray rest = receive(through(cutter), s);
    ASSERT_TRUE(rest) << mail_.lastError().toStdString();
    EXPECT_EQ(contents(before + *rest), wire);
    EXPECT_EQ(visible_files(dir_.path()).size(), 4);
    EXPECT_EQ(cutter.connections(), 2);
    EXPECT_EQ(qv::test::pop3_stat(s, s.user1, s.pass1).first, 0);
}

INSTANTIATE_TEST_SUITE_P(Transport, CutTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Plain" : "Tls");
                         });

// Sent through the submission port (STARTTLS + AUTH), SMTPS (AUTH) and the plain port (no AUTH
// offered: none tried although a login is set), then fetched back over POP3 and read. Either
// AUTH port refuses a mail without a login, and the plain one a login it does not offer.
struct SendCase {
    const char* name;
    const char* server;  // %1 host, %2 port
    int MailServers::*port;
};

class SendTest : public ServerTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTest, ArrivesWithJapaneseTextAndAttachment) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const SendCase& c = GetParam();
    qv::test::empty_mailbox(s, s.user2);
    mail_.setPlainLoginAllowed(c.port == &MailServers::smtp_port);  // it offers no STARTTLS
    QByteArray mp3(48 * 1024, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(mp3.data()), mp3.size() / 4);
    mp3.replace(0, 3, "ID3");
    const QString attachment = dir_.filePath(QStringLiteral("録音メモ①.mp3"));
    ASSERT_TRUE(write_file(attachment, mp3));

    const QString subject = QStringLiteral("会議の件①～髙橋より");
    const QString body =
        QStringLiteral("こんにちは。\n添付の録音をお聞きください。\n.\n以上です。");
    mail_.setSmtpLogin(s.user1, s.pass1);
    const QString result =
        mail_.SendMail(QString::fromLatin1(c.server).arg(s.host).arg(s.*c.port), s.addr2,
                       QStringLiteral("テスト太郎 <%1>").arg(s.addr1), subject, body, attachment);
    ASSERT_EQ(result, QString()) << result.toStdString();
    ASSERT_TRUE(qv::test::wait_for_maildir(s, s.user2, 1, 20000));

    const qv::MailArray saved =
        mail_.RcvMail(QStringLiteral("pop3s://%1:%2").arg(s.host).arg(s.pop3s_port), s.user2,
                      s.pass2, QStringLiteral("SAVEALLD"), dir_.path());
    ASSERT_TRUE(saved) << mail_.lastError().toStdString();
    ASSERT_EQ(saved->size(), 1);
    const QByteArray raw = file_bytes(dir_.filePath(saved->first()));
    // (The builder's own test checks the rest of the header; the server adds what is missing.)
    for (const char* field :
         {"charset=utf-8", "filename*=utf-8''%e9%8c%b2%e9%9f%b3"}) {  // RFC 2231
        EXPECT_TRUE(raw.toLower().contains(field)) << field << "\n" << raw.left(2000).toStdString();
    }

    const auto mail = mail_.ReadMail(saved->first(), dir_.path());
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->subject, subject);
    EXPECT_EQ(mail->sender, QStringLiteral("テスト太郎 <%1>").arg(s.addr1));
    EXPECT_EQ(mail->body, body);
    EXPECT_EQ(mail->attachment, QDir(qv::attachment_dir(dir_.path(), saved->first()))
                                    .filePath(QStringLiteral("録音メモ①.mp3")));
    EXPECT_TRUE(file_bytes(mail->attachment) == mp3);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SendTest,
    ::testing::Values(SendCase{"SubmissionStartTls", "%1:%2", &MailServers::submission_port},
                      SendCase{"Smtps", "smtps://%1:%2", &MailServers::smtps_port},
                      SendCase{"PlainWithoutAuth", "smtp://%1:%2", &MailServers::smtp_port}),
    [](const ::testing::TestParamInfo<SendCase>& info) { return std::string(info.param.name); });

// A POP3 session commits deletions by quit() and nothing else: not when abandoned after its
// DELEs, a DELE is refused, or the receiver gives up in the middle of a message. (That quit()
// commits them, and what is fetched: SaveAllTest.)
struct Collector {
    std::vector<QByteArray> messages;
    int open = -1;
    int fail_at = -1;  // the step whose bytes the receiver refuses
    Pop3Session::Receiver receiver() {
        return {[this](size_t step) {
                    open = static_cast<int>(step);
                    messages.emplace_back();
                    return true;
                },
                [this](const char* data, size_t size) {
                    messages.back().append(data, static_cast<qsizetype>(size));
                    return open != fail_at;
                },
                [this](size_t) {
                    open = -1;
                    return true;
                }};
    }
};

TEST(Pop3SessionTest, DeletionsTakeEffectOnlyAtQuit) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 3, 3000);
    const auto open_session = [&] {
        return std::make_unique<Pop3Session>(
            address("pop3", s.pop3_port, qv::mail::MailProtocol::Pop3), s.user1, s.pass1,
            qv::mail::NetworkOptions{5, 5, QByteArray()});
    };
    const auto every_message = [](Pop3Session& session, bool fetch) {
        std::vector<std::pair<int, QByteArray>> messages;
        std::vector<Pop3Session::Step> steps;
        if (session.uidl(&messages)) {
            for (const auto& m : messages) steps.push_back({m.first, fetch});
        }
        return steps;
    };
    const auto waiting = [&] { return qv::test::pop3_stat(s, s.user1, s.pass1).first; };

    // Everything fetched and deleted, then abandoned: quit() commits nothing after that.
    auto session = open_session();
    std::vector<Pop3Session::Step> steps = every_message(*session, true);
    ASSERT_EQ(steps.size(), 3u) << session->error().toStdString();
    Collector first;
    ASSERT_TRUE(session->fetch_and_delete(steps, first.receiver()))
        << session->error().toStdString();
    session->abandon();
    EXPECT_FALSE(session->quit());
    session.reset();
    EXPECT_EQ(waiting(), 3);

    // A refused DELE (of no such message) after two that passed: none of them is committed.
    session = open_session();
    steps = every_message(*session, false);
    steps.insert(steps.begin() + 2, {99, false});
    Collector none;
    EXPECT_FALSE(session->fetch_and_delete(steps, none.receiver()));
    EXPECT_FALSE(session->local_failure());
    EXPECT_TRUE(session->error().startsWith(QStringLiteral("サーバーがエラーを返しました（-ERR")))
        << session->error().toStdString();
    EXPECT_FALSE(session->quit());
    session.reset();
    EXPECT_EQ(waiting(), 3);

    // The receiver failing in the middle of message 2 is a local failure and ends the session:
    // no command after it, and no goodbye.
    session = open_session();
    Collector failing;
    failing.fail_at = 1;
    EXPECT_FALSE(session->fetch_and_delete(every_message(*session, true), failing.receiver()));
    EXPECT_TRUE(session->local_failure());
    ASSERT_EQ(failing.messages.size(), 2u);  // message 2 was begun, never ended
    EXPECT_EQ(failing.messages[0], wire[0]);
    EXPECT_EQ(failing.open, 1);
    qint64 count = 0;
    qint64 octets = 0;
    EXPECT_FALSE(session->stat(&count, &octets));
    EXPECT_FALSE(session->quit());
    session.reset();
    EXPECT_EQ(waiting(), 3);
}

// An IMAP session over STARTTLS deletes exactly the chosen messages (another client's \Deleted
// mark is not ours to expunge) and reads after that without marking \Seen. (More: receive tests.)
TEST(ImapSessionTest, DeletesExactlyTheChosenMessages) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 4, 200000);
    const std::vector<quint32> u = qv::test::imap_inbox(s, s.user1, s.pass1).uids;
    ASSERT_EQ(u.size(), 4u);
    ASSERT_TRUE(qv::test::imap_flag_deleted(s, s.user1, s.pass1, u[3]));

    ImapSession session(address("imap", s.imap_port, qv::mail::MailProtocol::Imap), s.user1,
                        s.pass1, qv::mail::NetworkOptions{3, 3, QByteArray()});
    ASSERT_TRUE(session.delete_messages({u[2], u[0]})) << session.error().toStdString();
    Collector again;
    ASSERT_TRUE(session.fetch({u[1]}, again.receiver())) << session.error().toStdString();
    EXPECT_EQ(again.messages, std::vector<QByteArray>{wire[1]});
    std::vector<quint32> above;
    ASSERT_TRUE(session.uids_above(0, &above));
    EXPECT_EQ(above, (std::vector<quint32>{u[1], u[3]}));
    // "n:*" names the last message even when n is past it: none of that may show.
    ASSERT_TRUE(session.uids_above(u[3], &above));
    EXPECT_TRUE(above.empty());
    EXPECT_TRUE(session.logout());
    const qv::test::ImapInbox after = qv::test::imap_inbox(s, s.user1, s.pass1);
    EXPECT_EQ(after.uids, (std::vector<quint32>{u[1], u[3]}));
    EXPECT_FALSE(after.has_flag(u[1], "\\Seen"));
    EXPECT_TRUE(after.has_flag(u[3], "\\Deleted"));
}

}  // namespace
