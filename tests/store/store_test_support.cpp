#include "store_test_support.h"

#include <QFile>

#include <csignal>
#include <cstdio>
#ifdef _WIN32
#include <QProcess>
#include <QStringList>
#else
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace store::test {

std::string readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

void writeBytes(const QString& path, const std::string& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
}

unsigned char byteAt(const std::string& bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes.at(at));
}

unsigned u16At(const std::string& bytes, std::size_t at)
{
    return byteAt(bytes, at) | (byteAt(bytes, at + 1) << 8);
}

unsigned long u32At(const std::string& bytes, std::size_t at)
{
    return u16At(bytes, at) | (static_cast<unsigned long>(u16At(bytes, at + 2)) << 16);
}

void putU16At(std::string& bytes, std::size_t at, unsigned value)
{
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>((value >> 8) & 0xFF);
}

void putU32At(std::string& bytes, std::size_t at, unsigned long value)
{
    putU16At(bytes, at, static_cast<unsigned>(value & 0xFFFF));
    putU16At(bytes, at + 2, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

void overwriteField(const QString& path, std::uint32_t record, const std::string& fieldName, const std::string& text)
{
    constexpr std::size_t kDescriptorsAt = 32;
    constexpr std::size_t kDescriptorSize = 32;
    std::string bytes = readBytes(path);
    const std::size_t headerLength = u16At(bytes, 8);
    const std::size_t recordLength = u16At(bytes, 10);
    std::size_t offset = 1; // after the deletion mark
    for (std::size_t at = kDescriptorsAt; bytes.at(at) != '\x0D'; at += kDescriptorSize) {
        const std::string name = bytes.substr(at, 11).c_str(); // NUL-padded
        const std::size_t width = byteAt(bytes, at + 16);
        if (name == fieldName) {
            ASSERT_LE(text.size(), width) << fieldName;
            const std::string cell = std::string(width - text.size(), ' ') + text;
            bytes.replace(headerLength + record * recordLength + offset, width, cell);
            writeBytes(path, bytes);
            return;
        }
        offset += width;
    }
    ADD_FAILURE() << "no field " << fieldName << " in " << path.toStdString();
}

void setCells(MeasurementTable& t, const Cells& cells)
{
    for (const auto& [field, cell] : cells) {
        if (std::holds_alternative<double>(cell))
            t.setReal(field, std::get<double>(cell));
        else if (std::holds_alternative<QString>(cell))
            t.setText(field, std::get<QString>(cell));
        else
            t.table().clear(t.column(field));
    }
}

void appendRow(MeasurementTable& t, const Cells& cells)
{
    t.table().append();
    setCells(t, cells);
    t.table().post();
}

void createTable(const QString& path, const std::vector<Cells>& rows)
{
    MeasurementTable::create(path);
    MeasurementTable t;
    t.open(path);
    for (const Cells& row : rows)
        appendRow(t, row);
    t.close();
}

std::vector<std::optional<double>> numbersInView(MeasurementTable& t, Field f)
{
    std::vector<std::optional<double>> out;
    for (t.table().first(); !t.table().eof(); t.table().next())
        out.push_back(t.real(f));
    return out;
}

std::vector<QString> textsInView(MeasurementTable& t, Field f)
{
    std::vector<QString> out;
    for (t.table().first(); !t.table().eof(); t.table().next())
        out.push_back(t.text(f));
    return out;
}

#ifdef _WIN32
// Windows has no fork: a test that needs a child of its own is POSIX only. A table is held
// open by no-share opens there, which refuse every other open, the same process's too, so
// holding it here stands for another program holding it.
TableHeldByChild::TableHeldByChild(const QString& path) : m_path(path)
{
    m_table = std::make_unique<DbfTable>();
    try {
        m_table->open(path);
        m_holding = true;
    } catch (...) {
    }
}

TableHeldByChild::~TableHeldByChild() = default;

std::string TableHeldByChild::bytes() const
{
    return m_table->fileBytes();
}

ProcessResult runProcess(const std::vector<std::string>& argv)
{
    ProcessResult result;
    if (argv.empty())
        return result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i)
        arguments << QString::fromStdString(argv[i]);
    process.start(QString::fromStdString(argv[0]), arguments);
    if (!process.waitForFinished(300000))
        return result;
    result.output = process.readAll().toStdString();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

// The oracles are Linux programs; the Windows build is checked against Linux's results by
// scripts/test-windows instead.
bool pythonHasModules(std::initializer_list<const char*>)
{
    return false;
}

#else
int runInChild(const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork failed";
        return -1;
    }
    if (pid == 0) {
        int code = 100;
        try {
            code = body();
        } catch (...) {
            code = 101;
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return status;
}

int enterPrivateMounts()
{
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0)
            return kNoNamespace;
    } else {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return kNoNamespace;
        const auto put = [](const char* file, const std::string& text) {
            std::ofstream out(file);
            out << text;
            return static_cast<bool>(out.flush());
        };
        if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
            return kNoNamespace;
    }
    // Nothing mounted here may reach the rest of the system.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return kNoPrivateMounts;
    return 0;
}

std::string privateMountsRefused(int code)
{
    switch (code) {
    case kNoNamespace:
        return "no private mount namespace here (not root, and no user namespaces)";
    case kNoPrivateMounts:
        return "mounts cannot be made private here";
    case kNoMount:
        return "this system does not let the test mount a file system";
    default:
        return {};
    }
}

TableHeldByChild::TableHeldByChild(const QString& path) : m_path(path)
{
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    std::fflush(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        char ok = 'n';
        DbfTable table;
        try {
            table.open(path);
            ok = 'y';
        } catch (...) {
        }
        (void)!::write(ready[1], &ok, 1);
        char dummy;
        (void)!::read(release[0], &dummy, 1); // returns when the parent closes its end
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    m_release = release[1];
    char ok = 'n';
    m_holding = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
    ::close(ready[0]);
}

std::string TableHeldByChild::bytes() const
{
    return readBytes(m_path);
}

TableHeldByChild::~TableHeldByChild()
{
    if (m_release >= 0)
        ::close(m_release);
    if (m_pid > 0) {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

ProcessResult runProcess(const std::vector<std::string>& argv)
{
    ProcessResult result;
    int out[2];
    if (argv.empty() || ::pipe(out) != 0)
        return result;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n > 0)
            result.output.append(buf, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool pythonHasModules(std::initializer_list<const char*> modules)
{
    if (::access("/usr/bin/python3", X_OK) != 0)
        return false;
    std::string code;
    for (const char* m : modules)
        code += std::string("import ") + m + "\n";
    return runProcess({"/usr/bin/python3", "-c", code}).exitCode == 0;
}

#endif

} // namespace store::test
