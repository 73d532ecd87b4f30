#include "settings/accounts.h"
#include "settings/account_editor.h"
#include "support/window_harness.h"

#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

const QString kFirstUse =
    QStringLiteral("はじめてのご使用です　メールアカウントの設定を行ってください");

AccountFields fields(const QString& user) {
    return AccountFields{QStringLiteral("pop-") + user,
                         QStringLiteral("smtp-") + user,
                         user,
                         QStringLiteral("pw-") + user,
                         user + QStringLiteral("@example.test"),
                         QStringLiteral("nick-") + user,
                         QStringLiteral("title-") + user};
}

QStringList polled(const WindowHarness& h) {
    QStringList users;
    for (const auto& c : h.component.calls) {
        if (c.method == QLatin1String("RcvMail") && c.args[3] == QLatin1String("STAT")) {
            users << c.args[1];
        }
    }
    return users;
}

Accounts& accounts_of(WindowHarness& h) {
    auto* a = h.window().findChild<Accounts*>();
    if (!a) throw std::runtime_error("no Accounts object in the window");
    return *a;
}

// The start-up's settings step again, as the start-up runs it.
void reload_settings(WindowHarness& h) {
    h.parts().accounts->load_startup_settings(*h.parts().account_dialogs, *h.parts().options,
                                              h.pauser);
}

std::vector<bool> cur_column(MailStore& store) {
    std::vector<bool> cur;
    for (const AccountRow& r : store.accounts()) cur.push_back(r.cur);
    return cur;
}

}  // namespace

TEST(LoadAccounts, EveryRowInTableOrderAndTheLastCurrentOneWins) {
    WindowHarness h;
    MailStore& db = h.seed();
    const int a = db.insertAccount(fields(QStringLiteral("a")));
    const int b = db.insertAccount(fields(QStringLiteral("b")));
    const int c = db.insertAccount(fields(QStringLiteral("c")));
    ASSERT_TRUE(a > 0 && b > 0 && c > 0);
    ASSERT_TRUE(db.setCurrentAccount(b));
    ASSERT_TRUE(db.setCurrentAccount(c));
    ASSERT_TRUE(h.start());

    const AccountTable& s = h.accounts();
    EXPECT_EQ(s.account_count, 3);
    EXPECT_EQ(s.cur_account_index, 3);
    const Account& third = s.accounts[3];
    EXPECT_EQ(third.id, c);
    EXPECT_TRUE(third.cur);
    EXPECT_EQ(third.pop, QStringLiteral("pop-c"));
    EXPECT_EQ(third.smtp, QStringLiteral("smtp-c"));
    EXPECT_EQ(third.account, QStringLiteral("c"));
    EXPECT_EQ(third.password, QStringLiteral("pw-c"));
    EXPECT_EQ(third.email, QStringLiteral("c@example.test"));
    EXPECT_EQ(third.name, QStringLiteral("nick-c"));
    EXPECT_EQ(third.default_, QStringLiteral("title-c"));
    EXPECT_EQ(s.accounts[1].account, QStringLiteral("a"));
    EXPECT_FALSE(s.accounts[1].cur);
    // Every account is polled, in order, and the POP fields end with the last one.
    EXPECT_EQ(polled(h), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(s.cur_pop, QStringLiteral("pop-c"));
}

TEST(LoadAccounts, ThePopFieldsComeFromTheCurrentAccount) {
    WindowHarness h;
    MailStore& db = h.seed();
    ASSERT_GT(db.insertAccount(fields(QStringLiteral("a"))), 0);
    const int b = db.insertAccount(fields(QStringLiteral("b")));
    ASSERT_GT(db.insertAccount(fields(QStringLiteral("c"))), 0);
    ASSERT_TRUE(db.setCurrentAccount(b));
    ASSERT_TRUE(h.start());
    // The check has gone through every account since; the settings step alone shows the rule.
    reload_settings(h);
    EXPECT_EQ(h.accounts().cur_account_index, 2);
    EXPECT_EQ(h.accounts().cur_pop, QStringLiteral("pop-b"));
    EXPECT_EQ(h.accounts().cur_user, QStringLiteral("b"));
    EXPECT_EQ(h.accounts().cur_password, QStringLiteral("pw-b"));
    EXPECT_EQ(h.accounts().current_account().smtp, QStringLiteral("smtp-b"));
}

TEST(LoadAccounts, OneAccountNotMarkedCurrentIsPolledButNotCurrent) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(fields(QStringLiteral("solo"))), 0);
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.accounts().account_count, 1);
    EXPECT_EQ(h.accounts().cur_account_index, 0);
    EXPECT_EQ(h.accounts().current_account().smtp, QString());
    EXPECT_EQ(h.accounts().current_account().email, QString());
    EXPECT_EQ(polled(h), QStringList{QStringLiteral("solo")});
    reload_settings(h);
    EXPECT_EQ(h.accounts().cur_pop, QString());
}

TEST(LoadAccounts, MoreThanTwentyRowsLoadTheFirstTwentyAndSaySo) {
    WindowHarness h;
    for (int i = 1; i <= 22; ++i) {
        ASSERT_GT(h.seed().insertAccount(fields(QStringLiteral("u%1").arg(i))), 0);
    }
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.accounts().account_count, 20);
    EXPECT_EQ(h.accounts().accounts[20].account, QStringLiteral("u20"));
    EXPECT_EQ(polled(h).size(), 20);
    EXPECT_FALSE(polled(h).contains(QStringLiteral("u21")));
    // The status line says it until something else is shown; here the check shows its result,
    // so ask again.
    reload_settings(h);
    EXPECT_TRUE(h.w().cmd_message->text().contains(QStringLiteral("20")));
}

TEST(LoadAccounts, AReloadLeavesNoEntryOfTheEarlierLoadBehind) {
    WindowHarness h;
    const int a = h.seed().insertAccount(fields(QStringLiteral("a")));
    ASSERT_GT(h.seed().insertAccount(fields(QStringLiteral("b"))), 0);
    ASSERT_GT(a, 0);
    ASSERT_TRUE(h.start());
    ASSERT_EQ(h.accounts().account_count, 2);
    ASSERT_TRUE(h.store().deleteAccount(a));
    EXPECT_TRUE(accounts_of(h).load_accounts());
    EXPECT_EQ(h.accounts().account_count, 1);
    EXPECT_EQ(h.accounts().accounts[1].account, QStringLiteral("b"));
    EXPECT_EQ(h.accounts().accounts[2].account, QString());
    EXPECT_EQ(h.accounts().accounts[2].id, 0);
}

TEST(FirstUse, ThePromptFollowsTheTimeThenAPauseThenTheEditorThenTheCheck) {
    WindowHarness h;
    QStringList said_at_pause;
    QStringList trace_at_editor;
    bool editor_opened = false;
    h.pauser.onPause = [&](int seconds) {
        if (seconds == 4 && said_at_pause.isEmpty()) said_at_pause = h.spoken();
    };
    // The account editor, as the user fills it in: one new account, written to the table.
    h.onModal = [&](QWidget* modal) {
        auto* editor = qobject_cast<AccountEditor*>(modal);
        if (!editor || editor_opened) return;
        editor_opened = true;
        trace_at_editor = h.component.trace();
        EXPECT_EQ(h.accounts().account_edit_mode, QStringLiteral("new"));
        const AccountFields f = fields(QStringLiteral("new"));
        const QString values[] = {f.pop,   f.smtp, f.account, f.password,
                                  f.email, f.name, f.default_};
        for (int i = 0; i < AccountEditor::kFields; ++i) editor->field(i)->setText(values[i]);
        editor->Command1_Click();
    };
    h.component.onRcvMail = [](const QString&, const QString&,
                               const QString& command) -> MailArray {
        if (command == QLatin1String("STAT")) return QStringList{QStringLiteral("0 0")};
        return QStringList{};
    };
    ASSERT_TRUE(h.start());

    ASSERT_TRUE(editor_opened);
    const qsizetype time = said_at_pause.indexOf(QStringLiteral("09時05分"));
    ASSERT_GE(time, 0);
    EXPECT_EQ(said_at_pause.mid(time + 1), QStringList{kFirstUse});
    // The pause came before any use of the component, and the editor right after it.
    EXPECT_EQ(trace_at_editor, QStringList());
    EXPECT_EQ(h.pauser.pauses, std::vector<int>{4});
    // The account entered is known at once: polled by the check, with its id, not current.
    EXPECT_EQ(h.accounts().account_count, 1);
    EXPECT_GT(h.accounts().accounts[1].id, 0);
    EXPECT_EQ(h.accounts().cur_account_index, 0);
    EXPECT_EQ(polled(h), QStringList{QStringLiteral("new")});
    const QStringList all = h.spoken();
    EXPECT_LT(all.indexOf(kFirstUse), all.indexOf(QStringLiteral("新規メールは有りません")));
    EXPECT_EQ(all.count(kFirstUse), 1);
}

TEST(FirstUse, AnEditorClosedWithoutAnAccountLeavesNothingToPoll) {
    WindowHarness h;  // the editor is cancelled
    ASSERT_TRUE(h.start());
    EXPECT_TRUE(h.spoken().contains(kFirstUse));
    EXPECT_EQ(h.accounts().account_count, 0);
    EXPECT_TRUE(polled(h).isEmpty());
    EXPECT_EQ(h.accounts().account_edit_mode, QStringLiteral("new"));
}

TEST(FirstUse, NotSpokenOnceAnAccountExists) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(fields(QStringLiteral("a"))), 0);
    ASSERT_TRUE(h.start());
    EXPECT_FALSE(h.spoken().contains(kFirstUse));
    EXPECT_TRUE(h.pauser.pauses.empty());
    EXPECT_EQ(h.accounts().account_edit_mode, QString());
}

TEST(SetDefaultAccount, MakesThatRowTheOnlyCurrentOneSilently) {
    WindowHarness h;
    MailStore& db = h.seed();
    const int a = db.insertAccount(fields(QStringLiteral("a")));
    ASSERT_GT(db.insertAccount(fields(QStringLiteral("b"))), 0);
    ASSERT_GT(db.insertAccount(fields(QStringLiteral("c"))), 0);
    ASSERT_TRUE(db.setCurrentAccount(a));
    ASSERT_TRUE(h.start());
    ASSERT_EQ(h.accounts().cur_account_index, 1);
    const QString pop_before = h.accounts().cur_pop;

    h.mark();
    EXPECT_TRUE(accounts_of(h).set_default_account(2));
    EXPECT_EQ(h.spokenSinceMark(), QStringList());
    EXPECT_EQ(h.accounts().cur_account_index, 3);
    EXPECT_EQ(h.accounts().current_account().smtp, QStringLiteral("smtp-c"));
    EXPECT_EQ(cur_column(h.store()), (std::vector<bool>{false, false, true}));
    // The POP fields and the entries' own marks stay as they were.
    EXPECT_EQ(h.accounts().cur_pop, pop_before);
    EXPECT_TRUE(h.accounts().accounts[1].cur);

    // The next start picks the same account.
    reload_settings(h);
    EXPECT_EQ(h.accounts().cur_account_index, 3);
}

TEST(SetDefaultAccount, ARowWithoutAStoredAccountChangesNothing) {
    WindowHarness h;
    const int a = h.seed().insertAccount(fields(QStringLiteral("a")));
    ASSERT_TRUE(h.seed().setCurrentAccount(a));
    ASSERT_TRUE(h.start());
    Accounts& accounts = accounts_of(h);
    EXPECT_FALSE(accounts.set_default_account(-1));
    EXPECT_FALSE(accounts.set_default_account(1));
    // An entry added in memory without an id yet.
    h.accounts().account_count = 2;
    h.accounts().accounts[2].account = QStringLiteral("unsaved");
    EXPECT_FALSE(accounts.set_default_account(1));
    EXPECT_EQ(h.accounts().cur_account_index, 1);
    EXPECT_EQ(cur_column(h.store()), std::vector<bool>{true});
}
