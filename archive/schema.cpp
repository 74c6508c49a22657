#include "archive/schema.h"

#include "archive/archive_error.h"

#include <QSqlError>
#include <QSqlQuery>

namespace archive {

namespace {

// Version 1: the tests, where they came from, their site and the log of their changes.
//
// A test's values are those of the table's 24 fields, one column each ("f_" and the field's
// name), numbers as double precision and texts as text; a blank field is NULL. `identity`
// is what makes two rows one test (archive/test_identity.h). `test_day` is DATE as an ISO
// date, for ranges and order. The site columns are the engineer's, never a table's. Times
// are UTC, written as ISO 8601 text.
QStringList version1(Dialect dialect)
{
    const QString id = idColumnType(dialect);
    return {
        QStringLiteral("CREATE TABLE archive_schema (version INTEGER NOT NULL)"),
        QStringLiteral("INSERT INTO archive_schema (version) VALUES (0)"),
        QStringLiteral("CREATE TABLE sources ("
                       " id %1,"
                       " path TEXT NOT NULL UNIQUE,"
                       " first_added TEXT NOT NULL,"
                       " last_added TEXT NOT NULL)")
            .arg(id),
        QStringLiteral("CREATE TABLE tests ("
                       " id %1,"
                       " identity TEXT NOT NULL UNIQUE,"
                       " kind INTEGER NOT NULL,"
                       " test_day TEXT,"
                       " f_n DOUBLE PRECISION, f_date TEXT, f_time TEXT, f_dev_type DOUBLE PRECISION,"
                       " f_serial DOUBLE PRECISION, f_nb_type DOUBLE PRECISION, f_p DOUBLE PRECISION,"
                       " f_r DOUBLE PRECISION, f_zav TEXT, f_type TEXT, f_comment TEXT, f_h DOUBLE PRECISION,"
                       " f_t TEXT, f_u DOUBLE PRECISION, f_k DOUBLE PRECISION, f_g DOUBLE PRECISION,"
                       " f_s DOUBLE PRECISION, f_p1 DOUBLE PRECISION, f_p2 DOUBLE PRECISION,"
                       " f_p3 DOUBLE PRECISION, f_p4 DOUBLE PRECISION, f_p5 DOUBLE PRECISION,"
                       " f_p6 DOUBLE PRECISION, f_p7 DOUBLE PRECISION,"
                       " site_object TEXT, site_section TEXT, site_layer TEXT,"
                       " site_chainage DOUBLE PRECISION, site_offset DOUBLE PRECISION,"
                       " site_operator TEXT, site_note TEXT,"
                       " added_at TEXT NOT NULL,"
                       " changed_at TEXT)")
            .arg(id),
        QStringLiteral("CREATE INDEX tests_by_day ON tests (kind, test_day, f_time)"),
        // An instrument's tests of one kind in date and time order, straight from the index.
        QStringLiteral("CREATE INDEX tests_by_serial ON tests (f_serial, kind, test_day, f_time)"),
        QStringLiteral("CREATE INDEX tests_by_site ON tests (site_object, site_section, site_layer)"),
        // A test in a table: which record, its number N there (renumbering changes it, not
        // the test), and whether the table still held it when last added.
        QStringLiteral("CREATE TABLE placements ("
                       " source_id BIGINT NOT NULL REFERENCES sources (id),"
                       " test_id BIGINT NOT NULL REFERENCES tests (id),"
                       " record INTEGER NOT NULL,"
                       " n DOUBLE PRECISION,"
                       " added_at TEXT NOT NULL,"
                       " present INTEGER NOT NULL,"
                       " gone_at TEXT,"
                       " PRIMARY KEY (source_id, test_id))%1")
            .arg(keyedTableSuffix(dialect)),
        QStringLiteral("CREATE INDEX placements_by_test ON placements (test_id)"),
        QStringLiteral("CREATE TABLE changes ("
                       " id %1,"
                       " test_id BIGINT NOT NULL REFERENCES tests (id),"
                       " field TEXT NOT NULL,"
                       " old_value TEXT,"
                       " new_value TEXT,"
                       " changed_at TEXT NOT NULL,"
                       " source TEXT NOT NULL,"
                       " user_name TEXT)")
            .arg(id),
        QStringLiteral("CREATE INDEX changes_by_test ON changes (test_id)"),
    };
}

bool hasTable(QSqlDatabase& db, const QString& name)
{
    return db.tables(QSql::Tables).contains(name, Qt::CaseInsensitive);
}

} // namespace

QStringList migrationStatements(int version, Dialect dialect)
{
    switch (version) {
    case 1:
        return version1(dialect);
    default:
        return {};
    }
}

int schemaVersion(QSqlDatabase& db, const QString& location)
{
    if (!hasTable(db, QStringLiteral("archive_schema"))) {
        // Somebody else's database is never turned into an archive.
        if (!db.tables(QSql::Tables).isEmpty())
            throw ArchiveError(ArchiveError::Code::NotArchive,
                               QStringLiteral("Файл «%1» — не архив испытаний, или он повреждён.")
                                   .arg(location)
                                   .toStdString());
        return 0;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM archive_schema")))
        fail(query.lastError(), location, dialectOf(db));
    if (!query.next())
        throw ArchiveError(ArchiveError::Code::NotArchive,
                           QStringLiteral("Файл «%1» — не архив испытаний, или он повреждён.").arg(location).toStdString());
    return query.value(0).toInt();
}

int migrate(QSqlDatabase& db, const QString& location, int upTo)
{
    const Dialect dialect = dialectOf(db);
    int version = schemaVersion(db, location);
    if (version > kSchemaVersion)
        throw ArchiveError(ArchiveError::Code::NewerSchema,
                           QStringLiteral("Архив «%1» записан более новой версией программы (схема %2, эта версия "
                                          "знает схемы до %3). Обновите программу, чтобы работать с ним.")
                               .arg(location)
                               .arg(version)
                               .arg(kSchemaVersion)
                               .toStdString());
    while (version < upTo) {
        const int next = version + 1;
        execute(db, beginWriting(dialect));
        try {
            // Another program may have migrated it while we waited for the write lock.
            const int now = schemaVersion(db, location);
            if (now >= next) {
                execute(db, QStringLiteral("ROLLBACK"));
                version = now;
                continue;
            }
            for (const QString& statement : migrationStatements(next, dialect))
                execute(db, statement);
            execute(db, QStringLiteral("UPDATE archive_schema SET version = %1").arg(next));
            execute(db, QStringLiteral("COMMIT"));
        } catch (...) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
        version = next;
    }
    return version;
}

} // namespace archive
