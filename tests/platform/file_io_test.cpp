// Reads and writes at an offset, truncate, and the fault hook through which every write,
// truncate, sync and rename passes: the Nth write failing, a short write leaving exactly
// what reached the file, a full disk reported as such.

#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace platform::test {
namespace {

using Code = FileError::Code;

std::string readAll(const File& f)
{
    std::string out(static_cast<std::size_t>(f.size()), '\0');
    out.resize(f.readAt(0, out.data(), out.size()));
    return out;
}

std::string readAt(const File& f, std::uint64_t offset, std::size_t size)
{
    std::string out(size, '\x7f');
    out.resize(f.readAt(offset, out.data(), size));
    return out;
}

TEST(FileIo, ReadsAndWritesAtOffsets)
{
    TempFolder folder;
    const std::string path = folder.file("offsets.db");
    File f = File::open(path, File::Mode::Create);
    f.writeAt(0, "abcdef");
    f.writeAt(10, "XY"); // past the end: the gap reads as zeros
    EXPECT_EQ(f.size(), 12u);
    EXPECT_EQ(readAll(f), std::string("abcdef\0\0\0\0XY", 12));
    f.writeAt(2, "ZZ");
    EXPECT_EQ(readAt(f, 1, 4), "bZZe");
    // Reads stop at the end of the file.
    EXPECT_EQ(readAt(f, 11, 10), "Y");
    EXPECT_EQ(readAt(f, 12, 10), "");
    EXPECT_EQ(readAt(f, 100, 1), "");
    f.sync();

    f.truncate(5);
    EXPECT_EQ(f.size(), 5u);
    EXPECT_EQ(readAll(f), "abZZe");
    f.truncate(7);
    EXPECT_EQ(readAll(f), std::string("abZZe\0\0", 7));
    f.truncate(0);
    EXPECT_EQ(f.size(), 0u);
    f.close();
    EXPECT_EQ(readWhole(path), "");
}

TEST(FileIo, ALargeWriteAtAnOffsetArrivesWhole)
{
    TempFolder folder;
    const std::string path = folder.file("large.db");
    std::string bytes(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 % 251);
    {
        File f = File::open(path, File::Mode::Create);
        f.writeAt(1000, bytes);
        EXPECT_EQ(f.size(), 1000 + bytes.size());
        EXPECT_EQ(readAt(f, 1000, bytes.size()) == bytes, true);
    }
    EXPECT_TRUE(readWhole(path).substr(1000) == bytes);
}

// One call the hook saw.
struct Seen {
    Operation op;
    std::string path;
    std::uint64_t offset;
    std::size_t size;
    bool operator==(const Seen&) const = default;
};

TEST(FaultHook, TheNthWriteFailsAndTheOthersGoAhead)
{
    TempFolder folder;
    const std::string path = folder.file("nth.db");
    std::vector<Seen> seen;
    int writes = 0;
    HookGuard guard([&](Operation op, std::string_view p, std::uint64_t offset, std::size_t size) {
        seen.push_back({op, std::string(p), offset, size});
        Fault fault;
        if (op == Operation::Write && ++writes == 3)
            fault.fail = true;
        return fault;
    });
    File f = File::open(path, File::Mode::Create);
    f.writeAt(0, "aaaa");
    f.writeAt(4, "bbbb");
    FileError error(Code::Io, "", "", "");
    EXPECT_TRUE(throwsCode([&] { f.writeAt(8, "cccc"); }, Code::Io, &error));
    EXPECT_EQ(error.path(), path);
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    EXPECT_FALSE(error.reason().empty());
    EXPECT_EQ(readAll(f), "aaaabbbb");
    f.writeAt(8, "dddd");
    EXPECT_EQ(readAll(f), "aaaabbbbdddd");

    // Create empties the file through truncate, which the hook sees too.
    const std::vector<Seen> expected = {
        {Operation::Truncate, path, 0, 0},     {Operation::Write, path, 0, 4}, {Operation::Write, path, 4, 4},
        {Operation::Write, path, 8, 4},        {Operation::Write, path, 8, 4},
    };
    EXPECT_EQ(seen, expected);
}

// A write that fails part-way leaves exactly the bytes that reached the file.
TEST(FaultHook, AShortWriteLeavesExactlyWhatWasWritten)
{
    struct Case {
        std::size_t bytes;
        Code error;
    };
    const std::string base(16, '.');
    const std::string data = "0123456789";
    for (const Case c : {Case{0, Code::NoSpace}, Case{5, Code::NoSpace}, Case{9, Code::Io},
                         Case{10, Code::NoSpace}, Case{50, Code::Io}}) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, code " << static_cast<int>(c.error));
        TempFolder folder;
        const std::string path = folder.file("short.db");
        writeWhole(path, base);
        File f = File::open(path, File::Mode::Existing);
        {
            HookGuard guard([&](Operation op, std::string_view, std::uint64_t, std::size_t) {
                return op == Operation::Write ? Fault{true, c.error, c.bytes} : Fault{};
            });
            EXPECT_TRUE(throwsCode([&] { f.writeAt(3, data); }, c.error));
        }
        std::string expected = base;
        const std::size_t landed = std::min(c.bytes, data.size());
        expected.replace(3, landed, data.substr(0, landed));
        EXPECT_EQ(readAll(f), expected);
        f.close(); // on Windows nothing else may read a file while it is held
        EXPECT_EQ(readWhole(path), expected);
    }
}

// Truncate, sync and rename fail before they touch anything.
TEST(FaultHook, TruncateSyncAndRenameFailUntouched)
{
    for (const Operation failing : {Operation::Truncate, Operation::Sync, Operation::Rename}) {
        SCOPED_TRACE(static_cast<int>(failing));
        TempFolder folder;
        const std::string path = folder.file("target.db");
        const std::string source = folder.file("source.tmp");
        writeWhole(path, "old contents");
        writeWhole(source, "new");
        std::vector<Seen> seen;
        HookGuard guard([&](Operation op, std::string_view p, std::uint64_t offset, std::size_t size) {
            if (op != failing)
                return Fault{};
            seen.push_back({op, std::string(p), offset, size});
            return Fault{true, Code::NoSpace, 0};
        });
        {
            File f = File::open(path, File::Mode::Existing);
            switch (failing) {
            case Operation::Truncate:
                EXPECT_TRUE(throwsCode([&] { f.truncate(3); }, Code::NoSpace));
                EXPECT_EQ(f.size(), 12u);
                break;
            case Operation::Sync:
                f.writeAt(0, "OLD");
                EXPECT_TRUE(throwsCode([&] { f.sync(); }, Code::NoSpace));
                break;
            default:
                break;
            }
        }
        if (failing == Operation::Rename) {
            EXPECT_TRUE(throwsCode([&] { replaceFile(source, path); }, Code::NoSpace));
        }
        EXPECT_EQ(readWhole(source), "new");
        EXPECT_EQ(readWhole(path), failing == Operation::Sync ? "OLD contents" : "old contents");
        // The hook names the file, for a rename the target, and a truncate's new length.
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].path, path);
        EXPECT_EQ(seen[0].offset, failing == Operation::Truncate ? 3u : 0u);
    }
}

TEST(FaultHook, InstallingAHookHandsBackThePreviousOne)
{
    TempFolder folder;
    File f = File::open(folder.file("hooks.db"), File::Mode::Create);
    int counted = 0;
    {
        HookGuard outer([&](Operation, std::string_view, std::uint64_t, std::size_t) {
            ++counted;
            return Fault{};
        });
        FaultHook previous = setFaultHook([](Operation, std::string_view, std::uint64_t, std::size_t) {
            return Fault{true, Code::Io, 0};
        });
        ASSERT_TRUE(previous);
        EXPECT_TRUE(throwsCode([&] { f.writeAt(0, "x"); }, Code::Io));
        EXPECT_EQ(counted, 0);
        const FaultHook failing = setFaultHook(previous);
        ASSERT_TRUE(failing);
        f.writeAt(0, "y");
        EXPECT_EQ(counted, 1);
    }
    // The guard put the empty hook back: nothing counts, everything goes ahead.
    f.writeAt(1, "z");
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(readAll(f), "yz");
    EXPECT_FALSE(setFaultHook({}));
}

} // namespace
} // namespace platform::test
