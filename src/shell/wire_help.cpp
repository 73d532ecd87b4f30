#include "help/help.h"
#include "news/news.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_help() {
    auto* help = new Help(context(), this);
    hooks_.load_help = [help] { help->load_help(); };
    connect(action(QStringLiteral("help_help")), &QAction::triggered, help,
            [help] { help->help_help_Click(); });
    connect(action(QStringLiteral("htmlhelp")), &QAction::triggered, help,
            [help] { help->htmlhelp_Click(); });

    auto* news = new News(context(), this);
    hooks_.speak_news = [news] { news->speak_news(); };
}

}  // namespace qv
