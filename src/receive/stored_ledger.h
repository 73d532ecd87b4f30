#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace qv {

// The saved mails of the mail directory that have had their row, so that none is ever stored as
// new mail again: deleting a mail removes its row but not its file, and without this list such a
// file would look like one that a crash kept from the database, and the deleted mail would come
// back. Attachments that older versions saved beside the mails are listed too.
//
// One name a line in a hidden file of the mail directory, only ever appended to, each addition
// synced. The database is written first and this list after it, so a crash in between leaves a
// name that only the database knows; the caller adds such names when it loads the list.
class StoredLedger {
  public:
    static QString fileName() { return QStringLiteral(".quorvel-stored"); }

    // Reads the list of the mail directory `dir` (an absent list is an empty one).
    void load(const QString& dir);
    const QString& dir() const { return dir_; }
    bool isLoaded() const { return !dir_.isNull(); }
    bool contains(const QString& name) const { return names_.contains(name); }
    // Appends the names not yet listed and syncs them to disk. False, with errorString(), when
    // they could not be written (they are still known to this object).
    bool add(const QStringList& names);
    const QString& errorString() const { return error_; }

  private:
    QString dir_;
    QSet<QString> names_;
    QString error_;
};

}  // namespace qv
