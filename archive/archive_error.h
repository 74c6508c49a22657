#pragma once

#include <stdexcept>
#include <string>

namespace archive {

// The one error type of the archive. Its text is the Russian sentence the user reads (UTF-8);
// code() tells the cases apart where a caller must.
class ArchiveError : public std::runtime_error {
public:
    enum class Code {
        Open,        // the database cannot be opened or made (folder missing, no rights)
        NotArchive,  // the file is no archive of this program, or it is damaged
        NewerSchema, // made by a newer version of the program: not opened
        ReadOnly,    // the archive may be read but not written
        NoSpace,     // the disk under the archive is full
        Busy,        // another program holds the archive for longer than we wait
        Failed,      // any other refusal of the database
    };

    ArchiveError(Code code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    Code code() const noexcept { return m_code; }

private:
    Code m_code;
};

} // namespace archive
