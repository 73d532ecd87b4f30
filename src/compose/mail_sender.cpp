#include "compose/mail_sender.h"

#include "compose/voice_recorder.h"
#include "core/feedback.h"
#include "core/paths.h"
#include "core/wait.h"
#include "mail/mail_component.h"
#include "mail/server_address.h"
#include "settings/account_table.h"
#include "settings/plain_login.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <cstdio>

namespace qv {

MailSender::MailSender(QLineEdit* mailto, QLineEdit* subject, QPlainTextEdit* body,
                       const AccountTable& accounts, const Paths& paths, VoiceRecorder& recorder,
                       MailComponent& component, Feedback& out, Waiter& waiter, QObject* parent)
    : QObject(parent),
      mailto_(mailto),
      subject_(subject),
      body_(body),
      accounts_(accounts),
      paths_(paths),
      recorder_(recorder),
      component_(component),
      out_(out),
      waiter_(waiter) {}

void MailSender::send_mail() {
    const QString to = mailto_->text();
    if (to.isEmpty()) return;
    out_.speak(QStringLiteral("メールを送信します"));

    // Everything the transport needs is read here, on the window's thread.
    const QString pop = accounts_.cur_pop;
    const QString user = accounts_.cur_user;
    const QString password = accounts_.cur_password;
    const QString mail_dir = paths_.mail_dir;
    // The POP3 log-in just before the send is what some servers want before they relay; its
    // answer is of no interest (nor is a question about it: the send asks, if anything).
    const Account& account = accounts_.current_account();
    const auto pop_login = [&] {
        waiter_.run([&] {
            (void)component_.RcvMail(pop, user, password, QStringLiteral("LIST"), mail_dir);
        });
    };
    if (plain_login_) {
        plain_login_->run_quietly(account, pop_login);
    } else {
        pop_login();
    }

    QString attachment;
    QString note;
    if (recorder_.voice_attached()) {
        attachment = recorder_.voice_path();
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

    const QString smtp = account.smtp;
    const QString from = account.email;
    const QString subject = subject_->text();
    const QString body = body_->toPlainText();
    component_.setSmtpLogin(account.account, account.password);
    QString answer;
    const auto send = [&] {
        waiter_.run(
            [&] { answer = component_.SendMail(smtp, to, from, subject, body, attachment); });
        return answer.isEmpty();
    };
    QString refused;
    if (!plain_login_) {
        send();
    } else if (!plain_login_->run(account, smtp, mail::MailProtocol::Smtp, send, &refused) &&
               !refused.isEmpty()) {
        answer = QStringLiteral("送信できませんでした（%1）").arg(refused);
    }
    const int dropped = waiter_.drop_held_input();

    if (!answer.isEmpty()) {
        // Nothing the user made is lost: the mail stays in the fields, the recording stays
        // pending, and ESC tries again.
        QString message = answer + QStringLiteral(
                                       "。送信先、件名、本文はそのまま残っています。"
                                       "ESCキーでもう一度送れます");
        if (!attachment.isEmpty())
            message += QStringLiteral("。録音した音声も次の送信で添付します");
        std::fprintf(stderr, "quorvel: the mail to %s was not sent: %s\n", qUtf8Printable(to),
                     qUtf8Printable(answer));
        out_.tell(message);
        if (attachment.isEmpty() && recorder_.voice_attached()) recorder_.used_up();
    } else {
        const QString message =
            note + QStringLiteral("メールを") + to + QStringLiteral("へ送信しました");
        out_.speak(message);
        out_.show_status(message);
        if (!attachment.isEmpty() && !QFile::remove(attachment)) {
            std::fprintf(stderr, "quorvel: cannot delete the sent recording %s\n",
                         qUtf8Printable(attachment));
        }
        if (recorder_.voice_attached()) recorder_.used_up();
        emit sent();
    }
    if (dropped > 0) {
        out_.speak(QStringLiteral(
            "待っている間に押されたキーは、同じメールを二度送らないように取り消しました"));
    }
}

}  // namespace qv
