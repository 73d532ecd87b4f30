#include "mail/curl_mail_component.h"

#include "mail/imap_session.h"
#include "mail/mail_reader.h"
#include "mail/mailbox_receive.h"
#include "mail/outgoing_message.h"
#include "mail/pop3_session.h"
#include "mail/server_address.h"
#include "mail/smtp_sender.h"

#include <QFile>

namespace qv {

CurlMailComponent::CurlMailComponent(Pauser& pauser) : pauser_(pauser) {}

void CurlMailComponent::setSmtpLogin(const QString& user, const QString& password) {
    smtp_user_ = user;
    smtp_password_ = password;
}

void CurlMailComponent::setTimeouts(int connect_seconds, int idle_seconds) {
    connect_timeout_ = connect_seconds;
    idle_timeout_ = idle_seconds;
}

void CurlMailComponent::setCaFile(const QString& path) { ca_file_ = path; }

void CurlMailComponent::setReceiveBatch(int messages) { receive_batch_ = std::max(1, messages); }

MailArray CurlMailComponent::fail(const QString& reason) {
    last_error_ = reason;
    failure_ = no_starttls_ ? MailFailure::NoStartTls : MailFailure::Other;
    return std::nullopt;
}

mail::NetworkOptions CurlMailComponent::network() {
    no_starttls_ = false;
    return {connect_timeout_, idle_timeout_, QFile::encodeName(ca_file_), &no_starttls_};
}

void CurlMailComponent::apply_permission(mail::ServerAddress& address) const {
    if (plain_login_allowed_ && address.tls == mail::TlsMode::StartTlsRequired) {
        address.tls = mail::TlsMode::StartTlsIfOffered;
    }
}

MailArray CurlMailComponent::RcvMail(const QString& server, const QString& user,
                                     const QString& password, const QString& command,
                                     const QString& dir) {
    last_error_.clear();
    failure_ = MailFailure::None;
    no_starttls_ = false;
    QString error;
    auto address = mail::parse_server_address(server, mail::incoming_protocol(server), &error);
    if (!address) return fail(error);
    apply_permission(*address);
    const QString what = command.trimmed().toUpper();
    mail::ReceiveRequest request{*address,
                                 user,
                                 password,
                                 network(),
                                 dir,
                                 what == QLatin1String("SAVEALL"),
                                 {receive_batch_, 32 * 1024 * 1024, false},
                                 sink_,
                                 progress_};
    const bool imap = address->protocol == mail::MailProtocol::Imap;

    if (what == QLatin1String("STAT")) {
        mail::NewMail found;
        if (dir.isEmpty()) return fail(QStringLiteral("保存先のフォルダーが指定されていません"));
        if (!mail::count_new_mail(request, &found, &error)) return fail(error);
        return QStringList{QStringLiteral("%1 %2").arg(found.count).arg(found.octets),
                           QStringLiteral("%1 %2").arg(found.unstored).arg(found.stored_on_server)};
    }
    if (what == QLatin1String("LIST")) {
        if (imap) {
            mail::ImapSession session(*address, user, password, request.network);
            mail::ImapSession::Inbox inbox;
            if (!session.select(&inbox)) return fail(session.error());
            session.logout();
            return QStringList{};
        }
        mail::Pop3Session session(*address, user, password, request.network);
        QList<QByteArray> lines;
        if (!session.list(&lines)) return fail(session.error());
        session.quit();
        QStringList out;
        for (const QByteArray& line : lines) out.append(QString::fromLatin1(line));
        return out;
    }
    if (what == QLatin1String("SAVEALLD") || what == QLatin1String("SAVEALL")) {
        if (dir.isEmpty()) return fail(QStringLiteral("保存先のフォルダーが指定されていません"));
        auto saved = mail::receive_mailbox(request, &error);
        if (!saved) return fail(error);
        return saved;
    }
    return fail(QStringLiteral("受信の命令「%1」は使えません").arg(command));
}

std::optional<ParsedMail> CurlMailComponent::ReadMail(const QString& file, const QString& dir) {
    mail::MailReader reader;
    auto mail = reader.read(file, dir);
    last_error_ = reader.error();
    return mail;
}

QString CurlMailComponent::SendMail(const QString& smtp, const QString& to, const QString& from,
                                    const QString& subject, const QString& body,
                                    const QString& attachment) {
    last_error_.clear();
    failure_ = MailFailure::None;
    no_starttls_ = false;
    const auto failed = [this](const QString& reason) {
        (void)fail(QStringLiteral("送信できませんでした（%1）").arg(reason));
        return last_error_;
    };
    QString error;
    auto address = mail::parse_server_address(smtp, mail::MailProtocol::Smtp, &error);
    if (!address) return failed(error);
    apply_permission(*address);
    const auto message = mail::build_message({to, from, subject, body, attachment}, &error);
    if (!message) return failed(error);
    error = mail::send_message(*address, smtp_user_, smtp_password_, network(), *message);
    return error.isEmpty() ? QString() : failed(error);
}

void CurlMailComponent::Sleep(int seconds) { pauser_.pause(seconds); }

}  // namespace qv
