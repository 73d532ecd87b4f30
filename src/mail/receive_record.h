#pragma once

#include "mail/server_address.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace qv::mail {

// What one account's receiving has taken from its server, one entry per message, in a hidden
// file beside the mail files: which message (its UIDL, or its UID under the UIDVALIDITY of the
// record), which file holds it, and whether the caller has stored that file.
//
// Every change is on disk (synced) before the step it makes safe:
//  - saving(): a message's temporary file is synced and about to be renamed to its final name.
//    Whatever stops the receive after this, the next receive finds the file under one of the
//    two names, finishes the rename and hands the file over; the message is never fetched
//    again.
//  - stored(): the caller has the file in its database; from now on the message may be deleted
//    on the server, and its file is never handed over again.
//  - rewrite(): the record is replaced whole (pruned to what the server still holds, or renumbered
//    after a new UIDVALIDITY); a crash leaves the old record or the new one.
// Only whole lines count when it is read: a line cut short by a crash was never synced, so never
// relied on.
//
// The record of an older version ("<uidl>\t<file>" lines: saved, never handed over) reads as
// entries that are saved and not stored.
class ReceiveRecord {
  public:
    struct Entry {
        QByteArray uid;  // UIDL (POP3) or UID (IMAP, in decimal)
        QString temp;    // the temporary file while it may not be renamed yet, else empty
        QString file;    // the final name, relative to the folder
        QByteArray key;  // what tells the message apart without its UID (IMAP), or empty
        bool stored = false;
    };

    // ".uidl-" and a hash of the server and user, so that accounts sharing a folder keep apart.
    static QString file_name(const ServerAddress& server, const QString& user);

    ReceiveRecord() = default;
    ~ReceiveRecord();
    ReceiveRecord(const ReceiveRecord&) = delete;
    ReceiveRecord& operator=(const ReceiveRecord&) = delete;

    // Opens (creating) and reads the record `name` of the folder `dir`, and locks the folder
    // against other receives while this object lives. False with a Japanese reason.
    bool open(const QString& dir, const QString& name, QString* error);

    quint32 uidvalidity() const { return uidvalidity_; }
    const std::vector<Entry>& entries() const { return entries_; }
    const Entry* find(const QByteArray& uid) const;
    // The folder, open (for the caller's own renames and syncs).
    int dir_fd() const { return dir_fd_; }
    // Lines on disk: more than the entries once entries were marked or superseded.
    qsizetype lines() const { return lines_; }

    // Appends entries about to be renamed (or renamed under a new name) and syncs them.
    bool saving(const std::vector<Entry>& entries, QString* error);
    // Marks entries as stored by the caller, synced.
    bool stored(const std::vector<QByteArray>& uids, QString* error);
    // Replaces the whole record.
    bool rewrite(quint32 uidvalidity, std::vector<Entry> entries, QString* error);

  private:
    bool append(const QByteArray& lines, QString* error);
    void apply(const QByteArray& line);
    Entry& entry(const QByteArray& uid);

    QString dir_;
    QString name_;
    int dir_fd_ = -1;
    int fd_ = -1;
    bool empty_file_ = true;
    quint32 uidvalidity_ = 0;
    std::vector<Entry> entries_;
    QHash<QByteArray, size_t> index_;
    qsizetype lines_ = 0;
};

}  // namespace qv::mail
