#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace qv::mail {

struct MailAddress {
    QString name;  // may be empty
    QString address;
};

// Addresses as a user or an address book writes them: "a@example.test", "Name <a@...>",
// "\"Name\" <a@...>", several separated by ',' or ';'. Items without a usable address are left
// out.
std::vector<MailAddress> parse_addresses(const QString& text);

// The content type we give an attached file, by its extension: audio/mpeg for .mp3 (the
// recordings this program makes), the usual types for common documents, else
// application/octet-stream.
QByteArray content_type_for(const QString& file_name);

struct OutgoingMail {
    QString to;
    QString from;
    QString subject;
    QString body;
    QString attachment;  // a path, or empty
};

// The message as it goes on the wire (CRLF lines, 7-bit), with its envelope.
struct BuiltMessage {
    QByteArray data;
    QByteArray sender;
    std::vector<QByteArray> recipients;
};

// Builds the message with GMime: From, To, RFC 2047 Subject, Date, Message-ID; a UTF-8
// text/plain body; the attachment, if any, in base64 with its (RFC 2231) file name.
// nullopt with a Japanese reason when an address is unusable or the attachment cannot be read.
std::optional<BuiltMessage> build_message(const OutgoingMail& mail, QString* error);

}  // namespace qv::mail
