#pragma once

#include "platform/file_io.h"

#include <QString>

#include <string>

namespace xls {

// The message for a target a workbook must not replace (read-only, a folder, a device),
// naming the file as the user chose it. Both writers refuse with it.
std::string refusalText(const QString& fileName, const platform::FileError& error);

} // namespace xls
