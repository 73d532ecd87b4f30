#pragma once

#include "mailbox/flex_grid.h"
#include "support/window_harness.h"

#include <QApplication>
#include <QStringList>

#include <gtest/gtest.h>

namespace qv::test {

// One mail as the receiving side would have stored it.
struct SeedMail {
    SeedMail(QString d, QString f, QString s, QString b = {}, QString a = {}, bool r = false,
             QString in = {})
        : date(d), from(f), subject(s), body(b), attach(a), read(r), folder(in) {}
    QString date, from, subject, body, attach;
    bool read;
    QString folder;  // empty: the inbox
};

// The real window over a seeded database: an account (so no first-use dialog), no news, a
// signature, no mail waiting on the server, and the mail and addresses a test adds before
// start(). Mail ids count from 1 in the order the mails are added.
class ListTest : public ::testing::Test {
  protected:
    ListTest() {
        MailStore& s = h.seed();
        const int account = s.insertAccount(
            {"127.0.0.1", "127.0.0.1", "user1", "pass1", "user1@example.test", "test", {}});
        if (account <= 0 || !s.setCurrentAccount(account) || !s.updateSignature("署名です")) {
            qFatal("cannot seed: %s", qPrintable(s.lastError()));
        }
        h.component.onRcvMail = [](const QString&, const QString&, const QString& command) {
            return MailArray(command == "STAT" ? QStringList{"0 0"} : QStringList{});
        };
    }

    int mail(const SeedMail& m) {
        MailStore& s = h.seed();
        const int id = ++mails_;
        if (!s.insertMail(m.date, QStringLiteral("f%1.eml").arg(id), m.from, m.subject, m.body,
                          m.attach) ||
            (m.read && !s.markRead(id)) || (!m.folder.isEmpty() && !s.moveMail(id, m.folder))) {
            qFatal("cannot seed mail: %s", qPrintable(s.lastError()));
        }
        return id;
    }
    // An unread inbox mail stored on 2026/12/01 at 10:<minute>.
    int mail(int minute, const QString& subject, const QString& body = "本文",
             const QString& from = " 差出人 <from@example.test>") {
        return mail({QStringLiteral("2026/12/01 10:%1:00").arg(minute, 2, 10, QChar('0')), from,
                     subject, body});
    }
    void address(const QString& name, const QString& address) {
        if (!h.seed().insertAddress(name, address)) qFatal("cannot seed an address");
    }

    // Starts the window and goes to the given mail row as a user does: Ctrl+A, then the down
    // arrow. What was said so far is set aside.
    void open_list_at(int row) {
        ASSERT_TRUE(h.start());
        h.key(Qt::Key_A, Qt::ControlModifier);
        ASSERT_EQ(QApplication::focusWidget(), grid());
        for (int i = 0; i < row; ++i) h.key(Qt::Key_Down);
        ASSERT_EQ(grid()->currentRow(), row);
        h.mark();
    }
    QStringList said() { return h.spokenSinceMark(); }
    // What one key press says.
    QStringList press(int key, Qt::KeyboardModifiers mods = {}) {
        h.mark();
        h.key(key, mods);
        return said();
    }
    FlexGrid* grid() { return h.w().MSFlexGrid1; }
    // What the database holds for a folder, newest first, as "id:readflag:subject".
    QStringList stored(const QString& folder = kInbox) {
        QStringList out;
        for (const MailRow& m : h.store().mailsInFolder(folder)) {
            out << QStringLiteral("%1:%2:%3").arg(m.id).arg(m.readflag, m.subject);
        }
        return out;
    }
    // A column of the grid below the header.
    QStringList column(int c) {
        QStringList out;
        for (int r = 1; r < grid()->rowCount(); ++r) out << grid()->cellText(r, c);
        return out;
    }
    std::pair<int, int> cell() { return {grid()->currentRow(), grid()->currentColumn()}; }

    WindowHarness h;

  private:
    int mails_ = 0;
};

}  // namespace qv::test
