// The archive's schema: made on first use, migrated step by step from the first version, and
// a database it does not know left alone.

#include "archive_test_support.h"

#include "archive/archive_error.h"
#include "archive/schema.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

namespace archive::test {
namespace {

using store::test::StoreTest;

// An SQLite connection of the test's own to `file`, for what the archive would never do.
class RawDatabase {
public:
    explicit RawDatabase(const QString& file)
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        m_db.setDatabaseName(file);
        m_db.open();
    }
    ~RawDatabase()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }
    bool run(const QString& sql) { return QSqlQuery(m_db).exec(sql); }
    QSqlDatabase& db() { return m_db; }

private:
    QSqlDatabase m_db;
};

// The schema as the database describes it: every table's columns, in order.
QStringList describe(QSqlDatabase& db)
{
    QStringList out;
    QStringList tables = db.tables(QSql::Tables);
    tables.sort();
    for (const QString& table : tables) {
        const QSqlRecord record = db.record(table);
        QStringList columns;
        for (int i = 0; i < record.count(); ++i)
            columns << record.fieldName(i);
        out << table + QStringLiteral(": ") + columns.join(QLatin1Char(','));
    }
    QSqlQuery indexes(db);
    indexes.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND name NOT LIKE 'sqlite_%' "
                                "ORDER BY name"));
    while (indexes.next())
        out << QStringLiteral("index ") + indexes.value(0).toString();
    return out;
}

using Schema = StoreTest;

TEST_F(Schema, IsMadeOnFirstUseInTheUsersDataFolder)
{
    const QString location = Archive::defaultLocation();
#ifndef _WIN32
    // The tests' own data folder (archive_test_main.cpp), never the user's. (Under Wine it is
    // the test prefix's own user.)
    ASSERT_TRUE(location.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
#endif
    EXPECT_TRUE(location.endsWith(QStringLiteral("/Valdrenor/KVEL/archive.sqlite")));
    {
        Archive archive(location);
        EXPECT_EQ(count(archive, QStringLiteral("SELECT version FROM archive_schema")), kSchemaVersion);
        EXPECT_EQ(archive.testCount(), 0);
    }
    EXPECT_TRUE(QFile::exists(location));
    QFile::remove(location);
}

TEST_F(Schema, MigratesFromEveryVersionToTheSameSchemaKeepingTheTests)
{
    const QString table = path(QStringLiteral("t.db"));
    store::test::createTable(table, {penetrometerRow(1, QStringLiteral("10:00"))});
    QStringList direct;
    {
        Archive archive(path(QStringLiteral("direct.sqlite")));
        direct = describe(archive.database());
    }
    for (int from = 1; from <= kSchemaVersion; ++from) {
        const QString file = path(QStringLiteral("from%1.sqlite").arg(from));
        {
            RawDatabase raw(file);
            ASSERT_EQ(migrate(raw.db(), file, from), from);
            // A test added by the program of that version.
            if (from == 1) {
                ASSERT_TRUE(raw.run(QStringLiteral("INSERT INTO tests (identity, kind, f_comment, added_at) "
                                                   "VALUES ('x', 0, 'старое', '2026-01-01T00:00:00Z')")));
            }
        }
        Archive archive(file);
        EXPECT_EQ(count(archive, QStringLiteral("SELECT version FROM archive_schema")), kSchemaVersion) << from;
        EXPECT_EQ(describe(archive.database()), direct) << "from version " << from;
        EXPECT_EQ(scalar(archive, QStringLiteral("SELECT f_comment FROM tests WHERE identity = 'x'")).toString(),
                  QStringLiteral("старое"));
    }
}

TEST_F(Schema, ANewerArchiveIsRefusedAndLeftAsItIs)
{
    const QString file = path(QStringLiteral("newer.sqlite"));
    {
        Archive archive(file);
    }
    {
        RawDatabase raw(file);
        ASSERT_TRUE(raw.run(QStringLiteral("UPDATE archive_schema SET version = %1").arg(kSchemaVersion + 1)));
        ASSERT_TRUE(raw.run(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    }
    const std::string before = store::test::readBytes(file);
    try {
        Archive archive(file);
        FAIL() << "a newer archive was opened";
    } catch (const ArchiveError& error) {
        EXPECT_EQ(error.code(), ArchiveError::Code::NewerSchema);
        EXPECT_NE(std::string(error.what()).find("более новой версией программы"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(store::test::readBytes(file) == before) << "the file changed";
}

TEST_F(Schema, SomebodyElsesDatabaseIsNoArchive)
{
    const QString file = path(QStringLiteral("other.sqlite"));
    {
        RawDatabase raw(file);
        ASSERT_TRUE(raw.run(QStringLiteral("CREATE TABLE accounts (id INTEGER)")));
    }
    const std::string before = store::test::readBytes(file);
    for (const QString& name : {file, path(QStringLiteral("t.db"))}) {
        if (name.endsWith(QLatin1String(".db")))
            store::test::createTable(name, {penetrometerRow(1, QStringLiteral("10:00"))});
        try {
            Archive archive(name);
            FAIL() << "opened " << name.toStdString();
        } catch (const ArchiveError& error) {
            EXPECT_EQ(error.code(), ArchiveError::Code::NotArchive) << error.what();
            EXPECT_NE(std::string(error.what()).find("не архив испытаний"), std::string::npos) << error.what();
        }
    }
    EXPECT_TRUE(store::test::readBytes(file) == before) << "the file changed";
}

} // namespace
} // namespace archive::test
