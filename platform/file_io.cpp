#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <random>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

FileError::FileError(Code code, const std::string& action, const std::string& path, const std::string& reason,
                     int systemCode)
    : std::runtime_error(action + " \"" + path + "\": " + reason), m_code(code), m_path(path), m_reason(reason),
      m_systemCode(systemCode)
{
}

namespace {

std::mutex hookMutex;
FaultHook currentHook;

Fault askHook(Operation op, std::string_view path, std::uint64_t offset, std::size_t size)
{
    FaultHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = currentHook;
    }
    return hook ? hook(op, path, offset, size) : Fault{};
}

// The system's reason for the common failures, in the user's language; anything rarer in the
// system's own words.
std::string reasonOf(int error)
{
    switch (error) {
    case ENOSPC: return "на диске нет места";
#ifdef EDQUOT
    case EDQUOT: return "превышена дисковая квота";
#endif
    case EACCES: case EPERM: return "нет доступа";
    case EROFS: return "диск доступен только для чтения";
    case ENOENT: return "нет такого файла или папки";
    case EIO: return "ошибка ввода-вывода";
    case EISDIR: return "это папка";
    case EFBIG: return "файл слишком велик";
    case ENAMETOOLONG: return "слишком длинное имя файла";
    case ENOTDIR: return "часть пути — не папка";
#ifdef ELOOP
    case ELOOP: return "слишком много символических ссылок в пути";
#endif
    case EEXIST: return "файл уже существует";
    case EBUSY: return "файл занят";
    case EMFILE: case ENFILE: return "открыто слишком много файлов";
    case ENOMEM: return "недостаточно памяти";
    case EXDEV: return "файл лежит на другом диске";
    case EINVAL: return "недопустимое имя или действие";
    default: return "системная ошибка " + std::to_string(error);
    }
}

FileError::Code codeOf(int error)
{
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileError::Code::NoSpace;
    case EACCES: case EPERM: case EROFS: return FileError::Code::ReadOnly;
    case ENOENT: return FileError::Code::NotFound;
    case EISDIR: return FileError::Code::NotRegular;
    default: return FileError::Code::Io;
    }
}

int errnoOf(FileError::Code code)
{
    switch (code) {
    case FileError::Code::NoSpace: return ENOSPC;
    case FileError::Code::ReadOnly: return EACCES;
    case FileError::Code::NotFound: return ENOENT;
    case FileError::Code::NotRegular: return EISDIR;
    default: return EIO;
    }
}

[[noreturn]] void fromErrno(const char* action, const std::string& path, int error)
{
    throw FileError(codeOf(error), action, path, reasonOf(error), error);
}

[[noreturn]] void injected(const char* action, const std::string& path, const Fault& fault)
{
    fromErrno(action, path, errnoOf(fault.error));
}

[[noreturn]] void lockedError(const std::string& path)
{
    throw FileError(FileError::Code::Locked, "Файл занят", path, "он открыт другой программой");
}

constexpr const char* kOpenAction = "Не удалось открыть файл";
constexpr const char* kWriteAction = "Ошибка записи в файл";
constexpr const char* kReadAction = "Ошибка чтения файла";

#ifdef _WIN32

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string narrow(const std::wstring& w)
{
    if (w.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// The system's text for a Win32 error code, in the system's language.
std::string windowsReason(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L'.' || text.back() == L' '))
        text.pop_back();
    return text.empty() ? "ошибка " + std::to_string(error) : narrow(text);
}

FileError::Code codeOfWindows(DWORD error)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return FileError::Code::Locked;
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: return FileError::Code::ReadOnly;
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return FileError::Code::NotFound;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return FileError::Code::NoSpace;
    default: return FileError::Code::Io;
    }
}

[[noreturn]] void fromWindows(const char* action, const std::string& path, DWORD error)
{
    throw FileError(codeOfWindows(error), action, path, windowsReason(error), static_cast<int>(error));
}

#endif

} // namespace

std::string errnoReason(int error)
{
    return reasonOf(error);
}

FaultHook setFaultHook(FaultHook hook)
{
    std::lock_guard lock(hookMutex);
    return std::exchange(currentHook, std::move(hook));
}

// ---- File -------------------------------------------------------------------------------------

File::~File() { close(); }

File::File(File&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

File File::open(const std::string& path, Mode mode)
{
    const bool create = mode == Mode::Create;
    const bool createNew = mode == Mode::CreateNew;
    const bool readOnly = mode == Mode::Read;
    const PathInfo info = pathInfo(path);
    // A device or a pipe is never opened: opening alone can block or take over a terminal.
    if (info.exists && !info.regular)
        throw FileError(FileError::Code::NotRegular, kOpenAction, path, "это не обычный файл");
    File f;
    f.m_path = path;
#ifdef _WIN32
    // A no-share open is the lock: a second opener gets a sharing violation. Creating empties
    // the file only once the open has succeeded, so a table held elsewhere is never wiped.
    const std::wstring name = wide(path);
    // A reader lets others read beside it, and no one write.
    const int flags = (readOnly ? _O_RDONLY : _O_RDWR) | _O_BINARY | _O_NOINHERIT
        | (create || createNew ? _O_CREAT : 0) | (createNew ? _O_EXCL : 0);
    const errno_t err = _wsopen_s(&f.m_fd, name.c_str(), flags, readOnly ? _SH_DENYWR : _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (err != 0) {
        f.m_fd = -1;
        // _doserrno rather than _get_doserrno(): the system's msvcrt.dll, which MinGW builds
        // link against, has only the former; both hold the Win32 error of the open.
        const unsigned long dosError = _doserrno;
        if (dosError == ERROR_SHARING_VIOLATION || dosError == ERROR_LOCK_VIOLATION)
            lockedError(path);
        if (dosError != 0)
            fromWindows(kOpenAction, path, dosError);
        fromErrno(kOpenAction, path, err);
    }
#else
    // A new file is made with O_EXCL and O_NOFOLLOW: a link planted under its name is never
    // written through.
    const int newFlags = createNew ? O_CREAT | O_EXCL | O_NOFOLLOW : 0;
    f.m_fd = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0) | newFlags,
                    0644);
    if (f.m_fd < 0)
        fromErrno(kOpenAction, path, errno);
    struct stat st {};
    if (::fstat(f.m_fd, &st) != 0)
        fromErrno(kOpenAction, path, errno);
    if (!S_ISREG(st.st_mode)) {
        f.close();
        throw FileError(FileError::Code::NotRegular, kOpenAction, path, "это не обычный файл");
    }
    // Two locks: flock, which another copy of this program takes, and a whole-file record
    // lock, which other programs take (and which they see from us).
    // A reader takes both shared: it conflicts with a writer, not with another reader.
    if (::flock(f.m_fd, (readOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        const int error = errno;
        f.close();
        if (error == EWOULDBLOCK)
            lockedError(path);
        fromErrno(kOpenAction, path, error);
    }
    struct flock range {};
    range.l_type = readOnly ? F_RDLCK : F_WRLCK;
    range.l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
    const int setLock = F_OFD_SETLK; // owned by this open, so a second open here conflicts too
#else
    const int setLock = F_SETLK;
#endif
    if (::fcntl(f.m_fd, setLock, &range) != 0) {
        const int error = errno;
        f.close();
        if (error == EAGAIN || error == EACCES)
            lockedError(path);
        // A file system without record locks still has the flock.
        if (error != ENOLCK && error != EINVAL && error != EOPNOTSUPP)
            fromErrno(kOpenAction, path, error);
    }
#endif
    if (create)
        f.truncate(0);
    return f;
}

std::uint64_t File::size() const
{
#ifdef _WIN32
    const __int64 s = _filelengthi64(m_fd);
    if (s < 0)
        fromErrno(kReadAction, m_path, errno);
    return static_cast<std::uint64_t>(s);
#else
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        fromErrno(kReadAction, m_path, errno);
    return static_cast<std::uint64_t>(st.st_size);
#endif
}

std::size_t File::readAt(std::uint64_t offset, char* into, std::size_t size) const
{
    std::size_t done = 0;
    while (done < size) {
        const std::size_t chunk = std::min<std::size_t>(size - done, std::size_t(1) << 30);
#ifdef _WIN32
        if (_lseeki64(m_fd, static_cast<__int64>(offset + done), SEEK_SET) < 0)
            fromErrno(kReadAction, m_path, errno);
        const int n = _read(m_fd, into + done, static_cast<unsigned>(chunk));
#else
        const ssize_t n = ::pread(m_fd, into + done, chunk, static_cast<off_t>(offset + done));
#endif
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fromErrno(kReadAction, m_path, errno);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void File::writeAt(std::uint64_t offset, std::string_view bytes)
{
    const Fault fault = askHook(Operation::Write, m_path, offset, bytes.size());
    std::string_view part = bytes;
    if (fault.fail)
        part = bytes.substr(0, std::min(fault.bytes, bytes.size()));
    std::size_t done = 0;
    while (done < part.size()) {
#ifdef _WIN32
        if (_lseeki64(m_fd, static_cast<__int64>(offset + done), SEEK_SET) < 0)
            fromErrno(kWriteAction, m_path, errno);
        const int n = _write(m_fd, part.data() + done, static_cast<unsigned>(part.size() - done));
#else
        const ssize_t n = ::pwrite(m_fd, part.data() + done, part.size() - done, static_cast<off_t>(offset + done));
#endif
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fromErrno(kWriteAction, m_path, errno);
        }
        if (n == 0)
            fromErrno(kWriteAction, m_path, ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    if (fault.fail)
        injected(kWriteAction, m_path, fault);
}

void File::truncate(std::uint64_t length)
{
    const Fault fault = askHook(Operation::Truncate, m_path, length, 0);
    if (fault.fail)
        injected(kWriteAction, m_path, fault);
#ifdef _WIN32
    const errno_t err = _chsize_s(m_fd, static_cast<__int64>(length));
    if (err != 0)
        fromErrno(kWriteAction, m_path, err);
#else
    while (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) {
        if (errno != EINTR)
            fromErrno(kWriteAction, m_path, errno);
    }
#endif
}

void File::sync()
{
    const Fault fault = askHook(Operation::Sync, m_path, 0, 0);
    if (fault.fail)
        injected(kWriteAction, m_path, fault);
#ifdef _WIN32
    if (_commit(m_fd) != 0)
#else
    if (::fsync(m_fd) != 0)
#endif
        fromErrno(kWriteAction, m_path, errno);
}

void File::copyPermissionsFrom(const File& other)
{
#ifdef _WIN32
    (void)other; // a new file in the same folder inherits the folder's rights
#else
    struct stat st {};
    if (::fstat(other.m_fd, &st) != 0 || ::fchmod(m_fd, st.st_mode & 07777) != 0)
        fromErrno("Не удалось задать права файла", m_path, errno);
#endif
}

bool File::isLinked() const
{
#ifdef _WIN32
    return true; // a file open without delete sharing cannot lose its name
#else
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 && st.st_nlink > 0;
#endif
}

std::FILE* File::stream(const char* mode) const
{
#ifdef _WIN32
    const int copy = _dup(m_fd);
    std::FILE* out = copy >= 0 ? _fdopen(copy, mode) : nullptr;
    if (!out && copy >= 0)
        _close(copy);
#else
    const int copy = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    std::FILE* out = copy >= 0 ? ::fdopen(copy, mode) : nullptr;
    if (!out && copy >= 0)
        ::close(copy);
#endif
    if (!out)
        fromErrno(kOpenAction, m_path, errno);
    std::rewind(out);
    return out;
}

void File::close() noexcept
{
    if (m_fd < 0)
        return;
#ifdef _WIN32
    _close(m_fd);
#else
    ::close(m_fd); // closing drops the flock and the record lock with it
#endif
    m_fd = -1;
}

// ---- paths ------------------------------------------------------------------------------------

PathInfo pathInfo(const std::string& path)
{
    PathInfo info;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const std::size_t slash = path.find_last_of("/\\");
        const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
        const DWORD folderAttributes = GetFileAttributesW(wide(folder).c_str());
        info.writable = folderAttributes != INVALID_FILE_ATTRIBUTES && (folderAttributes & FILE_ATTRIBUTE_DIRECTORY);
        return info;
    }
    info.exists = true;
    info.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    info.regular = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    info.writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
#else
    struct stat st {};
    info.isLink = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (::stat(path.c_str(), &st) != 0) {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
        info.writable = ::access(folder.c_str(), W_OK) == 0;
        return info;
    }
    info.exists = true;
    info.regular = S_ISREG(st.st_mode);
    // A file nobody may write is read-only to its owner's mind, even for root, who could.
    info.writable = (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
#endif
    return info;
}

std::string resolvedPath(const std::string& path)
{
#ifdef _WIN32
    const HANDLE h = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return path;
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= buffer.size())
        return path;
    buffer.resize(n);
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0)
        buffer = L"\\\\" + buffer.substr(8);
    else if (buffer.rfind(L"\\\\?\\", 0) == 0)
        buffer = buffer.substr(4);
    return narrow(buffer);
#else
    // Follow links one at a time, so that a link to a file that does not exist yet resolves
    // to where that file will be.
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0)
            break;
        target.resize(static_cast<std::size_t>(n));
        if (target.front() != '/') {
            const std::size_t slash = current.rfind('/');
            target = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + target;
        }
        current = target;
    }
    if (char* real = ::realpath(current.c_str(), nullptr)) {
        std::string out(real);
        std::free(real);
        return out;
    }
    const std::size_t slash = current.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : current.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? current : current.substr(slash + 1);
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        std::string out(real);
        std::free(real);
        return out + (out.back() == '/' ? "" : "/") + name;
    }
    return current;
#endif
}

void requireReplaceable(const std::string& path)
{
    const PathInfo info = pathInfo(path);
    if (!info.exists)
        return;
    if (!info.regular)
        throw FileError(FileError::Code::NotRegular, "Нельзя заменить", path, "это не обычный файл");
    if (!info.writable)
        throw FileError(FileError::Code::ReadOnly, "Нельзя заменить", path, "файл только для чтения");
}

void replaceFile(const std::string& source, const std::string& target)
{
    constexpr const char* action = "Не удалось заменить файл";
    const Fault fault = askHook(Operation::Rename, target, 0, 0);
    if (fault.fail)
        injected(action, target, fault);
#ifdef _WIN32
    if (!MoveFileExW(wide(source).c_str(), wide(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fromWindows(action, target, GetLastError());
#else
    if (::rename(source.c_str(), target.c_str()) != 0)
        fromErrno(action, target, errno);
#endif
}

bool removeFile(const std::string& path) noexcept
{
#ifdef _WIN32
    if (DeleteFileW(wide(path).c_str()))
        return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
#else
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
#endif
}

bool fileExists(const std::string& path) noexcept
{
#ifdef _WIN32
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
#endif
}

bool copyPermissions(const std::string& model, const std::string& path) noexcept
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(wide(model).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return SetFileAttributesW(wide(path).c_str(), attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                                 FILE_ATTRIBUTE_ARCHIVE)) != 0;
#else
    struct stat st {};
    return ::stat(model.c_str(), &st) == 0 && ::chmod(path.c_str(), st.st_mode & 07777) == 0;
#endif
}

bool sameFile(const std::string& a, const std::string& b) noexcept
{
#ifdef _WIN32
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE h = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION x {}, y {};
    return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber
        && x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
#else
    struct stat x {}, y {};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
#endif
}

bool isHeld(const std::string& path) noexcept
{
    const PathInfo info = pathInfo(path);
    if (!info.exists || !info.regular)
        return false;
#ifdef _WIN32
    // A table open in this program is open without sharing: any other open is refused.
    int fd = -1;
    if (_wsopen_s(&fd, wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, 0) != 0) {
        const unsigned long dosError = _doserrno;
        return dosError == ERROR_SHARING_VIOLATION || dosError == ERROR_LOCK_VIOLATION;
    }
    _close(fd);
    return false;
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool held = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        held = errno == EWOULDBLOCK;
    if (!held) {
        // Other programs take record locks; ask whether one would stand in a writer's way.
        struct flock range {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
#ifdef F_OFD_GETLK
        const int getLock = F_OFD_GETLK;
#else
        const int getLock = F_GETLK;
#endif
        held = ::fcntl(fd, getLock, &range) == 0 && range.l_type != F_UNLCK;
    }
    ::close(fd); // drops the flock taken for the question
    return held;
#endif
}

void requireExportTarget(const std::string& path)
{
    requireReplaceable(path);
    if (isHeld(path))
        throw FileError(FileError::Code::Locked, "Нельзя заменить", path, "файл открыт другой программой");
}

std::string executablePath()
{
#ifdef _WIN32
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return narrow(path);
        }
        path.resize(path.size() * 2); // cut short: a longer name than the room given
    }
#elif defined(__linux__)
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0)
            return {};
        if (std::size_t(n) < path.size()) {
            path.resize(std::size_t(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
#else
    return {};
#endif
}

std::string utf8FromUtf16(std::u16string_view path)
{
    std::string out;
    out.reserve(path.size() * 3);
    for (std::size_t i = 0; i < path.size(); ++i) {
        char32_t c = path[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            const bool pair = c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF;
            c = pair ? 0x10000 + ((c - 0xD800) << 10) + (path[++i] - 0xDC00) : 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace platform
