#include "mailbox/mail_commands.h"

#include "core/control_events.h"
#include "core/feedback.h"
#include "core/opener.h"
#include "core/wait.h"
#include "mailbox/flex_grid.h"
#include "mailbox/long_text.h"
#include "mailbox/mail_columns.h"
#include "mailbox/mail_speech.h"
#include "mailbox/sender_entry.h"
#include "store/mail_store.h"

#include <QFileInfo>
#include <QTextEdit>

#include <utility>

namespace qv {

MailCommands::MailCommands(FlexGrid* grid, QTextEdit* bodytext, Feedback& out, MailStore& store,
                           Pauser& pauser, AudioPlayer& player, QObject* parent)
    : QObject(parent),
      grid_(grid),
      bodytext_(bodytext),
      out_(out),
      store_(store),
      pauser_(pauser),
      player_(player) {}

void MailCommands::mail_list_key(int code) {
    out_.shortcut(key_guide());
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

bool MailCommands::current_mail(int* row, int* id) {
    const int r = grid_->currentRow();
    const int key = r >= 1 && r < grid_->rowCount() ? grid_->rowKey(r) : 0;
    if (key <= 0) {
        out_.tell(grid_->rowCount() > 1 ? no_mail_selected() : folder_is_empty());
        return false;
    }
    *row = r;
    *id = key;
    return true;
}

void MailCommands::read_mail() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    grid_->setCurrentCell(row, kSubjectColumn);
    out_.speak(grid_->cellText(row, kSubjectColumn));
    grid_->setCurrentCell(row, kIdColumn);
    const std::optional<MailBody> mail = store_.mailBody(id);
    if (!mail) {
        grid_->setCurrentCell(row, kSenderColumn);
        out_.tell(QStringLiteral("このメールはデータベースに見つかりません"));
        return;
    }
    speak_long_text(out_, mail->body);
    bodytext_->setPlainText(mail->body);
    if (!mail->attach.isEmpty()) attachment(mail->attach);
    if (store_.markRead(id)) {
        for (int c = 0; c < kMailColumns; ++c) grid_->setCellEmphasis(row, c, false);
    } else {
        out_.tell(QStringLiteral("このメールを既読にできませんでした"));
    }
    grid_->setCurrentCell(row, kSenderColumn);
}

namespace {

// What kind of file an attachment is, by its name, in the user's words.
QString kind_of(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    static const std::pair<const char*, const char*> kinds[] = {
        {"pdf", "PDF文書"},     {"jpg", "画像"},         {"jpeg", "画像"},
        {"png", "画像"},        {"gif", "画像"},         {"txt", "テキスト"},
        {"doc", "ワード文書"},  {"docx", "ワード文書"},  {"xls", "エクセル表"},
        {"xlsx", "エクセル表"}, {"zip", "圧縮ファイル"}, {"wav", "音声"},
    };
    for (const auto& [ext, kind] : kinds) {
        if (suffix == QLatin1String(ext)) return QString::fromUtf8(kind);
    }
    return QStringLiteral("ファイル");
}

}  // namespace

void MailCommands::attachment(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    // Only a voice message is ever played, and only by the program itself: the mail component
    // gives the name ending ".mp3" to an audio/mpeg part and to nothing else.
    if (name.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive)) {
        // The pause lets the reading get under way before the player starts.
        pauser_.pause(4);
        if (!player_.play(path)) {
            out_.tell(QStringLiteral("音声の添付ファイルが見つからないため再生できません"));
        }
        return;
    }
    out_.speak(QStringLiteral("添付ファイル「%1」（%2）があります。音声ではないので開きません")
                   .arg(name, kind_of(name)));
}

void MailCommands::delete_mail() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    grid_->setCurrentCell(row, kIdColumn);
    if (!store_.deleteMail(id)) {
        grid_->setCurrentCell(row, kSenderColumn);
        out_.tell(QStringLiteral("メールを削除できませんでした"));
        return;
    }
    grid_->removeRow(row);
    // The row below moves up into the deleted one's place; after the last row, the one above.
    const int rows = grid_->rowCount();
    grid_->setCurrentCell(row < rows ? row : rows - 1, kSenderColumn);
    out_.speak(QStringLiteral("メールを削除しました"));
    // Where the user is now, as after any move.
    if (rows > 1) out_.speak_move(spoken_mail_row(grid_, grid_->currentRow()));
}

void MailCommands::register_sender() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    grid_->setCurrentCell(row, kSenderColumn);
    const SenderEntry entry = sender_entry(grid_->cells()->text(row, kSenderColumn));
    if (entry.address.trimmed().isEmpty()) {
        out_.tell(QStringLiteral("送信者のメールアドレスが無いため、アドレス帳に登録できません"));
        return;
    }
    if (!store_.insertAddress(entry.name, entry.address)) {
        out_.tell(QStringLiteral("アドレス帳に登録できませんでした"));
        return;
    }
    emit addressAdded();
    out_.speak(QStringLiteral("アドレス帳に登録しました"));
}

void MailCommands::emit_reply(int row) {
    grid_->setCurrentCell(row, kSubjectColumn);
    const QString subject = grid_->cells()->text(row, kSubjectColumn);
    grid_->setCurrentCell(row, kSenderColumn);
    emit replyRequested(grid_->cells()->text(row, kSenderColumn), subject);
}

void MailCommands::reply() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    emit_reply(row);
}

void MailCommands::msg_replay_Click() {
    const int row = grid_->currentRow();
    if (grid_->rowCount() <= 1) {
        out_.tell(
            QStringLiteral("返信するメールがありません。このフォルダーにはメールがありません"));
        return;
    }
    if (row < 1 || row >= grid_->rowCount()) {
        out_.tell(QStringLiteral(
            "返信するメールが選択されていません。メール一覧で下矢印キーでメールを選んでください"));
        return;
    }
    emit_reply(row);
}

void MailCommands::start_move() {
    int row = 0;
    int id = 0;
    if (!current_mail(&row, &id)) return;
    grid_->setCurrentCell(row, kIdColumn);
    emit moveRequested(id);
}

}  // namespace qv
