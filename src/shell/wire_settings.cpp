#include "settings/account_list.h"
#include "settings/accounts.h"
#include "settings/options.h"
#include "settings/options_dialog.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_settings() {
    // --- Accounts and options in memory -------------------------------------------------------
    // The start-up's settings step and read_options. The dialogs below find these two objects
    // as children of the window (Accounts::set_default_account, Options::read_options).
    {
        auto* accounts = new Accounts(context(), this);
        auto* options = new Options(state_, store_, this);
        hooks_.load_startup_settings = [accounts] { accounts->load_startup_settings(); };
        hooks_.read_options = [options] { options->read_options(); };
    }
    // --- end of accounts and options ----------------------------------------------------------

    // The account list and editor, the options dialog, and the file menu's "新規作(&N)" and the
    // message menu's "ひな形(&U)". The accounts and options themselves are looked up when used,
    // so this block does not depend on the order in which they are wired.
    {
        auto* dialogs = new AccountDialogs(
            state_, store_, out_,
            [this](int row) {
                auto* accounts = findChild<Accounts*>();
                return accounts && accounts->set_default_account(row);
            },
            this);
        hooks_.open_first_use_account_editor = [dialogs] { dialogs->open_first_use_editor(); };
        connect(action(QStringLiteral("t_account")), &QAction::triggered, dialogs,
                [dialogs] { dialogs->t_account_Click(); });

        auto* options = new OptionsCommand(
            state_, store_, out_, [this] { return findChild<Options*>(); }, this);
        connect(action(QStringLiteral("t_option")), &QAction::triggered, options,
                [options] { options->t_option_Click(); });

        connect(action(QStringLiteral("newmail")), &QAction::triggered, this,
                [this] { Hooks::call(hooks_.create_mail); });
        connect(action(QStringLiteral("msg_template")), &QAction::triggered, this, [this] {
            const QString message = QStringLiteral(
                "ひな形はありません。新しいメールの本文には署名が入ります。署名はツールメニューの"
                "オプションで変えられます");
            out_.show_status(message);
            out_.speak(message);
        });
    }
}

}  // namespace qv
