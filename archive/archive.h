#pragma once

#include "archive/test_values.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace store {
class MeasurementTable;
}

namespace archive {

// Where a test was made. Every part is optional: an empty text, or no number.
struct Site {
    QString object;
    QString section;
    QString layer;
    std::optional<double> chainage; // metres along the road
    std::optional<double> offset;   // metres across it
    QString operatorName;
    QString note;
    bool operator==(const Site&) const = default;
};

// A change of the site of tests: the parts given are set (an empty text clears one), the
// others stay as they are.
struct SiteAssignment {
    std::optional<QString> object;
    std::optional<QString> section;
    std::optional<QString> layer;
    std::optional<QString> operatorName;
    std::optional<QString> note;
    bool setChainage = false;
    std::optional<double> chainage;
    bool setOffset = false;
    std::optional<double> offset;

    bool any() const
    {
        return object || section || layer || operatorName || note || setChainage || setOffset;
    }
};

// What adding a table did.
struct AddResult {
    int tests = 0;   // live rows read from the table
    int added = 0;   // tests the archive did not hold
    int updated = 0; // tests whose values (or site) changed
    int gone = 0;    // tests of this table that it no longer holds
};

// The archive of every test: a relational database (an SQLite file; the same schema and
// statements serve PostgreSQL). One object is one connection, for the thread that made it;
// a worker makes an object of its own.
class Archive {
public:
    // Opens the archive at `location`, an SQLite file: made, with its folder, when missing,
    // and brought to this program's schema. Throws ArchiveError (a newer schema, a file that
    // is no archive, no rights).
    explicit Archive(const QString& location);
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // The user's own archive: "archive.sqlite" in the program's folder of the user's data.
    static QString defaultLocation();

    const QString& location() const noexcept { return m_location; }
    QSqlDatabase& database() noexcept { return m_db; }

    // Adds the tests of a table, every live record whatever its view shows, in one
    // transaction: all or, when anything fails, nothing. `source` is the table's file (it
    // names the table in the archive); the table is only read. Given site parts are set on
    // every test of the table. A test whose values differ from the archive's takes the
    // table's, and the change log keeps the old ones; a test the table held when last added
    // and holds no more is marked as gone from it, never deleted. Throws ArchiveError.
    // `progress` hears of every record read (done, of total), the last time after the
    // last record and before the transaction is committed.
    using Progress = std::function<void(std::uint32_t done, std::uint32_t total)>;
    AddResult addTable(const store::MeasurementTable& table, const QString& source, const SiteAssignment& site = {},
                       const Progress& progress = {});
    // Opens the table file for reading only (StoreError when it cannot: damaged, locked) and
    // adds it.
    AddResult addTableFile(const QString& path, const SiteAssignment& site = {}, const Progress& progress = {});

    // Sets the site of tests (by id), one transaction, logging each change. `source` says who
    // changed it in the log.
    void assignSite(const std::vector<qint64>& ids, const SiteAssignment& site, const QString& source);

    // The number of tests the archive holds.
    qint64 testCount();

    // The user name the change log records: the system user's.
    static QString userName();
    // The time now, as the archive writes it (UTC, ISO 8601).
    static QString now();

private:
    QString m_location;
    QString m_connection;
    QSqlDatabase m_db;
};

// The table files among `paths`: files as they are, folders searched through with their
// subfolders for "*.db" (any case). In the order given, each folder's sorted by name.
// Names that are neither go to `missing`.
QStringList tableFiles(const QStringList& paths, QStringList* missing = nullptr);

// The absolute, cleaned name of a table file: how the archive names its source.
QString sourceName(const QString& path);

} // namespace archive
