// Replacing a file whole through a temporary file of ours: the short, recognisable name, the
// lock held while it is written, the leftovers of a killed writer removed by the next one (and
// nothing else removed), and a target that is held or is the same file as another.

#include "platform_test_support.h"

#include "platform/replacement_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace platform::test {
namespace {

using Code = FileError::Code;

// The temporary files of ours in a folder.
std::vector<std::string> temporaries(const TempFolder& folder)
{
    std::vector<std::string> out;
    for (const std::string& name : folder.names())
        if (isTemporaryName(name))
            out.push_back(name);
    return out;
}

TEST(ReplacementFile, OurNamesAreShortAndRecognised)
{
    struct Case {
        const char* name;
        bool ours;
    };
    for (const Case& c : std::initializer_list<Case>{
             {".kvel-0123abcd.tmp", true},
             {".kvel-ffffffff.tmp", true},
             {".kvel-0123ABCD.tmp", false}, // we write lower case only
             {".kvel-0123abc.tmp", false},
             {".kvel-0123abcde.tmp", false},
             {".kvel-0123abcg.tmp", false},
             {"kvel-0123abcd.tmp", false},
             {".kvel-0123abcd.tmpx", false},
             {"site.xls.0123abcd.tmp", false}, // the old form, which could be anybody's
             {".gsf-save-ABCDEF", false},
         }) {
        EXPECT_EQ(isTemporaryName(c.name), c.ours) << c.name;
    }
}

TEST(ReplacementFile, CommitReplacesTheTargetAndLeavesNothingBeside)
{
    TempFolder folder;
    const std::string target = folder.file("out.csv");
    writeWhole(target, "old");
    {
        ReplacementFile temp(target);
        const std::vector<std::string> during = temporaries(folder);
        ASSERT_EQ(during.size(), 1u);
        EXPECT_EQ(folder.file(during.front()), temp.path());
        temp.file().writeAt(0, "new contents");
        EXPECT_EQ(readWhole(target), "old"); // not before the commit
        temp.commit();
    }
    EXPECT_EQ(readWhole(target), "new contents");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"out.csv"});
}

TEST(ReplacementFile, AnAbandonedWriteLeavesTheTargetAsItWas)
{
    TempFolder folder;
    const std::string target = folder.file("out.csv");
    writeWhole(target, "old");
    {
        ReplacementFile temp(target);
        temp.file().writeAt(0, "half");
    }
    EXPECT_EQ(readWhole(target), "old");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"out.csv"});
}

TEST(ReplacementFile, AFailedSyncOrRenameLeavesTheTargetAndNoTemporary)
{
    for (const Operation failing : {Operation::Sync, Operation::Rename}) {
        SCOPED_TRACE(failing == Operation::Sync ? "sync" : "rename");
        TempFolder folder;
        const std::string target = folder.file("out.xls");
        writeWhole(target, "old");
        HookGuard hook([failing](Operation op, std::string_view, std::uint64_t, std::size_t) {
            return op == failing ? Fault{true, Code::NoSpace, 0} : Fault{};
        });
        {
            ReplacementFile temp(target);
            temp.file().writeAt(0, "new");
            EXPECT_TRUE(throwsCode([&] { temp.commit(); }, Code::NoSpace));
        }
        EXPECT_EQ(readWhole(target), "old");
        EXPECT_EQ(folder.names(), std::vector<std::string>{"out.xls"});
    }
}

// A name of 250 bytes leaves no room for a suffix after it: the temporary file must not be
// named after the target.
TEST(ReplacementFile, ATargetNameNearTheLimitIsWritten)
{
    TempFolder folder;
    const std::string name = std::string(250, 'x') + ".csv";
    const std::string target = folder.file(name);
    ReplacementFile temp(target);
    temp.file().writeAt(0, "long");
    temp.commit();
    EXPECT_EQ(readWhole(target), "long");
    EXPECT_EQ(folder.names(), std::vector<std::string>{name});
}

TEST(ReplacementFile, LeftoversGoButNothingElse)
{
    TempFolder folder;
    writeWhole(folder.file(".kvel-00000001.tmp"), "left by a killed export");
    writeWhole(folder.file(".kvel-00000002.tmp"), "left by another");
    writeWhole(folder.file(".kvel-0000000g.tmp"), "not our name");
    writeWhole(folder.file("site.xls.00000003.tmp"), "not our name either");
    writeWhole(folder.file("site.db"), "a table");
    fs::create_directory(fsPath(folder.file(".kvel-00000004.tmp")));
    // One that is being written right now, by another writer.
    File busy = File::open(folder.file(".kvel-00000005.tmp"), File::Mode::Create);
#ifndef _WIN32
    // A link with our name: the link may go, never the file it points to.
    writeWhole(folder.file("precious.txt"), "keep");
    fs::create_symlink(fsPath(folder.file("precious.txt")), fsPath(folder.file(".kvel-00000006.tmp")));
#endif

    const int removed = removeLeftoverTemporaries(utf8Of(folder.path()));
    EXPECT_EQ(removed, 2);
    const std::vector<std::string> left = folder.names();
    for (const char* gone : {".kvel-00000001.tmp", ".kvel-00000002.tmp"})
        EXPECT_EQ(std::count(left.begin(), left.end(), gone), 0) << gone;
    for (const char* kept : {".kvel-0000000g.tmp", "site.xls.00000003.tmp", "site.db", ".kvel-00000004.tmp",
                             ".kvel-00000005.tmp"})
        EXPECT_EQ(std::count(left.begin(), left.end(), kept), 1) << kept;
#ifndef _WIN32
    EXPECT_EQ(readWhole(folder.file("precious.txt")), "keep");
#endif

    // The file being written is left until its writer is done with it; then the next write
    // in the folder clears it up. The folder and the link, not plain files, stay.
    busy.close();
    {
        ReplacementFile temp(folder.file("out.csv"));
        const std::vector<std::string> ours = temporaries(folder);
        EXPECT_EQ(std::count(ours.begin(), ours.end(), ".kvel-00000005.tmp"), 0);
        EXPECT_EQ(std::count(ours.begin(), ours.end(), ".kvel-00000004.tmp"), 1);
        temp.commit();
    }
}

#ifndef _WIN32
// A writer killed half-way leaves its temporary file; the next writer in the folder removes
// it. The kill comes from the kernel at a chosen size (RLIMIT_FSIZE with SIGXFSZ at its
// default), so it lands at that point of the write every time.
TEST(ReplacementFile, AWriterKilledHalfWayLeavesALeftoverTheNextOneRemoves)
{
    for (const rlim_t limit : {rlim_t(0), rlim_t(1000), rlim_t(100000)}) {
        SCOPED_TRACE(limit);
        TempFolder folder;
        const std::string target = folder.file("out.xls");
        writeWhole(target, "old");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            rlimit cap{limit, limit};
            setrlimit(RLIMIT_FSIZE, &cap);
            ReplacementFile temp(target);
            temp.file().writeAt(0, std::string(200000, 'x'));
            temp.commit();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
        EXPECT_EQ(readWhole(target), "old");
        EXPECT_EQ(temporaries(folder).size(), 1u);

        ReplacementFile next(target);
        next.file().writeAt(0, "new");
        next.commit();
        EXPECT_EQ(readWhole(target), "new");
        EXPECT_EQ(folder.names(), std::vector<std::string>{"out.xls"});
    }
}

// The lock shows from another process too: a file being written in another copy of the
// program is not taken for a leftover.
TEST(ReplacementFile, AFileBeingWrittenByAnotherProcessIsLeftAlone)
{
    TempFolder folder;
    const std::string target = folder.file("out.csv");
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ReplacementFile temp(target);
        temp.file().writeAt(0, "being written");
        char c = 1;
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        temp.commit();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(removeLeftoverTemporaries(utf8Of(folder.path())), 0);
    ASSERT_EQ(temporaries(folder).size(), 1u);
    EXPECT_TRUE(isHeld(folder.file(temporaries(folder).front())));
    ASSERT_EQ(write(release[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readWhole(target), "being written");
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}
#endif

TEST(ExportTarget, AHeldFileOrTheSameFileIsRecognised)
{
    TempFolder folder;
    const std::string table = folder.file("site.db");
    writeWhole(table, "a table");
    const std::string other = folder.file("other.xls");
    writeWhole(other, "a workbook");

    EXPECT_FALSE(isHeld(table));
    EXPECT_FALSE(isHeld(folder.file("missing.xls")));
    EXPECT_NO_THROW(requireExportTarget(table));
    {
        File open = File::open(table, File::Mode::Existing);
        EXPECT_TRUE(isHeld(table));
        EXPECT_TRUE(throwsCode([&] { requireExportTarget(table); }, Code::Locked));
        EXPECT_FALSE(isHeld(other));
    }
    EXPECT_FALSE(isHeld(table));

    EXPECT_TRUE(sameFile(table, table));
    EXPECT_FALSE(sameFile(table, other));
    EXPECT_FALSE(sameFile(table, folder.file("missing.xls")));
#ifndef _WIN32
    fs::create_symlink(fsPath(table), fsPath(folder.file("out.xls")));
    EXPECT_TRUE(sameFile(table, folder.file("out.xls")));
    fs::create_hard_link(fsPath(table), fsPath(folder.file("hard.xls")));
    EXPECT_TRUE(sameFile(table, folder.file("hard.xls")));
#endif
}

} // namespace
} // namespace platform::test
