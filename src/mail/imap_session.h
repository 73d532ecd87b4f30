#pragma once

#include "mail/curl_session.h"
#include "mail/pop3_session.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace qv::mail {

// One IMAP session (RFC 3501) with the INBOX of one account, over one connection: every command
// is a libcurl transfer on the same easy handle, so libcurl logs in once (STARTTLS included, and
// required for imap:// addresses) and keeps the connection for the commands that follow.
//
// Use it on its own, on one thread:
//     ImapSession s(address, user, password, options);   // address from parse_server_address
//     ImapSession::Inbox inbox;                            //   (..., MailProtocol::Imap, ...)
//     s.select(&inbox);            // UIDVALIDITY and the UIDs present; compare with what you kept
//     s.uids_above(last, &uids);   // what arrived since
//     s.fetch(uids, receiver);     // the messages, byte for byte
//     s.delete_messages(uids);     // \Deleted, then expunged
//     s.logout();
// Every call returns false on failure, with error() the reason for the user. A failure ends the
// session: every later call fails at once. A session destroyed without logout() drops its
// connection without a goodbye; on IMAP that loses nothing, as every change is made at once.
//
// Reading never marks a message \Seen. libcurl streams a message byte for byte only through its
// URL form (";UID=n"), which asks for BODY[]; a BODY.PEEK[] sent as a custom command comes back
// as response lines that libcurl keeps to itself. BODY[] leaves the flags alone when the mailbox
// is open read-only, so messages are listed and fetched under EXAMINE, and the mailbox is opened
// read-write (SELECT) only to delete. Both must report the UIDVALIDITY seen first, or the session
// stops before it touches anything.
class ImapSession {
  public:
    ImapSession(const ServerAddress& server, const QString& user, const QString& password,
                const NetworkOptions& options);
    ~ImapSession();
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    struct Inbox {
        quint32 uidvalidity = 0;
        quint32 uidnext = 0;  // 0 when the server did not say
        qint64 exists = 0;
        std::vector<quint32> uids;  // ascending
    };
    // Opens the INBOX and lists the UIDs present (\Deleted ones included).
    bool select(Inbox* inbox);
    // The UIDs greater than `uid`, ascending. Opens the INBOX first if select() was not called.
    bool uids_above(quint32 uid, std::vector<quint32>* uids);
    bool count_above(quint32 uid, qint64* count);

    // begin(i), data(...), end(i) for uids[i], in order; see Pop3Session::Receiver.
    using Receiver = Pop3Session::Receiver;
    // Fetches the messages with these UIDs, each exactly as the server stores it. A UID that is
    // no longer there is a failure.
    bool fetch(const std::vector<quint32>& uids, const Receiver& receiver);
    // The same for one section of each message ("HEADER").
    bool fetch_section(const std::vector<quint32>& uids, const QByteArray& section,
                       const Receiver& receiver);

    // The message_key() of each message, in the order of `uids` (one server round trip per few
    // hundred messages; more for messages without a Message-ID).
    bool message_keys(const std::vector<quint32>& uids, std::vector<QByteArray>* keys);
    // The total size of the messages, in octets.
    bool sizes(const std::vector<quint32>& uids, qint64* octets);

    // Marks the messages \Deleted and expunges them. With UIDPLUS (Dovecot offers it) only these
    // go; a server without it expunges every \Deleted message of the INBOX, as any client would.
    bool delete_messages(const std::vector<quint32>& uids);

    // Says goodbye and ends the session; true when the server answered.
    bool logout();
    // Ends the session without a goodbye.
    void abandon();

    // The Japanese reason of the last failure.
    const QString& error() const { return error_; }
    // The last failure came from the receiver (a local problem), not from the server.
    bool local_failure() const { return local_failure_; }

  private:
    bool fail(const QString& reason, bool local = false);
    // One command: `path` is "/INBOX" or a message's URL path; `custom` the command text when
    // libcurl has no URL form for it. Untagged answers land in text_ (or, while receiver_ is
    // set, the message in the receiver).
    bool command(const QByteArray& path, const QByteArray& custom);
    void send(const QByteArray& path, const QByteArray& custom);
    bool finish();
    // EXAMINE or SELECT INBOX, unless it is open that way already.
    bool open_inbox(bool read_only);
    // The numbers of the "* SEARCH" answer in text_.
    std::vector<quint32> search_result() const;
    static size_t on_data(char* data, size_t size, size_t count, void* self);

    CurlSession curl_;
    ServerAddress server_;
    bool failed_ = false;
    bool finished_ = false;
    bool open_ = false;
    bool read_only_ = false;
    quint32 uidvalidity_ = 0;
    quint32 uidnext_ = 0;
    qint64 exists_ = 0;
    std::optional<bool> uidplus_;  // asked for at the first deletion
    QByteArray text_;
    const Receiver* receiver_ = nullptr;
    bool receiver_failed_ = false;
    QString error_;
    bool local_failure_ = false;
};

}  // namespace qv::mail
