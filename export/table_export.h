#pragma once

#include "document/limits.h"
#include "export/extra_columns.h"
#include "store/measurement_table.h"

#include <QString>

#include <array>

namespace xls {
class XlsWorkbook;
}

namespace table_export {

// The sheet layout of an exported measurement table. Row 0 of every sheet holds the
// headings; each record takes five rows below it: its values on the first, with the comment
// under its heading "Примечание", and the forces P1 to P5 stacked in column 10 as the first
// grid tab shows them. Records that do not fit into a sheet's 65,536 rows continue on further
// sheets "ВРТ-ТК5 (2)", "ВРТ-ТК5 (3)", …, each with its own heading row.
inline constexpr int kColumnCount = 12;
inline constexpr int kForceColumn = 10;
inline constexpr int kCommentColumn = 11;
inline constexpr int kRowsPerRecord = 5;
inline constexpr int kSheetRows = 65536;
inline constexpr int kRecordsPerSheet = (kSheetRows - 1) / kRowsPerRecord; // 13,107

// The headings of row 0, by column.
const std::array<QString, kColumnCount>& headings();
// "ВРТ-ТК5" for the first sheet (index 0), "ВРТ-ТК5 (n)" for the n-th.
QString sheetName(int index);
// Where record k (counted from 0 in the order exported) stands.
struct RecordPlace {
    int sheet;
    int row; // its first row
};
RecordPlace recordPlace(int k);

// Fills the empty workbook `book` with the rows of `table` that pass its filter, in file
// order whatever sort the user's view has: the first sheet is always made (headings only
// when no row passes). Texts are written as text cells (an empty field gives an empty text,
// which is a blank cell), numbers as real numbers (an empty field gives no cell at all). The
// rows are walked with a cursor of the export's own: the table's cursor, the row the user is
// on, does not move, and neither does the view's sort.
// Returns the number of records. Throws StoreError when the table cannot be read.
//
// Every sheet is laid out to be read and printed: the headings bold, centred and wrapped in
// a row tall enough for them, each column as wide as its heading's words and its widest
// value (ColumnFit), the heading row frozen on screen and printed at the top of every page,
// landscape pages one page wide. The records' cells keep the default style.
//
// With limits set, the N of every test below one is written red and bold. `extra` columns
// follow column 11, their values on the record's first row.
int fillWorkbook(const store::MeasurementTable& table, xls::XlsWorkbook& book, const document::Limits& limits = {},
                 const ExtraColumns& extra = {});

} // namespace table_export
