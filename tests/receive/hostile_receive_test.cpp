// Every hostile message of the corpus and a few built to hurt, through the real Dovecot at
// start-up: each stored once, nothing opened, no file out of place, the window's timers running
// throughout.
#include "mail/curl_mail_component.h"
#include "mail/html_text.h"
#include "support/files.h"
#include "support/hostile_html.h"
#include "support/mail_servers.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

QByteArray built(const char* subject, const QByteArray& type, const QByteArray& body) {
    return "From: stranger@example.test\r\nSubject: " + QByteArray(subject) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: " + type + "\r\n\r\n" + body + "\r\n";
}

std::vector<QByteArray> hostile_messages() {
    std::vector<QByteArray> mails;
    for (const QString& name : QDir(QStringLiteral(QV_TEST_DATA_DIR "/mail"))
                                   .entryList({QStringLiteral("*.eml")}, QDir::Files)) {
        mails.push_back(file_bytes(QStringLiteral(QV_TEST_DATA_DIR "/mail/") + name));
    }
    mails.push_back(built("unclosed", "text/html; charset=UTF-8", hostile_html(0).html.toUtf8()));
    mails.push_back("From: a@example.test\r\nX-Long: " + QByteArray(1024 * 1024, 'a') +
                    "\r\nSubject: long header\r\n\r\nbody\r\n");
    QByteArray deep;
    for (int i = 0; i < 10000; ++i)
        deep += "--a\r\nContent-Type: multipart/mixed; boundary=a\r\n\r\n";
    mails.push_back(built("deep", "multipart/mixed; boundary=a", deep));
    return mails;
}

}  // namespace

TEST(HostileReceive, EveryMessageIsStoredOnceNothingIsOpenedNothingEscapesAndTheWindowLives) {
    QV_REQUIRE_MAIL_SERVERS(s);
    empty_mailbox(s, s.user1);
    const std::vector<QByteArray> mails = hostile_messages();
    for (const QByteArray& mail : mails) seed_message(s, s.user1, mail);

    WindowHarness h;
    CurlMailComponent component{h.pauser};
    h.componentInstead = &component;
    seed_accounts(h.seed(), {real_account(s, 1, s.pop3_port, s.submission_port)});
    // The longest the window went without running its timers while it received.
    QElapsedTimer since;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, since.restart()); });
    since.start();
    tick.start(20);
    ASSERT_TRUE(h.start());
    tick.stop();

    EXPECT_EQ(h.store().mailsInFolder(kInbox).size(), mails.size());
    EXPECT_EQ(pop3_stat(s, s.user1, s.pass1).first, 0);
    EXPECT_TRUE(h.opener.opened.isEmpty()) << h.opener.opened.join(' ').toStdString();
    // One HTML body at most is turned into text between two ticks, within its budget.
    EXPECT_LT(longest, static_cast<qint64>(mail::kHtmlBudgetSeconds * 1000) + 1500);

    // Received files lie in mail/, attachments one folder deep under mail/attach/, and nothing
    // else anywhere but the program's own files beside the database.
    static const QRegularExpression allowed(
        R"(^(mail/(attach/[^/]+/[^/]+|[^/]+\.eml|\.[^/]+)|[^/]+)$)");
    QDirIterator it(h.dataDir(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    int attachments = 0;
    while (it.hasNext()) {
        const QString path = QDir(h.dataDir()).relativeFilePath(it.next());
        EXPECT_TRUE(allowed.match(path).hasMatch()) << path.toStdString();
        attachments += path.startsWith(QLatin1String("mail/attach/"));
    }
    EXPECT_GT(attachments, 10);
}
