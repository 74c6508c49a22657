// The archive under the faults a field laptop meets: a kill in the middle of adding a table,
// two programs adding at once, a read-only or full disk under the archive.

#include "archive_test_support.h"

#include "archive/archive_error.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace archive::test {
namespace {

using store::test::StoreTest;
using store::test::createTable;
using store::test::runInChild;

// `count` penetrometer tests at minutes from `firstMinute` on, instrument 1234.
std::vector<Cells> rowsFrom(int firstMinute, int count)
{
    std::vector<Cells> rows;
    for (int k = 0; k < count; ++k) {
        const int minute = firstMinute + k;
        rows.push_back(penetrometerRow(k + 1, QStringLiteral("%1:%2").arg(8 + minute / 60, 2, 10, QLatin1Char('0'))
                                                  .arg(minute % 60, 2, 10, QLatin1Char('0'))));
    }
    return rows;
}

Counts countsIn(const QString& location)
{
    Archive archive(location);
    return counts(archive);
}

using ImportKill = StoreTest;

// The child adding the second table is killed before each record is read, and once after
// the last, just before its commit: each time the archive is as it was before that table,
// and adding the table again completes it.
TEST_F(ImportKill, LeavesTheArchiveAsBeforeTheTableAtEveryPoint)
{
    constexpr int kRows = 12;
    const QString first = path(QStringLiteral("первая.db"));
    const QString second = path(QStringLiteral("вторая.db"));
    createTable(first, rowsFrom(0, kRows));
    createTable(second, rowsFrom(kRows / 2, kRows)); // half of it is in the first
    const QString baseline = path(QStringLiteral("baseline.sqlite"));
    {
        Archive archive(baseline);
        archive.addTableFile(first);
    }
    const Counts before = countsIn(baseline);
    ASSERT_EQ(before, (Counts{kRows, kRows, 0, 0}));

    for (int point = 0; point <= kRows; ++point) {
        const QString location = path(QStringLiteral("killed%1.sqlite").arg(point));
        ASSERT_TRUE(QFile::copy(baseline, location));
        const int status = runInChild([&] {
            Archive archive(location);
            archive.addTableFile(second, {}, [&](std::uint32_t done, std::uint32_t) {
                if (int(done) == point)
                    ::raise(SIGKILL);
            });
            return 0;
        });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "point " << point << ", status " << status;
        EXPECT_EQ(countsIn(location), before) << "killed before record " << point;
        {
            Archive archive(location);
            const AddResult added = archive.addTableFile(second);
            EXPECT_EQ(added.added, kRows / 2) << point;
        }
        EXPECT_EQ(countsIn(location), (Counts{kRows + kRows / 2, 2 * kRows, 0, 0})) << point;
    }
}

using ConcurrentImport = StoreTest;

// Two programs add overlapping tables into one archive at the same moment: both succeed, and
// the archive holds the union, each test once.
TEST_F(ConcurrentImport, TwoProcessesLeaveTheUnion)
{
    constexpr int kRows = 400;
    const QStringList tables = {path(QStringLiteral("a.db")), path(QStringLiteral("b.db")), path(QStringLiteral("c.db"))};
    createTable(tables[0], rowsFrom(0, kRows));
    createTable(tables[1], rowsFrom(kRows / 2, kRows));
    createTable(tables[2], rowsFrom(kRows, kRows));
    const QString location = path(QStringLiteral("shared.sqlite"));
    {
        Archive made(location); // the schema first, as the program makes it on its first start
    }
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const auto adder = [&](QStringList mine) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid != 0)
            return pid;
        ::close(go[1]);
        char byte;
        [[maybe_unused]] const auto got = ::read(go[0], &byte, 1); // both start together
        int code = 0;
        try {
            Archive archive(location);
            for (const QString& table : mine)
                archive.addTableFile(table);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            code = 1;
        }
        ::_exit(code);
    };
    const pid_t one = adder({tables[0], tables[1]});
    const pid_t two = adder({tables[2], tables[1], tables[0]});
    ::close(go[0]);
    ::close(go[1]); // end of file: both read it at once
    for (const pid_t pid : {one, two}) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    Archive archive(location);
    EXPECT_EQ(counts(archive), (Counts{2 * kRows, 3 * kRows, 0, 0}));
    EXPECT_EQ(count(archive, QStringLiteral("SELECT COUNT(DISTINCT identity) FROM tests")), 2 * kRows);
}

// ---- a disk that refuses ------------------------------------------------------------------

// Runs `body` in a child with `folder` mounted read-only (a bind of itself) or as a tmpfs of
// 512 KB, room for an empty archive and no more; the child writes what happened into
// `report`. Returns the child's status.
int withMountedFolder(const QString& folder, bool readOnly, const std::function<std::string()>& body,
                      const QString& report)
{
    return runInChild([&] {
        if (const int refused = store::test::enterPrivateMounts())
            return refused;
        const QByteArray where = QFile::encodeName(folder);
        if (readOnly) {
            if (::mount(where.constData(), where.constData(), nullptr, MS_BIND, nullptr) != 0
                || ::mount(nullptr, where.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                return store::test::kNoMount;
        } else if (::mount("kvel-test", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=512k") != 0) {
            return store::test::kNoMount;
        }
        std::ofstream(report.toStdString()) << body();
        return 0;
    });
}

// Adds `table` to the archive at `location` and tells what the archive said.
std::string addAndTell(const QString& location, const QString& table)
{
    try {
        Archive archive(location);
        archive.addTableFile(table);
        return "added";
    } catch (const ArchiveError& error) {
        return "ArchiveError " + std::to_string(int(error.code())) + " " + error.what();
    } catch (const std::exception& error) {
        return std::string("other ") + error.what();
    }
}

std::string readText(const QString& file)
{
    std::ifstream in(file.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

using RefusingDisk = StoreTest;

TEST_F(RefusingDisk, AReadOnlyArchiveSaysSoAndLosesNothing)
{
    const QString folder = path(QStringLiteral("archive"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString location = folder + QStringLiteral("/archive.sqlite");
    const QString first = path(QStringLiteral("first.db"));
    const QString table = path(QStringLiteral("t.db"));
    createTable(first, rowsFrom(0, 5));
    createTable(table, rowsFrom(100, 5));
    {
        Archive archive(location);
        archive.addTableFile(first);
    }
    const std::string tableBytes = store::test::readBytes(table);
    const QString report = path(QStringLiteral("report.txt"));
    const int status = withMountedFolder(folder, true, [&] { return addAndTell(location, table); }, report);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    if (const std::string why = store::test::privateMountsRefused(WEXITSTATUS(status)); !why.empty())
        GTEST_SKIP() << why << ": cannot mount the archive's folder read-only";
    const std::string said = readText(report);
    EXPECT_NE(said.find("ArchiveError " + std::to_string(int(ArchiveError::Code::ReadOnly))), std::string::npos) << said;
    EXPECT_NE(said.find("только для чтения"), std::string::npos) << said;
    EXPECT_TRUE(store::test::readBytes(table) == tableBytes) << "the table changed";
    EXPECT_EQ(countsIn(location), (Counts{5, 5, 0, 0}));
}

TEST_F(RefusingDisk, AFullDiskSaysSoAndLeavesTheArchiveAsItWas)
{
    const QString folder = path(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString table = path(QStringLiteral("big.db"));
    createTable(table, rowsFrom(0, 4000)); // some 2 MB in the archive, for a 512 KB disk
    const std::string tableBytes = store::test::readBytes(table);
    const QString report = path(QStringLiteral("report.txt"));
    const int status = withMountedFolder(
        folder, false,
        [&] {
            const QString location = folder + QStringLiteral("/archive.sqlite");
            std::string said = addAndTell(location, table);
            // What is left in the archive on the full disk, read in the same namespace.
            try {
                said += "\ntests after: " + std::to_string(countsIn(location).tests);
            } catch (const std::exception& error) {
                said += std::string("\nreopen failed: ") + error.what();
            }
            return said;
        },
        report);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    if (const std::string why = store::test::privateMountsRefused(WEXITSTATUS(status)); !why.empty())
        GTEST_SKIP() << why << ": cannot make a small file system";
    const std::string said = readText(report);
    EXPECT_NE(said.find("ArchiveError " + std::to_string(int(ArchiveError::Code::NoSpace))), std::string::npos) << said;
    EXPECT_NE(said.find("на диске нет места"), std::string::npos) << said;
    EXPECT_NE(said.find("tests after: 0"), std::string::npos) << said;
    EXPECT_TRUE(store::test::readBytes(table) == tableBytes) << "the table changed";
}

} // namespace
} // namespace archive::test
