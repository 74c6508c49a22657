#include "platform/replacement_file.h"

#include <cstdio>
#include <mutex>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

constexpr std::string_view kPrefix = ".kvel-";
constexpr std::string_view kSuffix = ".tmp";
constexpr std::size_t kDigits = 8;

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of(
#ifdef _WIN32
        "/\\"
#else
        "/"
#endif
    );
    if (slash == std::string::npos)
        return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::string joined(const std::string& folder, std::string_view name)
{
    std::string out = folder;
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    if (!out.empty() && out.back() != '/' && out.back() != kSeparator)
        out += kSeparator;
    out += name;
    return out;
}

std::string randomName()
{
    static std::mt19937 random{std::random_device{}()};
    static std::mutex lock;
    unsigned value = 0;
    {
        const std::lock_guard<std::mutex> guard(lock);
        value = static_cast<unsigned>(random());
    }
    char digits[kDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", value);
    return std::string(kPrefix) + digits + std::string(kSuffix);
}

#ifndef _WIN32
// Removes one leftover: taking its lock proves nobody is writing it, and the name must still
// be the file that was locked when it goes.
bool removeIfLeftover(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid()
        && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0
        && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
        removed = ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}
#endif

} // namespace

bool isTemporaryName(std::string_view name) noexcept
{
    if (name.size() != kPrefix.size() + kDigits + kSuffix.size() || name.substr(0, kPrefix.size()) != kPrefix
        || name.substr(name.size() - kSuffix.size()) != kSuffix)
        return false;
    for (char c : name.substr(kPrefix.size(), kDigits))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

int removeLeftoverTemporaries(const std::string& folder) noexcept
{
    int removed = 0;
    try {
#ifdef _WIN32
        // A temporary file being written is open without delete sharing, so only leftovers
        // can be deleted.
        WIN32_FIND_DATAW found {};
        const std::string pattern = joined(folder, ".kvel-*.tmp");
        const int n = MultiByteToWideChar(CP_UTF8, 0, pattern.data(), static_cast<int>(pattern.size()), nullptr, 0);
        std::wstring wpattern(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, pattern.data(), static_cast<int>(pattern.size()), wpattern.data(), n);
        const HANDLE h = FindFirstFileW(wpattern.c_str(), &found);
        if (h == INVALID_HANDLE_VALUE)
            return 0;
        do {
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            const std::wstring wname(found.cFileName);
            if (wname.size() > 64)
                continue;
            const std::string name(wname.begin(), wname.end()); // our names are ASCII
            if (!isTemporaryName(name))
                continue;
            const std::wstring full = wpattern.substr(0, wpattern.size() - std::wstring(L".kvel-*.tmp").size()) + wname;
            if (DeleteFileW(full.c_str()))
                ++removed;
        } while (FindNextFileW(h, &found));
        FindClose(h);
#else
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            return 0;
        while (const dirent* entry = ::readdir(dir)) {
            if (isTemporaryName(entry->d_name) && removeIfLeftover(joined(folder, entry->d_name)))
                ++removed;
        }
        ::closedir(dir);
#endif
    } catch (...) {
        // Tidying up is a courtesy: the write goes ahead whatever happened here.
    }
    return removed;
}

ReplacementFile::ReplacementFile(const std::string& target) : m_target(target)
{
    const std::string folder = folderOf(target);
    removeLeftoverTemporaries(folder);
    for (int attempt = 0;; ++attempt) {
        const std::string name = joined(folder, randomName());
        try {
            m_file = File::open(name, File::Mode::CreateNew);
        } catch (const FileError&) {
            // The name is taken (or a cleaner holds a file of that name): another one. Any
            // other refusal of the folder is the same for every name.
            if (attempt < 16 && fileExists(name))
                continue;
            throw;
        }
        // A cleaner that took the lock between our create and our lock has removed the
        // file; write under another name.
        if (m_file.isLinked()) {
            m_path = name;
            return;
        }
        m_file.close();
    }
}

ReplacementFile::~ReplacementFile()
{
    if (m_committed)
        return;
#ifdef _WIN32
    m_file.close(); // Windows deletes no open file
    removeFile(m_path);
#else
    removeFile(m_path); // while still held, so that no cleaner takes it for a leftover
    m_file.close();
#endif
}

void ReplacementFile::commit()
{
    // The replaced file keeps its access rights (a new file gets the usual ones).
    copyPermissions(m_target, m_path);
    if (m_file.isOpen())
        m_file.sync();
#ifdef _WIN32
    // Windows renames no file that is open.
    m_file.close();
    replaceFile(m_path, m_target);
#else
    // Renamed while still held, so that no cleaner can take it for a leftover in between.
    replaceFile(m_path, m_target);
    m_file.close();
#endif
    m_committed = true;
}

} // namespace platform
