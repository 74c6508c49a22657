#include "export/column_fit.h"

#include "xls/text_metrics.h"
#include "xls/xls_worksheet.h"

#include <algorithm>
#include <cmath>

namespace table_export {
namespace {

namespace metrics = xls::text_metrics;

std::u16string_view viewOf(QStringView text) noexcept
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

// The narrowest line length at which `text` (bold) wraps onto at most two lines: the longer
// line of its best split at a blank; the whole text when it has no blank.
int twoLineRoom(QStringView text)
{
    int best = metrics::textAdvance(viewOf(text), true);
    for (qsizetype blank = text.indexOf(u' '); blank >= 0; blank = text.indexOf(u' ', blank + 1)) {
        const int first = metrics::textAdvance(viewOf(text.left(blank)), true);
        const int second = metrics::textAdvance(viewOf(text.mid(blank + 1)), true);
        best = std::min(best, std::max(first, second));
    }
    return best;
}

} // namespace

ColumnFit::ColumnFit(int columns)
    : m_headings(static_cast<std::size_t>(columns)), m_headingRoom(static_cast<std::size_t>(columns), 0),
      m_textRoom(static_cast<std::size_t>(columns), 0), m_numbers(static_cast<std::size_t>(columns))
{
}

void ColumnFit::heading(int column, const QString& text)
{
    m_headings.at(static_cast<std::size_t>(column)) = text;
    m_headingRoom.at(static_cast<std::size_t>(column)) = twoLineRoom(text);
}

void ColumnFit::noteUnusual(Numbers& n, double value) noexcept
{
    const double a = std::fabs(value);
    const int places = a < metrics::kMaxDecimalValue ? metrics::decimalPlaces(a) : -1;
    if (places < 0) {
        n.others = std::max(n.others, metrics::generalNumberAdvance(value));
        return;
    }
    n.places = std::max(n.places, places);
    n.any = true;
    n.largest = std::max(n.largest, a);
    n.negative = n.negative || value < 0;
}

void ColumnFit::text(int column, QStringView value) noexcept
{
    int& widest = m_textRoom[static_cast<std::size_t>(column)];
    widest = std::max(widest, metrics::textAdvance(viewOf(value), false));
}

int ColumnFit::advanceOf(const Numbers& n)
{
    const int decimals = n.any ? metrics::decimalAdvance(metrics::wholeDigits(n.largest), n.places, n.negative) : 0;
    return std::max(decimals, n.others);
}

int ColumnFit::room(int column) const
{
    const auto c = static_cast<std::size_t>(column);
    const int values = std::min(std::max(m_textRoom.at(c), advanceOf(m_numbers.at(c))),
                                kMaxValueDigits * metrics::kDigitAdvance);
    return std::max(m_headingRoom.at(c), values);
}

int ColumnFit::width(int column) const
{
    return metrics::columnWidthFor(room(column)) + kGap;
}

int ColumnFit::headingLines(int column) const
{
    const QString& text = m_headings.at(static_cast<std::size_t>(column));
    return metrics::wrappedLines(viewOf(text), true, metrics::textRoomIn(width(column)));
}

void ColumnFit::apply(xls::XlsWorksheet& sheet, int headingRow) const
{
    int lines = 1;
    for (int c = 0; c < static_cast<int>(m_headings.size()); ++c) {
        sheet.setColumnWidth(c, width(c));
        lines = std::max(lines, headingLines(c));
    }
    if (lines > 1)
        sheet.setRowHeight(headingRow, lines * xls::XlsWorksheet::kDefaultRowHeight);
}

} // namespace table_export
