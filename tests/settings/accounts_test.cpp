#include "settings/accounts.h"
#include "support/golden.h"
#include "support/settings_window.h"

#include <QCheckBox>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

// The users of the accounts polled so far, in order.
QStringList polled(const WindowHarness& h) {
    QStringList users;
    for (const auto& c : h.component.calls) {
        if (c.args.value(3) == QLatin1String("STAT")) users << c.args[1];
    }
    return users;
}

}  // namespace

// Accounts a, b, c with some marked current: no first-use prompt; every one loaded and polled in
// table order, the last marked current is the current one, and the POP fields come from it.
TEST(LoadAccounts, EveryRowInTableOrderAndTheLastMarkedCurrentWins) {
    for (const auto& [marked, current] : {std::pair{std::vector{1, 2}, 3}, {{1}, 2}, {{}, 0}}) {
        SettingsWindow t(3, 0, [&, marked = marked](MailStore& db) {
            return std::all_of(marked.begin(), marked.end(),
                               [&](int i) { return db.setCurrentAccount(i + 1); });
        });
        const AccountTable& s = t.h.accounts();
        EXPECT_TRUE(t.h.pauser.pauses.empty() &&
                    !t.h.spoken().join(QString()).contains("はじめて"));
        EXPECT_EQ(s.cur_account_index, current);
        EXPECT_EQ(polled(t.h), (QStringList{"user-a", "user-b", "user-c"}));
        EXPECT_EQ(s.cur_pop, QStringLiteral("pop.c"));   // the receive polled c last
        t.h.parts().accounts->choose_current_account();  // the POP fields of the current one
        const AccountFields f = current ? fields(QChar(u'a' + current - 1)) : AccountFields{};
        EXPECT_EQ((QStringList{s.cur_pop, s.cur_user, s.cur_password, s.current_account().smtp,
                               s.current_account().email}),
                  (QStringList{f.pop, f.account, f.password, f.smtp, f.email}));
    }
}

TEST(LoadAccounts, TwentyAtMost) {
    SettingsWindow t(22);
    EXPECT_EQ(polled(t.h).size(), 20);
    // The status line says so until something else is shown; the check showed its result since.
    EXPECT_TRUE(t.h.parts().accounts->load_accounts());
    EXPECT_TRUE(t.h.w().cmd_message->text().contains(QStringLiteral("20")));
    AccountList* list = t.list();
    t.h.mark();
    click(list, "Command1");
    EXPECT_TRUE(list->message().startsWith(QStringLiteral("アカウントは20件まで")));
    EXPECT_EQ(t.h.spokenSinceMark(), QStringList{list->message()});
    EXPECT_FALSE(t.editor() && t.editor()->isVisible());
}

// The list and the editor in use: every button, what it changes and what it says.
TEST(AccountDialogs, EditAddMakeDefaultAndDeleteEachDoWhatTheySay) {
    SettingsWindow t(3, 2);
    const AccountTable& s = t.h.accounts();
    AccountList* list = t.list();
    list->list()->setCurrentRow(-1);
    for (const char* button : {"Command2", "Command3", "Command5"}) {
        t.h.mark();
        click(list, button);
        EXPECT_EQ(t.h.spokenSinceMark(), QStringList{"一覧からアカウントを選んでください"})
            << button;
    }
    EXPECT_FALSE(t.editor() && t.editor()->isVisible());

    list->list()->setCurrentRow(1);
    click(list, "Command2");
    AccountEditor* e = t.editor();
    e->field(4)->setText(QStringLiteral("b2@example.test"));
    e->field(6)->setText(QStringLiteral("it's \"mine\""));
    e->field(6)->setFocus();
    press(e, Qt::Key_Return);  // ENTER in a field is "OK"
    EXPECT_EQ(t.h.spoken().last(), QStringLiteral("アカウント b2@example.test を保存しました"));
    const AccountRow b = t.row(t.ids[1]).value_or(AccountRow{});
    EXPECT_EQ(std::tuple(b.email, b.default_, b.cur),
              std::tuple(QStringLiteral("b2@example.test"), QStringLiteral("it's \"mine\""), true));
    EXPECT_EQ((QStringList{t.row(t.ids[0])->email, t.row(t.ids[2])->email}),
              (QStringList{"a@example.test", "c@example.test"}));
    EXPECT_EQ(t.rows(list), (QStringList{"a@example.test", "b2@example.test", "c@example.test"}));
    EXPECT_EQ(s.accounts[2].id, t.ids[1]);

    // "追加" after an edit starts from nothing; an empty field is refused aloud, a blank is not.
    e->field(0)->clear();
    click(e, "Command1");
    click(list, "Command1");
    for (int i = 0; i < AccountEditor::kFields; ++i) EXPECT_TRUE(e->field(i)->text().isEmpty());
    EXPECT_TRUE(e->message().isEmpty());
    ASSERT_TRUE(activate(e));
    // Each row of server_field_typed.txt: the field, what is typed there, whether it can be used.
    // F1 tells how an address is written; leaving a field says at once when one cannot be used.
    for (const QString& line : golden_lines("cases/server_field_typed.txt")) {
        const QStringList c = line.split(u'\t');
        e->field(c[0].toInt())->setFocus();
        e->field(c[0].toInt())->setText(c[1]);
        t.h.mark();
        press(e, Qt::Key_F1);
        press(e, Qt::Key_Tab);
        const QStringList heard = t.h.spokenSinceMark();
        EXPECT_EQ(heard.value(0), c[0] == "1" ? AccountEditor::send_server_help()
                                              : AccountEditor::receive_server_help());
        EXPECT_EQ(heard.join('|').contains("F1キーで書き方を聞けます"), c[2] == "no") << line;
    }
    // "サーバーにメールを残す" follows the address typed until the user sets it, and is said.
    QCheckBox* keep = e->keep_box();
    for (const auto& [typed, on] : {std::pair{"imaps://imap.example.test", true},
                                    {"pop.example.test", false},
                                    {"imap://i.example.test", true}}) {
        e->field(0)->setText(QLatin1String(typed));
        EXPECT_EQ(keep->isChecked(), on) << typed;
    }
    e->field(6)->setFocus();
    t.h.mark();
    press(e, Qt::Key_Tab);
    press(e, Qt::Key_Space);
    EXPECT_EQ(t.h.spokenSinceMark(),
              (QStringList{"サーバーにメールを残す オン", "サーバーにメールを残す オフ"}));
    AccountFields d = fields("d");
    d.pop = QStringLiteral("imaps://imap.example.test");  // the user's choice stays
    d.password.clear();
    t.fill(e, d);
    EXPECT_FALSE(keep->isChecked());
    t.h.mark();
    click(e, "Command1");
    EXPECT_EQ(e->message(), QStringLiteral("すべてを入力してください"));
    // Why, then where to put it right.
    EXPECT_EQ(t.h.spokenSinceMark(), (QStringList{e->message(), "パスワード 空欄"}));
    EXPECT_EQ(t.h.store().accounts().size(), 3u);
    e->field(3)->setText(QStringLiteral(" "));
    click(e, "Command1");
    // With a default already, the new account is not made it.
    EXPECT_EQ(t.h.spokenSinceMark(), QStringList{"アカウント d@example.test を保存しました"});
    const AccountRow added = t.h.store().accounts().back();
    EXPECT_EQ(std::tuple(added.password, added.default_, added.cur,
                         t.h.store().keepOnServer(added.id), t.h.store().plainLogin(added.id)),
              std::tuple(QStringLiteral(" "), QStringLiteral("title-d"), false,
                         std::optional<bool>(false), std::optional<bool>()));

    // The account added in this run can be made the default at once; only the list speaks of it,
    // and the POP fields and the entries' own marks stay as they were.
    const QString pop_before = s.cur_pop;
    list->list()->setCurrentRow(3);
    t.h.mark();
    click(list, "Command5");
    EXPECT_EQ(t.h.spokenSinceMark(), QStringList{"d@example.test を既定にしました"});
    // No row, a row past the end, an entry without an id change nothing after it.
    for (int row : {-1, 5}) EXPECT_FALSE(t.h.parts().accounts->set_default_account(row)) << row;
    ++t.h.accounts().account_count;
    EXPECT_FALSE(t.h.parts().accounts->set_default_account(4));
    --t.h.accounts().account_count;
    EXPECT_EQ(list->message(), t.h.spoken().last());
    EXPECT_EQ(s.cur_account_index, 4);
    for (const AccountRow& r : t.h.store().accounts()) EXPECT_EQ(r.cur, r.id == added.id);
    EXPECT_TRUE(s.cur_pop == pop_before && s.accounts[2].cur);
    EXPECT_TRUE(list->list()->item(3) && list->list()->item(3)->font().bold());
    // Edited with the box on: that alone changes, and the list says it.
    click(list, "Command2");
    ASSERT_TRUE(activate(e));
    EXPECT_FALSE(keep->isChecked());
    keep->setFocus();
    press(e, Qt::Key_Space);
    click(e, "Command1");
    EXPECT_EQ(t.h.store().keepOnServer(added.id), std::optional<bool>(true));
    EXPECT_EQ(t.rows(list, Qt::AccessibleTextRole),
              golden_lines("settings/account_rows_heard.txt"));

    list->list()->setCurrentRow(0);
    click(list, "Command3");
    EXPECT_EQ(t.h.spoken().last(), QStringLiteral("a@example.test を削除しました"));
    EXPECT_FALSE(t.row(t.ids[0]));
    EXPECT_EQ(t.rows(list), (QStringList{"b2@example.test", "c@example.test", "d@example.test"}));
    EXPECT_EQ((QStringList{s.accounts[3].email, s.accounts[4].email}),
              (QStringList{"d@example.test", ""}));
    EXPECT_EQ(s.account_count, 3);
    EXPECT_EQ(s.cur_account_index, 3);  // still d, one place up
    list->list()->setCurrentRow(2);
    click(list, "Command3");  // the current account itself
    EXPECT_EQ(s.cur_account_index, 0);
    EXPECT_EQ(t.h.store().accounts().size(), 2u);
    // A reload after a row went elsewhere leaves nothing of it behind.
    ASSERT_TRUE(t.h.store().deleteAccount(t.ids[1]) && t.h.parts().accounts->load_accounts());
    EXPECT_EQ(std::tuple(s.account_count, s.accounts[1].id, s.accounts[2].id, s.accounts[2].email),
              std::tuple(1, t.ids[2], 0, QString()));
}

// The answer about a login in the clear: shown in the editor, set there, and forgotten when a
// server address changes (the question then comes again for the new server).
TEST(AccountKeep, TheClearTextAnswerIsForgottenWithAChangedServerUnlessSetHere) {
    // Each row of plain_login_kept.txt: what it tries, the answer before ("-": none), the server
    // field changed (-1: none), whether the box is pressed here, the answer after.
    const auto answer = [](const QString& a) {
        return a == "-" ? std::nullopt : std::optional<bool>(a == "yes");
    };
    for (const QString& line : golden_lines("cases/plain_login_kept.txt")) {
        const QStringList c = line.split(u'\t');
        const std::optional<bool> before = answer(c[1]);
        const int field = c[2].toInt();
        SettingsWindow t(1, 1, [&](MailStore& db) { return db.setPlainLogin(1, before); });
        AccountList* list = t.list();
        list->list()->setCurrentRow(0);
        click(list, "Command2");
        AccountEditor* e = t.editor();
        ASSERT_TRUE(activate(e));
        EXPECT_EQ(e->plain_box()->isChecked(), before.value_or(false)) << line;
        if (field >= 0) e->field(field)->setText(QStringLiteral("new.example.test"));
        if (c[3] == "yes") {
            e->plain_box()->setFocus();
            t.h.mark();
            press(e, Qt::Key_Space);
            EXPECT_EQ(t.h.spokenSinceMark(), QStringList{"暗号化せずに接続する オン"}) << line;
        }
        click(e, "Command1");
        EXPECT_EQ(t.h.store().plainLogin(t.ids[0]), answer(c[4])) << line;
    }
}
