#include "mailbox/mail_commands.h"

#include "core/app_state.h"
#include "core/context.h"
#include "core/control_events.h"
#include "core/feedback.h"
#include "core/platform.h"
#include "core/widgets.h"
#include "mail/mail_component.h"
#include "mailbox/flex_grid.h"
#include "mailbox/long_text.h"
#include "mailbox/sender_entry.h"
#include "store/mail_store.h"

#include <QListWidget>
#include <QTextEdit>

namespace qv {

namespace {

enum Column { kIdColumn = 0, kSenderColumn = 1, kSubjectColumn = 2, kDateColumn = 3 };
constexpr int kColumns = 4;

}  // namespace

MailCommands::MailCommands(Context& ctx, QObject* parent)
    : QObject(parent), ctx_(ctx), grid_(ctx.w.MSFlexGrid1) {}

void MailCommands::mail_list_key(int code) {
    ctx_.out.shortcut(key_guide());
    switch (code) {
        case kKeyEnter:
            read_mail();
            break;
        case kKeyDel:
            delete_mail();
            break;
        case kKeyIns:
            register_sender();
            break;
        case kKeyEsc:
            reply();
            break;
        case kKeySpace:
            start_move();
            break;
        default:
            break;
    }
}

void MailCommands::tell(const QString& message) {
    ctx_.out.show_status(message);
    ctx_.out.speak(message);
}

bool MailCommands::current_mail(int* row, int* id) {
    const int r = grid_->currentRow();
    bool ok = false;
    const int n = r >= 1 && r < grid_->rowCount() ? grid_->cellText(r, kIdColumn).toInt(&ok) : 0;
    if (!ok || n <= 0) {
        tell(grid_->rowCount() > 1 ? no_mail_selected() : folder_is_empty());
        return false;
    }
    *row = r;
    *id = n;
    return true;
}

void MailCommands::read_mail() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    grid_->setCurrentCell(row, kSubjectColumn);
    ctx_.out.speak(grid_->cellText(row, kSubjectColumn));
    grid_->setCurrentCell(row, kIdColumn);
    const std::optional<MailBody> mail = ctx_.store.mailBody(id);
    if (!mail) {
        grid_->setCurrentCell(row, kSenderColumn);
        tell(QStringLiteral("このメールはデータベースに見つかりません"));
        return;
    }
    speak_long_text(ctx_.out, mail->body);
    ctx_.w.bodytext->setPlainText(mail->body);
    if (!mail->attach.isEmpty() && mail->attach.contains(QLatin1String(".mp3"))) {
        // The pause lets the reading get under way before the player starts.
        ctx_.component.Sleep(4);
        ctx_.opener.open(mail->attach);
    }
    if (ctx_.store.markRead(id)) {
        for (int c = 0; c < kColumns; ++c) grid_->setCellEmphasis(row, c, false);
    } else {
        tell(QStringLiteral("このメールを既読にできませんでした"));
    }
    grid_->setCurrentCell(row, kSenderColumn);
}

void MailCommands::delete_mail() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    grid_->setCurrentCell(row, kIdColumn);
    if (!ctx_.store.deleteMail(id)) {
        grid_->setCurrentCell(row, kSenderColumn);
        tell(QStringLiteral("メールを削除できませんでした"));
        return;
    }
    grid_->removeRow(row);
    // The row below moves up into the deleted one's place; after the last row, the one above.
    const int rows = grid_->rowCount();
    grid_->setCurrentCell(row < rows ? row : rows - 1, kSenderColumn);
    ctx_.out.speak(QStringLiteral("メールを削除しました"));
}

void MailCommands::register_sender() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    grid_->setCurrentCell(row, kSenderColumn);
    const SenderEntry entry = sender_entry(grid_->cellText(row, kSenderColumn));
    if (entry.address.trimmed().isEmpty()) {
        tell(QStringLiteral("送信者のメールアドレスが無いため、アドレス帳に登録できません"));
        return;
    }
    if (!ctx_.store.insertAddress(entry.name, entry.address)) {
        tell(QStringLiteral("アドレス帳に登録できませんでした"));
        return;
    }
    Hooks::call(ctx_.hooks.read_address_from_db);
    ctx_.out.speak(QStringLiteral("アドレス帳に登録しました"));
}

void MailCommands::reply() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    Hooks::call(ctx_.hooks.msg_replay_Click);
}

void MailCommands::start_move() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    ctx_.state.move_pending = true;
    grid_->setCurrentCell(row, kIdColumn);
    ctx_.state.move_mail_id = grid_->cellText(row, kIdColumn);
    ctx_.w.List1->setFocus(Qt::OtherFocusReason);
}

}  // namespace qv
