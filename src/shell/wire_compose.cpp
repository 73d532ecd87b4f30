#include "compose/compose_fields.h"
#include "compose/mail_sender.h"
#include "compose/voice_recorder.h"
#include "core/control_events.h"
#include "folders/address_book.h"
#include "mailbox/mail_commands.h"
#include "shell/main_window.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace qv {

void MainWindow::wire_compose() {
    auto* fields = new ComposeFields(w_.mailto, w_.subject, w_.body, out_, store_, options_, this);
    auto* recorder = new VoiceRecorder(options_, accounts_, w_.mic, out_, services_.pauser,
                                       services_.clock, *runner_, paths_.program_dir, this);
    auto* sender = new MailSender(w_.mailto, w_.subject, w_.body, accounts_, paths_, *recorder,
                                  services_.component, out_, services_.waiter, this);
    parts_.compose = fields;
    parts_.recorder = recorder;
    parts_.sender = sender;

    // The fields reset themselves on every focus gain: a menu or another window passing through
    // must not count as one.
    claim(w_.mailto);
    attach_handlers(w_.mailto, {[fields] { fields->mailto_gained(); },
                                [fields] { fields->mailto_lost(); }, nullptr, true});
    claim(w_.subject);
    attach_handlers(w_.subject, {[fields] { fields->subject_gained(); },
                                 [fields] { fields->subject_lost(); }, nullptr, true});
    claim(w_.body);
    attach_handlers(w_.body,
                    {[fields] { fields->body_gained(); }, [fields] { fields->body_lost(); },
                     [fields](int code) { fields->body_key(code); }, true});

    // A reply from the mail list, a mail to an address of the address book.
    connect(parts_.mail_commands, &MailCommands::replyRequested, fields,
            &ComposeFields::start_reply);
    connect(parts_.addresses, &AddressBook::writeTo, fields, &ComposeFields::write_to);

    connect(fields, &ComposeFields::recordRequested, recorder, &VoiceRecorder::record_voice);
    connect(fields, &ComposeFields::sendRequested, sender, &MailSender::send_mail);
    connect(sender, &MailSender::sent, fields, &ComposeFields::clear_after_send);

    connect(action(QStringLiteral("msg_create")), &QAction::triggered, fields,
            &ComposeFields::create_mail);
    connect(action(QStringLiteral("newmail")), &QAction::triggered, fields,
            &ComposeFields::create_mail);
    connect(action(QStringLiteral("msg_confirtm")), &QAction::triggered, fields,
            &ComposeFields::confirm_mail);
}

}  // namespace qv
