#pragma once

// How wide texts are in Arial, the font of every cell this program writes: columns are made
// wide enough for their texts, and rows tall enough for wrapped headings, before any
// spreadsheet program has seen them.
//
// Widths are advance widths in font units, 1/2048 of the font's size: a text of advance a is
// a * size / 2048 points long at `size` points, whatever the size. The unit of column widths
// (XlsColumnWidth) is the width of a digit in the Normal style's font, Arial 10 in every file
// this program writes, so a text set in Arial 10 needs advance / kDigitAdvance digits of
// column. Bold Arial has digits of the same width.

#include <cmath>
#include <cstdint>
#include <string_view>

namespace xls::text_metrics {

inline constexpr int kUnitsPerEm = 2048;
// Every digit, regular and bold: the unit of column widths.
inline constexpr int kDigitAdvance = 1139;
// The widest character the tables hold (they hold Latin-1, Cyrillic and a few signs): '№' in
// bold. Characters the tables lack count as this wide, so that a column is never too narrow
// for them.
inline constexpr int kMaxCharAdvance = 2283;
inline constexpr int kUnknownAdvance = kMaxCharAdvance;
// A spreadsheet shows a number in the General format with at most this many digits; one with
// more it rounds (or writes with an exponent) to fit.
inline constexpr int kMaxGeneralDigits = 11;

// The advance of one UTF-16 unit in Arial, regular or bold.
int charAdvance(char16_t c, bool bold) noexcept;
// The advance of a text on one line.
int textAdvance(std::u16string_view text, bool bold) noexcept;
// The advance of a number as the General format shows it in regular Arial: the shortest
// decimal that reads back as the value (digits, a decimal separator - '.' and ',' are equally
// wide - and a minus sign), at most kMaxGeneralDigits digits. Zero (and -0) shows as "0".
int generalNumberAdvance(double value) noexcept;

// Numbers as the measurement table holds them - decimals of a few places below 9e6 - show
// as their digits: generalNumberAdvance works them out from these, and so can a caller that
// measures many numbers and wants the widest (say, of a column) without measuring each.
//
// The largest absolute value of which decimals of up to nine places are worked out.
inline constexpr double kMaxDecimalValue = 9e6;
// Whether |value| (below kMaxDecimalValue) is a decimal of at most `places` places (0..9):
// its product with 10^places is a whole number, up to the rounding of the value and of the
// product (2^-53 each). A value a rounding error away from such a decimal shows as it, for
// the General format shows no more digits than a double holds. Cheap: no division.
inline bool hasAtMostPlaces(double value, int places) noexcept
{
    static constexpr double kPowersOfTen[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    // No branch on the value: the signs of the numbers of a column follow no pattern.
    const double scaled = std::fabs(value) * kPowersOfTen[places];
    // Below 9e15 (< 2^53) adding a half and truncating gives the nearest whole number.
    const double whole = static_cast<double>(static_cast<std::int64_t>(scaled + 0.5));
    return std::fabs(scaled - whole) <= scaled * 0x1p-52;
}
// The decimal places (0 to 9) of |value| below kMaxDecimalValue; -1 when it is not a decimal
// of at most nine places (1/3, or 1e-12).
int decimalPlaces(double value) noexcept;
// The digits before the decimal separator of |value| (1 for values below 1).
int wholeDigits(double value) noexcept;
// The advance of a number with `whole` digits before the separator, `places` after it (none,
// and no separator, for 0) and a minus sign when `negative`, as the General format shows it:
// at most kMaxGeneralDigits digits.
int decimalAdvance(int whole, int places, bool negative) noexcept;

// The column width, in XlsColumnWidth's unit, in which a text of `advance` set in the Normal
// style's font size shows whole: the text, the cell's padding on both sides, and a margin for
// screen fonts whose letters round to whole pixels wider than the design.
int columnWidthFor(int advance) noexcept;
// The longest advance that columnWidthFor fits into `width`: the room for text in a column.
int textRoomIn(int width) noexcept;

// The lines a text takes when it wraps at blanks into lines no longer than `room`, as a cell
// with WrapText shows it; a word longer than `room` takes a line of its own. An empty text
// takes one line.
int wrappedLines(std::u16string_view text, bool bold, int room) noexcept;

} // namespace xls::text_metrics
