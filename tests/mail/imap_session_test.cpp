// An IMAP session against the real Dovecot (scripts/mailservers/start), checked through a plain
// IMAP client of the tests' own: what is listed and fetched, that reading leaves \Seen alone, that
// exactly the chosen messages go, that a new UIDVALIDITY shows, and what the user hears when it
// cannot work. Also the imap:// and imaps:// addresses.
#include "mail/imap_session.h"
#include "mail/server_address.h"
#include "support/fault_proxy.h"
#include "support/mail_servers.h"

#include <QDir>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <memory>

namespace {

using qv::mail::ImapSession;
using qv::mail::MailProtocol;
using qv::mail::TlsMode;
using qv::test::MailServers;

TEST(ImapAddressTest, ReadsImapAndImaps) {
    const struct {
        const char* typed;
        const char* url;
        TlsMode tls;
    } cases[] = {
        {"mail.example.test", "imaps://mail.example.test:993/", TlsMode::Implicit},
        {"mail.example.test:993", "imaps://mail.example.test:993/", TlsMode::Implicit},
        {"mail.example.test:143", "imap://mail.example.test:143/", TlsMode::StartTlsRequired},
        {"imap://mail.example.test", "imap://mail.example.test:143/", TlsMode::StartTlsRequired},
        {"IMAPS://Mail.Example.TEST:11993/", "imaps://mail.example.test:11993/", TlsMode::Implicit},
    };
    for (const auto& c : cases) {
        QString error;
        const auto a =
            qv::mail::parse_server_address(QString::fromUtf8(c.typed), MailProtocol::Imap, &error);
        ASSERT_TRUE(a) << c.typed << ": " << error.toStdString();
        EXPECT_EQ(a->url(), QByteArray(c.url)) << c.typed;
        EXPECT_EQ(a->tls, c.tls) << c.typed;
    }
    QString error;
    EXPECT_FALSE(qv::mail::parse_server_address(QStringLiteral("pop3s://mail.example.test"),
                                                MailProtocol::Imap, &error));
    EXPECT_EQ(error, QStringLiteral("受信サーバーの指定「pop3s://mail.example.test」が正しくありま"
                                    "せん（imap:// か imaps:// で始めてください）"));
}

// Collects what a fetch hands over, one entry per message.
struct Collector {
    std::vector<QByteArray> messages;
    std::vector<size_t> ended;
    ImapSession::Receiver receiver() {
        return {[this](size_t) {
                    messages.emplace_back();
                    return true;
                },
                [this](const char* data, size_t size) {
                    messages.back().append(data, static_cast<qsizetype>(size));
                    return true;
                },
                [this](size_t step) {
                    ended.push_back(step);
                    return true;
                }};
    }
};

class ImapSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        servers_ = qv::test::load_mail_servers(&why);
        if (servers_ && !servers_->imap_port) {
            why = QStringLiteral("the servers serve no IMAP (restart scripts/mailservers/start)");
            servers_.reset();
        }
        if (!servers_) {
            if (qv::test::mail_servers_required()) FAIL() << why.toStdString();
            GTEST_SKIP() << "mail servers not running: " << why.toStdString();
        }
        lock_ = std::make_unique<qv::test::MailServerLock>(*servers_);
    }

    const MailServers& s() const { return *servers_; }

    // `count` messages in user1's otherwise empty INBOX; their bytes as IMAP hands them out. They
    // hold lines that look like IMAP answers and one line far longer than any answer line.
    std::vector<QByteArray> seed(int count) {
        qv::test::empty_mailbox(s(), s().user1);
        std::vector<QByteArray> wire;
        for (int i = 1; i <= count; ++i) {
            const QByteArray n = QByteArray::number(i);
            const QByteArray m =
                "From: sender@example.test\nTo: user1@example.test\nSubject: imap " + n +
                "\nMessage-ID: <imap-" +
                QByteArray::number(QRandomGenerator::global()->generate()) +
                "@example.test>\nContent-Type: text/plain; charset=UTF-8\n\n本文 " + n +
                "\n* 1 FETCH (UID 1 BODY[] {5}\nA005 OK done\n)\n" + QByteArray(200000, 'x') + "\n";
            qv::test::seed_message(s(), s().user1, m);
            wire.push_back(qv::test::as_crlf(m));
        }
        return wire;
    }

    std::unique_ptr<ImapSession> session(const QString& address, const QString& password,
                                         const QByteArray& ca_file = {}) const {
        QString error;
        const auto a = qv::mail::parse_server_address(address, MailProtocol::Imap, &error);
        if (!a) return nullptr;
        return std::make_unique<ImapSession>(*a, s().user1, password,
                                             qv::mail::NetworkOptions{3, 3, ca_file});
    }
    std::unique_ptr<ImapSession> imaps() const {
        return session(QStringLiteral("imaps://%1:%2").arg(s().host).arg(s().imaps_port),
                       s().pass1);
    }
    std::unique_ptr<ImapSession> imap() const {  // STARTTLS
        return session(QStringLiteral("imap://%1:%2").arg(s().host).arg(s().imap_port), s().pass1);
    }
    qv::test::ImapInbox inbox() const { return qv::test::imap_inbox(s(), s().user1, s().pass1); }

  private:
    std::optional<MailServers> servers_;
    std::unique_ptr<qv::test::MailServerLock> lock_;
};

TEST_F(ImapSessionTest, ListsAndFetchesExactBytesWithoutMarkingSeen) {
    const std::vector<QByteArray> wire = seed(3);
    const qv::test::ImapInbox before = inbox();
    ASSERT_EQ(before.uids.size(), 3u);

    auto session = imaps();
    ImapSession::Inbox listed;
    ASSERT_TRUE(session->select(&listed)) << session->error().toStdString();
    EXPECT_EQ(listed.uidvalidity, before.uidvalidity);
    EXPECT_EQ(listed.uids, before.uids);
    EXPECT_EQ(listed.exists, 3);

    const std::vector<quint32>& u = listed.uids;
    std::vector<quint32> above;
    ASSERT_TRUE(session->uids_above(u[0], &above));
    EXPECT_EQ(above, (std::vector<quint32>{u[1], u[2]}));
    // "n:*" names the last message even when n is past it: none of that may show.
    ASSERT_TRUE(session->uids_above(u[2], &above));
    EXPECT_TRUE(above.empty());
    qint64 count = -1;
    ASSERT_TRUE(session->count_above(u[0] - 1, &count));
    EXPECT_EQ(count, 3);

    Collector got;
    ASSERT_TRUE(session->fetch({u[2], u[0]}, got.receiver())) << session->error().toStdString();
    EXPECT_EQ(got.messages, (std::vector<QByteArray>{wire[2], wire[0]}));
    EXPECT_EQ(got.ended, (std::vector<size_t>{0, 1}));
    EXPECT_TRUE(session->logout());

    const qv::test::ImapInbox after = inbox();
    EXPECT_EQ(after.uids, before.uids);
    for (const quint32 uid : after.uids) EXPECT_FALSE(after.has_flag(uid, "\\Seen")) << uid;
}

TEST_F(ImapSessionTest, DeletesExactlyTheChosenUids) {
    const std::vector<QByteArray> wire = seed(4);
    const std::vector<quint32> u = inbox().uids;
    ASSERT_EQ(u.size(), 4u);
    // Another client's \Deleted mark on the last one: that one is not ours to expunge.
    ASSERT_TRUE(qv::test::imap_flag_deleted(s(), s().user1, s().pass1, u[3]));

    auto session = imap();
    ImapSession::Inbox listed;
    ASSERT_TRUE(session->select(&listed)) << session->error().toStdString();
    ASSERT_TRUE(session->delete_messages({u[2], u[0]})) << session->error().toStdString();
    // Reading again after deleting still leaves \Seen alone.
    Collector got;
    ASSERT_TRUE(session->fetch({u[1]}, got.receiver())) << session->error().toStdString();
    EXPECT_EQ(got.messages, std::vector<QByteArray>{wire[1]});
    std::vector<quint32> left;
    ASSERT_TRUE(session->uids_above(0, &left));
    EXPECT_EQ(left, (std::vector<quint32>{u[1], u[3]}));
    EXPECT_TRUE(session->logout());

    const qv::test::ImapInbox after = inbox();
    EXPECT_EQ(after.uids, (std::vector<quint32>{u[1], u[3]}));
    EXPECT_FALSE(after.has_flag(u[1], "\\Seen"));
    EXPECT_TRUE(after.has_flag(u[3], "\\Deleted"));
    EXPECT_EQ(qv::test::maildir_count(s(), s().user1), 2);
}

TEST_F(ImapSessionTest, SeesANewUidValidity) {
    seed(2);
    auto first = imaps();
    ImapSession::Inbox before;
    ASSERT_TRUE(first->select(&before)) << first->error().toStdString();
    ASSERT_TRUE(first->logout());

    qv::test::renumber_inbox(s(), s().user1);
    const qv::test::ImapInbox renumbered = inbox();
    ASSERT_NE(renumbered.uidvalidity, 0u);
    ASSERT_NE(renumbered.uidvalidity, before.uidvalidity);

    auto second = imaps();
    ImapSession::Inbox after;
    ASSERT_TRUE(second->select(&after)) << second->error().toStdString();
    EXPECT_EQ(after.uidvalidity, renumbered.uidvalidity);
    EXPECT_EQ(after.uids, (std::vector<quint32>{1, 2}));
}

TEST_F(ImapSessionTest, FailuresSayWhyAndNeverShowThePassword) {
    seed(1);
    // A real authority, but not the one that signed the test servers' certificate.
    const QStringList authorities = QDir(QStringLiteral("/usr/share/ca-certificates/mozilla"))
                                        .entryList({QStringLiteral("*.crt")});
    ASSERT_FALSE(authorities.isEmpty());
    const QByteArray foreign_ca =
        "/usr/share/ca-certificates/mozilla/" + QFile::encodeName(authorities.first());
    qv::test::FaultProxy no_starttls(s().imap_port, qv::test::FaultProxy::Mode::Forward);
    no_starttls.hide_starttls();
    qv::test::FaultProxy silent(s().imap_port, qv::test::FaultProxy::Mode::Silent);
    const int refused = qv::test::unused_port();
    const QString at = QStringLiteral("%1:%2").arg(s().host);

    const struct {
        QString address;
        QString password;
        QByteArray ca_file;
        QString heard;
    } cases[] = {
        {QStringLiteral("imaps://") + at.arg(s().imaps_port),
         QStringLiteral("wrong"),
         {},
         QStringLiteral("パスワードかユーザー名が違います")},
        {QStringLiteral("imaps://") + at.arg(refused),
         s().pass1,
         {},
         QStringLiteral("サーバー「127.0.0.1」（ポート %1）に接続できません").arg(refused)},
        {QStringLiteral("imap://") + at.arg(no_starttls.port()),
         s().pass1,
         {},
         QStringLiteral("サーバーが暗号化通信（STARTTLS）に対応していません")},
        {QStringLiteral("imap://") + at.arg(s().imap_port), s().pass1, foreign_ca,
         QStringLiteral("サーバーの証明書を信頼できないため、接続をやめました")},
        {QStringLiteral("imap://") + at.arg(silent.port()),
         s().pass1,
         {},
         QStringLiteral("サーバー「127.0.0.1」から応答がありません（時間切れ）")},
    };
    for (const auto& c : cases) {
        auto session = this->session(c.address, c.password, c.ca_file);
        ASSERT_TRUE(session) << c.address.toStdString();
        ImapSession::Inbox listed;
        EXPECT_FALSE(session->select(&listed)) << c.address.toStdString();
        // The reason first; what the user can do about it follows.
        EXPECT_TRUE(session->error().startsWith(c.heard))
            << c.address.toStdString() << ": " << session->error().toStdString();
        EXPECT_FALSE(session->local_failure());
        std::vector<quint32> uids;
        EXPECT_FALSE(session->uids_above(0, &uids));  // the session is over
    }
    EXPECT_EQ(no_starttls.connections(), 1);
    const QByteArray sent = no_starttls.from_clients();
    EXPECT_TRUE(sent.contains("CAPABILITY")) << sent.constData();
    for (const char* secret : {"AUTHENTICATE", "LOGIN", "pass1"}) {
        EXPECT_FALSE(sent.contains(secret)) << sent.constData();
    }
    EXPECT_EQ(inbox().uids.size(), 1u);
}

}  // namespace
