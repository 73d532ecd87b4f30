#pragma once

// The real Dovecot and Postfix that scripts/mailservers/start runs on 127.0.0.1: their settings,
// their Maildirs, and what they hold as seen by plain clients of our own.

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace qv::test {

struct MailServers {
    QString workdir;
    QString host = QStringLiteral("127.0.0.1");
    int pop3_port = 0;        // STLS offered
    int pop3s_port = 0;       // implicit TLS
    int imap_port = 0;        // STARTTLS offered
    int imaps_port = 0;       // implicit TLS
    int smtp_port = 0;        // plain, no AUTH, @example.test recipients only
    int submission_port = 0;  // STARTTLS and AUTH required
    int smtps_port = 0;       // implicit TLS, AUTH required
    QString user1, pass1, addr1, user2, pass2, addr2;
    QString dovecot_log, postfix_log;

    QString maildir(const QString& user) const { return workdir + "/mail/" + user + "/Maildir"; }
};

// From the env file named by QV_MAIL_SERVERS_ENV (default /tmp/qmail-servers/env); nullopt,
// with the reason, unless the servers answer. Under QV_REQUIRE_SERVERS=1 they are required.
std::optional<MailServers> load_mail_servers(QString* why);
bool mail_servers_required();

// Serializes the tests of all processes that use the shared servers' mailboxes while it lives.
class MailServerLock {
  public:
    explicit MailServerLock(const MailServers& servers);
    ~MailServerLock();
    MailServerLock(const MailServerLock&) = delete;
    MailServerLock& operator=(const MailServerLock&) = delete;

  private:
    int fd_ = -1;
};

// Drops a message (LF line ends, as given) into the user's Maildir/new as a delivery would.
void seed_message(const MailServers& servers, const QString& user, const QByteArray& content);

// The user's Maildir (new and cur); wait_for_maildir is false on timeout.
void empty_mailbox(const MailServers& servers, const QString& user);
int maildir_count(const MailServers& servers, const QString& user);
bool wait_for_maildir(const MailServers& servers, const QString& user, int count, int timeout_ms);
std::vector<QByteArray> maildir_messages(const MailServers& servers, const QString& user);

// What a server hands out for a stored message: every line ending in CRLF.
QByteArray as_crlf(const QByteArray& lf_text);

// STAT as {count, octets} and UIDL as (number, id) pairs on the plain POP3 port; {-1, -1} and
// nothing when the login or the command fails.
std::pair<long long, long long> pop3_stat(const MailServers& servers, const QString& user,
                                          const QString& password);
std::vector<std::pair<int, QByteArray>> pop3_uidls(const MailServers& servers, const QString& user,
                                                   const QString& password);

// The user's INBOX as IMAP on the plain port shows it; uidvalidity 0 when that failed.
struct ImapInbox {
    quint32 uidvalidity = 0;
    std::vector<quint32> uids;      // ascending
    std::vector<QByteArray> flags;  // per UID, e.g. "\Seen \Deleted"
    bool has_flag(quint32 uid, const QByteArray& flag) const;
};
ImapInbox imap_inbox(const MailServers& servers, const QString& user, const QString& password);
// Flags one message \Deleted without expunging it, as another client would.
bool imap_flag_deleted(const MailServers& servers, const QString& user, const QString& password,
                       quint32 uid);
// A new UIDVALIDITY (UIDs from 1) the next time the INBOX is opened; no session may have it open.
void renumber_inbox(const MailServers& servers, const QString& user);

// Lines of a log file that contain every one of the texts.
int count_log_lines(const QString& path, const std::vector<QByteArray>& texts);

// A TCP port on 127.0.0.1 that nothing listens on (just now).
int unused_port();

}  // namespace qv::test

// Skips the test (or fails it under QV_REQUIRE_SERVERS=1) when the servers are not running, else
// declares `servers` (MailServers) and holds the shared lock for the rest of the test.
#define QV_REQUIRE_MAIL_SERVERS(servers)                                                  \
    QString qv_servers_why_;                                                              \
    const auto qv_servers_opt_ = ::qv::test::load_mail_servers(&qv_servers_why_);         \
    if (!qv_servers_opt_) {                                                               \
        if (::qv::test::mail_servers_required()) FAIL() << qv_servers_why_.toStdString(); \
        GTEST_SKIP() << "mail servers not running: " << qv_servers_why_.toStdString();    \
    }                                                                                     \
    const ::qv::test::MailServers& servers = *qv_servers_opt_;                            \
    ::qv::test::MailServerLock qv_servers_lock_(servers)
