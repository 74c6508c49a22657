// Where a workbook may be written: a symbolic link is written through to its file and stays
// a link, a read-only file and anything that is not a regular file (FIFO, device, folder) is
// refused and left as it was, a replaced file keeps its access rights, a Cyrillic folder
// works, and no temporary file is left behind, whatever the outcome. The cases use POSIX
// links, pipes, devices and modes; the Windows side of the same checks belongs to the file
// layer and is tested under Wine (tests/platform).

#include "biff_test_support.h"

#include "platform/file_io.h"
#include "xls/biff_writer.h"
#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace xls::test {
namespace {

namespace fs = std::filesystem;

fs::path fsPath(const QString& name)
{
    return fs::path(QFile::encodeName(name).toStdString());
}

QString qPath(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

std::string contentsOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes, fs::perms mode)
{
    std::ofstream(path, std::ios::binary) << bytes;
    fs::permissions(path, mode);
}

// Every name in the folder, hidden files, links and pipes included, sorted.
std::vector<std::string> entriesOf(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

fs::perms modeOf(const fs::path& path)
{
    return fs::status(path).permissions();
}

void fillSmallBook(XlsWorkbook& book)
{
    XlsWorksheet& sheet = book.addSheet();
    sheet.range(0, 0, 0, 0).setValue(XlsValue::text(QStringLiteral("Проба")));
    sheet.range(1, 0, 1, 0).setValue(XlsValue::real(2.5));
}

// The user's /dev/null must survive a regression of the check under test when the tests run
// as root: put a character device back if the case replaced it.
void restoreDevNull()
{
    if (fs::is_character_file("/dev/null") || ::geteuid() != 0)
        return;
    ::unlink("/dev/null");
    ::mknod("/dev/null", S_IFCHR | 0666, ::makedev(1, 3));
    ::chmod("/dev/null", 0666);
    ADD_FAILURE() << "/dev/null was replaced and has been made anew";
}

struct TargetCase {
    const char* name;
    // Prepares the folder `root` and returns the path the user chose.
    std::function<fs::path(const fs::path& root)> make;
    // Written: the real file that must now hold the workbook, relative to root.
    std::optional<fs::path> written;
    // Refused: the words the message must hold.
    const char* refusal;
    // Every folder (relative to root) that the case looks into, with all it may hold after.
    std::map<fs::path, std::vector<std::string>> entries;
    // What else must hold afterwards.
    std::function<void(const fs::path& root)> check;
};

std::vector<TargetCase> targetCases()
{
    using P = fs::perms;
    const P rw_r_____ = P::owner_read | P::owner_write | P::group_read;
    const P r__r__r__ = P::owner_read | P::group_read | P::others_read;
    const auto keepsOld = [](const char* file, P mode) {
        return [file, mode](const fs::path& root) {
            EXPECT_TRUE(sameBytes(contentsOf(root / file), "old"));
            EXPECT_EQ(modeOf(root / file), mode);
        };
    };
    const auto isLinkTo = [](const char* link, const char* target) {
        return [link, target](const fs::path& root) {
            ASSERT_TRUE(fs::is_symlink(root / link));
            EXPECT_EQ(fs::read_symlink(root / link), fs::path(target));
        };
    };
    const auto both = [](auto first, auto second) {
        return [first, second](const fs::path& root) {
            first(root);
            second(root);
        };
    };
    return {
        {"new file", [](const fs::path& root) { return root / "book.xls"; }, fs::path("book.xls"), nullptr,
         {{".", {"book.xls"}}},
         [](const fs::path& root) {
             const mode_t mask = ::umask(0);
             ::umask(mask);
             EXPECT_EQ(modeOf(root / "book.xls"), static_cast<P>(0666 & ~mask));
         }},
        {"existing file with mode 0640 keeps it",
         [=](const fs::path& root) {
             writeFile(root / "book.xls", "old", rw_r_____);
             return root / "book.xls";
         },
         fs::path("book.xls"), nullptr, {{".", {"book.xls"}}},
         [=](const fs::path& root) { EXPECT_EQ(modeOf(root / "book.xls"), rw_r_____); }},
        {"link to an existing file",
         [=](const fs::path& root) {
             writeFile(root / "real.xls", "old", rw_r_____);
             fs::create_symlink("real.xls", root / "link.xls");
             return root / "link.xls";
         },
         fs::path("real.xls"), nullptr, {{".", {"link.xls", "real.xls"}}},
         both(isLinkTo("link.xls", "real.xls"),
              [=](const fs::path& root) { EXPECT_EQ(modeOf(root / "real.xls"), rw_r_____); })},
        // The temporary file goes beside the real file, not beside the link.
        {"link into another folder",
         [=](const fs::path& root) {
             fs::create_directory(root / "links");
             fs::create_directory(root / "data");
             writeFile(root / "data/book.xls", "old", rw_r_____);
             fs::create_symlink("../data/book.xls", root / "links/book.xls");
             return root / "links/book.xls";
         },
         fs::path("data/book.xls"), nullptr, {{".", {"data", "links"}}, {"links", {"book.xls"}}, {"data", {"book.xls"}}},
         isLinkTo("links/book.xls", "../data/book.xls")},
        {"dangling link",
         [](const fs::path& root) {
             fs::create_symlink("new.xls", root / "link.xls");
             return root / "link.xls";
         },
         fs::path("new.xls"), nullptr, {{".", {"link.xls", "new.xls"}}}, isLinkTo("link.xls", "new.xls")},
        {"Cyrillic folder",
         [](const fs::path& root) {
             fs::create_directory(fsPath(qPath(root) + QStringLiteral("/Экспорт проб")));
             return fsPath(qPath(root) + QStringLiteral("/Экспорт проб/книга №1.xls"));
         },
         fsPath(QStringLiteral("Экспорт проб/книга №1.xls")), nullptr,
         {{".", {fsPath(QStringLiteral("Экспорт проб")).string()}},
          {fsPath(QStringLiteral("Экспорт проб")), {fsPath(QStringLiteral("книга №1.xls")).string()}}},
         nullptr},
        {"read-only file",
         [=](const fs::path& root) {
             writeFile(root / "book.xls", "old", r__r__r__);
             return root / "book.xls";
         },
         std::nullopt, "только для чтения", {{".", {"book.xls"}}}, keepsOld("book.xls", r__r__r__)},
        {"link to a read-only file",
         [=](const fs::path& root) {
             writeFile(root / "real.xls", "old", r__r__r__);
             fs::create_symlink("real.xls", root / "link.xls");
             return root / "link.xls";
         },
         std::nullopt, "только для чтения", {{".", {"link.xls", "real.xls"}}},
         both(keepsOld("real.xls", r__r__r__), isLinkTo("link.xls", "real.xls"))},
        {"FIFO",
         [](const fs::path& root) {
             if (::mkfifo((root / "book.xls").c_str(), 0644) != 0)
                 throw std::runtime_error("mkfifo");
             return root / "book.xls";
         },
         std::nullopt, "не обычный файл", {{".", {"book.xls"}}},
         [](const fs::path& root) { EXPECT_TRUE(fs::is_fifo(root / "book.xls")); }},
        {"folder",
         [](const fs::path& root) {
             fs::create_directory(root / "book.xls");
             return root / "book.xls";
         },
         std::nullopt, "не обычный файл", {{".", {"book.xls"}}, {"book.xls", {}}}, nullptr},
        // Root may write any device: only the check keeps the export off it. Refused for
        // every user alike, so the case runs for all.
        {"/dev/null", [](const fs::path&) { return fs::path("/dev/null"); }, std::nullopt, "не обычный файл", {},
         [](const fs::path&) {
             EXPECT_TRUE(fs::is_character_file("/dev/null"));
             restoreDevNull();
             for (const std::string& name : entriesOf("/dev"))
                 EXPECT_FALSE(name.starts_with("null.")) << "left behind: /dev/" << name;
         }},
    };
}

TEST(ExportTarget, WhereAWorkbookMayBeWritten)
{
    XlsWorkbook book;
    fillSmallBook(book);
    QTemporaryDir referenceDir;
    ASSERT_TRUE(referenceDir.isValid());
    const QString referenceFile = referenceDir.filePath(QStringLiteral("reference.xls"));
    {
        BiffWriter writer;
        writer.save(book, referenceFile);
    }
    ASSERT_TRUE(readsCleanly(referenceFile));
    const std::string reference = contentsOf(fsPath(referenceFile));
    ASSERT_EQ(reference.substr(0, 8), hex("D0 CF 11 E0 A1 B1 1A E1"));

    for (const TargetCase& c : targetCases()) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const fs::path root = fsPath(dir.path());
        const fs::path target = c.make(root);
        const QString chosen = qPath(target);
        BiffWriter writer;
        try {
            writer.save(book, chosen);
            EXPECT_FALSE(c.refusal) << "written, not refused";
        } catch (const XlsError& e) {
            const QString message = QString::fromUtf8(e.what());
            if (!c.refusal) {
                ADD_FAILURE() << "refused: " << e.what();
            } else {
                EXPECT_EQ(e.code(), XlsError::Code::NotReplaceable) << e.what();
                EXPECT_TRUE(message.contains(chosen)) << e.what();
                EXPECT_TRUE(message.contains(QString::fromUtf8(c.refusal))) << e.what();
            }
        }
        if (c.written) {
            EXPECT_TRUE(sameBytes(contentsOf(root / *c.written), reference)) << "the writer's bytes, unchanged";
        }
        for (const auto& [folder, names] : c.entries)
            EXPECT_EQ(entriesOf(root / folder), names) << "in " << folder;
        if (c.check)
            c.check(root);
    }
}

// The last step, the rename over the target, fails: the old file is untouched and the
// temporary file is gone, also when it lay beside a link's file.
TEST(ExportTarget, ARenameThatFailsLeavesTheOldFileAndNothingElse)
{
    struct Case {
        const char* name;
        bool existing;
        bool throughLink;
    };
    for (const Case c : {Case{"existing file", true, false}, Case{"new file", false, false},
                         Case{"link into another folder", true, true}}) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const fs::path root = fsPath(dir.path());
        fs::create_directory(root / "data");
        const fs::path real = root / "data/book.xls";
        if (c.existing)
            writeFile(real, "old", fs::perms::owner_read | fs::perms::owner_write);
        fs::path chosen = real;
        if (c.throughLink) {
            chosen = root / "link.xls";
            fs::create_symlink("data/book.xls", chosen);
        }
        std::vector<std::string> renamed;
        const platform::FaultHook previous = platform::setFaultHook(
            [&](platform::Operation op, std::string_view path, std::uint64_t, std::size_t) {
                if (op != platform::Operation::Rename)
                    return platform::Fault{};
                renamed.emplace_back(path);
                return platform::Fault{true, platform::FileError::Code::NoSpace, 0};
            });
        XlsWorkbook book;
        fillSmallBook(book);
        BiffWriter writer;
        try {
            writer.save(book, qPath(chosen));
            ADD_FAILURE() << "no error";
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), XlsError::Code::Write);
            EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(
                QStringLiteral("Ошибка записи файла «%1»: на диске нет места").arg(QFileInfo(qPath(chosen)).fileName())))
                << e.what();
        }
        platform::setFaultHook(previous);
        // The rename went to the real file, never to the link.
        EXPECT_EQ(renamed, std::vector<std::string>{fs::canonical(root / "data").string() + "/book.xls"});
        EXPECT_EQ(entriesOf(root / "data"), c.existing ? std::vector<std::string>{"book.xls"} : std::vector<std::string>{});
        if (c.existing) {
            EXPECT_TRUE(sameBytes(contentsOf(real), "old"));
        }
        EXPECT_EQ(entriesOf(root), c.throughLink ? (std::vector<std::string>{"data", "link.xls"})
                                                 : std::vector<std::string>{"data"});
    }
}

} // namespace
} // namespace xls::test
