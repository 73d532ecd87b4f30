#include "folders/folder_list.h"
#include "folders/address_book.h"
#include "mailbox/mail_seed.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>

using namespace qv;
using namespace qv::test;

namespace {
const QString kMove = "フォルダ メール移動操作 矢印キーで選択してINSキーを押してください";
const QColor kGrey(200, 200, 200), kWhite(255, 255, 255);
}  // namespace

TEST_F(ListTest, FolderListSaysEachFolderOpensItAndFinishesAMove) {
    const QString odd = "It's \"100%\" 大事";
    mail({"2026/12/01 10:00:00", "a@example.test", "既にそこに", {}, {}, false, odd});
    mail({"2026/12/01 11:00:00", "a@example.test", "似た名前", {}, {}, false, "It's \"100\" 大事"});
    mail(31, "動かす");
    mail(30, "残す");
    ASSERT_TRUE(h.start());
    QListWidget* folders = h.w().List1;
    folders->addItem(odd);  // the folder table would list it
    EXPECT_EQ(press(Qt::Key_Y, Qt::ControlModifier), QStringList{"フォルダ"});
    EXPECT_EQ(h.w().cmd_message->text() + h.w().shortcut02->text(),
              "フォルダ" + FolderList::key_guide());
    EXPECT_EQ(h.focus().help_context * 1000 + background(folders).red(), 3200);
    EXPECT_EQ(press(Qt::Key_Insert), QStringList{});  // no move pending
    // SPACE on a mail hands it over; with no folder chosen INS and ENTER say so.
    h.key(Qt::Key_A, Qt::ControlModifier);
    h.key(Qt::Key_Down);
    EXPECT_EQ(press(Qt::Key_Space), QStringList{kMove});
    EXPECT_EQ(grid()->currentRow(), 1);  // the blank did not jump to a sender starting with one
    EXPECT_TRUE(press(Qt::Key_Insert).join("").contains("移動先のフォルダーが選択されていません"));
    EXPECT_TRUE(press(Qt::Key_Return).join("").contains("フォルダーが選択されていません"));
    for (const QString& name :
         {kInbox, QString("保存"), QString("重要"), QString("ごみ箱"), odd, QString("最後です")}) {
        EXPECT_EQ(press(Qt::Key_Down), QStringList{name});
    }
    EXPECT_EQ(press(Qt::Key_Home), QStringList{kInbox});
    EXPECT_EQ(press(Qt::Key_PageUp), QStringList{"先頭です"});
    h.focus(h.w().List2);
    h.focus(folders);  // a pending move is repeated on each arrival
    EXPECT_EQ(h.w().cmd_message->text(), kMove);
    // INS moves the mail once; the mail list keeps showing it until it is filled again.
    folders->setCurrentRow(1);
    EXPECT_EQ(press(Qt::Key_Insert), QStringList{"メールをフォルダー[保存]に移動しました"});
    EXPECT_EQ(press(Qt::Key_Insert), QStringList{});
    EXPECT_EQ(stored("保存"), QStringList{"3:未読:動かす"});
    EXPECT_EQ(column(2), (QStringList{"動かす", "残す"}));
    EXPECT_EQ(press(Qt::Key_Return), (QStringList{"保存", "メール数は1"}));
    EXPECT_EQ(h.parts().mail_list->current_folder() + h.w().cmd_message->text(), "保存保存");
    EXPECT_EQ(column(2), QStringList{"動かす"});
    EXPECT_EQ(QApplication::focusWidget(), folders);
    // A folder name with quotes is matched exactly.
    h.key(Qt::Key_A, Qt::ControlModifier);
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Space);
    folders->setCurrentRow(4);
    h.key(Qt::Key_Insert);
    EXPECT_EQ(press(Qt::Key_Return), (QStringList{odd, "メール数は2"}));
    // Opening a folder drops a pending move.
    h.key(Qt::Key_A, Qt::ControlModifier);
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Space);
    folders->setCurrentRow(2);
    EXPECT_EQ(press(Qt::Key_Return), (QStringList{"重要", "新着メールは有りません"}));
    EXPECT_EQ(press(Qt::Key_Insert), QStringList{});
    EXPECT_EQ(stored(odd).size() * 10 + grid()->rowCount(), 21u);
    h.key(Qt::Key_Tab);  // on to the address book: the folder list turns white
    EXPECT_EQ(background(folders), kWhite);
    EXPECT_EQ(h.focus().help_context * 1000 + background(h.w().List2).red(), 6200);
}

TEST_F(ListTest, AddressBookSaysEachNameAndAddressAndActsOnTheSelectedOne) {
    address("N1", "b@example.test");
    address(" ", "a@example.test");
    address("名前::コロン", "c@example.test");
    address("二", "b@example.test");
    address("似た", "b@example.test.jp");
    address("引用", "o'neil%1@example.test");
    address("似た", "o'neilX1@example.test");
    ASSERT_TRUE(h.start());
    QListWidget* book = h.w().List2;
    EXPECT_EQ(book->item(0)->text() + " " + book->item(2)->text(),
              "a@example.test:: :::2 b@example.test::二:::4");
    h.mark();
    h.focus(book);
    EXPECT_EQ(said(), QStringList{"アドレス帳"});
    EXPECT_EQ(h.w().cmd_message->text() + h.w().shortcut02->text(),
              "アドレス帳[矢印:選択 DEL:削除 ESC:メール送信 ]");
    for (int key : {Qt::Key_Return, Qt::Key_Delete, Qt::Key_Escape}) {
        EXPECT_TRUE(press(key).join("").contains("選択されていません")) << key;
    }
    const char* heard[] = {"a@example.test", "N1、b@example.test", "二、b@example.test",
                           "似た、b@example.test.jp", "名前::コロン、c@example.test"};
    for (const char* expected : heard) EXPECT_EQ(press(Qt::Key_Down), QStringList{expected});
    EXPECT_EQ(press(Qt::Key_Return), QStringList{"c@example.test"});  // the address alone
    EXPECT_EQ(press(Qt::Key_End), QStringList{"似た、o'neilX1@example.test"});
    EXPECT_EQ(press(Qt::Key_Down), QStringList{"最後です"});
    // DEL removes every row of that address (and none that only looks like it), without asking.
    book->setCurrentRow(2);
    EXPECT_EQ(press(Qt::Key_Delete), QStringList{"アドレス削除しました"});
    book->setCurrentRow(3);
    h.key(Qt::Key_Delete);
    QStringList left;
    for (const AddressRow& r : h.store().addresses()) left << r.address;
    EXPECT_EQ(left, (QStringList{"a@example.test", "b@example.test.jp", "c@example.test",
                                 "o'neilX1@example.test"}));
    EXPECT_EQ(book->count(), 4);
    // ESC begins a mail to the address.
    book->setCurrentRow(2);
    EXPECT_EQ(press(Qt::Key_Escape).value(0), "件名を入力してください");
    EXPECT_EQ(h.w().mailto->text() + "|" + h.w().subject->text(), "c@example.test|");
    EXPECT_EQ(h.w().body->toPlainText(), "\n署名です");
    EXPECT_EQ(QApplication::focusWidget(), h.w().subject);
    EXPECT_EQ(h.w().cmd_message->text(), "c@example.testへのメール送信");
    // The menu entry says it, then the book announces itself; already there, no arrival.
    EXPECT_EQ(press(Qt::Key_A, Qt::ControlModifier).size(), 2);
    h.trigger("t_address");
    EXPECT_EQ(said(), (QStringList{"アドレス帳編集", "アドレス帳"}));
    h.trigger("t_address");
    EXPECT_EQ(said(), QStringList{"アドレス帳編集"});
    EXPECT_EQ(h.focus().help_context, 5);
    while (book->count() > 0) book->setCurrentRow(0), h.key(Qt::Key_Delete);
    EXPECT_TRUE(press(Qt::Key_Down).join("").contains("INS"));
}
