#pragma once

#include "mail/curl_session.h"
#include "mail/outgoing_message.h"

#include <QString>

namespace qv::mail {

// Hands one built message to an SMTP server. The user and password are used for AUTH whenever
// the server offers it (an empty user sends without logging in).
// Returns "" on success, else the Japanese reason (without the "could not send" part).
QString send_message(const ServerAddress& server, const QString& user, const QString& password,
                     const NetworkOptions& options, const BuiltMessage& message);

}  // namespace qv::mail
