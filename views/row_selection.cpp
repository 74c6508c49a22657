#include "views/row_selection.h"

namespace views {

bool RowSelection::add(std::uint32_t record, const std::function<Values()>& capture)
{
    if (contains(record))
        return false;
    m_rows.emplace(record, capture ? capture() : Values{});
    return true;
}

bool RowSelection::clear()
{
    const bool had = !m_rows.empty();
    m_rows.clear();
    return had;
}

bool RowSelection::retain(const std::function<bool(std::uint32_t)>& inView)
{
    bool dropped = false;
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (inView(it->first)) {
            ++it;
        } else {
            it = m_rows.erase(it);
            dropped = true;
        }
    }
    return dropped;
}

} // namespace views
