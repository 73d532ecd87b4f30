#include "mailbox/flex_grid.h"
#include "mailbox/mail_commands.h"
#include "mailbox/mail_seed.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

const QString kInboxName = QStringLiteral("受信フォルダー");

// Starts the window and puts the mail list's current cell on the given mail row, as a user
// does: Ctrl+A, then the down arrow.
void open_list_at(WindowHarness& h, int row) {
    ASSERT_TRUE(h.start());
    h.key(Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), h.w().MSFlexGrid1);
    for (int i = 0; i < row; ++i) h.key(Qt::Key_Down);
    ASSERT_EQ(h.w().MSFlexGrid1->currentRow(), row);
    h.mark();
}

}  // namespace

TEST(MailRead, EnterSpeaksSubjectThenBodyShowsItPlaysTheVoiceAndMarksRead) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail({QStringLiteral("2026/12/01 10:00:00"), QStringLiteral(" 山田 <y@example.test>"),
               QStringLiteral("声の便り"), QStringLiteral("こんにちは。"),
               QStringLiteral("/data/mail/voice.mp3"), false, QString()});
    QStringList heardBeforePause;
    h.pauser.onPause = [&](int) { heardBeforePause = h.spoken(); };
    open_list_at(h, 1);
    h.w().shortcut02->clear();
    h.key(Qt::Key_Return);

    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{QStringLiteral("♪　声の便り"), QStringLiteral("こんにちは。")}));
    EXPECT_EQ(h.w().bodytext->toPlainText(), QStringLiteral("こんにちは。"));
    // The pause comes after the mail has been queued for speaking, then the player starts.
    EXPECT_EQ(h.pauser.pauses, std::vector<int>{4});
    EXPECT_EQ(heardBeforePause.back(), QStringLiteral("こんにちは。"));
    EXPECT_EQ(h.opener.opened, QStringList{QStringLiteral("/data/mail/voice.mp3")});
    EXPECT_EQ(stored(h.store(), kInboxName), QStringList{QStringLiteral("1:既読:声の便り")});
    FlexGrid* g = h.w().MSFlexGrid1;
    for (int c = 0; c < 4; ++c) EXPECT_FALSE(g->cellEmphasis(1, c)) << c;
    EXPECT_EQ(g->currentRow(), 1);
    EXPECT_EQ(g->currentColumn(), 1);
    EXPECT_EQ(h.w().shortcut02->text(), MailCommands::key_guide());
}

TEST(MailRead, OtherAttachmentsAreNotPlayed) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail({QStringLiteral("2026/12/01 10:00:00"), QStringLiteral("a@example.test"),
               QStringLiteral("資料"), QString(), QStringLiteral("/data/mail/report.MP3.pdf"),
               false, QString()});
    open_list_at(h, 1);
    h.key(Qt::Key_Return);
    // An empty body says nothing; the subject alone is heard.
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("♪　資料")});
    EXPECT_TRUE(h.pauser.pauses.empty());
    EXPECT_TRUE(h.opener.opened.isEmpty());
}

TEST(MailRead, LongBodiesAreSpokenInPiecesOfAHundredCharacters) {
    WindowHarness h;
    MailSeed seed(h);
    QString body;
    for (int i = 0; i < 250; ++i) body += QChar(u'あ' + i % 40);
    const QString hundred(100, QChar(u'い'));
    seed.mail(2, QStringLiteral("長い"), body);
    seed.mail(1, QStringLiteral("ちょうど百"), hundred);
    open_list_at(h, 1);
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{QStringLiteral("長い"), body.left(100),
                                                body.mid(100, 100), body.mid(200)}));
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{QStringLiteral("ちょうど百"), hundred}));
}

TEST(MailRead, ACharacterAtTheHundredthPlaceIsNeverCutApart) {
    WindowHarness h;
    MailSeed seed(h);
    // The 100th character is an emoji with a skin tone (four code units), the 101st a letter
    // with two combining accents.
    const QString head = QString(99, QChar('a')) + QStringLiteral("👍🏽");
    const QString tail = QStringLiteral("e\u0301\u0302 la fin");
    seed.mail(1, QStringLiteral("絵文字"), head + tail);
    open_list_at(h, 1);
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{QStringLiteral("絵文字"), head, tail}));
}

TEST(MailDelete, DeletesTheMailAndItsRowAndTheNextMovesUp) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(3, QStringLiteral("一"));
    seed.mail(2, QStringLiteral("二"));
    seed.mail(1, QStringLiteral("三"));
    open_list_at(h, 1);
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Delete);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("メールを削除しました")});
    FlexGrid* g = h.w().MSFlexGrid1;
    EXPECT_EQ(grid_column(g, 2), (QStringList{QStringLiteral("一"), QStringLiteral("三")}));
    EXPECT_EQ(stored(h.store(), kInboxName),
              (QStringList{QStringLiteral("1:未読:一"), QStringLiteral("3:未読:三")}));
    EXPECT_EQ(g->currentRow(), 2);
    EXPECT_EQ(g->currentColumn(), 1);
    // The last row: the one above becomes current.
    h.key(Qt::Key_Delete);
    EXPECT_EQ(g->currentRow(), 1);
    EXPECT_EQ(grid_column(g, 2), QStringList{QStringLiteral("一")});
}

TEST(MailDelete, DeletingTheLastMailLeavesTheHeaderAndFurtherKeysChangeNothing) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("最後の一通"));
    open_list_at(h, 1);
    h.key(Qt::Key_Delete);
    FlexGrid* g = h.w().MSFlexGrid1;
    EXPECT_EQ(g->rowCount(), 1);
    EXPECT_EQ(g->currentRow(), 0);
    EXPECT_TRUE(stored(h.store(), kInboxName).isEmpty());
    h.mark();
    h.key(Qt::Key_Delete);
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{MailCommands::folder_is_empty(), MailCommands::folder_is_empty()}));
    EXPECT_EQ(g->cellText(0, 1), QStringLiteral("送信者"));
}

TEST(MailHeaderRow, KeysOnTheHeaderRowChangeNothingAndSaySo) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("残るメール"));
    int replies = 0;
    open_list_at(h, 0);
    QObject::connect(h.parts().mail_commands, &MailCommands::replyRequested, [&] { ++replies; });
    for (int key :
         {Qt::Key_Return, Qt::Key_Delete, Qt::Key_Insert, Qt::Key_Escape, Qt::Key_Space}) {
        h.key(key);
        EXPECT_EQ(h.spokenSinceMark(), QStringList{MailCommands::no_mail_selected()}) << key;
        EXPECT_EQ(QApplication::focusWidget(), h.w().MSFlexGrid1) << key;
    }
    EXPECT_EQ(h.w().cmd_message->text(), MailCommands::no_mail_selected());
    EXPECT_EQ(replies, 0);
    EXPECT_FALSE(h.parts().folders->move_pending());
    EXPECT_EQ(stored(h.store(), kInboxName), QStringList{QStringLiteral("1:未読:残るメール")});
    EXPECT_TRUE(h.store().addresses().empty());
    EXPECT_TRUE(h.w().bodytext->toPlainText().isEmpty());
    EXPECT_TRUE(h.w().MSFlexGrid1->cellEmphasis(1, 2));
}

TEST(MailRegisterSender, NameAndAddressAreTakenFromTheSender) {
    struct Case {
        QString sender, name, address;
    };
    const Case cases[] = {
        {QStringLiteral(" 山田 太郎 <taro@example.test>"), QStringLiteral(" 山田 太郎 "),
         QStringLiteral("taro@example.test")},
        {QStringLiteral(" \"Yamada, Hanako\" <hanako@example.test>"),
         QStringLiteral(" Yamada, Hanako "), QStringLiteral("hanako@example.test")},
        {QStringLiteral("  plain@example.test "), QStringLiteral(" "),
         QStringLiteral("plain@example.test")},
        {QStringLiteral("a>b <c@example.test>"), QStringLiteral("a>b "),
         QStringLiteral("c@example.test")},
        {QStringLiteral("odd> <form"), QStringLiteral(" "), QStringLiteral("odd> <form")},
        {QStringLiteral(" O'Brien <o'brien%1@example.test>"), QStringLiteral(" O'Brien "),
         QStringLiteral("o'brien%1@example.test")},
    };
    for (const Case& c : cases) {
        WindowHarness h;
        MailSeed seed(h);
        seed.mail(1, QStringLiteral("件名"), QString(), c.sender);
        open_list_at(h, 1);
        h.key(Qt::Key_Insert);
        EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("アドレス帳に登録しました")});
        const std::vector<AddressRow> rows = h.store().addresses();
        ASSERT_EQ(rows.size(), 1u) << c.sender.toStdString();
        EXPECT_EQ(rows[0].name, c.name);
        EXPECT_EQ(rows[0].address, c.address);
        // The address book shows the new row at once.
        ASSERT_EQ(h.w().List2->count(), 1);
        EXPECT_EQ(h.w().List2->item(0)->text(), c.address + "::" + c.name + ":::1");
        EXPECT_EQ(h.w().MSFlexGrid1->currentColumn(), 1);
    }
}

TEST(MailRegisterSender, TheMenuEntryRegistersTheCurrentRowsSenderEachTime) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("件名"), QString(), QStringLiteral(" 花子 <hanako@example.test>"));
    open_list_at(h, 1);
    h.trigger(QStringLiteral("t_add_address"));
    h.trigger(QStringLiteral("t_add_address"));
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{QStringLiteral("アドレス帳に登録しました"),
                                                QStringLiteral("アドレス帳に登録しました")}));
    EXPECT_EQ(h.store().addresses().size(), 2u);
}

TEST(MailRegisterSender, ASenderWithoutAnAddressIsNotRegistered) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(1, QStringLiteral("件名"), QString(), QStringLiteral(" 名無し <>"));
    open_list_at(h, 1);
    h.key(Qt::Key_Insert);
    ASSERT_EQ(h.spokenSinceMark().size(), 1);
    EXPECT_TRUE(h.store().addresses().empty());
}

TEST(MailReplyAndMove, EscAsksForAReplyOnTheCurrentRow) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(2, QStringLiteral("新"));
    seed.mail(1, QStringLiteral("旧"));
    int rowAtReply = -1;
    open_list_at(h, 2);
    QObject::connect(h.parts().mail_commands, &MailCommands::replyRequested,
                     [&] { rowAtReply = h.w().MSFlexGrid1->currentRow(); });
    h.key(Qt::Key_Escape);
    EXPECT_EQ(rowAtReply, 2);
}

TEST(MailReplyAndMove, SpaceArmsAMoveAndHandsOverToTheFolderList) {
    WindowHarness h;
    MailSeed seed(h);
    seed.mail(2, QStringLiteral("新"));
    seed.mail(1, QStringLiteral("旧"));
    open_list_at(h, 2);
    h.key(Qt::Key_Space);
    EXPECT_TRUE(h.parts().folders->move_pending());
    EXPECT_EQ(h.parts().folders->move_mail_id(), 2);
    EXPECT_EQ(QApplication::focusWidget(), h.w().List1);
    EXPECT_EQ(h.spokenSinceMark(),
              QStringList{QStringLiteral(
                  "フォルダ メール移動操作 矢印キーで選択してINSキーを押してください")});
    // The blank that armed the move did not also jump to a sender beginning with a blank.
    EXPECT_EQ(h.w().MSFlexGrid1->currentRow(), 2);
}
