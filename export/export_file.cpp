#include "export/export_file.h"

#include "export/csv_export.h"
#include "export/replacing_write.h"
#include "export/table_export.h"
#include "xls/biff_writer.h"
#include "xls/xls_workbook.h"
#include "xls/xlsx_writer.h"

#include <QFileInfo>

namespace table_export {

ExportFormat exportFormatOf(const QString& file, ExportFormat otherwise)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("xls"))
        return ExportFormat::Xls;
    if (suffix == QLatin1String("xlsx"))
        return ExportFormat::Xlsx;
    if (suffix == QLatin1String("csv"))
        return ExportFormat::Csv;
    return otherwise;
}

void exportTable(const store::MeasurementTable& table, const QString& file, ExportFormat format,
                 const document::Limits& limits, const ExtraColumns& extra)
{
    requireExportTarget(table.table().path(), file);
    if (format == ExportFormat::Csv) {
        writeCsvFile(table, file, limits, extra);
        return;
    }
    // One workbook model for both workbook files, so they cannot drift apart. Each writer
    // writes beside the file and moves it into place: all or nothing.
    xls::XlsWorkbook book;
    fillWorkbook(table, book, limits, extra);
    if (format == ExportFormat::Xlsx)
        xls::XlsxWriter().save(book, file);
    else
        xls::BiffWriter().save(book, file);
}

} // namespace table_export
