#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <variant>
#include <vector>

namespace table_export {

// Columns an export writes after the table's own, one value per record: the archive's site of
// each test, which no table field holds.
struct ExtraColumns {
    // A value: nothing (an empty cell), a text, or a number.
    using Value = std::variant<std::monostate, QString, double>;

    QStringList headings;
    // The values of a record (by physical number), one per heading. The CSV writer formats
    // blocks of records on several threads at once: this may be called from any of them.
    std::function<std::vector<Value>(std::uint32_t record)> values;

    int count() const { return int(headings.size()); }
};

} // namespace table_export
