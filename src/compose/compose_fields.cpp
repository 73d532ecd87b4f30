#include "compose/compose_fields.h"

#include "compose/reply_parts.h"
#include "core/control_events.h"
#include "core/dialog_voice.h"
#include "core/feedback.h"
#include "settings/options.h"
#include "store/mail_store.h"

#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>

namespace qv {

namespace {

// A text as the body shows it: a signature kept with CR LF line ends reads back from the body
// with plain line feeds.
QString as_shown(QString text) {
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

}  // namespace

ComposeFields::ComposeFields(QLineEdit* mailto, QLineEdit* subject, QPlainTextEdit* body,
                             Feedback& out, MailStore& store, const OptionState& options,
                             QObject* parent)
    : QObject(parent),
      mailto_(mailto),
      subject_(subject),
      body_(body),
      out_(out),
      store_(store),
      options_(options) {
    // What the user types is heard as it is typed, as in every text field of the program.
    for (QLineEdit* field : {mailto_, subject_}) {
        connect(field, &QLineEdit::textEdited, this,
                [this, field](const QString& now) { echo(field, now); });
    }
    connect(body_, &QPlainTextEdit::textChanged, this, [this] {
        const QString now = body_->toPlainText();
        if (!setting_body_) echo(body_, now);
        body_seen_ = now;
    });
}

void ComposeFields::echo(QWidget* field, const QString& now) {
    discard_asked_ = false;
    QString before;
    if (field == body_) {
        before = body_seen_;
    } else if (auto* line = qobject_cast<QLineEdit*>(field)) {
        before = line->property("qv_seen").toString();
        line->setProperty("qv_seen", now);
    }
    const QString said = typed_change(before, now);
    if (!said.isEmpty()) out_.speak_echo(said);
}

void ComposeFields::set_field(QLineEdit* field, const QString& text) {
    field->setText(text);
    field->setProperty("qv_seen", text);
}

bool ComposeFields::holds_draft() const {
    return !mailto_->text().isEmpty() || !subject_->text().isEmpty() ||
           (!body_->toPlainText().isEmpty() &&
            body_->toPlainText().trimmed() != as_shown(options_.signature_text).trimmed());
}

void ComposeFields::create_mail() {
    if (holds_draft()) {
        if (!discard_asked_) {
            out_.tell(QStringLiteral(
                "送っていない書きかけのメールがあります。そのまま続けられます。消して新しいメールを"
                "始めるときは、もう一度コントロールキーとNを押してください"));
            if (!mailto_->hasFocus()) mailto_->setFocus(Qt::OtherFocusReason);
            // Only the very next command may discard: leaving the field or typing forgets it.
            discard_asked_ = true;
            return;
        }
        discard_asked_ = false;
        set_field(mailto_, QString());
        set_field(subject_, QString());
        fresh_body();
        out_.speak(QStringLiteral("書きかけのメールを消しました"));
        if (mailto_->hasFocus()) {
            mailto_gained();  // a new mail, as moving there would announce it
            return;
        }
    }
    if (mailto_->hasFocus()) {
        // Already announced: nothing to do. Holding the focus unannounced (the window gave it
        // at start-up), the field announces itself now, as moving there would have.
        if (entered_ != mailto_) mailto_gained();
        return;
    }
    mailto_->setFocus(Qt::OtherFocusReason);
}

void ComposeFields::confirm_mail() {
    const QString to = mailto_->text();
    if (to.isEmpty()) {
        out_.speak(QStringLiteral("送信先が入力されていません"));
        return;
    }
    out_.speak(QStringLiteral("作成したメールの確認"));
    out_.speak(QStringLiteral("送信先") + to);
    out_.speak(QStringLiteral("件名") + subject_->text());
    out_.speak(QStringLiteral("本文") + body_->toPlainText());
}

void ComposeFields::start_reply(const QString& sender, const QString& subject) {
    const QString address = reply_address(sender);
    if (address.isEmpty()) {
        out_.tell(QStringLiteral("このメールには送信者のアドレスが無いため返信できません"));
        return;
    }
    set_field(mailto_, address);
    set_field(subject_, reply_subject(subject));
    out_.speak(QStringLiteral("[返信]メール：アドレスと件名を自動入力しました"));
    if (body_->hasFocus()) {
        // Begun from the body (Ctrl+R): the body keeps what was typed and says where it stands.
        body_gained();
        return;
    }
    body_->setFocus(Qt::OtherFocusReason);
}

void ComposeFields::write_to(const QString& address) {
    out_.show_status(address + QStringLiteral("へのメール送信"));
    set_field(mailto_, address);
    if (body_->toPlainText().isEmpty()) fresh_body();
    out_.speak(QStringLiteral("件名を入力してください"));
    subject_->setFocus(Qt::OtherFocusReason);
}

void ComposeFields::clear_after_send() {
    set_field(mailto_, QString());
    set_field(subject_, QString());
    fresh_body();
    out_.speak(QStringLiteral("送信したメールを入力欄から消しました。次のメールを書けます"));
}

void ComposeFields::fresh_body() {
    setting_body_ = true;
    body_->setPlainText(QStringLiteral("\r\n") + options_.signature_text);
    setting_body_ = false;
    QTextCursor caret = body_->textCursor();
    caret.movePosition(QTextCursor::Start);
    body_->setTextCursor(caret);
}

void ComposeFields::mailto_gained() {
    entered_ = mailto_;
    focus_gain(out_, mailto_, field_guide(), 4);
    out_.show_status(QStringLiteral("送信メール入力"));
    out_.speak(QStringLiteral("送信先を入力してください"));
    // Typed before and kept: the user hears what is there (a move away cuts it).
    if (!mailto_->text().isEmpty()) {
        out_.speak_echo(QStringLiteral("[送信先アドレスは]") + mailto_->text());
    }
}

void ComposeFields::mailto_lost() {
    entered_ = nullptr;
    discard_asked_ = false;
    focus_loss(out_, mailto_);
    const QString typed = mailto_->text();
    if (typed.isEmpty()) return;
    const std::vector<AddressRow> rows = store_.addressesStartingWith(typed);
    if (!rows.empty()) {
        out_.speak(rows.front().name);
        set_field(mailto_, rows.front().address);
    }
    if (!mailto_->text().isEmpty()) {
        out_.speak(QStringLiteral("[送信先アドレスは]") + mailto_->text());
    } else {
        out_.speak(QStringLiteral("宛先が入力されていません"));
    }
}

void ComposeFields::subject_gained() {
    entered_ = subject_;
    focus_gain(out_, subject_, field_guide(), 4);
    if (mailto_->text() != inquiry_address()) {
        out_.speak(QStringLiteral("メール件名を入力してください"));
        if (!subject_->text().isEmpty()) {
            out_.speak_echo(QStringLiteral("件名は") + subject_->text());
        }
        return;
    }
    if (subject_->text().isEmpty()) set_field(subject_, inquiry_subject());
    // Moved on once this focus change is complete, so the subject's own focus handling is not
    // cut in two.
    QPointer<QPlainTextEdit> body = body_;
    QMetaObject::invokeMethod(
        this,
        [body] {
            if (body) body->setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

void ComposeFields::subject_lost() {
    entered_ = nullptr;
    discard_asked_ = false;
    focus_loss(out_, subject_);
    out_.speak(QStringLiteral("件名は") + subject_->text());
}

void ComposeFields::body_gained() {
    entered_ = body_;
    focus_gain(out_, body_, body_guide(), 5);
    out_.speak(QStringLiteral("メール本文を入力してください"));
    if (body_->toPlainText().isEmpty()) {
        fresh_body();
    } else if (body_->toPlainText().trimmed() != as_shown(options_.signature_text).trimmed()) {
        out_.speak_echo(QStringLiteral("本文は入力済みです。ENTERキーで読み上げて確認できます"));
    }
}

void ComposeFields::body_lost() {
    entered_ = nullptr;
    discard_asked_ = false;
    focus_loss(out_, body_);
}

void ComposeFields::body_key(int code) {
    switch (code) {
        case kKeyIns:
            emit recordRequested();
            break;
        case kKeyEnter:
            confirm_mail();
            break;
        case kKeyEsc:
            if (mailto_->text().isEmpty()) {
                // Nothing to send to: said, rather than a key that seems to do nothing.
                out_.speak(QStringLiteral("送信先が入力されていません"));
                break;
            }
            emit sendRequested();
            break;
        default:
            break;
    }
}

}  // namespace qv
