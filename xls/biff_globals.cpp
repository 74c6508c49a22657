#include "xls/biff_globals.h"

#include "xls/biff_stream.h"

#include <algorithm>

namespace xls::biff {

namespace {
constexpr unsigned kBiff8Version = 0x0600;
constexpr unsigned kBuild = 0x0DBB;
constexpr unsigned kYear = 0x07CC;
constexpr unsigned kLowestVersion = 0x0600;
constexpr unsigned kUnicodeFlag = 1; // characters follow as UTF-16, never compressed
// INTERFACEHDR and CODEPAGE: the texts of a BIFF8 file are UTF-16 (every string here is
// written with the flag byte 1), which is code page 1200.
constexpr unsigned kCodePageUtf16 = 1200;
constexpr unsigned kFnGroupCount = 14;
// FONT weights: 400 normal and 700 bold, as the format defines them (100 reads as "thin").
constexpr unsigned kWeightBold = 700;
constexpr unsigned kWeightNormal = 400;
// The weight says whether a font is bold; older readers look at this option bit instead.
constexpr unsigned kFontBold = 0x0001;
constexpr unsigned kFontItalic = 0x0002;
constexpr unsigned kFontStrikeOut = 0x0008;
constexpr unsigned kBuiltInStyleFlag = 0x8000;
constexpr unsigned kStyleLevel = 0xFF;
constexpr unsigned kPaletteSize = 56;
constexpr unsigned kCountry = 7;
constexpr unsigned kSupBookSelf = 0x0401; // in place of a file name's length: this workbook
constexpr unsigned kEightBitChars = 0;    // flag byte of a string stored one byte a character
constexpr unsigned kPtgArea3d = 0x3B;     // area of a sheet named by an EXTERNSHEET entry
constexpr unsigned kLastColumn = 0xFF;
} // namespace

// BOF of the globals (history flags and lowest version) or of a worksheet (8 zero bytes).
std::string bofData(unsigned substreamType)
{
    ByteBuffer b;
    b.u16(kBiff8Version);
    b.u16(substreamType);
    b.u16(kBuild);
    b.u16(kYear);
    if (substreamType == kBofWorkbookGlobals) {
        b.u32(0);              // file history flags
        b.u32(kLowestVersion); // lowest version that can read the file
    } else {
        b.fill(8, 0);
    }
    return b.take();
}

// WRITEACCESS with the user name cut to what 112 bytes hold and padded with blanks.
std::string writeAccessData(std::u16string_view userName)
{
    userName = userName.substr(0, std::min(userName.size(), kMaxUserNameUnits));
    ByteBuffer b;
    b.u16(static_cast<unsigned>(userName.size()));
    b.u8(kUnicodeFlag);
    b.utf16(userName);
    b.fill(kWriteAccessSize - b.size(), 0x20);
    return b.take();
}

// TABID: the sheet identifiers 1..n in sheet order.
std::string tabIdData(std::size_t sheetCount)
{
    ByteBuffer b;
    for (std::size_t i = 1; i <= sheetCount; ++i)
        b.u16(static_cast<unsigned>(i));
    return b.take();
}

// WINDOW1: where the workbook window sits and which sheet tab is active.
std::string window1Data()
{
    ByteBuffer b;
    b.u16(360);    // left, twips
    b.u16(30);     // top
    b.u16(7454);   // width
    b.u16(6240);   // height
    b.u16(0x0038); // horizontal and vertical scroll bars, sheet tabs shown
    b.u16(0);      // active sheet
    b.u16(0);      // first visible tab
    b.u16(1);      // selected tabs
    b.u16(600);    // width of the tab bar, 1/1000 of the window
    return b.take();
}

// FONT of one entry of the font table.
std::string fontData(const FontRecord& font)
{
    const std::u16string_view name =
        std::u16string_view(font.name).substr(0, std::min(font.name.size(), kMaxShortTextUnits));
    ByteBuffer b;
    b.u16(font.height);
    b.u16((font.bold ? kFontBold : 0u) | (font.italic ? kFontItalic : 0u) | (font.strikeOut ? kFontStrikeOut : 0u));
    b.u16(font.colorIndex);
    b.u16(font.bold ? kWeightBold : kWeightNormal);
    b.u16(0);                       // escapement: none
    b.u8(font.underline ? 1 : 0);   // single underline
    b.u8(font.family);
    b.u8(font.charset);
    b.u8(0);
    b.u8(static_cast<unsigned>(name.size()));
    b.u8(kUnicodeFlag);
    b.utf16(name);
    return b.take();
}

// FORMAT: one entry of the number-format table.
std::string formatData(unsigned formatIndex, std::u16string_view text)
{
    text = text.substr(0, std::min(text.size(), kMaxTextUnits));
    ByteBuffer b;
    b.u16(formatIndex);
    b.u16(static_cast<unsigned>(text.size()));
    b.u8(kUnicodeFlag);
    b.utf16(text);
    return b.take();
}

// XF: every field at its named offset.
std::string xfData(const XfFields& f)
{
    ByteBuffer b;
    b.fill(xf::kSize, 0);
    b.putU16(xf::kFont, f.font);
    b.putU16(xf::kFormat, f.format);
    b.putU16(xf::kTypeProt, f.typeProt);
    b.putU8(xf::kAlignment, f.alignment);
    b.putU8(xf::kRotation, f.rotation);
    b.putU8(xf::kIndent, f.indent);
    b.putU8(xf::kUsedAttr, f.usedAttr);
    b.putU16(xf::kBorderStyles, f.borderStyles);
    b.putU16(xf::kBorderColors, f.borderColors);
    b.putU32(xf::kBorderFill, f.borderFill);
    b.putU16(xf::kFillColors, f.fillColors);
    return b.take();
}

// XF 0..20: the style formats and the fixed cell formats every workbook carries.
std::string fixedXfData(unsigned xfIndex)
{
    constexpr unsigned kStyleUsed = 0xF4;      // style XFs 1..14
    constexpr unsigned kNumberStyleUsed = 0xF8; // the number styles, XF 16..20
    XfFields f;
    f.typeProt = xf::kStyleXf;
    f.usedAttr = kStyleUsed;
    if (xfIndex == 0) {
        f.usedAttr = 0; // Normal
    } else if (xfIndex <= 2) {
        f.font = 1;
    } else if (xfIndex <= 4) {
        f.font = 2;
    } else if (xfIndex == 15) {
        f.typeProt = xf::kCellXf; // the default cell format
        f.usedAttr = 0;
    } else if (xfIndex >= 16) {
        static constexpr unsigned kFormats[] = {44, 42, 9, 43, 41}; // XF 16..20
        f.font = 1;
        f.format = kFormats[std::min(xfIndex, 20u) - 16];
        f.usedAttr = kNumberStyleUsed;
    }
    return xfData(f);
}

// STYLE of a built-in style.
std::string styleData(unsigned xfIndex, unsigned builtInStyle)
{
    ByteBuffer b;
    b.u16(xfIndex | kBuiltInStyleFlag);
    b.u8(builtInStyle);
    b.u8(kStyleLevel);
    return b.take();
}

// PALETTE: the 56 colours of palette indexes 8..63.
std::string paletteData(const std::vector<std::uint32_t>& colors)
{
    ByteBuffer b;
    b.u16(kPaletteSize);
    for (unsigned i = 0; i < kPaletteSize; ++i) {
        const std::uint32_t c = i < colors.size() ? colors[i] : 0;
        b.u8(c & 0xFF);         // red
        b.u8((c >> 8) & 0xFF);  // green
        b.u8((c >> 16) & 0xFF); // blue
        b.u8(0);
    }
    return b.take();
}

// BOUNDSHEET of a visible worksheet, its BOF position still 0.
std::string boundSheetData(std::u16string_view name)
{
    name = name.substr(0, std::min(name.size(), kMaxShortTextUnits));
    ByteBuffer b;
    b.u32(0);  // position of the sheet's BOF, filled in once the sheet is written
    b.u16(0);  // visible worksheet
    b.u8(static_cast<unsigned>(name.size()));
    b.u8(kUnicodeFlag);
    b.utf16(name);
    return b.take();
}

// COUNTRY: the user interface's and the system's country.
std::string countryData()
{
    ByteBuffer b;
    b.u16(kCountry);
    b.u16(kCountry);
    return b.take();
}

// SUPBOOK through which names refer to this workbook's own sheets.
std::string supBookSelfData(std::size_t sheetCount)
{
    ByteBuffer b;
    b.u16(static_cast<unsigned>(sheetCount));
    b.u16(kSupBookSelf);
    return b.take();
}

// EXTERNSHEET with one entry per referenced sheet.
std::string externSheetData(std::span<const unsigned> sheets)
{
    ByteBuffer b;
    b.u16(static_cast<unsigned>(sheets.size()));
    for (unsigned sheet : sheets) {
        b.u16(0); // the SUPBOOK of this workbook
        b.u16(sheet);
        b.u16(sheet);
    }
    return b.take();
}

// NAME Print_Titles: whole rows of one sheet, repeated on every printed page.
std::string printTitlesNameData(unsigned sheet, unsigned externIndex, unsigned firstRow, unsigned lastRow)
{
    ByteBuffer formula;
    formula.u8(kPtgArea3d);
    formula.u16(externIndex);
    formula.u16(firstRow);
    formula.u16(lastRow);
    formula.u16(0);           // first column; the relative-reference bits stay clear
    formula.u16(kLastColumn); // last column

    ByteBuffer b;
    b.fill(name::kName, 0);
    b.putU16(name::kOptions, name::kBuiltIn);
    b.putU8(name::kNameLength, 1);
    b.putU16(name::kFormulaSize, static_cast<unsigned>(formula.size()));
    b.putU16(name::kSheet, sheet + 1);
    b.u8(kEightBitChars);
    b.u8(name::kPrintTitles);
    b.bytes(formula.str());
    return b.take();
}

// BOF to BOOKBOOL: the file settings that open every workbook.
std::vector<Record> globalsHeadRecords(std::u16string_view userName, std::size_t sheetCount)
{
    return {
        {rec::kBof, bofData(kBofWorkbookGlobals)},
        {rec::kInterfaceHdr, u16Data(kCodePageUtf16)},
        {rec::kMms, std::string(2, '\0')},
        {rec::kInterfaceEnd, {}},
        {rec::kWriteAccess, writeAccessData(userName)},
        {rec::kCodePage, u16Data(kCodePageUtf16)},
        {rec::kDsf, u16Data(0)},
        {rec::kExcel9File, {}},
        {rec::kTabId, tabIdData(sheetCount)},
        {rec::kFnGroupCount, u16Data(kFnGroupCount)},
        {rec::kWindowProtect, u16Data(0)},
        {rec::kProtect, u16Data(0)},
        {rec::kPassword, u16Data(0)},
        {rec::kProt4Rev, u16Data(0)},
        {rec::kProt4RevPass, u16Data(0)},
        {rec::kWindow1, window1Data()},
        {rec::kBackup, u16Data(0)},
        {rec::kHideObj, u16Data(0)},
        {rec::kDate1904, u16Data(0)},
        {rec::kPrecision, u16Data(1)},
        {rec::kRefreshAll, u16Data(0)},
        {rec::kBookBool, u16Data(0)},
    };
}

} // namespace xls::biff
