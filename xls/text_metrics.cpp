#include "xls/text_metrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace xls::text_metrics {
namespace {

// Advance widths of Arial in font units, regular and bold: the widths of Arial's own hmtx
// tables, which Liberation Sans keeps unchanged (it is made to be metric-compatible), so
// that a sheet laid out for one lays out the same in the other.
// clang-format off
// Printable ASCII, U+0020..U+007E: regular, then bold.
constexpr std::uint16_t kAscii[2][95] = {
  {
     569,  569,  727, 1139, 1139, 1821, 1366,  391,  682,  682,  797, 1196,  569,  682,  569,  569,
    1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139,  569,  569, 1196, 1196, 1196, 1139,
    2079, 1366, 1366, 1479, 1479, 1366, 1251, 1593, 1479,  569, 1024, 1366, 1139, 1706, 1479, 1593,
    1366, 1593, 1479, 1366, 1251, 1479, 1366, 1933, 1366, 1366, 1251,  569,  569,  569,  961, 1139,
     682, 1139, 1139, 1024, 1139, 1139,  569, 1139, 1139,  455,  455, 1024,  455, 1706, 1139, 1139,
    1139, 1139,  682, 1024,  569, 1139, 1024, 1479, 1024, 1024, 1024,  684,  532,  684, 1196,
  },
  {
     569,  682,  971, 1139, 1139, 1821, 1479,  487,  682,  682,  797, 1196,  569,  682,  569,  569,
    1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139, 1139,  682,  682, 1196, 1196, 1196, 1251,
    1997, 1479, 1479, 1479, 1479, 1366, 1251, 1593, 1479,  569, 1139, 1479, 1251, 1706, 1479, 1593,
    1366, 1593, 1479, 1366, 1251, 1479, 1366, 1933, 1366, 1366, 1251,  682,  569,  682, 1196, 1139,
     682, 1139, 1251, 1139, 1251, 1139,  682, 1251, 1251,  569,  569, 1139,  569, 1821, 1251, 1251,
    1251, 1251,  797, 1139,  682, 1251, 1139, 1593, 1139, 1139, 1024,  797,  573,  797, 1196,
  },
};
// Latin-1 letters and signs, U+00A0..U+00FF: regular, then bold.
constexpr std::uint16_t kLatin1[2][96] = {
  {
     569,  682, 1139, 1139, 1139, 1139,  532, 1139,  682, 1509,  758, 1139, 1196,  682, 1509, 1131,
     819, 1124,  682,  682,  682, 1180, 1100,  682,  682,  682,  748, 1139, 1708, 1708, 1708, 1251,
    1366, 1366, 1366, 1366, 1366, 1366, 2048, 1479, 1366, 1366, 1366, 1366,  569,  569,  569,  569,
    1479, 1479, 1593, 1593, 1593, 1593, 1593, 1196, 1593, 1479, 1479, 1479, 1479, 1366, 1366, 1251,
    1139, 1139, 1139, 1139, 1139, 1139, 1821, 1024, 1139, 1139, 1139, 1139,  569,  569,  569,  569,
    1139, 1139, 1139, 1139, 1139, 1139, 1139, 1124, 1251, 1139, 1139, 1139, 1139, 1024, 1139, 1024,
  },
  {
     569,  682, 1139, 1139, 1139, 1139,  573, 1139,  682, 1509,  758, 1139, 1196,  682, 1509, 1131,
     819, 1124,  682,  682,  682, 1180, 1139,  682,  682,  682,  748, 1139, 1708, 1708, 1708, 1251,
    1479, 1479, 1479, 1479, 1479, 1479, 2048, 1479, 1366, 1366, 1366, 1366,  569,  569,  569,  569,
    1479, 1479, 1593, 1593, 1593, 1593, 1593, 1196, 1593, 1479, 1479, 1479, 1479, 1366, 1366, 1251,
    1139, 1139, 1139, 1139, 1139, 1139, 1821, 1139, 1139, 1139, 1139, 1139,  569,  569,  569,  569,
    1251, 1251, 1251, 1251, 1251, 1251, 1251, 1124, 1251, 1251, 1251, 1251, 1251, 1139, 1251, 1139,
  },
};
// Cyrillic, U+0400..U+045F: regular, then bold.
constexpr std::uint16_t kCyrillic[2][96] = {
  {
    1366, 1367, 1771, 1109, 1472, 1366,  569,  569, 1024, 2165, 2069, 1749, 1193, 1472, 1301, 1472,
    1366, 1344, 1366, 1109, 1387, 1366, 1891, 1237, 1472, 1472, 1193, 1344, 1706, 1479, 1593, 1472,
    1366, 1479, 1251, 1301, 1557, 1366, 1515, 1365, 1877, 1920, 1621, 1813, 1344, 1472, 2069, 1479,
    1139, 1173, 1088,  747, 1195, 1139, 1370,  939, 1144, 1144,  896, 1195, 1408, 1131, 1139, 1109,
    1139, 1024,  938, 1024, 1685, 1024, 1173, 1067, 1643, 1685, 1280, 1472, 1067, 1045, 1536, 1109,
    1139, 1139, 1139,  747, 1045, 1024,  455,  569,  455, 1856, 1664, 1139,  896, 1144, 1024, 1131,
  },
  {
    1366, 1370, 1813, 1161, 1457, 1366,  569,  565, 1139, 2240, 2176, 1792, 1250, 1472, 1274, 1472,
    1479, 1472, 1479, 1161, 1459, 1366, 1851, 1283, 1472, 1472, 1250, 1437, 1706, 1479, 1593, 1472,
    1366, 1479, 1251, 1274, 1748, 1366, 1496, 1439, 2058, 2087, 1781, 2005, 1472, 1457, 2112, 1472,
    1139, 1265, 1259,  853, 1300, 1139, 1452, 1018, 1259, 1259, 1025, 1301, 1515, 1237, 1251, 1237,
    1251, 1139, 1003, 1139, 1792, 1139, 1259, 1189, 1707, 1728, 1493, 1749, 1259, 1131, 1749, 1195,
    1139, 1139, 1251,  853, 1131, 1139,  569,  576,  569, 1984, 1856, 1251, 1025, 1259, 1139, 1237,
  },
};

// Signs outside those blocks that texts typed in Russian use: regular, bold.
struct Sign {
    char16_t c;
    std::uint16_t advance[2];
};
constexpr Sign kSigns[] = {
    {u'\u2013', {1139, 1139}},
    {u'\u2014', {2048, 2048}},
    {u'\u2116', {2197, 2283}},
    {u'\u2026', {2048, 2048}},
    {u'\u201C', {682, 1024}},
    {u'\u201D', {682, 1024}},
    {u'\u201E', {682, 1024}},
};
// clang-format on

constexpr int kSeparatorAdvance = 569; // '.' and ',' alike
constexpr int kMinusAdvance = 682;
constexpr int kBlankAdvance = 569;
constexpr int kExponentAdvance = 1366; // 'E'
constexpr int kPlusAdvance = 1196;     // '+', wider than '-

// Decimal digits of a whole number, 1 for 0.
int digitsOf(std::uint64_t n) noexcept
{
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

// The advance of `a` (positive and finite) shown from the round-trip text of the standard
// library: the shortest decimal that reads back as `a`. A number it writes with an exponent
// ("1e+20", "1.5e-07") a spreadsheet shows with one too ("1E+20", "1.5E-07"), its mantissa
// rounded so that the whole takes at most kMaxGeneralDigits digits.
int slowAdvance(double a) noexcept
{
    char text[40];
    const char* const end = std::to_chars(text, text + sizeof text, a).ptr;
    const char* const e = std::find(static_cast<const char*>(text), end, 'e');
    int whole = 0, fraction = 0;
    bool afterPoint = false;
    for (const char* p = text; p != e; ++p) {
        if (*p == '.')
            afterPoint = true;
        else if (afterPoint)
            ++fraction;
        else
            ++whole;
    }
    if (e == end) {
        fraction = std::min(fraction, std::max(0, kMaxGeneralDigits - whole));
        whole = std::min(whole, kMaxGeneralDigits);
        return (whole + fraction) * kDigitAdvance + (fraction > 0 ? kSeparatorAdvance : 0);
    }
    // The exponent: its sign and at least two digits.
    const int exponentDigits = std::max(2, static_cast<int>(end - e) - 2);
    fraction = std::min(fraction, std::max(0, kMaxGeneralDigits - 1 - exponentDigits));
    return (1 + fraction + exponentDigits) * kDigitAdvance + (fraction > 0 ? kSeparatorAdvance : 0) +
           kExponentAdvance + kPlusAdvance;
}

} // namespace

int charAdvance(char16_t c, bool bold) noexcept
{
    const int style = bold ? 1 : 0;
    if (c >= 0x20 && c <= 0x7E)
        return kAscii[style][c - 0x20];
    if (c >= 0x400 && c <= 0x45F)
        return kCyrillic[style][c - 0x400];
    if (c >= 0xA0 && c <= 0xFF)
        return kLatin1[style][c - 0xA0];
    for (const Sign& s : kSigns)
        if (s.c == c)
            return s.advance[style];
    return kUnknownAdvance;
}

// The export measures every text it writes, mostly dates and times: ASCII is looked up here.
int textAdvance(std::u16string_view text, bool bold) noexcept
{
    const std::uint16_t* const ascii = kAscii[bold ? 1 : 0];
    int advance = 0;
    for (char16_t c : text) {
        const unsigned offset = static_cast<unsigned>(c) - 0x20u;
        advance += offset < std::size(kAscii[0]) ? ascii[offset] : charAdvance(c, bold);
    }
    return advance;
}

int decimalPlaces(double value) noexcept
{
    const double a = std::fabs(value);
    if (!(a < kMaxDecimalValue))
        return -1;
    // Usually a few places: counted up, each test a multiplication.
    for (int places = 0; places <= 9; ++places)
        if (hasAtMostPlaces(a, places))
            return places;
    return -1;
}

int wholeDigits(double value) noexcept
{
    const double a = std::fabs(value);
    if (a < 1e15)
        return digitsOf(static_cast<std::uint64_t>(a));
    int digits = 15;
    for (double limit = 1e15; a >= limit && digits < 400; limit *= 10)
        ++digits;
    return digits;
}

int decimalAdvance(int whole, int places, bool negative) noexcept
{
    // More digits than the General format shows: it rounds the decimals away, and writes a
    // longer whole number with an exponent in about as much room.
    places = std::min(places, std::max(0, kMaxGeneralDigits - whole));
    whole = std::min(whole, kMaxGeneralDigits);
    return (whole + places) * kDigitAdvance + (places > 0 ? kSeparatorAdvance : 0) + (negative ? kMinusAdvance : 0);
}

int generalNumberAdvance(double value) noexcept
{
    const double a = std::fabs(value);
    if (!(a > 0.0))
        return kDigitAdvance; // "0"; also -0
    if (const int places = decimalPlaces(a); places >= 0)
        return decimalAdvance(wholeDigits(a), places, value < 0);
    if (a < 1e15 && a == std::floor(a))
        return decimalAdvance(wholeDigits(a), 0, value < 0);
    if (!std::isfinite(a))
        return kMaxGeneralDigits * kDigitAdvance; // never written: the writer refuses it
    return slowAdvance(a) + (value < 0 ? kMinusAdvance : 0);
}

namespace {
// Column widths are in 1/256 of a digit.
constexpr int kWidthPerDigit = 256;
// A spreadsheet leaves a few pixels free at each side of a cell's text: one digit covers
// them at every zoom.
constexpr int kPadding = kWidthPerDigit;
// Screen fonts are hinted: at 10 points a letter may round to a whole pixel wider than its
// design width. 8 percent more than the design keeps a text on one line all the same.
constexpr int kSlackPercent = 108;
} // namespace

int columnWidthFor(int advance) noexcept
{
    if (advance <= 0)
        return kPadding;
    const std::int64_t scaled = std::int64_t{advance} * kWidthPerDigit * kSlackPercent;
    const std::int64_t per = std::int64_t{kDigitAdvance} * 100;
    return static_cast<int>((scaled + per - 1) / per) + kPadding;
}

int textRoomIn(int width) noexcept
{
    if (width <= kPadding)
        return 0;
    const std::int64_t text = width - kPadding;
    return static_cast<int>(text * kDigitAdvance * 100 / (std::int64_t{kWidthPerDigit} * kSlackPercent));
}

int wrappedLines(std::u16string_view text, bool bold, int room) noexcept
{
    int lines = 1;
    int line = -1; // the advance of the line so far; -1 before its first word
    while (!text.empty()) {
        const std::size_t blank = text.find(u' ');
        const std::u16string_view word = text.substr(0, blank);
        text = blank == std::u16string_view::npos ? std::u16string_view() : text.substr(blank + 1);
        if (word.empty())
            continue;
        const int advance = textAdvance(word, bold);
        if (line < 0) {
            line = advance;
        } else if (line + kBlankAdvance + advance <= room) {
            line += kBlankAdvance + advance;
        } else {
            ++lines;
            line = advance;
        }
    }
    return lines;
}

} // namespace xls::text_metrics
