#include "compose/compose_fields.h"
#include "compose/mail_sender.h"
#include "compose/voice_recorder.h"
#include "core/control_events.h"
#include "shell/main_window.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace qv {

void MainWindow::wire_compose() {
    auto* fields = new ComposeFields(context(), this);
    auto* sender = new MailSender(context(), this);
    auto* recorder = new VoiceRecorder(context(), this);

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

    hooks_.create_mail = [fields] { fields->create_mail(); };
    hooks_.msg_replay_Click = [fields] { fields->msg_replay_Click(); };
    hooks_.send_mail = [sender] { sender->send_mail(); };
    hooks_.record_voice = [recorder] { recorder->record_voice(); };

    connect(action(QStringLiteral("msg_create")), &QAction::triggered, fields,
            [fields] { fields->create_mail(); });
    connect(action(QStringLiteral("msg_confirtm")), &QAction::triggered, fields,
            [fields] { fields->confirm_mail(); });
    connect(action(QStringLiteral("msg_replay")), &QAction::triggered, fields,
            [fields] { fields->msg_replay_Click(); });
}

}  // namespace qv
