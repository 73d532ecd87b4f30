#include "core/twips.h"
#include "settings/account_editor.h"
#include "settings/account_list.h"
#include "support/window_harness.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

AccountFields fields(const QString& tag) {
    return {QStringLiteral("pop.") + tag,          QStringLiteral("smtp.") + tag,
            QStringLiteral("user-") + tag,         QStringLiteral("pw-") + tag,
            tag + QStringLiteral("@example.test"), QStringLiteral("nick-") + tag,
            QStringLiteral("title-") + tag};
}

QRect twips_rect(double left, double top, double width, double height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The widgets the Tab key visits, in order, starting at `first`.
QStringList tab_order(QWidget* first, int count) {
    QStringList names;
    for (QWidget* w = first; names.size() < count; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) names << w->objectName();
    }
    return names;
}

// The real window with accounts a, b, c (`current` of them marked current, 0 for none).
struct AccountsWindow {
    WindowHarness h;
    QList<int> ids;

    explicit AccountsWindow(int count = 3, int current = 0) {
        for (int i = 0; i < count; ++i) {
            ids << h.seed().insertAccount(fields(QString(QChar(u'a' + i))));
        }
        if (current > 0 && !h.seed().setCurrentAccount(ids[current - 1])) qFatal("seed");
        if (!h.start()) qFatal("the window did not start");
    }
    AccountList* open_list() {
        h.trigger(QStringLiteral("t_account"));
        return h.window().findChild<AccountList*>(QStringLiteral("account_list"));
    }
    AccountEditor* editor() {
        return h.window().findChild<AccountEditor*>(QStringLiteral("account_set"));
    }
    void press(QWidget* dialog, const char* button) {
        auto* b = dialog->findChild<QPushButton*>(QLatin1String(button));
        if (!b) qFatal("no button %s", button);
        b->click();
        QApplication::processEvents();
    }
    void fill(AccountEditor* e, const AccountFields& f) {
        const QString values[] = {f.pop,   f.smtp, f.account, f.password,
                                  f.email, f.name, f.default_};
        for (int i = 0; i < AccountEditor::kFields; ++i) e->field(i)->setText(values[i]);
    }
    std::optional<AccountRow> row(int id) {
        for (const AccountRow& r : h.store().accounts()) {
            if (r.id == id) return r;
        }
        return std::nullopt;
    }
    QStringList rows(AccountList* l) {
        QStringList out;
        for (int i = 0; i < l->list()->count(); ++i) out << l->list()->item(i)->text();
        return out;
    }
};

const QString kA = QStringLiteral("a@example.test");
const QString kB = QStringLiteral("b@example.test");
const QString kC = QStringLiteral("c@example.test");

}  // namespace

TEST(AccountDialogs, LayoutCaptionsAndTabOrder) {
    AccountsWindow t;
    AccountList* list = t.open_list();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(list->isModal());
    EXPECT_EQ(list->windowTitle(), QStringLiteral("アカウント一覧"));
    EXPECT_EQ(t.rows(list), (QStringList{kA, kB, kC}));
    EXPECT_EQ(list->list()->geometry(), twips_rect(240, 240, 3375, 2220));
    const struct {
        const char* name;
        const char* caption;
        double top;
    } buttons[] = {{"Command1", "追加", 240},
                   {"Command2", "編集", 720},
                   {"Command3", "削除", 1200},
                   {"Command5", "既定に設定", 1680},
                   {"Command4", "キャンセル", 2280}};
    for (const auto& b : buttons) {
        auto* button = list->findChild<QPushButton*>(QLatin1String(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(button->geometry(), twips_rect(3960, b.top, 1095, 375));
    }
    EXPECT_EQ(tab_order(list->findChild<QWidget*>(QStringLiteral("Command1")), 7),
              (QStringList{"Command1", "Command2", "Command3", "List1", "Command4", "Command5",
                           "Command1"}));

    t.press(list, "Command1");
    AccountEditor* e = t.editor();
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(e->windowTitle(), QStringLiteral("アカウント編集"));
    const char* labels[] = {"POP",   "SMTP",         "アカウント", "パスワード",
                            "email", "ニックネーム", "メール表題"};
    for (int i = 0; i < AccountEditor::kFields; ++i) {
        auto* label = e->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromUtf8(labels[i]));
        EXPECT_EQ(e->field(i)->objectName(), QStringLiteral("Text1_%1").arg(i));
        EXPECT_EQ(e->field(i)->geometry(), twips_rect(1800, 360 + 480 * i, 2775, 375));
        EXPECT_EQ(e->field(i)->font().pointSize(), 9);
    }
    EXPECT_EQ(e->field(3)->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(e->findChild<QLabel*>(QStringLiteral("Label2"))->geometry(),
              twips_rect(240, 3840, 4215, 375));
    EXPECT_EQ(tab_order(e->findChild<QWidget*>(QStringLiteral("Command1")), 9),
              (QStringList{"Command1", "Command2", "Text1_0", "Text1_1", "Text1_2", "Text1_3",
                           "Text1_4", "Text1_5", "Text1_6"}));
    EXPECT_EQ(e->focusWidget(), e->findChild<QWidget*>(QStringLiteral("Command1")));
}

TEST(AccountDialogs, AddingNeedsEveryFieldAndTheNewAccountIsUsableAtOnce) {
    AccountsWindow t;
    AccountList* list = t.open_list();
    t.press(list, "Command1");
    AccountEditor* e = t.editor();
    EXPECT_EQ(t.h.accounts().account_edit_mode, QStringLiteral("new"));
    AccountFields d = fields(QStringLiteral("d"));
    d.password.clear();
    t.fill(e, d);
    t.h.mark();
    t.press(e, "Command1");
    EXPECT_EQ(e->message(), QStringLiteral("すべてを入力してください"));
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(t.h.store().accounts().size(), 3u);
    EXPECT_EQ(t.h.accounts().account_count, 3);

    e->field(3)->setText(QStringLiteral(" "));  // blanks count as filled
    t.press(e, "Command1");
    EXPECT_FALSE(e->isVisible());
    const auto rows = t.h.store().accounts();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3].password, QStringLiteral(" "));
    EXPECT_EQ(rows[3].default_, QStringLiteral("title-d"));
    EXPECT_FALSE(rows[3].cur);
    EXPECT_EQ(t.rows(list).last(), QStringLiteral("d@example.test"));
    const AccountTable& s = t.h.accounts();
    ASSERT_EQ(s.account_count, 4);
    EXPECT_EQ(s.accounts[4].id, rows[3].id);
    EXPECT_EQ(s.accounts[4].pop, QStringLiteral("pop.d"));
    EXPECT_TRUE(t.h.spokenSinceMark().isEmpty());  // the dialogs speak nothing when all is well

    // The account added in this run can be made the default right away.
    list->list()->setCurrentRow(3);
    t.press(list, "Command5");
    EXPECT_EQ(s.cur_account_index, 4);
    for (const AccountRow& r : t.h.store().accounts()) EXPECT_EQ(r.cur, r.id == rows[3].id);
    EXPECT_TRUE(list->list()->item(3)->font().bold());
}

TEST(AccountDialogs, EditingTheSecondRowUpdatesThatAccountOnly) {
    AccountsWindow t(3, 2);
    AccountList* list = t.open_list();
    list->list()->setCurrentRow(1);
    t.press(list, "Command2");
    AccountEditor* e = t.editor();
    EXPECT_EQ(t.h.accounts().account_edit_mode, QStringLiteral("edit"));
    EXPECT_EQ(t.h.accounts().account_edit_index, 2);
    const QString shown[] = {"pop.b", "smtp.b", "user-b", "pw-b", kB, "nick-b", "title-b"};
    for (int i = 0; i < AccountEditor::kFields; ++i) EXPECT_EQ(e->field(i)->text(), shown[i]);

    e->field(4)->setText(QStringLiteral("b2@example.test"));
    e->field(6)->setText(QStringLiteral("it's \"mine\""));
    e->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(e));
    e->field(6)->setFocus();
    QTest::keyClick(e->windowHandle(), Qt::Key_Return);  // ENTER in a field is "OK"
    QApplication::processEvents();
    EXPECT_FALSE(e->isVisible());

    const auto b = t.row(t.ids[1]);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->email, QStringLiteral("b2@example.test"));
    EXPECT_EQ(b->default_, QStringLiteral("it's \"mine\""));
    EXPECT_TRUE(b->cur);
    EXPECT_EQ(t.row(t.ids[0])->email, kA);
    EXPECT_EQ(t.row(t.ids[2])->email, kC);
    EXPECT_EQ(t.rows(list), (QStringList{kA, QStringLiteral("b2@example.test"), kC}));
    EXPECT_EQ(t.h.accounts().accounts[2].id, t.ids[1]);
    EXPECT_TRUE(t.h.accounts().accounts[2].cur);

    // "追加" after an edit starts from nothing.
    e->field(0)->clear();
    t.press(e, "Command1");
    EXPECT_FALSE(e->message().isEmpty());
    t.press(list, "Command1");
    for (int i = 0; i < AccountEditor::kFields; ++i) EXPECT_TRUE(e->field(i)->text().isEmpty());
    EXPECT_TRUE(e->message().isEmpty());
}

TEST(AccountDialogs, DeletingRemovesTheAccountAtOnceAndKeepsTheCurrentOne) {
    AccountsWindow t(3, 3);
    AccountList* list = t.open_list();
    const AccountTable& s = t.h.accounts();
    ASSERT_EQ(s.cur_account_index, 3);
    list->list()->setCurrentRow(1);
    t.press(list, "Command3");
    EXPECT_FALSE(t.row(t.ids[1]));
    EXPECT_EQ(t.h.store().accounts().size(), 2u);
    EXPECT_EQ(t.rows(list), (QStringList{kA, kC}));
    EXPECT_EQ(s.account_count, 2);
    EXPECT_EQ(s.accounts[2].email, kC);
    EXPECT_EQ(s.cur_account_index, 2);  // still c, one place up
    EXPECT_TRUE(s.accounts[3].email.isEmpty());

    list->list()->setCurrentRow(1);
    t.press(list, "Command3");  // the current account itself
    EXPECT_EQ(s.cur_account_index, 0);
    EXPECT_EQ(t.rows(list), QStringList{kA});
    EXPECT_EQ(t.h.store().accounts().size(), 1u);
}

TEST(AccountDialogs, ButtonsWithoutARowSaySoAndChangeNothing) {
    AccountsWindow t(2, 1);
    AccountList* list = t.open_list();
    list->list()->setCurrentRow(-1);
    for (const char* button : {"Command2", "Command3", "Command5"}) {
        t.h.mark();
        t.press(list, button);
        EXPECT_EQ(list->message(), QStringLiteral("一覧からアカウントを選んでください")) << button;
        EXPECT_EQ(t.h.spokenSinceMark(), QStringList{list->message()}) << button;
    }
    EXPECT_TRUE(!t.editor() || !t.editor()->isVisible());
    EXPECT_EQ(t.h.store().accounts().size(), 2u);
    EXPECT_EQ(t.h.accounts().cur_account_index, 1);
    EXPECT_TRUE(t.row(t.ids[0])->cur);

    list->list()->setCurrentRow(1);  // "既定に設定" on the second row
    t.press(list, "Command5");
    EXPECT_TRUE(list->message().isEmpty());
    EXPECT_EQ(t.h.accounts().cur_account_index, 2);
    EXPECT_FALSE(t.row(t.ids[0])->cur);
    EXPECT_TRUE(t.row(t.ids[1])->cur);
}

TEST(AccountDialogs, CancelAndEscapeHideAndSaveNothing) {
    AccountsWindow t;
    AccountList* list = t.open_list();
    list->list()->setCurrentRow(0);
    t.press(list, "Command2");
    AccountEditor* e = t.editor();
    e->field(0)->setText(QStringLiteral("changed"));
    t.press(e, "Command2");
    EXPECT_FALSE(e->isVisible());
    t.press(list, "Command2");
    e->field(0)->setText(QStringLiteral("changed"));
    e->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(e));
    QTest::keyClick(e->windowHandle(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(e->isVisible());
    EXPECT_EQ(t.row(t.ids[0])->pop, QStringLiteral("pop.a"));
    EXPECT_EQ(t.h.accounts().accounts[1].pop, QStringLiteral("pop.a"));

    t.press(list, "Command4");
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(t.open_list(), list);  // the same list, rows kept
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(t.rows(list), (QStringList{kA, kB, kC}));
}

TEST(AccountDialogs, TwentyAccountsAreTheMost) {
    AccountsWindow t(20);
    AccountList* list = t.open_list();
    t.h.mark();
    t.press(list, "Command1");
    EXPECT_TRUE(list->message().startsWith(QStringLiteral("アカウントは20件まで")));
    EXPECT_EQ(t.h.spokenSinceMark(), QStringList{list->message()});
    EXPECT_TRUE(!t.editor() || !t.editor()->isVisible());
}

TEST(AccountDialogs, FirstUseOpensTheEditorModallyBeforeAnyMailCheck) {
    WindowHarness h;
    bool seen = false;
    QStringList calls_before;
    h.onModal = [&](QWidget* modal) {
        auto* e = qobject_cast<AccountEditor*>(modal);
        if (!e || seen) return;
        seen = true;
        calls_before = h.component.trace();
        EXPECT_TRUE(e->isModal());
        for (int i = 0; i < AccountEditor::kFields; ++i) EXPECT_TRUE(e->field(i)->text().isEmpty());
        const AccountFields f = fields(QStringLiteral("first"));
        const QString values[] = {f.pop,   f.smtp, f.account, f.password,
                                  f.email, f.name, f.default_};
        for (int i = 0; i < AccountEditor::kFields; ++i) e->field(i)->setText(values[i]);
        e->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    };
    ASSERT_TRUE(h.start());
    ASSERT_TRUE(seen);
    EXPECT_EQ(calls_before, QStringList());
    EXPECT_EQ(h.pauser.pauses, std::vector<int>{4});
    const QStringList said = h.spoken();
    ASSERT_GE(said.size(), 2);
    EXPECT_EQ(said[0], QStringLiteral("09時05分"));
    EXPECT_EQ(said[1],
              QStringLiteral("はじめてのご使用です　メールアカウントの設定を行ってください"));
    const auto rows = h.store().accounts();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].email, QStringLiteral("first@example.test"));
    ASSERT_EQ(h.accounts().account_count, 1);
    EXPECT_EQ(h.accounts().accounts[1].id, rows[0].id);
    EXPECT_EQ(h.accounts().cur_account_index, 0);  // not the default until the user says so
}

TEST(AccountDialogs, FirstUseCancelledLeavesNoAccountAndStartsAnyway) {
    WindowHarness h;  // the harness cancels the editor
    ASSERT_TRUE(h.start());
    EXPECT_TRUE(h.store().accounts().empty());
    EXPECT_EQ(h.accounts().account_count, 0);
    EXPECT_EQ(h.parts().mail_list->current_folder(), QStringLiteral("受信フォルダー"));
}

TEST(MenuEntries, NewMailBeginsAMailAsTheMessageMenuDoes) {
    AccountsWindow t;
    t.h.focus(t.h.w().List2);
    t.h.mark();
    t.h.trigger(QStringLiteral("msg_create"));
    const QStringList by_message_menu = t.h.spokenSinceMark();
    ASSERT_FALSE(by_message_menu.isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), t.h.w().mailto);

    t.h.focus(t.h.w().List2);
    t.h.mark();
    t.h.trigger(QStringLiteral("newmail"));
    EXPECT_EQ(t.h.spokenSinceMark(), by_message_menu);
    EXPECT_EQ(QApplication::focusWidget(), t.h.w().mailto);
}

TEST(MenuEntries, TheTemplateEntrySaysWhatThereIsInstead) {
    AccountsWindow t;
    t.h.mark();
    t.h.trigger(QStringLiteral("msg_template"));
    const QStringList said = t.h.spokenSinceMark();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said.front().startsWith(QStringLiteral("ひな形はありません")));
    EXPECT_EQ(t.h.w().cmd_message->text(), said.front());
}
