// "サーバーにメールを残す" and "暗号化せずに接続する" in the account editor and the account list.

#include "support/settings_window.h"

#include <QCheckBox>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

// A new account's box follows the address typed until the user sets it; it is said on arrival and
// on SPACE; OK keeps it, and the list then says it.
TEST(AccountKeep, ANewAccountsBoxFollowsTheAddressUntilSetAndTheListSaysIt) {
    SettingsWindow t(1);
    AccountList* list = t.list();
    click(list, "Command1");
    AccountEditor* e = t.editor();
    ASSERT_TRUE(activate(e));
    QCheckBox* keep = e->keep_box();
    EXPECT_EQ(keep->accessibleName(), QStringLiteral("サーバーにメールを残す"));
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
    e->field(0)->setText(QStringLiteral("imaps://imap.example.test"));
    EXPECT_FALSE(keep->isChecked());  // the user's choice stays

    AccountFields d = fields("d");
    d.pop = e->field(0)->text();
    t.fill(e, d);
    click(e, "Command1");
    const int id = t.h.store().accounts().back().id;
    EXPECT_EQ(t.h.store().keepOnServer(id), std::optional<bool>(false));
    EXPECT_EQ(t.h.store().plainLogin(id), std::nullopt);

    // Edited: the box on, the rest as it was.
    list->list()->setCurrentRow(1);
    click(list, "Command2");
    ASSERT_TRUE(activate(e));
    EXPECT_FALSE(keep->isChecked());
    keep->setFocus();
    press(e, Qt::Key_Space);
    click(e, "Command1");
    EXPECT_EQ(t.h.store().keepOnServer(id), std::optional<bool>(true));
    EXPECT_EQ(t.rows(list, Qt::AccessibleTextRole),
              (QStringList{"a@example.test POPサーバー pop.a",
                           "d@example.test 既定 POPサーバー imaps://imap.example.test "
                           "サーバーにメールを残す"}));
}

// The answer about a login in the clear: shown in the editor, set there, and forgotten when a
// server address changes (the question then comes again for the new server).
TEST(AccountKeep, TheClearTextAnswerIsForgottenWithAChangedServerUnlessSetHere) {
    struct Case {
        const char* name;
        std::optional<bool> before;
        int field;  // the server field changed, or -1
        bool toggle;
        std::optional<bool> after;
    };
    const Case cases[] = {
        {"nothing changed", false, -1, false, false},
        {"receiving server changed", true, 0, false, std::nullopt},
        {"sending server changed", false, 1, false, std::nullopt},
        {"allowed here", std::nullopt, -1, true, true},
        {"server changed and allowed here", false, 0, true, true},
    };
    for (const Case& c : cases) {
        SettingsWindow t(1, 1, [&](MailStore& db) { return db.setPlainLogin(1, c.before); });
        AccountList* list = t.list();
        list->list()->setCurrentRow(0);
        click(list, "Command2");
        AccountEditor* e = t.editor();
        ASSERT_TRUE(activate(e));
        EXPECT_EQ(e->plain_box()->isChecked(), c.before.value_or(false)) << c.name;
        if (c.field >= 0) e->field(c.field)->setText(QStringLiteral("new.example.test"));
        if (c.toggle) {
            e->plain_box()->setFocus();
            t.h.mark();
            press(e, Qt::Key_Space);
            EXPECT_EQ(t.h.spokenSinceMark(), QStringList{"暗号化せずに接続する オン"}) << c.name;
        }
        click(e, "Command1");
        EXPECT_EQ(t.h.store().plainLogin(t.ids[0]), c.after) << c.name;
    }
}
