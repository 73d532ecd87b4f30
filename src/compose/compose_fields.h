#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace qv {

struct Context;

// The three compose fields, `mailto`, `subject` and `body`: what each says and does when it
// takes or leaves the focus, the completion of a typed address from the address book, the
// spoken read-back of the mail, and the two ways a mail begins from the menu (a new mail and a
// reply to the mail list's current mail).
class ComposeFields : public QObject {
    Q_OBJECT
  public:
    ComposeFields(Context& ctx, QObject* parent);

    // The recipient of requests and inquiries to the program's makers: a mail to it gets its
    // subject filled in.
    static QString inquiry_address() { return QStringLiteral("support@quorvel.example"); }
    static QString inquiry_subject() { return QStringLiteral("依頼、問い合わせ"); }
    static QString field_guide() { return QStringLiteral("[TAB:次 ]"); }
    static QString body_guide() {
        return QStringLiteral("[INS:音声録音 ENTER:作成したメールの確認 ESC:メール送信 ]");
    }

    // Menu "メッセージの作成": to the recipient field, which announces the new mail.
    void create_mail();
    // ENTER in the body and menu "作成したメールの確認": the whole mail, read back.
    void confirm_mail();
    // Menu "送信者への返信" and ESC in the mail list: a reply to the current mail.
    void msg_replay_Click();

    void mailto_gained();
    // Completes the typed beginning of an address from the address book and reads it back.
    void mailto_lost();
    void subject_gained();
    void subject_lost();
    void body_gained();
    void body_lost();
    void body_key(int code);

  private:
    void tell(const QString& message);

    Context& ctx_;
    // The field whose focus gain ran last and that has not lost the focus since. The window
    // can hand a field the focus without a gain (when it is first shown, say); such a field has
    // not announced itself yet.
    QWidget* entered_ = nullptr;
};

}  // namespace qv
