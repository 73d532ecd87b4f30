#include "store/mail_store.h"

#include "store/schema.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <fcntl.h>
#include <unistd.h>

namespace qv {

namespace {

QString next_connection_name() {
    static QAtomicInt counter;
    return QStringLiteral("quorvel-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

// A text the program never set is stored as an empty text, never as NULL.
QVariant bindable(const QVariant& v) {
    if (v.typeId() == QMetaType::QString && v.toString().isNull()) return QStringLiteral("");
    return v;
}

// LIKE treats % and _ as wildcards; the typed text is meant literally.
QString like_prefix(const QString& typed) {
    QString escaped = typed;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('%'), QLatin1String("\\%"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return escaped + QLatin1Char('%');
}

}  // namespace

MailStore::~MailStore() {
    if (connection_.isEmpty()) return;
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

void MailStore::fail(const QString& what) { lastError_ = what; }

bool MailStore::open(const QString& path, const Runner& run) {
    path_ = path;
    openFailure_ = OpenFailure::None;
    bool existed = QFileInfo::exists(path);
    if (existed) {
        bool fine = false;
        // The probe's connection is made, used and dropped on the thread that runs it.
        const auto look = [&] { fine = check(path); };
        if (run) {
            run(look);
        } else {
            look();
        }
        if (!fine) return false;
    }
    if (!existed) {
        // Mail, addresses and passwords live here: readable by the owner only.
        int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd < 0) {
            openFailure_ = OpenFailure::CannotCreate;
            fail(QStringLiteral("cannot create %1").arg(path));
            return false;
        }
        ::close(fd);
    }
    connection_ = next_connection_name();
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db_.open()) {
        openFailure_ = OpenFailure::CannotOpen;
        fail(db_.lastError().text());
        return false;
    }
    QSqlQuery pragma(db_);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA case_sensitive_like=ON"));
    // The mail list reads a folder in date order, which jumps about the mail table: reading the
    // file through a memory map instead of one read call per page makes a folder of a hundred
    // thousand mails list about three times faster.
    pragma.exec(QStringLiteral("PRAGMA mmap_size=1073741824"));
    if (!existed && !create()) {
        openFailure_ = OpenFailure::CannotCreate;
        db_.close();
        QFile::remove(path);
        return false;
    }
    if (!schema::upgrade(db_, &lastError_)) {
        openFailure_ = OpenFailure::CannotOpen;
        return false;
    }
    return true;
}

// SQLite's own quick look at every page: a damaged file is found here, before anything reads
// half of it as empty lists or writes into it.
bool MailStore::passes_quick_check(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("PRAGMA quick_check(1)")) && q.next() &&
        q.value(0).toString() == QLatin1String("ok")) {
        return true;
    }
    openFailure_ = OpenFailure::Damaged;
    fail(q.lastError().isValid() ? q.lastError().text() : q.value(0).toString());
    return false;
}

// Looks at an existing file without writing to it: a read-only connection, and only reads.
bool MailStore::check(const QString& path) {
    const QString name = next_connection_name();
    bool ok = false;
    {
        QSqlDatabase probe = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        probe.setDatabaseName(path);
        probe.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!probe.open()) {
            openFailure_ = OpenFailure::NotADatabase;
            fail(probe.lastError().text());
        } else {
            QString missing;
            switch (schema::verify(probe, &missing)) {
                case schema::Verdict::Ok:
                    ok = passes_quick_check(probe);
                    break;
                case schema::Verdict::NotADatabase:
                    openFailure_ = OpenFailure::NotADatabase;
                    fail(missing);
                    break;
                case schema::Verdict::MissingTable:
                    openFailure_ = OpenFailure::MissingTable;
                    fail(missing);
                    break;
            }
            probe.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool MailStore::create() {
    if (!db_.transaction()) return false;
    if (!schema::create(db_, &lastError_)) {
        db_.rollback();
        return false;
    }
    return db_.commit();
}

bool MailStore::exec(const QString& sql, const QVariantList& values) {
    QSqlQuery q(db_);
    if (!q.prepare(sql)) {
        fail(q.lastError().text());
        return false;
    }
    for (const QVariant& v : values) q.addBindValue(bindable(v));
    if (!q.exec()) {
        fail(q.lastError().text());
        return false;
    }
    lastError_.clear();
    return true;
}

bool MailStore::insertMail(const QString& date, const QString& file, const QString& mailfrom,
                           const QString& subject, const QString& body, const QString& attach) {
    return exec(QStringLiteral("insert into mail (readflag,folder,[date],[file],mailfrom,subject,"
                               "body,attach) values('未読','受信フォルダー',?,?,?,?,?,?)"),
                {date, file, mailfrom, subject, body, attach});
}

std::vector<MailRow> MailStore::mailsInFolder(const QString& folder) {
    std::vector<MailRow> rows;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("select id,readflag,folder,mailfrom,subject,[date],attach from mail "
                       "where folder=? order by date DESC, id DESC"));
    q.addBindValue(folder);
    if (!q.exec()) {
        fail(q.lastError().text());
        return rows;
    }
    while (q.next()) {
        rows.push_back(MailRow{q.value(0).toInt(), q.value(1).toString(), q.value(2).toString(),
                               q.value(3).toString(), q.value(4).toString(), q.value(5).toString(),
                               q.value(6).toString()});
    }
    return rows;
}

std::optional<MailBody> MailStore::mailBody(int id) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("select body,attach from mail where id=?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    return MailBody{q.value(0).toString(), q.value(1).toString()};
}

bool MailStore::markRead(int id) {
    return exec(QStringLiteral("update mail set readflag='既読' where id=?"), {id});
}

bool MailStore::deleteMail(int id) {
    return exec(QStringLiteral("delete from mail where id=?"), {id});
}

bool MailStore::moveMail(int id, const QString& folder) {
    return exec(QStringLiteral("update mail set folder=? where id=?"), {folder, id});
}

bool MailStore::isFileStored(const QString& file) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("select count(*) from mail where [file]=?"));
    q.addBindValue(file);
    return q.exec() && q.next() && q.value(0).toInt() > 0;
}

std::vector<std::pair<QString, QString>> MailStore::mailFiles() {
    std::vector<std::pair<QString, QString>> rows;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select [file],attach from mail"))) {
        fail(q.lastError().text());
        return rows;
    }
    while (q.next()) rows.emplace_back(q.value(0).toString(), q.value(1).toString());
    return rows;
}

bool MailStore::beginBatch() {
    if (db_.transaction()) return true;
    fail(db_.lastError().text());
    return false;
}

bool MailStore::commitBatch() {
    if (db_.commit()) return true;
    fail(db_.lastError().text());
    db_.rollback();
    return false;
}

std::vector<FolderRow> MailStore::folders() {
    std::vector<FolderRow> rows;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select * from folder"))) {
        fail(q.lastError().text());
        return rows;
    }
    while (q.next()) {
        rows.push_back(FolderRow{q.value(QStringLiteral("id")).toInt(),
                                 q.value(QStringLiteral("name")).toString()});
    }
    return rows;
}

std::vector<AddressRow> MailStore::addresses() {
    std::vector<AddressRow> rows;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select * from address order by address"))) {
        fail(q.lastError().text());
        return rows;
    }
    while (q.next()) {
        rows.push_back(AddressRow{q.value(QStringLiteral("id")).toInt(),
                                  q.value(QStringLiteral("name")).toString(),
                                  q.value(QStringLiteral("address")).toString()});
    }
    return rows;
}

bool MailStore::insertAddress(const QString& name, const QString& address) {
    return exec(QStringLiteral("insert into address ([name],address) values(?,?)"),
                {name, address});
}

bool MailStore::deleteAddress(const QString& address) {
    return exec(QStringLiteral("delete from address where address=?"), {address});
}

std::vector<AddressRow> MailStore::addressesStartingWith(const QString& typed) {
    std::vector<AddressRow> rows;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("select [name],address from address where address like ? escape '\\'"));
    q.addBindValue(like_prefix(typed));
    if (!q.exec()) {
        fail(q.lastError().text());
        return rows;
    }
    while (q.next()) rows.push_back(AddressRow{0, q.value(0).toString(), q.value(1).toString()});
    return rows;
}

std::vector<AccountRow> MailStore::accounts() {
    std::vector<AccountRow> rows;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select * from account"))) {
        fail(q.lastError().text());
        return rows;
    }
    auto text = [&q](const char* column) { return q.value(QLatin1String(column)).toString(); };
    while (q.next()) {
        AccountRow row;
        row.id = q.value(QStringLiteral("id")).toInt();
        row.cur = q.value(QStringLiteral("cur")).toBool();
        row.pop = text("pop");
        row.smtp = text("smtp");
        row.account = text("account");
        row.password = text("password");
        row.email = text("email");
        row.name = text("name");
        row.default_ = text("default");
        rows.push_back(row);
    }
    return rows;
}

bool MailStore::clearCurrentAccount() {
    return exec(QStringLiteral("update account set cur=0"), {});
}

bool MailStore::setCurrentAccount(int id) {
    return exec(QStringLiteral("update account set cur=1 where id=?"), {id});
}

bool MailStore::deleteAccount(int id) {
    return exec(QStringLiteral("delete from account where id=?"), {id});
}

int MailStore::insertAccount(const AccountFields& f) {
    QSqlQuery q(db_);
    q.prepare(
        QStringLiteral("insert into account (pop,smtp,account,[password],email,[name],"
                       "[default]) values(?,?,?,?,?,?,?)"));
    for (const QString* v :
         {&f.pop, &f.smtp, &f.account, &f.password, &f.email, &f.name, &f.default_}) {
        q.addBindValue(bindable(*v));
    }
    if (!q.exec()) {
        fail(q.lastError().text());
        return 0;
    }
    return q.lastInsertId().toInt();
}

bool MailStore::updateAccount(const AccountFields& f, int id) {
    return exec(QStringLiteral("update account  set pop=?,smtp=?,account=?,password=?,email=?,"
                               "[name]=?,[default]=? where id=?"),
                {f.pop, f.smtp, f.account, f.password, f.email, f.name, f.default_, id});
}

namespace {

QVariant nullable(std::optional<bool> value) {
    return value ? QVariant(*value ? 1 : 0) : QVariant(QMetaType(QMetaType::Int));
}

std::optional<bool> account_flag(QSqlDatabase& db, const QString& sql, int account_id) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(account_id);
    if (!q.exec() || !q.next() || q.value(0).isNull()) return std::nullopt;
    return q.value(0).toBool();
}

}  // namespace

std::optional<bool> MailStore::keepOnServer(int account_id) {
    return account_flag(db_, QStringLiteral("select keep_on_server from account where id=?"),
                        account_id);
}

bool MailStore::setKeepOnServer(int account_id, std::optional<bool> keep) {
    return exec(QStringLiteral("update account set keep_on_server=? where id=?"),
                {nullable(keep), account_id});
}

std::optional<bool> MailStore::plainLogin(int account_id) {
    return account_flag(db_, QStringLiteral("select plain_login from account where id=?"),
                        account_id);
}

bool MailStore::setPlainLogin(int account_id, std::optional<bool> allowed) {
    return exec(QStringLiteral("update account set plain_login=? where id=?"),
                {nullable(allowed), account_id});
}

std::optional<NewsRow> MailStore::news() {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select sel,site from news")) || !q.next()) return std::nullopt;
    return NewsRow{q.value(0).toBool(), q.value(1).toString()};
}

bool MailStore::updateNewsSel(bool sel) {
    return exec(QStringLiteral("update news set sel=?"), {sel ? 1 : 0});
}

bool MailStore::updateNewsSite(const QString& site) {
    return exec(QStringLiteral("update news set site=?"), {site});
}

std::optional<SignatureRow> MailStore::signature() {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select email,signature from signature")) || !q.next()) {
        return std::nullopt;
    }
    return SignatureRow{q.value(0).toString(), q.value(1).toString()};
}

bool MailStore::updateSignature(const QString& text) {
    return exec(QStringLiteral("update signature set signature=?"), {text});
}

std::optional<VoiceRow> MailStore::voice() {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select sec,voice_file from voice")) || !q.next()) {
        return std::nullopt;
    }
    return VoiceRow{q.value(0).toInt(), q.value(1).toString()};
}

bool MailStore::updateVoiceSec(int seconds) {
    return exec(QStringLiteral("update voice set sec=?"), {seconds});
}

std::optional<SpeechRow> MailStore::speechSettings() {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select rate,volume,voice,wait_cue,move_speech from speech")) ||
        !q.next()) {
        return std::nullopt;
    }
    return SpeechRow{q.value(0).toInt(), q.value(1).toInt(), q.value(2).toString(),
                     q.value(3).toBool(), q.value(4).toBool()};
}

bool MailStore::updateSpeechSettings(const SpeechRow& row) {
    return exec(
        QStringLiteral("update speech set rate=?,volume=?,voice=?,wait_cue=?,move_speech=?"),
        {row.rate, row.volume, row.voice, row.wait_cue ? 1 : 0, row.move_speech ? 1 : 0});
}

}  // namespace qv
