#include "settings/accounts.h"
#include "support/settings_window.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

const QString kFirstUse =
    QStringLiteral("はじめてのご使用です　メールアカウントの設定を行ってください");

// The users of the accounts polled so far, in order.
QStringList polled(const WindowHarness& h) {
    QStringList users;
    for (const auto& c : h.component.calls) {
        if (c.method == QLatin1String("RcvMail") && c.args[3] == QLatin1String("STAT")) {
            users << c.args[1];
        }
    }
    return users;
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

// Accounts a, b, c with some marked current: every one loaded and polled in table order, the
// last marked current is the current one, and the POP fields come from it.
TEST(LoadAccounts, EveryRowInTableOrderAndTheLastMarkedCurrentWins) {
    for (const auto& [marked, current] : {std::pair{std::vector{1, 2}, 3}, {{1}, 2}, {{}, 0}}) {
        SettingsWindow t(3, 0, [&, marked = marked](MailStore& db) {
            return std::all_of(marked.begin(), marked.end(),
                               [&](int i) { return db.setCurrentAccount(i + 1); });
        });
        const AccountTable& s = t.h.accounts();
        EXPECT_EQ(s.account_count, 3);
        EXPECT_EQ(s.cur_account_index, current);
        EXPECT_EQ(polled(t.h), (QStringList{"user-a", "user-b", "user-c"}));
        EXPECT_EQ(s.cur_pop, QStringLiteral("pop.c"));  // the receive polled c last
        const Account& c = s.accounts[3];
        EXPECT_EQ(QStringList{QString::number(c.id)} +
                      as_list({c.pop, c.smtp, c.account, c.password, c.email, c.name, c.default_}),
                  QStringList{"3"} + as_list(fields("c")));
        EXPECT_EQ(c.cur, current == 3);
        reload_settings(t.h);  // the settings step alone: the POP fields of the current account
        const AccountFields f = current ? fields(QChar(u'a' + current - 1)) : AccountFields{};
        EXPECT_EQ((QStringList{s.cur_pop, s.cur_user, s.cur_password, s.current_account().smtp,
                               s.current_account().email}),
                  (QStringList{f.pop, f.account, f.password, f.smtp, f.email}));
    }
}

TEST(LoadAccounts, TwentyAtMostAndAReloadLeavesNothingBehind) {
    SettingsWindow t(22);
    EXPECT_EQ(t.h.accounts().account_count, 20);
    EXPECT_EQ(polled(t.h).size(), 20);
    // The status line says so until something else is shown; the check showed its result since.
    reload_settings(t.h);
    EXPECT_TRUE(t.h.w().cmd_message->text().contains(QStringLiteral("20")));
    AccountList* list = t.list();
    t.h.mark();
    click(list, "Command1");
    EXPECT_TRUE(list->message().startsWith(QStringLiteral("アカウントは20件まで")));
    EXPECT_EQ(t.h.spokenSinceMark(), QStringList{list->message()});
    EXPECT_FALSE(t.editor() && t.editor()->isVisible());

    for (int id : t.ids.mid(0, 21)) ASSERT_TRUE(t.h.store().deleteAccount(id));
    EXPECT_TRUE(t.h.parts().accounts->load_accounts());
    EXPECT_EQ(t.h.accounts().account_count, 1);
    EXPECT_EQ(t.h.accounts().accounts[1].id, t.ids[21]);
    EXPECT_EQ(t.h.accounts().accounts[2].id, 0);
    EXPECT_EQ(t.h.accounts().accounts[2].account, QString());
}

// Nothing stored yet: the prompt, the editor speaking, the user typing the seven fields and
// pressing ENTER, and the account saved, made the default and polled.
TEST(FirstUse, ByEarFromThePromptToTheNewDefaultAccount) {
    WindowHarness h;
    QStringList trace_at_editor, before_typing, while_typing;
    h.onModal = [&](QWidget* modal) {
        auto* e = qobject_cast<AccountEditor*>(modal);
        if (!e || !trace_at_editor.isEmpty() || !activate(e)) return;
        trace_at_editor = h.component.trace() << "editor";
        before_typing = h.spokenSinceMark();
        AccountFields f = fields("new");
        f.password = QStringLiteral("X7");
        for (int i = 0; i < AccountEditor::kFields; ++i) {
            if (i > 0) press(e, Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), as_list(f)[i]);
        }
        while_typing = h.spokenSinceMark();
        press(e, Qt::Key_Return);
    };
    h.component.onRcvMail = [](const QString&, const QString&, const QString&) -> MailArray {
        return QStringList{QStringLiteral("0 0")};
    };
    ASSERT_TRUE(h.start());

    EXPECT_EQ(trace_at_editor, QStringList{"editor"});  // before any use of the component
    EXPECT_EQ(h.pauser.pauses, std::vector<int>{4});
    ASSERT_EQ(before_typing.size(), 4);
    EXPECT_EQ(before_typing.mid(0, 2), (QStringList{"09時05分", kFirstUse}));
    EXPECT_TRUE(
        before_typing[2].startsWith(QStringLiteral("アカウント編集。新しいメールアカウント")));
    EXPECT_EQ(before_typing[3], QStringLiteral("POPサーバー 空欄"));
    for (const char* field : {"SMTPサーバー 空欄", "アカウント 空欄", "パスワード 空欄",
                              "メールアドレス 空欄", "ニックネーム 空欄", "メール表題 空欄"}) {
        EXPECT_TRUE(while_typing.contains(QString::fromUtf8(field))) << field;
    }
    EXPECT_TRUE(while_typing.contains(QStringLiteral("@")));   // what is typed is echoed,
    EXPECT_FALSE(while_typing.contains(QStringLiteral("X")));  // but never the password
    const QStringList all = h.spoken();
    EXPECT_TRUE(all.contains(
        QStringLiteral("アカウント new@example.test を保存し、既定のアカウントにしました")));
    EXPECT_LT(all.indexOf(kFirstUse), all.indexOf(QStringLiteral("新規メールは有りません")));
    EXPECT_EQ(all.count(kFirstUse), 1);
    const auto rows = h.store().accounts();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].cur);
    EXPECT_EQ(rows[0].password, QStringLiteral("X7"));
    EXPECT_EQ(h.accounts().accounts[1].id, rows[0].id);
    EXPECT_EQ(h.accounts().cur_account_index, 1);
    EXPECT_EQ(polled(h), QStringList{"user-new"});
}

TEST(FirstUse, CancelledLeavesNothingToPollAndWithAnAccountThereIsNoPrompt) {
    WindowHarness h;  // the editor is cancelled
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.spoken().count(kFirstUse), 1);
    EXPECT_TRUE(h.spoken().contains(QStringLiteral("アカウント編集を閉じました")));
    EXPECT_EQ(h.accounts().account_count, 0);
    EXPECT_TRUE(polled(h).isEmpty());
    EXPECT_EQ(h.parts().mail_list->current_folder(), QStringLiteral("受信フォルダー"));
    SettingsWindow t(1);
    EXPECT_FALSE(t.h.spoken().contains(kFirstUse));
    EXPECT_TRUE(t.h.pauser.pauses.empty());
}

TEST(SetDefaultAccount, MakesThatRowTheOnlyCurrentOneSilentlyOrChangesNothing) {
    SettingsWindow t(3, 1);
    WindowHarness& h = t.h;
    const QString pop_before = h.accounts().cur_pop;
    h.mark();
    EXPECT_TRUE(h.parts().accounts->set_default_account(2));
    EXPECT_EQ(h.spokenSinceMark(), QStringList());
    EXPECT_EQ(h.accounts().cur_account_index, 3);
    EXPECT_EQ(cur_column(h.store()), (std::vector<bool>{false, false, true}));
    // The POP fields and the entries' own marks stay as they were.
    EXPECT_EQ(h.accounts().cur_pop, pop_before);
    EXPECT_TRUE(h.accounts().accounts[1].cur);
    reload_settings(h);  // the next start picks the same account
    EXPECT_EQ(h.accounts().cur_account_index, 3);
    // No row, a row past the end, an entry that has no id yet.
    h.accounts().account_count = 4;
    h.accounts().accounts[4].account = QStringLiteral("unsaved");
    for (int row : {-1, 4, 3}) EXPECT_FALSE(h.parts().accounts->set_default_account(row)) << row;
    EXPECT_EQ(h.accounts().cur_account_index, 3);
    EXPECT_EQ(cur_column(h.store()), (std::vector<bool>{false, false, true}));
}
