#pragma once

#include "document/limits.h"
#include "export/extra_columns.h"
#include "store/measurement_table.h"

#include <QString>

namespace table_export {

// The files the export writes, from the window and from the command line alike.
enum class ExportFormat {
    Xls,  // Excel 97 workbook
    Xlsx, // Excel 2007 and later: the same workbook
    Csv,  // text for any spreadsheet: UTF-8, ";" and a decimal comma
};

// The format a file name asks for by its extension (any case); `otherwise` for another one.
ExportFormat exportFormatOf(const QString& file, ExportFormat otherwise);

// Writes the rows of the table's view into `file`, beside it first and then moved into place,
// so that a failure leaves what was there. Tests below the limits are marked. A file that may
// not be written (the table itself, another table, a file held open) is refused before any
// work. Throws XlsError or StoreError saying why. `extra` columns follow the table's own.
void exportTable(const store::MeasurementTable& table, const QString& file, ExportFormat format,
                 const document::Limits& limits, const ExtraColumns& extra = {});

} // namespace table_export
