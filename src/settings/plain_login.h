#pragma once

#include "mail/server_address.h"

#include <QObject>
#include <QString>

#include <functional>

namespace qv {

struct Account;
class MailComponent;
class MailStore;

// Puts a yes/no question to the user and waits for the answer: true for yes; no, or no answer,
// is false. The shell gives it a widget to ask from.
using AskYesNo = std::function<bool(const QString& question)>;

// Whether an account may log in without encryption to a server that should switch to TLS but
// offers no STARTTLS (or someone on the way stripped it): the user is asked once per account,
// before any password goes out in the clear, and the answer is kept with the account
// (MailStore::plainLogin). Changing the account's server address forgets it.
class PlainLogin : public QObject {
    Q_OBJECT
  public:
    PlainLogin(MailStore& store, MailComponent& component, QObject* parent = nullptr);

    // Without one, nobody is asked and the answer stays "not asked".
    void set_ask(AskYesNo ask) { ask_ = std::move(ask); }

    // Runs `attempt` (one call of the component for the account, true when it succeeded) with
    // the account's permission. When it failed for want of STARTTLS and the account was never
    // asked, asks, keeps the answer, and after a yes runs it again at once. After a no (now or
    // before), *reason says that nothing was sent and how to change that. `server` is the
    // address as the account holds it. Returns whether the last attempt succeeded.
    bool run(const Account& account, const QString& server, mail::MailProtocol protocol,
             const std::function<bool()>& attempt, QString* reason);
    // Runs `call` with the account's permission, asking nothing (a call whose failure does not
    // matter, such as the POP3 login that goes before a send).
    void run_quietly(const Account& account, const std::function<void()>& call);

    static QString question(const Account& account, const QString& host);
    static QString refusal(const QString& host);

  private:
    bool allowed(const Account& account);

    MailStore& store_;
    MailComponent& component_;
    AskYesNo ask_;
};

}  // namespace qv
