// The database: every value kept exactly as given, older files upgraded without loss, and files
// that are not the program's own refused untouched.
#include "store/mail_store.h"
#include "store/schema.h"
#include "support/files.h"
#include "support/golden.h"
#include "support/printers.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
    for (qsizetype i = 0; i < names.size(); i += 2)
        if (!names[i + 1].startsWith("CREATE INDEX"))
            raw(path, {QString("select * from [%1] order by rowid").arg(names[i])}, &all);
    return names + all;
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
    EXPECT_EQ(store.mailsInFolder("It's 100%").at(0).readflag, "既読");
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
    EXPECT_EQ(store.addresses().at(0).address, "100%@example.test");
    EXPECT_EQ(store.addresses().at(2).name, "\"Q\" O'Neil");
    EXPECT_EQ(store.addressesStartingWith("100%").at(0).name, "pct");
    for (const auto& [typed, found] :
         {std::pair{"100%", 1u}, {"a'", 1u}, {"_", 0u}, {"B@", 0u}, {"b@", 2u}})
        EXPECT_EQ(store.addressesStartingWith(typed).size(), found) << typed;  // case matters
    ASSERT_TRUE(store.deleteAddress("b@example.test") && store.deleteAddress("a'x@example.test"));
    MailStore other;
    ASSERT_TRUE(other.open(path) && other.insertAddress("n", "x@example.test"));
    EXPECT_EQ(store.addresses().size(), 3u);
}

TEST_F(Store, ANewFileIsPrivateHoldsTheFirstRowsAndKeepsAccountsAndOptionsAcrossAReopen) {
    EXPECT_EQ(QFile::permissions(path),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);  // 0600
    EXPECT_EQ(std::tuple(store.folders().at(0).name, store.voice()->sec, store.accounts().size()),
              std::tuple(QString("受信フォルダー"), 30, size_t(0)));
    EXPECT_TRUE(store.news().value().sel && store.news()->site.startsWith("https://"));
    EXPECT_EQ(store.signature().value().signature + store.voice().value().voice_file, "");
    EXPECT_EQ(values(store.speechSettings()), kDefaults);
    EXPECT_EQ(raw(path, {"select count(*) from speech"}), 1);
    EXPECT_EQ(raw(path, {"PRAGMA user_version"}), schema::kVersion);
    QStringList mode;  // kept in the file itself
    raw(path, {"PRAGMA journal_mode"}, &mode);
    EXPECT_EQ(mode, QStringList{"wal"});
    const AccountFields a{"pop.x.test",    "smtp.x.test", "o'neil", "p'a\"ss%",
                          "o'neil@x.test", "私",          "既定"};
    // Which account is current, and deleting one, are seen through the account dialogs.
    const int first = store.insertAccount(a), second = store.insertAccount(a);
    AccountFields b{"p", "s", "a", "p'w\"%", "new'@example.test", "n", "d"};
    ASSERT_TRUE(first > 0 && second > first && store.updateAccount(b, first));
    const AccountRow r = store.accounts().at(0);
    EXPECT_EQ(QStringList({r.pop, r.smtp, r.account, r.password, r.email, r.name, r.default_,
                           store.accounts().at(1).password}),
              QStringList(
                  {b.pop, b.smtp, b.account, b.password, b.email, b.name, b.default_, a.password}));

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
        const int id =
            s.insertAccount({"pop.x.test", "smtp.x.test", "u", "p'w", "u@x.test", "私", ""});
        ASSERT_TRUE(id > 0 && s.setKeepOnServer(id, true));
        ASSERT_TRUE(s.insertAddress("山田", "y@example.test") && s.updateSignature("--\n山田") &&
                    s.updateVoiceSec(12) && s.updateSpeechSettings(kChosen));
    }
    // Bytes overwritten in the middle of a table's pages, as a failing disk leaves them.
    raw(pristine, {"PRAGMA wal_checkpoint(TRUNCATE)"});
    QFile p(pristine);
    ASSERT_TRUE(p.open(QIODevice::ReadOnly) && p.size() > 3 * 4096);
    const QByteArray damaged = p.readAll().replace(2 * 4096, 300, QByteArray(300, '\xab'));
    // Each row of store_files.txt: statements run on a copy of that file or a file in its place,
    // how opening fails (None: it opens), what the error names or whether the speech values stay.
    using F = OpenFailure;
    const QStringList failures{"None",    "NotADatabase", "MissingTable",
                               "Damaged", "CannotCreate", "CannotOpen"};  // in F's order
    const std::map<QString, QByteArray> files{
        {"<access file>", "Standard Jet DB"}, {"<empty file>", {}}, {"<damaged file>", damaged}};
    for (QString row : golden_lines("cases/store_files.txt")) {
        SCOPED_TRACE(row.toStdString());
        const QStringList c =
            row.replace("%next", QString::number(schema::kVersion + 1)).split('\t');
        const F failure = F(failures.indexOf(c[1]));
        const QString named = c[2] == "-" ? QString() : c[2];
        QFile::remove(file);
        if (files.contains(c[0])) {
            ASSERT_TRUE(qv::test::write_file(file, files.at(c[0])));
        } else {
            ASSERT_TRUE(QFile::copy(pristine, file));
            raw(file, c[0].split("; "));
        }
        const QByteArray bytes = qv::test::file_bytes(file);
        const QStringList before = failure == F::None ? content(file) : QStringList();
        MailStore s;
        if (failure != F::None) {
            EXPECT_FALSE(s.open(file));
            EXPECT_EQ(s.openFailure(), failure);
            EXPECT_TRUE(s.lastError().contains(named)) << s.lastError();
            EXPECT_EQ(qv::test::file_bytes(file), bytes);
            EXPECT_FALSE(files.contains(c[0]) && failure != F::Damaged &&
                         QFile::exists(file + "-wal"));
            continue;
        }
        ASSERT_TRUE(s.open(file)) << s.lastError();
        EXPECT_EQ(values(s.speechSettings()), named.isEmpty() ? kDefaults : kChosenValues);
        ASSERT_TRUE(s.updateSpeechSettings(kChosen));  // lands in the row, not in nothing
        EXPECT_EQ(raw(file, {"select count(*) from speech"}), 1);
        EXPECT_EQ(raw(file, {"PRAGMA user_version"}), schema::kVersion);
        EXPECT_EQ(content(file), before);
    }
    // From before the answer about a login in the clear: accounts keep their values, not yet asked.
    raw(pristine, {"alter table account drop column plain_login"});
    MailStore s;
    ASSERT_TRUE(s.open(pristine)) << s.lastError();
    const AccountRow a = s.accounts().at(0);
    EXPECT_EQ(std::tuple(s.plainLogin(a.id), s.keepOnServer(a.id), a.password),
              std::tuple(std::nullopt, std::optional<bool>(true), QString("p'w")));
}
