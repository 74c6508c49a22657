#pragma once

#include "archive/sql_statement.h"

#include <QSqlDatabase>
#include <QStringList>

namespace archive {

// The version of the schema this program writes and reads. A database of a newer version is
// refused; an older one is brought up to this one when opened, by the numbered migrations.
inline constexpr int kSchemaVersion = 1;

// The statements that take a database from version `version` - 1 to `version`.
QStringList migrationStatements(int version, Dialect dialect);

// The schema version of the database: 0 for an empty one. Throws ArchiveError NotArchive for
// a database that holds tables of something else.
int schemaVersion(QSqlDatabase& db, const QString& location);

// Brings the database to version `upTo` (tests stop earlier), each migration in a transaction
// of its own with the new version number. Refuses (ArchiveError NewerSchema) a database newer
// than this program; leaves a database at `upTo` or later as it is. Returns the version.
int migrate(QSqlDatabase& db, const QString& location, int upTo = kSchemaVersion);

} // namespace archive
