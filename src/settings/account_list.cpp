#include "settings/account_list.h"

#include "core/dialog_voice.h"
#include "core/feedback.h"
#include "core/twips.h"
#include "settings/account_editor.h"
#include "settings/account_table.h"
#include "settings/accounts.h"
#include "store/mail_store.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace qv {

AccountList::AccountList(AccountTable& state, MailStore& store, Feedback& out,
                         AccountEditor& editor, Accounts& accounts, QWidget* parent)
    : QDialog(parent),
      state_(state),
      store_(store),
      out_(out),
      editor_(editor),
      accounts_(accounts) {
    setObjectName(QStringLiteral("account_list"));
    setWindowTitle(QStringLiteral("アカウント一覧"));
    build();
    for (int i = 1; i <= state_.account_count; ++i) List1_->addItem(state_.accounts[i].email);
    mark_default();
    voice_ = new DialogVoice(this, out_);
    voice_->set_purpose([this] {
        const QString keys = QStringLiteral("TABキーで一覧とボタンを移ります。ESCキーで閉じます");
        return List1_->count() == 0
                   ? QStringLiteral("アカウントはまだありません。追加ボタンで登録します。") + keys
                   : QStringLiteral("アカウントが%1件あります。").arg(List1_->count()) + keys;
    });
}

void AccountList::build() {
    setFixedSize(twips(5085), twips(2805));
    List1_ = new QListWidget(this);
    List1_->setObjectName(QStringLiteral("List1"));
    List1_->setAccessibleName(QStringLiteral("アカウント一覧"));
    List1_->setAccessibleDescription(
        QStringLiteral("登録したメールアカウント。太字が既定のアカウントです"));
    place(List1_, 240, 240, 3375, 2220);

    // Says what a button did, or why it did nothing (no row chosen, the table full, the database
    // refused).
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("lblMessage"));
    message_->setAccessibleName(QStringLiteral("メッセージ"));
    message_->setAccessibleDescription(QStringLiteral("ボタンを押した結果"));
    place(message_, 240, 2520, 3375, 255);

    struct Button {
        const char* name;
        const char* caption;
        const char* description;
        double top;
        void (AccountList::*click)();
    };
    const Button buttons[] = {
        {"Command1", "追加", "新しいアカウントを登録します", 240, &AccountList::Command1_Click},
        {"Command2", "編集", "選んだアカウントの設定を変えます", 720, &AccountList::Command2_Click},
        {"Command3", "削除", "選んだアカウントを削除します", 1200, &AccountList::Command3_Click},
        {"Command5", "既定に設定", "選んだアカウントでメールを送るようにします", 1680,
         &AccountList::Command5_Click},
        {"Command4", "キャンセル", "一覧を閉じます", 2280, &AccountList::Command4_Click},
    };
    QHash<QString, QPushButton*> made;
    for (const Button& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.caption), this);
        button->setObjectName(QLatin1String(b.name));
        button->setAccessibleName(button->text());
        button->setAccessibleDescription(QString::fromUtf8(b.description));
        button->setAutoDefault(false);
        place(button, 3960, b.top, 1095, 375);
        connect(button, &QPushButton::clicked, this, [this, click = b.click] { (this->*click)(); });
        made.insert(QLatin1String(b.name), button);
    }
    setTabOrder(made[QStringLiteral("Command1")], made[QStringLiteral("Command2")]);
    setTabOrder(made[QStringLiteral("Command2")], made[QStringLiteral("Command3")]);
    setTabOrder(made[QStringLiteral("Command3")], List1_);
    setTabOrder(List1_, made[QStringLiteral("Command4")]);
    setTabOrder(made[QStringLiteral("Command4")], made[QStringLiteral("Command5")]);
    made[QStringLiteral("Command1")]->setFocus();
}

QString AccountList::message() const { return message_->text(); }

void AccountList::say(const QString& message) {
    message_->setText(message);
    voice_->tell(message);
}

void AccountList::mark_default() {
    for (int row = 0; row < List1_->count(); ++row) {
        QListWidgetItem* item = List1_->item(row);
        const bool is_default = row + 1 == state_.cur_account_index;
        QFont font = item->font();
        font.setBold(is_default);
        item->setFont(font);
        const Account& a = state_.accounts[row + 1];
        item->setData(
            Qt::AccessibleTextRole,
            a.email + (is_default ? QStringLiteral(" 既定") : QString()) +
                QStringLiteral(" POPサーバー ") + a.pop +
                (keeps_mail_on_server(store_, a) ? QStringLiteral(" サーバーにメールを残す")
                                                 : QString()));
    }
}

int AccountList::selected_row() {
    const int row = List1_->currentRow();
    if (row >= 0 && row < state_.account_count) return row;
    say(state_.account_count == 0 ? QStringLiteral("アカウントがありません。追加で登録してください")
                                  : QStringLiteral("一覧からアカウントを選んでください"));
    return -1;
}

void AccountList::open_editor() {
    message_->clear();
    // Shown afresh, so that it says again what it is for.
    if (editor_.isVisible()) editor_.hide();
    editor_.prepare();
    editor_.show();
    editor_.raise();
    editor_.activateWindow();
}

void AccountList::Command1_Click() {
    if (state_.account_count >= AccountTable::kMaxAccounts) {
        say(QStringLiteral("アカウントは%1件までです。これ以上は追加できません")
                .arg(AccountTable::kMaxAccounts));
        return;
    }
    state_.account_edit_mode = QStringLiteral("new");
    open_editor();
}

void AccountList::Command2_Click() {
    const int row = selected_row();
    if (row < 0) return;
    state_.account_edit_mode = QStringLiteral("edit");
    state_.account_edit_index = row + 1;
    open_editor();
}

void AccountList::Command3_Click() {
    const int row = selected_row();
    if (row < 0) return;
    const int position = row + 1;
    const QString email = state_.accounts[position].email;
    if (!store_.deleteAccount(state_.accounts[position].id)) {
        say(QStringLiteral("アカウントを削除できませんでした"));
        return;
    }
    // The table and the list lose the account now; the accounts after it move up one place.
    for (int i = position; i < state_.account_count; ++i) {
        state_.accounts[i] = state_.accounts[i + 1];
    }
    state_.accounts[state_.account_count] = Account{};
    --state_.account_count;
    if (state_.cur_account_index == position) {
        state_.cur_account_index = 0;
    } else if (state_.cur_account_index > position) {
        --state_.cur_account_index;
    }
    delete List1_->takeItem(row);
    if (List1_->count() > 0) List1_->setCurrentRow(std::min(row, List1_->count() - 1));
    mark_default();
    say(QStringLiteral("%1 を削除しました").arg(email));
}

void AccountList::Command4_Click() { reject(); }

void AccountList::Command5_Click() {
    const int row = selected_row();
    if (row < 0) return;
    if (!accounts_.set_default_account(row)) {
        say(QStringLiteral("既定のアカウントを設定できませんでした"));
        return;
    }
    mark_default();
    say(QStringLiteral("%1 を既定にしました").arg(state_.accounts[row + 1].email));
}

void AccountList::account_added(int position) {
    if (position == List1_->count() + 1) List1_->addItem(state_.accounts[position].email);
    mark_default();
}

void AccountList::account_edited(int position) {
    if (QListWidgetItem* item = List1_->item(position - 1)) {
        item->setText(state_.accounts[position].email);
    }
    mark_default();
}

AccountDialogs::AccountDialogs(AccountTable& state, MailStore& store, Feedback& out,
                               Accounts& accounts, QWidget* window)
    : QObject(window),
      state_(state),
      store_(store),
      out_(out),
      accounts_(accounts),
      window_(window) {}

AccountEditor* AccountDialogs::editor() {
    if (!editor_) {
        editor_ = new AccountEditor(state_, store_, out_, window_);
        connect(editor_, &AccountEditor::added, this, [this](int position) {
            if (list_) list_->account_added(position);
        });
        connect(editor_, &AccountEditor::edited, this, [this](int position) {
            if (list_) list_->account_edited(position);
        });
    }
    return editor_;
}

AccountList* AccountDialogs::list() {
    if (!list_) list_ = new AccountList(state_, store_, out_, *editor(), accounts_, window_);
    return list_;
}

void AccountDialogs::t_account_Click() {
    AccountList* l = list();
    l->show();
    l->raise();
    l->activateWindow();
}

void AccountDialogs::open_first_use_editor() {
    AccountEditor* e = editor();
    e->prepare();
    // The one modal dialog: the start-up goes on when the user has closed it.
    e->exec();
}

}  // namespace qv
