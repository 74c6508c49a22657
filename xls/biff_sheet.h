#pragma once

// The worksheet substream: sheet and print settings, the column widths, the used area, the cells in blocks of
// 32 rows with their INDEX and DBCELL records, the window, the merged cells.

#include "xls/biff_globals.h"
#include "xls/biff_stream.h"

#include <QString>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace xls {
class XlsWorksheet;
struct XlsPageSetup;
struct XlsColumnWidth;
}

namespace xls::biff {

// Rows of cells that one DBCELL record indexes.
inline constexpr std::int32_t kRowsPerBlock = 32;
// The largest row and column index a BIFF8 sheet holds.
inline constexpr std::int32_t kMaxRow = 65535;
inline constexpr std::int32_t kMaxColumn = 255;
// MERGEDCELLS records hold at most this many ranges each.
inline constexpr std::size_t kMaxMergedPerRecord = 1024;
// The height of a row that has none of its own, in twips (DEFAULTROWHEIGHT, ROW).
inline constexpr unsigned kDefaultRowHeight = 255;
// Size of a ROW record including its header: DBCELL offsets count over ROW records.
inline constexpr std::size_t kRowRecordSize = kRecordHeader + 16;

// INDEX: reserved 0, first used row, last used row + 1, reserved 0, one DBCELL position per
// row block.
std::string indexData(std::uint32_t firstRow, std::uint32_t lastRowPlus1,
                      std::span<const std::uint32_t> dbCellPositions);
// The header or footer text: "&L", "&C", "&R" before each of the three parts that is set.
std::u16string headerFooterText(const QString& left, const QString& center, const QString& right);
// HEADER and FOOTER: the text as a counted unicode string, or no data when it is empty.
std::string headerFooterData(std::u16string_view text);
// SETUP: paper, scaling, page numbering, options, resolutions, header and footer margins,
// copies.
std::string setupData(const XlsPageSetup& setup);
// WSBOOL: automatic page breaks and outline symbols shown, and fit-to-pages printing when the
// page setup asks for it (SETUP then holds the page counts).
std::string wsBoolData(const XlsPageSetup& setup);
// Neighbouring columns of one width, written as one COLINFO record.
struct ColumnRun {
    unsigned firstColumn, lastColumn, width;
    bool operator==(const ColumnRun&) const = default;
};
// The runs of a sheet's column widths (ordered by column, one entry per column, every column
// within the format): each run as long as the columns follow one another with equal widths.
std::vector<ColumnRun> columnRuns(std::span<const XlsColumnWidth> widths);
// COLINFO: first column, last column, width in 1/256 of a digit, XF index of the default cell
// format, options (width set; hidden as well when the width is 0), 2 reserved bytes.
std::string colInfoData(const ColumnRun& run);
// DIMENSIONS: first used row, last used row + 1, first used column, last used column + 1;
// all zero when any of the used-area values is -1.
std::string dimensionsData(std::int32_t usedLeft, std::int32_t usedTop, std::int32_t usedRight,
                           std::int32_t usedBottom);
// ROW: row, first column, last column + 1, height in twips, flags: none for the default
// height, "height set" (not to follow the row's fonts) for any other.
std::string rowData(unsigned row, unsigned firstColumn, unsigned lastColumnPlus1,
                    unsigned height = kDefaultRowHeight);
// NUMBER: row, column, XF index, the value as a double (-0 written as 0).
std::string numberData(unsigned row, unsigned column, unsigned xf, double value);
// LABELSST: row, column, XF index, 32-bit SST index.
std::string labelSstData(unsigned row, unsigned column, unsigned xf, std::uint32_t sstIndex);
// BLANK: row, column, XF index.
std::string blankData(unsigned row, unsigned column, unsigned xf);
// MULBLANK: row, first column, the XF index once per column, last column.
std::string mulBlankData(unsigned row, unsigned firstColumn, unsigned lastColumn, unsigned xf);
// DBCELL: distance back to the block's first ROW record, then each row's cell offset.
std::string dbCellData(std::uint32_t rowOffset, std::span<const std::uint16_t> cellOffsets);
// WINDOW2: sheet window flags (selected for the first sheet; frozen panes without a split
// when the sheet freezes any), grid-line colour, zooms.
std::string window2Data(bool firstSheet, bool frozen = false);
// The panes of a sheet's window, as PANE and SELECTION number them.
namespace pane {
inline constexpr unsigned kBottomRight = 0;
inline constexpr unsigned kTopRight = 1;
inline constexpr unsigned kBottomLeft = 2;
inline constexpr unsigned kTopLeft = 3; // also the whole window when it is not split
} // namespace pane
// PANE of frozen panes: `columns` columns left of the split and `rows` rows above it, the
// first row and column shown below and right of it, and the active pane: the one below and
// right of the frozen rows and columns.
std::string paneData(unsigned rows, unsigned columns);
// The pane in which the cursor stands when `rows` rows and `columns` columns are frozen.
unsigned activePane(unsigned rows, unsigned columns);
// SELECTION: the cursor in one cell of one pane, that cell alone selected. The default is A1
// of the undivided window.
std::string selectionData(unsigned pane = pane::kTopLeft, unsigned row = 0, unsigned column = 0);
// One MERGEDCELLS entry and the record of up to 1024 of them.
struct MergedRange {
    unsigned firstRow, lastRow, firstColumn, lastColumn;
};
std::string mergedCellsData(std::span<const MergedRange> ranges);

// What the cell records of plain cells carry, which the workbook writer decides: the XF
// index of every plain cell, and the SST index of the next plain text (texts are numbered in
// list order, sheet after sheet; the sheet writer moves it on past the sheet's texts).
struct SheetIndexes {
    unsigned plainXf = kDefaultCellXf;
    std::uint32_t nextSst = 0;
};

// Writes the whole substream of `sheet` to `stream`. DBCELL positions in INDEX count from
// `globalsStart`. Each range's WriteSlot must point at its CellWriteInfo. The sheet must fit
// the format (checked by the caller before anything is written).
void writeSheet(ByteBuffer& stream, const XlsWorksheet& sheet, bool firstSheet,
                std::size_t globalsStart, SheetIndexes& indexes);

} // namespace xls::biff
