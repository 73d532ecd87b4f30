#pragma once

#include <QDialog>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

struct AccountTable;
struct Account;
class DialogVoice;
class Feedback;
class MailStore;

// "アカウント編集": the seven settings of one account, whether its mail stays on the server
// ("サーバーにメールを残す") and whether it may log in without encryption where the server offers
// no STARTTLS ("暗号化せずに接続する"). account_edit_mode says whether a new
// account is added ("new") or the one at account_edit_index is changed ("edit"). "OK" writes
// the account and brings the in-memory table up to date; the editor is hidden, not destroyed.
// A new account saved while no account is the default becomes the default, so that sending
// works at once. Every outcome and every refusal is said.
class AccountEditor : public QDialog {
    Q_OBJECT
  public:
    AccountEditor(AccountTable& state, MailStore& store, Feedback& out, QWidget* parent);

    static constexpr int kFields = 7;

    // Fills the fields for account_edit_mode and puts the focus where the user starts: the first
    // field of a new account, "OK" for an edit. Done at every opening.
    void prepare();
    void Command1_Click();  // OK
    void Command2_Click();  // キャンセル

    QLineEdit* field(int i) const { return Text1_[i]; }
    QCheckBox* keep_box() const { return keep_; }
    QCheckBox* plain_box() const { return plain_; }
    QString message() const;

    // What F1 says in the two server fields: how a server address is written.
    static QString receive_server_help();
    static QString send_server_help();
    // A spoken hint for a server address that cannot be used as typed; empty when it can (or
    // when nothing is typed yet).
    static QString receive_server_hint(const QString& typed);
    static QString send_server_hint(const QString& typed);

  signals:
    // The account at this position was added (mode "new") or changed (mode "edit").
    void added(int position);
    void edited(int position);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void say(const QString& message);
    // The position of the account being edited, found by its id in case the table has moved
    // since the editor opened; 0 when it is gone.
    int edited_position() const;
    void fill_entry(Account& a) const;
    // The new account at this position becomes the default when none is; false when the
    // database refused.
    bool make_default_if_none(int position);
    // Keeps the two check boxes' values for the account; the answer about a plain login is
    // forgotten when a server address changed and the user did not set it here.
    void save_choices(int id, bool servers_changed);

    AccountTable& state_;
    MailStore& store_;
    Feedback& out_;
    std::array<QLineEdit*, kFields> Text1_{};
    QLabel* Label2_ = nullptr;
    QPushButton* Command1_ = nullptr;
    QPushButton* Command2_ = nullptr;
    QCheckBox* keep_ = nullptr;
    QCheckBox* plain_ = nullptr;
    bool keep_chosen_ = false;  // the user changed the box: it no longer follows the address
    bool plain_chosen_ = false;
    DialogVoice* voice_ = nullptr;
    int edit_id_ = 0;
};

}  // namespace qv
