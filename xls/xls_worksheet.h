#pragma once

#include "xls/xls_range.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace xls {

class XlsWorkbook;

// The print settings of a sheet. Margins are in inches, as the file keeps them.
struct XlsPageSetup {
    QString LeftHeader, CenterHeader, RightHeader;
    QString LeftFooter, CenterFooter, RightFooter;
    double LeftMargin = 2.0;
    double RightMargin = 2.0;
    double TopMargin = 2.5;
    double BottomMargin = 2.5;
    double HeaderMargin = 0.0;
    double FooterMargin = 0.0;
    std::uint8_t PaperSize = 9;
    int Zoom = 100; // percent
    int FitToPagesWide = 1;
    int FitToPagesTall = 1;
    int FirstPageNumber = 1;
    int Copies = 0;
    std::uint8_t Orientation = 0; // 0 portrait
    std::uint8_t Order = 0;
    bool BlackAndWhite = false;
    bool Draft = false;
    bool PrintNotes = false;
    bool PrintGridLines = false;
    bool PrintHeadings = false;
    bool CenterHorizontally = false;
    bool CenterVertically = false;
};

// The width of one column. Width is in 1/256 of the width of a digit ('0') in the Normal
// style's font (the workbook's first font), as the file stores it: 12 * 256 is a column twelve
// digits wide. 0 hides the column.
struct XlsColumnWidth {
    std::int32_t Index = 0;
    int Width = 0;
    bool operator==(const XlsColumnWidth&) const = default;
};

// Rows printed again at the top of every page, both ends included.
struct XlsRowSpan {
    std::int32_t First = 0;
    std::int32_t Last = 0;
    bool operator==(const XlsRowSpan&) const = default;
};

// A worksheet: ranges that never overlap, kept ordered by top row (ranges with the same top
// row in the order they were made), and the area they have used.
class XlsWorksheet {
public:
    XlsWorksheet(XlsWorkbook* workbook, const QString& name);
    ~XlsWorksheet();
    XlsWorksheet(const XlsWorksheet&) = delete;
    XlsWorksheet& operator=(const XlsWorksheet&) = delete;

    static constexpr int kMaxNameLength = 31;

    XlsWorkbook* Workbook() const noexcept { return m_workbook; }
    // The sheet's position in its workbook; -1 while it is in none.
    int Index() const noexcept;

    const QString& Name() const noexcept { return m_name; }
    // Keeps the first 31 characters, then drops blanks and control characters at both ends.
    void SetName(const QString& name);

    // The range with exactly these bounds, made (with the default value and style) when the
    // sheet has none. Ranges that overlap a new one are destroyed. Throws XlsError(BadRange)
    // for negative bounds or right < left or bottom < top.
    XlsRange& Ranges(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

    int RangeCount() const noexcept { return static_cast<int>(m_ranges.size()); }
    XlsRange& Range(int index) const { return *m_ranges.at(static_cast<std::size_t>(index)); }
    // The first index whose range has a top row of at least `top` (RangeCount() when none).
    // With MaxRangeHeight() this bounds the ranges that can reach a row without a full scan.
    int FirstRangeFrom(std::int64_t top) const noexcept;

    // The used area; all -1 while the sheet has never had a range. It never shrinks.
    std::int32_t UsedLeft() const noexcept { return m_usedLeft; }
    std::int32_t UsedTop() const noexcept { return m_usedTop; }
    std::int32_t UsedRight() const noexcept { return m_usedRight; }
    std::int32_t UsedBottom() const noexcept { return m_usedBottom; }
    // At least the height in rows of the tallest range (0 for a new sheet).
    std::int32_t MaxRangeHeight() const noexcept { return m_maxRangeHeight; }

    XlsPageSetup& PageSetup() noexcept { return m_pageSetup; }
    const XlsPageSetup& PageSetup() const noexcept { return m_pageSetup; }

    // Gives `column` its own width (see XlsColumnWidth for the unit), replacing one set
    // before. Columns without one keep the sheet's default width. Throws XlsError(BadRange)
    // for a negative column, XlsError(BadArgument) for a width outside 0..kMaxColumnWidth.
    void SetColumnWidth(std::int32_t column, int width);
    static constexpr int kMaxColumnWidth = 0xFFFF;
    // The widths set, one entry per column, ordered by column.
    const std::vector<XlsColumnWidth>& ColumnWidths() const noexcept { return m_columnWidths; }
    // The entry of that column, or nullptr when it has the default width.
    const XlsColumnWidth* ColumnWidth(std::int32_t column) const noexcept;

    // The rows repeated at the top of every printed page: rows first..last. Throws
    // XlsError(BadRange) for a negative first row or last < first.
    void SetPrintTitleRows(std::int32_t first, std::int32_t last);
    void ClearPrintTitleRows() noexcept { m_printTitleRows.reset(); }
    // The rows repeated on every page; none by default.
    const std::optional<XlsRowSpan>& PrintTitleRows() const noexcept { return m_printTitleRows; }

private:
    XlsWorkbook* m_workbook;
    QString m_name;
    XlsPageSetup m_pageSetup;
    std::vector<std::unique_ptr<XlsRange>> m_ranges; // the RangeList
    std::int32_t m_usedLeft = -1;
    std::int32_t m_usedTop = -1;
    std::int32_t m_usedRight = -1;
    std::int32_t m_usedBottom = -1;
    std::int32_t m_maxRangeHeight = 0;
    std::vector<XlsColumnWidth> m_columnWidths; // ordered by column
    std::optional<XlsRowSpan> m_printTitleRows;
};

} // namespace xls
