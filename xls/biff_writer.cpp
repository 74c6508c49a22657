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

// Calls `f(range)` for every range of every sheet, sheet by sheet in list order.
template <typename F>
void forEachRange(const XlsWorkbook& workbook, F&& f)
{
    for (int s = 0; s < workbook.SheetCount(); ++s) {
        const XlsWorksheet& sheet = workbook.Sheet(s);
        for (int i = 0; i < sheet.RangeCount(); ++i)
            f(sheet.Range(i));
    }
}

// The message naming a sheet in errors about its content.
std::string sheetMessage(const XlsWorksheet& sheet, const QString& what)
{
    return QStringLiteral("Лист \"%1\" нельзя записать в файл Excel: %2").arg(sheet.Name(), what).toStdString();
}

} // namespace

// Refuses a workbook that the format cannot hold, before anything is written.
void BiffWriter::Validate(const XlsWorkbook& workbook)
{
    for (int s = 0; s < workbook.SheetCount(); ++s) {
        const XlsWorksheet& sheet = workbook.Sheet(s);
        for (int i = 0; i < sheet.RangeCount(); ++i) {
            const XlsRange& r = sheet.Range(i);
            if (r.Left() < 0 || r.Top() < 0 || r.Right() < r.Left() || r.Bottom() < r.Top())
                throw XlsError(XlsError::Code::BadRange,
                               sheetMessage(sheet, QStringLiteral("неверные границы ячеек")));
            if (r.CellKind() == XlsCellKind::Number && !std::isfinite(r.Value().toDouble()))
                throw XlsError(XlsError::Code::BadValue,
                               sheetMessage(sheet, QStringLiteral("число не конечно (строка %1, столбец %2)")
                                                       .arg(r.Top() + 1).arg(r.Left() + 1)));
        }
        // The used area covers every range there ever was, so it bounds them all.
        if (sheet.UsedBottom() > biff::kMaxRow)
            throw XlsError(XlsError::Code::TooManyRows,
                           sheetMessage(sheet, QStringLiteral("строк больше %1").arg(biff::kMaxRow + 1)));
        const std::vector<XlsColumnWidth>& widths = sheet.ColumnWidths();
        if (sheet.UsedRight() > biff::kMaxColumn || (!widths.empty() && widths.back().Index > biff::kMaxColumn))
            throw XlsError(XlsError::Code::TooManyColumns,
                           sheetMessage(sheet, QStringLiteral("столбцов больше %1").arg(biff::kMaxColumn + 1)));
        if (sheet.PrintTitleRows() && sheet.PrintTitleRows()->Last > biff::kMaxRow)
            throw XlsError(XlsError::Code::TooManyRows,
                           sheetMessage(sheet, QStringLiteral("строки заголовка страницы дальше строки %1")
                                                   .arg(biff::kMaxRow + 1)));
    }
}

// Appends a record to the stream.
void BiffWriter::WriteRecord(unsigned number, std::string_view data)
{
    writeRecord(m_stream, number, data);
}

// Starts a save: default palette, new per-range bookkeeping, every WriteSlot set.
void BiffWriter::beginSave(XlsWorkbook& workbook)
{
    m_workbook = &workbook;
    m_stream.clear();
    m_streamStart = 0;
    m_palette.reset();
    m_sheetPositions.clear();
    std::size_t count = 0;
    forEachRange(workbook, [&](const XlsRange&) { ++count; });
    m_cells.assign(count, CellWriteInfo{});
    std::size_t i = 0;
    for (int s = 0; s < workbook.SheetCount(); ++s) {
        const XlsWorksheet& sheet = workbook.Sheet(s);
        for (int k = 0; k < sheet.RangeCount(); ++k)
            sheet.Range(k).WriteSlot = &m_cells[i++];
    }
}

// Ends a save: the WriteSlots no longer point anywhere, the bookkeeping is freed.
void BiffWriter::endSave() noexcept
{
    if (m_workbook)
        forEachRange(*m_workbook, [](const XlsRange& r) { const_cast<XlsRange&>(r).WriteSlot = nullptr; });
    m_workbook = nullptr;
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_sheetPositions.clear();
    m_palette.reset();
}

// FONT records: four default fonts, then every distinct range font.
void BiffWriter::writeFonts()
{
    XlsFont defaultFont;
    defaultFont.Color = kWindowTextColor;
    std::vector<XlsFont> fonts(4, defaultFont);
    forEachRange(*m_workbook, [&](const XlsRange& r) {
        std::size_t pos = 0;
        while (pos < fonts.size() && !(fonts[pos] == r.Font))
            ++pos;
        if (pos == fonts.size())
            fonts.push_back(r.Font);
        // BIFF8 skips font number 4, so list position p is font p + 1 from the fifth on;
        // the first four are one and the same font.
        r.WriteSlot->fontIndex = static_cast<int>(pos + 1);
    });
    for (const XlsFont& f : fonts) {
        biff::FontRecord rec;
        rec.height = static_cast<unsigned>(f.Size * 20);
        rec.italic = f.Style.Italic;
        rec.strikeOut = f.Style.StrikeOut;
        rec.bold = f.Style.Bold;
        rec.underline = f.Style.Underline;
        rec.colorIndex = ColorIndex(f.Color);
        rec.family = pitchByte(f.Pitch);
        rec.charset = f.Charset;
        rec.name = f.Name.toStdU16String();
        WriteRecord(rec::kFont, biff::fontData(rec));
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
    forEachRange(*m_workbook, [&](const XlsRange& r) {
        if (r.Format.isEmpty()) {
            r.WriteSlot->formatIndex = 0; // General
            return;
        }
        for (const Entry& e : formats)
            if (e.text.compare(r.Format, Qt::CaseInsensitive) == 0) {
                r.WriteSlot->formatIndex = static_cast<int>(e.index);
                return;
            }
        formats.push_back({kFirstCustomFormat + appended++, r.Format});
        r.WriteSlot->formatIndex = static_cast<int>(formats.back().index);
    });
    for (const Entry& e : formats)
        WriteRecord(rec::kFormat, biff::formatData(e.index, e.text.toStdU16String()));
}

// The 20 XF data bytes of a range's cell format.
std::string BiffWriter::cellFormatData(const XlsRange& r, const CellWriteInfo& info)
{
    const XlsBorder& left = r.Borders[XlsBorders::kLeft];
    const XlsBorder& right = r.Borders[XlsBorders::kRight];
    const XlsBorder& top = r.Borders[XlsBorders::kTop];
    const XlsBorder& bottom = r.Borders[XlsBorders::kBottom];
    const XlsBorder& down = r.Borders[XlsBorders::kDiagonalDown];
    const XlsBorder& up = r.Borders[XlsBorders::kDiagonalUp];
    auto lineColor = [this](const XlsBorder& b) { return b.LineStyle ? ColorIndex(b.Color) & 0x7Fu : 0u; };

    const unsigned leftColor = lineColor(left);
    const unsigned rightColor = lineColor(right);
    const unsigned topColor = lineColor(top);
    const unsigned bottomColor = lineColor(bottom);
    const XlsBorder* diagonal = up.LineStyle ? &up : down.LineStyle ? &down : nullptr;
    const unsigned diagonalColor = diagonal ? lineColor(*diagonal) : 0u;
    const unsigned diagonalStyle = diagonal ? diagonal->LineStyle & 0x0Fu : 0u;
    const unsigned fore = ColorIndex(r.ForegroundFillColor) & 0x7Fu;
    const unsigned back = ColorIndex(r.BackgroundFillColor) & 0x7Fu;

    biff::XfFields f;
    f.font = static_cast<unsigned>(info.fontIndex);
    f.format = static_cast<unsigned>(info.formatIndex);
    f.typeProt = biff::xf::kCellXf;
    f.alignment = (r.HorizontalAlignment & 0x07u) | (r.WrapText ? 0x08u : 0u) |
                  ((r.VerticalAlignment & 0x07u) << 4);
    f.rotation = r.Rotation;
    f.indent = r.isSingleCell() ? 0u : biff::xf::kMergedCell;
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
    forEachRange(*m_workbook, [&](const XlsRange& r) {
        std::string data = cellFormatData(r, *r.WriteSlot);
        std::size_t pos = 0;
        while (pos < cellXfs.size() && cellXfs[pos] != data)
            ++pos;
        if (pos == cellXfs.size())
            cellXfs.push_back(std::move(data));
        r.WriteSlot->xfIndex = static_cast<int>(pos + biff::kFixedStyleXfs);
    });
    for (unsigned i = 0; i < biff::kFixedStyleXfs; ++i)
        WriteRecord(rec::kXf, biff::fixedXfData(i));
    for (const std::string& data : cellXfs)
        WriteRecord(rec::kXf, data);
}

// SST with its CONTINUE records and EXTSST, when any range has text to store.
void BiffWriter::writeSharedStrings()
{
    std::vector<std::u16string> strings;
    forEachRange(*m_workbook, [&](const XlsRange& r) {
        r.WriteSlot->sstIndex = -1;
        if (r.CellKind() != XlsCellKind::Text)
            return;
        std::u16string text = r.Value().toText().toStdU16String();
        if (text.empty())
            return;
        r.WriteSlot->sstIndex = static_cast<int>(strings.size());
        strings.push_back(std::move(text));
    });
    if (strings.empty())
        return;
    const biff::SstRecords sst = biff::assembleSst(strings, m_stream.size());
    m_stream.bytes(sst.records);
    WriteRecord(rec::kExtSst, sst.extSst);
}

// SUPBOOK, EXTERNSHEET and a NAME Print_Titles per sheet that repeats rows on every page;
// nothing when no sheet does.
void BiffWriter::writePrintTitles()
{
    std::vector<unsigned> sheets;
    for (int s = 0; s < m_workbook->SheetCount(); ++s)
        if (m_workbook->Sheet(s).PrintTitleRows())
            sheets.push_back(static_cast<unsigned>(s));
    if (sheets.empty())
        return;
    WriteRecord(rec::kSupBook, biff::supBookSelfData(static_cast<std::size_t>(m_workbook->SheetCount())));
    WriteRecord(rec::kExternSheet, biff::externSheetData(sheets));
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const XlsRowSpan& rows = *m_workbook->Sheet(static_cast<int>(sheets[i])).PrintTitleRows();
        WriteRecord(rec::kName, biff::printTitlesNameData(sheets[i], static_cast<unsigned>(i),
                                                          static_cast<unsigned>(rows.First),
                                                          static_cast<unsigned>(rows.Last)));
    }
}

// The whole workbook stream: globals, then each sheet, then the sheet positions.
std::string BiffWriter::BuildStream(XlsWorkbook& workbook)
{
    Validate(workbook);
    beginSave(workbook);
    try {
        const int sheets = workbook.SheetCount();
        for (const biff::Record& r :
             biff::globalsHeadRecords(workbook.UserName().toStdU16String(), static_cast<std::size_t>(sheets)))
            WriteRecord(r.number, r.data);
        writeFonts();
        writeFormats();
        writeCellFormats();
        for (const biff::BuiltInStyle& s : biff::kBuiltInStyles)
            WriteRecord(rec::kStyle, biff::styleData(s.xfIndex, s.style));
        if (m_palette.changed())
            WriteRecord(rec::kPalette, biff::paletteData(m_palette.colors()));
        WriteRecord(rec::kUsesElfs, biff::u16Data(0));
        for (int s = 0; s < sheets; ++s) {
            m_sheetPositions.push_back(m_stream.size() + biff::kRecordHeader +
                                       biff::kBoundSheetPositionOffset);
            WriteRecord(rec::kBoundSheet, biff::boundSheetData(workbook.Sheet(s).Name().toStdU16String()));
        }
        WriteRecord(rec::kCountry, biff::countryData());
        writePrintTitles();
        writeSharedStrings();
        WriteRecord(rec::kEof, {});

        for (int s = 0; s < sheets; ++s) {
            const auto bofPos = static_cast<std::uint32_t>(m_stream.size() - m_streamStart);
            biff::writeSheet(m_stream, workbook.Sheet(s), s == 0, m_streamStart);
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
void BiffWriter::Save(XlsWorkbook& workbook, const QString& fileName)
{
    const std::string stream = BuildStream(workbook);
    writeCompoundFile(fileName, stream);
}

} // namespace xls
