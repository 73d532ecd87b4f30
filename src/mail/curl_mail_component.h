#pragma once

#include "core/wait.h"
#include "mail/curl_session.h"
#include "mail/mail_component.h"

#include <QString>

#include <atomic>

namespace qv {

// The mail component on libcurl (POP3, IMAP, SMTP) and GMime (reading and building messages).
//
// Server addresses are taken as users type them: "host" (implicit TLS on 995 / 465),
// "host:port" (implicit TLS on 995 and 465, STARTTLS required on other ports), or with a scheme:
// pop3://, smtp:// and imap:// (STARTTLS required, unless setPlainLoginAllowed), pop3s://,
// smtps:// and imaps:// (implicit TLS); imap(s):// for an IMAP account's INBOX. Certificates
// are checked against the system's trusted authorities.
//
// RcvMail "SAVEALL" and "SAVEALLD" never lose or double a message, whatever fails when: see
// mail::ReceiveRun and mail::receive_mailbox(). The hidden ".uidl-*" and ".qv-part-*" files they
// keep in the folder are their own. Should a receive fail after saving some messages, their
// files are handed over by the next receive of the same account into the same folder.
//
// ReadMail reads with mail::MailReader. If only the attachment could not be saved, the mail is
// still answered (without one) and lastError() says what happened.
//
// One call at a time per object, except that ReadMail may run while a receive waits for its
// batch sink (that is how a batch gets stored); calls may run on any thread.
class CurlMailComponent : public MailComponent {
  public:
    explicit CurlMailComponent(Pauser& pauser);

    MailArray RcvMail(const QString& server, const QString& user, const QString& password,
                      const QString& command, const QString& dir) override;
    std::optional<ParsedMail> ReadMail(const QString& file, const QString& dir) override;
    QString SendMail(const QString& smtp, const QString& to, const QString& from,
                     const QString& subject, const QString& body,
                     const QString& attachment) override;
    void Sleep(int seconds) override;
    QString lastError() const override { return last_error_; }

    // SendMail has no user or password: set the account's login here before calling it. It is
    // used for SMTP AUTH whenever the server offers AUTH; an empty user sends without it.
    void setSmtpLogin(const QString& user, const QString& password);

    // Limits on waiting for a dead or silent server (defaults: 15 s to connect, 20 s of
    // silence).
    void setTimeouts(int connect_seconds, int idle_seconds);
    // Trust only the authorities in this PEM file instead of the system's store (empty: the
    // system's store again).
    void setCaFile(const QString& path);
    // How many received messages are synced to disk and stored together (at most; default 250).
    // Smaller batches cost a few disk syncs each, but keep more of an interrupted receive and
    // leave less storing to wait for after the last message has come (the batches before it
    // are stored while the next ones arrive).
    void setReceiveBatch(int messages);

  private:
    MailArray fail(const QString& reason);
    // The network options of one call, its STARTTLS report cleared.
    mail::NetworkOptions network();
    void apply_permission(mail::ServerAddress& address) const;

    Pauser& pauser_;
    QString last_error_;
    QString smtp_user_;
    QString smtp_password_;
    int connect_timeout_ = 15;
    int idle_timeout_ = 20;
    QString ca_file_;
    int receive_batch_ = 250;
    std::atomic<bool> no_starttls_{false};
};

}  // namespace qv
