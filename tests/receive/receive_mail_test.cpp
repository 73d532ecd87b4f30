// Checking and receiving with the scripted component: what is stored, what the user hears, and
// Ctrl+M, which receives and then sends.

#include "mailbox/flex_grid.h"
#include "support/files.h"
#include "support/golden.h"
#include "support/printers.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QDir>
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
    // The inbox's subjects, oldest row first.
    QStringList subjects() {
        QStringList out;
        for (const MailRow& r : h.store().mailsInFolder(kInbox)) out.prepend(r.subject);
        return out;
    }
    WindowHarness h;
    QHash<QString, QStringList> waiting;
    QSet<QString> failing;
};

}  // namespace

TEST_F(Mailboxes, AtStartUpLeftOversAreStoredFirstThenMailWaitingAnywhereIsReceivedFromEvery) {
    // A receive saved two mails and the program was stopped before their rows were written;
    // files that are no mails lie beside them. A mail that cannot be read is left alone.
    const QString dir = h.dataDir() + "/mail/";
    QStringList files = golden_lines("receive/not_mail_files.txt");
    files << "20261205-0002.eml"
          << "20261205-0001.eml";
    for (const QString& name : files) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(dir + name).path()));
        ASSERT_TRUE(qv::test::write_file(dir + name, name.toUtf8()));
        readable(name);
    }
    arrive("a", {"a1.eml"});
    waiting["a"] << "unreadable.eml";
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.component.trace().mid(0, 6),
              (QStringList{"ReadMail", "ReadMail", "RcvMail STAT", "Sleep 1", "RcvMail STAT",
                           "RcvMail SAVEALLD"}));
    EXPECT_EQ(h.component.trace().count("RcvMail SAVEALLD"), 2);
    EXPECT_EQ(subjects(), (QStringList{"20261205-0001.eml", "20261205-0002.eml", "a1.eml"}));
    EXPECT_EQ(h.accounts().cur_user, "b");  // the POP fields: the last account polled
}

// Each row of ctrl_m.txt: mail arriving for a and b, the users that cannot be reached, the
// recipient typed, what is heard.
TEST_F(Mailboxes, CtrlMReceivesRefreshesTheInboxAndSendsOnlyToARecipient) {
    ASSERT_TRUE(h.start());
    int rows_when_sending = -1;
    h.component.sendHook = [&] { rows_when_sending = h.w().MSFlexGrid1->rowCount() - 1; };
    for (const QString& line : golden_lines("cases/ctrl_m.txt")) {
        const QStringList step = line.split(u'\t');
        arrive("a", step[0].split(u',', Qt::SkipEmptyParts));
        arrive("b", step[1].split(u',', Qt::SkipEmptyParts));
        const QStringList down = step[2].split(u',', Qt::SkipEmptyParts);
        failing = QSet<QString>(down.begin(), down.end());
        h.w().mailto->setText(step[3]);
        h.component.calls.clear();
        h.mark();
        h.key(Qt::Key_M, Qt::ControlModifier);
        EXPECT_EQ(h.spokenSinceMark(), step[4].split(u'|')) << line;
        EXPECT_EQ(h.component.trace().contains("SendMail"), !step[3].isEmpty());
        EXPECT_EQ(h.w().MSFlexGrid1->rowCount() - 1, static_cast<int>(subjects().size()));
    }
    EXPECT_EQ(rows_when_sending, 3);
    EXPECT_EQ(subjects().size(), 3);
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

// Each row of check_new_mail.txt: the accounts (user=its STAT answer, "-" when it cannot be
// asked), what is heard, the mail said to be waiting, the component's trace.
TEST(CheckNewMail, TheMenuCheckSaysTheTotalAndEachAccountThatCouldNotBeAsked) {
    for (const QString& line : golden_lines("cases/check_new_mail.txt")) {
        const QStringList c = line.split(u'\t');
        WindowHarness h;
        std::vector<AccountFields> accounts;
        QHash<QString, MailArray> stat;
        for (const QString& account : c[0].split(u',', Qt::SkipEmptyParts)) {
            const QString user = account.section(u'=', 0, 0), answer = account.section(u'=', 1);
            accounts.push_back(qv::test::fake_account(user));
            stat.insert(user, answer == "-" ? MailArray() : MailArray(QStringList{answer}));
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
        const QStringList heard = c[1].split(u'|', Qt::SkipEmptyParts);
        EXPECT_EQ(h.spokenSinceMark(), heard) << line;
        EXPECT_EQ(h.parts().receiver->waiting_mail_count(), c[2].toInt()) << line;
        EXPECT_EQ(h.component.trace(), c[3].split(u'|', Qt::SkipEmptyParts)) << line;
        const QString shown = h.w().cmd_message->text();
        EXPECT_EQ(shown, heard.value(heard.size() - 1, shown)) << line;
    }
}
