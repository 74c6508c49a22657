#pragma once

// Encoders of the records of the workbook-globals substream. Each returns the record's data
// (without the 4-byte header); biff::writeRecord frames it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xls::biff {

// Substream types of a BOF record.
inline constexpr unsigned kBofWorkbookGlobals = 0x0005;
inline constexpr unsigned kBofWorksheet = 0x0010;

// The WRITEACCESS record is always this long; the user name is padded with blanks to it.
inline constexpr std::size_t kWriteAccessSize = 112;
// The longest user name WRITEACCESS holds: 2 count bytes + 1 flag byte + 2 bytes a unit.
inline constexpr std::size_t kMaxUserNameUnits = (kWriteAccessSize - 3) / 2;
// The longest text a 16-bit character count can describe.
inline constexpr std::size_t kMaxTextUnits = 0xFFFF;
// The longest text an 8-bit character count can describe (font and sheet names).
inline constexpr std::size_t kMaxShortTextUnits = 0xFF;

// BOF: version, substream type, build, year, and for the globals the history flags and
// lowest version (both zero bytes in a worksheet's BOF).
std::string bofData(unsigned substreamType);
// WRITEACCESS: the user name as a counted unicode string, padded with 0x20 to 112 bytes.
// A longer name is cut to kMaxUserNameUnits.
std::string writeAccessData(std::u16string_view userName);
// TABID: 1, 2, ..., sheetCount.
std::string tabIdData(std::size_t sheetCount);
// WINDOW1: the workbook window (position, size, flags, active and selected sheet tabs).
std::string window1Data();

// One entry of the font table as a FONT record carries it.
struct FontRecord {
    unsigned height = 200;      // twentieths of a point
    bool italic = false;
    bool strikeOut = false;
    bool bold = false;
    bool underline = false;
    unsigned colorIndex = 8;    // palette index
    unsigned family = 0;        // pitch-and-family byte
    unsigned charset = 1;
    std::u16string name = u"Arial";
};
// FONT: height, option flags, colour index, weight, escapement, underline, family,
// character set, a zero byte and the name (8-bit count, flag byte 1, UTF-16).
std::string fontData(const FontRecord& font);

// FORMAT: format index, 16-bit character count, flag byte 1, the text in UTF-16.
std::string formatData(unsigned formatIndex, std::u16string_view text);

// Offsets within the 20 data bytes of an XF record.
namespace xf {
inline constexpr std::size_t kFont = 0;          // 16-bit font index
inline constexpr std::size_t kFormat = 2;        // 16-bit number-format index
inline constexpr std::size_t kTypeProt = 4;      // 16-bit type, protection, parent
inline constexpr std::size_t kAlignment = 6;     // horizontal, wrap, vertical
inline constexpr std::size_t kRotation = 7;
inline constexpr std::size_t kIndent = 8;        // indent, shrink, merged cell (0x20)
inline constexpr std::size_t kUsedAttr = 9;      // attribute-used flags
inline constexpr std::size_t kBorderStyles = 10; // 16-bit line styles
inline constexpr std::size_t kBorderColors = 12; // 16-bit left/right colours, diagonals
inline constexpr std::size_t kBorderFill = 14;   // 32-bit top/bottom/diagonal, fill pattern
inline constexpr std::size_t kFillColors = 18;   // 16-bit fill colours
inline constexpr std::size_t kSize = 20;

inline constexpr unsigned kStyleXf = 0xFFF5;     // style XF, all protection, no parent
inline constexpr unsigned kCellXf = 0x0001;      // cell XF, locked, parent style XF 0
inline constexpr unsigned kMergedCell = 0x20;
inline constexpr unsigned kAllAttributesUsed = 0x7C;
inline constexpr unsigned kDefaultAlignment = 0x20; // general, bottom
inline constexpr unsigned kDefaultFillColors = 0x20C0; // colours 64 and 65
} // namespace xf

// The fields of an XF record, each placed at its offset above.
struct XfFields {
    unsigned font = 0;
    unsigned format = 0;
    unsigned typeProt = xf::kCellXf;
    unsigned alignment = xf::kDefaultAlignment;
    unsigned rotation = 0;
    unsigned indent = 0;
    unsigned usedAttr = 0;
    unsigned borderStyles = 0;
    unsigned borderColors = 0;
    std::uint32_t borderFill = 0;
    unsigned fillColors = xf::kDefaultFillColors;
};
// XF: the 20 data bytes of a cell or style format.
std::string xfData(const XfFields& fields);

// The 20 data bytes of one of the 21 XF records that every file starts with
// (15 style formats and 6 fixed cell formats), by XF index 0..20.
std::string fixedXfData(unsigned xfIndex);
inline constexpr unsigned kFixedStyleXfs = 15;
inline constexpr unsigned kFixedXfs = 21;
// The default cell format, XF 15: what cells and columns without a format of their own carry.
inline constexpr unsigned kDefaultCellXf = 15;

// STYLE of a built-in style: XF index with the built-in flag, style number, level 0xFF.
std::string styleData(unsigned xfIndex, unsigned builtInStyle);
// The six STYLE records, in the order they are written: (XF index, built-in style).
struct BuiltInStyle {
    unsigned xfIndex;
    unsigned style;
};
inline constexpr BuiltInStyle kBuiltInStyles[] = {
    {16, 4}, // Currency
    {17, 7}, // Currency [0]
    {0, 0},  // Normal
    {18, 5}, // Percent
    {19, 3}, // Comma
    {20, 6}, // Comma [0]
};

// PALETTE: count 56, then red, green, blue, 0 for each colour (0x00BBGGRR values).
std::string paletteData(const std::vector<std::uint32_t>& colors);

// BOUNDSHEET: 32-bit position of the sheet's BOF (0 here, filled in later), flags 0, the
// name (8-bit count, flag byte 1, UTF-16). The position field lies at data offset 0.
std::string boundSheetData(std::u16string_view name);
inline constexpr std::size_t kBoundSheetPositionOffset = 0;

// COUNTRY: 7, 7.
std::string countryData();

// SUPBOOK of references into this workbook: the sheet count, then 0x0401, the mark of a
// workbook referring to itself. Defined names reach their sheets through it.
std::string supBookSelfData(std::size_t sheetCount);
// EXTERNSHEET: the entry count, then per sheet one entry (SUPBOOK 0, that sheet as first and
// last sheet). A name's formula refers to a sheet by the position of its entry here.
std::string externSheetData(std::span<const unsigned> sheets);

// Offsets within the data of a NAME record of a built-in name.
namespace name {
inline constexpr std::size_t kOptions = 0;     // 16-bit flags; 0x0020 built-in name
inline constexpr std::size_t kShortcut = 2;    // keyboard shortcut: none
inline constexpr std::size_t kNameLength = 3;  // 8-bit character count of the name
inline constexpr std::size_t kFormulaSize = 4; // 16-bit byte count of the formula
inline constexpr std::size_t kSheet = 8;       // 16-bit sheet the name belongs to, from 1
                                               // 10..13: menu, description, help and status
                                               // text lengths, all 0
inline constexpr std::size_t kName = 14;       // flag byte 0 (8-bit characters), the name
inline constexpr unsigned kBuiltIn = 0x0020;
inline constexpr unsigned kPrintTitles = 0x07; // the one character of the built-in name
} // namespace name
// NAME of the built-in name Print_Titles of sheet `sheet` (from 0): the rows
// firstRow..lastRow across all columns of the sheet whose EXTERNSHEET entry is `externIndex`,
// as one absolute area reference (ptgArea3d).
std::string printTitlesNameData(unsigned sheet, unsigned externIndex, unsigned firstRow, unsigned lastRow);

// The records of the globals from BOF to BOOKBOOL, in stream order, as (number, data).
struct Record {
    unsigned number;
    std::string data;
};
std::vector<Record> globalsHeadRecords(std::u16string_view userName, std::size_t sheetCount);

} // namespace xls::biff
