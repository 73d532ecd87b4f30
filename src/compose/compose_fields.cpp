#include "compose/compose_fields.h"

#include "compose/reply_parts.h"
#include "core/app_state.h"
#include "core/context.h"
#include "core/control_events.h"
#include "core/feedback.h"
#include "core/widgets.h"
#include "mailbox/flex_grid.h"
#include "store/mail_store.h"

#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>

namespace qv {

namespace {

enum Column { kSenderColumn = 1, kSubjectColumn = 2 };

}  // namespace

ComposeFields::ComposeFields(Context& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {}

void ComposeFields::tell(const QString& message) {
    ctx_.out.show_status(message);
    ctx_.out.speak(message);
}

void ComposeFields::create_mail() {
    QLineEdit* mailto = ctx_.w.mailto;
    if (mailto->hasFocus()) {
        // Already announced: nothing to do. Holding the focus unannounced (the window gave it
        // at start-up), the field announces itself now, as moving there would have.
        if (entered_ != mailto) mailto_gained();
        return;
    }
    mailto->setFocus(Qt::OtherFocusReason);
}

void ComposeFields::confirm_mail() {
    const QString to = ctx_.w.mailto->text();
    if (to.isEmpty()) {
        ctx_.out.speak(QStringLiteral("送信先が入力されていません"));
        return;
    }
    ctx_.out.speak(QStringLiteral("作成したメールの確認"));
    ctx_.out.speak(QStringLiteral("送信先") + to);
    ctx_.out.speak(QStringLiteral("件名") + ctx_.w.subject->text());
    ctx_.out.speak(QStringLiteral("本文") + ctx_.w.body->toPlainText());
}

void ComposeFields::msg_replay_Click() {
    FlexGrid* grid = ctx_.w.MSFlexGrid1;
    const int row = grid->currentRow();
    if (grid->rowCount() <= 1) {
        tell(QStringLiteral("返信するメールがありません。このフォルダーにはメールがありません"));
        return;
    }
    if (row < 1 || row >= grid->rowCount()) {
        tell(QStringLiteral(
            "返信するメールが選択されていません。メール一覧で下矢印キーでメールを選んでください"));
        return;
    }
    const QString address = reply_address(grid->cellText(row, kSenderColumn));
    if (address.isEmpty()) {
        tell(QStringLiteral("このメールには送信者のアドレスが無いため返信できません"));
        return;
    }
    grid->setCurrentCell(row, kSubjectColumn);
    const QString subject = replied_subject(grid->cellText(row, kSubjectColumn));
    grid->setCurrentCell(row, kSenderColumn);

    ctx_.w.mailto->setText(address);
    ctx_.w.subject->setText(reply_subject(subject));
    ctx_.out.speak(QStringLiteral("[返信]メール：アドレスと件名を自動入力しました"));
    if (ctx_.w.body->hasFocus()) {
        // A reply begun from the body (Ctrl+R) starts its body afresh too, as it would coming
        // from the mail list.
        body_gained();
        return;
    }
    ctx_.w.body->setFocus(Qt::OtherFocusReason);
}

void ComposeFields::mailto_gained() {
    entered_ = ctx_.w.mailto;
    focus_gain(ctx_.out, ctx_.state, ctx_.w.mailto, field_guide(), 4);
    ctx_.out.show_status(QStringLiteral("送信メール入力"));
    ctx_.out.speak(QStringLiteral("送信先を入力してください"));
    ctx_.w.mailto->clear();
}

void ComposeFields::mailto_lost() {
    entered_ = nullptr;
    QLineEdit* mailto = ctx_.w.mailto;
    focus_loss(ctx_.state, mailto);
    const QString typed = mailto->text();
    if (typed.isEmpty()) return;
    const std::vector<AddressRow> rows = ctx_.store.addressesStartingWith(typed);
    if (!rows.empty()) {
        ctx_.out.speak(rows.front().name);
        mailto->setText(rows.front().address);
    }
    if (!mailto->text().isEmpty()) {
        ctx_.out.speak(QStringLiteral("[送信先アドレスは]") + mailto->text());
    } else {
        ctx_.out.speak(QStringLiteral("宛先が入力されていません"));
    }
}

void ComposeFields::subject_gained() {
    entered_ = ctx_.w.subject;
    focus_gain(ctx_.out, ctx_.state, ctx_.w.subject, field_guide(), 4);
    ctx_.w.subject->clear();
    if (ctx_.w.mailto->text() != inquiry_address()) {
        ctx_.out.speak(QStringLiteral("メール件名を入力してください"));
        return;
    }
    ctx_.w.subject->setText(inquiry_subject());
    // Moved on once this focus change is complete, so the subject's own focus handling is not
    // cut in two.
    QPointer<QPlainTextEdit> body = ctx_.w.body;
    QMetaObject::invokeMethod(
        this,
        [body] {
            if (body) body->setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

void ComposeFields::subject_lost() {
    entered_ = nullptr;
    focus_loss(ctx_.state, ctx_.w.subject);
    ctx_.out.speak(QStringLiteral("件名は") + ctx_.w.subject->text());
}

void ComposeFields::body_gained() {
    entered_ = ctx_.w.body;
    QPlainTextEdit* body = ctx_.w.body;
    focus_gain(ctx_.out, ctx_.state, body, body_guide(), 5);
    ctx_.out.speak(QStringLiteral("メール本文を入力してください"));
    body->setPlainText(QStringLiteral("\r\n") + ctx_.state.signature_text);
    QTextCursor caret = body->textCursor();
    caret.movePosition(QTextCursor::Start);
    body->setTextCursor(caret);
}

void ComposeFields::body_lost() {
    entered_ = nullptr;
    focus_loss(ctx_.state, ctx_.w.body);
}

void ComposeFields::body_key(int code) {
    switch (code) {
        case kKeyIns:
            Hooks::call(ctx_.hooks.record_voice);
            break;
        case kKeyEnter:
            confirm_mail();
            break;
        case kKeyEsc:
            Hooks::call(ctx_.hooks.send_mail);
            break;
        default:
            break;
    }
}

}  // namespace qv
