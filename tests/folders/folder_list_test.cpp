#include "folders/folder_list.h"
#include "mailbox/flex_grid.h"
#include "mailbox/mail_seed.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

const QString kInboxName = QStringLiteral("受信フォルダー");
const QString kMoveInstruction =
    QStringLiteral("フォルダ メール移動操作 矢印キーで選択してINSキーを押してください");

QStringList items(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

// Arms a move of the mail on the given row of the mail list, as a user does.
void arm_move(WindowHarness& h, int row) {
    h.key(Qt::Key_A, Qt::ControlModifier);
    for (int i = 0; i < row; ++i) h.key(Qt::Key_Down);
    h.key(Qt::Key_Space);
}

}  // namespace

TEST(FolderList, ListsTheFolderTableInItsOrderAndAnnouncesItself) {
    WindowHarness h;
    MailSeed seed(h);
    ASSERT_TRUE(h.start());
    EXPECT_EQ(items(h.w().List1), (QStringList{kInboxName, QStringLiteral("保存"),
                                               QStringLiteral("重要"), QStringLiteral("ごみ箱")}));
    h.mark();
    h.key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), h.w().List1);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("フォルダ")});
    EXPECT_EQ(h.w().cmd_message->text(), QStringLiteral("フォルダ"));
    EXPECT_EQ(h.w().shortcut02->text(), FolderList::key_guide());
    EXPECT_TRUE(FolderList::key_guide().startsWith(QLatin1Char('[')));
    EXPECT_TRUE(FolderList::key_guide().endsWith(QLatin1Char(']')));
    EXPECT_EQ(h.focus().help_context, 3);
    EXPECT_EQ(background(h.w().List1), QColor(200, 200, 200));
    // On to the address book: the folder list turns white again.
    h.key(Qt::Key_Tab);
    EXPECT_EQ(background(h.w().List1), QColor(255, 255, 255));
    EXPECT_EQ(background(h.w().List2), QColor(200, 200, 200));
    EXPECT_EQ(h.focus().help_context, 6);
}

TEST(FolderList, MenuCommandsLeadToTheFolderListAndBackToTheMailList) {
    WindowHarness h;
    MailSeed seed(h);
    ASSERT_TRUE(h.start());
    h.trigger(QStringLiteral("chose_folder"));
    EXPECT_EQ(QApplication::focusWidget(), h.w().List1);
    // Already there: no second announcement, and the help section is still the folders'.
    h.focus().help_context = 0;
    h.mark();
    h.trigger(QStringLiteral("chose_folder"));
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    EXPECT_EQ(h.focus().help_context, 3);
    h.trigger(QStringLiteral("display_mail_list"));
    EXPECT_EQ(QApplication::focusWidget(), h.w().MSFlexGrid1);
    h.focus(h.w().List1);
    h.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), h.w().MSFlexGrid1);
    EXPECT_EQ(h.focus().help_context, 2);
}

TEST(FolderMove, SpaceThenInsMovesTheMailOnceAndTheListKeepsShowingIt) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(2, QStringLiteral("動かす"));
    seed.mail(1, QStringLiteral("残す"));
    ASSERT_TRUE(h.start());
    arm_move(h, 1);
    EXPECT_EQ(h.spoken().back(), kMoveInstruction);
    h.key(Qt::Key_Down);  // 受信フォルダー
    h.key(Qt::Key_Down);  // 保存
    h.mark();
    h.key(Qt::Key_Insert);
    EXPECT_EQ(h.spokenSinceMark(),
              QStringList{QStringLiteral("メールをフォルダー[保存]に移動しました")});
    EXPECT_FALSE(h.parts().folders->move_pending());
    EXPECT_EQ(stored(h.store(), QStringLiteral("保存")), QStringList{"1:未読:動かす"});
    EXPECT_EQ(stored(h.store(), kInboxName), QStringList{"2:未読:残す"});
    EXPECT_EQ(grid_column(h.w().MSFlexGrid1, 2),
              (QStringList{QStringLiteral("動かす"), QStringLiteral("残す")}));
    // A second INS does nothing: the move is over.
    h.key(Qt::Key_Down);  // 重要
    h.key(Qt::Key_Insert);
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    EXPECT_TRUE(stored(h.store(), QStringLiteral("重要")).isEmpty());
    // Opening the folder shows the moved mail there; the focus stays on the folder list.
    h.key(Qt::Key_Up);
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{QStringLiteral("保存"), QStringLiteral("メール数は1")}));
    EXPECT_EQ(h.parts().mail_list->current_folder(), QStringLiteral("保存"));
    EXPECT_EQ(h.w().cmd_message->text(), QStringLiteral("保存"));
    EXPECT_EQ(grid_column(h.w().MSFlexGrid1, 2), QStringList{QStringLiteral("動かす")});
    EXPECT_EQ(QApplication::focusWidget(), h.w().List1);
}

TEST(FolderMove, OpeningAFolderDropsAPendingMove) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("動かさない"));
    ASSERT_TRUE(h.start());
    arm_move(h, 1);
    ASSERT_TRUE(h.parts().folders->move_pending());
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Down);  // 保存
    h.key(Qt::Key_Return);
    EXPECT_FALSE(h.parts().folders->move_pending());
    EXPECT_EQ(h.w().MSFlexGrid1->rowCount(), 1);
    h.mark();
    h.key(Qt::Key_Insert);
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    EXPECT_EQ(stored(h.store(), kInboxName), QStringList{"1:未読:動かさない"});
    // Without a pending move the folder list's arrival says only its name.
    h.focus(h.w().List2);
    h.focus(h.w().List1);
    EXPECT_EQ(h.spokenSinceMark().last(), QStringLiteral("フォルダ"));
}

TEST(FolderMove, APendingMoveIsRepeatedOnEachArrival) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("保留"));
    ASSERT_TRUE(h.start());
    arm_move(h, 1);
    h.focus(h.w().List2);
    h.mark();
    h.focus(h.w().List1);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{kMoveInstruction});
    EXPECT_EQ(h.w().cmd_message->text(), kMoveInstruction);
}

TEST(FolderMove, WithNoFolderChosenEnterAndInsSaySoAndChangeNothing) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("そのまま"));
    ASSERT_TRUE(h.start());
    arm_move(h, 1);
    h.mark();
    h.key(Qt::Key_Insert);
    h.key(Qt::Key_Return);
    const QStringList said = h.spokenSinceMark();
    ASSERT_EQ(said.size(), 2);
    EXPECT_TRUE(said[0].contains(QStringLiteral("移動先のフォルダー")));
    EXPECT_TRUE(said[1].contains(QStringLiteral("フォルダーが選択されていません")));
    EXPECT_TRUE(h.parts().folders->move_pending());
    EXPECT_EQ(h.parts().mail_list->current_folder(), kInboxName);
    EXPECT_EQ(stored(h.store(), kInboxName), QStringList{"1:未読:そのまま"});
    EXPECT_EQ(h.w().MSFlexGrid1->rowCount(), 2);
}

TEST(FolderMove, FolderNamesWithQuotesAreMatchedExactly) {
    WindowHarness h;
    MailSeed seed(h);
    const QString odd = QStringLiteral("It's \"100%\" 大事");
    seed.mail({QStringLiteral("2026/12/01 10:00:00"), QStringLiteral("a@example.test"),
               QStringLiteral("既にそこに"), QString(), QString(), false, odd});
    seed.mail({QStringLiteral("2026/12/01 11:00:00"), QStringLiteral("a@example.test"),
               QStringLiteral("似た名前"), QString(), QString(), false,
               QStringLiteral("It's \"100\" 大事")});
    seed.mail(30, QStringLiteral("これを移す"));
    ASSERT_TRUE(h.start());
    // The folder table would list it; here the list is given the name directly.
    h.w().List1->addItem(odd);
    arm_move(h, 1);
    h.w().List1->setCurrentRow(4);
    h.key(Qt::Key_Insert);
    EXPECT_EQ(h.spoken().last(),
              QStringLiteral("メールをフォルダー[") + odd + QStringLiteral("]に移動しました"));
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.parts().mail_list->current_folder(), odd);
    EXPECT_EQ(grid_column(h.w().MSFlexGrid1, 2),
              (QStringList{QStringLiteral("これを移す"), QStringLiteral("既にそこに")}));
}
