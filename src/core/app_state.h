#pragma once

#include <QColor>
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

// The main window's shared state, under the names the whole program uses for it. It lives as
// long as the main window; subsystems get it by reference.
struct AppState {
    static constexpr int kMaxAccounts = 20;

    QColor focus_color{200, 200, 200};
    QColor normal_color{255, 255, 255};
    int help_context = 0;
    std::array<QString, 11> help_text;

    QString mail_dir;     // the mail directory, beside the database
    QString program_dir;  // where the program and its helpers (help, manual, recorder) lie
    QString data_dir;     // where the lasting data lies (the program's directory by default)
    int countdown = 0;

    // Positions 1 to account_count are loaded accounts; position 0 stands for none.
    std::array<Account, kMaxAccounts + 1> accounts;
    int account_count = 0;
    int cur_account_index = 0;
    QString cur_pop;
    QString cur_user;
    QString cur_password;
    QString account_edit_mode;
    int account_edit_index = 0;

    QString signature_text;
    int record_seconds = 30;
    QString voice_file;
    bool voice_attached = false;

    int waiting_mail_count = 0;

    QString current_folder;
    int list_row = 0;
    int mail_count = 0;
    bool move_pending = false;
    QString move_mail_id;

    QString selected_address;

    double pane_total_height = 0;
    bool splitter_moving = false;

    const Account& current_account() const { return accounts[cur_account_index]; }
};

inline const QString kInbox = QStringLiteral("受信フォルダー");

}  // namespace qv
