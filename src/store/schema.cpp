#include "store/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <utility>
#include <vector>

namespace qv::schema {

namespace {

struct Table {
    const char* name;
    const char* columns;  // as the program reads them, comma-separated
    const char* create;
};

const std::vector<Table>& tables() {
    static const std::vector<Table> t = {
        {"mail", "id,readflag,folder,date,file,mailfrom,subject,body,attach",
         "create table mail (id integer primary key autoincrement, readflag text not null "
         "default '未読', folder text not null default '受信フォルダー', [date] text, [file] text, "
         "mailfrom text, subject text, body text, attach text not null default '')"},
        {"folder", "id,name", "create table folder (id integer primary key, [name] text)"},
        {"address", "id,name,address",
         "create table address (id integer primary key autoincrement, [name] text, address "
         "text)"},
        {"account", "id,cur,pop,smtp,account,password,email,name,default",
         "create table account (id integer primary key autoincrement, cur boolean not null "
         "default 0, pop text, smtp text, account text, [password] text, email text, [name] "
         "text, [default] text, keep_on_server boolean, plain_login boolean)"},
        {"news", "sel,site", "create table news (sel boolean not null default 1, site text)"},
        {"signature", "email,signature", "create table signature (email text, signature text)"},
        {"voice", "sec,voice_file", "create table voice (sec integer, voice_file text)"},
    };
    return t;
}

// The folders a new database starts with; the inbox must be among them.
const QStringList kFirstFolders = {QStringLiteral("受信フォルダー"), QStringLiteral("保存"),
                                   QStringLiteral("重要"), QStringLiteral("ごみ箱")};

// A public Japanese news feed (RSS 2.0).
const QString kNewsSite = QStringLiteral("https://www3.nhk.or.jp/rss/news/cat0.xml");

bool run(QSqlDatabase& db, const QString& sql, const QVariantList& values, QString* error) {
    QSqlQuery q(db);
    if (!q.prepare(sql)) {
        if (error) *error = q.lastError().text();
        return false;
    }
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) {
        if (error) *error = q.lastError().text();
        return false;
    }
    return true;
}

// Added in version 2, its last column in version 3. It is not among tables(), so verify() lets
// an older file through to upgrade(), which adds what is missing.
const char* const kSpeechCreate =
    "create table if not exists speech (rate integer not null default 100, volume integer not "
    "null default 100, voice text not null default '', wait_cue boolean not null default 1, "
    "move_speech boolean not null default 1)";

bool has_column(QSqlDatabase& db, const QString& table, const QString& column) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table))) return false;
    while (q.next()) {
        if (q.value(1).toString() == column) return true;
    }
    return false;
}

bool has_move_speech(QSqlDatabase& db) {
    return has_column(db, QStringLiteral("speech"), QStringLiteral("move_speech"));
}

// Gives a table of version 2 the column of version 3; its row keeps every value it has.
bool ensure_move_speech(QSqlDatabase& db, QString* error) {
    return has_move_speech(db) ||
           run(db,
               QStringLiteral(
                   "alter table speech add column move_speech boolean not null default 1"),
               {}, error);
}

// Leaves table speech with exactly one row: a missing table or row gets the defaults, a row that
// is there keeps its values (the first one, the one the program reads, when there are several).
bool ensure_speech(QSqlDatabase& db, QString* error) {
    return run(db, QString::fromLatin1(kSpeechCreate), {}, error) &&
           run(db,
               QStringLiteral("delete from speech where rowid > (select min(rowid) from speech)"),
               {}, error) &&
           run(db,
               QStringLiteral("insert into speech (rate,volume,voice,wait_cue) select 100,100,'',1 "
                              "where not exists (select 1 from speech)"),
               {}, error);
}

// Reads only: opening a file whose row is in order writes nothing.
bool speech_is_whole(QSqlDatabase& db) {
    QSqlQuery q(db);
    return q.exec(QStringLiteral("select count(*) from speech")) && q.next() &&
           q.value(0).toInt() == 1 && has_move_speech(db);
}

// Whether receiving leaves the account's mail on the server. NULL in every row it is added to:
// each account then receives as its address suggests until the user says otherwise. verify()
// does not ask for it, so a file without it gets to upgrade().
bool ensure_keep_on_server(QSqlDatabase& db, QString* error) {
    return has_column(db, QStringLiteral("account"), QStringLiteral("keep_on_server")) ||
           run(db, QStringLiteral("alter table account add column keep_on_server boolean"), {},
               error);
}

// Whether the account may log in without encryption to a server that offers no STARTTLS: NULL
// (never asked) in every row it is added to, so each account is asked the first time.
bool ensure_plain_login(QSqlDatabase& db, QString* error) {
    return has_column(db, QStringLiteral("account"), QStringLiteral("plain_login")) ||
           run(db, QStringLiteral("alter table account add column plain_login boolean"), {}, error);
}

bool set_version(QSqlDatabase& db, int version, QString* error) {
    return run(db, QStringLiteral("PRAGMA user_version=%1").arg(version), {}, error);
}

// A step either happens whole or not at all: a crash in the middle leaves the older version,
// which the next start upgrades again.
template <class Work>
bool in_transaction(QSqlDatabase& db, QString* error, Work&& work) {
    if (!db.transaction()) {
        if (error) *error = db.lastError().text();
        return false;
    }
    if (!work()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        if (error) *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

}  // namespace

Verdict verify(QSqlDatabase& db, QString* detail) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select name from sqlite_master where type='table'"))) {
        *detail = q.lastError().text();
        return Verdict::NotADatabase;
    }
    QStringList present;
    while (q.next()) present << q.value(0).toString();
    for (const Table& t : tables()) {
        const QString name = QString::fromLatin1(t.name);
        if (!present.contains(name)) {
            *detail = QStringLiteral("table %1").arg(name);
            return Verdict::MissingTable;
        }
        QSqlQuery info(db);
        info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(name));
        QStringList have;
        while (info.next()) have << info.value(1).toString();
        for (const QString& column : QString::fromLatin1(t.columns).split(QLatin1Char(','))) {
            if (!have.contains(column)) {
                *detail = QStringLiteral("column %1.%2").arg(name, column);
                return Verdict::MissingTable;
            }
        }
    }
    return Verdict::Ok;
}

bool create(QSqlDatabase& db, QString* error) {
    for (const Table& t : tables()) {
        if (!run(db, QString::fromUtf8(t.create), {}, error)) return false;
    }
    if (!run(db, QStringLiteral("create index mail_by_folder on mail (folder, [date])"), {},
             error)) {
        return false;
    }
    int id = 1;
    for (const QString& name : kFirstFolders) {
        if (!run(db, QStringLiteral("insert into folder (id,[name]) values(?,?)"), {id++, name},
                 error)) {
            return false;
        }
    }
    return run(db, QStringLiteral("insert into news (sel,site) values(1,?)"), {kNewsSite}, error) &&
           run(db, QStringLiteral("insert into signature (email,signature) values('','')"), {},
               error) &&
           run(db, QStringLiteral("insert into voice (sec,voice_file) values(30,'')"), {}, error) &&
           ensure_speech(db, error) && set_version(db, kVersion, error);
}

bool upgrade(QSqlDatabase& db, QString* error) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        if (error) *error = q.lastError().text();
        return false;
    }
    int version = q.value(0).toInt();
    q.finish();
    if (version > kVersion) {
        if (error) {
            *error = QStringLiteral("database version %1 is newer than this program's (%2)")
                         .arg(version)
                         .arg(kVersion);
        }
        return false;
    }
    // A file from before versions were kept is taken as version 1: the tables were checked.
    if (version < 1) {
        if (!set_version(db, 1, error)) return false;
        version = 1;
    }
    if (version < 2) {
        if (!in_transaction(
                db, error, [&] { return ensure_speech(db, error) && set_version(db, 2, error); })) {
            return false;
        }
        version = 2;
    }
    if (version < 3) {
        if (!in_transaction(db, error, [&] {
                return ensure_speech(db, error) && ensure_move_speech(db, error) &&
                       set_version(db, 3, error);
            })) {
            return false;
        }
        version = 3;
    }
    // The settings dialog saves by updating the row: without it the user's choice would be
    // dropped without a word. A file of this version can still have lost it (an older program or
    // a hand edit), so it is put back.
    if (!speech_is_whole(db) && !in_transaction(db, error, [&] {
            return ensure_speech(db, error) && ensure_move_speech(db, error);
        })) {
        return false;
    }
    // Not tied to a version: an older program reads the file with the column as it did
    // without it, and a file that came up to this version without it gets it here.
    if (!has_column(db, QStringLiteral("account"), QStringLiteral("keep_on_server")) &&
        !in_transaction(db, error, [&] { return ensure_keep_on_server(db, error); })) {
        return false;
    }
    if (!has_column(db, QStringLiteral("account"), QStringLiteral("plain_login"))) {
        return in_transaction(db, error, [&] { return ensure_plain_login(db, error); });
    }
    return true;
}

}  // namespace qv::schema
