#pragma once

// The cell area of a worksheet, as the sheet writer uses it: the row blocks with their ROW,
// cell and DBCELL records. The records' data encoders are declared in biff_sheet.h.

#include "xls/biff_sheet.h"

#include <cstdint>
#include <vector>

namespace xls::biff {

// Writes the row blocks of the sheet's used area, which must not be empty: per block of up
// to 32 rows the ROW records, the cell records and DBCELL. Appends each DBCELL's position
// (counted from `globalsStart`) to `dbCells` and the sheet's merged ranges, in list order, to
// `merged`. Each range's WriteSlot must point at its CellWriteInfo.
void writeRowBlocks(ByteBuffer& stream, const XlsWorksheet& sheet, std::size_t globalsStart,
                    SheetIndexes& indexes, std::vector<std::uint32_t>& dbCells,
                    std::vector<MergedRange>& merged);

} // namespace xls::biff
