#include "compose/mail_sender.h"

#include "compose/voice_recorder.h"
#include "core/app_state.h"
#include "core/context.h"
#include "core/feedback.h"
#include "core/platform.h"
#include "core/widgets.h"
#include "mail/mail_component.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <cstdio>

namespace qv {

MailSender::MailSender(Context& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {}

void MailSender::send_mail() {
    AppState& s = ctx_.state;
    const QString to = ctx_.w.mailto->text();
    if (to.isEmpty()) return;
    ctx_.out.speak(QStringLiteral("メールを送信します"));

    // Everything the transport needs is read here, on the window's thread.
    const QString pop = s.cur_pop;
    const QString user = s.cur_user;
    const QString password = s.cur_password;
    const QString mail_dir = s.mail_dir;
    MailComponent& component = ctx_.component;
    // The POP3 log-in just before the send is what some servers want before they relay; its
    // answer is of no interest.
    run_blocking(
        [&] { (void)component.RcvMail(pop, user, password, QStringLiteral("LIST"), mail_dir); });

    QString attachment;
    QString note;
    if (s.voice_attached) {
        attachment = VoiceRecorder::voice_path(s);
        note = voice_note();
        if (!QFile::exists(attachment)) {
            // Sent without it rather than not at all: the text is what the user wrote, and
            // they are told the voice did not go with it.
            std::fprintf(stderr, "quorvel: the recording %s is missing; sent without it\n",
                         qUtf8Printable(attachment));
            attachment.clear();
            note = missing_voice_note();
        }
    }

    const Account& account = s.current_account();
    const QString smtp = account.smtp;
    const QString from = account.email;
    const QString subject = ctx_.w.subject->text();
    const QString body = ctx_.w.body->toPlainText();
    component.setSmtpLogin(account.account, account.password);
    QString answer;
    run_blocking([&] { answer = component.SendMail(smtp, to, from, subject, body, attachment); });
    if (!answer.isEmpty()) note = answer;

    const QString message =
        note + QStringLiteral("メールを") + to + QStringLiteral("へ送信しました");
    ctx_.out.speak(message);
    ctx_.out.show_status(message);

    if (!attachment.isEmpty() && !QFile::remove(attachment)) {
        std::fprintf(stderr, "quorvel: cannot delete the sent recording %s\n",
                     qUtf8Printable(attachment));
    }
    s.voice_attached = false;
}

}  // namespace qv
