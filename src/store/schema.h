#pragma once

#include <QSqlDatabase>
#include <QString>

namespace qv::schema {

// The version a database created now has. Older files are brought up to it step by step:
// 2 added table `speech` (the user's speaking rate, volume, voice and waiting cue), 3 its column
// `move_speech` (whether moving in a list says the item).
constexpr int kVersion = 3;

enum class Verdict { Ok, NotADatabase, MissingTable };

// Checks, by reading only, that the database has every table and column the program uses.
// Tables a later version added are not asked for: upgrade() adds them.
// *detail names what is missing, or the database's complaint.
Verdict verify(QSqlDatabase& db, QString* detail);

// Creates every table with its first rows (inside the caller's transaction).
bool create(QSqlDatabase& db, QString* error);

// Brings a database of an older version up to kVersion, each step in a transaction of its own.
// A file of a newer version than kVersion is refused (false) and left unwritten.
bool upgrade(QSqlDatabase& db, QString* error);

}  // namespace qv::schema
