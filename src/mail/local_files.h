#pragma once

#include <QByteArray>
#include <QString>

namespace qv::mail {

// A file name that came in a mail, made safe to create in our folder: only its last path part,
// no control characters or characters other systems forbid, no leading dots (so no "..", no
// hidden file), not too long for the file system. `fallback` when nothing is left.
QString safe_file_name(const QString& proposed, const QString& fallback);

// The name an attachment of MIME type `type` is saved under: safe_file_name(), never a device
// name other systems reserve, and never one that the program would take for a voice message
// unless the part really is one: an "audio/mpeg" part always ends in ".mp3", any other part
// never has ".mp3" anywhere in its name.
QString attachment_file_name(const QString& proposed, const QByteArray& type,
                             const QString& fallback);

// The n-th candidate for a name that must not replace an existing file: "a.txt", "a-1.txt", ...
QString numbered_name(const QString& name, int n);

// Creates dir/name, or the first free numbered variant, exclusively (an existing file is never
// opened). Returns the open descriptor (write only, mode 0600) and the name used, or -1.
int create_new_file(const QString& dir, const QString& name, QString* used_name);

// Renames `from` to exactly `to` (both in the folder open as dir_fd), never replacing a file.
// Returns false (errno set, EEXIST when `to` exists) on failure.
bool rename_no_replace(int dir_fd, const QByteArray& from, const QByteArray& to);

// Renames `from` (in the folder open as dir_fd) to `name`, or the first free numbered variant,
// without ever replacing a file. Returns false (errno set) on failure.
bool rename_to_new_name(int dir_fd, const QByteArray& from, const QString& name,
                        QString* used_name);
// The same from one folder into another (both on one file system).
bool rename_to_new_name(int from_dir_fd, const QByteArray& from, int to_dir_fd, const QString& name,
                        QString* used_name);

}  // namespace qv::mail
