// The cell area of a worksheet: the ROW, cell and DBCELL records, and the walk over a sheet's
// list that writes them in row blocks.

#include "xls/biff_cells.h"

#include "xls/cell_write_info.h"
#include "xls/xls_cell.h"
#include "xls/xls_worksheet.h"

#include <algorithm>

namespace xls::biff {

namespace {

// Sizes of whole cell-area records, header included.
constexpr std::size_t kNumberRecordSize = kRecordHeader + 14;
constexpr std::size_t kLabelSstRecordSize = kRecordHeader + 10;
constexpr std::size_t kBlankRecordSize = kRecordHeader + 6;
// MULBLANK: header, row, first column, last column, and 2 bytes a column.
constexpr std::size_t kMulBlankFixedSize = kRecordHeader + 6;
// DBCELL: header, the 32-bit offset back to the first ROW record, 2 bytes a row.
constexpr std::size_t kDbCellFixedSize = kRecordHeader + 4;

// The cell-area records are written in place, header included, into room the caller has
// made; each returns the byte after the record. The *Data functions below give the same
// bytes without the header.

char* putHeader(char* p, unsigned number, std::size_t dataSize) noexcept
{
    p = le::put16(p, number);
    return le::put16(p, static_cast<unsigned>(dataSize));
}

// ROW option flag: the height is the row's own, not the one its fonts would give.
constexpr unsigned kRowHeightSet = 0x0040;

char* putRow(char* p, unsigned row, unsigned firstColumn, unsigned lastColumnPlus1,
             unsigned height) noexcept
{
    p = putHeader(p, rec::kRow, kRowRecordSize - kRecordHeader);
    p = le::put16(p, row);
    p = le::put16(p, firstColumn);
    p = le::put16(p, lastColumnPlus1);
    p = le::put16(p, height);
    p = le::put16(p, 0); // reserved
    p = le::put16(p, 0); // reserved
    p = le::put16(p, height == kDefaultRowHeight ? 0u : kRowHeightSet); // flags
    return le::put16(p, 0); // XF of the row: none
}

char* putNumber(char* p, unsigned row, unsigned column, unsigned xf, double value) noexcept
{
    p = putHeader(p, rec::kNumber, kNumberRecordSize - kRecordHeader);
    p = le::put16(p, row);
    p = le::put16(p, column);
    p = le::put16(p, xf);
    return le::putF64(p, value == 0.0 ? 0.0 : value); // -0 reads as "-0" in some programs
}

char* putLabelSst(char* p, unsigned row, unsigned column, unsigned xf, std::uint32_t sstIndex) noexcept
{
    p = putHeader(p, rec::kLabelSst, kLabelSstRecordSize - kRecordHeader);
    p = le::put16(p, row);
    p = le::put16(p, column);
    p = le::put16(p, xf);
    return le::put32(p, sstIndex);
}

char* putBlank(char* p, unsigned row, unsigned column, unsigned xf) noexcept
{
    p = putHeader(p, rec::kBlank, kBlankRecordSize - kRecordHeader);
    p = le::put16(p, row);
    p = le::put16(p, column);
    return le::put16(p, xf);
}

std::size_t mulBlankSize(unsigned firstColumn, unsigned lastColumn) noexcept
{
    return kMulBlankFixedSize + 2 * std::size_t{lastColumn - firstColumn + 1};
}

char* putMulBlank(char* p, unsigned row, unsigned firstColumn, unsigned lastColumn, unsigned xf) noexcept
{
    p = putHeader(p, rec::kMulBlank, mulBlankSize(firstColumn, lastColumn) - kRecordHeader);
    p = le::put16(p, row);
    p = le::put16(p, firstColumn);
    for (unsigned c = firstColumn; c <= lastColumn; ++c)
        p = le::put16(p, xf);
    return le::put16(p, lastColumn);
}

char* putDbCell(char* p, std::uint32_t rowOffset, std::span<const std::uint16_t> cellOffsets) noexcept
{
    p = putHeader(p, rec::kDbCell, kDbCellFixedSize - kRecordHeader + 2 * cellOffsets.size());
    p = le::put32(p, rowOffset);
    for (std::uint16_t off : cellOffsets)
        p = le::put16(p, off);
    return p;
}

// The data of a record written by one of the put* functions above.
template <std::size_t Size, typename Put>
std::string dataOf(Put put)
{
    char record[Size];
    put(record);
    return std::string(record + kRecordHeader, Size - kRecordHeader);
}

} // namespace

// ROW of one row in the used area.
std::string rowData(unsigned row, unsigned firstColumn, unsigned lastColumnPlus1, unsigned height)
{
    return dataOf<kRowRecordSize>([&](char* p) { putRow(p, row, firstColumn, lastColumnPlus1, height); });
}

// NUMBER cell.
std::string numberData(unsigned row, unsigned column, unsigned xf, double value)
{
    return dataOf<kNumberRecordSize>([&](char* p) { putNumber(p, row, column, xf, value); });
}

// LABELSST cell.
std::string labelSstData(unsigned row, unsigned column, unsigned xf, std::uint32_t sstIndex)
{
    return dataOf<kLabelSstRecordSize>([&](char* p) { putLabelSst(p, row, column, xf, sstIndex); });
}

// BLANK cell.
std::string blankData(unsigned row, unsigned column, unsigned xf)
{
    return dataOf<kBlankRecordSize>([&](char* p) { putBlank(p, row, column, xf); });
}

// MULBLANK over columns firstColumn..lastColumn.
std::string mulBlankData(unsigned row, unsigned firstColumn, unsigned lastColumn, unsigned xf)
{
    std::string record(mulBlankSize(firstColumn, lastColumn), '\0');
    putMulBlank(record.data(), row, firstColumn, lastColumn, xf);
    return record.substr(kRecordHeader);
}

// DBCELL of one row block.
std::string dbCellData(std::uint32_t rowOffset, std::span<const std::uint16_t> cellOffsets)
{
    std::string record(kDbCellFixedSize + 2 * cellOffsets.size(), '\0');
    putDbCell(record.data(), rowOffset, cellOffsets);
    return record.substr(kRecordHeader);
}


namespace {

// One cell or range as it is written in one row.
struct RowCell {
    XlsCell cell;
    std::int32_t left;
    std::int32_t right;
    unsigned xf;
    std::int64_t sst; // the entry in the shared-string table; -1 for none
    bool top;         // the row is the cell's top row, where its value goes
};

// The bytes of the records of `c` in its row: the value in its top row (a number, or a text
// with an entry in the SST), blanks for the rest of its columns.
std::size_t recordBytes(const RowCell& c) noexcept
{
    auto next = static_cast<unsigned>(c.left);
    std::size_t bytes = 0;
    if (c.top) {
        if (c.cell.cellKind() == XlsCellKind::Number) {
            bytes += kNumberRecordSize;
            ++next;
        } else if (c.sst >= 0) {
            bytes += kLabelSstRecordSize;
            ++next;
        }
    }
    const auto right = static_cast<unsigned>(c.right);
    if (next < right)
        bytes += mulBlankSize(next, right);
    else if (next == right)
        bytes += kBlankRecordSize;
    return bytes;
}

// Writes the records that recordBytes() counted.
char* putCells(char* p, const RowCell& c, unsigned row) noexcept
{
    auto next = static_cast<unsigned>(c.left);
    if (c.top) {
        if (c.cell.cellKind() == XlsCellKind::Number) {
            p = putNumber(p, row, next++, c.xf, c.cell.number());
        } else if (c.sst >= 0) {
            p = putLabelSst(p, row, next++, c.xf, static_cast<std::uint32_t>(c.sst));
        }
    }
    const auto right = static_cast<unsigned>(c.right);
    if (next < right)
        p = putMulBlank(p, row, next, right, c.xf);
    else if (next == right)
        p = putBlank(p, row, next, c.xf);
    return p;
}

// Walks the sheet's list once, row by row, and writes the row blocks: per block of up to 32
// rows the ROW records, the cell records row by row (each row's cells by left column) and
// DBCELL. The list is ordered by top row, so the entries that start in a row follow one
// another; a range taller than one row is kept aside until the walk has passed its bottom.
// SST indexes are handed out in list order, as the SST lists the texts; MERGEDCELLS entries
// are gathered in list order too.
class RowBlockWriter {
public:
    RowBlockWriter(ByteBuffer& stream, const XlsWorksheet& sheet, std::size_t globalsStart, SheetIndexes& indexes)
        : m_stream(stream), m_sheet(sheet), m_globalsStart(globalsStart), m_indexes(indexes),
          m_heights(sheet.rowHeights())
    {
    }

    void write(std::vector<std::uint32_t>& dbCells, std::vector<MergedRange>& merged)
    {
        const std::int32_t last = m_sheet.usedBottom();
        for (std::int32_t top = m_sheet.usedTop(); top <= last; top += kRowsPerBlock) {
            const std::int32_t bottom = std::min(last, top + (kRowsPerBlock - 1));
            std::size_t cellBytes = 0;
            m_cells.clear();
            m_rowEnds.clear();
            for (std::int32_t r = top; r <= bottom; ++r)
                cellBytes += gatherRow(r, merged);
            writeBlock(top, cellBytes, dbCells);
        }
    }

private:
    // Adds the cells of row r to the block; returns the bytes of their records.
    std::size_t gatherRow(std::int32_t r, std::vector<MergedRange>& merged)
    {
        const std::size_t begin = m_cells.size();
        if (!m_tall.empty()) {
            std::erase_if(m_tall, [r](const XlsCell& c) { return c.bottom() < r; });
            for (const XlsCell& c : m_tall)
                m_cells.push_back({c, c.left(), c.right(), xfOf(c), -1, false});
        }
        bool sorted = m_tall.empty();
        const int count = m_sheet.cellCount();
        for (; m_next < count; ++m_next) {
            const XlsCell c = m_sheet.cellAt(m_next);
            if (c.top() > r)
                break;
            RowCell rc{c, c.left(), c.right(), xfOf(c), sstOf(c), true};
            if (!c.isSingleCell()) {
                merged.push_back({static_cast<unsigned>(c.top()), static_cast<unsigned>(c.bottom()),
                                  static_cast<unsigned>(c.left()), static_cast<unsigned>(c.right())});
                if (c.bottom() > r)
                    m_tall.push_back(c);
            }
            if (m_cells.size() > begin && m_cells.back().left > rc.left)
                sorted = false;
            m_cells.push_back(rc);
        }
        if (!sorted)
            std::sort(m_cells.begin() + static_cast<std::ptrdiff_t>(begin), m_cells.end(),
                      [](const RowCell& a, const RowCell& b) { return a.left < b.left; });
        m_rowEnds.push_back(m_cells.size());
        std::size_t bytes = 0;
        for (std::size_t i = begin; i < m_cells.size(); ++i)
            bytes += recordBytes(m_cells[i]);
        return bytes;
    }

    unsigned xfOf(const XlsCell& c) const noexcept
    {
        const XlsRange* range = c.range();
        return static_cast<unsigned>(range ? range->WriteSlot->xfIndex : m_indexes.plainXf);
    }

    // The SST entry of a cell in its top row: the next one for a plain text that is not
    // empty; a range has its own from the SST pass.
    std::int64_t sstOf(const XlsCell& c) noexcept
    {
        if (const XlsRange* range = c.range()) {
            if (range->WriteSlot->sstIndex < 0)
                return -1;
            m_indexes.nextSst = static_cast<std::uint32_t>(range->WriteSlot->sstIndex) + 1;
            return range->WriteSlot->sstIndex;
        }
        if (c.cellKind() != XlsCellKind::Text || c.plainText().empty())
            return -1;
        return m_indexes.nextSst++;
    }

    // ROW records, cells and DBCELL of the rows gathered, in one piece of the stream.
    void writeBlock(std::int32_t top, std::size_t cellBytes, std::vector<std::uint32_t>& dbCells)
    {
        const std::size_t rows = m_rowEnds.size();
        const std::size_t firstRowPos = m_stream.size();
        char* const start = m_stream.grow(rows * kRowRecordSize + cellBytes + kDbCellFixedSize + 2 * rows);
        char* p = start;
        std::size_t begin = 0;
        for (std::size_t i = 0; i < rows; ++i) {
            const std::size_t end = m_rowEnds[i];
            const unsigned first = begin == end ? 0u : static_cast<unsigned>(m_cells[begin].left);
            const unsigned lastPlus1 = begin == end ? 0u : static_cast<unsigned>(m_cells[end - 1].right) + 1;
            const std::int32_t row = top + static_cast<std::int32_t>(i);
            p = putRow(p, static_cast<unsigned>(row), first, lastPlus1, heightOf(row));
            begin = end;
        }
        // A row's offset counts from the previous row's first cell record (a row without
        // cells has its "first cell" where its cells would have begun); the first row's
        // counts from the block's second ROW record, i.e. over the other ROW records.
        char* const cellsStart = p;
        m_offsets.clear();
        begin = 0;
        std::size_t previous = 0;
        for (std::size_t i = 0; i < rows; ++i) {
            const auto rowStart = static_cast<std::size_t>(p - cellsStart);
            m_offsets.push_back(static_cast<std::uint16_t>(i == 0 ? (rows - 1) * kRowRecordSize : rowStart - previous));
            previous = rowStart;
            const auto row = static_cast<unsigned>(top) + static_cast<unsigned>(i);
            for (const std::size_t end = m_rowEnds[i]; begin < end; ++begin)
                p = putCells(p, m_cells[begin], row);
        }
        const std::size_t dbCellPos = firstRowPos + static_cast<std::size_t>(p - start);
        dbCells.push_back(static_cast<std::uint32_t>(dbCellPos - m_globalsStart));
        putDbCell(p, static_cast<std::uint32_t>(dbCellPos - firstRowPos), m_offsets);
    }

    // The height of row r; rows come in order, so the heights are walked once.
    unsigned heightOf(std::int32_t r) noexcept
    {
        while (m_nextHeight < m_heights.size() && m_heights[m_nextHeight].Index < r)
            ++m_nextHeight;
        if (m_nextHeight < m_heights.size() && m_heights[m_nextHeight].Index == r)
            return static_cast<unsigned>(m_heights[m_nextHeight].Height);
        return kDefaultRowHeight;
    }

    ByteBuffer& m_stream;
    const XlsWorksheet& m_sheet;
    std::size_t m_globalsStart;
    SheetIndexes& m_indexes;
    int m_next = 0;                       // the next entry of the list to reach its top row
    std::vector<XlsCell> m_tall;          // ranges from rows above that may reach further down
    std::vector<RowCell> m_cells;         // the block's cells, row after row
    std::vector<std::size_t> m_rowEnds;   // where each row's cells end in m_cells
    std::vector<std::uint16_t> m_offsets; // DBCELL's offsets
    const std::vector<XlsRowHeight>& m_heights;
    std::size_t m_nextHeight = 0;         // the first height not below the rows written
};

} // namespace

// The row blocks of a sheet's used area.
void writeRowBlocks(ByteBuffer& stream, const XlsWorksheet& sheet, std::size_t globalsStart,
                    SheetIndexes& indexes, std::vector<std::uint32_t>& dbCells,
                    std::vector<MergedRange>& merged)
{
    RowBlockWriter(stream, sheet, globalsStart, indexes).write(dbCells, merged);
}

} // namespace xls::biff
