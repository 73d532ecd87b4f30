// A POP3 session against the real Dovecot (scripts/mailservers/start): deletions asked for are
// committed by quit() and by nothing else, whether the session is dropped after its DELEs, a
// DELE is refused, or the receiver gives up in the middle of a message.
#include "mail/pop3_session.h"
#include "mail/server_address.h"
#include "support/mail_servers.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <memory>

namespace {

using qv::mail::Pop3Session;
using qv::test::MailServers;

// `count` messages in user1's otherwise empty mailbox, as POP3 hands them out. Every one has a
// line that starts with a dot, which the server doubles on the wire.
std::vector<QByteArray> seed(const MailServers& s, int count) {
    qv::test::empty_mailbox(s, s.user1);
    std::vector<QByteArray> wire;
    for (int i = 1; i <= count; ++i) {
        const QByteArray m = "From: sender@example.test\nTo: user1@example.test\nSubject: s" +
                             QByteArray::number(i) + "\nMessage-ID: <session-" +
                             QByteArray::number(QRandomGenerator::global()->generate()) +
                             "@example.test>\n\nbody " + QByteArray::number(i) +
                             "\n.dotted line\n..two dots\n" + QByteArray(3000, 'x') + "\n";
        qv::test::seed_message(s, s.user1, m);
        wire.push_back(qv::test::as_crlf(m));
    }
    return wire;
}

std::unique_ptr<Pop3Session> open_session(const MailServers& s) {
    QString error;
    const auto address =
        qv::mail::parse_server_address(QStringLiteral("pop3://%1:%2").arg(s.host).arg(s.pop3_port),
                                       qv::mail::MailProtocol::Pop3, &error);
    if (!address) return nullptr;
    return std::make_unique<Pop3Session>(*address, s.user1, s.pass1,
                                         qv::mail::NetworkOptions{5, 5, QByteArray()});
}

std::vector<Pop3Session::Step> every_message(Pop3Session& session, bool fetch) {
    std::vector<std::pair<int, QByteArray>> messages;
    std::vector<Pop3Session::Step> steps;
    if (!session.uidl(&messages)) return steps;
    for (const auto& m : messages) steps.push_back({m.first, fetch});
    return steps;
}

// Collects the messages; `fail_at` (a step) makes the data callback refuse that one's bytes.
struct Collector {
    std::vector<QByteArray> messages;
    int open = -1;
    int fail_at = -1;
    Pop3Session::Receiver receiver() {
        return {[this](size_t step) {
                    open = static_cast<int>(step);
                    messages.emplace_back();
                    return true;
                },
                [this](const char* data, size_t size) {
                    if (open == fail_at) return false;
                    messages.back().append(data, static_cast<qsizetype>(size));
                    return true;
                },
                [this](size_t step) {
                    open = -1;
                    return static_cast<int>(step) == static_cast<int>(messages.size()) - 1;
                }};
    }
};

long long waiting(const MailServers& s) { return qv::test::pop3_stat(s, s.user1, s.pass1).first; }

TEST(Pop3SessionTest, DeletionsTakeEffectOnlyAtQuit) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 3);

    // Everything fetched and deleted, then dropped without quit(): the server keeps it all.
    auto session = open_session(s);
    ASSERT_TRUE(session);
    std::vector<Pop3Session::Step> steps = every_message(*session, true);
    ASSERT_EQ(steps.size(), 3u) << session->error().toStdString();
    Collector first;
    ASSERT_TRUE(session->fetch_and_delete(steps, first.receiver()))
        << session->error().toStdString();
    EXPECT_EQ(first.messages, wire);  // exact bytes, the doubled dots undone
    session.reset();
    EXPECT_EQ(waiting(s), 3);

    // The same, abandoned on purpose, after deleting without fetching.
    session = open_session(s);
    ASSERT_TRUE(session->fetch_and_delete(every_message(*session, false), first.receiver()));
    session->abandon();
    EXPECT_FALSE(session->quit());
    session.reset();
    EXPECT_EQ(waiting(s), 3);

    // With quit() the deletions are committed.
    session = open_session(s);
    qint64 count = 0;
    qint64 octets = 0;
    ASSERT_TRUE(session->stat(&count, &octets));
    EXPECT_EQ(count, 3);
    Collector second;
    ASSERT_TRUE(session->fetch_and_delete(every_message(*session, true), second.receiver()));
    EXPECT_EQ(second.messages, wire);
    EXPECT_TRUE(session->quit()) << session->error().toStdString();
    session.reset();
    EXPECT_EQ(waiting(s), 0);
}

TEST(Pop3SessionTest, RefusedDeletionCommitsNoneOfTheOthers) {
    QV_REQUIRE_MAIL_SERVERS(s);
    seed(s, 3);
    auto session = open_session(s);
    ASSERT_TRUE(session);
    std::vector<Pop3Session::Step> steps = every_message(*session, false);
    ASSERT_EQ(steps.size(), 3u);
    steps.insert(steps.begin() + 2, {99, false});  // no such message: DELE 1, 2 pass, 99 not
    Collector none;
    EXPECT_FALSE(session->fetch_and_delete(steps, none.receiver()));
    EXPECT_FALSE(session->local_failure());
    EXPECT_TRUE(session->error().startsWith(QStringLiteral("サーバーがエラーを返しました（-ERR")))
        << session->error().toStdString();
    EXPECT_FALSE(session->quit());
    session.reset();
    EXPECT_EQ(waiting(s), 3);
}

TEST(Pop3SessionTest, ReceiverFailingMidwayIsALocalFailureAndKeepsEverything) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const std::vector<QByteArray> wire = seed(s, 3);
    auto session = open_session(s);
    ASSERT_TRUE(session);
    Collector failing;
    failing.fail_at = 1;
    EXPECT_FALSE(session->fetch_and_delete(every_message(*session, true), failing.receiver()));
    EXPECT_TRUE(session->local_failure());
    ASSERT_EQ(failing.messages.size(), 2u);  // message 2 was begun, never ended
    EXPECT_EQ(failing.messages[0], wire[0]);
    EXPECT_EQ(failing.open, 1);
    // The session is over: no command after a failure, and no goodbye.
    qint64 count = 0;
    qint64 octets = 0;
    EXPECT_FALSE(session->stat(&count, &octets));
    EXPECT_FALSE(session->quit());
    session.reset();
    EXPECT_EQ(waiting(s), 3);
}

}  // namespace
