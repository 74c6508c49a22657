#include "platform_test_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

namespace platform::test {

fs::path fsPath(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const fs::path& path)
{
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

TempFolder::TempFolder()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "kvel-platform-" << std::hex << random() << '-' << counter++;
        const fs::path candidate = fs::temp_directory_path() / name.str();
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("no temporary folder");
}

TempFolder::~TempFolder()
{
    // Read-only files cannot be removed on Windows; give everything its write right back.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_symlink(ignored) && (it->is_regular_file(ignored) || it->is_directory(ignored)))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(m_path, ec);
}

std::string TempFolder::file(const std::string& name) const
{
    return utf8Of(m_path / fsPath(name));
}

std::vector<std::string> TempFolder::names() const
{
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(m_path))
        out.push_back(utf8Of(entry.path().filename()));
    std::sort(out.begin(), out.end());
    return out;
}

void writeWhole(const std::string& path, std::string_view bytes)
{
    std::ofstream out(fsPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

std::string readWhole(const std::string& path)
{
    std::ifstream in(fsPath(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void setReadOnly(const std::string& path, bool readOnly)
{
    // On Windows this is the read-only attribute.
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(fsPath(path), readOnly ? write : fs::perms::owner_write,
                    readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

} // namespace platform::test
