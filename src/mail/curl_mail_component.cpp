#include "mail/curl_mail_component.h"

#include "mail/mail_reader.h"
#include "mail/mailbox_download.h"
#include "mail/outgoing_message.h"
#include "mail/pop3_session.h"
#include "mail/server_address.h"
#include "mail/smtp_sender.h"
#include "mail/uidl_record.h"

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
    return std::nullopt;
}

MailArray CurlMailComponent::RcvMail(const QString& server, const QString& user,
                                     const QString& password, const QString& command,
                                     const QString& dir) {
    last_error_.clear();
    QString error;
    const auto address = mail::parse_server_address(server, mail::MailProtocol::Pop3, &error);
    if (!address) return fail(error);
    const mail::NetworkOptions options{connect_timeout_, idle_timeout_,
                                       QFile::encodeName(ca_file_)};
    mail::Pop3Session session(*address, user, password, options);
    const QString what = command.trimmed().toUpper();

    if (what == QLatin1String("STAT")) {
        qint64 count = 0;
        qint64 octets = 0;
        if (!session.stat(&count, &octets)) return fail(session.error());
        session.quit();
        return QStringList{QStringLiteral("%1 %2").arg(count).arg(octets)};
    }
    if (what == QLatin1String("LIST")) {
        QList<QByteArray> lines;
        if (!session.list(&lines)) return fail(session.error());
        session.quit();
        QStringList out;
        for (const QByteArray& line : lines) out.append(QString::fromLatin1(line));
        return out;
    }
    if (what == QLatin1String("SAVEALLD")) {
        if (dir.isEmpty()) return fail(QStringLiteral("保存先のフォルダーが指定されていません"));
        mail::MailboxDownload download(session, dir, mail::UidlRecord::file_name(*address, user),
                                       {receive_batch_, 32 * 1024 * 1024}, progress_);
        auto saved = download.run();
        if (!saved) return fail(download.error());
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
    const auto failed = [this](const QString& reason) {
        last_error_ = QStringLiteral("送信できませんでした（%1）").arg(reason);
        return last_error_;
    };
    QString error;
    const auto address = mail::parse_server_address(smtp, mail::MailProtocol::Smtp, &error);
    if (!address) return failed(error);
    const auto message = mail::build_message({to, from, subject, body, attachment}, &error);
    if (!message) return failed(error);
    const mail::NetworkOptions options{connect_timeout_, idle_timeout_,
                                       QFile::encodeName(ca_file_)};
    error = mail::send_message(*address, smtp_user_, smtp_password_, options, *message);
    return error.isEmpty() ? QString() : failed(error);
}

void CurlMailComponent::Sleep(int seconds) { pauser_.pause(seconds); }

}  // namespace qv
