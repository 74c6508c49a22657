// The whole workbook stream that BiffWriter builds from a model: the order of the globals,
// the tables, the shared strings, the row blocks with INDEX and DBCELL, merged cells, the
// limits of the format, and the file on disk.

#include "biff_test_support.h"

#include "xls/biff_stream.h"
#include "xls/biff_writer.h"
#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <limits>
#include <optional>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace xls::test {
namespace {

namespace rec = biff::rec;

// Sets a one-cell range's value.
void put(XlsWorksheet& sheet, int column, int row, const XlsValue& value)
{
    sheet.range(column, row, column, row).setValue(value);
}

// A sheet the way the export fills it: a heading row of texts, then numbers and texts.
void fillLikeTheExport(XlsWorksheet& sheet)
{
    for (int c = 0; c < 12; ++c)
        put(sheet, c, 0, XlsValue::text(QStringLiteral("Заголовок %1").arg(c)));
    put(sheet, 0, 1, XlsValue::real(1));
    put(sheet, 1, 1, XlsValue::text(QStringLiteral("01.02.2024")));
    put(sheet, 2, 1, XlsValue::text(QString()));
    for (int c = 3; c <= 10; ++c)
        put(sheet, c, 1, XlsValue::real(c * 1.25));
    for (int r = 2; r <= 5; ++r)
        put(sheet, 10, r, XlsValue::real(r));
    put(sheet, 10, 6, XlsValue::text(QStringLiteral("Примечание")));
}

std::vector<Record> streamOf(XlsWorkbook& book)
{
    BiffWriter writer;
    return parseRecords(writer.buildStream(book));
}

// The records of the globals, BOF to EOF.
std::vector<Record> globalsOf(const std::vector<Record>& records)
{
    std::vector<Record> out;
    for (const Record& r : records) {
        out.push_back(r);
        if (r.number == rec::kEof)
            break;
    }
    return out;
}

// The records of the n-th sheet, BOF to EOF.
std::vector<Record> sheetOf(const std::vector<Record>& records, int n)
{
    std::vector<Record> out;
    int eofs = 0;
    for (const Record& r : records) {
        if (eofs == n + 1)
            out.push_back(r);
        if (r.number == rec::kEof && ++eofs > n + 1)
            break;
    }
    return out;
}

TEST(BiffWriter, GlobalsComeInTheirOrder)
{
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    const std::vector<unsigned> expected = {
        rec::kBof, rec::kInterfaceHdr, rec::kMms, rec::kInterfaceEnd, rec::kWriteAccess, rec::kCodePage,
        rec::kDsf, rec::kExcel9File, rec::kTabId, rec::kFnGroupCount, rec::kWindowProtect, rec::kProtect,
        rec::kPassword, rec::kProt4Rev, rec::kProt4RevPass, rec::kWindow1, rec::kBackup, rec::kHideObj,
        rec::kDate1904, rec::kPrecision, rec::kRefreshAll, rec::kBookBool,
        rec::kFont, rec::kFont, rec::kFont, rec::kFont, rec::kFont,
        rec::kFormat, rec::kFormat, rec::kFormat, rec::kFormat, rec::kFormat, rec::kFormat, rec::kFormat,
        rec::kFormat,
        // 15 style XFs, 6 fixed cell XFs, the export's one cell XF
        rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf,
        rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf, rec::kXf,
        rec::kXf, rec::kXf,
        rec::kStyle, rec::kStyle, rec::kStyle, rec::kStyle, rec::kStyle, rec::kStyle,
        rec::kUsesElfs, rec::kBoundSheet, rec::kCountry, rec::kSst, rec::kExtSst, rec::kEof,
    };
    EXPECT_EQ(numbersOf(globalsOf(streamOf(book))), expected);
}

TEST(BiffWriter, TheExportGetsFiveFontsAndOneCellFormat)
{
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    const std::vector<Record> records = streamOf(book);
    const std::vector<Record> fonts = recordsNumbered(globalsOf(records), rec::kFont);
    ASSERT_EQ(fonts.size(), 5u);
    // height 200, no options, colour 8, weight 400 (normal), no escapement or underline,
    // family 0, character set 1, "Arial"
    const std::string arial = hex("C8 00 00 00 08 00 90 01 00 00 00 00 01 00  05 01 41 00 72 00 69 00 61 00 6C 00");
    for (const Record& f : fonts)
        EXPECT_TRUE(sameBytes(f.data, arial));

    const std::vector<Record> xfs = recordsNumbered(globalsOf(records), rec::kXf);
    ASSERT_EQ(xfs.size(), 22u);
    EXPECT_TRUE(sameBytes(xfs[21].data, hex("05 00 00 00 01 00 20 00 00 7C 00 00 00 00 00 00 00 00 08 04")));

    const std::vector<Record> formats = recordsNumbered(globalsOf(records), rec::kFormat);
    const unsigned indexes[] = {5, 6, 7, 8, 42, 41, 44, 43};
    ASSERT_EQ(formats.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(u16At(formats[i].data, 0), indexes[i]);
    // 5 #,##0"р.";\-#,##0"р."
    EXPECT_TRUE(sameBytes(formats[0].data,
                          hex("05 00 15 00 01 23 00 2C 00 23 00 23 00 30 00 22 00 40 04 2E 00 22 00 3B 00"
                              "5C 00 2D 00 23 00 2C 00 23 00 23 00 30 00 22 00 40 04 2E 00 22 00")));

    // Every cell record carries XF 21.
    for (const Record& r : sheetOf(records, 0)) {
        if (r.number == rec::kNumber || r.number == rec::kLabelSst || r.number == rec::kBlank) {
            EXPECT_EQ(u16At(r.data, 4), 21u) << "record at " << r.pos;
        }
    }
    EXPECT_TRUE(recordsNumbered(records, rec::kPalette).empty());
}

// The rows of an exported record: first columns and last columns + 1, the cell records.
TEST(BiffWriter, RowsAndCellsOfAnExportedRecord)
{
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    const std::vector<Record> sheet = sheetOf(streamOf(book), 0);
    const std::vector<Record> rows = recordsNumbered(sheet, rec::kRow);
    ASSERT_EQ(rows.size(), 7u);
    const unsigned spans[7][2] = {{0, 12}, {0, 11}, {10, 11}, {10, 11}, {10, 11}, {10, 11}, {10, 11}};
    for (unsigned r = 0; r < 7; ++r) {
        EXPECT_EQ(u16At(rows[r].data, 0), r);
        EXPECT_EQ(u16At(rows[r].data, 2), spans[r][0]) << "row " << r;
        EXPECT_EQ(u16At(rows[r].data, 4), spans[r][1]) << "row " << r;
    }
    std::vector<unsigned> cells;
    for (const Record& r : sheet)
        if (r.number == rec::kNumber || r.number == rec::kLabelSst || r.number == rec::kBlank)
            cells.push_back(r.number);
    std::vector<unsigned> expected(12, rec::kLabelSst);
    expected.push_back(rec::kNumber);
    expected.push_back(rec::kLabelSst);
    expected.push_back(rec::kBlank); // the empty text in column 2
    expected.insert(expected.end(), 8, rec::kNumber);
    expected.insert(expected.end(), 4, rec::kNumber);
    expected.push_back(rec::kLabelSst);
    EXPECT_EQ(cells, expected);

    const Record dims = recordsNumbered(sheet, rec::kDimensions).at(0);
    EXPECT_TRUE(sameBytes(dims.data, hex("00 00 00 00 07 00 00 00 00 00 0C 00 00 00")));
    const Record window = recordsNumbered(sheet, rec::kWindow2).at(0);
    EXPECT_EQ(u16At(window.data, 0), 0x06B6u);
    EXPECT_TRUE(recordsNumbered(sheet, rec::kMergedCells).empty());
}

TEST(BiffWriter, ASheetWithoutRangesIsWrittenEmpty)
{
    XlsWorkbook book;
    book.addSheet();
    const std::vector<Record> records = streamOf(book);
    const std::vector<Record> globals = globalsOf(records);
    ASSERT_GE(globals.size(), 2u);
    EXPECT_EQ(globals[globals.size() - 2].number, rec::kCountry);
    EXPECT_TRUE(recordsNumbered(records, rec::kSst).empty());
    EXPECT_TRUE(recordsNumbered(records, rec::kExtSst).empty());
    const std::vector<Record> sheet = sheetOf(records, 0);
    EXPECT_TRUE(sameBytes(recordsNumbered(sheet, rec::kIndex).at(0).data, std::string(16, '\0')));
    EXPECT_TRUE(sameBytes(recordsNumbered(sheet, rec::kDimensions).at(0).data, std::string(14, '\0')));
    EXPECT_TRUE(recordsNumbered(sheet, rec::kRow).empty());
    EXPECT_TRUE(recordsNumbered(sheet, rec::kDbCell).empty());
    // The substream from BOF to EOF, record by record.
    const std::vector<unsigned> expected = {
        rec::kBof, rec::kIndex, rec::kCalcMode, rec::kCalcCount, rec::kRefMode, rec::kIteration,
        rec::kDelta, rec::kSaveRecalc, rec::kPrintHeaders, rec::kPrintGridLines, rec::kGridSet,
        rec::kGuts, rec::kDefaultRowHeight, rec::kWsBool, rec::kHeader, rec::kFooter, rec::kHCenter,
        rec::kVCenter, rec::kLeftMargin, rec::kRightMargin, rec::kTopMargin, rec::kBottomMargin,
        rec::kSetup, rec::kDefColWidth, rec::kDimensions, rec::kWindow2, rec::kSelection, rec::kEof,
    };
    EXPECT_EQ(numbersOf(sheet), expected);
    // The margins: 2.0, 2.0, 2.5, 2.5; DELTA 0.001.
    EXPECT_TRUE(sameBytes(recordsNumbered(sheet, rec::kLeftMargin).at(0).data, hex("00 00 00 00 00 00 00 40")));
    EXPECT_TRUE(sameBytes(recordsNumbered(sheet, rec::kBottomMargin).at(0).data, hex("00 00 00 00 00 00 04 40")));
    EXPECT_TRUE(sameBytes(recordsNumbered(sheet, rec::kDelta).at(0).data, hex("FC A9 F1 D2 4D 62 50 3F")));
    EXPECT_TRUE(recordsNumbered(sheet, rec::kHeader).at(0).data.empty());
}

// Column widths: COLINFO records right after DEFCOLWIDTH, one per run of neighbouring columns
// of one width; every other record of the sheet stays as it is without widths.
TEST(BiffWriter, ColumnWidthsFollowDefColWidth)
{
    XlsWorkbook plain;
    fillLikeTheExport(plain.addSheet());
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    fillLikeTheExport(sheet);
    for (int c : {2, 0, 1})
        sheet.setColumnWidth(c, 10 * 256);
    sheet.setColumnWidth(5, 512);
    sheet.setColumnWidth(11, 0);
    BiffWriter writer;
    const std::string stream = writer.buildStream(book);
    const std::vector<Record> records = parseRecords(stream);
    const std::vector<Record> sheetRecords = sheetOf(records, 0);

    std::vector<unsigned> expected = numbersOf(sheetOf(streamOf(plain), 0));
    const auto defColWidth = std::find(expected.begin(), expected.end(), rec::kDefColWidth);
    ASSERT_NE(defColWidth, expected.end());
    expected.insert(defColWidth + 1, 3, rec::kColInfo);
    EXPECT_EQ(numbersOf(sheetRecords), expected);

    // first column, last column, width, XF 15, options (2 width set, 1 hidden), reserved
    const std::vector<Record> colInfos = recordsNumbered(sheetRecords, rec::kColInfo);
    ASSERT_EQ(colInfos.size(), 3u);
    EXPECT_TRUE(sameBytes(colInfos[0].data, hex("00 00 02 00 00 0A 0F 00 02 00 00 00")));
    EXPECT_TRUE(sameBytes(colInfos[1].data, hex("05 00 05 00 00 02 0F 00 02 00 00 00")));
    EXPECT_TRUE(sameBytes(colInfos[2].data, hex("0B 00 0B 00 00 00 0F 00 03 00 00 00")));
    // XF 15 is a cell format (its style bit clear), not one of the style formats before it.
    EXPECT_EQ(u16At(recordsNumbered(globalsOf(records), rec::kXf).at(15).data, 4) & 0x0004u, 0u);
    // INDEX still finds the DBCELL record, which the COLINFO records pushed further on.
    const std::vector<Record> dbCells = recordsNumbered(sheetRecords, rec::kDbCell);
    ASSERT_EQ(dbCells.size(), 1u);
    EXPECT_EQ(u32At(recordsNumbered(sheetRecords, rec::kIndex).at(0).data, 16), dbCells[0].pos);
}

// Frozen panes: WINDOW2 says so, PANE follows it, then one SELECTION per pane (the cursor in
// the first cell of each), the top-left pane first; without them a single SELECTION of A1.
TEST(BiffWriter, FrozenPanesFollowWindow2)
{
    struct Selection {
        unsigned pane, row, column;
        bool operator==(const Selection&) const = default;
    };
    struct Case {
        int rows, columns;
        std::vector<Selection> selections;
    };
    const Case cases[] = {
        {0, 0, {{3, 0, 0}}},
        {1, 0, {{3, 0, 0}, {2, 1, 0}}},
        {0, 2, {{3, 0, 0}, {1, 0, 2}}},
        {2, 3, {{3, 0, 0}, {1, 0, 3}, {2, 2, 0}, {0, 2, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows, " << c.columns << " columns");
        XlsWorkbook book;
        XlsWorksheet& sheet = book.addSheet();
        fillLikeTheExport(sheet);
        sheet.setFrozenPanes(c.rows, c.columns);
        const std::vector<Record> records = sheetOf(streamOf(book), 0);
        std::size_t w = 0;
        while (w < records.size() && records[w].number != rec::kWindow2)
            ++w;
        ASSERT_LT(w, records.size());
        const bool frozen = c.rows > 0 || c.columns > 0;
        EXPECT_EQ(u16At(records[w].data, 0) & 0x0108u, frozen ? 0x0108u : 0u);
        std::size_t next = w + 1;
        if (frozen) {
            ASSERT_EQ(records[next].number, rec::kPane);
            const std::string& pane = records[next].data;
            EXPECT_EQ(u16At(pane, 0), static_cast<unsigned>(c.columns));
            EXPECT_EQ(u16At(pane, 2), static_cast<unsigned>(c.rows));
            EXPECT_EQ(u16At(pane, 4), static_cast<unsigned>(c.rows));
            EXPECT_EQ(u16At(pane, 6), static_cast<unsigned>(c.columns));
            // The cursor's pane is the last selection's: the one that scrolls both ways.
            EXPECT_EQ(static_cast<unsigned char>(pane[8]), c.selections.back().pane);
            ++next;
        } else {
            EXPECT_TRUE(recordsNumbered(records, rec::kPane).empty());
        }
        std::vector<Selection> selections;
        for (; next < records.size() && records[next].number == rec::kSelection; ++next) {
            const std::string& d = records[next].data;
            selections.push_back({static_cast<unsigned char>(d[0]), u16At(d, 1), u16At(d, 3)});
            // One reference (pane, row, column, active reference, count at 7), the cursor's cell.
            EXPECT_EQ(u16At(d, 7), 1u);
            EXPECT_TRUE(sameBytes(d.substr(9), d.substr(1, 2) + d.substr(1, 2) + d.substr(3, 1) + d.substr(3, 1)));
        }
        EXPECT_EQ(selections, c.selections);
        ASSERT_LT(next, records.size());
        EXPECT_EQ(records[next].number, rec::kEof);
    }
}

// A row with a height of its own carries it in its ROW record, flagged as set; the other
// rows keep the default. A height for a row outside the used area writes no ROW record.
TEST(BiffWriter, RowHeightsGoIntoTheirRowRecords)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    fillLikeTheExport(sheet); // rows 0..6
    sheet.setRowHeight(0, 510);
    sheet.setRowHeight(3, 1000);
    sheet.setRowHeight(4, XlsWorksheet::kDefaultRowHeight);
    sheet.setRowHeight(40, 600);
    const std::vector<Record> rows = recordsNumbered(sheetOf(streamOf(book), 0), rec::kRow);
    ASSERT_EQ(rows.size(), 7u);
    const unsigned heights[] = {510, 255, 255, 1000, 255, 255, 255};
    for (unsigned r = 0; r < 7; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(u16At(rows[r].data, 0), r);
        EXPECT_EQ(u16At(rows[r].data, 6), heights[r]);
        EXPECT_EQ(u16At(rows[r].data, 12), heights[r] == 255 ? 0u : 0x0040u);
    }
}

// The page settings of the model reach SETUP (orientation, pages wide and tall) and WSBOOL
// (fit to pages instead of the zoom).
TEST(BiffWriter, PrintSettingsReachSetupAndWsBool)
{
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    XlsPageSetup& page = book.addSheet().pageSetup();
    page.Orientation = XlsPageSetup::kLandscape;
    page.FitToPages = true;
    page.FitToPagesWide = 1;
    page.FitToPagesTall = 0;
    const std::vector<Record> records = streamOf(book);
    struct Expected {
        unsigned wsBool, wide, tall, flags;
    };
    const Expected sheets[] = {{0x04C1, 1, 1, 0x0002}, {0x05C1, 1, 0, 0x0000}};
    for (int s = 0; s < 2; ++s) {
        SCOPED_TRACE(s);
        const std::vector<Record> sheet = sheetOf(records, s);
        EXPECT_EQ(u16At(recordsNumbered(sheet, rec::kWsBool).at(0).data, 0), sheets[s].wsBool);
        const std::string setup = recordsNumbered(sheet, rec::kSetup).at(0).data;
        EXPECT_EQ(u16At(setup, 6), sheets[s].wide);
        EXPECT_EQ(u16At(setup, 8), sheets[s].tall);
        EXPECT_EQ(u16At(setup, 10), sheets[s].flags);
    }
}

// Rows repeated on every page: after COUNTRY one SUPBOOK of this workbook, one EXTERNSHEET
// with an entry per sheet that repeats rows, and one NAME Print_Titles per such sheet.
TEST(BiffWriter, PrintTitlesAreNamesInTheGlobals)
{
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    book.addSheet();
    put(book.addSheet(), 0, 0, XlsValue::text(QStringLiteral("третий")));
    book.sheet(0).setPrintTitleRows(0, 0);
    book.sheet(2).setPrintTitleRows(3, 4);
    BiffWriter writer;
    const std::string stream = writer.buildStream(book);
    const std::vector<Record> records = parseRecords(stream);
    const std::vector<Record> globals = globalsOf(records);

    std::vector<unsigned> numbers = numbersOf(globals);
    const auto country = std::find(numbers.begin(), numbers.end(), rec::kCountry);
    ASSERT_NE(country, numbers.end());
    const std::vector<unsigned> tail(country, numbers.end());
    const std::vector<unsigned> expectedTail = {rec::kCountry, rec::kSupBook, rec::kExternSheet, rec::kName,
                                                rec::kName, rec::kSst, rec::kExtSst, rec::kEof};
    EXPECT_EQ(tail, expectedTail);

    // Three sheets; references to itself.
    EXPECT_TRUE(sameBytes(recordsNumbered(globals, rec::kSupBook).at(0).data, hex("03 00 01 04")));
    // Entry 0: sheet 0, entry 1: sheet 2, both through SUPBOOK 0.
    EXPECT_TRUE(sameBytes(recordsNumbered(globals, rec::kExternSheet).at(0).data,
                          hex("02 00  00 00 00 00 00 00  00 00 02 00 02 00")));
    struct Name {
        unsigned sheetFrom1, entry, firstRow, lastRow;
    };
    const Name names[] = {{1, 0, 0, 0}, {3, 1, 3, 4}};
    const std::vector<Record> nameRecords = recordsNumbered(globals, rec::kName);
    ASSERT_EQ(nameRecords.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const std::string& d = nameRecords[i].data;
        ASSERT_EQ(d.size(), 27u);
        EXPECT_EQ(u16At(d, 0), 0x0020u); // built-in name
        EXPECT_EQ(u16At(d, 4), 11u);     // formula size
        EXPECT_EQ(u16At(d, 8), names[i].sheetFrom1);
        EXPECT_TRUE(sameBytes(d.substr(14, 3), hex("00 07 3B"))); // Print_Titles, ptgArea3d
        EXPECT_EQ(u16At(d, 17), names[i].entry);
        EXPECT_EQ(u16At(d, 19), names[i].firstRow);
        EXPECT_EQ(u16At(d, 21), names[i].lastRow);
        EXPECT_EQ(u16At(d, 23), 0u);
        EXPECT_EQ(u16At(d, 25), 0xFFu);
    }

    // The sheets still start where BOUNDSHEET says, and EXTSST still finds the first string.
    const std::vector<Record> boundSheets = recordsNumbered(globals, rec::kBoundSheet);
    const std::vector<Record> bofs = recordsNumbered(records, rec::kBof);
    ASSERT_EQ(boundSheets.size(), 3u);
    ASSERT_EQ(bofs.size(), 4u);
    for (std::size_t s = 0; s < 3; ++s)
        EXPECT_EQ(u32At(boundSheets[s].data, 0), bofs[s + 1].pos);
    const Record sst = recordsNumbered(globals, rec::kSst).at(0);
    EXPECT_EQ(u32At(recordsNumbered(globals, rec::kExtSst).at(0).data, 2), sst.pos + 12);
}

// A 5000-character text: SST of 8223 data bytes, CONTINUE of 1789, EXTSST offset 12.
TEST(BiffWriter, ALongTextContinuesWithItsFlagByte)
{
    XlsWorkbook book;
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QChar(u'А' + i % 32);
    put(book.addSheet(), 0, 0, XlsValue::text(text));
    const std::vector<Record> records = streamOf(book);
    std::size_t sst = 0;
    while (sst < records.size() && records[sst].number != rec::kSst)
        ++sst;
    ASSERT_LT(sst + 2, records.size());
    EXPECT_EQ(records[sst].data.size(), 8223u);
    EXPECT_TRUE(sameBytes(records[sst].data.substr(0, 11), hex("01 00 00 00 01 00 00 00 88 13 01")));
    EXPECT_EQ(records[sst + 1].number, rec::kContinue);
    ASSERT_EQ(records[sst + 1].data.size(), 1789u);
    EXPECT_EQ(records[sst + 1].data[0], '\x01');
    // The characters, joined across the two records, are the text.
    const std::string chars = records[sst].data.substr(11) + records[sst + 1].data.substr(1);
    ASSERT_EQ(chars.size(), 10000u);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(u16At(chars, 2 * static_cast<std::size_t>(i)), text[i].unicode()) << "character " << i;
    EXPECT_EQ(records[sst + 2].number, rec::kExtSst);
    biff::ByteBuffer ext;
    ext.u16(8);
    ext.u32(static_cast<std::uint32_t>(records[sst].pos + 12));
    ext.u16(12);
    ext.u16(0);
    EXPECT_TRUE(sameBytes(records[sst + 2].data, ext.str()));
}

// One EXTSST entry for the first string of every bucket of max(strings / 128 + 1, 8)
// strings, each pointing at its string's header.
TEST(BiffWriter, ExtSstNotesTheFirstStringOfEveryBucket)
{
    struct Case {
        int texts;
        unsigned perBucket;
        std::size_t entries;
    };
    for (const Case c : {Case{1, 8, 1}, Case{8, 8, 1}, Case{9, 8, 2}, Case{1000, 8, 125}, Case{1024, 9, 114},
                         Case{3000, 24, 125}}) {
        SCOPED_TRACE(c.texts);
        XlsWorkbook book;
        XlsWorksheet& sheet = book.addSheet();
        const auto textOf = [](std::size_t i) { return QStringLiteral("%1 строка").arg(i); };
        for (int i = 0; i < c.texts; ++i)
            put(sheet, 0, i, XlsValue::text(textOf(static_cast<std::size_t>(i))));
        BiffWriter writer;
        const std::string stream = writer.buildStream(book);
        const std::vector<Record> records = parseRecords(stream);
        const Record ext = recordsNumbered(records, rec::kExtSst).at(0);
        ASSERT_EQ(ext.data.size(), 2 + 8 * c.entries);
        EXPECT_EQ(u16At(ext.data, 0), c.perBucket);
        const Record sst = recordsNumbered(records, rec::kSst).at(0);
        EXPECT_EQ(u32At(sst.data, 0), static_cast<unsigned long>(c.texts));
        EXPECT_EQ(u32At(sst.data, 4), static_cast<unsigned long>(c.texts));
        for (std::size_t e = 0; e < c.entries; ++e) {
            const unsigned long pos = u32At(ext.data, 2 + 8 * e);
            const unsigned offset = u16At(ext.data, 6 + 8 * e);
            // The string there is the first of bucket e.
            const QString want = textOf(c.perBucket * e);
            ASSERT_LT(pos + 3 + 2 * want.size(), stream.size());
            EXPECT_EQ(u16At(stream, pos), static_cast<unsigned>(want.size())) << "entry " << e;
            EXPECT_EQ(stream[pos + 2], '\x01') << "entry " << e;
            // The offset counts from the header of the record that holds the string.
            const std::size_t recordStart = pos - offset;
            const unsigned number = u16At(stream, recordStart);
            EXPECT_TRUE(number == rec::kSst || number == rec::kContinue) << "entry " << e;
            // Its characters, as far as the record holds them.
            const std::size_t recordEnd = recordStart + 4 + u16At(stream, recordStart + 2);
            for (qsizetype i = 0; i < want.size() && pos + 3 + 2 * static_cast<std::size_t>(i) + 1 < recordEnd; ++i)
                ASSERT_EQ(u16At(stream, pos + 3 + 2 * static_cast<std::size_t>(i)), want[i].unicode())
                    << "entry " << e << ", character " << i;
        }
    }
}

// A string's header never starts within the last four bytes of a record.
TEST(BiffWriter, AStringHeaderIsNeverSplit)
{
    // 8 count bytes + 3 + 2 * 4104 = 8219: the 5 bytes left take a header and one character,
    // which fills the record; the next string opens a CONTINUE record.
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    put(sheet, 0, 0, XlsValue::text(QString(4104, u'ж')));
    put(sheet, 0, 1, XlsValue::text(QStringLiteral("a")));
    put(sheet, 0, 2, XlsValue::text(QStringLiteral("bc")));
    const std::vector<Record> records = streamOf(book);
    EXPECT_EQ(recordsNumbered(records, rec::kSst).at(0).data.size(), 8224u);
    const std::vector<Record> continues = recordsNumbered(globalsOf(records), rec::kContinue);
    ASSERT_EQ(continues.size(), 1u);
    EXPECT_TRUE(sameBytes(continues[0].data, hex("02 00 01 62 00 63 00")));

    // 8 + (3 + 2 * 4100) + (3 + 2 * 3) = 8220: with 4 bytes left the next string goes whole
    // into a CONTINUE record.
    XlsWorkbook book2;
    XlsWorksheet& sheet2 = book2.addSheet();
    put(sheet2, 0, 0, XlsValue::text(QString(4100, u'ж')));
    put(sheet2, 0, 1, XlsValue::text(QStringLiteral("abc")));
    put(sheet2, 0, 2, XlsValue::text(QStringLiteral("é")));
    const std::vector<Record> records2 = streamOf(book2);
    EXPECT_EQ(recordsNumbered(records2, rec::kSst).at(0).data.size(), 8220u);
    const std::vector<Record> continues2 = recordsNumbered(globalsOf(records2), rec::kContinue);
    ASSERT_EQ(continues2.size(), 1u);
    EXPECT_TRUE(sameBytes(continues2[0].data, hex("01 00 01 E9 00")));
}

TEST(BiffWriter, EqualTextsAreNotMerged)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    put(sheet, 0, 0, XlsValue::text(QStringLiteral("тот же")));
    put(sheet, 1, 0, XlsValue::text(QStringLiteral("тот же")));
    const std::vector<Record> records = streamOf(book);
    const Record sst = recordsNumbered(records, rec::kSst).at(0);
    EXPECT_EQ(u32At(sst.data, 0), 2u);
    EXPECT_EQ(u32At(sst.data, 4), 2u);
    const std::vector<Record> labels = recordsNumbered(records, rec::kLabelSst);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(u32At(labels[0].data, 6), 0u);
    EXPECT_EQ(u32At(labels[1].data, 6), 1u);
}

TEST(BiffWriter, AnEmptyTextGivesABlankAndNoString)
{
    XlsWorkbook book;
    put(book.addSheet(), 3, 2, XlsValue::text(QString()));
    const std::vector<Record> records = streamOf(book);
    EXPECT_TRUE(recordsNumbered(records, rec::kSst).empty());
    const std::vector<Record> blanks = recordsNumbered(records, rec::kBlank);
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_TRUE(sameBytes(blanks[0].data, hex("02 00 03 00 15 00")));
}

TEST(BiffWriter, AMergedRangeHasItsValueTopLeftAndBlanksElsewhere)
{
    XlsWorkbook book;
    book.addSheet().range(0, 0, 2, 1).setValue(XlsValue::real(5));
    const std::vector<Record> sheet = sheetOf(streamOf(book), 0);
    std::string cells;
    for (const Record& r : sheet)
        if (r.number == rec::kNumber || r.number == rec::kMulBlank || r.number == rec::kBlank)
            cells += framed(r.number, r.data);
    EXPECT_TRUE(sameBytes(cells, hex("03 02 0E 00  00 00 00 00 15 00 00 00 00 00 00 00 14 40"
                                     "BE 00 0A 00  00 00 01 00 15 00 15 00 02 00"
                                     "BE 00 0C 00  01 00 00 00 15 00 15 00 15 00 02 00")));
    const std::vector<Record> merged = recordsNumbered(sheet, rec::kMergedCells);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_TRUE(sameBytes(merged[0].data, hex("01 00  00 00 01 00 00 00 02 00")));
}

TEST(BiffWriter, MergedCellsGoInRecordsOfAtMost1024)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    for (int i = 0; i < 1025; ++i)
        sheet.range(0, i, 1, i).setValue(XlsValue::real(i));
    const std::vector<Record> merged = recordsNumbered(sheetOf(streamOf(book), 0), rec::kMergedCells);
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[0].data.size(), 8194u);
    EXPECT_EQ(u16At(merged[0].data, 0), 1024u);
    EXPECT_TRUE(sameBytes(merged[1].data, hex("01 00  00 04 00 04 00 00 01 00")));
}

// 33 used rows: two row blocks, the second with a single ROW record.
TEST(BiffWriter, IndexAndDbCellOf33Rows)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    for (int r = 0; r < 33; ++r)
        put(sheet, 0, r, XlsValue::real(r));
    BiffWriter writer;
    const std::string stream = writer.buildStream(book);
    const std::vector<Record> records = sheetOf(parseRecords(stream), 0);
    const std::vector<Record> dbCells = recordsNumbered(records, rec::kDbCell);
    ASSERT_EQ(dbCells.size(), 2u);

    biff::ByteBuffer index;
    index.u32(0);
    index.u32(0);
    index.u32(33);
    index.u32(0);
    index.u32(static_cast<std::uint32_t>(dbCells[0].pos));
    index.u32(static_cast<std::uint32_t>(dbCells[1].pos));
    EXPECT_TRUE(sameBytes(recordsNumbered(records, rec::kIndex).at(0).data, index.str()));

    // Block 1: 32 ROW records (20 bytes each), 32 NUMBER records (18 bytes each).
    biff::ByteBuffer first;
    first.u32(32 * 20 + 32 * 18);
    first.u16(31 * 20);
    for (int i = 1; i < 32; ++i)
        first.u16(18);
    EXPECT_TRUE(sameBytes(dbCells[0].data, first.str()));
    EXPECT_TRUE(sameBytes(dbCells[1].data, hex("26 00 00 00 00 00")));

    // dbRtrw leads back to the block's first ROW, each offset to the row's first cell.
    for (const Record& db : dbCells) {
        const std::size_t firstRow = db.pos - u32At(db.data, 0);
        EXPECT_EQ(u16At(stream, firstRow), rec::kRow);
        std::size_t cell = firstRow + 20;
        for (std::size_t i = 4; i < db.data.size(); i += 2) {
            cell += u16At(db.data, i);
            EXPECT_EQ(u16At(stream, cell), rec::kNumber) << "offset " << (i - 4) / 2;
            EXPECT_EQ(u16At(stream, cell + 4), u32At(db.data, 0) == 38 ? 32u : (i - 4) / 2);
        }
    }
}

// A row that no range covers still gets its ROW, and the offsets step over it.
TEST(BiffWriter, ARowWithoutCellsHasARowRecordAndAnOffset)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    put(sheet, 1, 0, XlsValue::real(1));
    put(sheet, 2, 2, XlsValue::real(2));
    const std::vector<Record> records = sheetOf(streamOf(book), 0);
    const std::vector<Record> rows = recordsNumbered(records, rec::kRow);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(sameBytes(rows[1].data, hex("01 00 00 00 00 00 FF 00 00 00 00 00 00 00 00 00")));
    // Row 0: from the second ROW over two ROW records; row 1: after row 0's one NUMBER;
    // row 2: where row 1's cells would have begun, so 0.
    EXPECT_TRUE(sameBytes(recordsNumbered(records, rec::kDbCell).at(0).data,
                          hex("60 00 00 00  28 00 12 00 00 00")));
}

TEST(BiffWriter, WindowFlagsSelectOnlyTheFirstSheet)
{
    XlsWorkbook book;
    book.addSheet();
    book.addSheet();
    book.addSheet();
    const std::vector<Record> records = streamOf(book);
    const unsigned flags[] = {0x06B6, 0x04B6, 0x04B6};
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(u16At(recordsNumbered(sheetOf(records, s), rec::kWindow2).at(0).data, 0), flags[s]);
    EXPECT_TRUE(sameBytes(recordsNumbered(records, rec::kTabId).at(0).data, hex("01 00 02 00 03 00")));
}

TEST(BiffWriter, BoundSheetsPointAtTheirSheets)
{
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    book.addSheet().setName(QStringLiteral("Второй"));
    BiffWriter writer;
    const std::string stream = writer.buildStream(book);
    const std::vector<Record> records = parseRecords(stream);
    const std::vector<Record> sheets = recordsNumbered(records, rec::kBoundSheet);
    ASSERT_EQ(sheets.size(), 2u);
    std::vector<std::size_t> bofs;
    for (const Record& r : recordsNumbered(records, rec::kBof))
        bofs.push_back(r.pos);
    ASSERT_EQ(bofs.size(), 3u);
    EXPECT_EQ(u32At(sheets[0].data, 0), bofs[1]);
    EXPECT_EQ(u32At(sheets[1].data, 0), bofs[2]);
    EXPECT_EQ(u16At(stream, bofs[1] + 6), 0x0010u);
    EXPECT_TRUE(sameBytes(sheets[1].data.substr(4), hex("00 00 06 01 12 04 42 04 3E 04 40 04 3E 04 39 04")));
}

// The first colour that the palette does not hold takes palette index 24 and is kept.
TEST(BiffWriter, ANewColourTakesTheFirstFreePaletteEntry)
{
    BiffWriter writer;
    EXPECT_EQ(writer.colorIndex(kXlsBlack), 8u);
    EXPECT_EQ(writer.colorIndex(0x00030201), 24u);
    EXPECT_EQ(writer.colorIndex(0x00030201), 24u);
    EXPECT_TRUE(writer.paletteChanged());
    EXPECT_EQ(writer.colorIndex(0x00060504), 25u);
    EXPECT_EQ(writer.colorIndex(kXlsSystemColorFlag | 8), 8u); // window text: black

    XlsWorkbook book;
    XlsRange& cell = book.addSheet().range(0, 0, 0, 0);
    cell.setValue(XlsValue::real(1));
    cell.Font.Color = 0x00030201;
    const std::vector<Record> records = streamOf(book);
    const std::vector<Record> palette = recordsNumbered(records, rec::kPalette);
    ASSERT_EQ(palette.size(), 1u);
    EXPECT_TRUE(sameBytes(palette[0].data.substr(2 + 16 * 4, 4), hex("01 02 03 00")));
    EXPECT_EQ(u16At(recordsNumbered(records, rec::kFont).at(4).data, 4), 24u);
}

// Styles that differ give cell formats of their own; equal ones share one.
TEST(BiffWriter, CellFormatsFollowTheRangeStyle)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    XlsRange& plain = sheet.range(0, 0, 0, 0);
    XlsRange& same = sheet.range(1, 0, 1, 0);
    XlsRange& styled = sheet.range(2, 0, 2, 0);
    XlsRange& formatted = sheet.range(3, 0, 3, 0);
    XlsRange& formattedToo = sheet.range(4, 0, 4, 0);
    styled.HorizontalAlignment = 3;
    styled.WrapText = true;
    styled.VerticalAlignment = 1;
    styled.Borders[XlsBorders::kLeft].LineStyle = 1;
    styled.Borders[XlsBorders::kTop].LineStyle = 2;
    styled.Borders[XlsBorders::kDiagonalUp].LineStyle = 5;
    styled.Font.Style.Bold = true;
    formatted.Format = QStringLiteral("0.000");
    formattedToo.Format = QStringLiteral("0.000");
    (void)plain;
    (void)same;
    const std::vector<Record> records = streamOf(book);
    const std::vector<Record> xfs = recordsNumbered(records, rec::kXf);
    ASSERT_EQ(xfs.size(), 24u); // 21 + plain + styled + formatted
    // styled: font 6 (bold), format 0, right + wrap + centre, borders left thin, top medium,
    // up diagonal thick; colours black (8) for the lines that have one.
    EXPECT_TRUE(sameBytes(xfs[22].data, hex("06 00 00 00 01 00 1B 00 00 7C  01 02  08 80  08 00 A2 00  08 04")));
    EXPECT_EQ(u16At(xfs[23].data, 2), 50u);
    const std::vector<Record> formats = recordsNumbered(records, rec::kFormat);
    ASSERT_EQ(formats.size(), 9u);
    EXPECT_TRUE(sameBytes(formats[8].data, hex("32 00 05 00 01 30 00 2E 00 30 00 30 00 30 00")));
    const std::vector<Record> fonts = recordsNumbered(records, rec::kFont);
    ASSERT_EQ(fonts.size(), 6u);
    EXPECT_EQ(u16At(fonts[5].data, 6), 700u); // bold
    EXPECT_EQ(u16At(fonts[4].data, 6), 400u); // normal
    std::vector<unsigned> cellXfs;
    for (const Record& r : recordsNumbered(records, rec::kBlank))
        cellXfs.push_back(u16At(r.data, 4));
    EXPECT_EQ(cellXfs, (std::vector<unsigned>{21, 21, 22, 23, 23}));
}

TEST(BiffWriter, TheUserNameIsCutToWhatWriteAccessHolds)
{
    XlsWorkbook book;
    book.setUserName(QString(66, u'Ю'));
    book.addSheet();
    const Record access = recordsNumbered(streamOf(book), rec::kWriteAccess).at(0);
    ASSERT_EQ(access.data.size(), 112u);
    EXPECT_EQ(u16At(access.data, 0), 54u);
}

TEST(BiffWriter, ATextLongerThanTheFormatHoldsIsCut)
{
    XlsWorkbook book;
    put(book.addSheet(), 0, 0, XlsValue::text(QString(70000, u'я')));
    const Record sst = recordsNumbered(streamOf(book), rec::kSst).at(0);
    EXPECT_EQ(u16At(sst.data, 8), 65535u);
}

// Saves `book`: without `error` the file is written and reads cleanly; with it, the writer
// refuses with that code, says why, and leaves no file behind.
void expectSavedOrRefused(XlsWorkbook& book, const std::optional<XlsError::Code>& error)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("limits.xls"));
    BiffWriter writer;
    if (!error) {
        EXPECT_NO_THROW(writer.save(book, file));
        EXPECT_TRUE(readsCleanly(file));
        return;
    }
    try {
        writer.save(book, file);
        ADD_FAILURE() << "no error";
    } catch (const XlsError& e) {
        EXPECT_EQ(e.code(), *error);
        EXPECT_FALSE(QString::fromStdString(e.what()).isEmpty());
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// What the format cannot hold is refused before anything is written, never wrapped.
TEST(BiffWriter, RowsAndColumnsBeyondTheFormatAreRefused)
{
    struct Case {
        int left, top, right, bottom;
        std::optional<XlsError::Code> error;
    };
    const Case cases[] = {
        {255, 65535, 255, 65535, std::nullopt},
        {0, 65536, 0, 65536, XlsError::Code::TooManyRows},
        {0, 65535, 0, 65536, XlsError::Code::TooManyRows},
        {256, 0, 256, 0, XlsError::Code::TooManyColumns},
        {250, 0, 256, 0, XlsError::Code::TooManyColumns},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << "," << c.top << "," << c.right << "," << c.bottom);
        XlsWorkbook book;
        book.addSheet().range(c.left, c.top, c.right, c.bottom).setValue(XlsValue::real(1));
        expectSavedOrRefused(book, c.error);
    }
}

// A column width, a row height, a repeated row or frozen panes beyond the sheet's last column
// or row are refused before anything is written; the last column and row themselves are
// written.
TEST(BiffWriter, WidthsAndPrintTitlesBeyondTheFormatAreRefused)
{
    struct Case {
        const char* what;
        std::function<void(XlsWorksheet&)> set;
        std::optional<XlsError::Code> error;
    };
    const Case cases[] = {
        {"width of the last column", [](XlsWorksheet& s) { s.setColumnWidth(255, 300); }, std::nullopt},
        {"width of column 257", [](XlsWorksheet& s) { s.setColumnWidth(256, 300); },
         XlsError::Code::TooManyColumns},
        {"the last row repeated", [](XlsWorksheet& s) { s.setPrintTitleRows(65535, 65535); }, std::nullopt},
        {"rows up to 65537 repeated", [](XlsWorksheet& s) { s.setPrintTitleRows(0, 65536); },
         XlsError::Code::TooManyRows},
        {"height of the last row", [](XlsWorksheet& s) { s.setRowHeight(65535, 400); }, std::nullopt},
        {"height of row 65537", [](XlsWorksheet& s) { s.setRowHeight(65536, 400); }, XlsError::Code::TooManyRows},
        {"65535 rows frozen", [](XlsWorksheet& s) { s.setFrozenPanes(65535, 0); }, std::nullopt},
        {"65536 rows frozen", [](XlsWorksheet& s) { s.setFrozenPanes(65536, 0); }, XlsError::Code::TooManyRows},
        {"255 columns frozen", [](XlsWorksheet& s) { s.setFrozenPanes(0, 255); }, std::nullopt},
        {"256 columns frozen", [](XlsWorksheet& s) { s.setFrozenPanes(1, 256); }, XlsError::Code::TooManyColumns},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        XlsWorksheet& sheet = book.addSheet();
        put(sheet, 0, 0, XlsValue::real(1));
        c.set(sheet);
        expectSavedOrRefused(book, c.error);
    }
}

TEST(BiffWriter, ANumberThatIsNotFiniteIsRefused)
{
    XlsWorkbook book;
    put(book.addSheet(), 0, 0, XlsValue::real(std::numeric_limits<double>::infinity()));
    BiffWriter writer;
    try {
        writer.buildStream(book);
        ADD_FAILURE() << "no error";
    } catch (const XlsError& e) {
        EXPECT_EQ(e.code(), XlsError::Code::BadValue);
    }
}

TEST(BiffWriter, SavingIntoAMissingFolderFailsAndLeavesNoFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("нет/книга.xls"));
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    BiffWriter writer;
    try {
        writer.save(book, file);
        ADD_FAILURE() << "no error";
    } catch (const XlsError& e) {
        EXPECT_EQ(e.code(), XlsError::Code::CreateFile);
        // The file, the system's reason and the status code.
        const QString text = QString::fromUtf8(e.what());
#ifdef _WIN32
        // The system's own words (in its language) and its code, ERROR_PATH_NOT_FOUND.
        EXPECT_TRUE(text.contains(QStringLiteral("«книга.xls»: ")) && text.endsWith(QStringLiteral("(StgCreateDocFile error 3)")))
            << e.what();
#else
        EXPECT_TRUE(text.contains(QStringLiteral("«книга.xls»: нет такого файла или папки (StgCreateDocFile error 2)")))
            << e.what();
#endif
    }
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST(BiffWriter, SavingReplacesAnExistingFileAndLeavesNothingElse)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("книга.xls"));
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    BiffWriter writer;
    writer.save(book, file);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.read(8) == QByteArray::fromHex("D0CF11E0A1B11AE1")); // compound document
    EXPECT_TRUE(readsCleanly(file));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("книга.xls")});
}

// A file size limit of the process: POSIX only.
#ifndef _WIN32
// A file that cannot be written completely (here: the file size limit, as a full disk would
// do it) is not left behind, and neither is the old file touched.
TEST(BiffWriter, AFileThatCannotBeWrittenWhollyIsNotLeftBehind)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("большая.xls"));
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    XlsWorkbook book;
    fillLikeTheExport(book.addSheet());
    for (int r = 7; r < 3000; ++r)
        put(book.sheet(0), 0, r, XlsValue::text(QStringLiteral("строка %1").arg(r)));

    // The limit is set in a child process so that the test process keeps its own.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int code = 1;
        try {
            BiffWriter writer;
            writer.save(book, file);
        } catch (const XlsError& e) {
            code = e.code() == XlsError::Code::Write ? 0 : 2;
        } catch (...) {
            code = 3;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error, 2: another error, 3: not an XlsError";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("большая.xls")});
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("old contents"));
}
#endif

// A writer saves any number of workbooks; each save starts from the default palette.
TEST(BiffWriter, EachSaveStartsAfresh)
{
    BiffWriter writer;
    XlsWorkbook coloured;
    XlsRange& cell = coloured.addSheet().range(0, 0, 0, 0);
    cell.Font.Color = 0x00030201;
    const std::string first = writer.buildStream(coloured);
    XlsWorkbook plain;
    fillLikeTheExport(plain.addSheet());
    const std::vector<Record> records = parseRecords(writer.buildStream(plain));
    EXPECT_TRUE(recordsNumbered(records, rec::kPalette).empty());
    BiffWriter fresh;
    EXPECT_TRUE(sameBytes(fresh.buildStream(plain), writer.buildStream(plain)));
    EXPECT_EQ(cell.WriteSlot, nullptr);
}

} // namespace
} // namespace xls::test
