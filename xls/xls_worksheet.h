#pragma once

#include "platform/pod_array.h"
#include "xls/xls_cell.h"
#include "xls/xls_range.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace xls {

class XlsWorkbook;

// The print settings of a sheet. Margins are in inches, as the file keeps them.
//
// The printed size follows Zoom, unless FitToPages is set: then the sheet is scaled down
// (never up) until it fits FitToPagesWide pages across and FitToPagesTall pages down, 0 meaning
// as many pages as it takes. "One page wide" is FitToPages with FitToPagesWide 1 and
// FitToPagesTall 0.
struct XlsPageSetup {
    static constexpr std::uint8_t kPortrait = 0;  // values of Orientation
    static constexpr std::uint8_t kLandscape = 1;

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
    bool FitToPages = false;      // scale to FitToPagesWide x FitToPagesTall instead of Zoom
    std::uint8_t Orientation = kPortrait;
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

// The height of one row, in twips (1/20 of a point), as the file stores it.
struct XlsRowHeight {
    std::int32_t Index = 0;
    int Height = 0;
    bool operator==(const XlsRowHeight&) const = default;
};

// Rows printed again at the top of every page, both ends included.
struct XlsRowSpan {
    std::int32_t First = 0;
    std::int32_t Last = 0;
    bool operator==(const XlsRowSpan&) const = default;
};

// A worksheet: ranges that never overlap, kept ordered by top row (ranges with the same top
// row in the order they were made), and the area they have used.
//
// The list holds plain cells too: a number or a text set with setCell, with the default style,
// is kept in 16 bytes instead of a range of its own, and stands in the list where its
// single-cell range would stand. Whoever asks for it as a range (range() with its bounds, or
// rangeAt with its index) gets a real range with its value from then on; a range made over it
// removes it like any other range it overlaps.
class XlsWorksheet {
public:
    XlsWorksheet(XlsWorkbook* workbook, const QString& name);
    ~XlsWorksheet();
    XlsWorksheet(const XlsWorksheet&) = delete;
    XlsWorksheet& operator=(const XlsWorksheet&) = delete;

    static constexpr int kMaxNameLength = 31;

    XlsWorkbook* workbook() const noexcept { return m_workbook; }
    // The sheet's position in its workbook; -1 while it is in none.
    int index() const noexcept;

    const QString& name() const noexcept { return m_name; }
    // Keeps the first 31 characters, then drops blanks and control characters at both ends.
    void setName(const QString& name);

    // The range with exactly these bounds, made (with the default value and style) when the
    // sheet has none. Ranges that overlap a new one are destroyed. Throws XlsError(BadRange)
    // for negative bounds or right < left or bottom < top.
    XlsRange& range(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

    // Sets the single cell (column, row) to `value`, with the same outcome as
    // range(column, row, column, row).setValue(value), except that a number (Type::Double)
    // or a text (Type::Text, Type::WideText) is kept as a plain cell unless the cell already
    // is a range. A cell that comes after every cell of the sheet, row by row and left to
    // right within a row, is simply appended: this is how the export fills a sheet. Throws
    // XlsError(BadRange) for a negative column or row.
    void setCell(std::int32_t column, std::int32_t row, const XlsValue& value);

    // The entries of the list: ranges and plain cells.
    int cellCount() const noexcept { return static_cast<int>(m_cells.size()); }
    // The entry at `index` as a range; a plain cell becomes a range here, with its value and
    // the default style, in the same place of the list. Throws std::out_of_range for an index
    // outside 0..cellCount() - 1.
    XlsRange& rangeAt(int index) const;
    // The entry at `index` as it is, plain cell or range, for walking the whole list without
    // turning plain cells into ranges. The index must lie within 0..cellCount() - 1.
    XlsCell cellAt(int index) const noexcept
    {
        return XlsCell(m_cells[static_cast<std::size_t>(index)], m_texts.data());
    }
    // The first index whose range has a top row of at least `top` (cellCount() when none).
    // With maxRangeHeight() this bounds the ranges that can reach a row without a full scan.
    int firstCellFrom(std::int64_t top) const noexcept;

    // The used area; all -1 while the sheet has never had a range. It never shrinks.
    std::int32_t usedLeft() const noexcept { return m_usedLeft; }
    std::int32_t usedTop() const noexcept { return m_usedTop; }
    std::int32_t usedRight() const noexcept { return m_usedRight; }
    std::int32_t usedBottom() const noexcept { return m_usedBottom; }
    // At least the height in rows of the tallest range (0 for a new sheet).
    std::int32_t maxRangeHeight() const noexcept { return m_maxRangeHeight; }

    XlsPageSetup& pageSetup() noexcept { return m_pageSetup; }
    const XlsPageSetup& pageSetup() const noexcept { return m_pageSetup; }

    // Gives `column` its own width (see XlsColumnWidth for the unit), replacing one set
    // before. Columns without one keep the sheet's default width. Throws XlsError(BadRange)
    // for a negative column, XlsError(BadArgument) for a width outside 0..kMaxColumnWidth.
    void setColumnWidth(std::int32_t column, int width);
    static constexpr int kMaxColumnWidth = 0xFFFF;
    // The widths set, one entry per column, ordered by column.
    const std::vector<XlsColumnWidth>& columnWidths() const noexcept { return m_columnWidths; }
    // The entry of that column, or nullptr when it has the default width.
    const XlsColumnWidth* columnWidth(std::int32_t column) const noexcept;

    // Gives `row` its own height in twips, replacing one set before; the text of the row
    // does not change it any more (a heading whose text wraps onto two lines of Arial 10 wants
    // 2 * kDefaultRowHeight). Rows without one have kDefaultRowHeight, which fits one line of
    // the default font. The BIFF8 writer writes the heights of rows within the used area; a
    // row outside it has no ROW record. Throws XlsError(BadRange) for a negative row,
    // XlsError(BadArgument) for a height outside kMinRowHeight..kMaxRowHeight.
    void setRowHeight(std::int32_t row, int height);
    static constexpr int kDefaultRowHeight = 255; // 12.75 points
    static constexpr int kMinRowHeight = 2;
    static constexpr int kMaxRowHeight = 8192;
    // The heights set, one entry per row, ordered by row.
    const std::vector<XlsRowHeight>& rowHeights() const noexcept { return m_rowHeights; }
    // The entry of that row, or nullptr when it has the default height.
    const XlsRowHeight* rowHeight(std::int32_t row) const noexcept;

    // Freezes the window's panes: the first `rows` rows and the first `columns` columns stay
    // in view while the rest of the sheet scrolls (setFrozenPanes(1, 0) keeps a heading row
    // on screen). 0 and 0 unfreezes. Throws XlsError(BadRange) for a negative count.
    void setFrozenPanes(std::int32_t rows, std::int32_t columns);
    std::int32_t frozenRows() const noexcept { return m_frozenRows; }
    std::int32_t frozenColumns() const noexcept { return m_frozenColumns; }
    bool hasFrozenPanes() const noexcept { return m_frozenRows > 0 || m_frozenColumns > 0; }

    // The rows repeated at the top of every printed page: rows first..last. Throws
    // XlsError(BadRange) for a negative first row or last < first.
    void setPrintTitleRows(std::int32_t first, std::int32_t last);
    // The rows repeated on every page; none by default.
    const std::optional<XlsRowSpan>& printTitleRows() const noexcept { return m_printTitleRows; }

private:
    // Where a cell with given bounds goes: the entry with exactly those bounds (found), or
    // the index at which a new entry goes.
    struct Place {
        std::size_t index;
        bool found;
    };
    static void checkBounds(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    Place makeRoom(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, bool& removed);
    void noteBounds(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, bool removed);
    bool comesAfterEverything(std::int32_t column, std::int32_t row) const noexcept;
    bool storeText(const QString& text, detail::TextSpan& span);
    XlsRange& asRange(detail::CellEntry& entry) const;
    void erase(std::size_t index) noexcept;

    XlsWorkbook* m_workbook;
    QString m_name;
    XlsPageSetup m_pageSetup;
    // The RangeList, ranges and plain cells ordered as described above. Mutable because
    // range() turns a plain cell into a range; the ranges are owned here.
    mutable platform::PodArray<detail::CellEntry> m_cells;
    platform::PodArray<char16_t> m_texts; // the texts of plain cells, one after another
    mutable std::size_t m_rangeCount = 0; // entries of m_cells that are ranges
    // The last cell that any entry ever covered, row by row and left to right within a row
    // (-1 while there was none): a cell after it overlaps nothing and goes at the end.
    std::int32_t m_endRow = -1;
    std::int32_t m_endColumn = -1;
    std::int32_t m_usedLeft = -1;
    std::int32_t m_usedTop = -1;
    std::int32_t m_usedRight = -1;
    std::int32_t m_usedBottom = -1;
    std::int32_t m_maxRangeHeight = 0;
    std::vector<XlsColumnWidth> m_columnWidths; // ordered by column
    std::vector<XlsRowHeight> m_rowHeights;     // ordered by row
    std::int32_t m_frozenRows = 0;
    std::int32_t m_frozenColumns = 0;
    std::optional<XlsRowSpan> m_printTitleRows;
};

} // namespace xls
