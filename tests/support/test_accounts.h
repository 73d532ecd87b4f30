#pragma once

#include "store/mail_store.h"
#include "support/mail_servers.h"

#include <vector>

namespace qv::test {

// On made-up servers: the password is the user name + "-pw", the address user@example.test.
inline AccountFields fake_account(const QString& user,
                                  const QString& pop = QStringLiteral("pop.example.test")) {
    return {pop, "smtp.example.test", user, user + "-pw", user + "@example.test", {}, {}};
}

// User 1 or 2 of the real servers, POP3 and SMTP on the given ports of 127.0.0.1 (STARTTLS
// required, as the program takes "host:port").
inline AccountFields real_account(const MailServers& s, int which, int pop_port, int smtp_port) {
    const auto at = [&s](int port) { return QStringLiteral("%1:%2").arg(s.host).arg(port); };
    return which == 1
               ? AccountFields{at(pop_port), at(smtp_port), s.user1, s.pass1, s.addr1, {}, {}}
               : AccountFields{at(pop_port), at(smtp_port), s.user2, s.pass2, s.addr2, {}, {}};
}

// Adds the accounts in order; the first becomes the current one (the one that sends).
inline void seed_accounts(MailStore& db, const std::vector<AccountFields>& accounts) {
    for (const AccountFields& a : accounts) {
        const int id = db.insertAccount(a);
        if (id <= 0 || (&a == &accounts.front() && !db.setCurrentAccount(id)))
            qFatal("cannot seed the account %s", qPrintable(a.email));
    }
}

}  // namespace qv::test
