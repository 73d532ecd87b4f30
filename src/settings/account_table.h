#pragma once

#include <QString>

#include <array>

namespace qv {

// One mail account as loaded from the account table. `id` is 0 for an account the table has not
// given an id yet.
struct Account {
    int id = 0;
    bool cur = false;
    QString pop;
    QString smtp;
    QString account;
    QString password;
    QString email;
    QString name;
    QString default_;  // the column is named `default`
};

// The accounts in memory, read at start-up and changed by the account dialogs. Positions 1 to
// account_count are loaded accounts; position 0 stands for none. The POP fields are what the next
// POP3 access uses.
struct AccountTable {
    static constexpr int kMaxAccounts = 20;

    std::array<Account, kMaxAccounts + 1> accounts;
    int account_count = 0;
    int cur_account_index = 0;
    QString cur_pop;
    QString cur_user;
    QString cur_password;
    // What the account editor does when it opens: "new" or "edit" the account at the index.
    QString account_edit_mode;
    int account_edit_index = 0;

    const Account& current_account() const { return accounts[cur_account_index]; }
};

}  // namespace qv
