#pragma once

#include "store/measurement_table.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace store {

// A cursor of its own over the rows of a measurement table's view, as the view stands when
// the cursor is made. Walking it reads the records by number and never moves the table's
// cursor, which is the row the user has in the grid.
class RowCursor {
public:
    // The rows as the view shows them (the tab's sort), or in file order (what an export
    // writes, whatever the user sorted by).
    enum class Order { View, File };

    explicit RowCursor(const MeasurementTable& table, Order order = Order::View)
        : m_table(table), m_rows(rowsOf(table, order))
    {
    }

    int count() const noexcept { return static_cast<int>(m_rows.size()); }
    int position() const noexcept { return m_position; }
    bool atEnd() const noexcept { return m_position >= count(); }
    void first() noexcept { m_position = 0; }
    void next() noexcept { ++m_position; }
    void moveTo(int position) noexcept { m_position = position; }
    std::uint32_t record() const { return m_rows.at(static_cast<std::size_t>(m_position)); }

    // The fields of the row under the cursor, as the file holds them.
    QString text(Field f) const { return m_table.table().text(record(), m_table.column(f)); }
    std::optional<double> real(Field f) const { return m_table.table().real(record(), m_table.column(f)); }

private:
    static std::vector<std::uint32_t> rowsOf(const MeasurementTable& table, Order order)
    {
        if (!table.isActive())
            return {};
        return order == Order::File ? table.table().viewInFileOrder() : table.table().view();
    }

    const MeasurementTable& m_table;
    std::vector<std::uint32_t> m_rows;
    int m_position = 0;
};

} // namespace store
