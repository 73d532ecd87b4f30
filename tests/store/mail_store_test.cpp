#include "store/mail_store.h"
#include "support/printers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace qv;

namespace {

const QStringList kHostile = {
    QStringLiteral("O'Brien \"Bob\" <o'brien@example.test>"),
    QStringLiteral("100% _done_ \\ back\\slash"),
    QStringLiteral("'); drop table mail; --"),
    QStringLiteral("日本語の件名：①Ⅱ㈱髙～"),
    QStringLiteral(""),
};

class MailStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = QDir(dir.path()).absoluteFilePath(MailStore::fileName());
        ASSERT_TRUE(store.open(path)) << store.lastError().toStdString();
    }
    QTemporaryDir dir;
    QString path;
    MailStore store;
};

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

}  // namespace

TEST_F(MailStoreTest, NewDatabaseHasItsFirstRowsAndIsPrivate) {
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    auto folders = store.folders();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.front().name, QStringLiteral("受信フォルダー"));
    auto news = store.news();
    ASSERT_TRUE(news);
    EXPECT_TRUE(news->sel);
    EXPECT_TRUE(news->site.startsWith(QStringLiteral("https://")));
    auto sig = store.signature();
    ASSERT_TRUE(sig);
    EXPECT_EQ(sig->signature, QString());
    auto voice = store.voice();
    ASSERT_TRUE(voice);
    EXPECT_EQ(voice->sec, 30);
    EXPECT_EQ(voice->voice_file, QString());
    EXPECT_TRUE(store.accounts().empty());
    QSqlQuery q(store.database());
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("wal"));
}

TEST_F(MailStoreTest, MailKeepsHostileTextsExactlyAndListsNewestFirst) {
    for (int i = 0; i < kHostile.size(); ++i) {
        const QString& v = kHostile[i];
        ASSERT_TRUE(
            store.insertMail(QStringLiteral("2026/12/0%1 10:00:00").arg(i + 1), v, v, v, v + v, v));
    }
    auto rows = store.mailsInFolder(QStringLiteral("受信フォルダー"));
    ASSERT_EQ(rows.size(), size_t(kHostile.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString& v = kHostile[kHostile.size() - 1 - qsizetype(i)];
        EXPECT_EQ(rows[i].mailfrom, v);
        EXPECT_EQ(rows[i].subject, v);
        EXPECT_EQ(rows[i].attach, v);
        EXPECT_EQ(rows[i].readflag, QStringLiteral("未読"));
        auto body = store.mailBody(rows[i].id);
        ASSERT_TRUE(body);
        EXPECT_EQ(body->body, v + v);
        EXPECT_TRUE(store.isFileStored(v));
    }
    EXPECT_EQ(rows.front().date, QStringLiteral("2026/12/05 10:00:00"));
    EXPECT_FALSE(store.isFileStored(QStringLiteral("%")));
}

TEST_F(MailStoreTest, LongBodiesReadMarkMoveAndDelete) {
    const QString longBody = QString(70000, QChar(u'あ'));
    ASSERT_TRUE(store.insertMail(QStringLiteral("2026/12/05 10:00:00"), QStringLiteral("f1"),
                                 QStringLiteral("a"), QStringLiteral("s"), longBody, QString()));
    int id = store.mailsInFolder(QStringLiteral("受信フォルダー")).at(0).id;
    EXPECT_EQ(store.mailBody(id)->body.size(), 70000);
    ASSERT_TRUE(store.markRead(id));
    const QString quoted = QStringLiteral("It's 100%");
    ASSERT_TRUE(store.moveMail(id, quoted));
    EXPECT_TRUE(store.mailsInFolder(QStringLiteral("受信フォルダー")).empty());
    auto moved = store.mailsInFolder(quoted);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].readflag, QStringLiteral("既読"));
    EXPECT_EQ(moved[0].folder, quoted);
    EXPECT_TRUE(store.mailsInFolder(QStringLiteral("It_s 100%")).empty());
    ASSERT_TRUE(store.deleteMail(id));
    EXPECT_TRUE(store.mailsInFolder(quoted).empty());
    EXPECT_FALSE(store.mailBody(id));
}

TEST_F(MailStoreTest, AddressesInAddressOrderWithLiteralPrefixMatch) {
    ASSERT_TRUE(store.insertAddress(QStringLiteral("N1"), QStringLiteral("b@example.test")));
    ASSERT_TRUE(
        store.insertAddress(QStringLiteral("\"Q\" O'Neil"), QStringLiteral("a'x@example.test")));
    ASSERT_TRUE(store.insertAddress(QStringLiteral("pct"), QStringLiteral("100%@example.test")));
    ASSERT_TRUE(store.insertAddress(QStringLiteral("n"), QStringLiteral("100x@example.test")));
    ASSERT_TRUE(store.insertAddress(QStringLiteral("dup"), QStringLiteral("b@example.test")));
    auto all = store.addresses();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].address, QStringLiteral("100%@example.test"));
    EXPECT_EQ(all[2].address, QStringLiteral("a'x@example.test"));
    EXPECT_EQ(all[2].name, QStringLiteral("\"Q\" O'Neil"));

    auto pct = store.addressesStartingWith(QStringLiteral("100%"));
    ASSERT_EQ(pct.size(), 1u);
    EXPECT_EQ(pct[0].name, QStringLiteral("pct"));
    EXPECT_EQ(store.addressesStartingWith(QStringLiteral("a'")).size(), 1u);
    EXPECT_TRUE(store.addressesStartingWith(QStringLiteral("_")).empty());
    EXPECT_TRUE(store.addressesStartingWith(QStringLiteral("B@")).empty());  // case matters
    EXPECT_EQ(store.addressesStartingWith(QStringLiteral("b@")).size(), 2u);

    ASSERT_TRUE(store.deleteAddress(QStringLiteral("b@example.test")));
    EXPECT_EQ(store.addresses().size(), 3u);
    ASSERT_TRUE(store.deleteAddress(QStringLiteral("a'x@example.test")));
    EXPECT_EQ(store.addresses().size(), 2u);
}

TEST_F(MailStoreTest, AccountsInsertUpdateCurrentAndDelete) {
    AccountFields a{QStringLiteral("pop.example.test"),
                    QStringLiteral("smtp.example.test"),
                    QStringLiteral("o'neil"),
                    QStringLiteral("p'a\"ss%"),
                    QStringLiteral("o'neil@example.test"),
                    QStringLiteral("私"),
                    QStringLiteral("既定")};
    int first = store.insertAccount(a);
    int second = store.insertAccount(a);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, first);
    auto rows = store.accounts();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FALSE(rows[0].cur);
    EXPECT_EQ(rows[0].password, a.password);
    EXPECT_EQ(rows[0].default_, a.default_);

    ASSERT_TRUE(store.clearCurrentAccount());
    ASSERT_TRUE(store.setCurrentAccount(second));
    rows = store.accounts();
    EXPECT_FALSE(rows[0].cur);
    EXPECT_TRUE(rows[1].cur);

    AccountFields b = a;
    b.email = QStringLiteral("new'@example.test");
    b.name = QStringLiteral("N'2");
    ASSERT_TRUE(store.updateAccount(b, first));
    rows = store.accounts();
    EXPECT_EQ(rows[0].email, b.email);
    EXPECT_EQ(rows[0].name, b.name);
    EXPECT_EQ(rows[1].email, a.email);

    ASSERT_TRUE(store.deleteAccount(first));
    rows = store.accounts();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].id, second);
}

TEST_F(MailStoreTest, OptionStatementsChangeEveryRow) {
    QSqlQuery q(store.database());
    ASSERT_TRUE(q.exec(QStringLiteral("insert into signature (email,signature) values('x','y')")));
    ASSERT_TRUE(store.updateSignature(QStringLiteral("--\n山田 'Taro' 100%")));
    QSqlQuery count(store.database());
    count.prepare(QStringLiteral("select count(*) from signature where signature=?"));
    count.addBindValue(QStringLiteral("--\n山田 'Taro' 100%"));
    ASSERT_TRUE(count.exec() && count.next());
    EXPECT_EQ(count.value(0).toInt(), 2);
    ASSERT_TRUE(store.updateNewsSel(false));
    EXPECT_FALSE(store.news()->sel);
    ASSERT_TRUE(store.updateNewsSel(true));
    EXPECT_TRUE(store.news()->sel);
    ASSERT_TRUE(store.updateVoiceSec(12));
    EXPECT_EQ(store.voice()->sec, 12);
}

TEST_F(MailStoreTest, AnotherConnectionReadsAndWritesMeanwhile) {
    ASSERT_TRUE(store.insertMail(QStringLiteral("2026/12/05 10:00:00"), QStringLiteral("f"),
                                 QStringLiteral("a"), QStringLiteral("s"), QStringLiteral("b"),
                                 QString()));
    MailStore other;
    ASSERT_TRUE(other.open(path));
    EXPECT_EQ(other.mailsInFolder(QStringLiteral("受信フォルダー")).size(), 1u);
    ASSERT_TRUE(other.insertAddress(QStringLiteral("n"), QStringLiteral("x@example.test")));
    EXPECT_EQ(store.addresses().size(), 1u);
}

TEST(MailStoreOpen, RefusesAFileThatIsNotADatabaseAndLeavesItAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath(MailStore::fileName());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("Standard Jet DB\0\0 this is an Access file, not SQLite", 52));
    f.close();
    const QByteArray before = digest(path);
    MailStore store;
    EXPECT_FALSE(store.open(path));
    EXPECT_EQ(store.openFailure(), OpenFailure::NotADatabase);
    EXPECT_EQ(digest(path), before);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal")));
}

TEST(MailStoreOpen, RefusesADatabaseWithoutItsTablesAndLeavesItAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath(MailStore::fileName());
    {
        MailStore full;
        ASSERT_TRUE(full.open(path));
        QSqlQuery q(full.database());
        ASSERT_TRUE(q.exec(QStringLiteral("drop table address")));
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    const QByteArray before = digest(path);
    MailStore store;
    EXPECT_FALSE(store.open(path));
    EXPECT_EQ(store.openFailure(), OpenFailure::MissingTable);
    EXPECT_TRUE(store.lastError().contains(QStringLiteral("address")));
    EXPECT_EQ(digest(path), before);
}

TEST(MailStoreOpen, AnEmptyFileIsNotTakenForANewDatabase) {
    QTemporaryDir dir;
    const QString path = dir.filePath(MailStore::fileName());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    MailStore store;
    EXPECT_FALSE(store.open(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
}
