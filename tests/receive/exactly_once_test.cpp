// Receiving exactly once from the real Dovecot, POP3 and IMAP, kept or deleted, however the
// program is stopped: every mail stored once, nothing stray, the server as it should be.
#include "mail/curl_mail_component.h"
#include "receive/stored_ledger.h"
#include "support/files.h"
#include "support/golden.h"
#include "support/mail_servers.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

using namespace qv;
using namespace qv::test;

namespace {

QByteArray encoded(const QString& text) { return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?="; }

// A mail as a delivery leaves it, its body `lines` long.
QByteArray message(const QString& subject, bool id = true, int lines = 1) {
    static int n = 0;
    return "From: " + encoded("送信者") + " <sender@example.test>\nSubject: " + encoded(subject) +
           "\nDate: Sat, 05 Dec 2026 08:00:00 +0900\n" +
           (id ? "Message-ID: <once-" + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) +
                     '.' + QByteArray::number(++n) + "@example.test>\n"
               : QByteArray()) +
           "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n" +
           (subject.toUtf8() + " の本文\n").repeated(lines);
}

enum class Protocol { Pop3, Imap, Pop3s };
std::string name(Protocol p) { return p == Protocol::Imap ? "Imap" : "Pop3"; }

class ReceiveOnce : public ::testing::Test {
  protected:
    void SetUp() override {
        QString why;
        servers_ = load_mail_servers(&why);
        if (!servers_) {
            if (mail_servers_required()) FAIL() << why.toStdString();
            GTEST_SKIP() << "mail servers not running: " << why.toStdString();
        }
        lock_.emplace(*servers_);
        h.componentInstead = &mail_;
        empty_mailbox(s(), s().user1);
        empty_mailbox(s(), s().user2);
    }
    const MailServers& s() const { return *servers_; }

    void add_account(Protocol p, std::optional<bool> keep, int user = 1) {
        AccountFields a = real_account(s(), user, 0, s().smtp_port);
        const auto [scheme, port] = p == Protocol::Imap    ? std::pair("imaps", s().imaps_port)
                                    : p == Protocol::Pop3s ? std::pair("pop3s", s().pop3s_port)
                                                           : std::pair("pop3", s().pop3_port);
        a.pop = QStringLiteral("%1://%2:%3").arg(QLatin1String(scheme), s().host).arg(port);
        const int id = h.seed().insertAccount(a);
        ASSERT_TRUE(id > 0 && h.seed().setKeepOnServer(id, keep));
    }
    void arrive(const QStringList& subjects, int user = 1, int lines = 1, bool id = true) {
        for (const QString& subject : subjects) {
            seed_message(s(), user == 1 ? s().user1 : s().user2, message(subject, id, lines));
            seeded_ << subject;
        }
    }

    void launch(QProcess& p, const QString& kill_at = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (!kill_at.isEmpty()) env.insert("QV_KILL_AT", kill_at);
        p.setProcessEnvironment(env);
        p.start(QV_BIN_DIR "/quorvel", {"--data-dir", h.dataDir(), "--speech", "transcript"});
        ASSERT_TRUE(p.waitForStarted(10000)) << "the program is not built";
    }

    // Every mail seeded so far stored once, and every file of the mail directory one of theirs.
    void expect_each_stored_once() {
        QStringList subjects, expected = seeded_;
        for (const MailRow& r : h.store().mailsInFolder(kInbox)) subjects << r.subject;
        subjects.sort(), expected.sort();
        EXPECT_EQ(subjects, expected);
        QSet<QString> files;
        for (const auto& [file, attach] : h.store().mailFiles()) files << file;
        for (const QString& name :
             QDir(h.paths().mail_dir).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const bool ours =
                name == StoredLedger::fileName() || (name.startsWith(QLatin1String(".uidl-")) &&
                                                     name.lastIndexOf(QLatin1Char('.')) == 0);
            EXPECT_TRUE(ours || files.contains(name)) << "stray file " << name.toStdString();
        }
    }
    // What the server holds: every mail seeded (kept) or none, and none of it marked read.
    void expect_server_holds(Protocol p, bool all) {
        const int expected = all ? static_cast<int>(seeded_.size()) : 0;
        if (p != Protocol::Imap) {
            EXPECT_EQ(pop3_stat(s(), s().user1, s().pass1).first, expected);
            return;
        }
        const ImapInbox inbox = imap_inbox(s(), s().user1, s().pass1);
        EXPECT_EQ(static_cast<int>(inbox.uids.size()), expected);
        for (const quint32 uid : inbox.uids) EXPECT_FALSE(inbox.has_flag(uid, "\\Seen")) << uid;
    }
    QStringList heard() {
        return h.spokenSinceMark().filter(QRegularExpression(QStringLiteral(
            "^メールが届いています|通のメールを受信しました$|^新規メールは有りません$|"
            "^受信したメールはありません$|のメールを(確認|受信)できません：")));
    }

    std::optional<MailServers> servers_;
    std::optional<MailServerLock> lock_;
    RecordingPauser pauser_;
    CurlMailComponent mail_{pauser_};
    WindowHarness h;
    QStringList seeded_;
};

// Each row of killed_receive.txt: the protocol, whether mail is kept on the server, QV_KILL_AT.
class KilledReceive : public ReceiveOnce, public ::testing::WithParamInterface<QString> {};

TEST_P(KilledReceive, ANormalReceiveAfterwardsStoresEveryMailOnce) {
    const QStringList c = GetParam().split(u' ');
    const Protocol protocol = c[0] == "imap" ? Protocol::Imap : Protocol::Pop3;
    const bool keep = c[1] == "keep";
    add_account(protocol, keep);
    arrive({"一通目", "二通目", "三通目", "四通目", "五通目"});
    QProcess p;
    launch(p, c[2]);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QByteArray said = p.readAllStandardError();
    ASSERT_TRUE(p.exitStatus() == QProcess::CrashExit &&
                said.contains("killed at " + c[2].section(u':', 0, 0).toUtf8()))
        << said.toStdString();
    ASSERT_TRUE(h.start());
    h.trigger("receive");
    expect_each_stored_once();
    expect_server_holds(protocol, keep);
    // And nothing more comes of it.
    h.trigger("receive");
    EXPECT_EQ(h.store().mailsInFolder(kInbox).size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Steps, KilledReceive,
                         ::testing::ValuesIn(golden_lines("cases/killed_receive.txt")),
                         [](const auto& info) {
                             return info.param.section(u':', 0, 0)
                                 .replace(QRegularExpression("[ -]"), "_")
                                 .toStdString();
                         });

// Each: the protocol, then the account's choice about keeping mail (none: IMAP keeps it).
class RepeatedReceive : public ReceiveOnce, public ::testing::WithParamInterface<const char*> {};

// Each receive gets only what is new, says how much, and leaves the server as the account wants
// it. An empty file a stopped receive left is kept in quarantine, and the user hears so once.
TEST_P(RepeatedReceive, OnlyWhatArrivedSinceIsReceived) {
    const QString c = GetParam();
    const Protocol protocol = c.startsWith("Imap") ? Protocol::Imap : Protocol::Pop3;
    const bool kept = !c.endsWith("Delete");
    add_account(protocol, c.endsWith("AsTheAddressSays") ? std::nullopt : std::optional(kept));
    ASSERT_TRUE(QDir().mkpath(h.dataDir() + "/mail") &&
                write_file(h.dataDir() + "/mail/20261205-080000-0001.eml", {}));
    // Heard at each of the three receives, two lines each, then the quarantine.
    const QStringList said = golden_lines("receive/repeated.txt");
    const QStringList arrivals[] = {
        {"朝の便 1", "朝の便 2"}, {"昼の便 1", "昼の便 2", "昼の便 3"}, {}};
    for (int round = 0; round < 3; ++round) {
        arrive(arrivals[round]);
        if (round == 0) {
            ASSERT_TRUE(h.start());
        } else {
            h.trigger("mail_check");
            h.trigger("receive");
        }
        EXPECT_EQ(heard(), said.mid(2 * round, 2));
        expect_each_stored_once();
        expect_server_holds(protocol, kept);
    }
    EXPECT_EQ(QDir(h.paths().mail_dir + "/quarantine").entryList(QDir::Files).size(), 1);
    EXPECT_EQ(h.spoken().count(said[6]), 1);
}

INSTANTIATE_TEST_SUITE_P(Accounts, RepeatedReceive,
                         ::testing::Values("Pop3Keep", "ImapAsTheAddressSays", "ImapDelete"),
                         [](const auto& info) { return std::string(info.param); });

// The INBOX numbered anew: only the new mail is fetched (the rest is known by its Message-ID or
// header). A wrong password and a dead server, heard each time, keep nothing from being received.
TEST_F(ReceiveOnce, ANewUidValidityLosesAndDoublesNothingAndFailingAccountsStopNothing) {
    add_account(Protocol::Imap, std::nullopt);
    AccountFields wrong = real_account(s(), 1, s().pop3_port, s().smtp_port);
    wrong.password = "wrong-password";
    const int dead = unused_port();
    seed_accounts(h.seed(),
                  {wrong, fake_account("nobody", QStringLiteral("127.0.0.1:%1").arg(dead))});
    add_account(Protocol::Pop3s, std::nullopt, 2);
    arrive({"前からの 1", "前からの 2"});
    arrive({"POP の 1", "POP の 2"}, 2);
    arrive({"番号なし"}, 1, 1, false);
    // The start-up's receive skips the accounts whose check just failed; Ctrl+M tries them again.
    const auto heard_with_failures = [&](const char* file) {
        return golden_lines(QLatin1String(file))
            .replaceInStrings("%addr", s().addr1)
            .replaceInStrings("%port", QString::number(dead));
    };
    ASSERT_TRUE(h.start());
    EXPECT_EQ(heard(), heard_with_failures("receive/failing_accounts_start.txt"));
    expect_each_stored_once();
    EXPECT_EQ(pop3_stat(s(), s().user2, s().pass2).first, 0);

    renumber_inbox(s(), s().user1);
    arrive({"新しい 1"});
    h.trigger("mail_check");
    h.trigger("receive");
    EXPECT_EQ(heard(), heard_with_failures("receive/failing_accounts_again.txt"));
    expect_each_stored_once();
    EXPECT_EQ(imap_inbox(s(), s().user1, s().pass1).uids.size(), 4u);
}

// Killed while 300 mails (two batches) download, again while they are stored, then a normal start.
TEST_F(ReceiveOnce, KilledWhileDownloadingAndAgainWhileStoringEachMailIsStoredOnce) {
    add_account(Protocol::Pop3, false);
    QStringList many;
    for (int i = 1; i <= 300; ++i) many << QStringLiteral("kill test %1").arg(i);
    arrive(many, 1, 300);  // about 8 KB each
    const auto stored = [&] { return h.seed().mailsInFolder(kInbox).size(); };
    const auto run_until = [&](const std::function<bool()>& stop) {
        QProcess p;
        launch(p);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return stop() || p.state() != QProcess::Running; }, 120000));
        EXPECT_EQ(p.state(), QProcess::Running) << "the program ended by itself";
        p.kill();
        p.waitForFinished(10000);
    };
    run_until(
        [&] { return !QDir(h.dataDir() + "/mail").entryList({"*.eml"}, QDir::Files).isEmpty(); });
    const size_t after_first = stored();
    EXPECT_LT(after_first, 300u);
    run_until([&] { return stored() > after_first; });
    ASSERT_TRUE(h.start());
    expect_each_stored_once();
    expect_server_holds(Protocol::Pop3, false);
}

// The list of stored files cannot be written: the receive stops before anything is deleted on
// the server, and says why and what to do. The next receive deletes what was stored, once.
class StoppedReceive : public ReceiveOnce, public ::testing::WithParamInterface<Protocol> {};

TEST_P(StoppedReceive, AListThatCannotBeWrittenStopsItBeforeAnyDeletion) {
    add_account(GetParam(), false);
    arrive({"その一", "その二"});
    const QString ledger = QDir(h.dataDir()).filePath("mail/" + StoredLedger::fileName());
    ASSERT_TRUE(QDir().mkpath(ledger));  // a folder where the file should be
    ASSERT_TRUE(h.start());
    const QStringList said = h.spokenSinceMark();
    for (const char* part : {"受信したメールを保存できません：", "もう一度受信してください",
                             "サーバーのメールは消していません"})
        EXPECT_EQ(said.filter(part).size(), 1) << part << said.join('|').toStdString();
    expect_server_holds(GetParam(), true);

    ASSERT_TRUE(QDir(ledger).removeRecursively());
    h.trigger("receive");
    expect_each_stored_once();
    expect_server_holds(GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(Protocols, StoppedReceive,
                         ::testing::Values(Protocol::Pop3, Protocol::Imap),
                         [](const auto& info) { return name(info.param); });

}  // namespace
