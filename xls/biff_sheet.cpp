#include "xls/biff_sheet.h"

#include "xls/biff_globals.h"
#include "xls/cell_write_info.h"
#include "xls/xls_worksheet.h"

#include <algorithm>
#include <cmath>

namespace xls::biff {

namespace {

constexpr unsigned kUnicodeFlag = 1;
constexpr unsigned kDefaultRowHeight = 255; // twips
constexpr unsigned kWsBool = 0x04C1;        // show automatic page breaks, outline symbols
constexpr unsigned kDefColWidth = 8;        // characters
constexpr unsigned kWindow2Flags = 0x04B6;  // grid lines, headings, zeros, outline, default colour
constexpr unsigned kWindow2Selected = 0x0200;
constexpr unsigned kGridLineColor = 64;     // the system window-text colour
constexpr unsigned kPaneBottomRight = 3;
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

// ROW of one row in the used area.
std::string rowData(unsigned row, unsigned firstColumn, unsigned lastColumnPlus1)
{
    ByteBuffer b;
    b.u16(row);
    b.u16(firstColumn);
    b.u16(lastColumnPlus1);
    b.u16(kDefaultRowHeight);
    b.u16(0); // reserved
    b.u16(0); // reserved
    b.u16(0); // flags
    b.u16(0); // XF of the row: none
    return b.take();
}

// NUMBER cell.
std::string numberData(unsigned row, unsigned column, unsigned xf, double value)
{
    ByteBuffer b;
    b.u16(row);
    b.u16(column);
    b.u16(xf);
    b.f64(value == 0.0 ? 0.0 : value); // -0 reads as "-0" in some programs
    return b.take();
}

// LABELSST cell.
std::string labelSstData(unsigned row, unsigned column, unsigned xf, std::uint32_t sstIndex)
{
    ByteBuffer b;
    b.u16(row);
    b.u16(column);
    b.u16(xf);
    b.u32(sstIndex);
    return b.take();
}

// BLANK cell.
std::string blankData(unsigned row, unsigned column, unsigned xf)
{
    ByteBuffer b;
    b.u16(row);
    b.u16(column);
    b.u16(xf);
    return b.take();
}

// MULBLANK over columns firstColumn..lastColumn.
std::string mulBlankData(unsigned row, unsigned firstColumn, unsigned lastColumn, unsigned xf)
{
    ByteBuffer b;
    b.u16(row);
    b.u16(firstColumn);
    for (unsigned c = firstColumn; c <= lastColumn; ++c)
        b.u16(xf);
    b.u16(lastColumn);
    return b.take();
}

// DBCELL of one row block.
std::string dbCellData(std::uint32_t rowOffset, std::span<const std::uint16_t> cellOffsets)
{
    ByteBuffer b;
    b.u32(rowOffset);
    for (std::uint16_t off : cellOffsets)
        b.u16(off);
    return b.take();
}

// WINDOW2 of a sheet.
std::string window2Data(bool firstSheet)
{
    ByteBuffer b;
    b.u16(kWindow2Flags | (firstSheet ? kWindow2Selected : 0u));
    b.u16(0);              // top row shown
    b.u16(0);              // left column shown
    b.u32(kGridLineColor);
    b.u16(0);              // zoom in page-break preview: default
    b.u16(0);              // zoom in normal view: default
    b.u32(0);              // reserved
    return b.take();
}

// SELECTION: A1 selected.
std::string selectionData()
{
    ByteBuffer b;
    b.u8(kPaneBottomRight);
    b.u16(0); // active row
    b.u16(0); // active column
    b.u16(0); // active reference
    b.u16(1); // reference count
    b.u16(0); // first row
    b.u16(0); // last row
    b.u8(0);  // first column
    b.u8(0);  // last column
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

// Walks the rows of the used area in order and hands out the ranges covering each, sorted by
// left column. The range list is ordered by top row and no range is taller than
// MaxRangeHeight, so only ranges whose top lies within that many rows above are looked at,
// and the start of that window only moves forward: the walk is linear in the cells.
class RowCells {
public:
    explicit RowCells(const XlsWorksheet& sheet) : m_sheet(sheet) {}

    // The ranges covering row r; rows must be asked in increasing order.
    const std::vector<const XlsRange*>& at(std::int32_t r)
    {
        const std::int64_t key = std::int64_t{r} - m_sheet.MaxRangeHeight() + 1;
        const int n = m_sheet.RangeCount();
        while (m_first < n && m_sheet.Range(m_first).Top() < key)
            ++m_first;
        m_cells.clear();
        for (int i = m_first; i < n; ++i) {
            const XlsRange& range = m_sheet.Range(i);
            if (range.Top() > r)
                break;
            if (range.Bottom() >= r)
                m_cells.push_back(&range);
        }
        std::sort(m_cells.begin(), m_cells.end(),
                  [](const XlsRange* a, const XlsRange* b) { return a->Left() < b->Left(); });
        return m_cells;
    }

private:
    const XlsWorksheet& m_sheet;
    int m_first = 0;
    std::vector<const XlsRange*> m_cells;
};

// Appends the cell records of `range` in row r to a block's buffer.
void writeCells(ByteBuffer& block, const XlsRange& range, std::int32_t r)
{
    const CellWriteInfo& info = *range.WriteSlot;
    const auto row = static_cast<unsigned>(r);
    const auto xf = static_cast<unsigned>(info.xfIndex);
    auto next = static_cast<unsigned>(range.Left());
    if (r == range.Top()) {
        switch (range.CellKind()) {
        case XlsCellKind::Number:
            writeRecord(block, rec::kNumber, numberData(row, next, xf, range.Value().toDouble()));
            ++next;
            break;
        case XlsCellKind::Text:
            if (info.sstIndex >= 0) {
                writeRecord(block, rec::kLabelSst,
                            labelSstData(row, next, xf, static_cast<std::uint32_t>(info.sstIndex)));
                ++next;
            }
            break;
        }
    }
    const auto right = static_cast<unsigned>(range.Right());
    if (next < right)
        writeRecord(block, rec::kMulBlank, mulBlankData(row, next, right, xf));
    else if (next == right)
        writeRecord(block, rec::kBlank, blankData(row, next, xf));
}

// The row blocks: ROW records, the block's cell records, DBCELL; fills `dbCells` with the
// DBCELL positions counted from `globalsStart`.
void writeRowBlocks(ByteBuffer& stream, const XlsWorksheet& sheet, std::size_t globalsStart,
                    std::vector<std::uint32_t>& dbCells)
{
    RowCells rowCells(sheet);
    ByteBuffer block;
    std::vector<std::size_t> rowStarts; // where each row's cells begin in `block`
    std::size_t firstRowPos = 0;
    for (std::int32_t r = sheet.UsedTop(); r <= sheet.UsedBottom(); ++r) {
        const std::vector<const XlsRange*>& cells = rowCells.at(r);
        if (rowStarts.empty())
            firstRowPos = stream.size();
        const unsigned first = cells.empty() ? 0u : static_cast<unsigned>(cells.front()->Left());
        const unsigned last = cells.empty() ? 0u : static_cast<unsigned>(cells.back()->Right()) + 1;
        writeRecord(stream, rec::kRow, rowData(static_cast<unsigned>(r), first, last));

        rowStarts.push_back(block.size());
        for (const XlsRange* range : cells)
            writeCells(block, *range, r);

        if (rowStarts.size() == static_cast<std::size_t>(kRowsPerBlock) || r == sheet.UsedBottom()) {
            // A row's offset counts from the previous row's first cell record (a row without
            // cells has its "first cell" where its cells would have begun); the first row's
            // counts from the block's second ROW record, i.e. over the other ROW records.
            std::vector<std::uint16_t> offsets;
            offsets.reserve(rowStarts.size());
            std::size_t prev = 0;
            for (std::size_t i = 0; i < rowStarts.size(); ++i) {
                const std::size_t off = i == 0
                    ? (rowStarts.size() - 1) * kRowRecordSize + rowStarts[0]
                    : rowStarts[i] - prev;
                offsets.push_back(static_cast<std::uint16_t>(off));
                prev = rowStarts[i];
            }
            stream.bytes(block.str());
            const std::size_t dbCellPos = stream.size();
            dbCells.push_back(static_cast<std::uint32_t>(dbCellPos - globalsStart));
            writeRecord(stream, rec::kDbCell,
                        dbCellData(static_cast<std::uint32_t>(dbCellPos - firstRowPos), offsets));
            block.clear();
            rowStarts.clear();
        }
    }
}

// MERGEDCELLS records for the ranges that span more than one cell.
void writeMergedCells(ByteBuffer& stream, const XlsWorksheet& sheet)
{
    std::vector<MergedRange> merged;
    for (int i = 0; i < sheet.RangeCount(); ++i) {
        const XlsRange& r = sheet.Range(i);
        if (r.isSingleCell())
            continue;
        if (merged.size() == kMaxMergedPerRecord) {
            writeRecord(stream, rec::kMergedCells, mergedCellsData(merged));
            merged.clear();
        }
        merged.push_back({static_cast<unsigned>(r.Top()), static_cast<unsigned>(r.Bottom()),
                          static_cast<unsigned>(r.Left()), static_cast<unsigned>(r.Right())});
    }
    if (!merged.empty())
        writeRecord(stream, rec::kMergedCells, mergedCellsData(merged));
}

} // namespace

// The whole substream of one worksheet.
void writeSheet(ByteBuffer& stream, const XlsWorksheet& sheet, bool firstSheet,
                std::size_t globalsStart)
{
    const bool hasRows = sheet.UsedTop() >= 0 && sheet.UsedBottom() >= sheet.UsedTop();
    const std::size_t blocks =
        hasRows ? static_cast<std::size_t>((sheet.UsedBottom() - sheet.UsedTop() + kRowsPerBlock) / kRowsPerBlock)
                : 0;
    const std::uint32_t firstRow = hasRows ? static_cast<std::uint32_t>(sheet.UsedTop()) : 0;
    const std::uint32_t lastRowPlus1 = hasRows ? static_cast<std::uint32_t>(sheet.UsedBottom()) + 1 : 0;
    const XlsPageSetup& ps = sheet.PageSetup();

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
    writeRecord(stream, rec::kWsBool, u16Data(kWsBool));
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
    for (const ColumnRun& run : columnRuns(sheet.ColumnWidths()))
        writeRecord(stream, rec::kColInfo, colInfoData(run));
    writeRecord(stream, rec::kDimensions, dimensionsData(sheet.UsedLeft(), sheet.UsedTop(),
                                                         sheet.UsedRight(), sheet.UsedBottom()));
    if (hasRows) {
        dbCells.clear();
        writeRowBlocks(stream, sheet, globalsStart, dbCells);
        // INDEX again, now with the DBCELL positions; same size, same place.
        ByteBuffer index;
        writeRecord(index, rec::kIndex, indexData(firstRow, lastRowPlus1, dbCells));
        stream.overwrite(indexPos, index.str());
    }
    writeRecord(stream, rec::kWindow2, window2Data(firstSheet));
    writeRecord(stream, rec::kSelection, selectionData());
    writeMergedCells(stream, sheet);
    writeRecord(stream, rec::kEof, {});
}

} // namespace xls::biff
