#pragma once

// Helpers of the file layer tests: a private folder that is removed afterwards, UTF-8 paths
// that std::filesystem takes on every system, whole-file reads and writes that do not go
// through the layer under test, and a fault hook that is put back when the test ends.

#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform::test {

namespace fs = std::filesystem;

// A UTF-8 path as std::filesystem takes it (on Windows a plain std::string would be read in
// the ANSI code page).
fs::path fsPath(const std::string& utf8);
// The path as UTF-8, the way the file layer takes it.
std::string utf8Of(const fs::path& path);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& path() const { return m_path; }
    // `name` (UTF-8) inside the folder, as a UTF-8 path.
    std::string file(const std::string& name) const;
    // The names in the folder, sorted.
    std::vector<std::string> names() const;

private:
    fs::path m_path;
};

// Whole-file access through the standard library, as an independent check of the layer.
void writeWhole(const std::string& path, std::string_view bytes);
std::string readWhole(const std::string& path);
// Makes the file read-only or writable again.
void setReadOnly(const std::string& path, bool readOnly);

// Installs a fault hook for the life of the object and puts the previous one back.
class HookGuard {
public:
    explicit HookGuard(FaultHook hook) : m_previous(setFaultHook(std::move(hook))) {}
    ~HookGuard() { setFaultHook(std::move(m_previous)); }
    HookGuard(const HookGuard&) = delete;
    HookGuard& operator=(const HookGuard&) = delete;

private:
    FaultHook m_previous;
};

// Runs `action`, which must throw FileError with `code`; the error for further checks.
template <typename Action>
::testing::AssertionResult throwsCode(Action&& action, FileError::Code code, FileError* caught = nullptr)
{
    try {
        action();
    } catch (const FileError& e) {
        if (caught)
            *caught = e;
        if (e.code() != code)
            return ::testing::AssertionFailure()
                   << "code " << static_cast<int>(e.code()) << " instead of " << static_cast<int>(code)
                   << ": " << e.what();
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no FileError";
}

} // namespace platform::test
