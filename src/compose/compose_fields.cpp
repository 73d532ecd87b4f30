#include "compose/compose_fields.h"

#include "compose/reply_parts.h"
#include "core/control_events.h"
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
      options_(options) {}

void ComposeFields::create_mail() {
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
    mailto_->setText(address);
    subject_->setText(reply_subject(subject));
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
    mailto_->setText(address);
    if (body_->toPlainText().isEmpty()) fresh_body();
    out_.speak(QStringLiteral("件名を入力してください"));
    subject_->setFocus(Qt::OtherFocusReason);
}

void ComposeFields::clear_after_send() {
    mailto_->clear();
    subject_->clear();
    fresh_body();
    out_.speak(QStringLiteral("送信したメールを入力欄から消しました。次のメールを書けます"));
}

void ComposeFields::fresh_body() {
    body_->setPlainText(QStringLiteral("\r\n") + options_.signature_text);
    QTextCursor caret = body_->textCursor();
    caret.movePosition(QTextCursor::Start);
    body_->setTextCursor(caret);
}

void ComposeFields::mailto_gained() {
    entered_ = mailto_;
    focus_gain(out_, mailto_, field_guide(), 4);
    out_.show_status(QStringLiteral("送信メール入力"));
    out_.speak(QStringLiteral("送信先を入力してください"));
    // Typed before and kept: the user hears what is there.
    if (!mailto_->text().isEmpty()) {
        out_.speak(QStringLiteral("[送信先アドレスは]") + mailto_->text());
    }
}

void ComposeFields::mailto_lost() {
    entered_ = nullptr;
    focus_loss(out_, mailto_);
    const QString typed = mailto_->text();
    if (typed.isEmpty()) return;
    const std::vector<AddressRow> rows = store_.addressesStartingWith(typed);
    if (!rows.empty()) {
        out_.speak(rows.front().name);
        mailto_->setText(rows.front().address);
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
        if (!subject_->text().isEmpty()) out_.speak(QStringLiteral("件名は") + subject_->text());
        return;
    }
    if (subject_->text().isEmpty()) subject_->setText(inquiry_subject());
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
        out_.speak(QStringLiteral("本文は入力済みです。ENTERキーで読み上げて確認できます"));
    }
}

void ComposeFields::body_lost() {
    entered_ = nullptr;
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
            emit sendRequested();
            break;
        default:
            break;
    }
}

}  // namespace qv
