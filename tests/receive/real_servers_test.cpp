// Checking and receiving against the real Dovecot: accounts that fail are heard as such while
// one that works is received, and the built program killed while it receives loses nothing.

#include "mail/curl_mail_component.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

QByteArray message(const QString& subject) {
    return "From: sender@example.test\nSubject: " + subject.toUtf8() + "\n\n" +
           QByteArray(75, 'x').append('\n').repeated(100);  // about 8 KB
}

}  // namespace

TEST(RealReceive, FailedAccountsAreHeardAndLoseNothingWhileAWorkingOneIsReceived) {
    QV_REQUIRE_MAIL_SERVERS(s);
    empty_mailbox(s, s.user1);
    empty_mailbox(s, s.user2);
    for (const char* subject : {"kept", "kept too"}) seed_message(s, s.user1, message(subject));
    for (const char* subject : {"one", "two"}) seed_message(s, s.user2, message(subject));

    RecordingPauser pauser;
    CurlMailComponent mail(pauser);
    WindowHarness h;
    h.componentInstead = &mail;
    AccountFields wrong = real_account(s, 1, s.pop3_port, s.smtp_port);
    wrong.password = QStringLiteral("wrong-password");
    const int dead = unused_port();
    AccountFields working = real_account(s, 2, 0, s.smtp_port);
    working.pop = QStringLiteral("pop3s://127.0.0.1:%1").arg(s.pop3s_port);
    seed_accounts(
        h.seed(),
        {wrong, fake_account("nobody", QStringLiteral("127.0.0.1:%1").arg(dead)), working});
    ASSERT_TRUE(h.start());

    const QString login = QStringLiteral(
        "パスワードかユーザー名が違います。アカウントの設定でユーザー名とパスワードを確認してく"
        "ださい");
    const QString refused =
        QStringLiteral(
            "サーバー「127.0.0.1」（ポート %1）に接続できません。アカウントの設定でサーバー"
            "の名前を確認し、ネットワークにつながっているか確かめてください")
            .arg(dead);
    const QStringList failed{s.addr1 + " のメールを%1できません：" + login,
                             "nobody@example.test のメールを%1できません：" + refused};
    const QStringList said = h.spoken();
    const QString arrived = QStringLiteral("メールが届いています[メールの数は]2");
    // Each failure is heard once: the receive right after the check does not try them again.
    EXPECT_EQ(said.mid(said.indexOf(arrived), 5),
              (QStringList{arrived, failed[0].arg("確認"), failed[1].arg("確認"),
                           "メールを受信します", "2通のメールを受信しました"}))
        << said.join('|').toStdString();
    EXPECT_FALSE(said.contains(failed[0].arg("受信"))) << said.join('|').toStdString();
    std::vector<MailRow> rows = h.store().mailsInFolder(kInbox);
    std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.id < b.id; });
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].subject + ' ' + rows[1].subject, "one two");
    EXPECT_EQ(pop3_stat(s, s.user1, s.pass1).first, 2);
    EXPECT_EQ(pop3_stat(s, s.user2, s.pass2).first, 0);
}

TEST(RealReceive, KilledWhileDownloadingAndAgainWhileStoringEachMailIsStoredOnce) {
    QV_REQUIRE_MAIL_SERVERS(s);
    const QString program = QStringLiteral(QV_BIN_DIR "/quorvel");
    if (!QFile::exists(program)) GTEST_SKIP() << "the program is not built";
    empty_mailbox(s, s.user1);
    QSet<QString> seeded;
    for (int i = 1; i <= 300; ++i) {
        seeded << QStringLiteral("kill test %1").arg(i);
        seed_message(s, s.user1, message(QStringLiteral("kill test %1").arg(i)));
    }
    QTemporaryDir data;
    {
        MailStore db;
        ASSERT_TRUE(db.open(QDir(data.path()).filePath(MailStore::fileName())));
        ASSERT_TRUE(db.updateNewsSel(false));
        seed_accounts(db, {real_account(s, 1, s.pop3_port, s.smtp_port)});
    }
    const auto stored = [&] {
        MailStore db;
        return db.open(QDir(data.path()).filePath(MailStore::fileName())) ? db.mailsInFolder(kInbox)
                                                                          : std::vector<MailRow>{};
    };
    // Started (as the test runs: offscreen), and killed as soon as `stop` holds.
    const auto run = [&](const std::function<bool()>& stop) {
        QProcess p;
        p.start(program, {"--data-dir", data.path(), "--speech", "transcript"});
        EXPECT_TRUE(p.waitForStarted(10000));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return stop() || p.state() != QProcess::Running; }, 120000));
        EXPECT_EQ(p.state(), QProcess::Running) << "the program ended by itself";
        p.kill();
        p.waitForFinished(10000);
    };
    run([&] { return !QDir(data.path() + "/mail").entryList({"*.eml"}, QDir::Files).isEmpty(); });
    const size_t after_first = stored().size();  // killed while downloading; then while storing
    EXPECT_LT(after_first, 300u);
    run([&] { return stored().size() > after_first; });
    run([&] { return stored().size() >= 300 && pop3_stat(s, s.user1, s.pass1).first == 0; });
    QSet<QString> subjects;
    for (const MailRow& r : stored()) subjects << r.subject;
    EXPECT_EQ(stored().size(), 300u);
    EXPECT_EQ(subjects, seeded);
    EXPECT_EQ(pop3_stat(s, s.user1, s.pass1).first, 0);
}
