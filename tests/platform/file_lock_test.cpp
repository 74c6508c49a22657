// The exclusive open: a second opener is refused with Code::Locked, in this process and (on
// POSIX) from another one, whichever lock that other program takes; Create empties a file
// only once it holds the lock; the lock goes with a moved File and ends with close.

#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <optional>
#include <string>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace platform::test {
namespace {

using Code = FileError::Code;
using Mode = File::Mode;

TEST(FileLock, ASecondOpenOfAnOpenFileIsRefusedUntilItCloses)
{
    for (const Mode second : {Mode::Existing, Mode::Create}) {
        SCOPED_TRACE(second == Mode::Existing ? "Existing" : "Create");
        TempFolder folder;
        const std::string path = folder.file("table.db");
        writeWhole(path, "contents");
        File first = File::open(path, Mode::Existing);
        FileError error(Code::Io, "", "", "");
        EXPECT_TRUE(throwsCode([&] { File::open(path, second); }, Code::Locked, &error));
        EXPECT_EQ(error.path(), path);
        // A refused Create has not emptied the file the first opener holds. (Only the holder
        // may read it on Windows.)
        EXPECT_EQ(first.size(), 8u);
        std::string held(16, '\0');
        held.resize(first.readAt(0, held.data(), held.size()));
        EXPECT_EQ(held, "contents");

        first.close();
        EXPECT_FALSE(first.isOpen());
        File again = File::open(path, second);
        EXPECT_TRUE(again.isOpen());
        EXPECT_EQ(again.size(), second == Mode::Create ? 0u : 8u);
    }
}

TEST(FileLock, TheLockGoesWithAMovedFile)
{
    TempFolder folder;
    const std::string path = folder.file("moved.db");
    File original = File::open(path, Mode::Create);
    File moved = std::move(original);
    EXPECT_FALSE(original.isOpen());
    EXPECT_TRUE(moved.isOpen());
    EXPECT_EQ(moved.path(), path);
    EXPECT_TRUE(throwsCode([&] { File::open(path, Mode::Existing); }, Code::Locked));

    File assigned;
    assigned = std::move(moved);
    EXPECT_TRUE(throwsCode([&] { File::open(path, Mode::Existing); }, Code::Locked));
    assigned = File(); // the assignment closes what it held
    EXPECT_NO_THROW(File::open(path, Mode::Existing));
}

// What each mode does with a file that is not held elsewhere.
TEST(FileLock, OpenModes)
{
    struct Case {
        const char* name;
        Mode mode;
        bool exists;
        std::optional<Code> error;
        std::uint64_t size; // after the open
    };
    const Case cases[] = {
        {"existing file, Existing", Mode::Existing, true, std::nullopt, 8},
        {"existing file, Create", Mode::Create, true, std::nullopt, 0},
        {"missing file, Create", Mode::Create, false, std::nullopt, 0},
        {"missing file, Existing", Mode::Existing, false, Code::NotFound, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string path = folder.file("mode.db");
        if (c.exists)
            writeWhole(path, "12345678");
        if (c.error) {
            EXPECT_TRUE(throwsCode([&] { File::open(path, c.mode); }, *c.error));
            EXPECT_FALSE(fileExists(path));
            continue;
        }
        File f = File::open(path, c.mode);
        EXPECT_EQ(f.size(), c.size);
        f.close();
        EXPECT_EQ(readWhole(path).size(), c.size);
    }
}

#ifndef _WIN32
// Another program's locks. POSIX has two kinds that do not see each other: flock, which a
// second copy of this program takes, and record locks (fcntl, lockf), which most other
// programs take. Windows has only the sharing mode of the open, tested above.

constexpr const char* kPython = "/usr/bin/python3";

// Takes the lock named by argv[1] without waiting, writes "L" when it holds it and "E" when
// it was refused, then holds it until its standard input closes.
constexpr const char* kLockScript = R"(
import fcntl, os, sys
f = open(sys.argv[2], 'r+b')
try:
    if sys.argv[1] == 'lockf':
        fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
    else:
        fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
except OSError:
    os.write(1, b'E')
    sys.exit(3)
os.write(1, b'L')
sys.stdin.buffer.read()
)";

// A child process that answers one byte and then waits until it is released.
class Child {
public:
    template <typename Body>
    explicit Child(Body body)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            throw std::runtime_error("pipe");
        m_pid = ::fork();
        if (m_pid < 0)
            throw std::runtime_error("fork");
        if (m_pid == 0) {
            ::dup2(ready[1], 1);
            ::dup2(release[0], 0);
            ::close(ready[0]);
            ::close(ready[1]);
            ::close(release[0]);
            ::close(release[1]);
            body();
            ::_exit(127);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_ready = ready[0];
        m_release = release[1];
    }
    ~Child() { wait(); }

    // The child's answer: 'L' it holds the lock, 'E' it was refused, 0 it died first.
    char answer()
    {
        char c = 0;
        while (::read(m_ready, &c, 1) < 0 && errno == EINTR) {
        }
        return c;
    }
    // Lets the child go and waits for it to end.
    void wait()
    {
        if (m_pid <= 0)
            return;
        ::close(m_release);
        ::close(m_ready);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_ready = -1;
    int m_release = -1;
};

// The child body that runs the lock script.
auto pythonLocking(const char* kind, const std::string& path)
{
    return [kind, path] {
        ::execl(kPython, kPython, "-c", kLockScript, kind, path.c_str(), static_cast<char*>(nullptr));
    };
}

// A second copy of this program: the child opens the file itself.
auto programOpening(const std::string& path)
{
    return [path] {
        char answer = 'E';
        try {
            File held = File::open(path, File::Mode::Existing);
            answer = 'L';
            (void)!::write(1, &answer, 1);
            char c;
            while (::read(0, &c, 1) > 0) {
            }
            ::_exit(0);
        } catch (const FileError&) {
        }
        (void)!::write(1, &answer, 1);
        ::_exit(3);
    };
}

bool havePython()
{
    return ::access(kPython, X_OK) == 0;
}

TEST(FileLockPosix, AFileHeldByAnotherProcessIsRefused)
{
    struct Case {
        const char* holder;
        bool python;
    };
    // lockf holds only a record lock, flock only the other kind: each alone must be seen.
    for (const Case c : {Case{"lockf", true}, Case{"flock", true}, Case{"this program", false}}) {
        SCOPED_TRACE(c.holder);
        if (c.python && !havePython()) {
            std::cout << "[  SKIPPED ] " << kPython << " is missing" << std::endl;
            continue;
        }
        TempFolder folder;
        const std::string path = folder.file("held.db");
        writeWhole(path, "contents");
        {
            Child child(c.python ? std::function<void()>(pythonLocking(c.holder, path))
                                 : std::function<void()>(programOpening(path)));
            ASSERT_EQ(child.answer(), 'L');
            EXPECT_TRUE(throwsCode([&] { File::open(path, File::Mode::Existing); }, Code::Locked));
            EXPECT_TRUE(throwsCode([&] { File::open(path, File::Mode::Create); }, Code::Locked));
            EXPECT_EQ(readWhole(path), "contents");
            child.wait();
        }
        EXPECT_NO_THROW(File::open(path, File::Mode::Existing)) << "the lock ended with the holder";
    }
}

// The other direction: other programs see both of our locks.
TEST(FileLockPosix, AnotherProcessCannotLockAFileWeHold)
{
    if (!havePython())
        GTEST_SKIP() << kPython << " is missing";
    TempFolder folder;
    const std::string path = folder.file("ours.db");
    for (const char* kind : {"lockf", "flock"}) {
        SCOPED_TRACE(kind);
        {
            File ours = File::open(path, File::Mode::Create);
            Child child(pythonLocking(kind, path));
            EXPECT_EQ(child.answer(), 'E');
        }
        Child child(pythonLocking(kind, path));
        EXPECT_EQ(child.answer(), 'L') << "after close the file is free";
    }
}
#endif

} // namespace
} // namespace platform::test
