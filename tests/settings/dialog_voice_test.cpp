// Every dialog speaks with the one voice of core/dialog_voice.h: on opening, at every step of
// the focus, on closing; message boxes too; every control has a name for a screen reader.
#include "core/feedback.h"
#include "support/settings_window.h"

#include <QMessageBox>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

TEST(DialogVoice, EveryDialogSpeaksOnOpeningAtEveryStepAndOnClosing) {
    SettingsWindow t(2, 1);
    AccountList* first_list = nullptr;
    auto editor = [&](int row, const char* button) {
        EXPECT_EQ(t.list(), first_list);  // kept, with its rows, from one opening to the next
        first_list->list()->setCurrentRow(row);
        t.h.mark();  // after the list's own greeting
        click(first_list, button);
        return t.editor();
    };
    auto escape = [](QDialog* d) { press(d, Qt::Key_Escape); };
    const struct {
        std::function<QDialog*()> open;
        QString greeting, first;
        std::function<void(QDialog*)> close;
        QString closing;
    } dialogs[] = {
        {[&] { return first_list = t.list(); }, "アカウント一覧。アカウントが2件あります。",
         "追加 ボタン。新しいアカウントを登録します", [](QDialog* d) { click(d, "Command4"); },
         "アカウント一覧を閉じました"},
        {[&] { return editor(-1, "Command1"); },
         "アカウント編集。新しいメールアカウントを登録します。", "POPサーバー 空欄", escape,
         "アカウント編集を閉じました"},
        {[&] { return editor(0, "Command2"); },
         "アカウント編集。a@example.test の設定を変更します。",
         "OK ボタン。入力した設定を保存します",
         [](QDialog* d) {
             static_cast<AccountEditor*>(d)->field(0)->setText(QStringLiteral("changed"));
             click(d, "Command2");
         },
         "アカウント編集を閉じました"},
        {[&] { return t.options(); }, "オプション。署名、", "ページ 署名 タブ",
         [](QDialog* d) {
             child<QPlainTextEdit>(d, "signature1")->setPlainText(QStringLiteral("draft"));
             click(d, "cmdCancel");
         },
         "オプションを変更せずに閉じました"},
        {[&] {
             auto* box =
                 new QMessageBox(QMessageBox::Warning, QStringLiteral("確認"),
                                 QStringLiteral("削除しますか"), QMessageBox::Ok, &t.h.window());
             box->open();
             return box;
         },
         "確認。削除しますか", "OK ボタン", escape, "確認を閉じました"},
    };
    for (const auto& d : dialogs) {
        t.h.mark();
        QDialog* dialog = d.open();
        ASSERT_TRUE(activate(dialog));
        const QStringList opening = t.h.spokenSinceMark();
        ASSERT_EQ(opening.size(), 2) << testing::PrintToString(opening);
        EXPECT_TRUE(opening[0].startsWith(d.greeting)) << opening[0].toStdString();
        EXPECT_EQ(opening[1], d.first);
        // The walk ends where it began.
        const QStringList heard = walk_dialog(dialog, [&] { return t.h.spoken(); });
        EXPECT_EQ(t.h.w().cmd_message->text(), d.first);  // shown as it is said
        EXPECT_EQ(background(QApplication::focusWidget()), t.h.focus().focus_color);
        EXPECT_FALSE(heard.join(' ').contains(QStringLiteral("pw")));  // no password, ever
        press(dialog, Qt::Key_F2);  // the voice's own keys work here too
        EXPECT_EQ(t.h.spoken().last(), d.first);
        d.close(dialog);
        EXPECT_EQ(t.h.spoken().last(), d.closing);
    }
    EXPECT_TRUE(t.h.spoken().contains(QStringLiteral("パスワード 入力済み")));
    EXPECT_TRUE(t.h.spoken().contains(QStringLiteral("POPサーバー pop.a")));
    // Closing saved nothing.
    EXPECT_EQ(t.row(t.ids[0])->pop, QStringLiteral("pop.a"));
    EXPECT_EQ(t.h.accounts().accounts[1].pop, QStringLiteral("pop.a"));
    EXPECT_EQ(t.h.store().signature()->signature, QString());
}

TEST(DialogVoice, EveryControlOfTheMainWindowHasANameAndADescription) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    for (QWidget* w : h.window().findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus || w->focusProxy()) continue;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        EXPECT_FALSE(w->accessibleDescription().isEmpty()) << w->objectName().toStdString();
    }
}

TEST(MenuEntries, NewMailBeginsAMailAsTheMessageMenuDoesAndTheTemplateEntrySaysWhatThereIs) {
    SettingsWindow t;
    QStringList heard[2];
    for (const char* entry : {"msg_create", "newmail"}) {
        t.h.focus(t.h.w().List2);
        t.h.mark();
        t.h.trigger(QLatin1String(entry));
        heard[*entry == 'n'] = t.h.spokenSinceMark();
        EXPECT_EQ(QApplication::focusWidget(), t.h.w().mailto);
    }
    EXPECT_FALSE(heard[0].isEmpty());
    EXPECT_EQ(heard[1], heard[0]);
    t.h.trigger(QStringLiteral("msg_template"));
    const QStringList said = t.h.spokenSinceMark();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said.front().startsWith(QStringLiteral("ひな形はありません")));
    EXPECT_EQ(t.h.w().cmd_message->text(), said.front());
}
