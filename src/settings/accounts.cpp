#include "settings/accounts.h"

#include "core/feedback.h"
#include "core/wait.h"
#include "mail/server_address.h"
#include "settings/account_list.h"
#include "settings/account_table.h"
#include "settings/options.h"
#include "store/mail_store.h"

#include <cstdio>

namespace qv {

namespace {

Account to_account(const AccountRow& row) {
    Account a;
    a.id = row.id;
    a.cur = row.cur;
    a.pop = row.pop;
    a.smtp = row.smtp;
    a.account = row.account;
    a.password = row.password;
    a.email = row.email;
    a.name = row.name;
    a.default_ = row.default_;
    return a;
}

}  // namespace

bool keeps_mail_by_address(const QString& server) {
    // Whoever chose IMAP reads the mailbox elsewhere too; POP3 has always emptied it.
    return mail::incoming_protocol(server) == mail::MailProtocol::Imap;
}

bool keeps_mail_on_server(MailStore& store, const Account& account) {
    return store.keepOnServer(account.id).value_or(keeps_mail_by_address(account.pop));
}

Accounts::Accounts(AccountTable& table, MailStore& store, Feedback& out, QObject* parent)
    : QObject(parent), table_(table), store_(store), out_(out) {}

bool Accounts::load_accounts() {
    AccountTable& s = table_;
    const std::vector<AccountRow> rows = store_.accounts();
    // A reload must not leave entries of an earlier load behind the new count.
    for (Account& a : s.accounts) a = Account{};
    s.account_count = 0;
    for (const AccountRow& row : rows) {
        if (s.account_count == AccountTable::kMaxAccounts) break;
        ++s.account_count;
        s.accounts[s.account_count] = to_account(row);
        if (row.cur) s.cur_account_index = s.account_count;
    }
    if (static_cast<int>(rows.size()) > AccountTable::kMaxAccounts) {
        const int ignored = static_cast<int>(rows.size()) - AccountTable::kMaxAccounts;
        std::fprintf(stderr,
                     "quorvel: the account table has %d rows; only the first %d are used, the "
                     "other %d are ignored in this run\n",
                     static_cast<int>(rows.size()), AccountTable::kMaxAccounts, ignored);
        out_.show_status(QStringLiteral("アカウントは%1件までです。残りの%2件は使われません")
                             .arg(AccountTable::kMaxAccounts)
                             .arg(ignored));
    }
    return !rows.empty();
}

void Accounts::load_startup_settings(AccountDialogs& dialogs, Options& options, Pauser& pauser) {
    if (!load_accounts()) {
        out_.speak(QStringLiteral("はじめてのご使用です　メールアカウントの設定を行ってください"));
        pauser.pause(4);
        table_.account_edit_mode = QStringLiteral("new");
        dialogs.open_first_use_editor();
        // The editor has written what the user entered: read it back with its id, so the new
        // account is polled now and can be made the default in this run.
        load_accounts();
    }
    options.read_startup_options();
    choose_current_account();
}

void Accounts::choose_current_account() {
    AccountTable& s = table_;
    s.cur_account_index = 0;
    for (int i = 1; i <= s.account_count; ++i) {
        if (s.accounts[i].cur) s.cur_account_index = i;
    }
    const Account& current = s.current_account();
    s.cur_pop = current.pop;
    s.cur_user = current.account;
    s.cur_password = current.password;
}

bool Accounts::set_default_account(int row) {
    AccountTable& s = table_;
    const int position = row + 1;
    if (row < 0 || position > s.account_count) return false;
    const int id = s.accounts[position].id;
    if (id <= 0) return false;
    if (!store_.clearCurrentAccount() || !store_.setCurrentAccount(id)) {
        std::fprintf(stderr, "quorvel: cannot mark account %d as the default: %s\n", id,
                     qUtf8Printable(store_.lastError()));
        return false;
    }
    s.cur_account_index = position;
    return true;
}

}  // namespace qv
