#pragma once

#include "xls/text_metrics.h"

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cmath>
#include <vector>

namespace xls {
class XlsWorksheet;
}

namespace table_export {

// Chooses a sheet's column widths and the height of its heading row from what goes into
// them, measured in the sheet's font (Arial 10; headings bold):
//   - a heading wraps at blanks onto at most two lines, so its column is as wide as the
//     wider line of its best two-line split (as wide as the heading when it is one word);
//     longer headings would take a taller heading row, printed again on every page, and
//     leave less of each page for the records;
//   - the column is at least as wide as its widest value (texts on one line, numbers as the
//     General format shows them), up to kMaxValueDigits digits: a longer text (a long
//     comment) runs on past the column's edge. Numbers are measured together, as wide as the
//     longest whole part and the most decimals among them (with a minus sign if any is
//     negative): as wide as the widest alone when the numbers of a column are alike, as the
//     instrument's are (a few digits wider when they mix 1234 and 0.0625), and found with
//     one multiplication per number instead of working out each number's digits;
//   - a digit more keeps the texts of neighbouring columns apart (a number ends at its
//     column's right edge, and the text in the next column starts at its left edge);
//   - the heading row is as tall as the heading with the most lines needs at that width.
// The values are noted while the sheet is filled, so that the cells are walked once.
class ColumnFit {
public:
    // The widest a value makes its column, in digits of the sheet's font.
    static constexpr int kMaxValueDigits = 50;
    // The gap between the texts of neighbouring columns, in XlsColumnWidth's unit.
    static constexpr int kGap = 256;

    explicit ColumnFit(int columns);

    // The heading of `column`, set bold and wrapped.
    void heading(int column, const QString& text);
    // A number of `column`, as written (General format). Runs for every number the export
    // writes: in the usual case a comparison or two and one multiplication, with branches that
    // go the same way number after number.
    void number(int column, double value) noexcept
    {
        Numbers& n = m_numbers[static_cast<std::size_t>(column)];
        const double a = std::fabs(value);
        if (a < xls::text_metrics::kMaxDecimalValue && xls::text_metrics::hasAtMostPlaces(a, n.places)) {
            n.any = true;
            n.largest = std::max(n.largest, a);
            n.negative |= value < 0;
            return;
        }
        noteUnusual(n, value);
    }
    // A text of `column`, regular, on one line.
    void text(int column, QStringView value) noexcept;

    // The width of `column`, in XlsColumnWidth's unit.
    int width(int column) const;
    // The lines of the heading of `column` at that width.
    int headingLines(int column) const;
    // Sets the widths of the sheet's columns 0..columns - 1 and the height of `headingRow`
    // (when a heading takes more than one line).
    void apply(xls::XlsWorksheet& sheet, int headingRow) const;

private:
    // The advance (font units) that the column's text must have room for.
    int room(int column) const;

    // The numbers of a column so far.
    struct Numbers {
        bool any = false;
        bool negative = false;
        double largest = 0;  // absolute value
        int places = 0;      // the most decimal places
        int others = 0;      // the widest number that is no such decimal (1/3, 1e20)
    };
    // Notes a number with more decimal places than the column's numbers so far, or one that
    // is no such decimal.
    static void noteUnusual(Numbers& n, double value) noexcept;
    // The advance the column's numbers need.
    static int advanceOf(const Numbers& n);

    std::vector<QString> m_headings;
    std::vector<int> m_headingRoom; // the heading on at most two lines
    std::vector<int> m_textRoom;    // the widest text so far
    std::vector<Numbers> m_numbers;
};

} // namespace table_export
