// Composing by keys only as the user hears it: a refused then a repeated ESC, completion, replies.

#include "compose/mail_sender.h"
#include "compose_support.h"
#include "mailbox/flex_grid.h"

using namespace qv;
using namespace qv::test;

namespace {

TEST_F(ComposeWindow, AMailByKeysIsKeptThroughARefusalAndSentByTheNextEsc) {
    start();
    write("hana", "会議の件", "明日は十時です。");
    // A menu or another window passing through the body says nothing.
    for (auto why : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::MenuBarFocusReason}) {
        QFocusEvent out(QEvent::FocusOut, why), in(QEvent::FocusIn, why);
        QApplication::sendEvent(h.w().body, &out);
        QApplication::sendEvent(h.w().body, &in);
    }
    EXPECT_EQ(h.spokenSinceMark(), transcript("typed_by_keys.txt"));
    // Away to the folder list and back through every field: nothing lost, each value heard.
    h.key(Qt::Key_Tab);
    h.mark();
    for (int i = 0; i < 3; ++i) h.key(Qt::Key_Backtab);
    EXPECT_EQ(h.spokenSinceMark(), transcript("fields_revisited.txt"));
    for (int i = 0; i < 2; ++i) h.key(Qt::Key_Tab);

    // ENTER reads the mail back; ESC is refused: the mail and its recording stay.
    const QString voice = pending_recording("ID3 voice");
    h.component.sendAnswer = "送信できませんでした（認証に失敗しました）";
    h.mark();
    h.key(Qt::Key_Return);
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.spokenSinceMark(), transcript("read_back_refused.txt"));
    // ENTER in the read-back also broke the line.
    const QStringList typed{"hanako@example.test", "会議の件", "明日は十時です。\n" + kSigned};
    EXPECT_EQ(fields(), typed);
    EXPECT_TRUE(QFile::exists(voice) && h.parts().recorder->voice_attached());

    // ESC again sends it, with the voice, and empties the fields for the next mail.
    h.component.sendAnswer.clear();
    h.component.calls.clear();
    h.key(Qt::Key_Escape);
    const QString sent = "メールをhanako@example.testへ送信しました";
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{"メールを送信します", MailSender::voice_note() + sent, kCleared}));
    EXPECT_EQ(h.w().cmd_message->text(), MailSender::voice_note() + sent);
    ASSERT_EQ(h.component.trace(), (QStringList{"RcvMail LIST", "SendMail"}));
    EXPECT_EQ(h.component.calls[0].args,
              (QStringList{"pop.example.test", "taro", "taro-pw", "LIST", h.paths().mail_dir}));
    EXPECT_EQ(h.component.calls[1].args,
              (QStringList{"smtp.example.test", typed[0], "taro@example.test", typed[1], typed[2],
                           voice}));
    EXPECT_EQ(fields(), (QStringList{"", "", kSigned}));
    EXPECT_FALSE(QFile::exists(voice) || h.parts().recorder->voice_attached());

    // Nothing to send now: the read-back says so, and so does ESC, which sends nothing.
    h.key(Qt::Key_Return);
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{"送信先が入力されていません", "改行", "送信先が入力されていません"}));

    // The next mail's recording is gone by the time of sending: it goes without, and says so.
    write("jiro@example.test", "お知らせ", "本文です");
    pending_recording(QByteArray());
    h.mark();
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.component.calls.back().args.value(5, "-"), QString());
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{"メールを送信します",
                                                MailSender::missing_voice_note() +
                                                    "メールをjiro@example.testへ送信しました",
                                                kCleared}));
}

TEST_F(ComposeWindow, WhatIsTypedAsTheRecipientIsCompletedOrKeptAsTyped) {
    start();
    const QString to = "[送信先アドレスは]", subject = "メール件名を入力してください";
    const QString inquiry = ComposeFields::inquiry_address();
    // The first of two; "%" and "_" match only themselves; the inquiry address fills the subject.
    const std::vector<std::pair<QString, QStringList>> cases = {
        {"tana", {"田中", to + "tanaka@example.test", subject}},
        {"a_", {"下線", to + "a_b@example.test", subject}},
        {"t%", {to + "t%", subject}},
        {"tan_ka", {to + "tan_ka", subject}},
        {"", {subject}},
        {inquiry, {to + inquiry, "件名は依頼、問い合わせ", "メール本文を入力してください"}},
    };
    const QString draft =
        "送っていない書きかけのメールがあります。そのまま続けられます。消して新しいメールを始め"
        "るときは、もう一度コントロールキーとNを押してください";
    for (const auto& [typed, heard] : cases) {
        h.w().mailto->clear();
        h.key(Qt::Key_N, Qt::ControlModifier);
        h.type(typed);
        h.mark();
        // Already there: Ctrl+N keeps what was typed and says how to start afresh instead.
        h.key(Qt::Key_N, Qt::ControlModifier);
        h.key(Qt::Key_Tab);
        EXPECT_EQ(h.spokenSinceMark(), typed.isEmpty() ? heard : QStringList{draft} + heard)
            << typed.toStdString();
        h.focus(h.w().List1);
    }
    // A second Ctrl+N in a row empties the fields for a new mail.
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.mark();
    h.key(Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{"書きかけのメールを消しました", "送信先を入力してください"}));
    EXPECT_EQ(fields(), (QStringList{"", "", kSigned}));
}

TEST_F(ComposeWindow, RepliesAndAMailFromTheAddressBookKeepWhatWasTyped) {
    ASSERT_TRUE(h.seed().insertMail("2026/12/01 10:00:01", "f1", " 山田 花子 <hanako@example.test>",
                                    "見積もりの件", "本文", QString()));
    ASSERT_TRUE(h.seed().insertMail("2026/12/02 10:00:02", "f2", " jiro@example.test", "Re: 予定",
                                    "本文", "/tmp/voice.mp3"));
    start();
    h.key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(h.spokenSinceMark().value(0).startsWith("返信するメールが選択されていません"));

    // Ctrl+R or ESC on a mail of the list (the newer first); "Re: " is added even to "Re: ".
    h.focus(h.w().MSFlexGrid1);
    h.key(Qt::Key_Down);
    h.key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(fields(), (QStringList{"jiro@example.test", "Re: Re: 予定", kSigned}));
    h.focus(h.w().MSFlexGrid1);
    h.key(Qt::Key_Down);
    h.mark();
    h.key(Qt::Key_Escape);  // the body holds only the signature: nothing typed to speak of
    EXPECT_EQ(fields(), (QStringList{"hanako@example.test", "Re: 見積もりの件", kSigned}));
    h.type("下書き");
    h.key(Qt::Key_R, Qt::ControlModifier);  // from the body
    EXPECT_EQ(h.spokenSinceMark(), transcript("replied_twice.txt"));

    // ESC on the first address of the address book: a mail to it, subject and body kept.
    h.focus(h.w().List2);
    h.key(Qt::Key_Down);
    h.mark();
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.spokenSinceMark(), transcript("from_address_book.txt"));
    EXPECT_EQ(fields(), (QStringList{"a_b@example.test", "Re: 見積もりの件", "下書き" + kSigned}));
}

}  // namespace
