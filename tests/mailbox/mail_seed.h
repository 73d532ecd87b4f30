#pragma once

#include "mailbox/flex_grid.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace qv::test {

// The real window over a seeded database: an account (so no first-use dialog), no news, a
// signature, no mail waiting on the server, and the mail and addresses a test adds before
// start(). Mail ids count from 1 in the order the mails are added.
class ListTest : public ::testing::Test {
  protected:
    ListTest() {
        seed_accounts(
            h.seed(),
            {{"127.0.0.1", "127.0.0.1", "user1", "pass1", "user1@example.test", "test", {}}});
        if (!h.seed().updateSignature("署名です")) qFatal("cannot seed the signature");
        h.component.onRcvMail = [](const QString&, const QString&, const QString& command) {
            return MailArray(command == "STAT" ? QStringList{"0 0"} : QStringList{});
        };
    }

    // A mail as the receiving side would have stored it; folder empty: the inbox.
    int mail(const QString& date, const QString& from, const QString& subject,
             const QString& body = {}, const QString& attach = {}, bool read = false,
             const QString& folder = {}) {
        MailStore& s = h.seed();
        const int id = ++mails;
        if (!s.insertMail(date, QStringLiteral("f%1.eml").arg(id), from, subject, body, attach) ||
            (read && !s.markRead(id)) || (!folder.isEmpty() && !s.moveMail(id, folder))) {
            qFatal("cannot seed mail: %s", qPrintable(s.lastError()));
        }
        return id;
    }
    void address(const QString& name, const QString& address) {
        if (!h.seed().insertAddress(name, address)) qFatal("cannot seed an address");
    }

    // Starts the window and goes to the given mail row as a user does: Ctrl+A, then the down
    // arrow. What was said so far is set aside.
    void open_list_at(int row) {
        ASSERT_TRUE(h.start());
        h.key(Qt::Key_A, Qt::ControlModifier);
        for (int i = 0; i < row; ++i) h.key(Qt::Key_Down);
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
        for (const MailRow& m : h.store().mailsInFolder(folder))
            out << QStringLiteral("%1:%2:%3").arg(m.id).arg(m.readflag, m.subject);
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
    int mails = 0;
};

}  // namespace qv::test
