#include "compose/mail_sender.h"
#include "mailbox/mail_list.h"
#include "receive/receiver.h"
#include "settings/plain_login.h"
#include "shell/main_window.h"

#include <QAction>
#include <QMessageBox>
#include <QPushButton>

namespace qv {

void MainWindow::wire_receive() {
    auto* receiver = new Receiver(accounts_, paths_, store_, services_.component, out_,
                                  services_.clock, services_.waiter, this);
    parts_.receiver = receiver;

    // The question about a login in the clear, from the check, the receive and the send. No is
    // what ENTER and ESC answer: the password stays safe unless the user says otherwise.
    auto* plain_login = new PlainLogin(store_, services_.component, this);
    plain_login->set_ask([this](const QString& question) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("暗号化されていない接続"), question,
                        QMessageBox::NoButton, this);
        QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes;
    });
    receiver->set_plain_login(plain_login);
    parts_.sender->set_plain_login(plain_login);
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
