#pragma once

#include <QString>

#include <functional>
#include <string>

namespace table_export {

// Writes a file the safe way: `write` makes the whole file under a temporary name beside the
// target, which then takes the target's place in one step, with the old file's access rights.
// A symbolic link is followed (its target is replaced); a folder, a device or a file the user
// may not write is refused before anything is written. On any failure the temporary file goes
// and the target is left as it was. `write` throws to fail; a platform::FileError or a
// StoreError is passed on as a StoreError (Io) that names the file.
void writeReplacing(const QString& path, const std::function<void(const std::string& tempPath)>& write);

} // namespace table_export
