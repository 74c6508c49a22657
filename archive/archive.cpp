#include "archive/archive.h"

#include "archive/archive_error.h"
#include "archive/schema.h"
#include "archive/sql_statement.h"

#include "store/measurement_table.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>

namespace archive {

using store::Field;

namespace {

// The fields whose values a table may change without making another test: everything but N
// (a placement's, not the test's) and the parts of the identity.
constexpr Field kValueFields[] = {Field::P, Field::R, Field::ZAV, Field::TYPE, Field::COMMENT, Field::H, Field::T,
                                  Field::U, Field::K, Field::G, Field::S, Field::P6, Field::P7};

// The parts of a site, in the order of the tests table's columns.
struct SitePart {
    const char* column;
    bool text;
};
constexpr SitePart kSiteParts[] = {
    {"site_object", true},  {"site_section", true},  {"site_layer", true}, {"site_chainage", false},
    {"site_offset", false}, {"site_operator", true}, {"site_note", true},
};
constexpr int kSitePartCount = int(std::size(kSiteParts));

// A value as the change log writes it: the text, or the number's shortest text; empty for
// none.
struct LoggedValue {
    QByteArray text;
    bool operator==(const LoggedValue&) const = default;
};

// The given parts of an assignment, by part index: what to set, as a logged value (numbers
// through numberText, so that equal numbers compare equal).
struct GivenPart {
    int part;
    QByteArray text;              // text parts
    std::optional<double> number; // number parts
    LoggedValue logged() const { return {kSiteParts[part].text ? text : (number ? numberText(*number) : QByteArray())}; }
};

std::vector<GivenPart> givenParts(const SiteAssignment& site)
{
    std::vector<GivenPart> out;
    const auto text = [&](int part, const std::optional<QString>& value) {
        if (value)
            out.push_back({part, value->trimmed().toUtf8(), std::nullopt});
    };
    text(0, site.object);
    text(1, site.section);
    text(2, site.layer);
    if (site.setChainage)
        out.push_back({3, {}, site.chainage});
    if (site.setOffset)
        out.push_back({4, {}, site.offset});
    text(5, site.operatorName);
    text(6, site.note);
    return out;
}

LoggedValue storedValue(const Statement& row, int column, bool text)
{
    if (row.isNull(column))
        return {};
    return {text ? row.text(column) : numberText(row.real(column))};
}

QString joined(const QStringList& parts)
{
    return parts.join(QStringLiteral(", "));
}

QString placeholders(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return joined(marks);
}

// One transaction on a connection: committed by commit(), rolled back when left otherwise.
class Transaction {
public:
    explicit Transaction(QSqlDatabase& db) : m_db(db) { execute(m_db, beginWriting(dialectOf(m_db))); }
    ~Transaction()
    {
        if (!m_done)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    }
    void commit()
    {
        execute(m_db, QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    QSqlDatabase& m_db;
    bool m_done = false;
};

// Writes the change log's lines.
class ChangeLog {
public:
    ChangeLog(QSqlDatabase& db, const QString& at, const QString& source)
        : m_insert(prepare(db,
                           QStringLiteral("INSERT INTO changes (test_id, field, old_value, new_value, changed_at, "
                                          "source, user_name) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                           true)),
          m_at(at.toUtf8()), m_source(source.toUtf8()), m_user(Archive::userName().toUtf8())
    {
    }
    void add(qint64 test, const QByteArray& field, const LoggedValue& old, const LoggedValue& now)
    {
        m_insert->reset();
        m_insert->bindInteger(0, test);
        m_insert->bindText(1, field);
        m_insert->bindText(2, old.text);
        m_insert->bindText(3, now.text);
        m_insert->bindText(4, m_at);
        m_insert->bindText(5, m_source);
        m_insert->bindText(6, m_user);
        m_insert->step();
    }

private:
    std::unique_ptr<Statement> m_insert;
    QByteArray m_at;
    QByteArray m_source;
    QByteArray m_user;
};

// Sets the given site parts of one test whose current site `old` holds (by part), logging
// each part that changes. Returns whether any did.
class SiteWriter {
public:
    SiteWriter(QSqlDatabase& db, const SiteAssignment& site, ChangeLog& log, const QString& at)
        : m_parts(givenParts(site)), m_log(log), m_at(at.toUtf8())
    {
        if (m_parts.empty())
            return;
        QStringList sets;
        for (const GivenPart& p : m_parts)
            sets << QStringLiteral("%1 = ?").arg(QLatin1String(kSiteParts[p.part].column));
        sets << QStringLiteral("changed_at = ?");
        m_update = prepare(db, QStringLiteral("UPDATE tests SET %1 WHERE id = ?").arg(joined(sets)), true);
    }
    bool any() const { return !m_parts.empty(); }
    const std::vector<GivenPart>& parts() const { return m_parts; }

    bool apply(qint64 test, const std::array<LoggedValue, kSitePartCount>& old)
    {
        bool changed = false;
        for (const GivenPart& p : m_parts)
            changed = changed || old[std::size_t(p.part)] != p.logged();
        if (!changed)
            return false;
        m_update->reset();
        int i = 0;
        for (const GivenPart& p : m_parts) {
            if (kSiteParts[p.part].text)
                m_update->bindText(i++, p.text);
            else
                m_update->bindReal(i++, p.number);
        }
        m_update->bindText(i++, m_at);
        m_update->bindInteger(i, test);
        m_update->step();
        for (const GivenPart& p : m_parts) {
            const LoggedValue now = p.logged();
            if (old[std::size_t(p.part)] != now)
                m_log.add(test, kSiteParts[p.part].column, old[std::size_t(p.part)], now);
        }
        return true;
    }

private:
    std::vector<GivenPart> m_parts;
    ChangeLog& m_log;
    QByteArray m_at;
    std::unique_ptr<Statement> m_update;
};

QString siteColumns()
{
    QStringList columns;
    for (const SitePart& p : kSiteParts)
        columns << QLatin1String(p.column);
    return joined(columns);
}

} // namespace

Archive::Archive(const QString& location) : m_location(location)
{
    static std::atomic<int> connections{0};
    m_connection = QStringLiteral("kvel-archive-%1").arg(++connections);
    const QFileInfo file(location);
    if (file.isDir())
        throw ArchiveError(ArchiveError::Code::Open,
                           QStringLiteral("«%1» — это папка, а не файл архива.").arg(location).toStdString());
    if (!file.exists())
        QDir().mkpath(file.absolutePath());
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!m_db.isValid()) {
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        throw ArchiveError(ArchiveError::Code::Open,
                           "Архив недоступен: в установке нет драйвера SQLite для Qt (libqt6sql6-sqlite).");
    }
    m_db.setDatabaseName(location);
    // A second program writing (the window and a command line on one archive) is waited for.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    try {
        if (!m_db.open())
            fail(m_db.lastError(), m_location);
        // Somebody else's database is refused before anything is written to it. A new one
        // gets larger pages than SQLite's default: fewer of them to split and write for the
        // same tests (the size is only taken before the first table exists).
        if (schemaVersion(m_db, m_location) == 0)
            execute(m_db, QStringLiteral("PRAGMA page_size=16384"));
        {
            // Readers and one writer at once; each commit reaches the disk. (The statement
            // is done with before anything is committed: SQLite commits under none.)
            QSqlQuery pragma(m_db);
            if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
                fail(pragma.lastError(), m_location);
        }
        execute(m_db, QStringLiteral("PRAGMA synchronous=FULL"));
        // Temporary results (what RETURNING hands back) stay in memory: in a file they cost
        // more than the inserts themselves.
        execute(m_db, QStringLiteral("PRAGMA temp_store=MEMORY"));
        execute(m_db, QStringLiteral("PRAGMA cache_size=-65536"));
        execute(m_db, QStringLiteral("PRAGMA foreign_keys=ON"));
        registerFunctions(m_db);
        migrate(m_db, m_location);
    } catch (const ArchiveError& error) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        // SQLite cannot open an archive whose folder it may not write (its journal lives
        // there): say what the user can do something about.
        const QFileInfo now(m_location);
        const QFileInfo folder(now.absolutePath());
        if (error.code() == ArchiveError::Code::Open && now.exists() && (!now.isWritable() || !folder.isWritable()))
            throw ArchiveError(ArchiveError::Code::ReadOnly,
                               QStringLiteral("В архив «%1» нельзя записать: файл архива или его папка "
                                              "открыты только для чтения.")
                                   .arg(m_location)
                                   .toStdString());
        throw;
    } catch (...) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        throw;
    }
}

Archive::~Archive()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

QString Archive::defaultLocation()
{
    // Where QStandardPaths::AppDataLocation puts the data of organisation "Valdrenor",
    // application "KVEL", whatever names the running program gave itself.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data + QStringLiteral("/Valdrenor/KVEL/archive.sqlite");
}

QString Archive::userName()
{
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME");
    return name;
}

QString Archive::now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

qint64 Archive::testCount()
{
    auto count = prepare(m_db, QStringLiteral("SELECT COUNT(*) FROM tests"), false);
    return count->step() ? count->integer(0) : 0;
}

AddResult Archive::addTable(const store::MeasurementTable& table, const QString& source, const SiteAssignment& site,
                            const Progress& progress)
{
    const QString at = now();
    const QByteArray atUtf8 = at.toUtf8();
    const QString name = sourceName(source);
    AddResult result;
    Transaction transaction(m_db);

    auto sourceRow = prepare(m_db,
                             QStringLiteral("INSERT INTO sources (path, first_added, last_added) VALUES (?, ?, ?) "
                                            "ON CONFLICT (path) DO UPDATE SET last_added = excluded.last_added "
                                            "RETURNING id"),
                             false);
    sourceRow->bindText(0, name.toUtf8());
    sourceRow->bindText(1, atUtf8);
    sourceRow->bindText(2, atUtf8);
    if (!sourceRow->step())
        throw ArchiveError(ArchiveError::Code::Failed, "Архив не вернул номер таблицы");
    const qint64 sourceId = sourceRow->integer(0);
    sourceRow.reset();

    // What the archive knew of this table when it was last added.
    struct Known {
        qint64 record;
        std::optional<double> n;
        bool present;
    };
    QHash<qint64, Known> known;
    {
        auto placements = prepare(m_db,
                                  QStringLiteral("SELECT test_id, record, n, present FROM placements WHERE source_id = ?"),
                                  true);
        placements->bindInteger(0, sourceId);
        while (placements->step())
            known.insert(placements->integer(0),
                         {placements->integer(1),
                          placements->isNull(2) ? std::nullopt : std::optional<double>(placements->real(2)),
                          placements->integer(3) != 0});
    }

    // The statements of the loop, prepared once.
    QStringList valueColumns;
    for (int i = 0; i < store::kFieldCount; ++i)
        valueColumns << fieldColumn(static_cast<Field>(i));
    const std::vector<GivenPart> parts = givenParts(site);
    QStringList insertColumns = {QStringLiteral("identity"), QStringLiteral("kind"), QStringLiteral("test_day")};
    insertColumns += valueColumns;
    for (const GivenPart& p : parts)
        insertColumns << QLatin1String(kSiteParts[p.part].column);
    insertColumns << QStringLiteral("added_at");
    auto insertTest = prepareInsert(m_db, QStringLiteral("INSERT INTO tests (%1) VALUES (%2) ON CONFLICT (identity) DO NOTHING")
                                              .arg(joined(insertColumns), placeholders(int(insertColumns.size()))));
    QStringList compared;
    for (Field f : kValueFields)
        compared << fieldColumn(f);
    auto findTest = prepare(m_db,
                            QStringLiteral("SELECT id, %1, %2 FROM tests WHERE identity = ?")
                                .arg(joined(compared), siteColumns()),
                            true);
    QStringList sets;
    for (const QString& c : compared)
        sets << c + QStringLiteral(" = ?");
    auto updateTest = prepare(m_db,
                              QStringLiteral("UPDATE tests SET %1, changed_at = ? WHERE id = ?").arg(joined(sets)),
                              true);
    auto insertPlacement = prepare(m_db,
                                   QStringLiteral("INSERT INTO placements (source_id, test_id, record, n, added_at, "
                                                  "present) VALUES (?, ?, ?, ?, ?, 1)"),
                                   true);
    auto updatePlacement = prepare(m_db,
                                   QStringLiteral("UPDATE placements SET record = ?, n = ?, present = 1, gone_at = NULL "
                                                  "WHERE source_id = ? AND test_id = ?"),
                                   true);
    ChangeLog log(m_db, at, name);
    SiteWriter siteWriter(m_db, site, log, at);

    const store::DbfTable& t = table.table();
    QSet<qint64> seen;
    seen.reserve(int(std::min<std::uint32_t>(t.physicalCount(), 1u << 24)));
    const std::uint32_t records = t.physicalCount();
    for (std::uint32_t record = 0; record < records; ++record) {
        if (progress)
            progress(record, records);
        if (t.isDeleted(record))
            continue;
        ++result.tests;
        const TestValues values = readRecord(table, record);
        const QByteArray identity = identityOf(values);

        insertTest->reset();
        int b = 0;
        insertTest->bindText(b++, identity);
        insertTest->bindInteger(b++, values.kind());
        insertTest->bindText(b++, isoDay(values.text(Field::DATE)).toUtf8());
        for (int i = 0; i < store::kFieldCount; ++i) {
            const auto f = static_cast<Field>(i);
            if (isTextField(f))
                insertTest->bindText(b++, values.text(f).toUtf8());
            else
                insertTest->bindReal(b++, values.number(f));
        }
        for (const GivenPart& p : parts) {
            if (kSiteParts[p.part].text)
                insertTest->bindText(b++, p.text);
            else
                insertTest->bindReal(b++, p.number);
        }
        insertTest->bindText(b, atUtf8);
        qint64 id = 0;
        insertTest->step();
        if (const std::optional<qint64> inserted = insertTest->insertedId()) {
            id = *inserted;
            ++result.added;
        } else {
            // The archive holds the test: take the table's values where they differ.
            findTest->reset();
            findTest->bindText(0, identity);
            if (!findTest->step())
                throw ArchiveError(ArchiveError::Code::Failed, "Архив не нашёл испытание, которое в нём есть");
            id = findTest->integer(0);
            bool changed = false;
            std::array<LoggedValue, std::size(kValueFields)> oldValues;
            std::array<LoggedValue, std::size(kValueFields)> newValues;
            for (std::size_t i = 0; i < std::size(kValueFields); ++i) {
                const Field f = kValueFields[i];
                oldValues[i] = storedValue(*findTest, int(1 + i), isTextField(f));
                newValues[i] = {isTextField(f) ? values.text(f).toUtf8()
                                               : (values.number(f) ? numberText(*values.number(f)) : QByteArray())};
                changed = changed || oldValues[i] != newValues[i];
            }
            std::array<LoggedValue, kSitePartCount> oldSite;
            for (int p = 0; p < kSitePartCount; ++p)
                oldSite[std::size_t(p)] = storedValue(*findTest, int(1 + std::size(kValueFields)) + p, kSiteParts[p].text);
            findTest->reset();
            if (changed) {
                updateTest->reset();
                int u = 0;
                for (const Field f : kValueFields) {
                    if (isTextField(f))
                        updateTest->bindText(u++, values.text(f).toUtf8());
                    else
                        updateTest->bindReal(u++, values.number(f));
                }
                updateTest->bindText(u++, atUtf8);
                updateTest->bindInteger(u, id);
                updateTest->step();
                for (std::size_t i = 0; i < std::size(kValueFields); ++i)
                    if (oldValues[i] != newValues[i])
                        log.add(id, store::fieldName(kValueFields[i]), oldValues[i], newValues[i]);
            }
            if (siteWriter.any() && siteWriter.apply(id, oldSite))
                changed = true;
            if (changed)
                ++result.updated;
        }

        // The same test twice in one table: its first record stands for it.
        if (seen.contains(id))
            continue;
        seen.insert(id);
        const std::optional<double> n = values.number(Field::N);
        const auto was = known.constFind(id);
        if (was == known.cend()) {
            insertPlacement->reset();
            insertPlacement->bindInteger(0, sourceId);
            insertPlacement->bindInteger(1, id);
            insertPlacement->bindInteger(2, record);
            insertPlacement->bindReal(3, n);
            insertPlacement->bindText(4, atUtf8);
            insertPlacement->step();
        } else if (was->record != qint64(record) || was->n != n || !was->present) {
            updatePlacement->reset();
            updatePlacement->bindInteger(0, record);
            updatePlacement->bindReal(1, n);
            updatePlacement->bindInteger(2, sourceId);
            updatePlacement->bindInteger(3, id);
            updatePlacement->step();
        }
    }

    // The tests the table held and holds no more: still in the archive, gone from the table.
    auto markGone = prepare(m_db,
                            QStringLiteral("UPDATE placements SET present = 0, gone_at = ? "
                                           "WHERE source_id = ? AND test_id = ?"),
                            true);
    for (auto it = known.cbegin(); it != known.cend(); ++it) {
        if (!it->present || seen.contains(it.key()))
            continue;
        markGone->reset();
        markGone->bindText(0, atUtf8);
        markGone->bindInteger(1, sourceId);
        markGone->bindInteger(2, it.key());
        markGone->step();
        ++result.gone;
    }
    if (progress)
        progress(records, records);
    // Statements go before the transaction ends: SQLite will not commit under a running one.
    insertTest.reset();
    findTest.reset();
    updateTest.reset();
    insertPlacement.reset();
    updatePlacement.reset();
    markGone.reset();
    transaction.commit();
    return result;
}

AddResult Archive::addTableFile(const QString& path, const SiteAssignment& site, const Progress& progress)
{
    store::MeasurementTable table;
    table.openForReading(path);
    return addTable(table, path, site, progress);
}

void Archive::assignSite(const std::vector<qint64>& ids, const SiteAssignment& site, const QString& source)
{
    if (!site.any() || ids.empty())
        return;
    const QString at = now();
    Transaction transaction(m_db);
    {
        ChangeLog log(m_db, at, source);
        SiteWriter writer(m_db, site, log, at);
        auto find = prepare(m_db, QStringLiteral("SELECT %1 FROM tests WHERE id = ?").arg(siteColumns()), true);
        for (const qint64 id : ids) {
            find->reset();
            find->bindInteger(0, id);
            if (!find->step())
                continue;
            std::array<LoggedValue, kSitePartCount> old;
            for (int p = 0; p < kSitePartCount; ++p)
                old[std::size_t(p)] = storedValue(*find, p, kSiteParts[p].text);
            find->reset();
            writer.apply(id, old);
        }
    }
    transaction.commit();
}

QStringList tableFiles(const QStringList& paths, QStringList* missing)
{
    QStringList out;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isFile()) {
            out << path;
            continue;
        }
        if (!info.isDir()) {
            if (missing)
                *missing << path;
            continue;
        }
        QStringList found;
        QDirIterator it(path, {QStringLiteral("*.db")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        std::sort(found.begin(), found.end());
        out += found;
    }
    return out;
}

QString sourceName(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace archive
