#pragma once

#include "mail/pop3_session.h"
#include "mail/uidl_record.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qv::mail {

// Saves every waiting message of one POP3 session as a file and deletes it from the server,
// without ever losing or doubling one:
//  - each message goes into a temporary file as it arrives; the DELEs follow the RETRs;
//  - in batches, the files are synced, renamed to their final names (never replacing a file),
//    the folder synced, and their ids appended (and synced) to the account's UidlRecord;
//  - only when everything is on disk and recorded does QUIT commit the deletions. Any failure
//    drops the connection without QUIT, so the server keeps everything, and the temporary
//    files of the unfinished batch go away;
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

    // A received message in its temporary file, not yet committed.
    struct Pending {
        QByteArray uidl;
        QByteArray temp_name;
    };

  private:
    // Receiving one message into its temporary file.
    bool begin_message(const QByteArray& uidl);
    bool write_message(const char* data, size_t size);
    bool end_message();
    bool flush_buffer();

    bool commit();
    bool fail(const QString& reason);
    bool local_error(int code);
    void remove_stale_temporaries(const QString& prefix);

    Pop3Session& session_;
    QString dir_;
    QString record_name_;
    Options options_;
    std::function<void(int, int)> progress_;
    QString error_;
    int dir_fd_ = -1;
    UidlRecord record_;
    QByteArray temp_prefix_;
    QString name_stem_;
    int sequence_ = 0;
    int fetched_ = 0;
    int to_fetch_ = 0;

    int file_fd_ = -1;  // the message being received
    QByteArray file_name_;
    QByteArray file_uidl_;
    QByteArray buffer_;
    qint64 file_size_ = 0;

    std::vector<Pending> pending_;
    qint64 pending_bytes_ = 0;
    QStringList saved_;
};

}  // namespace qv::mail
