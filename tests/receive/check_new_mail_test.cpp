// The new-mail check as the user hears it, with the scripted component: the count over all
// accounts, said only when some account answered, and each account that could not be asked.

#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

const QString kNone = QStringLiteral("新規メールは有りません");
const QString kReason = QStringLiteral(
    "パスワードかユーザー名が違います。アカウントの設定でユーザー名とパスワードを確認してください");
QString arrived(int n) { return "メールが届いています[メールの数は]" + QString::number(n); }
QString cannot(const char* user) {
    return QString::fromUtf8(user) + "@example.test のメールを確認できません：" + kReason;
}

MailArray waiting(const char* stat) { return QStringList{QString::fromUtf8(stat)}; }

}  // namespace

TEST(CheckNewMail, TheMenuCheckSaysTheTotalAndEachAccountThatCouldNotBeAsked) {
    // Accounts named by their users, each with its STAT answer; nullopt: it cannot be asked.
    const struct {
        std::vector<std::pair<const char*, MailArray>> users;
        QStringList heard;
        int waiting;
        QStringList trace;
    } cases[] = {
        {{{"u", waiting("3 1557")}}, {arrived(3)}, 3, {"RcvMail STAT", "Sleep 1"}},
        {{{"u", waiting("0 0")}}, {kNone}, 0, {"RcvMail STAT"}},
        {{{"u", waiting("3")}}, {kNone}, 0, {"RcvMail STAT"}},
        {{{"u", waiting("")}}, {kNone}, 0, {"RcvMail STAT"}},
        {{{"a", waiting("2 100")}, {"b", waiting("0 0")}, {"c", waiting("3 300")}},
         {arrived(5)},
         5,
         {"RcvMail STAT", "Sleep 1", "RcvMail STAT", "RcvMail STAT", "Sleep 1"}},
        {{{"a", std::nullopt}}, {cannot("a")}, 0, {"RcvMail STAT"}},
        {{{"a", std::nullopt}, {"b", waiting("1 10")}, {"c", std::nullopt}},
         {arrived(1), cannot("a"), cannot("c")},
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
        h.trigger(QStringLiteral("mail_check"));
        const std::string row = c.heard.join('|').toStdString();
        EXPECT_EQ(h.spokenSinceMark(), c.heard) << row;
        EXPECT_EQ(h.parts().receiver->waiting_mail_count(), c.waiting) << row;
        EXPECT_EQ(h.component.trace(), c.trace) << row;
        const QString shown = h.w().cmd_message->text();
        EXPECT_EQ(shown, c.heard.value(c.heard.size() - 1, shown)) << row;
    }
}
