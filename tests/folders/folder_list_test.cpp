#include "folders/folder_list.h"
#include "mailbox/mail_seed.h"
#include "support/golden.h"

#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

using namespace qv;
using namespace qv::test;

namespace {
const QString kMove = "フォルダ メール移動操作 矢印キーで選択してINSキーを押してください";
}  // namespace

TEST_F(ListTest, NoListKeyThatMovesOrChangesSomethingIsSilentAndPromptsComeOnlyOnArrival) {
    mail("2026/12/01 10:00:02", " 差出人 <f@example.test>", "一");
    mail("2026/12/01 10:00:01", " 差出人 <f@example.test>", "二");
    address(" ", "a@example.test");
    address("花子", "h@example.test");
    ASSERT_TRUE(h.start());
    // Each row of list_keys.txt: the list, then steps, each a key, "=", a part of what it says.
    const QHash<QString, QWidget*> lists = {
        {"grid", grid()}, {"folders", h.w().List1}, {"addresses", h.w().List2}};
    for (const QString& row : golden_lines("cases/list_keys.txt")) {
        for (const QString& step : row.section('\t', 1).split(' ')) {
            h.focus(lists[row.section('\t', 0, 0)]);
            const QString said = press(QKeySequence(step.section('=', 0, 0))[0].key()).join('|');
            EXPECT_TRUE(said.contains(step.section('=', 1)))
                << step.toStdString() << ": " << said.toStdString();
        }
    }
    QWidget other;  // back from another window nothing is said again, unless the focus moved
    other.show();
    const std::pair<QWidget*, QStringList> visits[] = {
        {h.w().List2, {}}, {h.w().List1, {"フォルダ"}}, {h.w().List2, {"アドレス帳"}}};
    for (const auto& [back, heard] : visits) {
        ASSERT_TRUE((other.activateWindow(), QTest::qWaitForWindowActive(&other)));
        back->setFocus();
        h.mark();
        h.focus(back);
        EXPECT_EQ(said(), heard);
    }
    EXPECT_EQ(background(h.w().List1).red() * 1000 + background(h.w().List2).red(), 255200);
    EXPECT_EQ(h.focus().help_context, 6);
}

TEST_F(ListTest, FolderListFinishesAMoveOnceAndTheAddressBookActsOnTheSelectedAddress) {
    mail("2026/12/01 10:31:00", " 差出人 <f@example.test>", "動かす");
    mail("2026/12/01 10:30:00", " 差出人 <f@example.test>", "残す");
    for (const char* a : {"二 b@example.test", "似た b@example.test.jp",
                          "名前::コロン c@example.test", "一 b@example.test"}) {
        address(QString(a).section(' ', 0, 0), QString(a).section(' ', 1));
    }
    ASSERT_TRUE(h.start());
    EXPECT_EQ(press(Qt::Key_Y, Qt::ControlModifier), QStringList{"フォルダ"});
    EXPECT_EQ(h.w().shortcut02->text(), FolderList::key_guide());
    h.focus().help_context = 0;  // already there: no arrival, but the command names the help
    h.trigger("chose_folder");
    EXPECT_TRUE(said().isEmpty() && h.focus().help_context == 3);
    h.trigger("display_mail_list");
    h.key(Qt::Key_Down);
    EXPECT_EQ(press(Qt::Key_Space), QStringList{kMove});
    EXPECT_EQ(grid()->currentRow(), 1);  // the blank did not jump to a sender starting with one
    EXPECT_TRUE(press(Qt::Key_Insert).value(0).startsWith("移動先のフォルダーが選択"));  // none
    EXPECT_TRUE(press(Qt::Key_Return).value(0).startsWith("フォルダーが選択"));
    h.focus(h.w().List2);
    h.focus(h.w().List1);  // a pending move is repeated on each arrival
    EXPECT_EQ(h.w().cmd_message->text(), kMove);
    h.w().List1->setCurrentRow(1);
    EXPECT_EQ(press(Qt::Key_Insert), QStringList{"メールをフォルダー[保存]に移動しました"});
    EXPECT_EQ(press(Qt::Key_Insert), QStringList{});
    EXPECT_EQ(stored("保存"), QStringList{"1:未読:動かす"});
    EXPECT_EQ(column(2), (QStringList{"動かす", "残す"}));  // until the list is filled again
    EXPECT_EQ(press(Qt::Key_Return), (QStringList{"保存", "メール数は1"}));
    EXPECT_EQ(h.parts().mail_list->current_folder() + h.w().cmd_message->text(), "保存保存");
    EXPECT_TRUE(column(2) == QStringList{"動かす"} && QApplication::focusWidget() == h.w().List1);
    h.trigger("display_mail_list");  // opening a folder drops a pending move
    h.key(Qt::Key_Space);
    h.w().List1->setCurrentRow(2);
    EXPECT_EQ(press(Qt::Key_Return), (QStringList{"重要", "新着メールは有りません"}));
    EXPECT_EQ(press(Qt::Key_Insert).size() + stored("重要").size() + grid()->rowCount(), 1);

    EXPECT_EQ(h.w().List2->item(0)->text() + h.w().List2->item(3)->text(),
              "b@example.test::二:::1c@example.test::名前::コロン:::3");
    h.trigger("t_address");  // the menu entry says it, then the book announces itself
    EXPECT_EQ(said(), (QStringList{"アドレス帳編集", "アドレス帳"}));
    EXPECT_EQ(h.w().cmd_message->text() + QString::number(h.focus().help_context), "アドレス帳6");
    h.trigger("t_address");  // already there: no arrival
    EXPECT_EQ(said().join("") + QString::number(h.focus().help_context), "アドレス帳編集5");
    for (int key : {Qt::Key_Return, Qt::Key_Delete, Qt::Key_Escape}) {
        EXPECT_TRUE(press(key).value(0).contains("選択されていません")) << key;
    }
    h.w().List2->setCurrentRow(3);
    EXPECT_EQ(press(Qt::Key_Return), QStringList{"c@example.test"});      // the address alone
    EXPECT_EQ(press(Qt::Key_Escape).value(0), "件名を入力してください");  // a mail to it
    EXPECT_EQ(h.w().mailto->text() + "|" + h.w().subject->text() + "|" + h.w().body->toPlainText(),
              "c@example.test||\n署名です");
    EXPECT_EQ(h.w().cmd_message->text(), "c@example.testへのメール送信");
}
