// libFuzzer target: arbitrary bytes opened as a dBase table. Whatever opens must read, walk,
// filter, sort and take one posted row without crashing, and must still open afterwards.
// Build and run: see fuzz/CMakeLists.txt.

#include "store/measurement_table.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>

namespace {

using store::DbfTable;
using store::Field;
using store::isNumeric;
using store::MeasurementTable;
using store::StoreError;

// A finding that is no crash: report it the way libFuzzer reports a crash.
[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "fuzz_dbf_open: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what)
{
    if (!ok)
        broken(what);
}

// Runs one step; a refusal by the engine is an answer, not a finding.
template <typename F>
void attempt(F&& step)
{
    try {
        step();
    } catch (const StoreError&) {
    }
}

const QString& scratchPath()
{
    static const QString path = QString::fromStdString(
        (std::filesystem::temp_directory_path() / ("fuzz_dbf_open_" + std::to_string(::getpid()) + ".db")).string());
    return path;
}

void writeInput(const uint8_t* data, size_t size)
{
    std::ofstream out(scratchPath().toStdString(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The view's rows, first to eof, agree with recordCount and name no record twice.
void walkView(DbfTable& t)
{
    int steps = 0;
    std::set<std::uint32_t> seen;
    for (t.first(); !t.eof(); t.next()) {
        const auto rec = t.currentRecord();
        check(rec.has_value(), "a row inside the view has no record");
        check(seen.insert(*rec).second, "the view lists a record twice");
        check(!t.isDeleted(*rec), "a deleted record is in the view");
        for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) {
            (void)t.text(f);
            (void)t.real(f);
            (void)t.integer(f);
        }
        check(++steps <= t.recordCount(), "the walk runs past recordCount");
    }
    check(steps == t.recordCount(), "the walk ends before recordCount");
    for (t.last(); !t.bof(); t.prior())
        check(--steps >= 0, "the walk back runs past the first row");
}

// Under an ascending numeric tag the values never decrease, blanks first.
void checkAscending(DbfTable& t, int field)
{
    std::optional<double> previous;
    bool first = true;
    for (t.first(); !t.eof(); t.next()) {
        const auto v = t.real(field);
        if (!first)
            check(!v ? !previous : (!previous || *previous <= *v), "an ascending tag is out of order");
        previous = v;
        first = false;
    }
}

void exerciseTable(DbfTable& t)
{
    const auto& fields = t.fields();
    const int n = static_cast<int>(fields.size());
    for (std::uint32_t rec = 0; rec < t.physicalCount(); ++rec) {
        (void)t.isDeleted(rec);
        for (int f = 0; f < n; ++f) {
            (void)t.text(rec, f);
            (void)t.real(rec, f);
            (void)t.integer(rec, f);
            (void)t.isEmpty(rec, f);
        }
    }
    walkView(t);

    const std::string firstName = fields.front().name;
    for (const std::string& filter : {firstName + "=0", firstName + "='A'", firstName + "=", std::string()}) {
        attempt([&] {
            t.setFilter(filter);
            t.refresh();
            walkView(t);
        });
    }
    attempt([&] {
        t.setFilter("");
        t.refresh();
    });

    int numericField = -1;
    for (int f = 0; f < n && numericField < 0; ++f)
        if (isNumeric(fields[static_cast<std::size_t>(f)].type))
            numericField = f;
    attempt([&] {
        store::IndexTagDef up;
        up.name = "up";
        up.field = numericField >= 0 ? numericField : 0;
        up.key = numericField >= 0 ? store::SortKey::Number : store::SortKey::Text;
        t.addIndex(up);
        store::IndexTagDef down{"down", n - 1, true, store::SortKey::DayMonthYear, 0, store::SortKey::Text};
        t.addIndex(down);
        t.setIndexName("up");
        walkView(t);
        if (numericField >= 0)
            checkAscending(t, numericField);
    });

    // One appended row and one edit, posted through the active tag.
    const std::uint32_t before = t.physicalCount();
    bool appended = false;
    attempt([&] {
        t.append();
        for (int f = 0; f < n; ++f) {
            attempt([&] {
                if (isNumeric(fields[static_cast<std::size_t>(f)].type))
                    t.setReal(f, 1.5);
                else
                    t.setText(f, QStringLiteral("Ж"));
            });
        }
        t.post();
        appended = true;
    });
    if (appended)
        check(t.physicalCount() == before + 1, "a posted append did not add one record");
    attempt([&] {
        t.first();
        t.edit();
        t.setText(0, QStringLiteral("1"));
        t.post();
    });
    walkView(t);
    if (numericField >= 0 && t.indexName() == "up")
        checkAscending(t, numericField);
    // A save closes and opens the file again, keeping the filter, tags and row.
    attempt([&] {
        const std::string tag = t.indexName();
        t.reopen();
        check(t.indexName() == tag, "reopen lost the active tag");
        walkView(t);
        if (numericField >= 0 && tag == "up")
            checkAscending(t, numericField);
    });
    attempt([&] {
        t.setIndexName("down");
        walkView(t);
        t.last();
        t.deleteRecord();
        walkView(t);
        t.deleteIndex("up");
    });
}

void exerciseMeasurementTable()
{
    MeasurementTable m;
    try {
        m.open(scratchPath());
    } catch (const StoreError&) {
        return;
    }
    for (m.table().first(); !m.table().eof(); m.table().next())
        for (int f = 0; f < store::kFieldCount; ++f) {
            (void)m.text(static_cast<Field>(f));
            (void)m.real(static_cast<Field>(f));
            (void)m.integer(static_cast<Field>(f));
        }
    attempt([&] {
        m.addSortTag(store::kTab1, Field::DATE, true);
        m.addSortTag(store::kTab2, Field::P, false);
        m.table().setIndexName(store::kTab1);
        walkView(m.table());
        m.table().setIndexName(store::kTab2);
        checkAscending(m.table(), m.column(Field::P));
    });
    for (int kind : {store::kPenetrometerKind, store::kPressKind}) {
        attempt([&] {
            m.table().setFilter(store::kindFilter(kind));
            m.table().refresh();
            walkView(m.table());
        });
    }
    attempt([&] {
        m.table().append();
        m.setReal(Field::NB_TYPE, store::kPenetrometerKind);
        m.setText(Field::DATE, QStringLiteral("31.01.2005"));
        m.setReal(Field::P, 12.5);
        m.setText(Field::COMMENT, QStringLiteral("проба"));
        m.table().post();
        checkAscending(m.table(), m.column(Field::P));
        m.table().pack();
        walkView(m.table());
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    writeInput(data, size);
    std::optional<std::uint32_t> live;
    {
        DbfTable t;
        bool opened = false;
        try {
            t.open(scratchPath());
            opened = true;
        } catch (const StoreError&) {
        }
        if (opened) {
            exerciseTable(t);
            live = t.physicalCount();
        }
    }
    // What this engine wrote must open again, with the records it left.
    if (live) {
        DbfTable again;
        try {
            again.open(scratchPath());
        } catch (const StoreError& e) {
            std::fprintf(stderr, "reopen: %s\n", e.what());
            broken("a table written by the engine does not open again");
        }
        check(again.physicalCount() == *live, "the reopened table has another record count");
    }
    writeInput(data, size);
    exerciseMeasurementTable();
    return 0;
}
