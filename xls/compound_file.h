#pragma once

#include <QString>

#include <string_view>

namespace xls {

// Writes a compound document holding one stream, "Workbook", with the given bytes. The file
// is written beside `fileName` and moved over it (replacing an existing file) only when it
// is complete; on failure nothing is left behind. Throws XlsError: CreateFile with
// "StgCreateDocFile error %d", CreateStream with "CreateStream error %d", Write.
void writeCompoundFile(const QString& fileName, std::string_view workbookStream);

} // namespace xls
