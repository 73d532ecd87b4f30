#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

class QLabel;
class QListWidget;
class QPushButton;

namespace qv {

struct AccountTable;
class AccountEditor;
class Accounts;
class DialogVoice;
class Feedback;
class MailStore;

// "アカウント一覧": one row per loaded account (its e-mail address), row k being the account at
// position k + 1. It is built the first time it is needed and only hidden afterwards. A row is
// said with its server and whether it is the default; each button says what it did.
class AccountList : public QDialog {
    Q_OBJECT
  public:
    AccountList(AccountTable& state, MailStore& store, Feedback& out, AccountEditor& editor,
                Accounts& accounts, QWidget* parent);

    void Command1_Click();  // 追加
    void Command2_Click();  // 編集
    void Command3_Click();  // 削除
    void Command4_Click();  // キャンセル
    void Command5_Click();  // 既定に設定

    // The editor added or changed the account at this position.
    void account_added(int position);
    void account_edited(int position);

    QListWidget* list() const { return List1_; }
    QString message() const;

  private:
    void build();
    // Bold for the default account; what each row says: its address, whether it is the default,
    // its server.
    void mark_default();
    // The selected row, or -1 after saying that a row must be chosen first.
    int selected_row();
    void say(const QString& message);
    void open_editor();

    AccountTable& state_;
    MailStore& store_;
    Feedback& out_;
    AccountEditor& editor_;
    Accounts& accounts_;
    QListWidget* List1_ = nullptr;
    QLabel* message_ = nullptr;
    DialogVoice* voice_ = nullptr;
};

// The two account dialogs, made when first needed and kept for the run.
class AccountDialogs : public QObject {
    Q_OBJECT
  public:
    AccountDialogs(AccountTable& state, MailStore& store, Feedback& out, Accounts& accounts,
                   QWidget* window);

    // "アカウント(&A)": shows the account list, not modal.
    void t_account_Click();
    // First use: the editor for a new account, modal; returns when it is closed.
    void open_first_use_editor();

    AccountEditor* editor();
    AccountList* list();

  private:
    AccountTable& state_;
    MailStore& store_;
    Feedback& out_;
    Accounts& accounts_;
    QWidget* window_;
    QPointer<AccountEditor> editor_;
    QPointer<AccountList> list_;
};

}  // namespace qv
