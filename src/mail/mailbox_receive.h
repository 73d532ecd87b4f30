#pragma once

#include "mail/curl_session.h"
#include "mail/receive_run.h"
#include "mail/server_address.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace qv::mail {

// One receive of one account's mail into a folder, over POP3 or IMAP (by the address).
struct ReceiveRequest {
    ServerAddress server;
    QString user;
    QString password;
    NetworkOptions network;
    QString dir;
    bool keep = false;  // leave every message on the server
    ReceiveRun::Options batches;
    BatchSink sink;
    ReceiveProgress progress;
};

// Receives every message that the account's record does not know yet (POP3: by UIDL; IMAP: by
// UID under the INBOX's UIDVALIDITY, and by message_key() when the UIDVALIDITY changed), in the
// server's order, and hands the files to the sink in batches. Unless `keep`, then deletes every
// stored message on the server (POP3: committed by QUIT). Returns the names handed over, or
// nullopt with *error (nothing the sink has not stored was deleted).
std::optional<QStringList> receive_mailbox(const ReceiveRequest& request, QString* error);

// What the server holds, as the account's record sees it.
struct NewMail {
    qint64 count = 0;   // messages not received yet
    qint64 octets = 0;  // and their size
    // Left by a receive that was stopped: files saved but never stored, and stored messages the
    // server still holds (which a receive that deletes deletes).
    qint64 unstored = 0;
    qint64 stored_on_server = 0;
};
bool count_new_mail(const ReceiveRequest& request, NewMail* found, QString* error);

}  // namespace qv::mail
