#include "core/twips.h"
#include "support/settings_window.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

// The widgets the Tab key visits, in order, starting at `first`.
QStringList tab_order(QWidget* first, int count) {
    QStringList names;
    for (QWidget* w = first; names.size() < count; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible())
            names << w->objectName();
    }
    return names;
}

const QString kA = QStringLiteral("a@example.test");
const QString kB = QStringLiteral("b@example.test");
const QString kC = QStringLiteral("c@example.test");

}  // namespace

// The three dialogs' controls where the design puts them, with their captions and tab order.
TEST(SettingsDialogs, ControlsSitWhereDesignedWithTheirCaptionsAndTabOrder) {
    SettingsWindow t(3, 0, [](MailStore& db) {
        return db.updateNewsSite(QStringLiteral("https://news.example.test/rss.xml"));
    });
    AccountList* list = t.list();
    EXPECT_TRUE(list->isVisible() && !list->isModal());
    EXPECT_EQ(list->windowTitle(), QStringLiteral("アカウント一覧"));
    EXPECT_EQ(t.rows(list), (QStringList{kA, kB, kC}));
    click(list, "Command1");
    EXPECT_EQ(t.editor()->windowTitle(), QStringLiteral("アカウント編集"));
    EXPECT_EQ(t.editor()->focusWidget(), t.editor()->field(0));  // a new account: the first field
    EXPECT_EQ(t.editor()->field(3)->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(t.editor()->field(6)->font().pointSize(), 9);
    QFile golden(QStringLiteral(QV_TEST_DATA_DIR "/settings/dialog_layout.txt"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QWidget*> dialogs = {list, t.editor(), t.options()};
    int lines = 0;
    for (const QString& line : QString::fromUtf8(golden.readAll()).split(u'\n')) {
        const QStringList f = line.split(u' ', Qt::SkipEmptyParts);
        if (f.size() < 3 || f[0].startsWith(u'#')) continue;
        ++lines;
        QWidget* dialog = *std::find_if(dialogs.begin(), dialogs.end(),
                                        [&](QWidget* d) { return d->objectName() == f[1]; });
        if (f[0] == QLatin1String("tab")) {
            EXPECT_EQ(tab_order(child(dialog, qPrintable(f[2])), f.size() - 2), f.mid(2));
            continue;
        }
        QWidget* c = child(dialog, qPrintable(f[2]));
        EXPECT_EQ(c->geometry(), QRect(twips(f[3].toInt()), twips(f[4].toInt()),
                                       twips(f[5].toInt()), twips(f[6].toInt())))
            << line.toStdString();
        const char* caption = c->property("text").isValid() ? "text" : "title";
        EXPECT_EQ(c->property(caption).toString(), f.value(7)) << line.toStdString();
    }
    EXPECT_EQ(lines, 34);
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
    EXPECT_EQ(s.account_edit_index, 2);
    EXPECT_EQ(e->focusWidget(), child(e, "Command1"));  // an edit starts on OK
    for (int i = 0; i < AccountEditor::kFields; ++i)
        EXPECT_EQ(e->field(i)->text(), as_list(fields("b"))[i]);
    e->field(4)->setText(QStringLiteral("b2@example.test"));
    e->field(6)->setText(QStringLiteral("it's \"mine\""));
    e->field(6)->setFocus();
    press(e, Qt::Key_Return);  // ENTER in a field is "OK"
    EXPECT_FALSE(e->isVisible());
    EXPECT_EQ(t.h.spoken().last(), QStringLiteral("アカウント b2@example.test を保存しました"));
    const auto b = t.row(t.ids[1]);
    ASSERT_TRUE(b);
    EXPECT_EQ((QStringList{b->email, b->default_}),
              (QStringList{"b2@example.test", "it's \"mine\""}));
    EXPECT_TRUE(b->cur);
    EXPECT_EQ((QStringList{t.row(t.ids[0])->email, t.row(t.ids[2])->email}), (QStringList{kA, kC}));
    EXPECT_EQ(t.rows(list), (QStringList{kA, "b2@example.test", kC}));
    EXPECT_EQ(s.accounts[2].id, t.ids[1]);

    // "追加" after an edit starts from nothing; an empty field is refused aloud, a blank is not.
    e->field(0)->clear();
    click(e, "Command1");
    click(list, "Command1");
    for (int i = 0; i < AccountEditor::kFields; ++i) EXPECT_TRUE(e->field(i)->text().isEmpty());
    EXPECT_TRUE(e->message().isEmpty());
    ASSERT_TRUE(activate(e));
    AccountFields d = fields("d");
    d.password.clear();
    t.fill(e, d);
    t.h.mark();
    click(e, "Command1");
    EXPECT_EQ(e->message(), QStringLiteral("すべてを入力してください"));
    // Why, then where to put it right.
    EXPECT_EQ(t.h.spokenSinceMark(), (QStringList{e->message(), "パスワード 空欄"}));
    EXPECT_EQ(t.h.store().accounts().size(), 3u);
    e->field(3)->setText(QStringLiteral(" "));
    click(e, "Command1");
    EXPECT_FALSE(e->isVisible());
    // With a default already, the new account is not made it.
    EXPECT_EQ(t.h.spokenSinceMark(), QStringList{"アカウント d@example.test を保存しました"});
    const AccountRow added = t.h.store().accounts().back();
    EXPECT_EQ((QStringList{added.password, added.default_}), (QStringList{" ", "title-d"}));
    EXPECT_FALSE(added.cur);
    ASSERT_EQ(s.account_count, 4);
    EXPECT_EQ(s.accounts[4].id, added.id);
    EXPECT_EQ(t.rows(list).last(), QStringLiteral("d@example.test"));

    // The account added in this run can be made the default at once.
    list->list()->setCurrentRow(3);
    click(list, "Command5");
    EXPECT_EQ(t.h.spoken().last(), QStringLiteral("d@example.test を既定にしました"));
    EXPECT_EQ(list->message(), t.h.spoken().last());
    EXPECT_EQ(s.cur_account_index, 4);
    for (const AccountRow& r : t.h.store().accounts()) EXPECT_EQ(r.cur, r.id == added.id);
    EXPECT_TRUE(list->list()->item(3)->font().bold());
    EXPECT_EQ(
        t.rows(list, Qt::AccessibleTextRole),
        (QStringList{"a@example.test POPサーバー pop.a", "b2@example.test POPサーバー pop.b",
                     "c@example.test POPサーバー pop.c", "d@example.test 既定 POPサーバー pop.d"}));

    list->list()->setCurrentRow(0);
    click(list, "Command3");
    EXPECT_EQ(t.h.spoken().last(), QStringLiteral("a@example.test を削除しました"));
    EXPECT_FALSE(t.row(t.ids[0]));
    EXPECT_EQ(t.rows(list), (QStringList{"b2@example.test", kC, "d@example.test"}));
    EXPECT_EQ((QStringList{s.accounts[3].email, s.accounts[4].email}),
              (QStringList{"d@example.test", ""}));
    EXPECT_EQ(s.account_count, 3);
    EXPECT_EQ(s.cur_account_index, 3);  // still d, one place up
    list->list()->setCurrentRow(2);
    click(list, "Command3");  // the current account itself
    EXPECT_EQ(s.cur_account_index, 0);
    EXPECT_EQ(t.h.store().accounts().size(), 2u);
}
