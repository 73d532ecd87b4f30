#include "folders/folder_list.h"

#include "core/app_state.h"
#include "core/context.h"
#include "core/control_events.h"
#include "core/feedback.h"
#include "core/widgets.h"
#include "folders/list_choice.h"
#include "mailbox/flex_grid.h"
#include "store/mail_store.h"

#include <QListWidget>

namespace qv {

FolderList::FolderList(Context& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {}

void FolderList::read_folders_from_db() {
    QListWidget* list = ctx_.w.List1;
    list->clear();
    for (const FolderRow& folder : ctx_.store.folders()) list->addItem(folder.name);
}

void FolderList::gained() {
    focus_gain(ctx_.out, ctx_.state, ctx_.w.List1, key_guide(), 3);
    QString message = QStringLiteral("フォルダ");
    if (ctx_.state.move_pending) {
        message += QStringLiteral(" メール移動操作 矢印キーで選択してINSキーを押してください");
    }
    ctx_.out.show_status(message);
    ctx_.out.speak(message);
}

void FolderList::lost() { focus_loss(ctx_.state, ctx_.w.List1); }

void FolderList::key(int code) {
    arrow_starts_at_first_item(ctx_.w.List1, code);
    if (code == kKeyEnter) {
        open_folder();
    } else if (code == kKeyIns && ctx_.state.move_pending) {
        finish_move();
    }
}

void FolderList::tell(const QString& message) {
    ctx_.out.show_status(message);
    ctx_.out.speak(message);
}

void FolderList::open_folder() {
    const QString folder = selected_item_text(ctx_.w.List1);
    if (folder.isNull()) {
        tell(QStringLiteral(
            "フォルダーが選択されていません。矢印キーでフォルダーを選んでからENTERキーを押してくだ"
            "さい"));
        return;
    }
    ctx_.state.current_folder = folder;
    ctx_.out.speak(folder);
    Hooks::call(ctx_.hooks.init_mail_list);
    Hooks::call(ctx_.hooks.read_mail_from_db);
}

void FolderList::finish_move() {
    const QString folder = selected_item_text(ctx_.w.List1);
    if (folder.isNull()) {
        tell(QStringLiteral(
            "移動先のフォルダーが選択されていません。矢印キーで選択してINSキーを押してください"));
        return;
    }
    bool ok = false;
    const int id = ctx_.state.move_mail_id.toInt(&ok);
    if (!ok || !ctx_.store.moveMail(id, folder)) {
        tell(QStringLiteral("メールを移動できませんでした"));
        return;
    }
    ctx_.out.speak(QStringLiteral("メールをフォルダー[") + folder +
                   QStringLiteral("]に移動しました"));
    ctx_.state.move_pending = false;
}

void FolderList::chose_folder_Click() {
    ctx_.state.help_context = 3;
    ctx_.w.List1->setFocus(Qt::OtherFocusReason);
}

void FolderList::display_mail_list_Click() { ctx_.w.MSFlexGrid1->setFocus(Qt::OtherFocusReason); }

}  // namespace qv
