#pragma once

#include <QString>

#include <string_view>

namespace xls {

// Writes a compound document holding one stream, "Workbook", with the given bytes. The file
// is written beside `fileName` and moved over it (replacing an existing file) only when it
// is complete; on failure nothing is left behind. A symbolic link is written through (the
// file it points to is replaced, the link stays); a replaced file keeps its access rights; a
// read-only target or one that is not a regular file is refused and left alone. Throws
// XlsError: NotReplaceable, CreateFile with "StgCreateDocFile error %d", CreateStream with
// "CreateStream error %d", Write.
void writeCompoundFile(const QString& fileName, std::string_view workbookStream);

} // namespace xls
