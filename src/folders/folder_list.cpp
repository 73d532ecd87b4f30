#include "folders/folder_list.h"

#include "core/control_events.h"
#include "core/feedback.h"
#include "folders/list_choice.h"
#include "store/mail_store.h"

#include <QListWidget>

namespace qv {

FolderList::FolderList(QListWidget* List1, Feedback& out, MailStore& store, QObject* parent)
    : QObject(parent), List1_(List1), out_(out), store_(store) {}

void FolderList::read_folders_from_db() {
    List1_->clear();
    for (const FolderRow& folder : store_.folders()) List1_->addItem(folder.name);
}

void FolderList::gained() {
    focus_gain(out_, List1_, key_guide(), 3);
    QString message = QStringLiteral("フォルダ");
    if (move_pending_) {
        message += QStringLiteral(" メール移動操作 矢印キーで選択してINSキーを押してください");
    }
    out_.tell(message);
}

void FolderList::lost() { focus_loss(out_, List1_); }

void FolderList::key(int code) {
    arrow_starts_at_first_item(List1_, code);
    speak_after_move(
        List1_, out_, code, [](const QListWidgetItem* item) { return item->text(); },
        QStringLiteral("フォルダーがありません"));
    if (code == kKeyEnter) {
        open_folder();
    } else if (code == kKeyIns && move_pending_) {
        finish_move();
    }
}

void FolderList::open_folder() {
    const QString folder = selected_item_text(List1_);
    if (folder.isNull()) {
        out_.tell(QStringLiteral(
            "フォルダーが選択されていません。矢印キーでフォルダーを選んでからENTERキーを押してくだ"
            "さい"));
        return;
    }
    out_.speak(folder);
    emit folderOpened(folder);
}

void FolderList::finish_move() {
    const QString folder = selected_item_text(List1_);
    if (folder.isNull()) {
        out_.tell(QStringLiteral(
            "移動先のフォルダーが選択されていません。矢印キーで選択してINSキーを押してください"));
        return;
    }
    if (move_mail_id_ <= 0 || !store_.moveMail(move_mail_id_, folder)) {
        out_.tell(QStringLiteral("メールを移動できませんでした"));
        return;
    }
    out_.speak(QStringLiteral("メールをフォルダー[") + folder + QStringLiteral("]に移動しました"));
    move_pending_ = false;
}

void FolderList::chose_folder_Click() {
    out_.focus().help_context = 3;
    List1_->setFocus(Qt::OtherFocusReason);
}

void FolderList::begin_move(int mail_id) {
    move_pending_ = true;
    move_mail_id_ = mail_id;
    List1_->setFocus(Qt::OtherFocusReason);
}

}  // namespace qv
