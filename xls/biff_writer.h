#pragma once

#include "xls/biff_palette.h"
#include "xls/biff_stream.h"
#include "xls/cell_write_info.h"
#include "xls/xls_range.h"

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace xls {

class XlsWorkbook;

// Writes a workbook as an Excel 97 file: a compound document whose one stream "Workbook"
// holds the BIFF8 records of the workbook globals and of every sheet.
//
// The file appears complete or not at all: it is written beside its final name and moved
// there only when everything was written. A model that the format cannot hold (rows beyond
// 65,535, columns beyond 255, a number that is not finite) is refused before anything is
// written. Texts longer than the format holds are cut: 65,535 units for strings and number
// formats, 54 for the author name, 255 for font names. Column widths and the rows repeated on
// every printed page are written only for sheets that set them: COLINFO records in the sheet,
// SUPBOOK, EXTERNSHEET and NAME records in the globals. So are frozen panes (PANE after
// WINDOW2, which says they are frozen) and row heights (in the rows' ROW records).
class BiffWriter {
public:
    BiffWriter() = default;
    BiffWriter(const BiffWriter&) = delete;
    BiffWriter& operator=(const BiffWriter&) = delete;

    // Writes `workbook` to `fileName`, replacing an existing file. Throws XlsError:
    // CreateFile ("StgCreateDocFile error %d"), CreateStream ("CreateStream error %d"), Write,
    // TooManyRows, TooManyColumns, BadRange, BadArgument.
    void save(XlsWorkbook& workbook, const QString& fileName);

    // The bytes of the stream "Workbook" for `workbook`, as Save writes them. Throws XlsError
    // for a model that the format cannot hold.
    std::string buildStream(XlsWorkbook& workbook);

    // Appends one record to the stream being built, continuing long data in CONTINUE records.
    void writeRecord(unsigned number, std::string_view data);
    // The palette index (8..63) to write for a colour, adapting the palette when needed.
    unsigned colorIndex(XlsColor color) { return m_palette.colorIndex(color); }
    // Whether this save has changed the palette (and so writes a PALETTE record).
    bool paletteChanged() const noexcept { return m_palette.changed(); }

    // Checks that every sheet of `workbook` fits the format. Throws XlsError otherwise.
    static void validate(const XlsWorkbook& workbook);

private:
    // A cell format to find or make: a range's own, or the one of every plain cell.
    struct StyleUse {
        const XlsCellStyle* style;
        bool singleCell;
        CellWriteInfo* info;
    };

    void beginSave(XlsWorkbook& workbook);
    void endSave() noexcept;
    void writeFonts();
    void writeFormats();
    void writeCellFormats();
    void writePrintTitles();
    void writeSharedStrings();
    std::string cellFormatData(const StyleUse& use);

    XlsWorkbook* m_workbook = nullptr;
    biff::ByteBuffer m_stream;
    std::size_t m_streamStart = 0; // where the workbook globals begin; DBCELL positions count from it
    biff::Palette m_palette;
    std::vector<CellWriteInfo> m_cells;        // one per range, sheet by sheet in list order
    std::vector<XlsRange*> m_ranges;           // the ranges whose WriteSlot is set
    CellWriteInfo m_plainInfo;                 // what every plain cell is written with
    std::vector<StyleUse> m_styleUses;         // ranges and the plain cells' style, in list order
    std::size_t m_sizeEstimate = 0;            // at least the bytes of the stream
    std::size_t m_sstCount = 0;                // the strings of the shared-string table
    std::vector<std::size_t> m_sheetPositions; // where each BOUNDSHEET's BOF position lies
};

} // namespace xls
