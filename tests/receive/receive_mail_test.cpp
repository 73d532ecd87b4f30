#include "receive/receiver.h"
#include "support/window_harness.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

AccountFields account(const QString& pop, const QString& user) {
    return AccountFields{pop,
                         QStringLiteral("smtp.example.test"),
                         user,
                         QStringLiteral("pw"),
                         user + QStringLiteral("@example.test"),
                         QString(),
                         QString()};
}

ParsedMail read_answer(const QString& subject, const QString& from, const QString& body,
                       const QString& file = QString()) {
    ParsedMail mail;
    mail.subject = subject;
    mail.sender = from;
    mail.date = QStringLiteral("Sat, 05 Dec 2026 08:00:00 +0900");
    mail.body = body;
    mail.attachment = file;
    return mail;
}

// Every account: STAT says how many files it holds; SAVEALLD hands them over once.
struct Mailboxes {
    QHash<QString, QStringList> files;  // by user
    void install(WindowHarness& h) {
        h.component.onRcvMail = [this](const QString&, const QString& user,
                                       const QString& command) -> MailArray {
            const QStringList waiting = files.value(user);
            if (command == QLatin1String("STAT")) {
                return QStringList{
                    QStringLiteral("%1 %2").arg(waiting.size()).arg(waiting.size() * 1000)};
            }
            if (command == QLatin1String("SAVEALLD")) {
                files.remove(user);
                return waiting;
            }
            return QStringList{};
        };
    }
};

// Stored rows in the order they were stored.
std::vector<MailRow> stored(WindowHarness& h) {
    std::vector<MailRow> rows = h.store().mailsInFolder(kInbox);
    std::sort(rows.begin(), rows.end(),
              [](const MailRow& a, const MailRow& b) { return a.id < b.id; });
    return rows;
}

MailBody body_of(WindowHarness& h, int id) { return h.store().mailBody(id).value_or(MailBody{}); }

}  // namespace

TEST(ReceiveMail, StartUpStoresEachMailAsAnUnreadInboxRowExactlyAsParsed) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop"), QStringLiteral("u"))), 0);
    Mailboxes box;
    box.files[QStringLiteral("u")] = {QStringLiteral("m1.eml"), QStringLiteral("m2.eml"),
                                      QStringLiteral("m3.eml"), QStringLiteral("m4.eml")};
    box.install(h);
    h.component.readResults[QStringLiteral("m1.eml")] =
        read_answer(QStringLiteral("Hello"), QStringLiteral("Taro"), QStringLiteral("a-b_c"));
    h.component.readResults[QStringLiteral("m2.eml")] =
        read_answer(QStringLiteral("It's mine"), QStringLiteral("O'Brien <ob@example.test>"),
                    QStringLiteral("He said \"don't\""), QStringLiteral("/data/mail/voice.mp3"));
    h.component.readResults[QStringLiteral("m3.eml")] =
        read_answer(QStringLiteral("後の件"), QStringLiteral("花子"), QStringLiteral("本文"));
    // m4.eml cannot be read: it is skipped and the others are stored.
    ASSERT_TRUE(h.start());

    const std::vector<MailRow> rows = stored(h);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].subject, QStringLiteral("Hello"));
    EXPECT_EQ(rows[0].mailfrom, QStringLiteral(" Taro"));
    EXPECT_EQ(body_of(h, rows[0].id).body, QStringLiteral("a-b_c"));
    EXPECT_EQ(rows[0].attach, QString());
    EXPECT_EQ(rows[0].readflag, QStringLiteral("未読"));
    EXPECT_EQ(rows[0].folder, QStringLiteral("受信フォルダー"));
    // Stored with the time of storing, not the mail's own date.
    EXPECT_EQ(rows[0].date, QStringLiteral("2026/12/05 09:05:30"));

    EXPECT_EQ(rows[1].subject, QStringLiteral("It's mine"));
    EXPECT_EQ(rows[1].mailfrom, QStringLiteral(" O'Brien <ob@example.test>"));
    EXPECT_EQ(body_of(h, rows[1].id).body, QStringLiteral("He said \"don't\""));
    EXPECT_EQ(rows[1].attach, QStringLiteral("/data/mail/voice.mp3"));
    // A mail without an attachment after one with it has none.
    EXPECT_EQ(rows[2].subject, QStringLiteral("後の件"));
    EXPECT_EQ(rows[2].attach, QString());

    // ReadMail was asked with the mail directory.
    bool asked = false;
    for (const auto& c : h.component.calls) {
        if (c.method == QLatin1String("ReadMail") && c.args[0] == QLatin1String("m1.eml")) {
            EXPECT_EQ(c.args, (QStringList{QStringLiteral("m1.eml"), h.paths().mail_dir}));
            asked = true;
        }
    }
    EXPECT_TRUE(asked);
}

TEST(ReceiveMail, TwoAccountsAreBothReceivedTheFirstOnesMailFirst) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop-a"), QStringLiteral("a"))), 0);
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop-b"), QStringLiteral("b"))), 0);
    Mailboxes box;
    box.files[QStringLiteral("a")] = {QStringLiteral("a1.eml"), QStringLiteral("a2.eml")};
    box.files[QStringLiteral("b")] = {QStringLiteral("b1.eml")};
    box.install(h);
    for (const QString& f :
         {QStringLiteral("a1.eml"), QStringLiteral("a2.eml"), QStringLiteral("b1.eml")}) {
        h.component.readResults[f] = read_answer(f, QStringLiteral("s"), QStringLiteral("b"));
    }
    ASSERT_TRUE(h.start());
    const std::vector<MailRow> rows = stored(h);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].subject, QStringLiteral("a1.eml"));
    EXPECT_EQ(rows[1].subject, QStringLiteral("a2.eml"));
    EXPECT_EQ(rows[2].subject, QStringLiteral("b1.eml"));
    EXPECT_EQ(h.accounts().cur_user, QStringLiteral("b"));
}

TEST(ReceiveMail, ReceivingSpeaksNothingAndTheMenuCommandThenSends) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop"), QStringLiteral("u"))), 0);
    Mailboxes box;
    box.install(h);
    ASSERT_TRUE(h.start());
    int sends = 0;
    int rows_when_sending = -1;
    // The send after receiving goes out with a recipient; what it finds stored is noted.
    h.w().mailto->setText(QStringLiteral("x@example.test"));
    h.component.sendHook = [&] {
        ++sends;
        rows_when_sending = static_cast<int>(h.store().mailsInFolder(kInbox).size());
    };
    box.files[QStringLiteral("u")] = {QStringLiteral("n1.eml")};
    h.component.readResults[QStringLiteral("n1.eml")] =
        read_answer(QStringLiteral("新着"), QStringLiteral("x"), QStringLiteral("y"));
    h.mark();
    h.key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(h.spokenSinceMark().first(), QStringLiteral("メールを送信します"));
    EXPECT_EQ(sends, 1);
    EXPECT_EQ(rows_when_sending, 1);  // received before sending
}

TEST(ReceiveMail, AFailedAccountLosesNothingAndTheOthersAreStillReceived) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop-a"), QStringLiteral("a"))), 0);
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop-b"), QStringLiteral("b"))), 0);
    ASSERT_TRUE(h.start());
    h.component.error = QStringLiteral("ログインできません");
    h.component.onRcvMail = [](const QString&, const QString& user, const QString&) -> MailArray {
        if (user == QLatin1String("a")) return std::nullopt;
        return QStringList{QStringLiteral("b1.eml")};
    };
    h.component.readResults[QStringLiteral("b1.eml")] =
        read_answer(QStringLiteral("from b"), QStringLiteral("s"), QStringLiteral("t"));
    h.mark();
    h.trigger(QStringLiteral("receive"));
    EXPECT_EQ(h.spokenSinceMark(), QStringList());
    ASSERT_EQ(stored(h).size(), 1u);
    const QString status = h.w().cmd_message->text();
    EXPECT_TRUE(status.contains(QStringLiteral("a@example.test"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("ログインできません"))) << status.toStdString();
}

TEST(ReceiveMail, TheStatusLineFollowsTheDownload) {
    // The component reports its progress from the download's thread.
    struct Reach : MailComponent {
        static void report(MailComponent& c, int done, int total) {
            auto& progress = c.*(&Reach::progress_);
            if (progress) progress(done, total);
        }
    };
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop"), QStringLiteral("u"))), 0);
    ASSERT_TRUE(h.start());
    QStringList shown;
    h.component.onRcvMail = [&h](const QString&, const QString&, const QString&) -> MailArray {
        Reach::report(h.component, 12, 300);
        QThread::msleep(150);
        Reach::report(h.component, 300, 300);
        QThread::msleep(50);
        return QStringList{};
    };
    auto* label = h.w().cmd_message;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (shown.isEmpty() || shown.last() != label->text()) shown << label->text();
    });
    poll.start(5);
    h.trigger(QStringLiteral("receive"));
    poll.stop();
    EXPECT_TRUE(shown.contains(QStringLiteral("受信中 12/300"))) << shown.join('|').toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("受信中 300/300"))) << shown.join('|').toStdString();
    EXPECT_EQ(label->text(), QStringLiteral("0通のメールを受信しました"));
}

TEST(ReceiveMail, AMailFileLeftUnstoredIsStoredOnceAtTheNextStart) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(account(QStringLiteral("pop"), QStringLiteral("u"))), 0);
    // A receive saved these and the program was stopped before their rows were written; the
    // attachment of another mail and a voice recording lie beside them.
    const QString mail_dir = QDir(h.dataDir()).filePath(QStringLiteral("mail"));
    ASSERT_TRUE(QDir().mkpath(mail_dir));
    for (const char* name : {"20261205-080000-0001.eml", "20261205-080000-0002.eml", "report.pdf",
                             "quorvel-u-20261205.mp3"}) {
        QFile f(QDir(mail_dir).filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name);
    }
    h.component.readResults[QStringLiteral("20261205-080000-0001.eml")] =
        read_answer(QStringLiteral("first"), QStringLiteral("s"), QStringLiteral("b"));
    h.component.readResults[QStringLiteral("20261205-080000-0002.eml")] =
        read_answer(QStringLiteral("second"), QStringLiteral("s"), QStringLiteral("b"));
    Mailboxes box;  // nothing waits on the server
    box.install(h);
    ASSERT_TRUE(h.start());

    std::vector<MailRow> rows = stored(h);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].subject, QStringLiteral("first"));
    EXPECT_EQ(rows[1].subject, QStringLiteral("second"));
    for (const auto& c : h.component.calls) {
        if (c.method == QLatin1String("ReadMail")) {
            EXPECT_TRUE(c.args[0].endsWith(QLatin1String(".eml"))) << c.args[0].toStdString();
        }
    }
    // Stored before the check, which found nothing more.
    const QStringList trace = h.component.trace();
    EXPECT_LT(trace.indexOf(QStringLiteral("ReadMail")),
              trace.indexOf(QStringLiteral("RcvMail STAT")));
    EXPECT_TRUE(h.spoken().contains(QStringLiteral("新規メールは有りません")));

    // Another receive stores nothing twice, and a mail the user deleted does not come back.
    ASSERT_TRUE(h.store().deleteMail(rows[0].id));
    h.trigger(QStringLiteral("receive"));
    rows = stored(h);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].subject, QStringLiteral("second"));
}
