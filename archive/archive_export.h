#pragma once

#include "archive/archive.h"
#include "archive/test_filter.h"
#include "document/limits.h"
#include "export/export_file.h"
#include "export/extra_columns.h"

#include <QString>

#include <vector>

namespace archive {

// A test as the archive's views and exports show it: its values, its site and the table it
// is in (the latest it was added from that still holds it, else the latest).
struct ArchivedTest {
    qint64 id = 0;
    TestValues values;
    Site site;
    QString source;
};

// The tests the filter chooses, in date and time order (archive/test_filter.h).
std::vector<ArchivedTest> chosenTests(Archive& archive, const TestFilter& filter);

// Writes tests into a new measurement table at `path` (replacing a file there), one record
// each in their order: what the program's exports, reports and charts read. A value the
// table's field cannot hold (too wide, a character outside its code page) stays blank there.
void writeTestsTable(const std::vector<ArchivedTest>& tests, const QString& path);

// The export's columns after the table's own: "Объект", "Участок", "Слой", "ПК" (as text,
// "ПК 12+35,0"), "Смещение, м", "Оператор", "Таблица"; the values by record of a table
// written by writeTestsTable.
table_export::ExtraColumns siteColumns(const std::vector<ArchivedTest>& tests);

// The line a report prints under its title: the object, section, layer and operator that all
// the sites share, "Объект: М-4; участок: 2; слой: песок; оператор: Петров"; empty when they
// share none of them.
QString sharedSiteLine(const std::vector<Site>& sites);

// The sites the archive holds for records of a table (found by the tests' identity), in the
// order given; a test the archive does not hold has an empty site.
std::vector<Site> sitesOf(Archive& archive, const store::MeasurementTable& table,
                          const std::vector<std::uint32_t>& records);

// Exports the tests the filter chooses, in date and time order, into `out` with the table
// export's writers and the site columns after the table's. Returns how many. Throws
// ArchiveError, StoreError or XlsError.
int exportTests(Archive& archive, const TestFilter& filter, const QString& out, table_export::ExportFormat format,
                const document::Limits& limits);

} // namespace archive
