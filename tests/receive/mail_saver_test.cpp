#include "receive/mail_saver.h"
#include "core/wait.h"
#include "receive/stored_ledger.h"
#include "store/mail_store.h"
#include "support/fake_component.h"
#include "support/fakes.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::FakeMailComponent;
using qv::test::file_bytes;
using qv::test::FixedClock;
using qv::test::write_file;

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
        ASSERT_TRUE(write_file(QDir(mail_dir).filePath(name), "Subject: " + subject.toUtf8()));
        component.readResults[name] = {subject, "s", "d", "b", attachment, {}, false};
    }

    // The inbox's subjects, oldest row first.
    QStringList subjects() {
        QStringList out;
        for (const MailRow& r : store.mailsInFolder(kInbox)) out.prepend(r.subject);
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

TEST_F(MailSaverTest, StoresEachMailExactlyInBatchesSkippingWhatIsStoredAndReportingProgress) {
    MailSaver saver(store, component, clock, waiter);
    saver.setBatch(2);
    QStringList names;
    for (int i = 1; i <= 5; ++i) {
        names << QStringLiteral("m%1.eml").arg(i);
        saved(names.last(), QStringLiteral("s%1").arg(i));
    }
    ParsedMail& first = component.readResults["m1.eml"];
    first.sender = "O'Hara <o@example.test>";
    first.body = QStringLiteral("https://example.com/a_b-c?x='1'&y=\"2\"\n2026-12-05 -- _x_");
    first.attachment = "/m/attach/f/a'b.txt";
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
    // The sender after a blank, the date the clock's, not the mail's.
    const MailRow r = store.mailsInFolder(kInbox).back();
    EXPECT_EQ(QStringList({r.mailfrom, r.attach, r.date, r.readflag, store.mailBody(r.id)->body}),
              QStringList({" O'Hara <o@example.test>", first.attachment, "2026/03/04 17:08:09",
                           "未読", first.body}));
}

TEST_F(MailSaverTest, AnUnreadableFileIsQuarantinedBesideOneOfItsNameAndNeverReadAgain) {
    MailSaver saver(store, component, clock, waiter);
    const QString broken = "20260304-170000-0002.eml";
    QFile(QDir(mail_dir).filePath(broken)).open(QIODevice::WriteOnly);  // nothing to read
    const QString quarantine = MailSaver::quarantine_dir(mail_dir);
    ASSERT_TRUE(QDir().mkpath(quarantine));
    const QString earlier = QDir(quarantine).filePath(broken);
    ASSERT_TRUE(write_file(earlier, "earlier"));
    EXPECT_EQ(saver.store_files({broken}, mail_dir), 0);
    EXPECT_EQ(saver.take_quarantined(), QStringList{"20260304-170000-0002-1.eml"});
    EXPECT_TRUE(QFile::exists(QDir(quarantine).filePath("20260304-170000-0002-1.eml")));
    EXPECT_EQ(file_bytes(earlier), "earlier");
    EXPECT_TRUE(saver.left_over_files(mail_dir).isEmpty());  // never read again
}

TEST_F(MailSaverTest, DeletedMailsDoNotComeBackAfterARestartNorTheirAttachmentsBesideThem) {
    // Older versions saved attachments in the mail directory itself.
    const QString name = "20260304-170000-0001.eml";
    {
        MailSaver saver(store, component, clock, waiter);
        saved(name, "gone", QDir(mail_dir).filePath("old.eml"));
        ASSERT_TRUE(write_file(QDir(mail_dir).filePath("old.eml"), "attached"));
        ASSERT_EQ(saver.store_files({name}, mail_dir), 1);
    }
    // Deleted, and the program started again: neither it nor the attachment comes back.
    for (const MailRow& row : store.mailsInFolder(kInbox)) ASSERT_TRUE(store.deleteMail(row.id));
    MailSaver again(store, component, clock, waiter);
    EXPECT_TRUE(again.left_over_files(mail_dir).isEmpty());
    // Handed over again by the component (it had not yet forgotten it): still not stored.
    EXPECT_EQ(again.store_files({name}, mail_dir), 0);
}

TEST(StoredLedgerFile, KeepsEachNameOnceAcrossLoadsAndReadsAnOlderListByItsNames) {
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(StoredLedger::fileName());
    ASSERT_TRUE(write_file(file, "y.eml\tabc123\n"));  // as an older version wrote it
    StoredLedger a;
    a.load(dir.path());
    ASSERT_TRUE(a.add({"x.eml", "名前 付き.eml", "x.eml"}) && a.add({"x.eml"}));
    StoredLedger b;
    b.load(dir.path());
    EXPECT_TRUE(b.contains("x.eml") && b.contains("名前 付き.eml") && b.contains("y.eml"));
    EXPECT_FALSE(b.contains("y.eml\tabc123") || b.contains("z.eml"));
    EXPECT_EQ(file_bytes(file).count('\n'), 3);
}
