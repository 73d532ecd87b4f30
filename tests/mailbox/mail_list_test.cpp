#include "mailbox/mail_list.h"
#include "mailbox/flex_grid.h"
#include "mailbox/mail_commands.h"
#include "mailbox/mail_seed.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

const QString kInboxName = QStringLiteral("受信フォルダー");

// The last `n` utterances.
QStringList last(const QStringList& all, int n) { return all.mid(all.size() - n); }

}  // namespace

TEST(MailListFill, InboxNewestFirstWithEmphasisAttachmentMarkAndCount) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail({QStringLiteral("2026/12/01 09:00:00"), QStringLiteral(" 古い <old@example.test>"),
               QStringLiteral("古いメール"), QStringLiteral("a"), QString(), true, QString()});
    seed.mail({QStringLiteral("2026/12/03 09:00:00"), QStringLiteral(" 新しい <new@example.test>"),
               QStringLiteral("新しいメール"), QStringLiteral("b"),
               QStringLiteral("/tmp/voice.mp3"), false, QString()});
    seed.mail({QStringLiteral("2026/12/02 09:00:00"), QStringLiteral("mid@example.test"),
               QStringLiteral("真ん中"), QStringLiteral("c"), QString(), false, QString()});
    seed.mail({QStringLiteral("2026/12/04 09:00:00"), QStringLiteral("x@example.test"),
               QStringLiteral("保存したメール"), QStringLiteral("d"), QString(), false,
               QStringLiteral("保存")});
    ASSERT_TRUE(h.start());
    FlexGrid* g = h.w().MSFlexGrid1;

    ASSERT_EQ(g->rowCount(), 4);
    EXPECT_EQ(g->columnCount(), 4);
    EXPECT_EQ(
        (QStringList{g->cellText(0, 0), g->cellText(0, 1), g->cellText(0, 2), g->cellText(0, 3)}),
        (QStringList{QStringLiteral("ID"), QStringLiteral("送信者"), QStringLiteral("件名"),
                     QStringLiteral("受信日")}));
    EXPECT_EQ(grid_column(g, 0), (QStringList{"2", "3", "1"}));
    EXPECT_EQ(grid_column(g, 1), (QStringList{QStringLiteral(" 新しい <new@example.test>"),
                                              QStringLiteral("mid@example.test"),
                                              QStringLiteral(" 古い <old@example.test>")}));
    EXPECT_EQ(grid_column(g, 2),
              (QStringList{QStringLiteral("♪　新しいメール"), QStringLiteral("真ん中"),
                           QStringLiteral("古いメール")}));
    EXPECT_EQ(grid_column(g, 3), (QStringList{QStringLiteral("2026/12/03 09:00:00"),
                                              QStringLiteral("2026/12/02 09:00:00"),
                                              QStringLiteral("2026/12/01 09:00:00")}));
    for (int c = 0; c < 4; ++c) {
        EXPECT_TRUE(g->cellEmphasis(1, c)) << c;
        EXPECT_TRUE(g->cellEmphasis(2, c)) << c;
        EXPECT_FALSE(g->cellEmphasis(3, c)) << c;
    }
    // The count, then the unread subjects in list order; the header row is current at the end.
    EXPECT_EQ(last(h.spoken(), 3),
              (QStringList{QStringLiteral("メール数は3"), QStringLiteral("♪　新しいメール"),
                           QStringLiteral("真ん中")}));
    EXPECT_EQ(g->currentRow(), 0);
    EXPECT_EQ(g->currentColumn(), 1);
    EXPECT_EQ(h.w().cmd_message->text(), kInboxName);
    EXPECT_EQ(h.parts().mail_list->mail_count(), 3);
}

TEST(MailListFill, EmptyInboxShowsOnlyTheHeader) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail({QStringLiteral("2026/12/04 09:00:00"), QStringLiteral("x@example.test"),
               QStringLiteral("別のフォルダー"), QString(), QString(), false,
               QStringLiteral("保存")});
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.w().MSFlexGrid1->rowCount(), 1);
    EXPECT_EQ(h.w().MSFlexGrid1->cellText(0, 2), QStringLiteral("件名"));
    EXPECT_EQ(last(h.spoken(), 2), (QStringList{QStringLiteral("新着メールは有りません"),
                                                QStringLiteral("未読メールは有りません")}));
}

TEST(MailListFill, HoldsMoreThanFiveHundredMails) {
    WindowHarness h;
    MailSeed seed(h);
    ASSERT_TRUE(h.seed().database().transaction());
    for (int i = 0; i < 750; ++i) {
        seed.mail({QStringLiteral("2026/11/%1 10:%2:00")
                       .arg(1 + i / 60, 2, 10, QChar('0'))
                       .arg(i % 60, 2, 10, QChar('0')),
                   QStringLiteral("a@example.test"), QStringLiteral("件名%1").arg(i), QString(),
                   QString(), true, QString()});
    }
    ASSERT_TRUE(h.seed().database().commit());
    ASSERT_TRUE(h.start());
    FlexGrid* g = h.w().MSFlexGrid1;
    ASSERT_EQ(g->rowCount(), 751);
    EXPECT_EQ(g->cellText(1, 2), QStringLiteral("件名749"));
    EXPECT_EQ(g->cellText(750, 2), QStringLiteral("件名0"));
    EXPECT_TRUE(h.spoken().contains(QStringLiteral("メール数は750")));
}

TEST(MailListFocus, GainShowsTheFolderLossTurnsWhite) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("一通"));
    ASSERT_TRUE(h.start());
    h.focus(h.w().List2);
    h.w().cmd_message->clear();
    h.mark();
    h.key(Qt::Key_A, Qt::ControlModifier);
    FlexGrid* g = h.w().MSFlexGrid1;
    EXPECT_EQ(QApplication::focusWidget(), g);
    EXPECT_EQ(h.focus().help_context, 2);
    EXPECT_EQ(background(g), QColor(200, 200, 200));
    EXPECT_EQ(h.w().cmd_message->text(), kInboxName);
    // The grid names no keys of its own on arrival: the address book's guide is still shown.
    EXPECT_EQ(h.w().shortcut02->text(), QStringLiteral("[矢印:選択 DEL:削除 ESC:メール送信 ]"));
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    h.focus(h.w().List1);
    EXPECT_EQ(background(g), QColor(255, 255, 255));
}

TEST(MailListFocus, ArrowsNeverReachTheHeaderRowOrTheIdColumn) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("古い"));
    seed.mail(2, QStringLiteral("新しい"));
    ASSERT_TRUE(h.start());
    FlexGrid* g = h.w().MSFlexGrid1;
    h.trigger(QStringLiteral("move_to_mail_list"));
    h.w().shortcut02->clear();
    h.key(Qt::Key_Up);
    EXPECT_EQ(g->currentRow(), 1);
    EXPECT_EQ(h.w().shortcut02->text(), MailCommands::key_guide());
    h.key(Qt::Key_Left);
    EXPECT_EQ(g->currentColumn(), 1);
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Down);
    EXPECT_EQ(g->currentRow(), 2);
    h.key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(g->currentRow(), 1);
    EXPECT_EQ(g->currentColumn(), 1);
    h.key(Qt::Key_Right);
    // The entered cell is highlighted in a readable colour; the cell left turns white.
    EXPECT_EQ(g->cellBackground(1, 2), MailList::cell_highlight_color());
    EXPECT_EQ(g->cellBackground(1, 1), QColor(255, 255, 255));
    EXPECT_NE(MailList::cell_highlight_color(), QColor(Qt::black));
    const QModelIndex entered = g->model()->index(1, 2);
    EXPECT_EQ(entered.data(Qt::BackgroundRole).value<QColor>(), MailList::cell_highlight_color());
    EXPECT_EQ(entered.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
}

TEST(MailReadOuts, UnreadAndSubjectsFromTheGrid) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail({QStringLiteral("2026/12/01 10:03:00"), QStringLiteral("a@example.test"),
               QStringLiteral("一番目"), QString(), QString(), true, QString()});
    seed.mail({QStringLiteral("2026/12/01 10:02:00"), QStringLiteral("a@example.test"),
               QStringLiteral("二番目"), QString(), QStringLiteral("/m/a.wav"), false, QString()});
    seed.mail({QStringLiteral("2026/12/01 10:01:00"), QStringLiteral("a@example.test"),
               QStringLiteral("三番目"), QString(), QString(), true, QString()});
    ASSERT_TRUE(h.start());
    FlexGrid* g = h.w().MSFlexGrid1;
    h.mark();
    h.key(Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("♪　二番目")});
    EXPECT_EQ(g->currentRow(), 1);
    EXPECT_EQ(g->currentColumn(), 1);

    g->setCurrentCell(3, 3);
    h.trigger(QStringLiteral("read_subject"));
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{QStringLiteral("一番目"), QStringLiteral("♪　二番目"),
                           QStringLiteral("三番目")}));
    EXPECT_EQ(g->currentRow(), 1);
    EXPECT_EQ(g->currentColumn(), 1);
    // CTRL-P, as the fixed guide promises, reads the subjects too.
    h.key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(h.spokenSinceMark().size(), 3);
}

TEST(MailReadOuts, AfterReadingTheOnlyUnreadMailNothingIsUnread) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("既に読んだ"));
    seed.mail(2, QStringLiteral("ただ一つの未読"), QStringLiteral("中身"));
    ASSERT_TRUE(h.seed().markRead(1));
    ASSERT_TRUE(h.start());
    h.trigger(QStringLiteral("move_to_mail_list"));
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Return);
    h.mark();
    h.key(Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("未読メールは有りません")});
    // The read-out stops on the last row's subject.
    EXPECT_EQ(h.w().MSFlexGrid1->currentRow(), 2);
    EXPECT_EQ(h.w().MSFlexGrid1->currentColumn(), 2);
}

TEST(MailReadOuts, EmptyListSubjectsSayNothingAndMoveToTheSubjectColumn) {
    WindowHarness h;
    MailSeed seed(h);
    ASSERT_TRUE(h.start());
    h.mark();
    h.trigger(QStringLiteral("read_subject"));
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    EXPECT_EQ(h.w().MSFlexGrid1->currentRow(), 0);
    EXPECT_EQ(h.w().MSFlexGrid1->currentColumn(), 2);
    h.trigger(QStringLiteral("speak_unread_mail"));
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("未読メールは有りません")});
}
