#pragma once

#include <QObject>
#include <QString>

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace qv {

class Feedback;
class MailStore;
struct OptionState;

// The three compose fields, `mailto`, `subject` and `body`: what each says and does when it
// takes or leaves the focus, the completion of a typed address from the address book, the
// spoken read-back of the mail, and the ways a mail begins (a new mail, a reply, a mail to an
// address of the address book).
//
// What the user typed is theirs: leaving a field and coming back keeps its text, and the body
// gets the signature only while it is empty. Only a mail that went out empties the fields.
class ComposeFields : public QObject {
    Q_OBJECT
  public:
    ComposeFields(QLineEdit* mailto, QLineEdit* subject, QPlainTextEdit* body, Feedback& out,
                  MailStore& store, const OptionState& options, QObject* parent);

    // The recipient of requests and inquiries to the program's makers: a mail to it gets its
    // subject filled in.
    static QString inquiry_address() { return QStringLiteral("support@quorvel.example"); }
    static QString inquiry_subject() { return QStringLiteral("依頼、問い合わせ"); }
    static QString field_guide() { return QStringLiteral("[TAB:次 ]"); }
    static QString body_guide() {
        return QStringLiteral("[INS:音声録音 ENTER:作成したメールの確認 ESC:メール送信 ]");
    }

    // Menu "メッセージの作成": to the recipient field, which announces the new mail. When the
    // fields hold an unsent mail, the first press says so and keeps it; a second press in a row
    // empties the fields for a new mail.
    void create_mail();
    // ENTER in the body and menu "作成したメールの確認": the whole mail, read back.
    void confirm_mail();
    // A reply to a mail of the mail list, from its sender and subject as stored.
    void start_reply(const QString& sender, const QString& subject);
    // ESC in the address book: a new mail to this address.
    void write_to(const QString& address);
    // The mail went out: the fields are emptied for the next one, and the user is told.
    void clear_after_send();

    void mailto_gained();
    // Completes the typed beginning of an address from the address book and reads it back.
    void mailto_lost();
    void subject_gained();
    void subject_lost();
    void body_gained();
    void body_lost();
    void body_key(int code);

  signals:
    // INS in the body.
    void recordRequested();
    // ESC in the body.
    void sendRequested();

  private:
    // The body of a new mail: a line break and the signature, the caret in front of them.
    void fresh_body();
    // The fields hold something the user wrote that has not been sent.
    bool holds_draft() const;
    // Says what the user typed into a field, as it is typed.
    void echo(QWidget* field, const QString& now);
    // A field filled by the program (a reply, a completion), so the echo starts from it.
    static void set_field(QLineEdit* field, const QString& text);

    QLineEdit* mailto_;
    QLineEdit* subject_;
    QPlainTextEdit* body_;
    Feedback& out_;
    MailStore& store_;
    const OptionState& options_;
    // The field whose focus gain ran last and that has not lost the focus since. The window
    // can hand a field the focus without a gain (when it is first shown, say); such a field has
    // not announced itself yet.
    QWidget* entered_ = nullptr;
    // Ctrl+N found a draft and asked for a second press.
    bool discard_asked_ = false;
    // The body's text as last seen, for the echo; false while the program itself sets it.
    QString body_seen_;
    bool setting_body_ = false;
};

}  // namespace qv
