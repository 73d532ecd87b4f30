#include "receive/receiver.h"
#include "shell/main_window.h"

#include <QAction>

namespace qv {

void MainWindow::wire_receive() {
    auto* receiver = new Receiver(context(), this);
    connect(action(QStringLiteral("mail_check")), &QAction::triggered, receiver,
            [receiver] { receiver->mail_check_Click(); });
    connect(action(QStringLiteral("receive")), &QAction::triggered, receiver,
            [receiver] { receiver->receive_Click(); });
    // The start-up's check first stores what an interrupted run left unstored, so the inbox it
    // shows afterwards is complete.
    hooks_.check_new_mail = [receiver] {
        receiver->store_left_over_mail();
        receiver->check_new_mail();
    };
    hooks_.receive_mail = [receiver] { receiver->receive_mail(); };
}

}  // namespace qv
