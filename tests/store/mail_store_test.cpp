// The database: every value kept exactly as given, older files upgraded without loss, and files
// that are not the program's own refused untouched.
#include "store/mail_store.h"
#include "store/schema.h"
#include "support/printers.h"

#include <QCryptographicHash>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace qv;

namespace {

// Runs statements on a file behind the program's back, as an older program or another tool
// would. Returns the first value the last one gave (-1 for none), or with `rows`, every value.
int raw(const QString& path, const QStringList& statements, QStringList* rows = nullptr) {
    int value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        for (const QString& statement : statements) {
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(statement) || statement.startsWith("select")) << statement;
            value = q.next() ? q.value(0).toInt() : -1;
            for (bool more = value != -1 && rows; more; more = q.next())
                for (int i = 0; i < q.record().count(); ++i) *rows << q.value(i).toString();
        }
    }
    QSqlDatabase::removeDatabase("raw");
    return value;
}

// The schema and every row of every table but speech, in a form that shows any change.
QStringList content(const QString& path) {
    QStringList names, all;
    raw(path, {"select name, sql from sqlite_master where name <> 'speech' order by name"}, &names);
    for (qsizetype i = 0; i < names.size(); i += 2) {
        if (!names[i + 1].startsWith("CREATE INDEX"))
            raw(path, {QString("select * from [%1] order by rowid").arg(names[i])}, &all);
    }
    return names + all;
}

QByteArray digest(const QString& path) {
    QFile f(path);
    return QCryptographicHash::hash(f.open(QIODevice::ReadOnly) ? f.readAll() : "",
                                    QCryptographicHash::Sha256);
}

const SpeechRow kChosen{250, 0, "o'neil 100%_声", false};
using Speech = std::tuple<int, int, QString, bool, bool, bool>;
Speech values(const std::optional<SpeechRow>& s) {
    return {s.value().rate, s->volume, s->voice, s->voice.isNull(), s->wait_cue, s->move_speech};
}
const Speech kDefaults{100, 100, "", false, true, true},
    kChosenValues{250, 0, kChosen.voice, false, false, true};

class Store : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(store.open(path)) << store.lastError(); }
    QTemporaryDir dir;
    QString path = dir.filePath(MailStore::fileName());
    MailStore store;
};

}  // namespace

TEST_F(Store, ANewFileIsPrivateAndHoldsTheFirstRows) {
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(store.folders().at(0).name, "受信フォルダー");
    EXPECT_TRUE(store.news().value().sel && store.news()->site.startsWith("https://"));
    EXPECT_EQ(store.signature().value().signature + store.voice().value().voice_file, "");
    EXPECT_EQ(store.voice()->sec, 30);
    EXPECT_TRUE(store.accounts().empty());
    EXPECT_EQ(values(store.speechSettings()), kDefaults);
    EXPECT_EQ(raw(path, {"select count(*) from speech"}), 1);
    EXPECT_EQ(raw(path, {"PRAGMA user_version"}), schema::kVersion);
    QSqlQuery q(store.database());
    ASSERT_TRUE(q.exec("PRAGMA journal_mode") && q.next());
    EXPECT_EQ(q.value(0).toString(), "wal");
}

TEST_F(Store, MailKeepsEveryTextExactlyListsNewestFirstAndIsReadMovedAndDeleted) {
    const QStringList hostile = {"O'Brien \"Bob\" <o'brien@example.test>", "100% _done_ \\ back",
                                 "'); drop table mail; --", "日本語の件名：①Ⅱ㈱髙～", ""};
    for (int i = 0; i < hostile.size(); ++i) {
        const QString& v = hostile[i];
        ASSERT_TRUE(store.insertMail(QString("2026/12/0%1 10:00").arg(i + 1), v, v, v, v + v, v));
    }
    const auto rows = store.mailsInFolder(kInbox);
    ASSERT_EQ(rows.size(), size_t(hostile.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString& v = hostile[hostile.size() - 1 - qsizetype(i)];  // newest first
        const MailRow& r = rows[i];
        EXPECT_EQ(QStringList({r.mailfrom, r.subject, r.attach, r.readflag, r.date.left(10),
                               store.mailBody(r.id).value().body}),
                  QStringList({v, v, v, "未読", QString("2026/12/0%1").arg(5 - i), v + v}));
        EXPECT_TRUE(store.isFileStored(v));
    }
    EXPECT_FALSE(store.isFileStored("%"));

    ASSERT_TRUE(store.insertMail("2026/12/09 10:00:00", "f1", "a", "s", QString(70000, u'あ'), ""));
    const int id = store.mailsInFolder(kInbox).at(0).id;
    EXPECT_EQ(store.mailBody(id)->body.size(), 70000);
    ASSERT_TRUE(store.markRead(id) && store.moveMail(id, "It's 100%"));
    EXPECT_EQ(store.mailsInFolder(kInbox).size(), rows.size());
    EXPECT_TRUE(store.mailsInFolder("It_s 100%").empty());
    ASSERT_EQ(store.mailsInFolder("It's 100%").size(), 1u);
    EXPECT_EQ(store.mailsInFolder("It's 100%")[0].readflag, "既読");
    ASSERT_TRUE(store.deleteMail(id));
    EXPECT_TRUE(store.mailsInFolder("It's 100%").empty());
    EXPECT_FALSE(store.mailBody(id));
}

TEST_F(Store, AddressesInAddressOrderFoundByTheirLiteralBeginningAlsoFromAnotherConnection) {
    for (const auto& [name, address] : {std::pair{"N1", "b@example.test"},
                                        {"\"Q\" O'Neil", "a'x@example.test"},
                                        {"pct", "100%@example.test"},
                                        {"n", "100x@example.test"},
                                        {"dup", "b@example.test"}})
        ASSERT_TRUE(store.insertAddress(name, address));
    const auto all = store.addresses();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].address, "100%@example.test");
    EXPECT_EQ(all[2].name, "\"Q\" O'Neil");
    EXPECT_EQ(store.addressesStartingWith("100%").at(0).name, "pct");
    std::vector<size_t> found;
    for (const char* typed : {"100%", "a'", "_", "B@", "b@"})  // case matters
        found.push_back(store.addressesStartingWith(typed).size());
    EXPECT_EQ(found, (std::vector<size_t>{1, 1, 0, 0, 2}));
    ASSERT_TRUE(store.deleteAddress("b@example.test") && store.deleteAddress("a'x@example.test"));
    EXPECT_EQ(store.addresses().size(), 2u);
    MailStore other;
    ASSERT_TRUE(other.open(path) && other.insertAddress("n", "x@example.test"));
    EXPECT_EQ(store.addresses().size(), 3u);
}

TEST_F(Store, AccountsAndOptionsKeepWhatIsWrittenAcrossAReopen) {
    const AccountFields a{"pop.example.test",
                          "smtp.example.test",
                          "o'neil",
                          "p'a\"ss%",
                          "o'neil@example.test",
                          "私",
                          "既定"};
    const int first = store.insertAccount(a), second = store.insertAccount(a);
    ASSERT_TRUE(first > 0 && second > first);
    ASSERT_TRUE(store.clearCurrentAccount() && store.setCurrentAccount(second));
    AccountFields b = a;
    b.email = "new'@example.test";
    ASSERT_TRUE(store.updateAccount(b, first));
    const auto rows = store.accounts();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(std::tuple(rows[0].cur, rows[0].email, rows[0].password, rows[0].default_),
              std::tuple(false, b.email, a.password, a.default_));
    EXPECT_EQ(std::tuple(rows[1].cur, rows[1].email), std::tuple(true, a.email));
    ASSERT_TRUE(store.deleteAccount(first));
    EXPECT_EQ(store.accounts().at(0).id, second);

    raw(path, {"insert into signature (email,signature) values('x','y')"});
    const QString signature = "--\n山田 'Taro' 100%";
    ASSERT_TRUE(store.updateSignature(signature) && store.updateNewsSel(false) &&
                store.updateVoiceSec(12) && store.updateSpeechSettings(kChosen));
    MailStore again;
    ASSERT_TRUE(again.open(path));
    EXPECT_EQ(raw(path, {"select count(*) from signature group by signature"}), 2);  // each row
    EXPECT_EQ(again.signature()->signature, signature);
    EXPECT_EQ(std::pair(again.news()->sel, again.voice()->sec), std::pair(false, 12));
    EXPECT_EQ(values(again.speechSettings()), kChosenValues);
    ASSERT_TRUE(again.updateSpeechSettings({1000, 100, QString(), true}));  // not clamped here
    EXPECT_EQ(values(again.speechSettings()), Speech(1000, 100, "", false, true, true));
    EXPECT_EQ(raw(path, {"select count(*) from speech"}), 1);
}

// Version 0 is a file from before versions were kept; version 1 had no speech table, version 2 no
// choice about moves (on, once upgraded). An older or damaged file opens with one speech row (the
// one that was there, if any) and the rest as it was; a file SQLite finds damaged is refused.
TEST_F(Store, OlderFilesAreUpgradedWithoutLossAndForeignOnesRefusedUntouched) {
    const QString pristine = dir.filePath("pristine.mdb"), file = dir.filePath("case.mdb");
    {
        MailStore s;
        ASSERT_TRUE(s.open(pristine));
        ASSERT_TRUE(
            s.insertMail("2026/12/05 10:00:00", "f1", "o'b@x.test", "件名 100%", "本文", ""));
        ASSERT_GT(s.insertAccount({"pop.x.test", "smtp.x.test", "u", "p'w", "u@x.test", "私", ""}),
                  0);
        ASSERT_TRUE(s.insertAddress("山田", "y@example.test") && s.updateSignature("--\n山田") &&
                    s.updateVoiceSec(12) && s.updateSpeechSettings(kChosen));
    }
    const QString speechRow = "insert into speech (rate,volume,voice,wait_cue) values(5,5,'',1)";
    struct Case {
        QStringList damage;  // statements; none: the file is replaced by `bytes`
        QByteArray bytes;
        OpenFailure failure;  // None: it opens
        QString named;        // in the error, or the speech values kept
    } const cases[] = {
        {{"drop table speech", "PRAGMA user_version=1"}, {}, OpenFailure::None, ""},
        {{"drop table speech", "PRAGMA user_version=0"}, {}, OpenFailure::None, ""},
        {{"delete from speech", "PRAGMA user_version=1"}, {}, OpenFailure::None, ""},
        {{"delete from speech"}, {}, OpenFailure::None, ""},
        {{"drop table speech"}, {}, OpenFailure::None, ""},
        {{speechRow, "PRAGMA user_version=1"}, {}, OpenFailure::None, "kept"},
        {{"alter table speech drop column move_speech", "PRAGMA user_version=2"},
         {},
         OpenFailure::None,
         "kept"},
        {{}, "Standard Jet DB\0\0 an Access file", OpenFailure::NotADatabase, ""},
        {{}, "", OpenFailure::MissingTable, ""},  // an empty file is not a new database
        {{"drop table address"}, {}, OpenFailure::MissingTable, "address"},
        {{"drop table speech", "drop table signature", "PRAGMA user_version=1"},
         {},
         OpenFailure::MissingTable,
         "signature"},
        {{"drop table speech", QString("PRAGMA user_version=%1").arg(schema::kVersion + 1)},
         {},
         OpenFailure::CannotOpen,
         QString::number(schema::kVersion + 1)},
        {{"damage"}, {}, OpenFailure::Damaged, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.damage.join("; ") + c.bytes).toStdString());
        QFile::remove(file);
        QFile f(file);
        if (c.damage.isEmpty()) {
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(c.bytes) == c.bytes.size());
            f.close();
        } else if (c.damage == QStringList{"damage"}) {
            // Bytes overwritten in the middle of a table's pages, as a failing disk leaves them.
            ASSERT_TRUE(QFile::copy(pristine, file));
            raw(file, {"PRAGMA wal_checkpoint(TRUNCATE)"});
            ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.size() > 3 * 4096);
            f.seek(2 * 4096);
            f.write(QByteArray(300, '\xab'));
            f.close();
        } else {
            ASSERT_TRUE(QFile::copy(pristine, file));
            raw(file, c.damage);
        }
        const QByteArray bytes = digest(file);
        const QStringList before = c.failure == OpenFailure::None ? content(file) : QStringList();
        MailStore s;
        if (c.failure != OpenFailure::None) {
            EXPECT_FALSE(s.open(file));
            EXPECT_EQ(s.openFailure(), c.failure);
            EXPECT_TRUE(s.lastError().contains(c.named)) << s.lastError();
            EXPECT_EQ(digest(file), bytes);
            EXPECT_FALSE(c.damage.isEmpty() && QFile::exists(file + "-wal"));
            continue;
        }
        ASSERT_TRUE(s.open(file)) << s.lastError();
        EXPECT_EQ(values(s.speechSettings()), c.named.isEmpty() ? kDefaults : kChosenValues);
        ASSERT_TRUE(s.updateSpeechSettings(kChosen));  // lands in the row, not in nothing
        EXPECT_EQ(raw(file, {"select count(*) from speech"}), 1);
        EXPECT_EQ(raw(file, {"PRAGMA user_version"}), schema::kVersion);
        EXPECT_EQ(content(file), before);
    }
}

// A file from before the answer about a login in the clear: every account keeps its values and
// has not been asked yet; the answer is then kept.
TEST_F(Store, AccountsOfAnOlderFileGainTheirClearTextAnswerAsNotAskedYet) {
    const QString file = dir.filePath("old.mdb");
    int id = 0;
    {
        MailStore s;
        ASSERT_TRUE(s.open(file));
        id = s.insertAccount({"pop.x.test", "smtp.x.test", "u", "p'w", "u@x.test", "私", ""});
        ASSERT_TRUE(s.setKeepOnServer(id, true));
    }
    raw(file, {"alter table account drop column plain_login"});
    MailStore s;
    ASSERT_TRUE(s.open(file)) << s.lastError();
    EXPECT_EQ(s.plainLogin(id), std::nullopt);
    EXPECT_EQ(s.keepOnServer(id), std::optional<bool>(true));
    EXPECT_EQ(s.accounts().at(0).password, "p'w");
    for (const std::optional<bool> answer : {std::optional<bool>(false), {true}, {}}) {
        ASSERT_TRUE(s.setPlainLogin(id, answer));
        EXPECT_EQ(s.plainLogin(id), answer);
    }
}
