#pragma once

#include "store/mail/pop3_session.h"
#include "store/mail/uidl_record.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qv::mail {

// Saves every waiting message of one POP3 session as a file and deletes it from the server,
// without ever losing or doubling one:
//  - each message goes into a temporary file, and is deleted on the server (DELE) right after;
//    a DELE answered on the same connection also proves the message arrived whole;
//  - in batches, the files are synced, renamed to their final names (never replacing a file),
//    the folder synced, and their ids appended to the account's UidlRecord;
//  - only then QUIT commits the deletions. Any failure drops the connection without QUIT, so
//    the server keeps everything; the temporary files of the unfinished batch go away;
//  - messages already in the record are deleted without being fetched again, and their files
//    are handed over with this receive's.
class MailboxDownload {
  public:
    struct Options {
        int batch_messages = 500;
        qint64 batch_bytes = 32 * 1024 * 1024;
    };

    MailboxDownload(Pop3Session& session, QString dir, QString record_name, Options options,
                    std::function<void(int, int)> progress);
    ~MailboxDownload();
    MailboxDownload(const MailboxDownload&) = delete;
    MailboxDownload& operator=(const MailboxDownload&) = delete;

    // The names (relative to the folder) of the files now handed over, or nullopt and error().
    std::optional<QStringList> run();
    const QString& error() const { return error_; }

  private:
    struct Pending {
        int number;
        QByteArray uidl;
        QByteArray temp_name;
        qint64 size;
    };

    bool fetch(int number, const QByteArray& uidl);
    bool commit();
    bool fail(const QString& reason);
    void remove_stale_temporaries(const QString& prefix);

    Pop3Session& session_;
    QString dir_;
    QString record_name_;
    Options options_;
    std::function<void(int, int)> progress_;
    QString error_;
    int dir_fd_ = -1;
    QByteArray temp_prefix_;
    QString name_stem_;
    int sequence_ = 0;
    std::vector<Pending> pending_;
    qint64 pending_bytes_ = 0;
    QStringList saved_;
    UidlRecord record_;
};

}  // namespace qv::mail
