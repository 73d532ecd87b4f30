#include "compose/compose_fields.h"
#include "core/control_events.h"
#include "folders/address_book.h"
#include "folders/folder_list.h"
#include "mailbox/mail_commands.h"
#include "mailbox/mail_list.h"
#include "shell/main_window.h"

#include <QAction>
#include <QListWidget>

namespace qv {

void MainWindow::wire_folders() {
    auto* folders = new FolderList(w_.List1, out_, store_, this);
    auto* addresses = new AddressBook(w_.List2, out_, store_, this);
    parts_.folders = folders;
    parts_.addresses = addresses;

    // Each list says its prompt when the user moves there, not when a menu or another window
    // gives the focus back.
    claim(w_.List1);
    attach_handlers(w_.List1, {[folders] { folders->gained(); }, [folders] { folders->lost(); },
                               [folders](int code) { folders->key(code); }, true});
    claim(w_.List2);
    attach_handlers(w_.List2,
                    {[addresses] { addresses->gained(); }, [addresses] { addresses->lost(); },
                     [addresses](int code) { addresses->key(code); }, true});

    // The folder list opens a folder in the mail list, and finishes a move the mail list began;
    // a refilled mail list ends a move that was not finished.
    MailList* list = parts_.mail_list;
    connect(folders, &FolderList::folderOpened, list, &MailList::show_folder);
    connect(parts_.mail_commands, &MailCommands::moveRequested, folders, &FolderList::begin_move);
    connect(list, &MailList::refilled, folders, &FolderList::forget_move);
    // A sender registered from the mail list shows up in the address book at once.
    connect(parts_.mail_commands, &MailCommands::addressAdded, addresses,
            &AddressBook::read_address_from_db);

    connect(action(QStringLiteral("chose_folder")), &QAction::triggered, folders,
            &FolderList::chose_folder_Click);
    connect(action(QStringLiteral("display_mail_list")), &QAction::triggered, list,
            &MailList::take_focus);
    connect(action(QStringLiteral("move_to_mail_list")), &QAction::triggered, list,
            &MailList::take_focus);
    connect(action(QStringLiteral("t_address")), &QAction::triggered, addresses,
            &AddressBook::t_address_Click);
}

}  // namespace qv
