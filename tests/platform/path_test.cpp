// What a path is (pathInfo, requireReplaceable, resolvedPath), replacing and removing files,
// open or closed, access rights, and Cyrillic names through every call.

#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform::test {
namespace {

using Code = FileError::Code;

// ---- pathInfo and requireReplaceable --------------------------------------------------------

struct PathCase {
    const char* name;
    // Makes the thing in `folder` and returns its path.
    std::function<std::string(const TempFolder& folder)> make;
    bool exists, regular, writable, isLink;
    std::optional<Code> refusal; // what requireReplaceable says
};

std::string makeFile(const TempFolder& folder, const char* name, bool readOnly)
{
    const std::string path = folder.file(name);
    writeWhole(path, "x");
    if (readOnly)
        setReadOnly(path, true);
    return path;
}

std::vector<PathCase> pathCases()
{
    std::vector<PathCase> cases = {
        {"regular file", [](const TempFolder& f) { return makeFile(f, "file.xls", false); },
         true, true, true, false, std::nullopt},
        {"read-only file", [](const TempFolder& f) { return makeFile(f, "read-only.xls", true); },
         true, true, false, false, Code::ReadOnly},
        {"folder",
         [](const TempFolder& f) {
             fs::create_directory(fsPath(f.file("folder.xls")));
             return f.file("folder.xls");
         },
         true, false, true, false, Code::NotRegular},
        // A missing file is writable when its folder is.
        {"missing file", [](const TempFolder& f) { return f.file("missing.xls"); },
         false, false, true, false, std::nullopt},
        {"missing file in a missing folder", [](const TempFolder& f) { return f.file("nowhere/missing.xls"); },
         false, false, false, false, std::nullopt},
    };
#ifndef _WIN32
    // Devices, pipes and symbolic links are everyday things only on POSIX systems.
    const auto link = [](const TempFolder& f, const std::string& target, const char* name) {
        fs::create_symlink(fsPath(target), fsPath(f.file(name)));
        return f.file(name);
    };
    const std::vector<PathCase> posix = {
        {"FIFO",
         [](const TempFolder& f) {
             const std::string path = f.file("pipe.xls");
             if (::mkfifo(path.c_str(), 0644) != 0)
                 throw std::runtime_error("mkfifo");
             return path;
         },
         true, false, true, false, Code::NotRegular},
        {"/dev/null", [](const TempFolder&) { return std::string("/dev/null"); },
         true, false, true, false, Code::NotRegular},
        {"link to a file", [=](const TempFolder& f) { return link(f, makeFile(f, "real.xls", false), "link.xls"); },
         true, true, true, true, std::nullopt},
        {"link to a read-only file",
         [=](const TempFolder& f) { return link(f, makeFile(f, "real.xls", true), "link.xls"); },
         true, true, false, true, Code::ReadOnly},
        {"link to a folder", [=](const TempFolder& f) { return link(f, utf8Of(f.path()), "link.xls"); },
         true, false, true, true, Code::NotRegular},
        {"dangling link", [=](const TempFolder& f) { return link(f, f.file("not-yet.xls"), "link.xls"); },
         false, false, true, true, std::nullopt},
    };
    cases.insert(cases.end(), posix.begin(), posix.end());
#endif
    return cases;
}

TEST(PathInfo, TellsWhatAPathIsAndWhetherItMayBeReplaced)
{
    for (const PathCase& c : pathCases()) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string path = c.make(folder);
        const PathInfo info = pathInfo(path);
        EXPECT_EQ(info.exists, c.exists);
        EXPECT_EQ(info.regular, c.regular);
        EXPECT_EQ(info.writable, c.writable);
        EXPECT_EQ(info.isLink, c.isLink);
        if (c.refusal) {
            FileError error(Code::Io, "", "", "");
            EXPECT_TRUE(throwsCode([&] { requireReplaceable(path); }, *c.refusal, &error));
            EXPECT_EQ(error.path(), path);
        } else {
            EXPECT_NO_THROW(requireReplaceable(path));
        }
        // The file layer never opens what is not a regular file (a FIFO would block the open).
        if (c.exists && !c.regular) {
            EXPECT_TRUE(throwsCode([&] { File::open(path, File::Mode::Existing); }, Code::NotRegular));
        }
    }
}

// ---- resolvedPath ----------------------------------------------------------------------------

#ifndef _WIN32
TEST(ResolvedPath, FollowsLinksToTheRealFile)
{
    struct Case {
        const char* name;
        const char* path;     // inside the folder
        const char* expected; // inside the folder, its real path
    };
    // real/table.db is a file; real/new.db does not exist.
    const Case cases[] = {
        {"plain file", "real/table.db", "real/table.db"},
        {"absolute link", "absolute.db", "real/table.db"},
        {"relative link from another folder", "links/relative.db", "real/table.db"},
        {"chain of links", "links/chain.db", "real/table.db"},
        {"through a linked folder", "linked-folder/table.db", "real/table.db"},
        {"dangling link", "links/dangling.db", "real/new.db"},
        {"missing file", "real/new.db", "real/new.db"},
        {"missing file in a linked folder", "linked-folder/new.db", "real/new.db"},
    };
    TempFolder folder;
    const fs::path root = folder.path();
    fs::create_directory(root / "real");
    fs::create_directory(root / "links");
    writeWhole(utf8Of(root / "real/table.db"), "x");
    fs::create_symlink(root / "real/table.db", root / "absolute.db");
    fs::create_symlink("../real/table.db", root / "links/relative.db");
    fs::create_symlink("relative.db", root / "links/chain.db");
    fs::create_symlink("real", root / "linked-folder");
    fs::create_symlink("../real/new.db", root / "links/dangling.db");
    const fs::path realRoot = fs::canonical(root); // the temporary folder may itself be a link
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(resolvedPath(utf8Of(root / c.path)), utf8Of(realRoot / c.expected));
    }
    // A link stays a link after it was resolved.
    EXPECT_TRUE(fs::is_symlink(root / "links/dangling.db"));
}
#else
TEST(ResolvedPath, NamesTheSameFileOrKeepsAMissingPath)
{
    TempFolder folder;
    const std::string file = folder.file("table.db");
    writeWhole(file, "x");
    const std::string resolved = resolvedPath(file);
    EXPECT_TRUE(fs::equivalent(fsPath(resolved), fsPath(file))) << resolved;
    const std::string missing = folder.file("missing.db");
    EXPECT_EQ(resolvedPath(missing), missing);
}
#endif

// The program finds the parts it loads later beside its own file: the name has to be that
// file's, whole, and usable by the calls here.
TEST(ExecutablePath, NamesTheRunningProgramsFile)
{
    const std::string path = executablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fsPath(path).is_absolute()) << path;
    EXPECT_EQ(fsPath(path).stem(), fs::path("test_platform")) << path;
    EXPECT_TRUE(fileExists(path)) << path;
    EXPECT_TRUE(pathInfo(path).regular) << path;
}

// ---- replace and remove ----------------------------------------------------------------------

#ifdef _WIN32
// The system's text for a Win32 error, as FormatMessage gives it.
std::string systemText(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer)
        LocalFree(buffer);
    return utf8Of(fs::path(text));
}
#endif

// (Suites are not named after Win32 calls: <windows.h> turns ReplaceFile into ReplaceFileA.)

// Windows refuses to rename over a file, or rename a file, that is open without delete
// sharing, which is how the file layer holds its files: that is why the program closes a
// file before it replaces it. POSIX renames regardless, and the open file keeps the old data.
TEST(ReplacingFiles, AFileThatIsOpen)
{
    for (const bool targetOpen : {true, false}) {
        SCOPED_TRACE(targetOpen ? "target open" : "source open");
        TempFolder folder;
        const std::string target = folder.file("table.db");
        const std::string source = folder.file("table.db.tmp");
        writeWhole(target, "old");
        writeWhole(source, "new");
        File held = File::open(targetOpen ? target : source, File::Mode::Existing);
#ifdef _WIN32
        FileError error(Code::Io, "", "", "");
        try {
            replaceFile(source, target);
            ADD_FAILURE() << "renamed over an open file";
        } catch (const FileError& e) {
            error = e;
        }
        // The reason is the system's text for the error GetLastError() gave: access denied
        // (5) or a sharing violation (32).
        const std::string denied = systemText(ERROR_ACCESS_DENIED);
        const std::string sharing = systemText(ERROR_SHARING_VIOLATION);
        ASSERT_FALSE(error.reason().empty());
        const bool isDenied = denied.find(error.reason()) != std::string::npos;
        const bool isSharing = sharing.find(error.reason()) != std::string::npos;
        EXPECT_TRUE(isDenied || isSharing) << error.what();
        EXPECT_EQ(error.code(), isSharing ? Code::Locked : Code::ReadOnly) << error.what();
        EXPECT_EQ(error.path(), target);
        held.close(); // nothing else may read the file while it is held
        EXPECT_EQ(readWhole(target), "old");
        EXPECT_EQ(readWhole(source), "new");
        std::cout << "refused as expected: " << error.what() << std::endl;
#else
        EXPECT_NO_THROW(replaceFile(source, target));
        EXPECT_EQ(readWhole(target), "new");
        EXPECT_FALSE(fileExists(source));
        std::string old(8, '\0');
        old.resize(held.readAt(0, old.data(), old.size()));
        EXPECT_EQ(old, targetOpen ? "old" : "new") << "the open file keeps the data it had";
#endif
    }
}

TEST(ReplacingFiles, AfterCloseTheSourceTakesTheTargetsPlace)
{
    for (const bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "over an existing file" : "to a new name");
        TempFolder folder;
        const std::string target = folder.file("table.db");
        const std::string source = folder.file("table.db.tmp");
        if (targetExists) {
            File old = File::open(target, File::Mode::Create);
            old.writeAt(0, "old contents");
        }
        {
            File next = File::open(source, File::Mode::Create);
            next.writeAt(0, "new");
        }
        replaceFile(source, target);
        EXPECT_EQ(readWhole(target), "new");
        EXPECT_EQ(folder.names(), std::vector<std::string>{"table.db"});
        EXPECT_NO_THROW(File::open(target, File::Mode::Existing));
    }
}

TEST(ReplacingFiles, AMissingSourceIsNotFound)
{
    TempFolder folder;
    const std::string target = folder.file("table.db");
    writeWhole(target, "old");
    EXPECT_TRUE(throwsCode([&] { replaceFile(folder.file("missing.tmp"), target); }, Code::NotFound));
    EXPECT_EQ(readWhole(target), "old");
}

TEST(RemovingFiles, MissingCountsAsRemovedAndAnOpenFileStaysOnWindows)
{
    TempFolder folder;
    EXPECT_TRUE(removeFile(folder.file("missing.db")));
    const std::string path = folder.file("open.db");
    File held = File::open(path, File::Mode::Create);
#ifdef _WIN32
    EXPECT_FALSE(removeFile(path));
    EXPECT_TRUE(fileExists(path));
    held.close();
#endif
    EXPECT_TRUE(removeFile(path));
    EXPECT_FALSE(fileExists(path));
    EXPECT_TRUE(folder.names().empty());
}

// ---- access rights ---------------------------------------------------------------------------

TEST(Permissions, AReplacementGetsTheRightsOfTheFileItReplaces)
{
    TempFolder folder;
    const std::string model = folder.file("model.db");
    const std::string copy = folder.file("copy.db");
    writeWhole(model, "m");
    writeWhole(copy, "c");
    EXPECT_FALSE(copyPermissions(folder.file("missing.db"), copy));
#ifdef _WIN32
    // Windows keeps only the read-only attribute in the rights the program can copy.
    setReadOnly(model, true);
    EXPECT_TRUE(copyPermissions(model, copy));
    EXPECT_FALSE(pathInfo(copy).writable);
#else
    const auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    ::chmod(model.c_str(), 0640);
    ::chmod(copy.c_str(), 0600);
    EXPECT_TRUE(copyPermissions(model, copy));
    EXPECT_EQ(modeOf(copy), 0640u);

    // The same through open files.
    ::chmod(model.c_str(), 0604);
    File from = File::open(model, File::Mode::Existing);
    File to = File::open(copy, File::Mode::Existing);
    to.copyPermissionsFrom(from);
    EXPECT_EQ(modeOf(copy), 0604u);
#endif
}

// ---- Cyrillic names --------------------------------------------------------------------------

// Every call takes UTF-8; on Windows the names must reach the system as the same characters
// (std::filesystem, which speaks UTF-16 there, must see them).
TEST(CyrillicNames, CreateWriteReadReplaceAndRemove)
{
    TempFolder root;
    const std::string folderName = "Папка проб ё";
    const std::string fileName = "таблица №1.db";
    fs::create_directory(fsPath(root.file(folderName)));
    const std::string path = root.file(folderName + "/" + fileName);
    {
        File f = File::open(path, File::Mode::Create);
        f.writeAt(0, "данные");
        EXPECT_TRUE(throwsCode([&] { File::open(path, File::Mode::Existing); }, Code::Locked));
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fsPath(root.file(folderName))))
        names.push_back(utf8Of(entry.path().filename()));
    EXPECT_EQ(names, std::vector<std::string>{fileName});

    const PathInfo info = pathInfo(path);
    EXPECT_TRUE(info.exists && info.regular && info.writable && !info.isLink);
    EXPECT_NO_THROW(requireReplaceable(path));
    EXPECT_TRUE(fs::equivalent(fsPath(resolvedPath(path)), fsPath(path)));
    {
        const File f = File::open(path, File::Mode::Existing);
        std::string read(64, '\0');
        read.resize(f.readAt(0, read.data(), read.size()));
        EXPECT_EQ(read, "данные");
    }

    const std::string replacement = root.file(folderName + "/новая таблица.tmp");
    {
        File f = File::open(replacement, File::Mode::Create);
        f.writeAt(0, "новое");
    }
    EXPECT_TRUE(copyPermissions(path, replacement));
    replaceFile(replacement, path);
    EXPECT_EQ(readWhole(path), "новое");
    EXPECT_FALSE(fileExists(replacement));
    EXPECT_TRUE(fileExists(path));

    EXPECT_TRUE(removeFile(path));
    EXPECT_FALSE(fileExists(path));
    EXPECT_FALSE(pathInfo(path).exists);
    EXPECT_TRUE(fs::is_empty(fsPath(root.file(folderName))));
}

} // namespace
} // namespace platform::test
