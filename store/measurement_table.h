#pragma once

#include "store/dbf_table.h"

#include <array>

namespace store {

// The fields of a measurement record, in file order.
enum class Field : int {
    N, DATE, TIME, DEV_TYPE, SERIAL, NB_TYPE, P, R, ZAV, TYPE, COMMENT, H, T, U, K, G, S,
    P1, P2, P3, P4, P5, P6, P7,
};
inline constexpr int kFieldCount = 24;
inline constexpr int kRecordLength = 465; // deletion flag included

// Record kinds (NB_TYPE).
inline constexpr int kPenetrometerKind = 0;
inline constexpr int kPressKind = 1;

// Sort tags of the two grid tabs.
inline constexpr char kTab1[] = "tab1";
inline constexpr char kTab2[] = "tab2";

const std::array<FieldDef, kFieldCount>& measurementFields();
const char* fieldName(Field f);
std::string kindFilter(int kind); // "NB_TYPE=0" / "NB_TYPE=1"

// The measurement table: a DbfTable that holds the 24 fields. Fields are addressed by the
// Field enum whatever their position in a file written by another program.
class MeasurementTable {
public:
    MeasurementTable() = default;

    // Creates (replacing) a table with exactly the 24 fields; the table is not opened.
    static void create(const QString& path);
    // Whether create could replace what lies at `path`; throws create's error when not.
    static void checkReplaceable(const QString& path) { DbfTable::checkReplaceable(path); }

    // Opens exclusively and checks that every field is present with a usable type
    // (MissingField otherwise). On any failure the table stays closed.
    void open(const QString& path);
    // The same for a reader that leaves the file as it is (DbfTable::openForReading).
    void openForReading(const QString& path);
    void close() noexcept { m_table.close(); }
    // Closes this table and takes the open table of `opened` in its place, as open() would
    // have opened it here.
    void adopt(MeasurementTable& opened)
    {
        m_table.adopt(opened.m_table);
        m_columns = opened.m_columns;
    }
    bool isActive() const noexcept { return m_table.isActive(); }

    DbfTable& table() noexcept { return m_table; }
    const DbfTable& table() const noexcept { return m_table; }
    int column(Field f) const noexcept { return m_columns[static_cast<int>(f)]; }

    // Typed accessors of the current row.
    QString text(Field f) const { return m_table.text(column(f)); }
    std::optional<double> real(Field f) const { return m_table.real(column(f)); }
    std::optional<std::int64_t> integer(Field f) const { return m_table.integer(column(f)); }
    void setText(Field f, const QString& v) { m_table.setText(column(f), v); }
    void setReal(Field f, double v) { m_table.setReal(column(f), v); }
    void setInteger(Field f, std::int64_t v) { m_table.setInteger(column(f), v); }

    // Builds the sort tag `tag` on a field: DATE as a calendar date then TIME, other text
    // fields as text, numeric fields as numbers.
    void addSortTag(const std::string& tag, Field f, bool descending);
    void addSortTag(const std::string& tag, int column, bool descending);

private:
    // Finds the 24 fields in the table just opened; closes it and throws when one is missing.
    void findColumns();

    DbfTable m_table;
    std::array<int, kFieldCount> m_columns{};
};

} // namespace store
