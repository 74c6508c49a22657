#include "xls/xls_worksheet.h"

#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include <algorithm>

namespace xls {
namespace {

bool overlaps(const XlsRange& r, std::int32_t left, std::int32_t top, std::int32_t right,
              std::int32_t bottom) noexcept
{
    return r.Left() <= right && left <= r.Right() && r.Top() <= bottom && top <= r.Bottom();
}

} // namespace

XlsWorksheet::XlsWorksheet(XlsWorkbook* workbook, const QString& name) : m_workbook(workbook)
{
    SetName(name);
}

XlsWorksheet::~XlsWorksheet() = default;

int XlsWorksheet::Index() const noexcept
{
    return m_workbook ? m_workbook->IndexOf(this) : -1;
}

void XlsWorksheet::SetName(const QString& name)
{
    m_name = trimmedName(name, kMaxNameLength);
}

int XlsWorksheet::FirstRangeFrom(std::int64_t top) const noexcept
{
    const auto it = std::partition_point(m_ranges.begin(), m_ranges.end(),
                                         [top](const auto& r) { return r->Top() < top; });
    return static_cast<int>(it - m_ranges.begin());
}

XlsRange& XlsWorksheet::Ranges(std::int32_t left, std::int32_t top, std::int32_t right,
                               std::int32_t bottom)
{
    if (left < 0 || top < 0 || right < left || bottom < top)
        throw XlsError(XlsError::Code::BadRange, "Неверные границы диапазона ячеек");

    // No range that starts above `key` reaches down to row `top`.
    const std::int64_t key = std::int64_t{top} - m_maxRangeHeight + 1;
    std::size_t pos = static_cast<std::size_t>(FirstRangeFrom(key));

    XlsRange* result = nullptr;
    bool removed = false;
    std::size_t ins = pos;
    if (pos < m_ranges.size()) {
        // The range at pos is looked at even when it starts below `bottom`: it can neither
        // match nor overlap then, so looking costs nothing.
        for (std::size_t i = pos; i < m_ranges.size() && (i == pos || m_ranges[i]->Top() <= bottom);) {
            XlsRange& r = *m_ranges[i];
            if (r.Left() == left && r.Top() == top && r.Right() == right && r.Bottom() == bottom) {
                result = &r;
            } else if (overlaps(r, left, top, right, bottom)) {
                m_ranges.erase(m_ranges.begin() + static_cast<std::ptrdiff_t>(i));
                removed = true;
                continue; // the next range has moved into i
            }
            ++i;
            if (ins < m_ranges.size() && m_ranges[ins]->Top() <= top)
                ++ins;
        }
    }
    if (!result) {
        auto range = std::make_unique<XlsRange>(this, left, top, right, bottom);
        result = range.get();
        ins = std::min(ins, m_ranges.size());
        m_ranges.insert(m_ranges.begin() + static_cast<std::ptrdiff_t>(ins), std::move(range));
    }

    const std::int32_t height = bottom - top + 1;
    if (removed) {
        std::int32_t tallest = 1;
        for (const auto& r : m_ranges)
            tallest = std::max(tallest, r->Bottom() - r->Top() + 1);
        m_maxRangeHeight = tallest;
    } else if (height > m_maxRangeHeight) {
        m_maxRangeHeight = height;
    }

    // The used area grows on every call, also for an existing range; it never shrinks.
    if (m_usedLeft == -1 || m_usedLeft > left)
        m_usedLeft = left;
    if (m_usedTop == -1 || m_usedTop > top)
        m_usedTop = top;
    if (m_usedRight == -1 || m_usedRight < right)
        m_usedRight = right;
    if (m_usedBottom == -1 || m_usedBottom < bottom)
        m_usedBottom = bottom;
    return *result;
}

void XlsWorksheet::SetColumnWidth(std::int32_t column, int width)
{
    if (column < 0)
        throw XlsError(XlsError::Code::BadRange, "Неверный номер столбца");
    if (width < 0 || width > kMaxColumnWidth)
        throw XlsError(XlsError::Code::BadArgument, "Неверная ширина столбца");
    const auto it = std::lower_bound(m_columnWidths.begin(), m_columnWidths.end(), column,
                                     [](const XlsColumnWidth& w, std::int32_t c) { return w.Index < c; });
    if (it != m_columnWidths.end() && it->Index == column)
        it->Width = width;
    else
        m_columnWidths.insert(it, XlsColumnWidth{column, width});
}

const XlsColumnWidth* XlsWorksheet::ColumnWidth(std::int32_t column) const noexcept
{
    const auto it = std::lower_bound(m_columnWidths.begin(), m_columnWidths.end(), column,
                                     [](const XlsColumnWidth& w, std::int32_t c) { return w.Index < c; });
    return it != m_columnWidths.end() && it->Index == column ? &*it : nullptr;
}

void XlsWorksheet::SetPrintTitleRows(std::int32_t first, std::int32_t last)
{
    if (first < 0 || last < first)
        throw XlsError(XlsError::Code::BadRange, "Неверные строки заголовка страницы");
    m_printTitleRows = XlsRowSpan{first, last};
}

} // namespace xls
