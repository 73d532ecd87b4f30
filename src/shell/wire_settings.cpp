#include "settings/accounts.h"
#include "settings/options.h"
#include "shell/main_window.h"

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
}

}  // namespace qv
