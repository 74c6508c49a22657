#include "xls/biff_sheet.h"

#include "xls/biff_cells.h"
#include "xls/biff_globals.h"
#include "xls/xls_worksheet.h"

#include <algorithm>
#include <cmath>

namespace xls::biff {

namespace {

constexpr unsigned kUnicodeFlag = 1;
constexpr unsigned kWsBool = 0x04C1;        // show automatic page breaks, outline symbols
constexpr unsigned kWsBoolFitToPage = 0x0100; // print scaled to SETUP's page counts
constexpr unsigned kDefColWidth = 8;        // characters
constexpr unsigned kWindow2Flags = 0x04B6;  // grid lines, headings, zeros, outline, default colour
constexpr unsigned kWindow2Frozen = 0x0008;
constexpr unsigned kWindow2FrozenNoSplit = 0x0100; // unfreezing leaves no split behind
constexpr unsigned kWindow2Selected = 0x0200;
constexpr unsigned kGridLineColor = 64;     // the system window-text colour
constexpr double kDelta = 0.001;

// COLINFO option flags.
constexpr unsigned kColumnHidden = 0x0001;
constexpr unsigned kColumnWidthSet = 0x0002; // the width differs from DEFCOLWIDTH

// SETUP option flags.
constexpr unsigned kSetupLeftToRight = 0x0001;
constexpr unsigned kSetupPortrait = 0x0002;
constexpr unsigned kSetupBlackAndWhite = 0x0008;
constexpr unsigned kSetupDraft = 0x0010;
constexpr unsigned kSetupNotes = 0x0020;
constexpr unsigned kSetupUsePageNumber = 0x0080;

} // namespace

// INDEX of a sheet's row blocks.
std::string indexData(std::uint32_t firstRow, std::uint32_t lastRowPlus1,
                      std::span<const std::uint32_t> dbCellPositions)
{
    ByteBuffer b;
    b.u32(0);
    b.u32(firstRow);
    b.u32(lastRowPlus1);
    b.u32(0); // position of DEFCOLWIDTH: not used by readers, left 0
    for (std::uint32_t pos : dbCellPositions)
        b.u32(pos);
    return b.take();
}

// "&L…&C…&R…" from the three parts of a header or footer.
std::u16string headerFooterText(const QString& left, const QString& center, const QString& right)
{
    std::u16string text;
    if (!left.isEmpty())
        text += u"&L" + left.toStdU16String();
    if (!center.isEmpty())
        text += u"&C" + center.toStdU16String();
    if (!right.isEmpty())
        text += u"&R" + right.toStdU16String();
    return text;
}

// HEADER or FOOTER data; none for an empty text.
std::string headerFooterData(std::u16string_view text)
{
    if (text.empty())
        return {};
    text = text.substr(0, std::min(text.size(), kMaxTextUnits));
    ByteBuffer b;
    b.u16(static_cast<unsigned>(text.size()));
    b.u8(kUnicodeFlag);
    b.utf16(text);
    return b.take();
}

// SETUP of the sheet's print settings.
std::string setupData(const XlsPageSetup& setup)
{
    unsigned flags = 0;
    if (setup.Order == 1)
        flags |= kSetupLeftToRight;
    if (setup.Orientation == 0)
        flags |= kSetupPortrait;
    if (setup.BlackAndWhite)
        flags |= kSetupBlackAndWhite;
    if (setup.Draft)
        flags |= kSetupDraft;
    if (setup.PrintNotes)
        flags |= kSetupNotes;
    if (setup.FirstPageNumber != 1)
        flags |= kSetupUsePageNumber;
    ByteBuffer b;
    b.u16(setup.PaperSize);                             // offset 0
    b.u16(static_cast<unsigned>(setup.Zoom));           // 2
    b.u16(static_cast<unsigned>(setup.FirstPageNumber)); // 4
    b.u16(static_cast<unsigned>(setup.FitToPagesWide)); // 6
    b.u16(static_cast<unsigned>(setup.FitToPagesTall)); // 8
    b.u16(flags);                                       // 10
    b.u16(0);                                           // 12: horizontal resolution
    b.u16(0);                                           // 14: vertical resolution
    b.f64(setup.HeaderMargin);                          // 16
    b.f64(setup.FooterMargin);                          // 24
    b.u16(static_cast<unsigned>(setup.Copies));         // 32
    return b.take();
}

// WSBOOL of the sheet's print settings.
std::string wsBoolData(const XlsPageSetup& setup)
{
    return u16Data(kWsBool | (setup.FitToPages ? kWsBoolFitToPage : 0u));
}

// Column widths joined into runs of neighbouring columns of one width.
std::vector<ColumnRun> columnRuns(std::span<const XlsColumnWidth> widths)
{
    std::vector<ColumnRun> runs;
    for (const XlsColumnWidth& w : widths) {
        const auto column = static_cast<unsigned>(w.Index);
        const auto width = static_cast<unsigned>(w.Width);
        if (!runs.empty() && runs.back().lastColumn + 1 == column && runs.back().width == width)
            runs.back().lastColumn = column;
        else
            runs.push_back({column, column, width});
    }
    return runs;
}

// COLINFO of one run of columns.
std::string colInfoData(const ColumnRun& run)
{
    ByteBuffer b;
    b.u16(run.firstColumn);
    b.u16(run.lastColumn);
    b.u16(run.width);
    b.u16(kDefaultCellXf);
    b.u16(kColumnWidthSet | (run.width == 0 ? kColumnHidden : 0u));
    b.u16(0); // reserved
    return b.take();
}

// DIMENSIONS of the used area.
std::string dimensionsData(std::int32_t usedLeft, std::int32_t usedTop, std::int32_t usedRight,
                           std::int32_t usedBottom)
{
    ByteBuffer b;
    if (usedLeft < 0 || usedTop < 0 || usedRight < 0 || usedBottom < 0) {
        b.fill(14, 0);
        return b.take();
    }
    b.u32(static_cast<std::uint32_t>(usedTop));
    b.u32(static_cast<std::uint32_t>(usedBottom) + 1);
    b.u16(static_cast<unsigned>(usedLeft));
    b.u16(static_cast<unsigned>(usedRight) + 1);
    b.u16(0);
    return b.take();
}

// WINDOW2 of a sheet.
std::string window2Data(bool firstSheet, bool frozen)
{
    ByteBuffer b;
    b.u16(kWindow2Flags | (firstSheet ? kWindow2Selected : 0u) |
          (frozen ? kWindow2Frozen | kWindow2FrozenNoSplit : 0u));
    b.u16(0);              // top row shown
    b.u16(0);              // left column shown
    b.u32(kGridLineColor);
    b.u16(0);              // zoom in page-break preview: default
    b.u16(0);              // zoom in normal view: default
    b.u32(0);              // reserved
    return b.take();
}

unsigned activePane(unsigned rows, unsigned columns)
{
    if (rows > 0 && columns > 0)
        return pane::kBottomRight;
    if (rows > 0)
        return pane::kBottomLeft;
    if (columns > 0)
        return pane::kTopRight;
    return pane::kTopLeft;
}

// PANE of frozen rows and columns; with frozen panes x and y count columns and rows.
std::string paneData(unsigned rows, unsigned columns)
{
    ByteBuffer b;
    b.u16(columns); // x: columns left of the vertical split
    b.u16(rows);    // y: rows above the horizontal split
    b.u16(rows);    // first row shown in the lower panes
    b.u16(columns); // first column shown in the right panes
    b.u8(activePane(rows, columns));
    b.u8(0);        // reserved
    return b.take();
}

// SELECTION: one cell selected, the cursor in it.
std::string selectionData(unsigned paneNumber, unsigned row, unsigned column)
{
    ByteBuffer b;
    b.u8(paneNumber);
    b.u16(row);    // active row
    b.u16(column); // active column
    b.u16(0);      // active reference
    b.u16(1);      // reference count
    b.u16(row);    // first row
    b.u16(row);    // last row
    b.u8(column);  // first column
    b.u8(column);  // last column
    return b.take();
}

// MERGEDCELLS with up to 1024 ranges.
std::string mergedCellsData(std::span<const MergedRange> ranges)
{
    ByteBuffer b;
    b.u16(static_cast<unsigned>(ranges.size()));
    for (const MergedRange& m : ranges) {
        b.u16(m.firstRow);
        b.u16(m.lastRow);
        b.u16(m.firstColumn);
        b.u16(m.lastColumn);
    }
    return b.take();
}

namespace {

// MERGEDCELLS records for the ranges that span more than one cell.
void writeMergedCells(ByteBuffer& stream, std::span<const MergedRange> merged)
{
    while (!merged.empty()) {
        const std::size_t n = std::min(merged.size(), kMaxMergedPerRecord);
        writeRecord(stream, rec::kMergedCells, mergedCellsData(merged.first(n)));
        merged = merged.subspan(n);
    }
}

// WINDOW2, and PANE with a SELECTION per pane when the sheet freezes rows or columns: the
// top-left pane keeps A1, every other pane has its first cell selected, and the cursor is in
// the active pane, the one that scrolls both ways.
void writeWindow(ByteBuffer& stream, const XlsWorksheet& sheet, bool firstSheet)
{
    const bool frozen = sheet.hasFrozenPanes();
    writeRecord(stream, rec::kWindow2, window2Data(firstSheet, frozen));
    if (!frozen) {
        writeRecord(stream, rec::kSelection, selectionData());
        return;
    }
    const auto rows = static_cast<unsigned>(sheet.frozenRows());
    const auto columns = static_cast<unsigned>(sheet.frozenColumns());
    writeRecord(stream, rec::kPane, paneData(rows, columns));
    writeRecord(stream, rec::kSelection, selectionData(pane::kTopLeft, 0, 0));
    if (columns > 0)
        writeRecord(stream, rec::kSelection, selectionData(pane::kTopRight, 0, columns));
    if (rows > 0)
        writeRecord(stream, rec::kSelection, selectionData(pane::kBottomLeft, rows, 0));
    if (rows > 0 && columns > 0)
        writeRecord(stream, rec::kSelection, selectionData(pane::kBottomRight, rows, columns));
}

} // namespace

// The whole substream of one worksheet.
void writeSheet(ByteBuffer& stream, const XlsWorksheet& sheet, bool firstSheet,
                std::size_t globalsStart, SheetIndexes& indexes)
{
    const bool hasRows = sheet.usedTop() >= 0 && sheet.usedBottom() >= sheet.usedTop();
    const std::size_t blocks =
        hasRows ? static_cast<std::size_t>((sheet.usedBottom() - sheet.usedTop() + kRowsPerBlock) / kRowsPerBlock)
                : 0;
    const std::uint32_t firstRow = hasRows ? static_cast<std::uint32_t>(sheet.usedTop()) : 0;
    const std::uint32_t lastRowPlus1 = hasRows ? static_cast<std::uint32_t>(sheet.usedBottom()) + 1 : 0;
    const XlsPageSetup& ps = sheet.pageSetup();

    writeRecord(stream, rec::kBof, bofData(kBofWorksheet));
    const std::size_t indexPos = stream.size();
    std::vector<std::uint32_t> dbCells(blocks, 0);
    writeRecord(stream, rec::kIndex, indexData(firstRow, lastRowPlus1, dbCells));
    writeRecord(stream, rec::kCalcMode, u16Data(1));
    writeRecord(stream, rec::kCalcCount, u16Data(100));
    writeRecord(stream, rec::kRefMode, u16Data(1));
    writeRecord(stream, rec::kIteration, u16Data(0));
    ByteBuffer delta;
    delta.f64(kDelta);
    writeRecord(stream, rec::kDelta, delta.str());
    writeRecord(stream, rec::kSaveRecalc, u16Data(1));
    writeRecord(stream, rec::kPrintHeaders, u16Data(ps.PrintHeadings ? 1 : 0));
    writeRecord(stream, rec::kPrintGridLines, u16Data(ps.PrintGridLines ? 1 : 0));
    writeRecord(stream, rec::kGridSet, u16Data(1));
    writeRecord(stream, rec::kGuts, std::string(8, '\0'));
    ByteBuffer rowHeight;
    rowHeight.u16(0);
    rowHeight.u16(kDefaultRowHeight);
    writeRecord(stream, rec::kDefaultRowHeight, rowHeight.str());
    writeRecord(stream, rec::kWsBool, wsBoolData(ps));
    writeRecord(stream, rec::kHeader,
                headerFooterData(headerFooterText(ps.LeftHeader, ps.CenterHeader, ps.RightHeader)));
    writeRecord(stream, rec::kFooter,
                headerFooterData(headerFooterText(ps.LeftFooter, ps.CenterFooter, ps.RightFooter)));
    writeRecord(stream, rec::kHCenter, u16Data(ps.CenterHorizontally ? 1 : 0));
    writeRecord(stream, rec::kVCenter, u16Data(ps.CenterVertically ? 1 : 0));
    const std::pair<unsigned, double> margins[] = {
        {rec::kLeftMargin, ps.LeftMargin},
        {rec::kRightMargin, ps.RightMargin},
        {rec::kTopMargin, ps.TopMargin},
        {rec::kBottomMargin, ps.BottomMargin},
    };
    for (const auto& [number, inches] : margins) {
        ByteBuffer m;
        m.f64(inches);
        writeRecord(stream, number, m.str());
    }
    writeRecord(stream, rec::kSetup, setupData(ps));
    writeRecord(stream, rec::kDefColWidth, u16Data(kDefColWidth));
    for (const ColumnRun& run : columnRuns(sheet.columnWidths()))
        writeRecord(stream, rec::kColInfo, colInfoData(run));
    writeRecord(stream, rec::kDimensions, dimensionsData(sheet.usedLeft(), sheet.usedTop(),
                                                         sheet.usedRight(), sheet.usedBottom()));
    std::vector<MergedRange> merged;
    if (hasRows) {
        dbCells.clear();
        writeRowBlocks(stream, sheet, globalsStart, indexes, dbCells, merged);
        // INDEX again, now with the DBCELL positions; same size, same place.
        ByteBuffer index;
        writeRecord(index, rec::kIndex, indexData(firstRow, lastRowPlus1, dbCells));
        stream.overwrite(indexPos, index.str());
    }
    writeWindow(stream, sheet, firstSheet);
    writeMergedCells(stream, merged);
    writeRecord(stream, rec::kEof, {});
}

} // namespace xls::biff
