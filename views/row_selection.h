#pragma once

#include <QVariant>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace views {

// The rows a user picked in a grid, by physical record number, each with the values of the
// grid's bookmark fields as they were when the row entered the selection. Record numbers
// survive sorting and filtering, so the selection means the same records whatever order the
// view shows them in.
class RowSelection {
public:
    using Values = std::vector<QVariant>;

    bool contains(std::uint32_t record) const { return m_rows.count(record) != 0; }
    bool empty() const noexcept { return m_rows.empty(); }
    int size() const noexcept { return static_cast<int>(m_rows.size()); }

    // Adds a record with its values; a record already selected keeps the values it had.
    // Returns whether the record was new.
    bool add(std::uint32_t record, const std::function<Values()>& capture);
    bool remove(std::uint32_t record) { return m_rows.erase(record) != 0; }
    bool clear();

    // Drops the records for which `inView` is false (deleted, filtered out); true if any.
    bool retain(const std::function<bool(std::uint32_t)>& inView);

    const std::map<std::uint32_t, Values>& rows() const noexcept { return m_rows; }

private:
    std::map<std::uint32_t, Values> m_rows;
};

} // namespace views
