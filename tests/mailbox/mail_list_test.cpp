#include "mailbox/mail_list.h"
#include "mailbox/mail_commands.h"
#include "mailbox/mail_seed.h"
#include "support/golden.h"

#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QTextEdit>

using namespace qv;
using namespace qv::test;
using Cell = std::pair<int, int>;

TEST_F(ListTest, FillsNewestFirstAndEachMoveSaysTheMailWithoutMarkingItRead) {
    mail("2026/12/01 09:00:00", " 古い <old@example.test>", "古いメール", "a", {}, true);
    mail("2026/12/03 10:05:00", " 新しい <new@example.test>", "新しいメール", "b", "/t/v.mp3");
    mail("2026/12/02 09:00:00", "mid@example.test", "真ん中", "c");
    mail("2026/12/04 09:00:00", "x@example.test", "保存した", "d", {}, false, "保存");
    ASSERT_TRUE(h.start());
    EXPECT_EQ(grid()->cellText(0, 0), "ID");  // the other titles are heard with their cells
    EXPECT_EQ(column(0) + column(1), (QStringList{"2", "3", "1", " 新しい <new@example.test>",
                                                  "mid@example.test", " 古い <old@example.test>"}));
    EXPECT_EQ(column(2), (QStringList{"♪　新しいメール", "真ん中", "古いメール"}));
    for (int c = 0; c < 4; ++c)
        EXPECT_TRUE(grid()->cellEmphasis(2, c) && !grid()->cellEmphasis(3, c));
    // The count, then the unread subjects; the header row is current, the first mail one down.
    EXPECT_EQ(h.spoken().mid(h.spoken().size() - 3),
              (QStringList{"メール数は3", "♪　新しいメール", "真ん中"}));
    h.focus(h.w().List2);
    EXPECT_EQ(
        press(Qt::Key_A, Qt::ControlModifier),
        (QStringList{"受信フォルダー 3通 未読2通", "見出し行です。下矢印キーでメールに移ります"}));
    EXPECT_EQ(h.w().cmd_message->text() + QString::number(h.focus().help_context), kInbox + "2");
    EXPECT_EQ(background(grid()), QColor(200, 200, 200));
    // The grid names no keys on arrival: the address book's guide is still shown.
    EXPECT_EQ(h.w().shortcut02->text(), AddressBook::key_guide());
    // On the header row the mail keys change nothing, and say so.
    for (int key :
         {Qt::Key_Return, Qt::Key_Delete, Qt::Key_Insert, Qt::Key_Escape, Qt::Key_Space}) {
        EXPECT_EQ(press(key), QStringList{MailCommands::no_mail_selected()}) << key;
        EXPECT_EQ(QApplication::focusWidget(), grid()) << key;
    }
    EXPECT_EQ(h.w().cmd_message->text(), MailCommands::no_mail_selected());

    // Each row of grid_moves.txt: the key, what it says, the cell it leaves current.
    for (const QString& line : golden_lines("mailbox/grid_moves.txt")) {
        const QStringList c = line.split(u'\t');
        const QKeyCombination key = QKeySequence(c[0])[0];
        EXPECT_EQ(press(key.key(), key.keyboardModifiers()), QStringList{c[1]}) << line;
        EXPECT_EQ(QStringLiteral("%1 %2").arg(cell().first).arg(cell().second), c[2]) << line;
    }
    EXPECT_EQ(h.w().shortcut02->text(), MailCommands::key_guide());
    EXPECT_EQ(stored(), (QStringList{"2:未読:新しいメール", "3:未読:真ん中", "1:既読:古いメール"}));
    EXPECT_TRUE(grid()->cellEmphasis(1, 2) && grid()->cellEmphasis(2, 2));
    EXPECT_TRUE(h.store().addresses().empty() && h.w().bodytext->toPlainText().isEmpty());
    EXPECT_FALSE(h.parts().folders->move_pending());
    // The entered cell is highlighted in a readable colour; the cell left turns white.
    EXPECT_EQ(grid()->cellBackground(1, 1), QColor(255, 255, 0));
    EXPECT_EQ(grid()->cellBackground(1, 2), QColor(255, 255, 255));
    h.focus(h.w().List1);
    EXPECT_EQ(background(grid()), QColor(255, 255, 255));
}

TEST_F(ListTest, HoldsMoreThanFiveHundredMails) {
    ASSERT_TRUE(h.seed().database().transaction());
    for (int i = 0; i < 750; ++i) mail("2026/11/01 10:00:00", "a@example.test", "件名");
    ASSERT_TRUE(h.seed().database().commit());
    open_list_at(0);
    EXPECT_EQ(grid()->rowCount(), 751);
    EXPECT_TRUE(h.spoken().contains("メール数は750"));
}

TEST_F(ListTest, EnterReadsTheMailAndTheReadOutsFollowTheGrid) {
    QString body;
    for (int i = 0; i < 150; ++i) body += QChar(u'あ' + i % 40);
    mail("2026/12/01 10:03:00", "a@example.test", "一番目", {}, "/m/report.MP3.pdf", true);
    mail("2026/12/01 10:02:00", " 山田 <y@example.test>", "声の便り", body, "/m/voice.mp3");
    mail("2026/12/01 10:01:00", "a@example.test", "三番目", {}, {}, true);
    QStringList heardBeforePause;
    h.pauser.onPause = [&](int) { heardBeforePause = h.spoken(); };
    open_list_at(0);
    EXPECT_EQ(press(Qt::Key_U, Qt::ControlModifier), QStringList{"♪　声の便り"});
    EXPECT_EQ(cell(), Cell(1, 1));
    grid()->setCurrentCell(3, 3);
    h.trigger("read_subject");
    EXPECT_EQ(said(), (QStringList{"♪　一番目", "♪　声の便り", "三番目"}));
    EXPECT_EQ(cell(), Cell(1, 1));
    EXPECT_EQ(press(Qt::Key_P, Qt::ControlModifier).size(), 3);  // as the fixed guide promises
    h.key(Qt::Key_Down);
    EXPECT_EQ(press(Qt::Key_Return), (QStringList{"♪　声の便り", body.left(100), body.mid(100)}));
    EXPECT_EQ(h.w().bodytext->toPlainText(), body);
    // The pause comes once the mail is queued for speaking, then the player starts.
    EXPECT_EQ(h.pauser.pauses, std::vector<int>{4});
    EXPECT_TRUE(heardBeforePause.endsWith(body.mid(100)));
    EXPECT_EQ(h.player.played, QStringList{"/m/voice.mp3"});
    EXPECT_EQ(stored(), (QStringList{"1:既読:一番目", "2:既読:声の便り", "3:既読:三番目"}));
    for (int c = 0; c < 4; ++c) EXPECT_FALSE(grid()->cellEmphasis(2, c)) << c;
    EXPECT_EQ(cell(), Cell(2, 1));
    // Reading the only unread mail leaves none, though the list was not filled again.
    EXPECT_EQ(press(Qt::Key_U, Qt::ControlModifier), QStringList{"未読メールは有りません"});
    EXPECT_EQ(cell(), Cell(3, 2));
    // Another attachment is only named, never played; an empty body says nothing.
    h.key(Qt::Key_Home);
    EXPECT_EQ(press(Qt::Key_Return),
              (QStringList{"♪　一番目",
                           "添付ファイル「report.MP3.pdf」（PDF文書）があります。"
                           "音声ではないので開きません"}));
    EXPECT_EQ(h.player.played.size() + h.pauser.pauses.size(), 2u);
}

TEST_F(ListTest, DelDeletesTheMailAndSaysTheRowThatTakesItsPlaceUntilTheFolderIsEmpty) {
    for (const char* s : {"一", "二", "三"})
        mail("2026/12/01 10:00:0" + QString::number(9 - mails), "差出人 <f@example.test>", s);
    open_list_at(2);
    EXPECT_EQ(press(Qt::Key_Delete),
              (QStringList{"メールを削除しました", "未読、差出人、三、12月1日 10時"}));
    EXPECT_EQ(column(2), (QStringList{"一", "三"}));
    EXPECT_TRUE(grid()->cellEmphasis(2, 1));
    EXPECT_EQ(stored(), (QStringList{"1:未読:一", "3:未読:三"}));
    EXPECT_EQ(cell(), Cell(2, 1));
    h.key(Qt::Key_Delete);  // the last row: the one above takes its place
    EXPECT_EQ(cell(), Cell(1, 1));
    h.key(Qt::Key_Delete);  // the last mail: the header is left, and keys change nothing
    EXPECT_EQ(cell(), Cell(0, 1));
    EXPECT_EQ(grid()->cellText(0, 2) + QString::number(grid()->rowCount()), "件名1");
    for (int key : {Qt::Key_Delete, Qt::Key_Return, Qt::Key_Down, Qt::Key_End, Qt::Key_Right}) {
        EXPECT_EQ(press(key), QStringList{MailCommands::folder_is_empty()}) << key;
    }
    h.trigger("read_subject");
    EXPECT_EQ(cell(), Cell(0, 2));
    EXPECT_EQ(press(Qt::Key_A, Qt::ControlModifier), QStringList{"受信フォルダー 0通 未読0通"});
}

TEST_F(ListTest, InsAndTheMenuRegisterTheSendersNameAndAddress) {
    // Each row of senders_registered.txt: the sender, the name and the address registered.
    QList<QStringList> cases;
    for (const QString& line : golden_lines("mailbox/senders_registered.txt"))
        cases << line.split(u'\t');
    for (const auto& c : cases)
        mail(QStringLiteral("2026/12/01 10:0%1:00").arg(9 - mails), c[0], "件名");
    open_list_at(0);
    int id = 0;
    for (const auto& c : cases) {
        h.key(Qt::Key_Down);
        const QStringList heard = press(Qt::Key_Insert);
        EXPECT_EQ(heard.size() == 1 && heard[0] == "アドレス帳に登録しました", !c[2].isEmpty());
        if (c[2].isEmpty()) continue;
        // The address book shows the new row at once.
        const QString item = c[2] + "::" + c[1] + ":::" + QString::number(++id);
        EXPECT_EQ(h.w().List2->findItems(item, Qt::MatchExactly).size(), 1) << item.toStdString();
    }
    // The menu entry registers the current row's sender, each time it is chosen.
    h.key(Qt::Key_Home);
    h.trigger("t_add_address");
    h.trigger("t_add_address");
    EXPECT_EQ(h.store().addresses().size(), 8u);
    EXPECT_EQ(grid()->currentColumn(), 1);
}
