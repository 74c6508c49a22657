#pragma once

#include <QString>

#include <span>

namespace document {

// Every place the program shows the measurement table's fields as columns: the two grid
// tabs, the exported sheet and the three printed reports. Captions, formats and widths of all
// of them live in one list, so that a caption is corrected in one place and the places can
// be compared.
enum class ColumnSet {
    Grid1,             // the penetrometer tab
    Grid1ForcesInRow,  // the same, one line per test with F1…F5 side by side
    Grid2,             // the press tab
    Export,            // the exported sheet, columns left to right
    PenetrometerReport,
    PressReport,
    PlateTestReport,
};

// How a value is shown.
enum class CellFormat {
    General, // the field's own text; numbers in the shortest general form
    Fixed2,  // "0.00"
    Fixed4,  // "0.0000"
    Decimal3, // up to three decimals, trailing zeros dropped
    Text,    // the stored text as plain text
};

struct CatalogueColumn {
    const char* field;   // the table field shown; "" for a heading over the lines below it
    const char* caption; // UTF-8
    CellFormat format = CellFormat::General;
    // Grids: design width in pixels; reports: width in 1/96 inch; the sheet: unused (0).
    int width = 0;
    // 0: a column of its own. n > 0: the n-th line under the column before it (the five
    // forces under their common heading).
    int line = 0;
    // Grids only: the position in the column block of the column before it (0 opens a block).
    int index = 0;
    bool readOnly = false; // grids only
    int left = 0;          // reports only: from the paper's left edge, in 1/96 inch
    bool alignLeft = false; // reports only: the value starts at the cell's left edge
};

std::span<const CatalogueColumn> columns(ColumnSet set);

// The display format of a field wherever it is shown as field text, e.g. "0.0" for G, a
// whole number read with one decimal; empty when the field has none.
QString fieldTextPattern(const QString& field);

} // namespace document
