#include "receive/mail_saver.h"
#include "core/wait.h"
#include "receive/mail_parts.h"
#include "receive/stored_ledger.h"
#include "store/mail_store.h"
#include "support/fake_component.h"
#include "support/fakes.h"
#include "support/golden.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::FakeMailComponent;
using qv::test::FixedClock;

namespace {

class MailSaverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        mail_dir = QDir(dir.path()).filePath("mail");
        ASSERT_TRUE(QDir().mkpath(mail_dir));
        ASSERT_TRUE(store.open(QDir(dir.path()).filePath(MailStore::fileName())));
    }

    // A saved mail file the component can read.
    void saved(const QString& name, const QString& subject, const QString& attachment = QString()) {
        QFile f(QDir(mail_dir).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Subject: " + subject.toUtf8() + "\n\nmail\n");
        component.readResults[name] = {subject, "s", "d", "b", attachment, {}, false};
    }

    QStringList subjects() {
        std::vector<MailRow> rows = store.mailsInFolder(kInbox);
        std::sort(rows.begin(), rows.end(),
                  [](const MailRow& a, const MailRow& b) { return a.id < b.id; });
        QStringList out;
        for (const MailRow& r : rows) out << r.subject;
        return out;
    }

    QTemporaryDir dir;
    QString mail_dir;
    MailStore store;
    FakeMailComponent component;
    FixedClock clock{QDateTime(QDate(2026, 3, 4), QTime(17, 8, 9))};
    Waiter waiter;
};

}  // namespace

TEST_F(MailSaverTest, StoresTheReadMailExactlyWithTheSenderAfterABlank) {
    MailSaver saver(store, component, clock, waiter);
    ParsedMail mail;
    mail.subject = QStringLiteral("Bob's \"plan\"");
    mail.sender = "O'Hara <o@example.test>";
    mail.date = "Tue, 3 Mar 2026";
    mail.body = QStringLiteral("https://example.com/a_b-c?x='1'&y=\"2\"\n2026-12-05 -- _x_");
    mail.attachment = "/m/attach/f/a'b.txt";
    component.readResults["f.eml"] = mail;
    ASSERT_EQ(saver.store_files({"f.eml"}, mail_dir), 1);
    const std::vector<MailRow> rows = store.mailsInFolder(kInbox);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].mailfrom, " O'Hara <o@example.test>");
    EXPECT_EQ(rows[0].subject, QStringLiteral("Bob's \"plan\""));
    EXPECT_EQ(rows[0].attach, "/m/attach/f/a'b.txt");
    EXPECT_EQ(rows[0].date, "2026/03/04 17:08:09");  // the clock, not the mail
    EXPECT_EQ(rows[0].readflag, "未読");
    EXPECT_EQ(store.mailBody(rows[0].id)->body, mail.body);
    EXPECT_TRUE(store.isFileStored("f.eml"));
}

TEST_F(MailSaverTest, StoresInBatchesSkippingWhatIsStoredAndReportingProgress) {
    MailSaver saver(store, component, clock, waiter);
    saver.setBatch(2);
    QStringList names;
    for (int i = 1; i <= 5; ++i) {
        names << QStringLiteral("m%1.eml").arg(i);
        saved(names.last(), QStringLiteral("s%1").arg(i));
    }
    std::vector<std::pair<int, int>> progress;
    const auto record = [&](int done, int total) { progress.emplace_back(done, total); };
    EXPECT_EQ(saver.store_files(names.mid(0, 2), mail_dir, record), 2);
    // Again with all five, one of them twice: only the three new ones are read and stored.
    component.calls.clear();
    progress.clear();
    EXPECT_EQ(saver.store_files(names + QStringList{names[3]}, mail_dir, record), 3);
    EXPECT_EQ(subjects(), (QStringList{"s1", "s2", "s3", "s4", "s5"}));
    EXPECT_EQ(component.calls.size(), 3u);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{2, 3}, {3, 3}}));
}

// (The receive tests show the good mail beside it stored and the quarantine said once.)
TEST_F(MailSaverTest, AnUnreadableFileIsQuarantinedBesideOneOfItsNameAndNeverReadAgain) {
    MailSaver saver(store, component, clock, waiter);
    const QString broken = "20260304-170000-0002.eml";
    QFile(QDir(mail_dir).filePath(broken)).open(QIODevice::WriteOnly);  // nothing to read
    const QString quarantine = MailSaver::quarantine_dir(mail_dir);
    ASSERT_TRUE(QDir().mkpath(quarantine));
    QFile earlier(QDir(quarantine).filePath(broken));
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
    earlier.close();
    EXPECT_EQ(saver.store_files({broken}, mail_dir), 0);
    EXPECT_EQ(saver.take_quarantined(), QStringList{"20260304-170000-0002-1.eml"});
    EXPECT_TRUE(QFile::exists(QDir(quarantine).filePath("20260304-170000-0002-1.eml")));
    EXPECT_EQ(earlier.size(), 7);
    // Neither this object nor the next start reads it again.
    component.calls.clear();
    EXPECT_TRUE(saver.left_over_files(mail_dir).isEmpty());
    MailSaver restarted(store, component, clock, waiter);
    EXPECT_EQ(restarted.store_left_over_mail(mail_dir), 0);
    EXPECT_TRUE(component.calls.empty());
}

TEST_F(MailSaverTest, LeftOverFilesAreOnlyUnstoredMailsOldestFirst) {
    saved("20260304-170000-0002.eml", "two");
    saved("20260304-170000-0001.eml", "one");
    saved("20260304-160000-0001.eml", "stored");
    ASSERT_TRUE(store.insertMail("2026/03/04 16:00:01", "20260304-160000-0001.eml", "s", "stored",
                                 "b", QString()));
    ASSERT_TRUE(QDir(mail_dir).mkpath("attach/20260304-170000-0002"));
    ASSERT_TRUE(QDir(mail_dir).mkpath("quarantine"));
    for (const QString& other : golden_lines("receive/not_mail_files.txt")) {
        QFile f(QDir(mail_dir).filePath(other));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(mail_dir).mkdir("sub.eml"));
    MailSaver saver(store, component, clock, waiter);
    // Hidden files and paths below the directory are never mails, whatever lists them.
    EXPECT_FALSE(is_saved_mail_name(".hidden.eml") || is_saved_mail_name("attach/x/message.eml"));
    EXPECT_EQ(saver.left_over_files(mail_dir),
              (QStringList{"20260304-170000-0001.eml", "20260304-170000-0002.eml"}));
}

TEST_F(MailSaverTest, DeletedMailsDoNotComeBackAfterARestartNorTheirAttachmentsBesideThem) {
    // Older versions saved attachments in the mail directory itself.
    const QString name = "20260304-170000-0001.eml", other = "20260304-170000-0002.eml";
    {
        MailSaver saver(store, component, clock, waiter);
        saved(name, "gone", QDir(mail_dir).filePath("old.eml"));
        QFile attachment(QDir(mail_dir).filePath("old.eml"));
        ASSERT_TRUE(attachment.open(QIODevice::WriteOnly));
        ASSERT_EQ(saver.store_files({name}, mail_dir), 1);
        EXPECT_TRUE(saver.left_over_files(mail_dir).isEmpty());
    }
    // This row was committed, but the program ended before the list of stored files was written.
    saved(other, "kept");
    ASSERT_TRUE(store.insertMail("2026/03/04 17:00:01", other, "s", "kept", "b", QString()));
    MailSaver restarted(store, component, clock, waiter);
    EXPECT_TRUE(restarted.left_over_files(mail_dir).isEmpty());
    // Both deleted, and the program started again: neither comes back, nor the attachment.
    for (const MailRow& row : store.mailsInFolder(kInbox)) ASSERT_TRUE(store.deleteMail(row.id));
    MailSaver again(store, component, clock, waiter);
    EXPECT_TRUE(again.left_over_files(mail_dir).isEmpty());
    // Handed over again by the component (it had not yet forgotten them): still not stored.
    EXPECT_EQ(again.store_files({name, other}, mail_dir), 0);
    EXPECT_TRUE(subjects().isEmpty());
}

TEST(StoredLedgerFile, KeepsEachNameOnceAcrossLoadsAndReadsAnOlderListByItsNames) {
    QTemporaryDir dir;
    QFile f(QDir(dir.path()).filePath(StoredLedger::fileName()));
    // As an older version wrote it, with more after a tab.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("y.eml\tabc123\n") > 0);
    f.close();
    StoredLedger a;
    a.load(dir.path());
    ASSERT_TRUE(a.add({"x.eml", "名前 付き.eml", "x.eml"}) && a.add({"x.eml"}));
    StoredLedger b;
    b.load(dir.path());
    EXPECT_TRUE(b.contains("x.eml") && b.contains("名前 付き.eml") && b.contains("y.eml"));
    EXPECT_FALSE(b.contains("y.eml\tabc123") || b.contains("z.eml"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 3);
}
