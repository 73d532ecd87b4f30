#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace qv {

// What the mail directory holds that must never be stored as new mail again: every saved mail
// that has had its row (by name and by a digest of its bytes), and attachments saved beside
// them (by name).
//
// By name: deleting a mail removes its row but not its file; without this list such a file
// would look like one that a crash kept from the database, and the deleted mail would come back.
// By digest: a download interrupted at the wrong moment can leave a mail's file behind while the
// server still holds the mail; the next download then saves the same bytes again under a new
// name, and only one of the two may be stored.
//
// One entry a line ("<name>" or "<name>\t<digest>") in a hidden file of the mail directory, only
// ever appended to. The database is written first and this list after it, so a crash in between
// leaves a name that only the database knows; the caller adds such names at the next start.
class StoredLedger {
  public:
    static QString fileName() { return QStringLiteral(".quorvel-stored"); }
    // The digest of a mail file's bytes, as ReadMail gives it (empty when it cannot be read).
    static QByteArray digestOf(const QString& path);

    // Reads the list of the mail directory `dir` (an absent list is an empty one).
    void load(const QString& dir);
    const QString& dir() const { return dir_; }
    bool contains(const QString& name) const { return names_.contains(name); }
    bool containsDigest(const QByteArray& digest) const {
        return !digest.isEmpty() && digests_.contains(digest);
    }
    // Appends (name, digest) entries not yet listed; the digest may be empty. False when the
    // file could not be written (the entries are still known to this object).
    bool add(const std::vector<std::pair<QString, QByteArray>>& entries);
    bool add(const QStringList& names);

  private:
    QString dir_;
    QSet<QString> names_;
    QSet<QByteArray> digests_;
};

}  // namespace qv
