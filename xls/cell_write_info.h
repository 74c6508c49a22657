#pragma once

namespace xls {

// What the workbook writer knows of one range while it saves: the indexes its records carry.
// Each range's WriteSlot points at its own during a save.
struct CellWriteInfo {
    int xfIndex = 0;      // cell format (XF record); 21 or more for the formats built per save
    int sstIndex = -1;    // entry in the shared-string table; -1 when the range has no text
    int fontIndex = 0;    // font used by the cell format
    int formatIndex = 0;  // number format used by the cell format
};

} // namespace xls
