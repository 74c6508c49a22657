#pragma once

// The program's file primitives, one place for each operating system: exclusive open under a
// lock, reads and writes at an offset, truncate, replace by rename, remove, and what a path
// is. No Qt here, so the unit builds and runs alone on every platform (its tests run under
// Windows semantics too). Paths are UTF-8.
//
// Every write, truncate, sync and rename passes through a hook that tests can swap, so that
// a table can be made to fail its Nth write, write half of it or find the disk full.

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

class FileError : public std::runtime_error {
public:
    enum class Code {
        Io,         // any other refusal of the operating system
        NotFound,   // the file or its folder does not exist
        Locked,     // another program (or another open in this one) holds the file
        ReadOnly,   // the file or its folder may not be written
        NotRegular, // a folder, a device, a pipe: nothing a table or workbook may replace
        NoSpace,    // the disk is full
    };

    // `reason` is the system's own wording; what() is "<action> "<path>": <reason>".
    // `systemCode` is the system's error number (errno, or GetLastError() on Windows), -1
    // when there is none.
    FileError(Code code, const std::string& action, const std::string& path, const std::string& reason,
              int systemCode = -1);
    Code code() const noexcept { return m_code; }
    int systemCode() const noexcept { return m_systemCode; }
    const std::string& path() const noexcept { return m_path; }
    const std::string& reason() const noexcept { return m_reason; }

private:
    Code m_code;
    std::string m_path;
    std::string m_reason;
    int m_systemCode = -1;
};

// The reason the program gives for a C library error number: Russian for the failures users
// meet, never the C library's English.
std::string errnoReason(int error);

// ---- names -------------------------------------------------------------------------------

// A path held as UTF-16 text in the form the functions here take it on Windows: UTF-8, which
// they turn back into the system's UTF-16 names. (A lone surrogate, which no UTF-8 holds,
// becomes U+FFFD, as the system's own conversion makes it.) The layers above hold paths as
// QStrings and convert them with platform::nativeName (platform/native_name.h), which uses
// this on Windows.
std::string utf8FromUtf16(std::u16string_view path);

// The full name of the running program's own file (UTF-8 on Windows), links resolved on
// Linux; empty where the system does not tell it.
std::string executablePath();

// ---- fault injection -----------------------------------------------------------------------

enum class Operation { Write, Truncate, Sync, Rename };

// What the hook lets an operation do: go ahead, or fail with the system error `error` after
// `bytes` bytes of a write have reached the file (a short write). NoSpace is ENOSPC /
// ERROR_DISK_FULL, Io is EIO / ERROR_WRITE_FAULT.
struct Fault {
    bool fail = false;
    FileError::Code error = FileError::Code::Io;
    std::size_t bytes = 0;
};

// Called before each write, truncate, sync and rename with the file's path (the target for a
// rename), the offset and the size of the operation. Empty: everything goes ahead.
using FaultHook = std::function<Fault(Operation, std::string_view path, std::uint64_t offset, std::size_t size)>;
// Installs a hook for the whole process and returns the one it replaces. Tests only.
FaultHook setFaultHook(FaultHook hook);

// ---- files ---------------------------------------------------------------------------------

// An open file held under an exclusive lock for as long as the object lives. A second opener,
// in this process or another, is refused with Code::Locked; so is a file on which another
// program holds a POSIX record lock.
class File {
public:
    enum class Mode {
        Existing,  // open an existing file for reading and writing
        Create,    // make it, or empty an existing one once it is locked
        CreateNew, // make it; a file of that name already there is refused (Code::Io, exists)
        Read,      // open an existing file for reading only, under a shared lock: other
                   // readers may read it too, but a file somebody holds for writing is
                   // refused (Code::Locked), and nobody may take it for writing meanwhile
    };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    static File open(const std::string& path, Mode mode);

    bool isOpen() const noexcept { return m_fd >= 0; }
    const std::string& path() const noexcept { return m_path; }
    std::uint64_t size() const;
    // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
    std::size_t readAt(std::uint64_t offset, char* into, std::size_t size) const;
    void writeAt(std::uint64_t offset, std::string_view bytes);
    void truncate(std::uint64_t length);
    void sync();
    void close() noexcept;
    // Gives this file the access rights of `other`.
    void copyPermissionsFrom(const File& other);
    // The file now goes by another name (it was renamed); messages use it.
    void setPath(std::string path) { m_path = std::move(path); }
    // Whether the file still has a name in its folder (another program may have removed it
    // between our create and our lock).
    bool isLinked() const;
    // A stdio stream of its own over the same file, for libraries that write through one;
    // the stream's position starts at 0. Closing the stream leaves this file open (and
    // locked). Throws FileError when it cannot be made.
    std::FILE* stream(const char* mode) const;

private:
    int m_fd = -1;
    std::string m_path;
};

// What a path names, symlinks followed.
struct PathInfo {
    bool exists = false;
    bool regular = false;  // an ordinary file
    bool writable = false; // this user may write it (for a missing file: its folder)
    bool isLink = false;   // the path itself is a symbolic link
};
PathInfo pathInfo(const std::string& path);

// The path with every symbolic link resolved, so that a replaced file replaces the file a
// link points to, not the link. A missing file resolves through its folder; a path that
// cannot be resolved is returned as it is.
std::string resolvedPath(const std::string& path);

// Refuses, with a FileError, a path that must not be replaced by a new file: a folder, a
// device or a pipe (NotRegular), or a file this user may not write (ReadOnly).
void requireReplaceable(const std::string& path);

// Renames `source` over `target` in one step. Neither may be open on Windows.
void replaceFile(const std::string& source, const std::string& target);
// Removes a file; false when it could not (a missing file counts as removed).
bool removeFile(const std::string& path) noexcept;
bool fileExists(const std::string& path) noexcept;
// Gives `path` the access rights of `model` (best effort; false when it could not).
bool copyPermissions(const std::string& model, const std::string& path) noexcept;

// Whether two paths name the same file (links followed): the same device and file number.
// False when either does not exist.
bool sameFile(const std::string& a, const std::string& b) noexcept;

// Whether another open of the file (in this program or another) holds its lock: a table
// open in a copy of this program, a file being written by one. False for a missing file.
bool isHeld(const std::string& path) noexcept;

// Refuses, with a FileError, a path that an export must not replace: what requireReplaceable
// refuses, and a file somebody holds open under a lock (Code::Locked).
void requireExportTarget(const std::string& path);

} // namespace platform
