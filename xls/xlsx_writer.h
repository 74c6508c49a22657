#pragma once

#include <QString>

namespace xls {

class XlsWorkbook;

// Writes a workbook as an Office Open XML workbook (.xlsx) through libxlsxwriter: the same
// model the BIFF8 writer saves as .xls, read through the same accessors (every entry of each
// sheet's list with XlsWorksheet::cellAt, so plain cells stay plain), so that the two files
// show the same sheets.
//
// What goes where:
// - Sheets in order, with their names; the first one selected. The author name is the
//   document's creator.
// - Every entry at its place: numbers as numbers (-0 as 0), texts in UTF-8 (a text that holds
//   "_xHHHH_" itself keeps it: the file's escape of a character code is escaped in turn), a
//   cell with no text as a blank cell with its format, as the .xls has it. A range's value
//   goes into its top-left cell; a range over several cells is merged, its other cells blank
//   with its format. Values that are not numbers go as the text XlsValue::toText gives
//   (dates, booleans, the other integer widths), as in the .xls.
// - Each cell's style, plain cells with the default one: font (name, size, colour, bold,
//   italic, single underline, strike-out, character set, and the pitch as the font family, as
//   the .xls stores it), horizontal and vertical alignment, wrapping, rotation (file values
//   91..180 turn clockwise, 255 stacks the letters), number format, fill (pattern and both
//   colours), the four borders and the diagonals (line styles numbered alike in both formats).
//   Colours are exact RGB; system colours resolve as in the .xls.
// - Column widths: the model's unit (1/256 of a digit of the Normal font, padding included,
//   as COLINFO keeps it) becomes the file's column width Width / 256, realised in whole
//   pixels of 7 per digit as Excel shows any width; width 0 hides the column.
// - Row heights: twips / 20 = points, for rows within the used area (the .xls writes no
//   other); every other row has the sheet's default of 12.75 points, like the .xls's rows.
// - Frozen rows and columns; the rows repeated on every page (Print_Titles).
// - Page setup: orientation, paper, zoom or fit to N pages wide by M tall (0 = as many as it
//   takes), margins in inches, header and footer texts ("&L…&C…&R…", as in the .xls) with
//   their margins, first page number, page order, centring, printed grid lines and headings.
//
// What has no counterpart here (the library offers no way to write it): the number of copies,
// black-and-white, draft and print-notes options; a header or footer margin of 0 (the library
// takes only positive ones: the file keeps Excel's default 0.3 inch); a zoom outside 10..400 %
// (the file takes no other: printed at 100 %). Numbers keep the 16
// significant digits the library writes (Excel shows 15). The .xls palette's limits do not
// apply: colours stay exact. Texts longer than the format holds are cut: 32,767 characters in
// a cell, 255 in a header or footer; font names and number formats at 127 bytes of UTF-8.
//
// A workbook without sheets gets one empty "Sheet1" (a file must hold a sheet).
//
// Without merged cells the library writes each row out once the walk has passed it (its
// constant-memory mode: the sheet's list is in row order, and row heights are handed over in
// that order too), so a big export takes little more memory than the model; a workbook with
// merged cells is kept whole until the file is written.
//
// Rows and columns may reach the format's limits (1,048,576 and 16,384), further than an .xls
// allows. Sheet names must be ones the format takes: not empty, none of : \ / ? * [ ], no
// apostrophe at either end, no two alike regardless of case.
//
// The file appears complete or not at all: it is written beside its final name and moved
// there once the library has finished it. A symbolic link is written through; a replaced file
// keeps its access rights; a read-only target or one that is not a regular file is refused.
class XlsxWriter {
public:
    XlsxWriter() = default;
    XlsxWriter(const XlsxWriter&) = delete;
    XlsxWriter& operator=(const XlsxWriter&) = delete;

    // Writes `book` to `fileName`, replacing an existing file. Throws XlsError: for a model
    // the format cannot hold (see Validate) before anything is written; NotReplaceable for a
    // target that must not be replaced; CreateFile when the file cannot be made; Write when
    // writing fails part-way. Nothing is left behind on failure.
    void save(const XlsWorkbook& book, const QString& fileName);

    // Checks that every sheet of `book` fits the format. Throws XlsError (BadRange, BadValue,
    // TooManyRows, TooManyColumns, BadArgument for a sheet name) otherwise.
    static void validate(const XlsWorkbook& book);

    // The largest row and column index an .xlsx sheet holds.
    static constexpr int kMaxRow = 1048575;
    static constexpr int kMaxColumn = 16383;
};

} // namespace xls
