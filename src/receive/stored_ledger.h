#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace qv {

// The names of the files in the mail directory that must never be stored as new mail again:
// every saved mail that has had its row, and attachments saved beside them. Deleting a mail
// removes its row but not its file; without this list such a file would look like one that a
// crash kept from the database, and the deleted mail would come back.
//
// One name a line in a hidden file of the mail directory, only ever appended to. The database
// is written first and this list after it, so a crash in between leaves a name that only the
// database knows; reconcile() adds such names at the next start.
class StoredLedger {
  public:
    static QString fileName() { return QStringLiteral(".quorvel-stored"); }

    // Reads the list of the mail directory `dir` (an absent list is an empty one).
    void load(const QString& dir);
    const QString& dir() const { return dir_; }
    bool contains(const QString& name) const { return names_.contains(name); }
    // Appends names not yet listed. False when the file could not be written (the names are
    // still known to this object).
    bool add(const QStringList& names);

  private:
    QString dir_;
    QSet<QString> names_;
};

}  // namespace qv
