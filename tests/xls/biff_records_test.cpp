// Each record encoder against the exact bytes of the record, header included.

#include "biff_test_support.h"

#include "xls/biff_globals.h"
#include "xls/biff_sheet.h"
#include "xls/biff_sst.h"
#include "xls/biff_stream.h"
#include "xls/xls_worksheet.h"

#include <gtest/gtest.h>

namespace xls::test {
namespace {

namespace rec = biff::rec;

struct RecordCase {
    const char* name;
    std::string actual;   // the record as written, header included
    const char* expected; // hex
};

std::string exportFont()
{
    biff::FontRecord f; // Arial 10 pt, black (palette index 8), no style
    return framed(rec::kFont, biff::fontData(f));
}

std::string pageSetupDefaults()
{
    XlsPageSetup ps;
    return framed(rec::kSetup, biff::setupData(ps));
}

std::string pageSetupChanged()
{
    XlsPageSetup ps;
    ps.Orientation = 1;
    ps.Order = 1;
    ps.BlackAndWhite = true;
    ps.Draft = true;
    ps.PrintNotes = true;
    ps.FirstPageNumber = 3;
    ps.Copies = 2;
    ps.HeaderMargin = 0.5;
    return framed(rec::kSetup, biff::setupData(ps));
}

// The sheet's print settings as the export sets them: landscape A4, one page wide.
std::string pageSetupLandscapeOnePageWide()
{
    XlsPageSetup ps;
    ps.Orientation = XlsPageSetup::kLandscape;
    ps.FitToPages = true;
    ps.FitToPagesWide = 1;
    ps.FitToPagesTall = 0;
    return framed(rec::kSetup, biff::setupData(ps));
}

std::string wsBoolOf(bool fitToPages)
{
    XlsPageSetup ps;
    ps.FitToPages = fitToPages;
    return framed(rec::kWsBool, biff::wsBoolData(ps));
}

// One of the records from BOF to BOOKBOOL that open the globals.
std::string globalsHeadRecord(unsigned number)
{
    for (const biff::Record& r : biff::globalsHeadRecords(u"Korvane", 1))
        if (r.number == number)
            return framed(r.number, r.data);
    return {};
}

std::string headerOf(const char* left, const char* center, const char* right)
{
    return framed(rec::kHeader, biff::headerFooterData(biff::headerFooterText(
                                    QString::fromUtf8(left), QString::fromUtf8(center), QString::fromUtf8(right))));
}

std::string cyrillicSheetName()
{
    std::u16string name(31, u'Ж');
    return framed(rec::kBoundSheet, biff::boundSheetData(name));
}

std::string index33Rows()
{
    const std::uint32_t positions[] = {0x1234, 0x5678};
    return framed(rec::kIndex, biff::indexData(0, 33, positions));
}

std::string dbCellOf(std::uint32_t rowOffset, std::vector<std::uint16_t> offsets)
{
    return framed(rec::kDbCell, biff::dbCellData(rowOffset, offsets));
}

std::string merged(unsigned count)
{
    std::vector<biff::MergedRange> ranges(count, biff::MergedRange{1, 2, 3, 4});
    return framed(rec::kMergedCells, biff::mergedCellsData(ranges));
}

std::vector<RecordCase> cases()
{
    return {
        {"BOF of the workbook globals", framed(rec::kBof, biff::bofData(biff::kBofWorkbookGlobals)),
         "09 08 10 00  00 06 05 00 BB 0D CC 07  00 00 00 00  00 06 00 00"},
        {"BOF of a worksheet", framed(rec::kBof, biff::bofData(biff::kBofWorksheet)),
         "09 08 10 00  00 06 10 00 BB 0D CC 07  00 00 00 00 00 00 00 00"},
        {"WINDOW1", framed(rec::kWindow1, biff::window1Data()),
         "3D 00 12 00  68 01 1E 00 1E 1D 60 18 38 00 00 00 00 00 01 00 58 02"},
        {"TABID of three sheets", framed(rec::kTabId, biff::tabIdData(3)), "3D 01 06 00 01 00 02 00 03 00"},
        {"COUNTRY", framed(rec::kCountry, biff::countryData()), "8C 00 04 00 07 00 07 00"},
        // weight 400 (0x0190): normal
        {"FONT of the export", exportFont(),
         "31 00 1A 00  C8 00 00 00 08 00 90 01 00 00 00 00 01 00  05 01 41 00 72 00 69 00 61 00 6C 00"},
        {"FONT bold italic struck out underlined", [] {
             biff::FontRecord f;
             f.bold = f.italic = f.strikeOut = f.underline = true;
             f.height = 240;
             f.colorIndex = 10;
             f.family = 1;
             f.charset = 204;
             f.name = u"A";
             return framed(rec::kFont, biff::fontData(f));
         }(),
         // options 0x000B: bold, italic, struck out; weight 700 (0x02BC): bold
         "31 00 12 00  F0 00 0B 00 0A 00 BC 02 00 00 01 01 CC 00  01 01 41 00"},
        {"FORMAT 50", framed(rec::kFormat, biff::formatData(50, u"0.0")),
         "1E 04 0B 00  32 00 03 00 01 30 00 2E 00 30 00"},
        {"XF 0 (Normal style)", framed(rec::kXf, biff::fixedXfData(0)),
         "E0 00 14 00  00 00 00 00 F5 FF 20 00 00 00  00 00 00 00 00 00 00 00  C0 20"},
        {"XF 3 (style, font 2)", framed(rec::kXf, biff::fixedXfData(3)),
         "E0 00 14 00  02 00 00 00 F5 FF 20 00 00 F4  00 00 00 00 00 00 00 00  C0 20"},
        {"XF 15 (default cell format)", framed(rec::kXf, biff::fixedXfData(15)),
         "E0 00 14 00  00 00 00 00 01 00 20 00 00 00  00 00 00 00 00 00 00 00  C0 20"},
        {"XF 16 (Currency style)", framed(rec::kXf, biff::fixedXfData(16)),
         "E0 00 14 00  01 00 2C 00 F5 FF 20 00 00 F8  00 00 00 00 00 00 00 00  C0 20"},
        {"XF 18 (Percent style)", framed(rec::kXf, biff::fixedXfData(18)),
         "E0 00 14 00  01 00 09 00 F5 FF 20 00 00 F8  00 00 00 00 00 00 00 00  C0 20"},
        {"XF 20 (Comma [0] style)", framed(rec::kXf, biff::fixedXfData(20)),
         "E0 00 14 00  01 00 29 00 F5 FF 20 00 00 F8  00 00 00 00 00 00 00 00  C0 20"},
        {"STYLE records", [] {
             std::string all;
             for (const biff::BuiltInStyle& s : biff::kBuiltInStyles)
                 all += framed(rec::kStyle, biff::styleData(s.xfIndex, s.style));
             return all;
         }(),
         "93 02 04 00 10 80 04 FF  93 02 04 00 11 80 07 FF  93 02 04 00 00 80 00 FF"
         "93 02 04 00 12 80 05 FF  93 02 04 00 13 80 03 FF  93 02 04 00 14 80 06 FF"},
        {"BOUNDSHEET of 31 Cyrillic letters", cyrillicSheetName(),
         "85 00 46 00  00 00 00 00 00 00 1F 01"
         "16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04"
         "16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04 16 04"
         "16 04 16 04 16 04"},
        {"SETUP with the default print settings", pageSetupDefaults(),
         "A1 00 22 00  09 00 64 00 01 00 01 00 01 00 02 00 00 00 00 00"
         "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  00 00"},
        {"SETUP with every option", pageSetupChanged(),
         "A1 00 22 00  09 00 64 00 03 00 01 00 01 00 B9 00 00 00 00 00"
         "00 00 00 00 00 00 E0 3F  00 00 00 00 00 00 00 00  02 00"},
        // paper 9, zoom 100, first page 1, 1 page wide, 0 (any number) tall, flags 0: landscape
        {"SETUP landscape, one page wide", pageSetupLandscapeOnePageWide(),
         "A1 00 22 00  09 00 64 00 01 00 01 00 00 00 00 00 00 00 00 00"
         "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  00 00"},
        {"WSBOOL printing by the zoom", wsBoolOf(false), "81 00 02 00  C1 04"},
        {"WSBOOL printing fitted to pages", wsBoolOf(true), "81 00 02 00  C1 05"},
        // The texts of the file are UTF-16: code page 1200 (0x04B0).
        {"INTERFACEHDR", globalsHeadRecord(rec::kInterfaceHdr), "E1 00 02 00  B0 04"},
        {"CODEPAGE", globalsHeadRecord(rec::kCodePage), "42 00 02 00  B0 04"},
        {"HEADER empty", headerOf("", "", ""), "14 00 00 00"},
        {"HEADER with centre and right parts", headerOf("", "A", "B"),
         "14 00 0F 00  06 00 01 26 00 43 00 41 00 26 00 52 00 42 00"},
        {"DIMENSIONS of an empty sheet", framed(rec::kDimensions, biff::dimensionsData(-1, -1, -1, -1)),
         "00 02 0E 00  00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
        {"DIMENSIONS of rows 0..6, columns 0..11", framed(rec::kDimensions, biff::dimensionsData(0, 0, 11, 6)),
         "00 02 0E 00  00 00 00 00 07 00 00 00 00 00 0C 00 00 00"},
        {"INDEX of 33 rows", index33Rows(),
         "0B 02 18 00  00 00 00 00 00 00 00 00 21 00 00 00 00 00 00 00  34 12 00 00 78 56 00 00"},
        {"ROW", framed(rec::kRow, biff::rowData(2, 10, 11)),
         "08 02 10 00  02 00 0A 00 0B 00 FF 00 00 00 00 00 00 00 00 00"},
        // 510 twips (two lines of Arial 10); flags 0x0040: the height is the row's own
        {"ROW of a two-line heading", framed(rec::kRow, biff::rowData(0, 0, 12, 510)),
         "08 02 10 00  00 00 00 00 0C 00 FE 01 00 00 00 00 40 00 00 00"},
        {"LABELSST", framed(rec::kLabelSst, biff::labelSstData(1, 2, 21, 7)),
         "FD 00 0A 00  01 00 02 00 15 00 07 00 00 00"},
        {"NUMBER 1.5", framed(rec::kNumber, biff::numberData(3, 4, 21, 1.5)),
         "03 02 0E 00  03 00 04 00 15 00 00 00 00 00 00 00 F8 3F"},
        {"NUMBER -0 written as 0", framed(rec::kNumber, biff::numberData(0, 0, 21, -0.0)),
         "03 02 0E 00  00 00 00 00 15 00 00 00 00 00 00 00 00 00"},
        {"BLANK", framed(rec::kBlank, biff::blankData(5, 6, 21)), "01 02 06 00  05 00 06 00 15 00"},
        {"MULBLANK of columns 1..2", framed(rec::kMulBlank, biff::mulBlankData(0, 1, 2, 22)),
         "BE 00 0A 00  00 00 01 00 16 00 16 00 02 00"},
        {"DBCELL", dbCellOf(1216, {620, 18}), "D7 00 08 00  C0 04 00 00 6C 02 12 00"},
        {"WINDOW2 of the first sheet", framed(rec::kWindow2, biff::window2Data(true)),
         "3E 02 12 00  B6 06 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"},
        {"WINDOW2 of another sheet", framed(rec::kWindow2, biff::window2Data(false)),
         "3E 02 12 00  B6 04 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"},
        {"SELECTION", framed(rec::kSelection, biff::selectionData()),
         "1D 00 0F 00  03 00 00 00 00 00 00 01 00 00 00 00 00 00 00"},
        // flags 0x04B6 + selected 0x0200 + frozen 0x0008 + frozen without a split 0x0100
        {"WINDOW2 of a first sheet with frozen panes", framed(rec::kWindow2, biff::window2Data(true, true)),
         "3E 02 12 00  BE 07 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00"},
        // x 0 columns, y 1 row, first scrolling row 1, column 0, active pane 2 (bottom left)
        {"PANE of a frozen heading row", framed(rec::kPane, biff::paneData(1, 0)),
         "41 00 0A 00  00 00 01 00 01 00 00 00 02 00"},
        {"PANE of three frozen columns", framed(rec::kPane, biff::paneData(0, 3)),
         "41 00 0A 00  03 00 00 00 00 00 03 00 01 00"},
        {"PANE of two rows and a column", framed(rec::kPane, biff::paneData(2, 1)),
         "41 00 0A 00  01 00 02 00 02 00 01 00 00 00"},
        // pane 2, cursor in A2, one reference: row 1..1, column 0..0
        {"SELECTION below a frozen heading row", framed(rec::kSelection, biff::selectionData(2, 1, 0)),
         "1D 00 0F 00  02 01 00 00 00 00 00 01 00 01 00 01 00 00 00"},
        {"MERGEDCELLS of one range", merged(1), "E5 00 0A 00  01 00 01 00 02 00 03 00 04 00"},
        // first column, last column, width, XF 15, options (width set), reserved
        {"COLINFO of columns 1..3, 3000/256 digits wide", framed(rec::kColInfo, biff::colInfoData({1, 3, 3000})),
         "7D 00 0C 00  01 00 03 00 B8 0B 0F 00 02 00 00 00"},
        {"COLINFO of a hidden column", framed(rec::kColInfo, biff::colInfoData({255, 255, 0})),
         "7D 00 0C 00  FF 00 FF 00 00 00 0F 00 03 00 00 00"},
        {"SUPBOOK of a workbook of three sheets", framed(rec::kSupBook, biff::supBookSelfData(3)),
         "AE 01 04 00  03 00 01 04"},
        {"EXTERNSHEET of sheets 0 and 2", [] {
             const unsigned sheets[] = {0, 2};
             return framed(rec::kExternSheet, biff::externSheetData(sheets));
         }(),
         "17 00 0E 00  02 00  00 00 00 00 00 00  00 00 02 00 02 00"},
        // built-in, no shortcut, 1 character, formula of 11 bytes, reserved, sheet 3 (from 1),
        // four empty lengths, 8-bit name 0x07; ptgArea3d, EXTERNSHEET entry 1, rows 0..1,
        // columns 0..255 without relative bits
        {"NAME Print_Titles of rows 1..2 of the third sheet", framed(rec::kName, biff::printTitlesNameData(2, 1, 0, 1)),
         "18 00 1B 00  20 00 00 01 0B 00 00 00 03 00 00 00 00 00  00 07"
         "3B 01 00 00 00 01 00 00 00 FF 00"},
        {"NAME Print_Titles of row 65536 of the first sheet",
         framed(rec::kName, biff::printTitlesNameData(0, 0, 65535, 65535)),
         "18 00 1B 00  20 00 00 01 0B 00 00 00 01 00 00 00 00 00  00 07"
         "3B 00 00 FF FF FF FF 00 00 FF 00"},
    };
}

TEST(BiffRecords, EachRecordHasItsExactBytes)
{
    for (const RecordCase& c : cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(sameBytes(c.actual, hex(c.expected)));
    }
}

// Neighbouring columns of one width share a COLINFO record; a gap or another width starts a
// new one.
TEST(BiffRecords, ColumnWidthsJoinIntoRuns)
{
    using Run = biff::ColumnRun;
    struct Case {
        const char* what;
        std::vector<XlsColumnWidth> widths;
        std::vector<Run> runs;
    };
    const Case cases[] = {
        {"none", {}, {}},
        {"one column", {{4, 300}}, {{4, 4, 300}}},
        {"neighbours of one width", {{0, 300}, {1, 300}, {2, 300}}, {{0, 2, 300}}},
        {"a gap between equal widths", {{0, 300}, {2, 300}}, {{0, 0, 300}, {2, 2, 300}}},
        {"neighbours of other widths", {{0, 300}, {1, 301}, {2, 301}, {3, 300}},
         {{0, 0, 300}, {1, 2, 301}, {3, 3, 300}}},
        {"the last column", {{254, 0}, {255, 0}}, {{254, 255, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(biff::columnRuns(c.widths), c.runs);
    }
}

// EXTSST groups the strings into buckets of max(strings / 128 + 1, 8), so that it never has
// more than 128 entries.
TEST(BiffRecords, ExtSstBucketSizeFollowsTheStringCount)
{
    struct Case {
        std::size_t strings;
        unsigned perBucket;
    };
    const Case cases[] = {{0, 8},    {1, 8},     {8, 8},      {1023, 8},   {1024, 9},
                          {1151, 9}, {1152, 10}, {5000, 40},  {39321, 308}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strings);
        EXPECT_EQ(biff::stringsPerBucket(c.strings), c.perBucket);
        EXPECT_LE((c.strings + c.perBucket - 1) / c.perBucket, 128u);
    }
}

TEST(BiffRecords, WriteAccessHoldsTheUserNamePaddedWithBlanks)
{
    const std::string r = framed(rec::kWriteAccess, biff::writeAccessData(u"Korvane"));
    std::string expected = hex("5C 00 70 00  07 00 01 4B 00 6F 00 72 00 76 00 61 00 6E 00 65 00");
    expected.append(112 - 17, ' ');
    EXPECT_TRUE(sameBytes(r, expected));
}

TEST(BiffRecords, WriteAccessCutsALongUserNameToFit)
{
    const std::u16string name(66, u'Щ');
    const std::string data = biff::writeAccessData(name);
    ASSERT_EQ(data.size(), 112u);
    EXPECT_EQ(u16At(data, 0), 54u);
    EXPECT_EQ(data[2], '\x01');
    EXPECT_EQ(u16At(data, 3 + 2 * 53), 0x0429u); // the 54th letter
    EXPECT_EQ(data.substr(111), " ");            // one blank of padding left
}

TEST(BiffRecords, PaletteListsTheColoursAsRedGreenBlue)
{
    std::vector<std::uint32_t> colors(56, 0);
    colors[16] = 0x00030201; // red 1, green 2, blue 3 at palette index 24
    const std::string data = biff::paletteData(colors);
    ASSERT_EQ(data.size(), 2u + 56 * 4);
    EXPECT_EQ(u16At(data, 0), 56u);
    EXPECT_TRUE(sameBytes(data.substr(2 + 16 * 4, 4), hex("01 02 03 00")));
}

// Data longer than one record continues in CONTINUE records of at most 8224 bytes.
TEST(BiffRecords, LongDataContinuesInContinueRecords)
{
    struct Case {
        std::size_t length;
        std::vector<std::size_t> parts;
    };
    const Case cases[] = {
        {0, {0}},
        {8224, {8224}},
        {8225, {8224, 1}},
        {8224 * 2 + 5, {8224, 8224, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string data(c.length, '\0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i % 251);
        biff::ByteBuffer out;
        biff::writeRecord(out, 0x1234, data);
        const std::vector<Record> records = parseRecords(out.str());
        ASSERT_EQ(records.size(), c.parts.size());
        std::string joined;
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].number, i == 0 ? 0x1234u : rec::kContinue);
            EXPECT_EQ(records[i].data.size(), c.parts[i]);
            joined += records[i].data;
        }
        EXPECT_TRUE(sameBytes(joined, data));
    }
}

} // namespace
} // namespace xls::test
