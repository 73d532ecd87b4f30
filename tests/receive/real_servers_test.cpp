// Receiving with the real mail component against the real test servers
// (scripts/mailservers/start), in this process and as the built program that is killed while it
// receives.
#include "mail/curl_mail_component.h"
#include "receive/receiver.h"
#include "shell/main_window.h"
#include "speech/speech_channel.h"
#include "support/fakes.h"
#include "support/mail_servers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace qv;
using namespace qv::test;

namespace {

QByteArray encoded(const QString& text) { return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?="; }

QByteArray message(const QString& subject, const QByteArray& body) {
    return "From: " + encoded(QStringLiteral("送信者")) +
           " <sender@example.test>\nTo: someone@example.test\nSubject: " + encoded(subject) +
           "\nDate: Sat, 05 Dec 2026 08:00:00 +0900\nMIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" +
           body;
}

QString pop_url(int port) { return QStringLiteral("pop3://127.0.0.1:%1").arg(port); }

AccountFields account(const QString& pop, const QString& user, const QString& password,
                      const QString& email) {
    return AccountFields{
        pop, QStringLiteral("smtp://127.0.0.1:11025"), user, password, email, QString(), QString()};
}

// A data directory whose database has the given accounts and reads no news from the network.
bool prepare_data(const QString& dir, const std::vector<AccountFields>& accounts) {
    MailStore db;
    if (!db.open(QDir(dir).filePath(MailStore::fileName())) || !db.updateNewsSel(false)) {
        return false;
    }
    for (const AccountFields& a : accounts) {
        if (db.insertAccount(a) <= 0) return false;
    }
    return true;
}

// The real main window with the real mail component, a transcript voice and no real pauses.
class RealWindow {
  public:
    explicit RealWindow(const QString& dir)
        : speech_(silent_channel()),
          component_(pauser_),
          window_(Services{*speech_, component_, clock_, opener_, player_, pauser_, waiter_, dir,
                           dir}) {
        window_.setEndProgram([](int) {});
        window_.show();
        window_.activateWindow();
        if (!QTest::qWaitForWindowActive(&window_)) qWarning("the window did not become active");
    }
    MainWindow& window() { return window_; }
    QStringList spoken() const { return speech_->spoken(); }
    QString status() { return window_.widgets().cmd_message->text(); }

  private:
    std::unique_ptr<SpeechChannel> speech_;
    RecordingPauser pauser_;
    Waiter waiter_;
    FixedClock clock_{QDateTime(QDate(2026, 12, 5), QTime(9, 5, 30))};
    RecordingOpener opener_;
    RecordingPlayer player_;
    CurlMailComponent component_;
    MainWindow window_;
};

std::vector<MailRow> rows_in_order(MailStore& store) {
    std::vector<MailRow> rows = store.mailsInFolder(kInbox);
    std::sort(rows.begin(), rows.end(),
              [](const MailRow& a, const MailRow& b) { return a.id < b.id; });
    return rows;
}

const QString kNone = QStringLiteral("新規メールは有りません");

}  // namespace

TEST(RealReceive, TwoAccountsAreCheckedReceivedAndStoredThenTheServersAreEmpty) {
    QV_REQUIRE_MAIL_SERVERS(servers);
    empty_mailbox(servers, servers.user1);
    empty_mailbox(servers, servers.user2);
    seed_message(servers, servers.user1,
                 message(QStringLiteral("It's 件名 one"), "a-b_c \"quoted\" it's\n"));
    seed_message(servers, servers.user1, message(QStringLiteral("two"), "second\n"));
    seed_message(servers, servers.user2, message(QStringLiteral("three"), "third\n"));

    QTemporaryDir dir;
    ASSERT_TRUE(prepare_data(
        dir.path(),
        {account(pop_url(servers.pop3_port), servers.user1, servers.pass1, servers.addr1),
         account(QStringLiteral("pop3s://127.0.0.1:%1").arg(servers.pop3s_port), servers.user2,
                 servers.pass2, servers.addr2)}));
    RealWindow w(dir.path());
    ASSERT_TRUE(w.window().Form_Load());

    EXPECT_EQ(w.spoken().count(QStringLiteral("メールが届いています[メールの数は]3")), 1)
        << w.spoken().join('|').toStdString();
    const std::vector<MailRow> rows = rows_in_order(w.window().store());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].subject, QStringLiteral("It's 件名 one"));
    EXPECT_EQ(rows[0].mailfrom, QStringLiteral(" 送信者 <sender@example.test>"));
    EXPECT_EQ(w.window().store().mailBody(rows[0].id)->body,
              QStringLiteral("a-b_c \"quoted\" it's"));
    EXPECT_EQ(rows[1].subject, QStringLiteral("two"));
    EXPECT_EQ(rows[2].subject, QStringLiteral("three"));
    for (const MailRow& r : rows) {
        EXPECT_EQ(r.readflag, QStringLiteral("未読"));
        EXPECT_EQ(r.attach, QString());
    }
    EXPECT_EQ(pop3_stat(servers, servers.user1, servers.pass1).first, 0);
    EXPECT_EQ(pop3_stat(servers, servers.user2, servers.pass2).first, 0);

    // Nothing waits now: the menu's check says so, and a receive stores nothing twice.
    w.window().action(QStringLiteral("mail_check"))->trigger();
    EXPECT_EQ(w.spoken().last(), kNone);
    w.window().action(QStringLiteral("receive"))->trigger();
    EXPECT_EQ(rows_in_order(w.window().store()).size(), 3u);
}

TEST(RealReceive, AWrongPasswordOrADeadServerLosesNothingAndSaysWhy) {
    QV_REQUIRE_MAIL_SERVERS(servers);
    empty_mailbox(servers, servers.user1);
    seed_message(servers, servers.user1, message(QStringLiteral("kept"), "body\n"));
    seed_message(servers, servers.user1, message(QStringLiteral("kept too"), "body\n"));

    QTemporaryDir dir;
    ASSERT_TRUE(prepare_data(
        dir.path(), {account(pop_url(servers.pop3_port), servers.user1,
                             QStringLiteral("wrong-password"), servers.addr1),
                     account(pop_url(unused_port()), QStringLiteral("nobody"), QStringLiteral("x"),
                             QStringLiteral("dead@example.test"))}));
    RealWindow w(dir.path());
    ASSERT_TRUE(w.window().Form_Load());
    EXPECT_TRUE(w.spoken().contains(kNone)) << w.spoken().join('|').toStdString();
    EXPECT_EQ(w.window().parts().receiver->waiting_mail_count(), 0);
    // The start-up goes on to show the inbox; the menu's check leaves its reasons in view.
    w.window().action(QStringLiteral("mail_check"))->trigger();
    EXPECT_EQ(w.spoken().last(), kNone);
    const QString status = w.status();
    EXPECT_TRUE(status.contains(servers.addr1)) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("dead@example.test"))) << status.toStdString();

    // Receiving anyway: still running, nothing stored, everything still on the server.
    w.window().action(QStringLiteral("receive"))->trigger();
    EXPECT_TRUE(rows_in_order(w.window().store()).empty());
    EXPECT_TRUE(w.status().contains(servers.addr1)) << w.status().toStdString();
    EXPECT_EQ(pop3_stat(servers, servers.user1, servers.pass1).first, 2);
    empty_mailbox(servers, servers.user1);
}

namespace {

// The built program, started on a data directory with its voice written to standard output.
class Program {
  public:
    explicit Program(const QString& data_dir) {
        process_.setProgram(QStringLiteral(QV_BIN_DIR "/quorvel"));
        process_.setArguments({QStringLiteral("--data-dir"), data_dir, QStringLiteral("--speech"),
                               QStringLiteral("transcript")});
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
    }
    ~Program() { kill(); }
    bool started() { return process_.waitForStarted(10000); }
    bool running() const { return process_.state() == QProcess::Running; }
    void kill() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(10000);
    }
    QString said() { return QString::fromUtf8(process_.readAllStandardOutput()); }

  private:
    QProcess process_;
};

int stored_count(const QString& data_dir) {
    MailStore db;
    if (!db.open(QDir(data_dir).filePath(MailStore::fileName()))) return -1;
    return static_cast<int>(db.mailsInFolder(kInbox).size());
}

int eml_files(const QString& data_dir) {
    return QDir(QDir(data_dir).filePath(QStringLiteral("mail")))
        .entryList({QStringLiteral("*.eml")}, QDir::Files)
        .size();
}

// Waits (handling events) until `done` holds; false after timeout_ms.
template <typename F>
bool wait_until(F done, int timeout_ms, int step_ms = 5) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeout_ms) return false;
        QThread::msleep(step_ms);
    }
    return true;
}

// Seeds `total` mails of about 8 KB into user1's mailbox; returns their subjects.
QSet<QString> seed_many(const MailServers& servers, int total) {
    empty_mailbox(servers, servers.user1);
    QSet<QString> seeded;
    const QByteArray filler = QByteArray(75, 'x') + '\n';
    for (int i = 1; i <= total; ++i) {
        const QString subject = QStringLiteral("中断テスト 第%1号").arg(i);
        QByteArray body = QStringLiteral("%1 番目\n").arg(i).toUtf8();
        while (body.size() < 8000) body += filler;
        seed_message(servers, servers.user1, message(subject, body));
        seeded.insert(subject);
    }
    return seeded;
}

// Starts the program on `data` and kills it as soon as `stop` holds; false if it never did.
template <typename F>
bool run_until(const QString& data, F stop, int step_ms) {
    Program p(data);
    if (!p.started()) return false;
    const bool reached = wait_until([&] { return stop() || !p.running(); }, 60000, step_ms);
    const bool was_running = p.running();
    p.kill();
    return reached && was_running;
}

// Starts the program on `data` and lets it receive everything; it must still be running after.
void run_to_the_end(const MailServers& servers, const QString& data, int total) {
    Program p(data);
    ASSERT_TRUE(p.started());
    EXPECT_TRUE(wait_until(
        [&] {
            return stored_count(data) >= total &&
                   pop3_stat(servers, servers.user1, servers.pass1).first == 0;
        },
        120000, 50));
    QThread::msleep(500);
    EXPECT_TRUE(p.running());
}

void expect_each_stored_once(const MailServers& servers, const QString& data,
                             const QSet<QString>& seeded) {
    MailStore db;
    ASSERT_TRUE(db.open(QDir(data).filePath(MailStore::fileName())));
    const std::vector<MailRow> rows = db.mailsInFolder(kInbox);
    EXPECT_EQ(rows.size(), static_cast<size_t>(seeded.size()));
    QSet<QString> subjects;
    QStringList doubled;
    for (const MailRow& r : rows) {
        if (subjects.contains(r.subject)) doubled << r.subject;
        subjects.insert(r.subject);
    }
    EXPECT_TRUE(doubled.isEmpty()) << doubled.join('|').toStdString();
    EXPECT_EQ(subjects, seeded);
    EXPECT_EQ(pop3_stat(servers, servers.user1, servers.pass1).first, 0);
}

#define QV_REQUIRE_PROGRAM()                                                                       \
    if (!QFile::exists(QStringLiteral(QV_BIN_DIR "/quorvel"))) {                                   \
        if (mail_servers_required()) FAIL() << "the program is not built: " QV_BIN_DIR "/quorvel"; \
        GTEST_SKIP() << "the program is not built: " QV_BIN_DIR "/quorvel";                        \
    }

}  // namespace

TEST(RealReceive, KilledWhileStoringWhatItDownloadedTheRestIsStoredAtTheNextStart) {
    QV_REQUIRE_MAIL_SERVERS(servers);
    QV_REQUIRE_PROGRAM();
    const int total = 300;
    const QSet<QString> seeded = seed_many(servers, total);
    QTemporaryDir dir;
    ASSERT_TRUE(prepare_data(dir.path(), {account(pop_url(servers.pop3_port), servers.user1,
                                                  servers.pass1, servers.addr1)}));
    // Killed once the first mails are in the database: the server has let go of all of them.
    ASSERT_TRUE(run_until(
        dir.path(), [&] { return stored_count(dir.path()) > 0; }, 2));
    const int stored_then = stored_count(dir.path());
    std::fprintf(stderr, "[ info ] killed with %d of %d stored, %lld left on the server\n",
                 stored_then, total, pop3_stat(servers, servers.user1, servers.pass1).first);
    EXPECT_LT(stored_then, total);
    run_to_the_end(servers, dir.path(), total);
    expect_each_stored_once(servers, dir.path(), seeded);
}

TEST(RealReceive, KilledWhileDownloadingThenWhileRecoveringEveryMailIsStoredOnce) {
    QV_REQUIRE_MAIL_SERVERS(servers);
    QV_REQUIRE_PROGRAM();
    const int total = 300;
    const QSet<QString> seeded = seed_many(servers, total);
    QTemporaryDir dir;
    ASSERT_TRUE(prepare_data(dir.path(), {account(pop_url(servers.pop3_port), servers.user1,
                                                  servers.pass1, servers.addr1)}));
    const QString data = dir.path();
    // 1. Killed as soon as the first downloaded mail file is in the mail directory.
    EXPECT_TRUE(run_until(
        data, [&] { return eml_files(data) > 0; }, 1));
    const int after_first = stored_count(data);
    const long long waiting = pop3_stat(servers, servers.user1, servers.pass1).first;
    // 2. Started again, killed as soon as some mail is in the database.
    EXPECT_TRUE(run_until(
        data, [&] { return stored_count(data) > after_first; }, 2));
    const int after_second = stored_count(data);
    std::fprintf(stderr,
                 "[ info ] first kill: %d stored, %lld on the server; second kill: %d stored\n",
                 after_first, waiting, after_second);
    EXPECT_TRUE(after_first < total || after_second < total);
    // 3. Started again and left to finish.
    run_to_the_end(servers, data, total);
    expect_each_stored_once(servers, data, seeded);
}
