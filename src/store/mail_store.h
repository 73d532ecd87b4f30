#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace qv {

// The folder that receives new mail and that the mail list shows at start.
inline const QString kInbox = QStringLiteral("受信フォルダー");

struct MailRow {
    int id = 0;
    QString readflag;
    QString folder;
    QString mailfrom;
    QString subject;
    QString date;
    QString attach;
};

struct MailBody {
    QString body;
    QString attach;
};

struct FolderRow {
    int id = 0;
    QString name;
};

struct AddressRow {
    int id = 0;
    QString name;
    QString address;
};

struct AccountRow {
    int id = 0;
    bool cur = false;
    QString pop, smtp, account, password, email, name, default_;
};

struct AccountFields {
    QString pop, smtp, account, password, email, name, default_;
};

struct NewsRow {
    bool sel = false;
    QString site;
};

struct SignatureRow {
    QString email;
    QString signature;
};

struct VoiceRow {
    int sec = 0;
    QString voice_file;
};

// How the speech sounds: rate in percent of the normal speed, volume 0..100, the voice's name
// ('' = the engine's default voice), whether a cue tone sounds while the user waits, and whether
// moving in a list says the item landed on.
struct SpeechRow {
    int rate = 100;
    int volume = 100;
    QString voice;
    bool wait_cue = true;
    bool move_speech = true;
};

// Why the database could not be opened.
enum class OpenFailure { None, NotADatabase, MissingTable, Damaged, CannotCreate, CannotOpen };

// The mail database, `quorvel_mail.mdb`: the only place that holds SQL. One method per statement;
// every value is bound, never pasted into the statement text. Methods that change the database
// return false when the database refused (lastError() says why).
class MailStore {
  public:
    MailStore() = default;
    ~MailStore();
    MailStore(const MailStore&) = delete;
    MailStore& operator=(const MailStore&) = delete;

    static QString fileName() { return QStringLiteral("quorvel_mail.mdb"); }

    // Runs a piece of work (on another thread, while the caller's window waits) and returns
    // when it is done.
    using Runner = std::function<void(const std::function<void()>&)>;

    // Opens the database at path, creating it with its tables and first rows when missing. An
    // existing file that is not a database of this program, or that fails SQLite's quick check,
    // is left exactly as it was. The look at an existing file reads all of it: `run` may do that
    // elsewhere (by default it runs here).
    [[nodiscard]] bool open(const QString& path, const Runner& run = {});
    OpenFailure openFailure() const { return openFailure_; }
    QString lastError() const { return lastError_; }
    QString path() const { return path_; }

    // mail
    [[nodiscard]] bool insertMail(const QString& date, const QString& file, const QString& mailfrom,
                                  const QString& subject, const QString& body,
                                  const QString& attach);
    std::vector<MailRow> mailsInFolder(const QString& folder);
    std::optional<MailBody> mailBody(int id);
    [[nodiscard]] bool markRead(int id);
    [[nodiscard]] bool deleteMail(int id);
    [[nodiscard]] bool moveMail(int id, const QString& folder);
    // Whether a saved mail file already has its row (used to store files a crash left behind).
    bool isFileStored(const QString& file);
    // The [file] and attach of every mail row, to tell the files in the mail directory that
    // have their row from those that never got one.
    std::vector<std::pair<QString, QString>> mailFiles();
    // Many inserts written to disk at once: beginBatch(), the inserts, commitBatch(). Rows of a
    // batch that is never committed are not in the database.
    [[nodiscard]] bool beginBatch();
    [[nodiscard]] bool commitBatch();

    // folder
    std::vector<FolderRow> folders();

    // address
    std::vector<AddressRow> addresses();
    [[nodiscard]] bool insertAddress(const QString& name, const QString& address);
    [[nodiscard]] bool deleteAddress(const QString& address);
    // Rows whose address begins with typed; % and _ in typed are plain characters.
    std::vector<AddressRow> addressesStartingWith(const QString& typed);

    // account
    std::vector<AccountRow> accounts();
    [[nodiscard]] bool clearCurrentAccount();
    [[nodiscard]] bool setCurrentAccount(int id);
    [[nodiscard]] bool deleteAccount(int id);
    // The new row's id, or 0 when the insert was refused.
    int insertAccount(const AccountFields& fields);
    [[nodiscard]] bool updateAccount(const AccountFields& fields, int id);

    // Whether receiving the account's mail leaves it on the server; nullopt when the user never
    // said (the column is NULL) or there is no such account.
    std::optional<bool> keepOnServer(int account_id);
    [[nodiscard]] bool setKeepOnServer(int account_id, std::optional<bool> keep);
    // The user's answer to whether the account may log in without encryption where the server
    // offers no STARTTLS: true (yes), false (no); nullopt when never asked (NULL) or there is no
    // such account.
    std::optional<bool> plainLogin(int account_id);
    [[nodiscard]] bool setPlainLogin(int account_id, std::optional<bool> allowed);

    // options
    std::optional<NewsRow> news();
    [[nodiscard]] bool updateNewsSel(bool sel);
    // Where the start-up news is fetched from (an http or https address).
    [[nodiscard]] bool updateNewsSite(const QString& site);
    std::optional<SignatureRow> signature();
    [[nodiscard]] bool updateSignature(const QString& text);
    std::optional<VoiceRow> voice();
    [[nodiscard]] bool updateVoiceSec(int seconds);
    // speech (one row; the values are stored as given, the dialog keeps them in range)
    std::optional<SpeechRow> speechSettings();
    [[nodiscard]] bool updateSpeechSettings(const SpeechRow& row);

    QSqlDatabase& database() { return db_; }

  private:
    bool check(const QString& path);
    bool passes_quick_check(QSqlDatabase& db);
    bool create();
    bool exec(const QString& sql, const QVariantList& values);
    void fail(const QString& what);

    QSqlDatabase db_;
    QString connection_;
    QString path_;
    QString lastError_;
    OpenFailure openFailure_ = OpenFailure::None;
};

}  // namespace qv
