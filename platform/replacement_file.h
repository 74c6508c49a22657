#pragma once

// Replacing a file whole. The new content is written into a temporary file beside the target
// (same folder, so the last step is one rename), which then takes the target's place with the
// old file's access rights. A failure at any point leaves the target as it was.
//
// The temporary file has a short name of its own, ".kvel-<8 hex digits>.tmp": short, so that
// a target whose name is already near the system's limit can still be written; recognisable,
// so that one left behind by a writer that was killed can be found and removed by the next
// writer in that folder. While it is being written it is held under the same lock as an open
// table, which tells a file in use from a leftover.

#include "platform/file_io.h"

#include <string>
#include <string_view>

namespace platform {

class ReplacementFile {
public:
    // Makes a new temporary file beside `target` (a path with links already resolved), after
    // removing the leftovers of earlier writers in that folder. Throws FileError when the
    // folder refuses a new file.
    explicit ReplacementFile(const std::string& target);
    // Removes the temporary file unless it has taken the target's place.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    const std::string& path() const noexcept { return m_path; }
    const std::string& target() const noexcept { return m_target; }
    File& file() noexcept { return m_file; }

    // Flushes the content to the disk, gives the file the target's access rights and moves it
    // over the target. Throws FileError; the temporary file is gone either way. (A writer that
    // must open the file by name where an open file cannot be shared, as on Windows, closes
    // file() first; commit then moves the file as it is.)
    void commit();

private:
    std::string m_target;
    std::string m_path;
    File m_file;
    bool m_committed = false;
};

// Whether `fileName` (a name without folder) has the form of our temporary files.
bool isTemporaryName(std::string_view fileName) noexcept;

// Removes from `folder` the temporary files that writers of this program left behind: only
// plain files with our name that belong to this user and that nobody holds. Returns how many
// went.
int removeLeftoverTemporaries(const std::string& folder) noexcept;

} // namespace platform
