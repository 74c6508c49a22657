#include "xls/biff_writer.h"

#include "xls/biff_globals.h"
#include "xls/biff_sheet.h"
#include "xls/biff_sst.h"
#include "xls/compound_file.h"
#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include <cmath>

namespace xls {

namespace {

using biff::writeRecord;
namespace rec = biff::rec;

// The window-text system colour: the colour of the four default fonts.
constexpr XlsColor kWindowTextColor = kXlsSystemColorFlag | 8;
// Number formats appended to the built-in ones are numbered from here.
constexpr unsigned kFirstCustomFormat = 50;

// The built-in number formats every file lists, with their format indexes.
struct BuiltInFormat {
    unsigned index;
    const char16_t* text;
};
constexpr BuiltInFormat kBuiltInFormats[] = {
    {5, u"#,##0\"р.\";\\-#,##0\"р.\""},
    {6, u"#,##0\"р.\";[Red]\\-#,##0\"р.\""},
    {7, u"#,##0.00\"р.\";\\-#,##0.00\"р.\""},
    {8, u"#,##0.00\"р.\";[Red]\\-#,##0.00\"р.\""},
    {42, u"_-* #,##0\"р.\"_-;\\-* #,##0\"р.\"_-;_-* \"-\"\"р.\"_-;_-@_-"},
    {41, u"_-* #,##0_р_._-;\\-* #,##0_р_._-;_-* \"-\"_р_._-;_-@_-"},
    {44, u"_-* #,##0.00\"р.\"_-;\\-* #,##0.00\"р.\"_-;_-* \"-\"??\"р.\"_-;_-@_-"},
    {43, u"_-* #,##0.00_р_._-;\\-* #,##0.00_р_._-;_-* \"-\"??_р_._-;_-@_-"},
};

// The pitch-and-family byte of a font: 0 lets the reader choose, 1 fixed, 2 variable pitch.
unsigned pitchByte(XlsFontPitch pitch)
{
    switch (pitch) {
    case XlsFontPitch::Fixed:
        return 1;
    case XlsFontPitch::Variable:
        return 2;
    case XlsFontPitch::Default:
        break;
    }
    return 0;
}

// The message naming a sheet in errors about its content.
std::string sheetMessage(const XlsWorksheet& sheet, const QString& what)
{
    return QStringLiteral("Лист \"%1\" нельзя записать в файл Excel: %2").arg(sheet.name(), what).toStdString();
}

// Checks one sheet against the format, its cells in list order and then the sheet as a
// whole; `visit(cell)` sees each cell once it has passed. Throws XlsError at the first fault.
template <typename Visit>
void checkSheet(const XlsWorksheet& sheet, Visit&& visit)
{
    const int count = sheet.cellCount();
    for (int i = 0; i < count; ++i) {
        const XlsCell c = sheet.cellAt(i);
        if (c.left() < 0 || c.top() < 0 || c.right() < c.left() || c.bottom() < c.top())
            throw XlsError(XlsError::Code::BadRange,
                           sheetMessage(sheet, QStringLiteral("неверные границы ячеек")));
        if (c.cellKind() == XlsCellKind::Number && !std::isfinite(c.number()))
            throw XlsError(XlsError::Code::BadValue,
                           sheetMessage(sheet, QStringLiteral("число не конечно (строка %1, столбец %2)")
                                                   .arg(c.top() + 1).arg(c.left() + 1)));
        visit(c);
    }
    // The used area covers every range there ever was, so it bounds them all.
    if (sheet.usedBottom() > biff::kMaxRow)
        throw XlsError(XlsError::Code::TooManyRows,
                       sheetMessage(sheet, QStringLiteral("строк больше %1").arg(biff::kMaxRow + 1)));
    const std::vector<XlsColumnWidth>& widths = sheet.columnWidths();
    if (sheet.usedRight() > biff::kMaxColumn || (!widths.empty() && widths.back().Index > biff::kMaxColumn))
        throw XlsError(XlsError::Code::TooManyColumns,
                       sheetMessage(sheet, QStringLiteral("столбцов больше %1").arg(biff::kMaxColumn + 1)));
    if (sheet.printTitleRows() && sheet.printTitleRows()->Last > biff::kMaxRow)
        throw XlsError(XlsError::Code::TooManyRows,
                       sheetMessage(sheet, QStringLiteral("строки заголовка страницы дальше строки %1")
                                               .arg(biff::kMaxRow + 1)));
    const std::vector<XlsRowHeight>& heights = sheet.rowHeights();
    if (!heights.empty() && heights.back().Index > biff::kMaxRow)
        throw XlsError(XlsError::Code::TooManyRows,
                       sheetMessage(sheet, QStringLiteral("высота строки дальше строки %1").arg(biff::kMaxRow + 1)));
    // PANE counts the frozen rows and columns in 16 bits, SELECTION a column in 8.
    if (sheet.frozenRows() > biff::kMaxRow)
        throw XlsError(XlsError::Code::TooManyRows,
                       sheetMessage(sheet, QStringLiteral("закреплено строк больше %1").arg(biff::kMaxRow)));
    if (sheet.frozenColumns() > biff::kMaxColumn)
        throw XlsError(XlsError::Code::TooManyColumns,
                       sheetMessage(sheet, QStringLiteral("закреплено столбцов больше %1").arg(biff::kMaxColumn)));
}

// Bytes that the SST takes for a text of `units` UTF-16 units: count, flag byte, characters.
std::size_t sstBytes(std::size_t units)
{
    return 3 + 2 * std::min(units, biff::kMaxTextUnits);
}

// What a sheet adds to the stream besides its cells: its fixed records, headers and
// footers, column widths, and per row a ROW record and a DBCELL offset.
std::size_t sheetFrameBytes(const XlsWorksheet& sheet)
{
    constexpr std::size_t kFixedRecords = 1024;
    const XlsPageSetup& ps = sheet.pageSetup();
    std::size_t bytes = kFixedRecords + 16 * sheet.columnWidths().size();
    for (const QString* text : {&ps.LeftHeader, &ps.CenterHeader, &ps.RightHeader, &ps.LeftFooter,
                                &ps.CenterFooter, &ps.RightFooter})
        bytes += 4 + 2 * static_cast<std::size_t>(text->size());
    if (sheet.usedTop() >= 0 && sheet.usedBottom() >= sheet.usedTop()) {
        const auto rows = static_cast<std::size_t>(sheet.usedBottom() - sheet.usedTop()) + 1;
        bytes += rows * (biff::kRowRecordSize + 2) + (rows / biff::kRowsPerBlock + 1) * 16;
    }
    return bytes;
}

} // namespace

// Refuses a workbook that the format cannot hold, before anything is written.
void BiffWriter::validate(const XlsWorkbook& workbook)
{
    for (int s = 0; s < workbook.sheetCount(); ++s)
        checkSheet(workbook.sheet(s), [](const XlsCell&) {});
}

// Appends a record to the stream.
void BiffWriter::writeRecord(unsigned number, std::string_view data)
{
    biff::writeRecord(m_stream, number, data);
}

// Starts a save: checks the workbook against the format and walks every cell once to find
// the cell formats to write (each range's own, and the plain cells' default one where the
// first plain cell stands) and how long the stream will be. Every range's WriteSlot is set.
void BiffWriter::beginSave(XlsWorkbook& workbook)
{
    m_workbook = &workbook;
    m_stream.clear();
    m_streamStart = 0;
    m_palette.reset();
    m_sheetPositions.clear();
    m_ranges.clear();
    m_styleUses.clear();
    m_plainInfo = CellWriteInfo{};

    constexpr std::size_t kGlobalsBytes = 8192;
    constexpr std::size_t kStyleBytes = 1100; // FONT with a long name, FORMAT, XF
    std::size_t bytes = kGlobalsBytes;
    std::size_t sstTotal = 0, sstCount = 0;
    const auto addText = [&](std::size_t units) {
        sstTotal += sstBytes(units);
        ++sstCount;
    };
    bool plainSeen = false;
    for (int s = 0; s < workbook.sheetCount(); ++s) {
        const XlsWorksheet& sheet = workbook.sheet(s);
        bytes += sheetFrameBytes(sheet) + 64 + 2 * static_cast<std::size_t>(sheet.name().size());
        checkSheet(sheet, [&](const XlsCell& c) {
            if (const XlsRange* range = c.range()) {
                m_ranges.push_back(const_cast<XlsRange*>(range));
                m_styleUses.push_back({range, range->isSingleCell(), nullptr});
                const auto rows = static_cast<std::size_t>(range->bottom() - range->top()) + 1;
                const auto columns = static_cast<std::size_t>(range->right() - range->left()) + 1;
                bytes += kStyleBytes + 2 * static_cast<std::size_t>(range->Format.size()) + 16 +
                         rows * (28 + 2 * columns);
                if (range->cellKind() == XlsCellKind::Text)
                    if (const QString text = range->value().toText(); !text.isEmpty())
                        addText(static_cast<std::size_t>(text.size()));
                return;
            }
            if (!plainSeen) {
                m_styleUses.push_back({&XlsCellStyle::defaultStyle(), true, &m_plainInfo});
                plainSeen = true;
                bytes += kStyleBytes;
            }
            if (c.cellKind() == XlsCellKind::Number) {
                bytes += 18; // NUMBER
            } else if (const std::u16string_view text = c.plainText(); text.empty()) {
                bytes += 10; // BLANK
            } else {
                bytes += 14; // LABELSST
                addText(text.size());
            }
        });
    }
    // The SST's CONTINUE records repeat a header and at most a flag byte; EXTSST has 8 bytes
    // per 8 strings.
    bytes += sstTotal + (sstTotal / (biff::kMaxRecordData - 8) + 1) * 5 + 16 + sstCount + 8;
    m_sizeEstimate = bytes;
    m_sstCount = sstCount;

    m_cells.assign(m_ranges.size(), CellWriteInfo{});
    std::size_t i = 0;
    for (StyleUse& use : m_styleUses)
        if (!use.info) {
            use.info = &m_cells[i];
            m_ranges[i]->WriteSlot = &m_cells[i];
            ++i;
        }
}

// Ends a save: the WriteSlots no longer point anywhere, the bookkeeping is freed.
void BiffWriter::endSave() noexcept
{
    for (XlsRange* r : m_ranges)
        r->WriteSlot = nullptr;
    m_workbook = nullptr;
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_ranges.clear();
    m_ranges.shrink_to_fit();
    m_styleUses.clear();
    m_sheetPositions.clear();
    m_palette.reset();
}

// FONT records: four default fonts, then every distinct range font.
void BiffWriter::writeFonts()
{
    XlsFont defaultFont;
    defaultFont.Color = kWindowTextColor;
    std::vector<XlsFont> fonts(4, defaultFont);
    for (const StyleUse& use : m_styleUses) {
        std::size_t pos = 0;
        while (pos < fonts.size() && !(fonts[pos] == use.style->Font))
            ++pos;
        if (pos == fonts.size())
            fonts.push_back(use.style->Font);
        // BIFF8 skips font number 4, so list position p is font p + 1 from the fifth on;
        // the first four are one and the same font.
        use.info->fontIndex = static_cast<int>(pos + 1);
    }
    for (const XlsFont& f : fonts) {
        biff::FontRecord rec;
        rec.height = static_cast<unsigned>(f.Size * 20);
        rec.italic = f.Style.Italic;
        rec.strikeOut = f.Style.StrikeOut;
        rec.bold = f.Style.Bold;
        rec.underline = f.Style.Underline;
        rec.colorIndex = colorIndex(f.Color);
        rec.family = pitchByte(f.Pitch);
        rec.charset = f.Charset;
        rec.name = f.Name.toStdU16String();
        writeRecord(rec::kFont, biff::fontData(rec));
    }
}

// FORMAT records: the built-in formats, then every new number format of a range.
void BiffWriter::writeFormats()
{
    struct Entry {
        unsigned index;
        QString text;
    };
    std::vector<Entry> formats;
    for (const BuiltInFormat& f : kBuiltInFormats)
        formats.push_back({f.index, QString::fromUtf16(f.text)});
    unsigned appended = 0;
    const auto indexOf = [&](const QString& format) {
        if (format.isEmpty())
            return 0u; // General
        for (const Entry& e : formats)
            if (e.text.compare(format, Qt::CaseInsensitive) == 0)
                return e.index;
        formats.push_back({kFirstCustomFormat + appended++, format});
        return formats.back().index;
    };
    for (const StyleUse& use : m_styleUses)
        use.info->formatIndex = static_cast<int>(indexOf(use.style->Format));
    for (const Entry& e : formats)
        writeRecord(rec::kFormat, biff::formatData(e.index, e.text.toStdU16String()));
}

// The 20 XF data bytes of a cell format.
std::string BiffWriter::cellFormatData(const StyleUse& use)
{
    const XlsCellStyle& r = *use.style;
    const CellWriteInfo& info = *use.info;
    const XlsBorder& left = r.Borders[XlsBorders::kLeft];
    const XlsBorder& right = r.Borders[XlsBorders::kRight];
    const XlsBorder& top = r.Borders[XlsBorders::kTop];
    const XlsBorder& bottom = r.Borders[XlsBorders::kBottom];
    const XlsBorder& down = r.Borders[XlsBorders::kDiagonalDown];
    const XlsBorder& up = r.Borders[XlsBorders::kDiagonalUp];
    auto lineColor = [this](const XlsBorder& b) { return b.LineStyle ? colorIndex(b.Color) & 0x7Fu : 0u; };

    const unsigned leftColor = lineColor(left);
    const unsigned rightColor = lineColor(right);
    const unsigned topColor = lineColor(top);
    const unsigned bottomColor = lineColor(bottom);
    const XlsBorder* diagonal = up.LineStyle ? &up : down.LineStyle ? &down : nullptr;
    const unsigned diagonalColor = diagonal ? lineColor(*diagonal) : 0u;
    const unsigned diagonalStyle = diagonal ? diagonal->LineStyle & 0x0Fu : 0u;
    const unsigned fore = colorIndex(r.ForegroundFillColor) & 0x7Fu;
    const unsigned back = colorIndex(r.BackgroundFillColor) & 0x7Fu;

    biff::XfFields f;
    f.font = static_cast<unsigned>(info.fontIndex);
    f.format = static_cast<unsigned>(info.formatIndex);
    f.typeProt = biff::xf::kCellXf;
    f.alignment = (r.HorizontalAlignment & 0x07u) | (r.WrapText ? 0x08u : 0u) |
                  ((r.VerticalAlignment & 0x07u) << 4);
    f.rotation = r.Rotation;
    f.indent = use.singleCell ? 0u : biff::xf::kMergedCell;
    f.usedAttr = biff::xf::kAllAttributesUsed;
    f.borderStyles = (left.LineStyle & 0x0Fu) | ((right.LineStyle & 0x0Fu) << 4) |
                     ((top.LineStyle & 0x0Fu) << 8) | ((bottom.LineStyle & 0x0Fu) << 12);
    f.borderColors = leftColor | (rightColor << 7) | (down.LineStyle ? 0x4000u : 0u) |
                     (up.LineStyle ? 0x8000u : 0u);
    // FillPattern goes in as the file's own pattern number (0 none, 1 solid, ...): the program
    // sets none, so no other mapping is needed.
    f.borderFill = topColor | (bottomColor << 7) | (diagonalColor << 14) | (diagonalStyle << 21) |
                   (static_cast<std::uint32_t>(r.FillPattern & 0x3Fu) << 26);
    f.fillColors = fore | (back << 7);
    return biff::xfData(f);
}

// XF records: 15 style formats, 6 fixed cell formats, then one per distinct range format.
void BiffWriter::writeCellFormats()
{
    std::vector<std::string> cellXfs;
    for (unsigned i = biff::kFixedStyleXfs; i < biff::kFixedXfs; ++i)
        cellXfs.push_back(biff::fixedXfData(i));
    for (const StyleUse& use : m_styleUses) {
        std::string data = cellFormatData(use);
        std::size_t pos = 0;
        while (pos < cellXfs.size() && cellXfs[pos] != data)
            ++pos;
        if (pos == cellXfs.size())
            cellXfs.push_back(std::move(data));
        use.info->xfIndex = static_cast<int>(pos + biff::kFixedStyleXfs);
    }
    for (unsigned i = 0; i < biff::kFixedStyleXfs; ++i)
        writeRecord(rec::kXf, biff::fixedXfData(i));
    for (const std::string& data : cellXfs)
        writeRecord(rec::kXf, data);
}

// SST with its CONTINUE records and EXTSST, when any cell has text to store: the texts in
// list order, sheet after sheet, written straight into the stream. A range notes its entry;
// plain texts are numbered again in the same order when their sheet is written.
void BiffWriter::writeSharedStrings()
{
    biff::SstWriter sst(m_stream, m_sstCount);
    for (int s = 0; s < m_workbook->sheetCount(); ++s) {
        const XlsWorksheet& sheet = m_workbook->sheet(s);
        const int count = sheet.cellCount();
        for (int i = 0; i < count; ++i) {
            const XlsCell c = sheet.cellAt(i);
            if (c.cellKind() != XlsCellKind::Text)
                continue;
            if (const XlsRange* range = c.range()) {
                range->WriteSlot->sstIndex = -1;
                const QString text = range->value().toText();
                if (text.isEmpty())
                    continue;
                range->WriteSlot->sstIndex = static_cast<int>(sst.count());
                sst.add({reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())});
            } else if (const std::u16string_view text = c.plainText(); !text.empty()) {
                sst.add(text);
            }
        }
    }
    if (sst.count() == 0)
        return;
    const std::string extSst = sst.finish();
    writeRecord(rec::kExtSst, extSst);
}

// SUPBOOK, EXTERNSHEET and a NAME Print_Titles per sheet that repeats rows on every page;
// nothing when no sheet does.
void BiffWriter::writePrintTitles()
{
    std::vector<unsigned> sheets;
    for (int s = 0; s < m_workbook->sheetCount(); ++s)
        if (m_workbook->sheet(s).printTitleRows())
            sheets.push_back(static_cast<unsigned>(s));
    if (sheets.empty())
        return;
    writeRecord(rec::kSupBook, biff::supBookSelfData(static_cast<std::size_t>(m_workbook->sheetCount())));
    writeRecord(rec::kExternSheet, biff::externSheetData(sheets));
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const XlsRowSpan& rows = *m_workbook->sheet(static_cast<int>(sheets[i])).printTitleRows();
        writeRecord(rec::kName, biff::printTitlesNameData(sheets[i], static_cast<unsigned>(i),
                                                          static_cast<unsigned>(rows.First),
                                                          static_cast<unsigned>(rows.Last)));
    }
}

// The whole workbook stream: globals, then each sheet, then the sheet positions.
std::string BiffWriter::buildStream(XlsWorkbook& workbook)
{
    try {
        beginSave(workbook);
        m_stream.reserve(m_sizeEstimate);
        const int sheets = workbook.sheetCount();
        for (const biff::Record& r :
             biff::globalsHeadRecords(workbook.userName().toStdU16String(), static_cast<std::size_t>(sheets)))
            writeRecord(r.number, r.data);
        writeFonts();
        writeFormats();
        writeCellFormats();
        for (const biff::BuiltInStyle& s : biff::kBuiltInStyles)
            writeRecord(rec::kStyle, biff::styleData(s.xfIndex, s.style));
        if (m_palette.changed())
            writeRecord(rec::kPalette, biff::paletteData(m_palette.colors()));
        writeRecord(rec::kUsesElfs, biff::u16Data(0));
        for (int s = 0; s < sheets; ++s) {
            m_sheetPositions.push_back(m_stream.size() + biff::kRecordHeader +
                                       biff::kBoundSheetPositionOffset);
            writeRecord(rec::kBoundSheet, biff::boundSheetData(workbook.sheet(s).name().toStdU16String()));
        }
        writeRecord(rec::kCountry, biff::countryData());
        writePrintTitles();
        writeSharedStrings();
        writeRecord(rec::kEof, {});

        biff::SheetIndexes indexes;
        indexes.plainXf = static_cast<unsigned>(m_plainInfo.xfIndex);
        for (int s = 0; s < sheets; ++s) {
            const auto bofPos = static_cast<std::uint32_t>(m_stream.size() - m_streamStart);
            biff::writeSheet(m_stream, workbook.sheet(s), s == 0, m_streamStart, indexes);
            m_stream.putU32(m_sheetPositions[static_cast<std::size_t>(s)], bofPos);
        }
    } catch (...) {
        endSave();
        throw;
    }
    endSave();
    return m_stream.take();
}

// Writes the workbook file.
void BiffWriter::save(XlsWorkbook& workbook, const QString& fileName)
{
    const std::string stream = buildStream(workbook);
    writeCompoundFile(fileName, stream);
}

} // namespace xls
