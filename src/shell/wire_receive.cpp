#include "compose/mail_sender.h"
#include "mailbox/mail_list.h"
#include "receive/receiver.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_receive() {
    auto* receiver = new Receiver(accounts_, paths_, store_, services_.component, out_,
                                  services_.clock, services_.waiter, this);
    parts_.receiver = receiver;
    connect(action(QStringLiteral("mail_check")), &QAction::triggered, receiver,
            &Receiver::mail_check_Click);
    // "送受信": receive; new mail shows in the inbox at once; then send what is being composed.
    MailSender* sender = parts_.sender;
    MailList* list = parts_.mail_list;
    connect(action(QStringLiteral("receive")), &QAction::triggered, receiver,
            [receiver, sender, list] {
                if (receiver->receive_mail() > 0 && list->current_folder() == kInbox) {
                    list->read_mail_from_db();
                }
                sender->send_mail();
            });
}

}  // namespace qv
