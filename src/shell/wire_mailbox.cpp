#include "core/control_events.h"
#include "mailbox/flex_grid.h"
#include "mailbox/mail_commands.h"
#include "mailbox/mail_list.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_mailbox() {
    auto* list = new MailList(context(), this);
    auto* commands = new MailCommands(context(), this);

    claim(w_.MSFlexGrid1);
    attach_handlers(w_.MSFlexGrid1, {[list] { list->gained(); }, [list] { list->lost(); },
                                     [commands](int code) { commands->mail_list_key(code); }});
    connect(w_.MSFlexGrid1, &FlexGrid::currentCellChanged, list, &MailList::cell_changed);
    // The window opens on the mail list: after the start-up's read-outs the first mail is one
    // down arrow away, and no other control announces itself before the time is said.
    w_.MSFlexGrid1->setFocus(Qt::OtherFocusReason);

    hooks_.init_mail_list = [list] { list->init_mail_list(); };
    hooks_.read_mail_from_db = [list] { list->read_mail_from_db(); };
    hooks_.speak_unread_mail_Click = [list] { list->speak_unread_mail_Click(); };

    connect(action(QStringLiteral("speak_unread_mail")), &QAction::triggered, list,
            [list] { list->speak_unread_mail_Click(); });
    // The fixed key guide promises CTRL-P for the subjects.
    QAction* subjects = action(QStringLiteral("read_subject"));
    subjects->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    subjects->setShortcutContext(Qt::WindowShortcut);
    connect(subjects, &QAction::triggered, list, [list] { list->read_subject_Click(); });
    // The menu's way of doing what INS does in the mail list.
    connect(action(QStringLiteral("t_add_address")), &QAction::triggered, commands,
            [commands] { commands->register_sender(); });
}

}  // namespace qv
