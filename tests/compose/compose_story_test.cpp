// The compose fields as the user hears them: a new mail from Ctrl+N to ESC, the completion of
// a typed address, an empty recipient, the inquiry address, replies, and "送受信".

#include "compose/compose_fields.h"
#include "compose_support.h"
#include "mailbox/flex_grid.h"
#include "speech/speech_channel.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::commit_text;
using qv::test::TestAccount;
using qv::test::WindowHarness;

namespace {

QStringList list(std::initializer_list<const char*> texts) {
    QStringList out;
    for (const char* t : texts) out << QString::fromUtf8(t);
    return out;
}

// The fake component, also remembering the SMTP logins it is given.
class LoginKeepingComponent : public qv::test::FakeMailComponent {
  public:
    void setSmtpLogin(const QString& user, const QString& password) override {
        logins << user + QLatin1Char(':') + password;
    }
    QStringList logins;
};

class ComposeStory : public ::testing::Test {
  protected:
    void SetUp() override {
        h.componentInstead = &component;
        MailStore& db = h.seed();
        qv::test::seed_current_account(db, TestAccount{});
        ASSERT_TRUE(db.updateSignature(QStringLiteral("山田太郎\r\ntaro@example.test")));
    }
    void start() {
        ASSERT_TRUE(h.start());
        h.mark();
    }
    QString status() { return h.w().cmd_message->text(); }
    QString guide() { return h.w().shortcut02->text(); }

    LoginKeepingComponent component;
    WindowHarness h;
};

TEST_F(ComposeStory, NewMailFromCtrlNToEsc) {
    ASSERT_TRUE(
        h.seed().insertAddress(QStringLiteral("花子"), QStringLiteral("hanako@example.test")));
    start();
    h.w().mailto->setText(QStringLiteral("left over"));

    // Ctrl+N: the recipient field, empty, announces the new mail.
    h.key(Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(h.w().mailto->hasFocus());
    EXPECT_EQ(h.spokenSinceMark(), list({"送信先を入力してください"}));
    EXPECT_EQ(status(), QStringLiteral("送信メール入力"));
    EXPECT_EQ(guide(), QStringLiteral("[TAB:次 ]"));
    EXPECT_EQ(h.focus().help_context, 4);
    EXPECT_EQ(background(h.w().mailto), h.focus().focus_color);
    EXPECT_EQ(h.w().mailto->text(), QString());

    // The beginning of an address, then TAB: completed from the address book.
    h.type(QStringLiteral("hana"));
    h.key(Qt::Key_Tab);
    EXPECT_EQ(h.spokenSinceMark(), list({"花子", "[送信先アドレスは]hanako@example.test",
                                         "メール件名を入力してください"}));
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("hanako@example.test"));
    EXPECT_EQ(background(h.w().mailto), h.focus().normal_color);
    EXPECT_TRUE(h.w().subject->hasFocus());
    EXPECT_EQ(background(h.w().subject), h.focus().focus_color);
    EXPECT_EQ(guide(), QStringLiteral("[TAB:次 ]"));
    EXPECT_EQ(h.focus().help_context, 4);

    commit_text(QStringLiteral("会議の件"));
    h.key(Qt::Key_Tab);
    EXPECT_EQ(h.spokenSinceMark(), list({"件名は会議の件", "メール本文を入力してください"}));
    EXPECT_EQ(background(h.w().subject), h.focus().normal_color);
    ASSERT_TRUE(h.w().body->hasFocus());
    EXPECT_EQ(guide(), QStringLiteral("[INS:音声録音 ENTER:作成したメールの確認 ESC:メール送信 ]"));
    EXPECT_EQ(h.focus().help_context, 5);
    EXPECT_EQ(background(h.w().body), h.focus().focus_color);
    EXPECT_EQ(h.w().body->toPlainText(), QStringLiteral("\n山田太郎\ntaro@example.test"));
    EXPECT_EQ(h.w().body->textCursor().position(), 0);

    // What is typed goes in front of the empty line and the signature.
    commit_text(QStringLiteral("明日は十時です。"));
    EXPECT_EQ(h.w().body->toPlainText(),
              QStringLiteral("明日は十時です。\n山田太郎\ntaro@example.test"));

    // ENTER reads the mail back, and still breaks the line.
    h.key(Qt::Key_Return);
    EXPECT_EQ(h.spokenSinceMark(),
              list({"作成したメールの確認", "送信先hanako@example.test", "件名会議の件",
                    "本文明日は十時です。\n山田太郎\ntaro@example.test"}));
    EXPECT_EQ(h.w().body->toPlainText(),
              QStringLiteral("明日は十時です。\n\n山田太郎\ntaro@example.test"));
    commit_text(QStringLiteral("よろしく"));
    const QString body = h.w().body->toPlainText();

    // ESC sends: a POP3 look first, then the mail through the current account.
    component.calls.clear();
    h.key(Qt::Key_Escape);
    const QString done = QStringLiteral("メールをhanako@example.testへ送信しました");
    EXPECT_EQ(h.spokenSinceMark(), QStringList({QStringLiteral("メールを送信します"), done}));
    EXPECT_EQ(status(), done);
    ASSERT_EQ(component.trace(), QStringList({"RcvMail LIST", "SendMail"}));
    EXPECT_EQ(component.calls[0].args,
              QStringList({"pop.example.test", "taro", "secret", "LIST", h.paths().mail_dir}));
    EXPECT_EQ(component.calls[1].args,
              QStringList({"smtp.example.test", "hanako@example.test", "taro@example.test",
                           QStringLiteral("会議の件"), body, QString()}));
    EXPECT_EQ(component.logins, QStringList({"taro:secret"}));
    // The fields keep the mail and the focus stays in the body.
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("hanako@example.test"));
    EXPECT_EQ(h.w().subject->text(), QStringLiteral("会議の件"));
    EXPECT_EQ(h.w().body->toPlainText(), body);
    EXPECT_TRUE(h.w().body->hasFocus());
}

TEST_F(ComposeStory, CompletionTakesTheFirstOfTwoMatchingAddresses) {
    MailStore& db = h.seed();
    ASSERT_TRUE(db.insertAddress(QStringLiteral("田中"), QStringLiteral("tanaka@example.test")));
    ASSERT_TRUE(db.insertAddress(QStringLiteral("田辺"), QStringLiteral("tanabe@example.test")));
    ASSERT_TRUE(db.insertAddress(QStringLiteral("他人"), QStringLiteral("ota@example.test")));
    start();
    const std::vector<AddressRow> rows = h.store().addressesStartingWith(QStringLiteral("tana"));
    ASSERT_EQ(rows.size(), 2u);

    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(QStringLiteral("tana"));
    h.key(Qt::Key_Tab);
    EXPECT_EQ(h.spokenSinceMark(),
              QStringList({QStringLiteral("送信先を入力してください"), rows.front().name,
                           QStringLiteral("[送信先アドレスは]") + rows.front().address,
                           QStringLiteral("メール件名を入力してください")}));
    EXPECT_EQ(h.w().mailto->text(), rows.front().address);
}

TEST_F(ComposeStory, TypedTextThatBeginsNoAddressStaysAsTyped) {
    MailStore& db = h.seed();
    ASSERT_TRUE(db.insertAddress(QStringLiteral("田中"), QStringLiteral("tanaka@example.test")));
    ASSERT_TRUE(db.insertAddress(QStringLiteral("下線"), QStringLiteral("a_b@example.test")));
    start();
    // The wildcards of a database pattern are plain characters here.
    for (const QString& typed :
         {QStringLiteral("t%"), QStringLiteral("tan_ka"), QStringLiteral("nobody@example.test")}) {
        h.key(Qt::Key_N, Qt::ControlModifier);
        h.type(typed);
        h.mark();
        h.key(Qt::Key_Tab);
        EXPECT_EQ(h.spokenSinceMark(),
                  QStringList({QStringLiteral("[送信先アドレスは]") + typed,
                               QStringLiteral("メール件名を入力してください")}))
            << typed.toStdString();
        EXPECT_EQ(h.w().mailto->text(), typed);
        h.focus(h.w().List1);
    }
    // ...and match themselves.
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(QStringLiteral("a_"));
    h.mark();
    h.key(Qt::Key_Tab);
    EXPECT_EQ(h.spokenSinceMark(),
              list({"下線", "[送信先アドレスは]a_b@example.test", "メール件名を入力してください"}));
}

TEST_F(ComposeStory, AnEmptyRecipientIsNeitherReadBackNorSent) {
    start();
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.key(Qt::Key_Tab);  // leaving it empty says nothing
    EXPECT_EQ(h.spokenSinceMark(),
              list({"送信先を入力してください", "メール件名を入力してください"}));
    commit_text(QStringLiteral("件名だけ"));
    h.key(Qt::Key_Tab);
    h.mark();
    h.key(Qt::Key_Return);
    h.trigger(QStringLiteral("msg_confirtm"));
    EXPECT_EQ(h.spokenSinceMark(),
              list({"送信先が入力されていません", "送信先が入力されていません"}));

    component.calls.clear();
    const QString shown = status();
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.spokenSinceMark(), QStringList());
    EXPECT_TRUE(component.calls.empty());
    EXPECT_EQ(status(), shown);
}

TEST_F(ComposeStory, TheInquiryAddressFillsTheSubjectAndMovesOnToTheBody) {
    start();
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(ComposeFields::inquiry_address());
    h.key(Qt::Key_Tab);
    EXPECT_EQ(h.spokenSinceMark(),
              QStringList({QStringLiteral("送信先を入力してください"),
                           QStringLiteral("[送信先アドレスは]") + ComposeFields::inquiry_address(),
                           QStringLiteral("件名は依頼、問い合わせ"),
                           QStringLiteral("メール本文を入力してください")}));
    EXPECT_TRUE(h.w().body->hasFocus());
    EXPECT_EQ(h.w().subject->text(), QStringLiteral("依頼、問い合わせ"));
    EXPECT_EQ(background(h.w().subject), h.focus().normal_color);
    EXPECT_EQ(h.w().body->toPlainText(), QStringLiteral("\n山田太郎\ntaro@example.test"));
    // Any other recipient leaves the subject to the user.
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(QStringLiteral("support@quorvel.example.org"));
    h.key(Qt::Key_Tab);
    EXPECT_TRUE(h.w().subject->hasFocus());
    EXPECT_EQ(h.w().subject->text(), QString());
}

TEST_F(ComposeStory, FieldsEmptyOrResetWhenTheUserComesBack) {
    start();
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(QStringLiteral("a@example.test"));
    h.key(Qt::Key_Tab);
    commit_text(QStringLiteral("件名"));
    h.key(Qt::Key_Tab);
    commit_text(QStringLiteral("本文の下書き"));
    h.key(Qt::Key_Tab);  // on to the folder list
    EXPECT_EQ(background(h.w().body), h.focus().normal_color);
    h.key(Qt::Key_Backtab);  // and back
    EXPECT_EQ(h.w().body->toPlainText(), QStringLiteral("\n山田太郎\ntaro@example.test"));
    h.key(Qt::Key_Backtab);
    EXPECT_EQ(h.w().subject->text(), QString());
    h.key(Qt::Key_Backtab);
    EXPECT_EQ(h.w().mailto->text(), QString());
}

TEST_F(ComposeStory, AnotherWindowOrAMenuDoesNotCostTheUserTheirText) {
    start();
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(QStringLiteral("a@example.test"));
    h.key(Qt::Key_Tab);
    h.key(Qt::Key_Tab);
    commit_text(QStringLiteral("大事な本文"));
    const QString typed = h.w().body->toPlainText();
    h.mark();
    for (Qt::FocusReason reason :
         {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::MenuBarFocusReason}) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(h.w().body, &out);
        QFocusEvent in(QEvent::FocusIn, reason);
        QApplication::sendEvent(h.w().body, &in);
    }
    EXPECT_EQ(h.w().body->toPlainText(), typed);
    EXPECT_EQ(h.spokenSinceMark(), QStringList());
    // Moving to it within the window is a new start, as always.
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(h.w().body, &in);
    EXPECT_EQ(h.w().body->toPlainText(), QStringLiteral("\n山田太郎\ntaro@example.test"));
}

TEST_F(ComposeStory, CtrlNInTheRecipientFieldDoesNotEmptyItAgain) {
    start();
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(QStringLiteral("half@exa"));
    h.mark();
    h.key(Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(h.spokenSinceMark(), QStringList());
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("half@exa"));
}

// Replies, built from the mail list's current row.
class ReplyStory : public ComposeStory {
  protected:
    void seed_mail(const QString& date, const QString& from, const QString& subject,
                   const QString& attach = QString()) {
        ASSERT_TRUE(h.seed().insertMail(date, QStringLiteral("f") + date.right(2), from, subject,
                                        QStringLiteral("本文"), attach));
    }
    int row_from(const QString& sender) {
        FlexGrid* grid = h.w().MSFlexGrid1;
        for (int r = 1; r < grid->rowCount(); ++r)
            if (grid->cellText(r, 1) == sender) return r;
        ADD_FAILURE() << "no row from " << sender.toStdString();
        return 1;
    }
};

TEST_F(ReplyStory, ToANameWithAnAddressAndToABareAddress) {
    seed_mail(QStringLiteral("2026/12/01 10:00:01"),
              QStringLiteral(" 山田 花子 <hanako@example.test>"), QStringLiteral("見積もりの件"));
    seed_mail(QStringLiteral("2026/12/02 10:00:02"), QStringLiteral(" jiro@example.test"),
              QStringLiteral("Re: 予定"), QStringLiteral("/tmp/voice.mp3"));
    start();
    FlexGrid* grid = h.w().MSFlexGrid1;

    grid->setCurrentCell(row_from(QStringLiteral(" 山田 花子 <hanako@example.test>")), 3);
    h.key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(h.spokenSinceMark(), list({"[返信]メール：アドレスと件名を自動入力しました",
                                         "メール本文を入力してください"}));
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("hanako@example.test"));
    EXPECT_EQ(h.w().subject->text(), QStringLiteral("Re: 見積もりの件"));
    EXPECT_TRUE(h.w().body->hasFocus());
    EXPECT_EQ(h.w().body->toPlainText(), QStringLiteral("\n山田太郎\ntaro@example.test"));
    EXPECT_EQ(grid->currentColumn(), 1);

    // A bare address is taken whole; a subject with "Re: " gets another, and the list's mark
    // for an attachment is not part of it.
    grid->setCurrentCell(row_from(QStringLiteral(" jiro@example.test")), 1);
    h.trigger(QStringLiteral("msg_replay"));
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("jiro@example.test"));
    EXPECT_EQ(h.w().subject->text(), QStringLiteral("Re: Re: 予定"));
    EXPECT_EQ(h.spokenSinceMark(), list({"[返信]メール：アドレスと件名を自動入力しました",
                                         "メール本文を入力してください"}));

    // ESC on a mail in the list replies the same way.
    h.focus(grid);
    grid->setCurrentCell(row_from(QStringLiteral(" 山田 花子 <hanako@example.test>")), 1);
    h.mark();
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("hanako@example.test"));
    EXPECT_TRUE(h.spokenSinceMark().contains(
        QStringLiteral("[返信]メール：アドレスと件名を自動入力しました")));
    EXPECT_TRUE(h.w().body->hasFocus());
}

TEST_F(ReplyStory, OnTheHeaderRowOrAnEmptyListNothingChanges) {
    seed_mail(QStringLiteral("2026/12/01 10:00:01"), QStringLiteral(" a <a@example.test>"),
              QStringLiteral("件名"));
    start();
    h.w().mailto->setText(QStringLiteral("keep@example.test"));
    h.w().subject->setText(QStringLiteral("そのまま"));
    ASSERT_EQ(h.w().MSFlexGrid1->currentRow(), 0);  // where the start-up leaves it
    h.key(Qt::Key_R, Qt::ControlModifier);
    const QStringList said = h.spokenSinceMark();
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].startsWith(QStringLiteral("返信するメールが選択されていません")));
    EXPECT_EQ(status(), said[0]);
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("keep@example.test"));
    EXPECT_EQ(h.w().subject->text(), QStringLiteral("そのまま"));

    WindowHarness empty;
    ASSERT_TRUE(empty.start());
    empty.mark();
    empty.trigger(QStringLiteral("msg_replay"));
    const QStringList nothing = empty.spokenSinceMark();
    ASSERT_EQ(nothing.size(), 1);
    EXPECT_TRUE(nothing[0].startsWith(QStringLiteral("返信するメールがありません")));
    EXPECT_EQ(empty.w().mailto->text(), QString());
}

TEST_F(ComposeStory, SendAndReceiveWithAnEmptyRecipientOnlyReceives) {
    component.onRcvMail = [](const QString&, const QString&, const QString& command) -> MailArray {
        if (command == QLatin1String("STAT")) return QStringList{QStringLiteral("0 0")};
        return QStringList{};
    };
    start();
    component.calls.clear();
    h.key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(component.trace(), QStringList({"RcvMail SAVEALLD"}));
    EXPECT_FALSE(h.spoken().contains(QStringLiteral("メールを送信します")));

    // With a recipient, the send follows the receive.
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(QStringLiteral("b@example.test"));
    h.key(Qt::Key_Tab);
    component.calls.clear();
    h.mark();
    h.key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(component.trace(), QStringList({"RcvMail SAVEALLD", "RcvMail LIST", "SendMail"}));
    const QStringList said = h.spokenSinceMark();
    ASSERT_GE(said.size(), 2);
    EXPECT_EQ(said.mid(said.size() - 2),
              list({"メールを送信します", "メールをb@example.testへ送信しました"}));
}

}  // namespace
