// Files the engine replaces or removes: create and pack through symbolic links, targets that
// must never be replaced, access rights, the temporary files a killed pack or create leaves,
// and record locks that other programs hold.

#include "store_test_support.h"

#include "platform/file_io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace store::test {
namespace {

using Numbers = std::vector<std::optional<double>>;

Cells withP(double p) { return {{Field::P, p}, {Field::NB_TYPE, 0.0}}; }

mode_t modeOf(const QString& file)
{
    struct stat st {};
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

bool isLink(const QString& file)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(file).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool link(const QString& target, const QString& name)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(name).constData()) == 0;
}

std::uint32_t countIn(const QString& file) { return static_cast<std::uint32_t>(u32At(readBytes(file), 4)); }

// The store's error of a call that must fail.
template <typename F>
std::optional<StoreError> errorOf(F&& call)
{
    try {
        call();
    } catch (const StoreError& e) {
        return e;
    }
    return std::nullopt;
}

using ReplacedFile = StoreTest;

TEST_F(ReplacedFile, CreateWritesThroughALinkAndTheLinkStays)
{
    ASSERT_TRUE(QDir().mkpath(path("real")));
    ASSERT_TRUE(QDir().mkpath(path("links")));
    struct Case {
        const char* what;
        QString target;   // what the link names
        QString realFile; // where the table must end up
        bool existing;    // a table is there already
    };
    const Case cases[] = {
        {"absolute link to a table", path("real/a.db"), path("real/a.db"), true},
        {"relative link to a table", QStringLiteral("../real/b.db"), path("real/b.db"), true},
        {"link to a table not made yet", path("real/c.db"), path("real/c.db"), false},
        {"link to a link to a table", path("links/hop.db"), path("real/d.db"), true},
    };
    ASSERT_TRUE(link(path("real/d.db"), path("links/hop.db")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString name = path("links/") + QFileInfo(c.realFile).fileName();
        if (c.existing) {
            createTable(c.realFile, {withP(1), withP(2)});
            ASSERT_TRUE(QFile::setPermissions(c.realFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
        ASSERT_TRUE(link(c.target, name));

        MeasurementTable::create(name);
        EXPECT_TRUE(isLink(name)) << "the link is still a link";
        ASSERT_TRUE(QFileInfo::exists(c.realFile));
        EXPECT_FALSE(isLink(c.realFile));
        EXPECT_EQ(countIn(c.realFile), 0u) << "the file the link points to is the new table";
        if (c.existing) {
            EXPECT_EQ(modeOf(c.realFile), 0600u) << "the replaced file keeps its access rights";
        }
        EXPECT_TRUE(QDir(path("links")).entryList({"*.new"}, QDir::Files | QDir::System).isEmpty());
        EXPECT_TRUE(QDir(path("real")).entryList({"*.new"}, QDir::Files | QDir::System).isEmpty());

        MeasurementTable t;
        t.open(name);
        appendRow(t, withP(5));
        t.close();
        t.open(c.realFile);
        EXPECT_EQ(numbersInView(t, Field::P), (Numbers{5}));
    }
}

TEST_F(ReplacedFile, CreateKeepsTheAccessRightsOfTheFileItReplaces)
{
    for (mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0664), mode_t(0604)}) {
        SCOPED_TRACE(testing::Message() << std::oct << mode);
        const QString file = path("rights.db");
        createTable(file, {withP(1)});
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), mode), 0);
        MeasurementTable::create(file);
        EXPECT_EQ(modeOf(file), mode);
        EXPECT_EQ(countIn(file), 0u);
    }
}

TEST_F(ReplacedFile, CreateRefusesWhatItMustNotReplace)
{
    const QString readOnly = path("readonly.db");
    createTable(readOnly, {withP(1)});
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    const QString fifo = path("pipe.db");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString folder = path("folder.db");
    ASSERT_TRUE(QDir().mkpath(folder));
    // A device node of our own, the same device as /dev/null: should the refusal ever break,
    // the test replaces its own node and not the system's.
    const QString device = path("null.db");
    const bool haveDevice = ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    const QString toDevice = path("device.db");
    ASSERT_TRUE(link(device, toDevice));
    const QString toReadOnly = path("to_readonly.db");
    ASSERT_TRUE(link(readOnly, toReadOnly));

    struct Case {
        const char* what;
        QString name;
        const char* reason;
    };
    const Case cases[] = {
        {"a read-only table", readOnly, "файл только для чтения"},
        {"a link to a read-only table", toReadOnly, "файл только для чтения"},
        {"a pipe", fifo, "это не обычный файл"},
        {"a folder", folder, "это не обычный файл"},
        {"a link to a device", toDevice, "это не обычный файл"},
        {"a device", device, "это не обычный файл"},
    };
    const std::string readOnlyBytes = readBytes(readOnly);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.name == device || c.name == toDevice) {
            if (!haveDevice) {
                std::printf("no device node can be made here (not root): the device cases are left out\n");
                continue;
            }
        }
        const auto error = errorOf([&] { MeasurementTable::create(c.name); });
        ASSERT_TRUE(error.has_value()) << "replaced";
        EXPECT_EQ(error->code(), StoreError::Code::Io);
        const std::string message = error->what();
        EXPECT_NE(message.find("Не удалось создать таблицу \"" + c.name.toStdString() + "\""), std::string::npos) << message;
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
    EXPECT_EQ(readBytes(readOnly), readOnlyBytes);
    EXPECT_EQ(modeOf(readOnly), 0444u);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    if (haveDevice) {
        ASSERT_EQ(::stat(QFile::encodeName(device).constData(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device node is still the device";
    }
    EXPECT_TRUE(isLink(toDevice) && isLink(toReadOnly));
    EXPECT_TRUE(QDir(path("")).entryList({"*.new"}, QDir::AllEntries | QDir::System).isEmpty());
}

TEST_F(ReplacedFile, PackOfATableOpenedThroughALinkPacksTheRealFile)
{
    ASSERT_TRUE(QDir().mkpath(path("real")));
    const QString real = path("real/t.db");
    const QString name = path("t.db");
    createTable(real, {withP(1), withP(2), withP(3)});
    ASSERT_TRUE(QFile::setPermissions(real, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    ASSERT_TRUE(link(QStringLiteral("real/t.db"), name));
    {
        MeasurementTable t;
        t.open(name);
        t.table().moveTo(1);
        t.table().deleteRecord();
        t.table().pack();
        EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3}));
        appendRow(t, withP(4)); // the packed file is the one still held and written
        EXPECT_EQ(errorOf([&] { DbfTable().open(real); })->code(), StoreError::Code::Locked)
            << "the real file is held after the pack";
    }
    EXPECT_TRUE(isLink(name)) << "the link is still a link";
    EXPECT_EQ(countIn(real), 3u) << "the real file was packed";
    EXPECT_EQ(modeOf(real), 0640u);
    EXPECT_TRUE(QDir(path("real")).entryList({"*.pack"}, QDir::Files | QDir::System).isEmpty());
    EXPECT_TRUE(QDir(path("")).entryList({"*.pack"}, QDir::Files | QDir::System).isEmpty());
    for (const QString& file : {name, real}) {
        MeasurementTable t;
        t.open(file);
        EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1, 3, 4}));
    }
}

using Temporaries = StoreTest;

TEST_F(Temporaries, OpenRemovesWhatAKilledPackOrCreateLeftBesideTheTable)
{
    const QString table = path("t.db");
    createTable(table, {withP(1)});
    const std::string tableBytes = readBytes(table);
    createTable(path("other.db"), {withP(2)});
    struct Left {
        QString name;
        bool removed;
    };
    const Left left[] = {
        {path("t.db.pack"), true},
        {path("t.db.new"), true},
        {path("t.db.bak"), false},       // not a name of the engine's
        {path("t.pack"), false},         // not beside this table's name
        {path("other.db.pack"), false},  // another table's, which is not being opened
    };
    for (const Left& l : left)
        writeBytes(l.name, tableBytes.substr(0, 500));
    MeasurementTable t;
    t.open(table);
    for (const Left& l : left)
        EXPECT_EQ(QFileInfo::exists(l.name), !l.removed) << l.name.toStdString();
    EXPECT_EQ(readBytes(table), tableBytes) << "the table itself is untouched";
}

TEST_F(Temporaries, WhatIsNotAPlainFileOrIsHeldStays)
{
    const QString table = path("t.db");
    createTable(table, {withP(1)});
    ASSERT_TRUE(QDir().mkpath(path("t.db.pack")));
    writeBytes(path("elsewhere"), "someone's file");
    ASSERT_TRUE(link(path("elsewhere"), path("t.db.new")));
    {
        MeasurementTable t;
        t.open(table);
    }
    EXPECT_TRUE(QFileInfo(path("t.db.pack")).isDir()) << "a folder of that name is not ours";
    EXPECT_TRUE(isLink(path("t.db.new"))) << "a link of that name is left alone";
    EXPECT_EQ(readBytes(path("elsewhere")), "someone's file");

    // A temporary file that someone holds (a create elsewhere, about to rename it) stays.
    ASSERT_TRUE(QDir().rmdir(path("t.db.pack")));
    ASSERT_TRUE(QFile::remove(path("t.db.new")));
    writeBytes(path("t.db.new"), "being written");
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        int code = 0;
        try {
            platform::File held = platform::File::open(path("t.db.new").toStdString(), platform::File::Mode::Existing);
            (void)!::write(ready[1], "y", 1);
            char c;
            (void)!::read(release[0], &c, 1);
        } catch (...) {
            code = 1;
        }
        ::_exit(code);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    {
        MeasurementTable t;
        t.open(table);
    }
    EXPECT_EQ(readBytes(path("t.db.new")), "being written");
    ::close(release[1]);
    ::close(ready[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    MeasurementTable t;
    t.open(table);
    EXPECT_FALSE(QFileInfo::exists(path("t.db.new"))) << "once let go, the next open removes it";
}

TEST_F(Temporaries, ATableOpenedThroughALinkCleansBesideItsRealFile)
{
    ASSERT_TRUE(QDir().mkpath(path("real")));
    createTable(path("real/t.db"), {withP(1)});
    ASSERT_TRUE(link(path("real/t.db"), path("t.db")));
    writeBytes(path("real/t.db.pack"), "left by a kill");
    writeBytes(path("t.db.pack"), "a file beside the link");
    MeasurementTable t;
    t.open(path("t.db"));
    EXPECT_FALSE(QFileInfo::exists(path("real/t.db.pack")));
    EXPECT_TRUE(QFileInfo::exists(path("t.db.pack"))) << "the link's folder is not where the engine writes";
}

// ---- locks held by other programs ----------------------------------------------------------------

// A program that holds a POSIX record lock on a file until the object goes.
class RecordLockHolder {
public:
    // `python`: /usr/bin/python3 takes fcntl.lockf on bytes [start, start + length) (0: to the end);
    // otherwise a forked child takes a classic fcntl lock of that range, of `type`.
    RecordLockHolder(const QString& file, bool python, short type, off_t start, off_t length)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        std::fflush(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            if (python) {
                ::dup2(release[0], 0);
                ::dup2(ready[1], 1);
                const std::string script =
                    "import fcntl, os, sys\n"
                    "f = open(sys.argv[1], 'r+b')\n"
                    "fcntl.lockf(f, fcntl.LOCK_" + std::string(type == F_RDLCK ? "SH" : "EX") + " | fcntl.LOCK_NB, " +
                    std::to_string(length) + ", " + std::to_string(start) + ")\n"
                    "sys.stdout.write('y'); sys.stdout.flush()\n"
                    "sys.stdin.read()\n";
                // A read lock needs the file open for reading only; r+b does both.
                ::execl("/usr/bin/python3", "python3", "-c", script.c_str(), QFile::encodeName(file).constData(),
                        static_cast<char*>(nullptr));
                ::_exit(127);
            }
            const int fd = ::open(QFile::encodeName(file).constData(), O_RDWR);
            struct flock range {};
            range.l_type = type;
            range.l_whence = SEEK_SET;
            range.l_start = start;
            range.l_len = length;
            if (fd >= 0 && ::fcntl(fd, F_SETLK, &range) == 0)
                (void)!::write(ready[1], "y", 1);
            char c;
            (void)!::read(release[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char c = 0;
        m_holding = ::read(ready[0], &c, 1) == 1 && c == 'y';
        ::close(ready[0]);
    }
    ~RecordLockHolder()
    {
        if (m_release >= 0)
            ::close(m_release);
        if (m_pid > 0) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool holding() const { return m_holding; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

using RecordLocks = StoreTest;

TEST_F(RecordLocks, ATableAnotherProgramHoldsARecordLockOnIsInUse)
{
    const bool python = ::access("/usr/bin/python3", X_OK) == 0;
    struct Case {
        const char* what;
        bool python;
        short type;
        off_t start, length;
    };
    const Case cases[] = {
        {"python3 fcntl.lockf on the whole file", true, F_WRLCK, 0, 0},
        {"python3 fcntl.lockf on a few bytes of the records", true, F_WRLCK, 900, 10},
        {"python3 fcntl.lockf shared", true, F_RDLCK, 0, 0},
        {"fcntl write lock of the header", false, F_WRLCK, 0, 32},
        {"fcntl read lock past the end", false, F_RDLCK, 100000, 1},
    };
    const QString file = path("held.db");
    createTable(file, {withP(1)});
    const std::string bytes = readBytes(file);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.python && !python)
            continue;
        RecordLockHolder holder(file, c.python, c.type, c.start, c.length);
        ASSERT_TRUE(holder.holding());
        for (const char* call : {"open", "create over it"}) {
            SCOPED_TRACE(call);
            const auto error = errorOf([&] {
                if (std::string(call) == "open") {
                    MeasurementTable t;
                    t.open(file);
                } else {
                    MeasurementTable::create(file);
                }
            });
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->code(), StoreError::Code::Locked);
            EXPECT_EQ(std::string(error->what()), "Таблица \"" + file.toStdString() + "\" открыта другой программой");
        }
        EXPECT_EQ(readBytes(file), bytes) << "nothing written to a table in use";
    }
    MeasurementTable t;
    t.open(file);
    EXPECT_EQ(numbersInView(t, Field::P), (Numbers{1})) << "once let go it opens";
}

TEST_F(RecordLocks, OtherProgramsSeeTheTableLockedWhileItIsOpen)
{
    if (::access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "/usr/bin/python3 is not installed";
    const QString file = path("ours.db");
    createTable(file, {withP(1)});
    const std::string script = "import fcntl, sys\n"
                               "f = open(sys.argv[1], 'r+b')\n"
                               "try:\n"
                               "    fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)\n"
                               "    print('free')\n"
                               "except OSError:\n"
                               "    print('in use')\n";
    const auto probe = [&] { return runProcess({"/usr/bin/python3", "-c", script, file.toStdString()}).output; };
    {
        MeasurementTable t;
        t.open(file);
        EXPECT_EQ(probe(), "in use\n");
        t.table().moveTo(0);
        t.table().deleteRecord();
        t.table().pack();
        EXPECT_EQ(probe(), "in use\n") << "the packed file is locked as well";
    }
    EXPECT_EQ(probe(), "free\n");
}

} // namespace
} // namespace store::test
