#include "core/control_events.h"
#include "folders/address_book.h"
#include "folders/folder_list.h"
#include "shell/main_window.h"

#include <QAction>
#include <QListWidget>

namespace qv {

void MainWindow::wire_folders() {
    auto* folders = new FolderList(context(), this);
    auto* addresses = new AddressBook(context(), this);

    claim(w_.List1);
    attach_handlers(w_.List1, {[folders] { folders->gained(); }, [folders] { folders->lost(); },
                               [folders](int code) { folders->key(code); }});
    claim(w_.List2);
    attach_handlers(w_.List2,
                    {[addresses] { addresses->gained(); }, [addresses] { addresses->lost(); },
                     [addresses](int code) { addresses->key(code); }});

    hooks_.read_folders_from_db = [folders] { folders->read_folders_from_db(); };
    hooks_.read_address_from_db = [addresses] { addresses->read_address_from_db(); };

    connect(action(QStringLiteral("chose_folder")), &QAction::triggered, folders,
            [folders] { folders->chose_folder_Click(); });
    connect(action(QStringLiteral("display_mail_list")), &QAction::triggered, folders,
            [folders] { folders->display_mail_list_Click(); });
    connect(action(QStringLiteral("move_to_mail_list")), &QAction::triggered, folders,
            [folders] { folders->display_mail_list_Click(); });
    connect(action(QStringLiteral("t_address")), &QAction::triggered, addresses,
            [addresses] { addresses->t_address_Click(); });
}

}  // namespace qv
