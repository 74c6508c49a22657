#include "store/measurement_table.h"

namespace store {

namespace {
FieldDef num(const char* name, int width, int decimals) { return {name, FieldType::Numeric, width, decimals}; }
FieldDef chr(const char* name, int width) { return {name, FieldType::Character, width, 0}; }
} // namespace

const std::array<FieldDef, kFieldCount>& measurementFields()
{
    static const std::array<FieldDef, kFieldCount> fields = {
        num("N", 18, 9),     chr("DATE", 10),     chr("TIME", 8),      num("DEV_TYPE", 4, 0),
        num("SERIAL", 18, 9), num("NB_TYPE", 4, 0), num("P", 18, 9),   num("R", 18, 9),
        chr("ZAV", 8),       chr("TYPE", 15),     chr("COMMENT", 100), num("H", 18, 9),
        chr("T", 50),        num("U", 18, 9),     num("K", 9, 0),      num("G", 4, 0),
        num("S", 18, 9),     num("P1", 18, 9),    num("P2", 18, 9),    num("P3", 18, 9),
        num("P4", 18, 9),    num("P5", 18, 9),    num("P6", 18, 9),    num("P7", 18, 9),
    };
    return fields;
}

const char* fieldName(Field f)
{
    return measurementFields()[static_cast<std::size_t>(f)].name.c_str();
}

std::string kindFilter(int kind)
{
    return "NB_TYPE=" + std::to_string(kind);
}

void MeasurementTable::create(const QString& path)
{
    const auto& f = measurementFields();
    DbfTable::create(path, std::vector<FieldDef>(f.begin(), f.end()));
}

void MeasurementTable::open(const QString& path)
{
    m_table.open(path);
    findColumns();
}

void MeasurementTable::openForReading(const QString& path)
{
    m_table.openForReading(path);
    findColumns();
}

void MeasurementTable::findColumns()
{
    try {
        const auto& wanted = measurementFields();
        for (int i = 0; i < kFieldCount; ++i) {
            const FieldDef& w = wanted[static_cast<std::size_t>(i)];
            const int col = m_table.fieldIndex(w.name);
            if (col < 0)
                throw StoreError(StoreError::Code::MissingField, "В таблице нет поля " + w.name);
            // Another program may have written numbers as F or with other widths; that still
            // reads and writes correctly. A text field where a number belongs does not.
            const FieldType have = m_table.fields()[static_cast<std::size_t>(col)].type;
            const bool wantNumber = w.type == FieldType::Numeric;
            const bool haveNumber = isNumeric(have);
            if (wantNumber != haveNumber || (!haveNumber && have != FieldType::Character))
                throw StoreError(StoreError::Code::MissingField, "Поле " + w.name + " неверного типа");
            m_columns[static_cast<std::size_t>(i)] = col;
        }
    } catch (...) {
        m_table.close();
        throw;
    }
}

void MeasurementTable::addSortTag(const std::string& tag, Field f, bool descending)
{
    addSortTag(tag, column(f), descending);
}

void MeasurementTable::addSortTag(const std::string& tag, int col, bool descending)
{
    IndexTagDef def;
    def.name = tag;
    def.field = col;
    def.descending = descending;
    const auto& fields = m_table.fields();
    if (col >= 0 && col < static_cast<int>(fields.size())) {
        const FieldType t = fields[static_cast<std::size_t>(col)].type;
        def.key = isNumeric(t) ? SortKey::Number : SortKey::Text;
        // Dates are day first: as text 31.01.2005 would follow 01.12.2005. Sort them as
        // calendar dates, and the tests of one day by their time.
        if (col == column(Field::DATE)) {
            def.key = SortKey::DayMonthYear;
            def.tieField = column(Field::TIME);
            def.tieKey = SortKey::Text;
        }
    }
    m_table.addIndex(def);
}

} // namespace store
