#include "mail/server_address.h"

#include <QUrl>

namespace qv::mail {
namespace {

// The two URL schemes of each protocol, their standard ports, and what the plain one promises.
struct Schemes {
    QLatin1String plain;
    QLatin1String tls;
    int plain_port;
    int tls_port;
    TlsMode plain_tls;
};

const Schemes& schemes_of(MailProtocol protocol) {
    // No plain form falls back to a login that would show the password to anyone on the way
    // (an attacker need only strip STLS / STARTTLS from the server's capabilities): only the
    // user's own "yes" for the account does, see MailComponent::setPlainLoginAllowed.
    static const Schemes pop3{QLatin1String("pop3"), QLatin1String("pop3s"), 110, 995,
                              TlsMode::StartTlsRequired};
    static const Schemes smtp{QLatin1String("smtp"), QLatin1String("smtps"), 25, 465,
                              TlsMode::StartTlsRequired};
    static const Schemes imap{QLatin1String("imap"), QLatin1String("imaps"), 143, 993,
                              TlsMode::StartTlsRequired};
    switch (protocol) {
        case MailProtocol::Smtp:
            return smtp;
        case MailProtocol::Imap:
            return imap;
        case MailProtocol::Pop3:
            break;
    }
    return pop3;
}

bool implicit_tls_port(int port) { return port == 995 || port == 465 || port == 993; }

bool valid_host(const QString& host) {
    if (host.isEmpty() || host.size() > 253) return false;
    for (QChar c : host) {
        if (c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('@') ||
            c == QLatin1Char('?') || c == QLatin1Char('#') || c.unicode() < 0x20) {
            return false;
        }
    }
    return true;
}

QString bad_address(const QString& text) {
    return QStringLiteral("サーバーの指定「%1」が正しくありません").arg(text);
}

}  // namespace

QByteArray ServerAddress::url(const QByteArray& path) const {
    const Schemes& schemes = schemes_of(protocol);
    const QByteArray scheme = tls == TlsMode::Implicit ? schemes.tls.data() : schemes.plain.data();
    const QByteArray h =
        host.contains(QLatin1Char(':')) ? '[' + host.toUtf8() + ']' : QUrl::toAce(host);
    return scheme + "://" + h + ':' + QByteArray::number(port) + path;
}

MailProtocol incoming_protocol(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t.startsWith(QLatin1String("imap://")) || t.startsWith(QLatin1String("imaps://"))) {
        return MailProtocol::Imap;
    }
    // "host:993" and "host:143" name IMAP's ports: nobody serves POP3 there.
    if (!t.contains(QLatin1String("://"))) {
        // One colon, or "[address]:port": a bare IPv6 address has several and no port.
        const qsizetype colon = t.lastIndexOf(QLatin1Char(':'));
        const bool has_port =
            colon > 0 && (t.count(QLatin1Char(':')) == 1 || t.at(colon - 1) == QLatin1Char(']'));
        const QString port = has_port ? t.mid(colon + 1) : QString();
        if (port == QLatin1String("993") || port == QLatin1String("143")) return MailProtocol::Imap;
    }
    return MailProtocol::Pop3;
}

std::optional<ServerAddress> parse_server_address(const QString& text, MailProtocol protocol,
                                                  QString* error) {
    QString rest = text.trimmed();
    ServerAddress a;
    a.protocol = protocol;
    const Schemes& schemes = schemes_of(protocol);

    bool has_scheme = false;
    if (const qsizetype sep = rest.indexOf(QLatin1String("://")); sep >= 0) {
        const QString scheme = rest.left(sep).toLower();
        rest = rest.mid(sep + 3);
        has_scheme = true;
        if (scheme == schemes.tls) {
            a.tls = TlsMode::Implicit;
            a.port = schemes.tls_port;
        } else if (scheme == schemes.plain) {
            a.tls = schemes.plain_tls;
            a.port = schemes.plain_port;
        } else {
            const QString side =
                protocol == MailProtocol::Smtp ? QStringLiteral("送信") : QStringLiteral("受信");
            *error =
                QStringLiteral(
                    "%1サーバーの指定「%2」が正しくありません（%3:// か %4:// で始めてください）")
                    .arg(side, text, schemes.plain, schemes.tls);
            return std::nullopt;
        }
    }
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        rest = rest.left(slash);  // a trailing "/" or path carries nothing for us
    }

    QString port_text;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = bad_address(text);
            return std::nullopt;
        }
        a.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (after.startsWith(QLatin1Char(':'))) {
            port_text = after.mid(1);
        } else if (!after.isEmpty()) {
            *error = bad_address(text);
            return std::nullopt;
        }
    } else if (rest.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        a.host = rest.left(colon);
        port_text = rest.mid(colon + 1);
    } else {
        a.host = rest;  // a bare IPv6 address has several colons and no port
    }
    a.host = a.host.trimmed().toLower();
    if (!valid_host(a.host)) {
        *error = bad_address(text);
        return std::nullopt;
    }

    if (!port_text.isNull()) {
        bool ok = false;
        const int port = port_text.trimmed().toInt(&ok);
        if (!ok || port <= 0 || port > 65535) {
            *error = QStringLiteral("サーバーのポート番号「%1」が正しくありません").arg(port_text);
            return std::nullopt;
        }
        a.port = port;
        if (!has_scheme) {
            a.tls = implicit_tls_port(port) ? TlsMode::Implicit : TlsMode::StartTlsRequired;
        }
    } else if (!has_scheme) {
        a.tls = TlsMode::Implicit;
        a.port = schemes.tls_port;
    }
    return a;
}

}  // namespace qv::mail
