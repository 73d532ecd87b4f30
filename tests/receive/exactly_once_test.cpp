// Receiving exactly once against the real Dovecot (scripts/mailservers/start), POP3 and IMAP,
// mail kept on the server or deleted: the built program killed (kill -9) at each step of a
// receive, then a normal start and receive; receives repeated as new mail arrives; an INBOX
// numbered anew; a POP3 and an IMAP account received together. Each time: every mail stored
// once, none lost, nothing stray in the mail directory, and the server holding what it should.
#include "mail/curl_mail_component.h"
#include "receive/stored_ledger.h"
#include "support/mail_servers.h"
#include "support/window_harness.h"

#include <QDir>
#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

#include <optional>

using namespace qv;
using namespace qv::test;

namespace {

QByteArray encoded(const QString& text) { return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?="; }

// A mail as a delivery leaves it; without `id` it has no Message-ID.
QByteArray message(const QString& subject, bool id = true) {
    static int n = 0;
    return "From: " + encoded(QStringLiteral("送信者")) +
           " <sender@example.test>\nSubject: " + encoded(subject) +
           "\nDate: Sat, 05 Dec 2026 08:00:00 +0900\n" +
           (id ? "Message-ID: <once-" + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) +
                     '.' + QByteArray::number(++n) + "@example.test>\n"
               : QByteArray()) +
           "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n" + subject.toUtf8() +
           " の本文\n";
}

enum class Protocol { Pop3, Imap };
void PrintTo(Protocol p, std::ostream* os) { *os << (p == Protocol::Imap ? "IMAP" : "POP3"); }

// One real account of user1, on the main window with the real mail component.
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

    QString address(Protocol p) const {
        return p == Protocol::Imap
                   ? QStringLiteral("imaps://%1:%2").arg(s().host).arg(s().imaps_port)
                   : QStringLiteral("pop3://%1:%2").arg(s().host).arg(s().pop3_port);
    }
    void add_account(Protocol p, std::optional<bool> keep, int user = 1) {
        const int id = h.seed().insertAccount(
            {address(p), QStringLiteral("smtp://127.0.0.1:%1").arg(s().smtp_port),
             user == 1 ? s().user1 : s().user2, user == 1 ? s().pass1 : s().pass2,
             user == 1 ? s().addr1 : s().addr2, QString(), QString()});
        ASSERT_GT(id, 0);
        ASSERT_TRUE(h.seed().setKeepOnServer(id, keep));
    }
    // New mail for user1, with these subjects.
    void arrive(const QStringList& subjects, int user = 1) {
        for (const QString& subject : subjects) {
            seed_message(s(), user == 1 ? s().user1 : s().user2, message(subject));
            seeded_ << subject;
        }
    }

    std::vector<MailRow> rows() { return h.store().mailsInFolder(kInbox); }
    // Every mail seeded so far stored once, and every file of the mail directory one of theirs.
    void expect_each_stored_once() {
        QStringList subjects;
        for (const MailRow& r : rows()) subjects << r.subject;
        subjects.sort();
        QStringList expected = seeded_;
        expected.sort();
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
        if (p == Protocol::Pop3) {
            EXPECT_EQ(pop3_stat(s(), s().user1, s().pass1).first, expected);
            return;
        }
        const ImapInbox inbox = imap_inbox(s(), s().user1, s().pass1);
        EXPECT_EQ(static_cast<int>(inbox.uids.size()), expected);
        for (const quint32 uid : inbox.uids) EXPECT_FALSE(inbox.has_flag(uid, "\\Seen")) << uid;
    }
    // What the check and the receive said since the last call.
    QStringList heard() {
        QStringList out;
        for (const QString& said : h.spokenSinceMark()) {
            if (said.startsWith(QStringLiteral("メールが届いています")) ||
                said.endsWith(QStringLiteral("通のメールを受信しました")) ||
                said == QStringLiteral("新規メールは有りません") ||
                said == QStringLiteral("受信したメールはありません")) {
                out << said;
            }
        }
        return out;
    }

    std::optional<MailServers> servers_;
    std::optional<MailServerLock> lock_;
    RecordingPauser pauser_;
    CurlMailComponent mail_{pauser_};
    WindowHarness h;
    QStringList seeded_;
};

// --- killed at each step ---

struct KillCase {
    Protocol protocol;
    bool keep;
    const char* step;  // QV_KILL_AT
};

void PrintTo(const KillCase& c, std::ostream* os) { *os << c.step; }

class KilledReceive : public ReceiveOnce, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledReceive, ANormalReceiveAfterwardsStoresEveryMailOnce) {
    const KillCase& c = GetParam();
    const QString program = QStringLiteral(QV_BIN_DIR "/quorvel");
    if (!QFile::exists(program)) GTEST_SKIP() << "the program is not built";
    add_account(c.protocol, c.keep);
    arrive({QStringLiteral("一通目"), QStringLiteral("二通目"), QStringLiteral("三通目"),
            QStringLiteral("四通目"), QStringLiteral("五通目")});
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QV_KILL_AT"), QString::fromLatin1(c.step));
        p.setProcessEnvironment(env);
        p.start(program, {"--data-dir", h.dataDir(), "--speech", "transcript"});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QByteArray said = p.readAllStandardError();
        ASSERT_EQ(p.exitStatus(), QProcess::CrashExit) << said.toStdString();
        ASSERT_TRUE(said.contains("killed at " + QByteArray(c.step).split(':')[0]))
            << said.toStdString();
    }
    ASSERT_TRUE(h.start());
    h.trigger(QStringLiteral("receive"));
    expect_each_stored_once();
    expect_server_holds(c.protocol, c.keep);
    // And nothing more comes of it.
    h.trigger(QStringLiteral("receive"));
    EXPECT_EQ(rows().size(), 5u);
}

constexpr KillCase kKills[] = {
    {Protocol::Pop3, false, "after-retr:3"},  {Protocol::Pop3, false, "after-write"},
    {Protocol::Pop3, false, "after-journal"}, {Protocol::Pop3, false, "after-rename"},
    {Protocol::Pop3, false, "after-commit"},  {Protocol::Pop3, false, "after-ledger"},
    {Protocol::Pop3, false, "after-mark"},    {Protocol::Pop3, false, "after-dele"},
    {Protocol::Pop3, false, "before-quit"},   {Protocol::Pop3, true, "after-commit"},
    {Protocol::Pop3, true, "after-mark"},     {Protocol::Imap, false, "after-retr:3"},
    {Protocol::Imap, false, "after-write"},   {Protocol::Imap, false, "after-journal"},
    {Protocol::Imap, false, "after-rename"},  {Protocol::Imap, false, "after-commit"},
    {Protocol::Imap, false, "after-ledger"},  {Protocol::Imap, false, "after-mark"},
    {Protocol::Imap, false, "after-flag"},    {Protocol::Imap, false, "after-expunge"},
    {Protocol::Imap, false, "before-logout"}, {Protocol::Imap, true, "after-commit"},
    {Protocol::Imap, true, "before-logout"},
};

INSTANTIATE_TEST_SUITE_P(Steps, KilledReceive, ::testing::ValuesIn(kKills),
                         [](const ::testing::TestParamInfo<KillCase>& info) {
                             QByteArray name =
                                 QByteArray(info.param.protocol == Protocol::Imap ? "Imap"
                                                                                  : "Pop3") +
                                 (info.param.keep ? "Keep_" : "Delete_") +
                                 QByteArray(info.param.step).split(':')[0];
                             return name.replace('-', '_').toStdString();
                         });

// --- receive after receive ---

struct RepeatCase {
    Protocol protocol;
    std::optional<bool> keep;  // as stored for the account; nullopt: as its address suggests
    bool kept;                 // what that means
};

void PrintTo(const RepeatCase& c, std::ostream* os) {
    *os << (c.protocol == Protocol::Imap ? "IMAP" : "POP3") << (c.kept ? " keeping" : " deleting");
}

class RepeatedReceive : public ReceiveOnce, public ::testing::WithParamInterface<RepeatCase> {};

// New mail arrives between receives; each receive gets only what is new, says how much, and
// leaves the server as the account wants it.
TEST_P(RepeatedReceive, OnlyWhatArrivedSinceIsReceived) {
    const RepeatCase& c = GetParam();
    add_account(c.protocol, c.keep);
    arrive({QStringLiteral("朝の便 1"), QStringLiteral("朝の便 2")});
    ASSERT_TRUE(h.start());
    EXPECT_EQ(heard(), (QStringList{QStringLiteral("メールが届いています[メールの数は]2"),
                                    QStringLiteral("2通のメールを受信しました")}));
    expect_each_stored_once();
    expect_server_holds(c.protocol, c.kept);

    arrive({QStringLiteral("昼の便 1"), QStringLiteral("昼の便 2"), QStringLiteral("昼の便 3")});
    h.trigger(QStringLiteral("mail_check"));
    h.trigger(QStringLiteral("receive"));
    EXPECT_EQ(heard(), (QStringList{QStringLiteral("メールが届いています[メールの数は]3"),
                                    QStringLiteral("3通のメールを受信しました")}));
    expect_each_stored_once();
    expect_server_holds(c.protocol, c.kept);

    h.trigger(QStringLiteral("mail_check"));
    h.trigger(QStringLiteral("receive"));
    EXPECT_EQ(heard(), (QStringList{QStringLiteral("新規メールは有りません"),
                                    QStringLiteral("受信したメールはありません")}));
    expect_each_stored_once();
    expect_server_holds(c.protocol, c.kept);
}

INSTANTIATE_TEST_SUITE_P(Accounts, RepeatedReceive,
                         ::testing::Values(RepeatCase{Protocol::Pop3, true, true},
                                           RepeatCase{Protocol::Imap, std::nullopt, true},
                                           RepeatCase{Protocol::Imap, false, false}),
                         [](const ::testing::TestParamInfo<RepeatCase>& info) {
                             return std::string(info.param.protocol == Protocol::Imap ? "Imap"
                                                                                      : "Pop3") +
                                    (info.param.keep ? (*info.param.keep ? "Keep" : "Delete")
                                                     : "AsTheAddressSays");
                         });

// The server numbers its INBOX anew: what was received is found by its Message-ID (or, without
// one, its header) and not fetched again; only the new mail is.
TEST_F(ReceiveOnce, ANewUidValidityLosesAndDoublesNothing) {
    add_account(Protocol::Imap, std::nullopt);
    arrive({QStringLiteral("前からの 1"), QStringLiteral("前からの 2")});
    seed_message(s(), s().user1, message(QStringLiteral("番号なし"), false));
    seeded_ << QStringLiteral("番号なし");
    ASSERT_TRUE(h.start());
    expect_each_stored_once();

    renumber_inbox(s(), s().user1);
    arrive({QStringLiteral("新しい 1")});
    h.mark();
    h.trigger(QStringLiteral("mail_check"));
    h.trigger(QStringLiteral("receive"));
    EXPECT_EQ(heard(), (QStringList{QStringLiteral("メールが届いています[メールの数は]1"),
                                    QStringLiteral("1通のメールを受信しました")}));
    expect_each_stored_once();
    expect_server_holds(Protocol::Imap, true);
}

// A POP3 account that empties its server and an IMAP account that keeps its mail, checked and
// received together: one total is said for each.
TEST_F(ReceiveOnce, APop3AndAnImapAccountAreHeardAsOneTotal) {
    add_account(Protocol::Pop3, std::nullopt, 1);
    add_account(Protocol::Imap, std::nullopt, 2);
    arrive({QStringLiteral("POP の 1"), QStringLiteral("POP の 2")}, 1);
    arrive({QStringLiteral("IMAP の 1"), QStringLiteral("IMAP の 2"), QStringLiteral("IMAP の 3")},
           2);
    ASSERT_TRUE(h.start());
    EXPECT_EQ(heard(), (QStringList{QStringLiteral("メールが届いています[メールの数は]5"),
                                    QStringLiteral("5通のメールを受信しました")}));
    expect_each_stored_once();
    EXPECT_EQ(pop3_stat(s(), s().user1, s().pass1).first, 0);
    EXPECT_EQ(imap_inbox(s(), s().user2, s().pass2).uids.size(), 3u);
}

// A saved mail that cannot be read at all (an empty file a stopped receive left) is kept in
// quarantine, and the user hears so once, with where it is; the others are received as usual.
TEST_F(ReceiveOnce, AnUnreadableMailIsKeptAsideAndSaidOnce) {
    add_account(Protocol::Pop3, std::nullopt);
    arrive({QStringLiteral("読める")});
    ASSERT_TRUE(QDir().mkpath(h.dataDir() + QStringLiteral("/mail")));
    QFile empty(h.dataDir() + QStringLiteral("/mail/20261205-080000-0001.eml"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    const QString kept = QStringLiteral(
        "読み取れないメールが1通ありました。メールフォルダーの中の quarantine "
        "フォルダーに、そのまま保管してあります");
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.spoken().count(kept), 1);
    expect_each_stored_once();
    EXPECT_EQ(
        QDir(h.paths().mail_dir + QStringLiteral("/quarantine")).entryList(QDir::Files).size(), 1);
    expect_server_holds(Protocol::Pop3, false);
    h.trigger(QStringLiteral("receive"));
    EXPECT_EQ(h.spoken().count(kept), 1);
}

// The list of stored files cannot be written: the receive stops before anything is deleted on
// the server, and says why and what to do. The next receive deletes what was stored, once.
class StoppedReceive : public ReceiveOnce, public ::testing::WithParamInterface<Protocol> {};

TEST_P(StoppedReceive, AListThatCannotBeWrittenStopsItBeforeAnyDeletion) {
    add_account(GetParam(), false);
    arrive({QStringLiteral("その一"), QStringLiteral("その二")});
    const QString ledger =
        QDir(h.dataDir()).filePath(QStringLiteral("mail/") + StoredLedger::fileName());
    ASSERT_TRUE(QDir().mkpath(ledger));  // a folder where the file should be
    ASSERT_TRUE(h.start());
    const QStringList said = h.spokenSinceMark();
    EXPECT_TRUE(said.filter(QStringLiteral("受信したメールを保存できません：")).size() == 1 &&
                said.filter(QStringLiteral("もう一度受信してください")).size() == 1)
        << said.join('|').toStdString();
    EXPECT_TRUE(said.filter(QStringLiteral("サーバーのメールは消していません")).size() == 1)
        << said.join('|').toStdString();
    expect_server_holds(GetParam(), true);

    ASSERT_TRUE(QDir(ledger).removeRecursively());
    h.trigger(QStringLiteral("receive"));
    expect_each_stored_once();
    expect_server_holds(GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(Protocols, StoppedReceive,
                         ::testing::Values(Protocol::Pop3, Protocol::Imap),
                         [](const ::testing::TestParamInfo<Protocol>& info) {
                             return std::string(info.param == Protocol::Imap ? "Imap" : "Pop3");
                         });

}  // namespace
