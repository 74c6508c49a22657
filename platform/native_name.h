#pragma once

// The one place where a path that the program holds as a QString becomes the name the file
// layer (file_io.h) takes: UTF-8 on Windows, where the file layer turns it back into the
// system's UTF-16 names (the ANSI code page that QFile::encodeName gives there would lose
// every character it cannot hold: an export into a Cyrillic folder would fail); elsewhere
// the bytes the system's own calls take, as QFile::encodeName makes them. Libraries that the
// writers hand a name to (GLib, the .xlsx writer) take the same form.
//
// Header only: the file layer itself builds without Qt (also for the Windows tests); the
// layers above, which include this, all have Qt.

#include "platform/file_io.h"

#include <QFile>
#include <QString>

#include <string>
#include <string_view>

namespace platform {

inline std::string nativeName(const QString& path)
{
#ifdef _WIN32
    return utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(path.utf16()), std::size_t(path.size())));
#else
    return QFile::encodeName(path).toStdString();
#endif
}

} // namespace platform
