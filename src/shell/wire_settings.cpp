#include "settings/account_list.h"
#include "settings/accounts.h"
#include "settings/options.h"
#include "settings/options_dialog.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_settings() {
    auto* accounts = new Accounts(accounts_, store_, out_, this);
    auto* options = new Options(options_, store_, this);
    auto* dialogs = new AccountDialogs(accounts_, store_, out_, *accounts, this);
    auto* options_command = new OptionsCommand(*options, out_, this);
    parts_.accounts = accounts;
    parts_.options = options;
    parts_.account_dialogs = dialogs;
    parts_.options_command = options_command;

    connect(action(QStringLiteral("t_account")), &QAction::triggered, dialogs,
            &AccountDialogs::t_account_Click);
    connect(action(QStringLiteral("t_option")), &QAction::triggered, options_command,
            &OptionsCommand::t_option_Click);
    connect(action(QStringLiteral("msg_template")), &QAction::triggered, this, [this] {
        out_.tell(QStringLiteral(
            "ひな形はありません。新しいメールの本文には署名が入ります。署名はツールメニューの"
            "オプションで変えられます"));
    });
}

}  // namespace qv
