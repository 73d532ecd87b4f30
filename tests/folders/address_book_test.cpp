#include "folders/address_book.h"
#include "mailbox/mail_seed.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

QStringList items(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QStringList stored_addresses(MailStore& store) {
    QStringList out;
    for (const AddressRow& r : store.addresses()) out << r.address;
    return out;
}

// Focuses the address book and selects the n-th item (from 1) with the arrow keys.
void choose(WindowHarness& h, int n) {
    h.focus(h.w().List2);
    for (int i = 0; i < n; ++i) h.key(Qt::Key_Down);
    h.mark();
}

}  // namespace

TEST(AddressBook, RowsInAddressOrderAnnouncedOnArrival) {
    WindowHarness h;
    MailSeed seed(h);
    seed.address(QStringLiteral("N1"), QStringLiteral("B"));
    seed.address(QStringLiteral("N2"), QStringLiteral("A"));
    seed.address(QStringLiteral("名前::コロン"), QStringLiteral("C"));
    ASSERT_TRUE(h.start());
    EXPECT_EQ(items(h.w().List2),
              (QStringList{"A::N2:::2", "B::N1:::1", QStringLiteral("C::名前::コロン:::3")}));
    h.mark();
    h.focus(h.w().List2);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("アドレス帳")});
    EXPECT_EQ(h.w().cmd_message->text(), QStringLiteral("アドレス帳"));
    EXPECT_EQ(h.w().shortcut02->text(), QStringLiteral("[矢印:選択 DEL:削除 ESC:メール送信 ]"));
    EXPECT_EQ(h.focus().help_context, 6);
    EXPECT_EQ(background(h.w().List2), QColor(200, 200, 200));
    // ENTER says the address alone, even when the name holds "::".
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Return);
    h.key(Qt::Key_End);
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{"A", "C"}));
}

TEST(AddressBook, EscBeginsAMailToTheAddress) {
    WindowHarness h;
    MailSeed seed(h);
    seed.address(QStringLiteral("花子"), QStringLiteral("hanako@example.test"));
    ASSERT_TRUE(h.start());
    h.w().subject->setText(QStringLiteral("前の件名"));
    choose(h, 1);
    h.key(Qt::Key_Escape);
    const QStringList said = h.spokenSinceMark();
    ASSERT_FALSE(said.isEmpty());
    EXPECT_EQ(said.first(), QStringLiteral("件名を入力してください"));
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("hanako@example.test"));
    EXPECT_TRUE(h.w().subject->text().isEmpty());
    EXPECT_EQ(h.w().body->toPlainText(), QStringLiteral("\n署名です"));
    EXPECT_EQ(QApplication::focusWidget(), h.w().subject);
    EXPECT_EQ(h.w().cmd_message->text(), QStringLiteral("hanako@example.testへのメール送信"));
}

TEST(AddressBook, DelRemovesEveryRowOfThatAddressAndNoOther) {
    WindowHarness h;
    MailSeed seed(h);
    seed.address(QStringLiteral("一"), QStringLiteral("dup@example.test"));
    seed.address(QStringLiteral("長い"), QStringLiteral("dup@example.test.jp"));
    seed.address(QStringLiteral("二"), QStringLiteral("dup@example.test"));
    seed.address(QStringLiteral("引用"), QStringLiteral("o'neil%1@example.test"));
    seed.address(QStringLiteral("似た"), QStringLiteral("o'neilX1@example.test"));
    ASSERT_TRUE(h.start());
    choose(h, 2);  // the second of the two dup@example.test rows
    h.key(Qt::Key_Delete);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("アドレス削除しました")});
    EXPECT_EQ(
        stored_addresses(h.store()),
        (QStringList{"dup@example.test.jp", "o'neil%1@example.test", "o'neilX1@example.test"}));
    EXPECT_EQ(items(h.w().List2), (QStringList{QStringLiteral("dup@example.test.jp::長い:::2"),
                                               QStringLiteral("o'neil%1@example.test::引用:::4"),
                                               QStringLiteral("o'neilX1@example.test::似た:::5")}));
    // A quote and a percent sign in the address are matched as written.
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Delete);
    EXPECT_EQ(stored_addresses(h.store()),
              (QStringList{"dup@example.test.jp", "o'neilX1@example.test"}));
}

TEST(AddressBook, WithNothingSelectedKeysSaySoAndChangeNothing) {
    WindowHarness h;
    MailSeed seed(h);
    seed.address(QStringLiteral("名"), QStringLiteral("keep@example.test"));
    ASSERT_TRUE(h.start());
    h.w().mailto->setText(QStringLiteral("typed@example.test"));
    choose(h, 0);
    for (int key : {Qt::Key_Return, Qt::Key_Delete, Qt::Key_Escape}) {
        h.key(key);
        const QStringList said = h.spokenSinceMark();
        ASSERT_EQ(said.size(), 1) << key;
        EXPECT_TRUE(said[0].contains(QStringLiteral("選択されていません"))) << key;
    }
    EXPECT_EQ(stored_addresses(h.store()), QStringList{"keep@example.test"});
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("typed@example.test"));
    EXPECT_EQ(QApplication::focusWidget(), h.w().List2);
    // The first arrow key then selects the first row, not the second.
    h.key(Qt::Key_Down);
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{"keep@example.test"});
}

TEST(AddressBook, AnEmptyBookSaysHowToFillIt) {
    WindowHarness h;
    MailSeed seed(h);
    ASSERT_TRUE(h.start());
    choose(h, 1);
    h.key(Qt::Key_Delete);
    const QStringList said = h.spokenSinceMark();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains(QStringLiteral("INS")));
}

TEST(AddressBook, MenuEntrySaysEditingThenTheBookAnnouncesItself) {
    WindowHarness h;
    MailSeed seed(h);
    ASSERT_TRUE(h.start());
    h.mark();
    h.trigger(QStringLiteral("t_address"));
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{QStringLiteral("アドレス帳編集"), QStringLiteral("アドレス帳")}));
    EXPECT_EQ(h.focus().help_context, 6);
    EXPECT_EQ(QApplication::focusWidget(), h.w().List2);
    // Already in the address book: no arrival, so the help section stays the editing one.
    h.trigger(QStringLiteral("t_address"));
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("アドレス帳編集")});
    EXPECT_EQ(h.focus().help_context, 5);
}
