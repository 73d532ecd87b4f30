#include "compose/compose_fields.h"
#include "core/control_events.h"
#include "mailbox/flex_grid.h"
#include "mailbox/mail_commands.h"
#include "mailbox/mail_list.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_mailbox() {
    auto* list = new MailList(w_.MSFlexGrid1, out_, store_, this);
    auto* commands = new MailCommands(w_.MSFlexGrid1, w_.bodytext, out_, store_, services_.pauser,
                                      services_.player, this);
    parts_.mail_list = list;
    parts_.mail_commands = commands;

    claim(w_.MSFlexGrid1);
    // Back from a menu or a dialog the status line keeps what the command showed.
    attach_handlers(w_.MSFlexGrid1,
                    {[list] { list->gained(); }, [list] { list->lost(); },
                     [commands](int code) { commands->mail_list_key(code); }, true});
    connect(w_.MSFlexGrid1, &FlexGrid::currentCellChanged, list, &MailList::cell_changed);
    connect(w_.MSFlexGrid1, &FlexGrid::rowStepped, list, &MailList::row_stepped);
    connect(w_.MSFlexGrid1, &FlexGrid::columnStepped, list, &MailList::column_stepped);
    // The window opens on the mail list: after the start-up's read-outs the first mail is one
    // down arrow away, and no other control announces itself before the time is said.
    w_.MSFlexGrid1->setFocus(Qt::OtherFocusReason);

    connect(action(QStringLiteral("speak_unread_mail")), &QAction::triggered, list,
            &MailList::speak_unread_mail_Click);
    // The fixed key guide promises CTRL-P for the subjects.
    QAction* subjects = action(QStringLiteral("read_subject"));
    subjects->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    subjects->setShortcutContext(Qt::WindowShortcut);
    connect(subjects, &QAction::triggered, list, &MailList::read_subject_Click);
    // The menu's way of doing what INS does in the mail list.
    connect(action(QStringLiteral("t_add_address")), &QAction::triggered, commands,
            &MailCommands::register_sender);
    connect(action(QStringLiteral("msg_replay")), &QAction::triggered, commands,
            &MailCommands::msg_replay_Click);
}

}  // namespace qv
