#include "xls/xls_worksheet.h"

#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace xls {
namespace {

using detail::CellEntry;

bool overlaps(const CellEntry& e, std::int32_t left, std::int32_t top, std::int32_t right,
              std::int32_t bottom) noexcept
{
    return e.left() <= right && left <= e.right() && e.top <= bottom && top <= e.bottom();
}

// The values a plain cell can hold: anything else gets a range.
bool plainValue(const XlsValue& value) noexcept
{
    return value.type() == XlsValue::Type::Double || value.isText();
}

} // namespace

XlsValue XlsCell::value() const
{
    switch (m_entry->kind()) {
    case CellEntry::Kind::Number:
        return XlsValue::real(m_entry->number);
    case CellEntry::Kind::Text: {
        const std::u16string_view text = plainText();
        return XlsValue::text(QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size())));
    }
    case CellEntry::Kind::Range:
        break;
    }
    return m_entry->range->value();
}

XlsWorksheet::XlsWorksheet(XlsWorkbook* workbook, const QString& name) : m_workbook(workbook)
{
    setName(name);
}

XlsWorksheet::~XlsWorksheet()
{
    if (m_rangeCount == 0)
        return;
    for (const CellEntry& e : m_cells)
        if (e.isRange())
            delete e.range;
}

int XlsWorksheet::index() const noexcept
{
    return m_workbook ? m_workbook->indexOf(this) : -1;
}

void XlsWorksheet::setName(const QString& name)
{
    m_name = trimmedName(name, kMaxNameLength);
}

// Searched from the end in growing steps, then by halves within the last step: cells are
// mostly set near the end of the list (the export sets a record's comment a few rows above
// its last cell), and there the search stays within the last few entries instead of
// crossing the whole list.
int XlsWorksheet::firstCellFrom(std::int64_t top) const noexcept
{
    const auto before = [top](const CellEntry& e) { return e.top < top; };
    std::size_t hi = m_cells.size(); // the answer is at most hi
    std::size_t step = 1;
    while (hi > 0 && !before(m_cells[hi - 1])) {
        const std::size_t lo = hi > step ? hi - step : 0;
        if (before(m_cells[lo])) {
            const auto it = std::partition_point(m_cells.begin() + lo + 1, m_cells.begin() + hi, before);
            return static_cast<int>(it - m_cells.begin());
        }
        hi = lo;
        step *= 2;
    }
    return static_cast<int>(hi);
}

XlsRange& XlsWorksheet::rangeAt(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_cells.size())
        throw std::out_of_range("XlsWorksheet::rangeAt: no entry " + std::to_string(index));
    return asRange(m_cells[static_cast<std::size_t>(index)]);
}

// The range of an entry; a plain cell becomes one, with its value, in its place.
XlsRange& XlsWorksheet::asRange(CellEntry& entry) const
{
    if (entry.isRange())
        return *entry.range;
    const XlsCell cell(entry, m_texts.data());
    const std::int32_t column = cell.left();
    auto range = std::make_unique<XlsRange>(const_cast<XlsWorksheet*>(this), column, entry.top, column, entry.top);
    range->m_value = cell.value(); // already stored as setValue would store it
    entry = CellEntry::ofRange(range.release());
    ++m_rangeCount;
    return *entry.range;
}

void XlsWorksheet::erase(std::size_t index) noexcept
{
    if (m_cells[index].isRange()) {
        delete m_cells[index].range;
        --m_rangeCount;
    }
    m_cells.erase(index);
}

void XlsWorksheet::checkBounds(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    if (left < 0 || top < 0 || right < left || bottom < top)
        throw XlsError(XlsError::Code::BadRange, "Неверные границы диапазона ячеек");
}

// Finds the entry with exactly these bounds and removes every other entry that overlaps
// them; otherwise finds where a new entry with this top row goes: after every entry whose
// top row is not below it.
XlsWorksheet::Place XlsWorksheet::makeRoom(std::int32_t left, std::int32_t top, std::int32_t right,
                                           std::int32_t bottom, bool& removed)
{
    // No entry that starts above `key` reaches down to row `top`.
    const std::int64_t key = std::int64_t{top} - m_maxRangeHeight + 1;
    const std::size_t pos = static_cast<std::size_t>(firstCellFrom(key));

    removed = false;
    std::optional<std::size_t> found;
    std::size_t ins = pos;
    // The entry at pos is looked at even when it starts below `bottom`: it can neither match
    // nor overlap then, so looking costs nothing.
    for (std::size_t i = pos; i < m_cells.size() && (i == pos || m_cells[i].top <= bottom);) {
        const CellEntry& e = m_cells[i];
        if (e.left() == left && e.top == top && e.right() == right && e.bottom() == bottom) {
            found = i;
        } else if (overlaps(e, left, top, right, bottom)) {
            erase(i);
            removed = true;
            continue; // the next entry has moved into i
        }
        ++i;
        if (ins < m_cells.size() && m_cells[ins].top <= top)
            ++ins;
    }
    if (found)
        return {*found, true};
    return {std::min(ins, m_cells.size()), false};
}

// The tallest height, the used area and the end of the list after a call for these bounds.
void XlsWorksheet::noteBounds(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                              bool removed)
{
    const std::int32_t height = bottom - top + 1;
    if (removed) {
        std::int32_t tallest = 1;
        for (const CellEntry& e : m_cells)
            if (e.isRange())
                tallest = std::max(tallest, e.range->bottom() - e.range->top() + 1);
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

    // Like the used area, the end only moves on: a cell after it is after every entry.
    if (bottom > m_endRow) {
        m_endRow = bottom;
        m_endColumn = right;
    } else if (bottom == m_endRow && right > m_endColumn) {
        m_endColumn = right;
    }
}

XlsRange& XlsWorksheet::range(std::int32_t left, std::int32_t top, std::int32_t right,
                               std::int32_t bottom)
{
    checkBounds(left, top, right, bottom);
    bool removed = false;
    const Place place = makeRoom(left, top, right, bottom, removed);
    XlsRange* result = nullptr;
    if (place.found) {
        result = &asRange(m_cells[place.index]);
    } else {
        auto range = std::make_unique<XlsRange>(this, left, top, right, bottom);
        m_cells.insert(place.index, CellEntry::ofRange(range.get()));
        result = range.release();
        ++m_rangeCount;
    }
    noteBounds(left, top, right, bottom, removed);
    return *result;
}

bool XlsWorksheet::comesAfterEverything(std::int32_t column, std::int32_t row) const noexcept
{
    return row > m_endRow || (row == m_endRow && column > m_endColumn);
}

// Adds a text to the store as setValue would keep it (CR LF as LF). False when the store
// cannot take it (its offsets are 32-bit).
bool XlsWorksheet::storeText(const QString& text, detail::TextSpan& span)
{
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const auto size = static_cast<std::size_t>(text.size());
    if (size > UINT32_MAX || m_texts.size() > UINT32_MAX - size)
        return false;
    span.offset = static_cast<std::uint32_t>(m_texts.size());
    const char16_t* end = units + size;
    const char16_t* cr = std::find(units, end, u'\r');
    m_texts.append(units, static_cast<std::size_t>(cr - units));
    for (const char16_t* p = cr; p != end; ++p)
        if (!(*p == u'\r' && p + 1 != end && p[1] == u'\n'))
            m_texts.push_back(*p);
    span.length = static_cast<std::uint32_t>(m_texts.size() - span.offset);
    return true;
}

void XlsWorksheet::setCell(std::int32_t column, std::int32_t row, const XlsValue& value)
{
    checkBounds(column, row, column, row);
    if (!plainValue(value) || column > CellEntry::kMaxPlainColumn) {
        range(column, row, column, row).setValue(value);
        return;
    }
    CellEntry entry = CellEntry::plainNumber(column, row, value.toDouble());
    if (value.isText()) {
        detail::TextSpan span{};
        if (!storeText(value.toText(), span)) {
            range(column, row, column, row).setValue(value);
            return;
        }
        entry = CellEntry::plainText(column, row, span);
    }

    if (comesAfterEverything(column, row)) {
        m_cells.push_back(entry);
        noteBounds(column, row, column, row, false);
        return;
    }
    bool removed = false;
    const Place place = makeRoom(column, row, column, row, removed);
    if (!place.found)
        m_cells.insert(place.index, entry);
    else if (m_cells[place.index].isRange())
        m_cells[place.index].range->setValue(value); // a range keeps its style
    else
        m_cells[place.index] = entry;
    noteBounds(column, row, column, row, removed);
}

void XlsWorksheet::setColumnWidth(std::int32_t column, int width)
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

const XlsColumnWidth* XlsWorksheet::columnWidth(std::int32_t column) const noexcept
{
    const auto it = std::lower_bound(m_columnWidths.begin(), m_columnWidths.end(), column,
                                     [](const XlsColumnWidth& w, std::int32_t c) { return w.Index < c; });
    return it != m_columnWidths.end() && it->Index == column ? &*it : nullptr;
}

void XlsWorksheet::setRowHeight(std::int32_t row, int height)
{
    if (row < 0)
        throw XlsError(XlsError::Code::BadRange, "Неверный номер строки");
    if (height < kMinRowHeight || height > kMaxRowHeight)
        throw XlsError(XlsError::Code::BadArgument, "Неверная высота строки");
    const auto it = std::lower_bound(m_rowHeights.begin(), m_rowHeights.end(), row,
                                     [](const XlsRowHeight& h, std::int32_t r) { return h.Index < r; });
    if (it != m_rowHeights.end() && it->Index == row)
        it->Height = height;
    else
        m_rowHeights.insert(it, XlsRowHeight{row, height});
}

const XlsRowHeight* XlsWorksheet::rowHeight(std::int32_t row) const noexcept
{
    const auto it = std::lower_bound(m_rowHeights.begin(), m_rowHeights.end(), row,
                                     [](const XlsRowHeight& h, std::int32_t r) { return h.Index < r; });
    return it != m_rowHeights.end() && it->Index == row ? &*it : nullptr;
}

void XlsWorksheet::setFrozenPanes(std::int32_t rows, std::int32_t columns)
{
    if (rows < 0 || columns < 0)
        throw XlsError(XlsError::Code::BadRange, "Неверное число закреплённых строк или столбцов");
    m_frozenRows = rows;
    m_frozenColumns = columns;
}

void XlsWorksheet::setPrintTitleRows(std::int32_t first, std::int32_t last)
{
    if (first < 0 || last < first)
        throw XlsError(XlsError::Code::BadRange, "Неверные строки заголовка страницы");
    m_printTitleRows = XlsRowSpan{first, last};
}

} // namespace xls
