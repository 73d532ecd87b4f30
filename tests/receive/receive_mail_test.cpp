// Checking and receiving with the scripted component: what is stored, what the user hears (the
// count over all accounts, each account that could not be asked, progress while it lasts), and
// Ctrl+M, which receives and then sends.

#include "mailbox/flex_grid.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

const QString kReason = "サーバーとの接続が切れました";
QString cannot(const char* user, const char* what = "受信") {
    return QString::fromUtf8(user) + "@example.test のメールを" + what + "できません：" + kReason;
}
QString arrived(int n) { return "メールが届いています[メールの数は]" + QString::number(n); }

// Accounts a and b. Each user's waiting files are counted by STAT and handed over once by
// SAVEALLD; a user in `failing` cannot be reached.
struct Mailboxes : ::testing::Test {
    void SetUp() override {
        qv::test::seed_accounts(h.seed(),
                                {qv::test::fake_account("a"), qv::test::fake_account("b")});
        h.component.error = kReason;
        h.component.onRcvMail = [this](const QString&, const QString& user,
                                       const QString& command) -> MailArray {
            if (failing.contains(user)) return std::nullopt;
            if (command != QLatin1String("STAT")) return waiting.take(user);
            return QStringList{QString::number(waiting[user].size()) + " 100"};
        };
    }
    // Mail waiting for the user; each file reads as a mail with its name as the subject.
    void arrive(const QString& user, const QStringList& files) {
        waiting[user] += files;
        for (const QString& f : files) readable(f);
    }
    void readable(const QString& file) {
        h.component.readResults[file] = {
            file, "送信者", "Sat, 05 Dec 2026 08:00:00 +0900", "本文", {}, {}, false};
    }
    std::vector<MailRow> stored() {
        std::vector<MailRow> rows = h.store().mailsInFolder(kInbox);
        std::sort(rows.begin(), rows.end(), [](auto& x, auto& y) { return x.id < y.id; });
        return rows;
    }
    WindowHarness h;
    QHash<QString, QStringList> waiting;
    QSet<QString> failing;
};

}  // namespace

TEST_F(Mailboxes, AtStartUpLeftOversAreStoredFirstThenMailWaitingAnywhereIsReceivedFromEvery) {
    // A receive saved this mail and the program was stopped before its row was written; an
    // attachment and a recording lie beside it. A mail that cannot be read is left alone.
    ASSERT_TRUE(QDir().mkpath(h.dataDir() + "/mail"));
    for (const char* name : {"20261205-0001.eml", "report.pdf", "v.mp3"}) {
        QFile f(h.dataDir() + "/mail/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(name) > 0);
        readable(name);
    }
    arrive("a", {"a1.eml"});
    waiting["a"] << "unreadable.eml";
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.component.trace().mid(0, 5), (QStringList{"ReadMail", "RcvMail STAT", "Sleep 1",
                                                          "RcvMail STAT", "RcvMail SAVEALLD"}));
    EXPECT_EQ(h.component.trace().count("RcvMail SAVEALLD"), 2);
    const std::vector<MailRow> rows = stored();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].subject + ' ' + rows[1].subject, "20261205-0001.eml a1.eml");
    EXPECT_EQ(h.accounts().cur_user, "b");  // the POP fields: the last account polled
}

TEST_F(Mailboxes, CtrlMReceivesRefreshesTheInboxAndSendsOnlyToARecipient) {
    ASSERT_TRUE(h.start());
    int rows_when_sending = -1;
    h.component.sendHook = [&] { rows_when_sending = h.w().MSFlexGrid1->rowCount() - 1; };
    const QString sent = "メールをx@example.testへ送信しました";
    const QString kStart = "メールを受信します";
    const struct {
        QStringList to_a, to_b;
        QSet<QString> failing;
        QString mailto;
        QStringList heard;
    } steps[] = {
        {{},
         {"b1.eml"},
         {"a"},
         "",
         {kStart, "1通のメールを受信しました", cannot("a"), "メール数は1"}},
        {{"a1.eml"},
         {"b2.eml"},
         {},
         "x@example.test",
         {kStart, "2通のメールを受信しました", "メール数は3", "メールを送信します", sent,
          "送信したメールを入力欄から消しました。次のメールを書けます"}},
        {{}, {}, {"a", "b"}, "", {kStart, cannot("a"), cannot("b")}},
        {{}, {}, {}, "", {kStart, "受信したメールはありません"}},
    };
    for (const auto& step : steps) {
        arrive("a", step.to_a);
        arrive("b", step.to_b);
        failing = step.failing;
        h.w().mailto->setText(step.mailto);
        h.component.calls.clear();
        h.mark();
        h.key(Qt::Key_M, Qt::ControlModifier);
        EXPECT_EQ(h.spokenSinceMark(), step.heard);
        EXPECT_EQ(h.component.trace().contains("SendMail"), !step.mailto.isEmpty());
        EXPECT_EQ(h.w().MSFlexGrid1->rowCount() - 1, static_cast<int>(stored().size()));
    }
    EXPECT_EQ(rows_when_sending, 3);
    EXPECT_EQ(stored().size(), 3u);
}

TEST_F(Mailboxes, AReceiveThatLastsSaysHowFarItIsThenTheCount) {
    ASSERT_TRUE(h.start());
    h.component.onRcvMail = [this](const QString&, const QString& user,
                                   const QString&) -> MailArray {
        if (user != QLatin1String("a")) return QStringList{};
        h.component.report(1, 3);
        QThread::msleep(5600);
        h.component.report(3, 3);
        return QStringList{"m1.eml", "m2.eml", "m3.eml"};
    };
    for (const QString f : {"m1.eml", "m2.eml", "m3.eml"}) readable(f);
    QString shown;  // the status line, while the receive goes on
    QTimer::singleShot(2000, [&] { shown = h.w().cmd_message->text(); });
    h.mark();
    h.trigger("receive");
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{"メールを受信します", "3通中1通を受信しました",
                                                "3通のメールを受信しました", "メール数は3"}));
    EXPECT_EQ(shown, "受信中 1/3");
}

TEST(CheckNewMail, TheMenuCheckSaysTheTotalAndEachAccountThatCouldNotBeAsked) {
    // Accounts named by their users, each with its STAT answer; nullopt: it cannot be asked.
    const auto answer = [](const char* stat) { return MailArray(QStringList{stat}); };
    const struct {
        std::vector<std::pair<const char*, MailArray>> users;
        QStringList heard;
        int waiting;
        QStringList trace;
    } cases[] = {
        {{{"u", answer("3 1557")}}, {arrived(3)}, 3, {"RcvMail STAT", "Sleep 1"}},
        {{{"u", answer("0 0")}}, {"新規メールは有りません"}, 0, {"RcvMail STAT"}},
        {{{"u", answer("3")}}, {"新規メールは有りません"}, 0, {"RcvMail STAT"}},
        {{{"u", answer("")}}, {"新規メールは有りません"}, 0, {"RcvMail STAT"}},
        {{{"a", answer("2 100")}, {"b", answer("0 0")}, {"c", answer("3 300")}},
         {arrived(5)},
         5,
         {"RcvMail STAT", "Sleep 1", "RcvMail STAT", "RcvMail STAT", "Sleep 1"}},
        {{{"a", std::nullopt}}, {cannot("a", "確認")}, 0, {"RcvMail STAT"}},
        {{{"a", std::nullopt}, {"b", answer("1 10")}, {"c", std::nullopt}},
         {arrived(1), cannot("a", "確認"), cannot("c", "確認")},
         1,
         {"RcvMail STAT", "RcvMail STAT", "Sleep 1", "RcvMail STAT"}},
        {{}, {}, 0, {}},
    };
    for (const auto& c : cases) {
        WindowHarness h;
        std::vector<AccountFields> accounts;
        QHash<QString, MailArray> stat;
        for (const auto& [user, answer] : c.users) {
            accounts.push_back(qv::test::fake_account(user));
            stat.insert(user, answer);
        }
        qv::test::seed_accounts(h.seed(), accounts);
        h.component.error = kReason;
        h.component.onRcvMail = [stat](const QString&, const QString& user,
                                       const QString& command) -> MailArray {
            return command == QLatin1String("STAT") ? stat.value(user) : QStringList{};
        };
        ASSERT_TRUE(h.start());
        h.component.calls.clear();
        h.mark();
        h.trigger("mail_check");
        const std::string row = c.heard.join('|').toStdString();
        EXPECT_EQ(h.spokenSinceMark(), c.heard) << row;
        EXPECT_EQ(h.parts().receiver->waiting_mail_count(), c.waiting) << row;
        EXPECT_EQ(h.component.trace(), c.trace) << row;
        const QString shown = h.w().cmd_message->text();
        EXPECT_EQ(shown, c.heard.value(c.heard.size() - 1, shown)) << row;
    }
}
