#pragma once

#include "mail/server_address.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace qv::mail {

// The messages of one account that are safely saved in the folder but have not yet been handed
// to the caller: "<uidl>\t<file name>" lines in a hidden file beside the mail files.
//
// An entry is appended (and synced) only after its file is on disk, and the record is emptied
// only once the server has committed the deletions and the names are about to be returned. So
// after any failure the next receive knows which waiting messages it already has (they are
// deleted, not fetched again) and hands over their files then.
//
// The record file is also the account's lock: one receive per account and folder at a time.
class UidlRecord {
  public:
    struct Entry {
        QByteArray uidl;
        QString file;  // relative to the folder
    };

    // ".uidl-" and a hash of the server and user, so that accounts sharing a folder keep apart.
    static QString file_name(const ServerAddress& server, const QString& user);

    UidlRecord() = default;
    ~UidlRecord();
    UidlRecord(const UidlRecord&) = delete;
    UidlRecord& operator=(const UidlRecord&) = delete;

    // Opens (creating) and locks the record, and reads it. False with a Japanese reason.
    bool open(const QString& dir, const QString& name, QString* error);
    const std::vector<Entry>& entries() const { return entries_; }

    // Appends the entries and syncs them to disk.
    bool append(const std::vector<Entry>& entries, QString* error);
    // Empties the record on disk.
    bool clear(QString* error);

  private:
    int fd_ = -1;
    std::vector<Entry> entries_;
};

}  // namespace qv::mail
