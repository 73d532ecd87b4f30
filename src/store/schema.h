#pragma once

#include <QSqlDatabase>
#include <QString>

namespace qv::schema {

// The version a database created now has. Older files are brought up to it step by step.
constexpr int kVersion = 1;

enum class Verdict { Ok, NotADatabase, MissingTable };

// Checks, by reading only, that the database has every table and column the program uses.
// *detail names what is missing, or the database's complaint.
Verdict verify(QSqlDatabase& db, QString* detail);

// Creates every table with its first rows (inside the caller's transaction).
bool create(QSqlDatabase& db, QString* error);

// Brings a database of an older version up to kVersion.
bool upgrade(QSqlDatabase& db, QString* error);

}  // namespace qv::schema
