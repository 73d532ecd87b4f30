#include "mail/server_address.h"

#include <QUrl>

namespace qv::mail {
namespace {

constexpr int kPop3Port = 110;
constexpr int kPop3sPort = 995;
constexpr int kSmtpPort = 25;
constexpr int kSmtpsPort = 465;

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
    const bool pop3 = protocol == MailProtocol::Pop3;
    QByteArray scheme =
        tls == TlsMode::Implicit ? (pop3 ? "pop3s" : "smtps") : (pop3 ? "pop3" : "smtp");
    const QByteArray h =
        host.contains(QLatin1Char(':')) ? '[' + host.toUtf8() + ']' : QUrl::toAce(host);
    return scheme + "://" + h + ':' + QByteArray::number(port) + path;
}

std::optional<ServerAddress> parse_server_address(const QString& text, MailProtocol protocol,
                                                  QString* error) {
    QString rest = text.trimmed();
    ServerAddress a;
    a.protocol = protocol;
    const bool pop3 = protocol == MailProtocol::Pop3;

    bool has_scheme = false;
    if (const qsizetype sep = rest.indexOf(QLatin1String("://")); sep >= 0) {
        const QString scheme = rest.left(sep).toLower();
        rest = rest.mid(sep + 3);
        has_scheme = true;
        if (scheme == (pop3 ? QLatin1String("pop3s") : QLatin1String("smtps"))) {
            a.tls = TlsMode::Implicit;
            a.port = pop3 ? kPop3sPort : kSmtpsPort;
        } else if (scheme == (pop3 ? QLatin1String("pop3") : QLatin1String("smtp"))) {
            a.tls = TlsMode::StartTlsIfOffered;
            a.port = pop3 ? kPop3Port : kSmtpPort;
        } else {
            *error = pop3 ? QStringLiteral(
                                "受信サーバーの指定「%1」が正しくありません（pop3:// か pop3s:// "
                                "で始めてください）")
                                .arg(text)
                          : QStringLiteral(
                                "送信サーバーの指定「%1」が正しくありません（smtp:// か smtps:// "
                                "で始めてください）")
                                .arg(text);
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
            a.tls = (port == kPop3sPort || port == kSmtpsPort) ? TlsMode::Implicit
                                                               : TlsMode::StartTlsRequired;
        }
    } else if (!has_scheme) {
        a.tls = TlsMode::Implicit;
        a.port = pop3 ? kPop3sPort : kSmtpsPort;
    }
    return a;
}

}  // namespace qv::mail
