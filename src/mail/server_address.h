#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace qv::mail {

enum class MailProtocol { Pop3, Smtp, Imap };

enum class TlsMode {
    Implicit,          // TLS from the first byte (pop3s, smtps, imaps)
    StartTlsRequired,  // plain connection that must switch to TLS, or fail
    StartTlsIfOffered  // switch to TLS when the server offers it
};

// A mail server as the user typed it, made precise:
//   host               implicit TLS on the standard port (995, 465, 993)
//   host:port          implicit TLS on 995, 465 and 993, STARTTLS (required) on any other port
//   pop3://host[:port]  smtp://host[:port]  imap://host[:port]
//                                             STARTTLS required (ports 110, 25, 143 by default)
//   pop3s://host[:port] smtps://host[:port] imaps://host[:port]
//                                             implicit TLS (ports 995, 465, 993 by default)
struct ServerAddress {
    MailProtocol protocol = MailProtocol::Pop3;
    QString host;  // lower-case; an IPv6 address without brackets
    int port = 0;
    TlsMode tls = TlsMode::Implicit;

    // The URL libcurl is given, e.g. "pop3s://mail.example.test:995/" + path.
    QByteArray url(const QByteArray& path = "/") const;
};

// The protocol of a receiving server as the user typed it: IMAP for imap:// and imaps://
// addresses, POP3 for every other (a bare host name has always meant POP3 here).
MailProtocol incoming_protocol(const QString& text);

// Parses what the user typed for the given protocol; nullopt and a Japanese reason if it is not a
// server address (or names the other protocol).
std::optional<ServerAddress> parse_server_address(const QString& text, MailProtocol protocol,
                                                  QString* error);

}  // namespace qv::mail
