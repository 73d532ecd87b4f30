#include "core/control_events.h"
#include "help/help.h"
#include "news/news.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_help() {
    auto* help = new Help(paths_.program_dir, out_, services_.opener, this);
    parts_.help = help;
    help->set_user_moved([this] { return user_moved_focus(this); });
    connect(action(QStringLiteral("help_help")), &QAction::triggered, help, &Help::help_help_Click);
    connect(action(QStringLiteral("htmlhelp")), &QAction::triggered, help, &Help::htmlhelp_Click);

    parts_.news = new News(store_, out_, services_.waiter, this);
}

}  // namespace qv
