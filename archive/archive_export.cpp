#include "archive/archive_export.h"

#include "archive/archive_error.h"
#include "archive/chainage.h"
#include "archive/sql_statement.h"
#include "store/measurement_table.h"
#include "platform/file_io.h"
#include "platform/native_name.h"
#include "store/store_error.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace archive {

using store::Field;

namespace {

QString valueColumns()
{
    QStringList columns;
    for (int i = 0; i < store::kFieldCount; ++i)
        columns << QStringLiteral("t.") + fieldColumn(static_cast<Field>(i));
    return columns.join(QStringLiteral(", "));
}

} // namespace

std::vector<ArchivedTest> chosenTests(Archive& archive, const TestFilter& filter)
{
    QSqlDatabase& db = archive.database();
    const Dialect dialect = dialectOf(db);
    const SqlCondition condition = conditionOf(filter, dialect);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString sql = QStringLiteral(
                            "SELECT t.id, %1, t.site_object, t.site_section, t.site_layer, t.site_chainage, "
                            "t.site_offset, t.site_operator, t.site_note, "
                            "(SELECT s.path FROM placements p JOIN sources s ON s.id = p.source_id "
                            " WHERE p.test_id = t.id ORDER BY p.present DESC, p.added_at DESC, s.id DESC LIMIT 1) "
                            "FROM tests t WHERE %2 ORDER BY %3")
                            .arg(valueColumns(), condition.text, testOrder(dialect));
    if (!query.prepare(sql))
        fail(query.lastError(), archive.location(), dialect);
    for (std::size_t i = 0; i < condition.values.size(); ++i)
        query.bindValue(int(i), condition.values[i]);
    if (!query.exec())
        fail(query.lastError(), archive.location(), dialect);
    std::vector<ArchivedTest> out;
    while (query.next()) {
        ArchivedTest test;
        test.id = query.value(0).toLongLong();
        for (int i = 0; i < store::kFieldCount; ++i) {
            const QVariant v = query.value(1 + i);
            if (isTextField(static_cast<Field>(i)))
                test.values.texts[std::size_t(i)] = v.toString();
            else if (!v.isNull())
                test.values.numbers[std::size_t(i)] = v.toDouble();
        }
        const int s = 1 + store::kFieldCount;
        const auto number = [&](int column) {
            const QVariant v = query.value(column);
            return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
        };
        test.site.object = query.value(s).toString();
        test.site.section = query.value(s + 1).toString();
        test.site.layer = query.value(s + 2).toString();
        test.site.chainage = number(s + 3);
        test.site.offset = number(s + 4);
        test.site.operatorName = query.value(s + 5).toString();
        test.site.note = query.value(s + 6).toString();
        test.source = query.value(s + 7).toString();
        out.push_back(std::move(test));
    }
    if (query.lastError().isValid())
        fail(query.lastError(), archive.location(), dialect);
    return out;
}

void writeTestsTable(const std::vector<ArchivedTest>& tests, const QString& path)
{
    store::MeasurementTable::create(path);
    store::MeasurementTable table;
    table.open(path);
    store::DbfTable& t = table.table();
    t.beginBatch();
    for (const ArchivedTest& test : tests) {
        t.append();
        for (int i = 0; i < store::kFieldCount; ++i) {
            const auto f = static_cast<Field>(i);
            try {
                if (isTextField(f)) {
                    if (!test.values.texts[std::size_t(i)].isEmpty())
                        table.setText(f, test.values.texts[std::size_t(i)]);
                } else if (const auto v = test.values.numbers[std::size_t(i)]) {
                    table.setReal(f, *v);
                }
            } catch (const store::StoreError& error) {
                if (error.code() != store::StoreError::Code::ValueTooWide && error.code() != store::StoreError::Code::BadText)
                    throw;
            }
        }
        t.post();
    }
    t.endBatch();
}

table_export::ExtraColumns siteColumns(const std::vector<ArchivedTest>& tests)
{
    table_export::ExtraColumns extra;
    extra.headings = {QStringLiteral("Объект"),      QStringLiteral("Участок"),  QStringLiteral("Слой"),
                      QStringLiteral("ПК"),          QStringLiteral("Смещение, м"), QStringLiteral("Оператор"),
                      QStringLiteral("Таблица")};
    // By record: writeTestsTable writes test k as record k. Read only, from any thread.
    extra.values = [&tests](std::uint32_t record) {
        using Value = table_export::ExtraColumns::Value;
        std::vector<Value> out;
        if (record >= tests.size())
            return out;
        const ArchivedTest& test = tests[record];
        const auto text = [](const QString& s) { return s.isEmpty() ? Value() : Value(s); };
        out.push_back(text(test.site.object));
        out.push_back(text(test.site.section));
        out.push_back(text(test.site.layer));
        out.push_back(test.site.chainage ? Value(chainageText(*test.site.chainage)) : Value());
        out.push_back(test.site.offset ? Value(*test.site.offset) : Value());
        out.push_back(text(test.site.operatorName));
        out.push_back(text(QDir::toNativeSeparators(test.source)));
        return out;
    };
    return extra;
}

QString sharedSiteLine(const std::vector<Site>& sites)
{
    if (sites.empty())
        return {};
    QStringList parts;
    const auto shared = [&](QString Site::*part, const char* caption) {
        const QString& first = sites.front().*part;
        if (first.isEmpty())
            return;
        for (const Site& site : sites)
            if (site.*part != first)
                return;
        parts << QString::fromUtf8(caption) + QStringLiteral(": ") + first;
    };
    shared(&Site::object, "Объект");
    shared(&Site::section, "участок");
    shared(&Site::layer, "слой");
    shared(&Site::operatorName, "оператор");
    return parts.join(QStringLiteral("; "));
}

std::vector<Site> sitesOf(Archive& archive, const store::MeasurementTable& table,
                          const std::vector<std::uint32_t>& records)
{
    std::vector<Site> out(records.size());
    QHash<QByteArray, std::vector<std::size_t>> wanted;
    for (std::size_t i = 0; i < records.size(); ++i)
        wanted[identityOf(readRecord(table, records[i]))].push_back(i);
    QSqlDatabase& db = archive.database();
    const QList<QByteArray> keys = wanted.keys();
    constexpr qsizetype kBatch = 400;
    for (qsizetype from = 0; from < keys.size(); from += kBatch) {
        const qsizetype to = std::min(keys.size(), from + kBatch);
        QStringList marks;
        for (qsizetype i = from; i < to; ++i)
            marks << QStringLiteral("?");
        auto query = prepare(db,
                             QStringLiteral("SELECT identity, site_object, site_section, site_layer, site_chainage, "
                                            "site_offset, site_operator, site_note FROM tests WHERE identity IN (%1)")
                                 .arg(marks.join(QStringLiteral(", "))),
                             true);
        for (qsizetype i = from; i < to; ++i)
            query->bindText(int(i - from), keys[i]);
        while (query->step()) {
            Site site;
            site.object = QString::fromUtf8(query->text(1));
            site.section = QString::fromUtf8(query->text(2));
            site.layer = QString::fromUtf8(query->text(3));
            if (!query->isNull(4))
                site.chainage = query->real(4);
            if (!query->isNull(5))
                site.offset = query->real(5);
            site.operatorName = QString::fromUtf8(query->text(6));
            site.note = QString::fromUtf8(query->text(7));
            for (const std::size_t at : wanted.value(query->text(0)))
                out[at] = site;
        }
    }
    return out;
}

int exportTests(Archive& archive, const TestFilter& filter, const QString& out, table_export::ExportFormat format,
                const document::Limits& limits)
{
    // Never over the archive itself (its lock would only call it "open elsewhere").
    if (platform::sameFile(platform::nativeName(out), platform::nativeName(archive.location())))
        throw ArchiveError(ArchiveError::Code::Failed,
                           QStringLiteral("Нельзя записать в «%1»: это архив, из которого берутся испытания.")
                               .arg(QFileInfo(out).fileName())
                               .toStdString());
    const std::vector<ArchivedTest> tests = chosenTests(archive, filter);
    QTemporaryDir folder;
    if (!folder.isValid())
        throw store::StoreError(store::StoreError::Code::Io,
                                "Не удалось создать временную папку для экспорта: " + folder.errorString().toStdString());
    const QString table = folder.filePath(QStringLiteral("archive.db"));
    writeTestsTable(tests, table);
    store::MeasurementTable chosen;
    chosen.open(table);
    table_export::exportTable(chosen, out, format, limits, siteColumns(tests));
    return int(tests.size());
}

} // namespace archive
