#include "store/mail_store.h"
#include "store/schema.h"
#include "support/printers.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <functional>

using namespace qv;

namespace {

// Works on the file behind the program's back, as an older program or another tool would.
void raw(const QString& path, const std::function<void(QSqlDatabase&)>& work) {
    static QAtomicInt counter;
    const QString name = QStringLiteral("speech-test-raw-%1").arg(counter.fetchAndAddRelaxed(1));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open())
            work(db);
        else
            ADD_FAILURE() << db.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void sql(QSqlDatabase& db, const QString& statement) {
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec(statement))
        << statement.toStdString() << ": " << q.lastError().text().toStdString();
}

int scalar(const QString& path, const QString& statement) {
    int value = -1;
    raw(path, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (q.exec(statement) && q.next()) value = q.value(0).toInt();
    });
    return value;
}

int userVersion(const QString& path) { return scalar(path, QStringLiteral("PRAGMA user_version")); }
int speechRows(const QString& path) {
    return scalar(path, QStringLiteral("select count(*) from speech"));
}

// Every row of every table but speech, in a form that shows any change.
QStringList contentBesidesSpeech(const QString& path) {
    QStringList out;
    raw(path, [&](QSqlDatabase& db) {
        QSqlQuery names(db);
        names.exec(
            QStringLiteral("select name, sql from sqlite_master where name <> 'speech' "
                           "order by name"));
        QStringList tables;
        while (names.next()) {
            out << names.value(1).toString();
            if (!names.value(1).toString().startsWith(QStringLiteral("CREATE INDEX"),
                                                      Qt::CaseInsensitive)) {
                tables << names.value(0).toString();
            }
        }
        for (const QString& t : tables) {
            QSqlQuery rows(db);
            rows.exec(QStringLiteral("select * from [%1] order by rowid").arg(t));
            while (rows.next()) {
                QStringList cells{t};
                for (int i = 0; i < rows.record().count(); ++i) {
                    cells << rows.value(i).toString();
                }
                out << cells.join(QLatin1Char('|'));
            }
        }
    });
    return out;
}

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void expectDefaults(const std::optional<SpeechRow>& s) {
    ASSERT_TRUE(s);
    EXPECT_EQ(s->rate, 100);
    EXPECT_EQ(s->volume, 100);
    EXPECT_EQ(s->voice, QString());
    EXPECT_FALSE(s->voice.isNull());
    EXPECT_TRUE(s->wait_cue);
}

class SpeechSettingsStore : public ::testing::Test {
  protected:
    void SetUp() override { path = QDir(dir.path()).absoluteFilePath(MailStore::fileName()); }

    void removeDatabase() {
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path + QLatin1String(suffix));
    }

    // A database of the current program with something the user owns in every table.
    void makeFilledDatabase() {
        MailStore store;
        ASSERT_TRUE(store.open(path)) << store.lastError().toStdString();
        ASSERT_TRUE(store.insertMail(QStringLiteral("2026/12/05 10:00:00"), QStringLiteral("f1"),
                                     QStringLiteral("o'brien@example.test"),
                                     QStringLiteral("件名 100%"), QStringLiteral("本文"),
                                     QString()));
        ASSERT_TRUE(store.insertAddress(QStringLiteral("山田"), QStringLiteral("y@example.test")));
        ASSERT_GT(store.insertAccount({QStringLiteral("pop.example.test"),
                                       QStringLiteral("smtp.example.test"), QStringLiteral("u"),
                                       QStringLiteral("p'w"), QStringLiteral("u@example.test"),
                                       QStringLiteral("私"), QString()}),
                  0);
        ASSERT_TRUE(store.updateSignature(QStringLiteral("--\n山田")));
        ASSERT_TRUE(store.updateVoiceSec(12));
        ASSERT_TRUE(store.updateNewsSel(false));
    }

    // Turns the file into what the previous version of the program left.
    void makeVersionOne() {
        raw(path, [](QSqlDatabase& db) {
            sql(db, QStringLiteral("drop table speech"));
            sql(db, QStringLiteral("PRAGMA user_version=1"));
            sql(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        });
        ASSERT_EQ(userVersion(path), 1);
    }

    QTemporaryDir dir;
    QString path;
};

const SpeechRow kChosen{250, 0, QStringLiteral("o'neil 100%_声"), false};

void expectChosen(const std::optional<SpeechRow>& s) {
    ASSERT_TRUE(s);
    EXPECT_EQ(s->rate, kChosen.rate);
    EXPECT_EQ(s->volume, kChosen.volume);
    EXPECT_EQ(s->voice, kChosen.voice);
    EXPECT_EQ(s->wait_cue, kChosen.wait_cue);
}

}  // namespace

TEST_F(SpeechSettingsStore, NewDatabaseHasOneRowOfDefaultsAtTheCurrentVersion) {
    {
        MailStore store;
        ASSERT_TRUE(store.open(path)) << store.lastError().toStdString();
        expectDefaults(store.speechSettings());
    }
    EXPECT_EQ(speechRows(path), 1);
    EXPECT_EQ(userVersion(path), schema::kVersion);
}

TEST_F(SpeechSettingsStore, EveryValueIsKeptExactlyAcrossAReopen) {
    {
        MailStore store;
        ASSERT_TRUE(store.open(path));
        ASSERT_TRUE(store.updateSpeechSettings(kChosen)) << store.lastError().toStdString();
        expectChosen(store.speechSettings());
    }
    {
        MailStore again;
        ASSERT_TRUE(again.open(path)) << again.lastError().toStdString();
        expectChosen(again.speechSettings());
        // Back to the other side of each value, and out of the dialog's range: not clamped here.
        ASSERT_TRUE(again.updateSpeechSettings({1000, 100, QString(), true}));
        auto s = again.speechSettings();
        ASSERT_TRUE(s);
        EXPECT_EQ(s->rate, 1000);
        EXPECT_EQ(s->volume, 100);
        EXPECT_EQ(s->voice, QString());
        EXPECT_TRUE(s->wait_cue);
    }
    EXPECT_EQ(speechRows(path), 1);
}

// Version 0 is a file from before versions were kept.
TEST_F(SpeechSettingsStore, AnOlderFileGainsTheTableAndKeepsEverythingElse) {
    for (int version : {1, 0}) {
        SCOPED_TRACE(version);
        removeDatabase();
        makeFilledDatabase();
        makeVersionOne();
        raw(path, [&](QSqlDatabase& db) {
            sql(db, QStringLiteral("PRAGMA user_version=%1").arg(version));
        });
        const QStringList before = contentBesidesSpeech(path);
        ASSERT_FALSE(before.isEmpty());
        {
            MailStore store;
            ASSERT_TRUE(store.open(path)) << store.lastError().toStdString();
            expectDefaults(store.speechSettings());
            ASSERT_EQ(store.accounts().size(), 1u);
            EXPECT_EQ(store.accounts()[0].password, QStringLiteral("p'w"));
            ASSERT_TRUE(store.updateSpeechSettings(kChosen));
        }
        EXPECT_EQ(userVersion(path), schema::kVersion);
        EXPECT_EQ(contentBesidesSpeech(path), before);
        {
            MailStore again;
            ASSERT_TRUE(again.open(path)) << again.lastError().toStdString();
            expectChosen(again.speechSettings());
        }
        EXPECT_EQ(speechRows(path), 1);
        EXPECT_EQ(contentBesidesSpeech(path), before);
    }
}

// The upgrade must not trust the version number alone: whatever is already in the table stays,
// and the file ends with the one row the program reads and updates.
TEST_F(SpeechSettingsStore, TheUpgradeKeepsARowThatIsThereAndLeavesExactlyOne) {
    {
        MailStore store;
        ASSERT_TRUE(store.open(path));
        ASSERT_TRUE(store.updateSpeechSettings(kChosen));
    }
    raw(path, [](QSqlDatabase& db) {
        sql(db, QStringLiteral("insert into speech (rate,volume,voice,wait_cue) "
                               "values(50,50,'second',1)"));
        sql(db, QStringLiteral("PRAGMA user_version=1"));
    });
    {
        MailStore store;
        ASSERT_TRUE(store.open(path)) << store.lastError().toStdString();
        expectChosen(store.speechSettings());
    }
    EXPECT_EQ(speechRows(path), 1);
    EXPECT_EQ(userVersion(path), schema::kVersion);
}

TEST_F(SpeechSettingsStore, AnEmptyOrMissingTableGetsTheDefaultRowAtEitherVersion) {
    struct Case {
        const char* damage;
        int version;
    };
    for (const Case& c : {Case{"delete from speech", 1}, Case{"delete from speech", 2},
                          Case{"drop table speech", 2}}) {
        SCOPED_TRACE(std::string(c.damage) + " at version " + std::to_string(c.version));
        removeDatabase();
        makeFilledDatabase();
        raw(path, [&](QSqlDatabase& db) {
            sql(db, QString::fromLatin1(c.damage));
            sql(db, QStringLiteral("PRAGMA user_version=%1").arg(c.version));
        });
        const QStringList before = contentBesidesSpeech(path);
        {
            MailStore store;
            ASSERT_TRUE(store.open(path)) << store.lastError().toStdString();
            expectDefaults(store.speechSettings());
            // The save must land in the row, not vanish for want of one.
            ASSERT_TRUE(store.updateSpeechSettings(kChosen));
            expectChosen(store.speechSettings());
        }
        EXPECT_EQ(speechRows(path), 1);
        EXPECT_EQ(userVersion(path), schema::kVersion);
        EXPECT_EQ(contentBesidesSpeech(path), before);
    }
}

TEST_F(SpeechSettingsStore, AVersionOneFileLackingAnOlderTableIsRefusedUntouched) {
    makeFilledDatabase();
    makeVersionOne();
    raw(path, [](QSqlDatabase& db) {
        sql(db, QStringLiteral("drop table signature"));
        sql(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    });
    const QByteArray before = digest(path);
    MailStore store;
    EXPECT_FALSE(store.open(path));
    EXPECT_EQ(store.openFailure(), OpenFailure::MissingTable);
    EXPECT_TRUE(store.lastError().contains(QStringLiteral("signature")));
    EXPECT_EQ(digest(path), before);
    EXPECT_EQ(speechRows(path), -1);  // no table was added
    EXPECT_EQ(userVersion(path), 1);
}

TEST_F(SpeechSettingsStore, AFileOfANewerVersionIsRefusedAndNotUpgraded) {
    makeFilledDatabase();
    raw(path, [](QSqlDatabase& db) {
        sql(db, QStringLiteral("drop table speech"));
        sql(db, QStringLiteral("PRAGMA user_version=%1").arg(schema::kVersion + 1));
    });
    const QStringList before = contentBesidesSpeech(path);
    {
        MailStore store;
        EXPECT_FALSE(store.open(path));
        EXPECT_EQ(store.openFailure(), OpenFailure::CannotOpen);
        EXPECT_TRUE(store.lastError().contains(QString::number(schema::kVersion + 1)))
            << store.lastError().toStdString();
    }
    EXPECT_EQ(userVersion(path), schema::kVersion + 1);
    EXPECT_EQ(speechRows(path), -1);
    EXPECT_EQ(contentBesidesSpeech(path), before);
}

// Version 3 added whether moves in a list are said: a version-2 file gains the column, on, and
// keeps everything else, the speech row's values included.
TEST_F(SpeechSettingsStore, AVersionTwoFileGainsMoveSpeechOnAndKeepsTheRest) {
    makeFilledDatabase();
    {
        MailStore store;
        ASSERT_TRUE(store.open(path));
        ASSERT_TRUE(store.updateSpeechSettings({150, 40, QStringLiteral("声"), false, false}));
    }
    raw(path, [](QSqlDatabase& db) {
        sql(db, QStringLiteral("alter table speech drop column move_speech"));
        sql(db, QStringLiteral("PRAGMA user_version=2"));
    });
    const QStringList before = contentBesidesSpeech(path);
    {
        MailStore store;
        ASSERT_TRUE(store.open(path)) << store.lastError().toStdString();
        const auto s = store.speechSettings();
        ASSERT_TRUE(s);
        EXPECT_EQ(std::tuple(s->rate, s->volume, s->voice, s->wait_cue, s->move_speech),
                  std::tuple(150, 40, QStringLiteral("声"), false, true));
    }
    EXPECT_EQ(userVersion(path), 3);
    EXPECT_EQ(speechRows(path), 1);
    EXPECT_EQ(contentBesidesSpeech(path), before);
}
