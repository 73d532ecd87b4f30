#include "settings/plain_login.h"

#include "mail/mail_component.h"
#include "settings/account_table.h"
#include "store/mail_store.h"

#include <cstdio>

namespace qv {

namespace {

QString account_label(const Account& account) {
    return account.email.isEmpty() ? account.account + QLatin1Char('@') + account.pop
                                   : account.email;
}

}  // namespace

PlainLogin::PlainLogin(MailStore& store, MailComponent& component, QObject* parent)
    : QObject(parent), store_(store), component_(component) {}

QString PlainLogin::question(const Account& account, const QString& host) {
    return QStringLiteral(
               "アカウント「%1」のサーバー %2 は暗号化通信（STARTTLS）に対応していません。この"
               "まま接続すると、パスワードが暗号化されずに送られます。暗号化せずに接続しますか")
        .arg(account_label(account), host);
}

QString PlainLogin::refusal(const QString& host) {
    return QStringLiteral(
               "サーバー %1 が暗号化通信（STARTTLS）に対応していないため、接続しませんでした。"
               "接続するには、アカウントの編集でサーバーを pop3s:// か imaps:// か smtps:// で"
               "始めて書くか、「暗号化せずに接続する」をオンにしてください")
        .arg(host);
}

bool PlainLogin::allowed(const Account& account) {
    return store_.plainLogin(account.id).value_or(false);
}

void PlainLogin::run_quietly(const Account& account, const std::function<void()>& call) {
    component_.setPlainLoginAllowed(allowed(account));
    call();
    component_.setPlainLoginAllowed(false);
}

bool PlainLogin::run(const Account& account, const QString& server, mail::MailProtocol protocol,
                     const std::function<bool()>& attempt, QString* reason) {
    const std::optional<bool> answer = store_.plainLogin(account.id);
    component_.setPlainLoginAllowed(answer.value_or(false));
    bool ok = attempt();
    component_.setPlainLoginAllowed(false);
    if (ok || component_.lastFailure() != MailFailure::NoStartTls) return ok;

    QString error;
    const auto address = mail::parse_server_address(server, protocol, &error);
    const QString host = address ? address->host : server;
    if (!answer && ask_) {
        const bool yes = ask_(question(account, host));
        if (!store_.setPlainLogin(account.id, yes)) {
            std::fprintf(stderr, "quorvel: cannot keep the answer for account %d: %s\n", account.id,
                         qUtf8Printable(store_.lastError()));
        }
        if (yes) {
            component_.setPlainLoginAllowed(true);
            ok = attempt();
            component_.setPlainLoginAllowed(false);
            return ok;
        }
    }
    *reason = refusal(host);
    return false;
}

}  // namespace qv
