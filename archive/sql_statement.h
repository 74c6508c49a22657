#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>

class QSqlError;

namespace archive {

// The databases the archive lives in. Where their SQL differs, sql_dialect.cpp says how, and
// nowhere else.
enum class Dialect { SQLite, PostgreSQL };

Dialect dialectOf(const QSqlDatabase& db);
// A column that the database numbers by itself: the id of a test, a source, a change.
QString idColumnType(Dialect dialect);
// `column` in one case for comparing texts whatever the case of their letters. SQLite's own
// LOWER knows only Latin letters: there it is the archive's function kvel_fold
// (registerFunctions).
QString foldedText(Dialect dialect, const QString& column);
// Gives an SQLite connection the archive's functions. Throws ArchiveError.
void registerFunctions(QSqlDatabase& db);
// What ends a CREATE TABLE whose primary key is all its lookups: SQLite then keeps the rows
// in that key's order, without a row id and an index of their own.
QString keyedTableSuffix(Dialect dialect);
// Opens a transaction that holds the right to write from its first statement, so that two
// writers wait for each other instead of failing halfway.
QString beginWriting(Dialect dialect);

// One prepared statement, run again and again with new values. Placeholders are "?", counted
// from 0 here. Its two makers: through the SQLite library itself on an SQLite connection (a
// bulk insert at the library's own speed), and through Qt SQL (every database).
class Statement {
public:
    virtual ~Statement() = default;
    virtual void bindNull(int index) = 0;
    virtual void bindReal(int index, double value) = 0;
    virtual void bindInteger(int index, qint64 value) = 0;
    virtual void bindText(int index, QByteArrayView utf8) = 0; // an empty text binds NULL
    // The first call after binding runs the statement; each call steps to the next row of
    // its result. False when there is none (and always for a statement without a result).
    virtual bool step() = 0;
    // Ready to be bound and run again.
    virtual void reset() = 0;
    virtual bool isNull(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual QByteArray text(int column) const = 0;
    // After a step of a statement made by prepareInsert: the id of the row it inserted, or
    // none when it inserted none (a conflict it was told to ignore).
    virtual std::optional<qint64> insertedId() const = 0;

    void bindReal(int index, const std::optional<double>& value)
    {
        if (value)
            bindReal(index, *value);
        else
            bindNull(index);
    }
};

// Prepares `sql` on `db`. With `direct` and an SQLite connection, through the SQLite library
// on the connection's own handle; otherwise through Qt SQL. Throws ArchiveError.
std::unique_ptr<Statement> prepare(QSqlDatabase& db, const QString& sql, bool direct);

// Prepares an INSERT (which may end in ON CONFLICT … DO NOTHING) whose new row's id
// insertedId() tells: through SQLite's own record of the last insert where the statement
// goes to SQLite directly (RETURNING there builds a temporary table for every row), through
// RETURNING `idColumn` elsewhere.
std::unique_ptr<Statement> prepareInsert(QSqlDatabase& db, const QString& insertSql,
                                         const QString& idColumn = QStringLiteral("id"));

// Runs one statement without a result (DDL, a transaction's BEGIN and COMMIT). Throws
// ArchiveError.
void execute(QSqlDatabase& db, const QString& sql);

// The ArchiveError for a refusal of the database, worded for the user; `location` names the
// archive in the message.
[[noreturn]] void fail(const QSqlError& error, const QString& location, Dialect dialect = Dialect::SQLite);
[[noreturn]] void failSqlite(int code, const QString& detail, const QString& location);

} // namespace archive
