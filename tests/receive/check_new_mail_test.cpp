#include "support/window_harness.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

const QString kNone = QStringLiteral("新規メールは有りません");
QString arrived(int n) {
    return QStringLiteral("メールが届いています[メールの数は]") + QString::number(n);
}

AccountFields account(const QString& pop, const QString& user, const QString& email) {
    return AccountFields{pop,
                         QStringLiteral("smtp.example.test"),
                         user,
                         user + QStringLiteral("-pw"),
                         email,
                         QStringLiteral("nick"),
                         QStringLiteral("title")};
}

// STAT answers by user name; SAVEALLD answers nothing (the check tests do not receive).
void answer_stat(WindowHarness& h, QHash<QString, MailArray> by_user) {
    h.component.onRcvMail = [by_user](const QString&, const QString& user,
                                      const QString& command) -> MailArray {
        if (command != QLatin1String("STAT")) return QStringList{};
        return by_user.value(user);
    };
}

// What the check said: the first answer of a check heard after the time, or "".
QString check_said(const WindowHarness& h) {
    const QStringList said = h.spoken();
    const qsizetype time = said.indexOf(QStringLiteral("09時05分"));
    for (qsizetype i = time + 1; time >= 0 && i < said.size(); ++i) {
        if (said[i] == kNone || said[i].startsWith(QStringLiteral("メールが届いています"))) {
            return said[i];
        }
    }
    return QString();
}

QStringList rcv_users(const WindowHarness& h, const QString& command) {
    QStringList users;
    for (const auto& c : h.component.calls) {
        if (c.method == QLatin1String("RcvMail") && c.args[3] == command) users << c.args[1];
    }
    return users;
}

}  // namespace

TEST(CheckNewMail, OneAccountWithThreeWaitingSaysSoAndPausesOneSecond) {
    WindowHarness h;
    ASSERT_GT(
        h.seed().insertAccount(account(QStringLiteral("pop.example.test"), QStringLiteral("taro"),
                                       QStringLiteral("taro@example.test"))),
        0);
    answer_stat(h, {{QStringLiteral("taro"), QStringList{QStringLiteral("3 1557")}}});
    ASSERT_TRUE(h.start());

    EXPECT_EQ(check_said(h), arrived(3));
    EXPECT_EQ(h.spoken().count(arrived(3)), 1);
    EXPECT_EQ(h.parts().receiver->waiting_mail_count(), 3);
    // The STAT went with the account's settings and the mail directory; the pause came after it.
    const auto& stat = h.component.calls.at(0);
    EXPECT_EQ(stat.args,
              (QStringList{QStringLiteral("pop.example.test"), QStringLiteral("taro"),
                           QStringLiteral("taro-pw"), QStringLiteral("STAT"), h.paths().mail_dir}));
    const QStringList trace = h.component.trace();
    ASSERT_GE(trace.size(), 3);
    EXPECT_EQ(trace.mid(0, 3),
              (QStringList{QStringLiteral("RcvMail STAT"), QStringLiteral("Sleep 1"),
                           QStringLiteral("RcvMail SAVEALLD")}));
}

TEST(CheckNewMail, EmptyMailboxOrAnswerWithoutBlankIsNoMail) {
    for (const QString& status : {QStringLiteral("0 0"), QStringLiteral("3"), QString()}) {
        WindowHarness h;
        ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop"), QStringLiteral("u"),
                                                 QStringLiteral("u@example.test"))),
                  0);
        answer_stat(h, {{QStringLiteral("u"), QStringList{status}}});
        ASSERT_TRUE(h.start());
        EXPECT_EQ(check_said(h), kNone) << status.toStdString();
        EXPECT_EQ(h.parts().receiver->waiting_mail_count(), 0);
        // No pause and no download.
        EXPECT_EQ(h.component.trace(), QStringList{QStringLiteral("RcvMail STAT")});
    }
}

TEST(CheckNewMail, SeveralAccountsAreAskedInOrderAndTheirMailAddedUp) {
    WindowHarness h;
    MailStore& db = h.seed();
    ASSERT_GT(db.insertAccount(account(QStringLiteral("pop-a"), QStringLiteral("a"),
                                       QStringLiteral("a@example.test"))),
              0);
    ASSERT_GT(db.insertAccount(account(QStringLiteral("pop-b"), QStringLiteral("b"),
                                       QStringLiteral("b@example.test"))),
              0);
    ASSERT_GT(db.insertAccount(account(QStringLiteral("pop-c"), QStringLiteral("c"),
                                       QStringLiteral("c@example.test"))),
              0);
    answer_stat(h, {{QStringLiteral("a"), QStringList{QStringLiteral("2 100")}},
                    {QStringLiteral("b"), QStringList{QStringLiteral("0 0")}},
                    {QStringLiteral("c"), QStringList{QStringLiteral("3 300")}}});
    ASSERT_TRUE(h.start());

    EXPECT_EQ(rcv_users(h, QStringLiteral("STAT")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    // Said once, with the total; one pause after each account that had mail.
    EXPECT_EQ(check_said(h), arrived(5));
    EXPECT_EQ(h.spoken().filter(QStringLiteral("メールが届いています")).size(), 1);
    EXPECT_FALSE(h.spoken().contains(kNone));
    EXPECT_EQ(h.parts().receiver->waiting_mail_count(), 5);
    EXPECT_EQ(std::count(h.component.sleeps.begin(), h.component.sleeps.end(), 1), 2);
}

TEST(CheckNewMail, MailOnlyOnAnEarlierAccountStillCounts) {
    WindowHarness h;
    MailStore& db = h.seed();
    ASSERT_GT(db.insertAccount(account(QStringLiteral("pop-a"), QStringLiteral("a"),
                                       QStringLiteral("a@example.test"))),
              0);
    ASSERT_GT(db.insertAccount(account(QStringLiteral("pop-b"), QStringLiteral("b"),
                                       QStringLiteral("b@example.test"))),
              0);
    answer_stat(h, {{QStringLiteral("a"), QStringList{QStringLiteral("4 100")}},
                    {QStringLiteral("b"), QStringList{QStringLiteral("0 0")}}});
    ASSERT_TRUE(h.start());
    EXPECT_EQ(check_said(h), arrived(4));
    EXPECT_EQ(h.parts().receiver->waiting_mail_count(), 4);
    // The download runs, and the POP fields are left with the last account polled.
    EXPECT_EQ(rcv_users(h, QStringLiteral("SAVEALLD")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(h.accounts().cur_pop, QStringLiteral("pop-b"));
    EXPECT_EQ(h.accounts().cur_user, QStringLiteral("b"));
    EXPECT_EQ(h.accounts().cur_password, QStringLiteral("b-pw"));
}

TEST(CheckNewMail, AFailedServerCountsAsNoMailAndTheStatusLineSaysWhy) {
    WindowHarness h;
    MailStore& db = h.seed();
    ASSERT_GT(db.insertAccount(account(QStringLiteral("pop-a"), QStringLiteral("a"),
                                       QStringLiteral("a@example.test"))),
              0);
    h.component.error = QStringLiteral("パスワードが違います");
    answer_stat(h, {});  // every STAT fails
    ASSERT_TRUE(h.start());
    EXPECT_EQ(check_said(h), kNone);
    EXPECT_EQ(h.parts().receiver->waiting_mail_count(), 0);
    // The start-up goes on to show the inbox; the menu's check leaves its reason in view.
    h.mark();
    h.trigger(QStringLiteral("mail_check"));
    EXPECT_EQ(h.spokenSinceMark(), QStringList{kNone});
    const QString status = h.w().cmd_message->text();
    EXPECT_TRUE(status.contains(QStringLiteral("a@example.test"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("パスワードが違います"))) << status.toStdString();

    // With another account that has mail, its mail is said and the failure still shown.
    WindowHarness two;
    MailStore& db2 = two.seed();
    ASSERT_GT(db2.insertAccount(account(QStringLiteral("pop-a"), QStringLiteral("a"),
                                        QStringLiteral("a@example.test"))),
              0);
    ASSERT_GT(db2.insertAccount(account(QStringLiteral("pop-b"), QStringLiteral("b"),
                                        QStringLiteral("b@example.test"))),
              0);
    two.component.error = QStringLiteral("サーバーに接続できません");
    two.component.onRcvMail = [](const QString&, const QString& user,
                                 const QString& command) -> MailArray {
        if (user == QLatin1String("a")) return std::nullopt;
        if (command == QLatin1String("STAT")) return QStringList{QStringLiteral("1 10")};
        return QStringList{};
    };
    ASSERT_TRUE(two.start());
    EXPECT_EQ(check_said(two), arrived(1));
    EXPECT_EQ(two.parts().receiver->waiting_mail_count(), 1);
}

TEST(CheckNewMail, NoAccountMeansNothingAskedAndNothingSaid) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.mark();
    h.trigger(QStringLiteral("mail_check"));
    EXPECT_EQ(h.spokenSinceMark(), QStringList());
    for (const auto& c : h.component.calls) EXPECT_NE(c.method, QStringLiteral("RcvMail"));
}

TEST(CheckNewMail, TheMenuCommandChecksAgainAndSpeaksTheNewResult) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop"), QStringLiteral("u"),
                                             QStringLiteral("u@example.test"))),
              0);
    int waiting = 0;
    h.component.onRcvMail = [&waiting](const QString&, const QString&,
                                       const QString& command) -> MailArray {
        if (command == QLatin1String("STAT"))
            return QStringList{QStringLiteral("%1 %2").arg(waiting).arg(waiting * 100)};
        return QStringList{};
    };
    ASSERT_TRUE(h.start());
    EXPECT_EQ(check_said(h), kNone);

    waiting = 2;
    h.mark();
    h.trigger(QStringLiteral("mail_check"));
    EXPECT_EQ(h.spokenSinceMark(), QStringList{arrived(2)});
    EXPECT_EQ(h.parts().receiver->waiting_mail_count(), 2);
    // The menu command only checks: nothing is downloaded.
    EXPECT_TRUE(rcv_users(h, QStringLiteral("SAVEALLD")).isEmpty());
    EXPECT_EQ(h.component.sleeps, std::vector<int>{1});
}
