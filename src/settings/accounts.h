#pragma once

#include <QObject>
#include <QString>

namespace qv {

struct Account;
struct AccountTable;
class AccountDialogs;
class Feedback;
class MailStore;
class Options;
class Pauser;

// Whether receiving leaves the account's mail on the server: as the user said
// (MailStore::keepOnServer), else as the address suggests: IMAP keeps, POP3 deletes.
bool keeps_mail_on_server(MailStore& store, const Account& account);
bool keeps_mail_by_address(const QString& server);

// The in-memory account table, the current account and the start-up's settings step.
//
// The table is read from the database at start-up (and again after the first-use account
// editor has closed, so that the new account is polled at once and carries its id). During the
// run the account dialogs change the in-memory entries themselves.
class Accounts : public QObject {
    Q_OBJECT
  public:
    Accounts(AccountTable& table, MailStore& store, Feedback& out, QObject* parent = nullptr);

    // Reads every row of the account table into positions 1 to account_count, in table order;
    // a row marked current makes its position cur_account_index. True when there was a row.
    // At most AccountTable::kMaxAccounts rows are loaded; the rest are named on stderr and in
    // the status line, and are not used in this run.
    bool load_accounts();

    // The start-up's settings step: accounts (with the first-use account set-up when there is
    // none), the options, the current account and the POP fields.
    void load_startup_settings(AccountDialogs& dialogs, Options& options, Pauser& pauser);

    // The last loaded account marked current becomes cur_account_index (0 when none is), and
    // its server, user name and password become the POP fields.
    void choose_current_account();

    // "既定に設定" with account list row `row` (counted from 0): that account becomes the
    // current one, in memory and in the table, where it is then the only row marked current.
    // Speaks nothing. False, with nothing changed, when the row names no account that has an id
    // or the database refused.
    bool set_default_account(int row);

  private:
    AccountTable& table_;
    MailStore& store_;
    Feedback& out_;
};

}  // namespace qv
