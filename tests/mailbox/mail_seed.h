#pragma once

#include "mailbox/flex_grid.h"
#include "support/window_harness.h"

#include <QStringList>

namespace qv::test {

// One mail as the receiving side would have stored it.
struct SeedMail {
    QString date;
    QString from;
    QString subject;
    QString body;
    QString attach;
    bool read = false;
    QString folder;  // empty: the inbox
};

// Fills the test database before the window starts: an account (so there is no first-use
// dialog), no news, a signature, and mail. Ids count from 1 in insertion order.
class MailSeed {
  public:
    explicit MailSeed(WindowHarness& h) : h_(h) {
        MailStore& s = h_.seed();
        AccountFields a;
        a.pop = a.smtp = QStringLiteral("127.0.0.1");
        a.account = QStringLiteral("user1");
        a.password = QStringLiteral("pass1");
        a.email = QStringLiteral("user1@example.test");
        a.name = QStringLiteral("test");
        const int account = s.insertAccount(a);
        if (account <= 0 || !s.setCurrentAccount(account) || !s.updateNewsSel(false) ||
            !s.updateSignature(QStringLiteral("署名です"))) {
            qFatal("cannot seed: %s", qPrintable(s.lastError()));
        }
        // No mail waits on the server.
        h_.component.onRcvMail = [](const QString&, const QString&, const QString& command) {
            return command == QLatin1String("STAT") ? MailArray(QStringList{QStringLiteral("0 0")})
                                                    : MailArray(QStringList{});
        };
    }

    int mail(const SeedMail& m) {
        MailStore& s = h_.seed();
        if (!s.insertMail(m.date, QStringLiteral("f%1.eml").arg(next_ + 1), m.from, m.subject,
                          m.body, m.attach)) {
            qFatal("cannot seed mail: %s", qPrintable(s.lastError()));
        }
        const int id = ++next_;
        if (m.read && !s.markRead(id)) qFatal("cannot mark mail read");
        if (!m.folder.isEmpty() && !s.moveMail(id, m.folder)) qFatal("cannot move mail");
        return id;
    }

    // A mail stored at the given minute of 2026-12-01 10:xx, unread, in the inbox.
    int mail(int minute, const QString& subject, const QString& body = QStringLiteral("本文"),
             const QString& from = QStringLiteral(" 差出人 <from@example.test>")) {
        return mail(SeedMail{QStringLiteral("2026/12/01 10:%1:00").arg(minute, 2, 10, QChar('0')),
                             from, subject, body, QString(), false, QString()});
    }

    void address(const QString& name, const QString& address) {
        if (!h_.seed().insertAddress(name, address)) qFatal("cannot seed address");
    }

  private:
    WindowHarness& h_;
    int next_ = 0;
};

// The subjects and ids the grid shows, row by row below the header.
inline QStringList grid_column(FlexGrid* grid, int column) {
    QStringList out;
    for (int r = 1; r < grid->rowCount(); ++r) out << grid->cellText(r, column);
    return out;
}

// What the database holds for a folder, newest first, as "id:readflag:subject".
inline QStringList stored(MailStore& store, const QString& folder) {
    QStringList out;
    for (const MailRow& m : store.mailsInFolder(folder)) {
        out << QStringLiteral("%1:%2:%3").arg(m.id).arg(m.readflag, m.subject);
    }
    return out;
}

}  // namespace qv::test
