// The channel over which a second start hands its table to the running program: what it
// carries, what it refuses, and where its socket may live. Whoever could create that socket
// would receive every table handed over and answer in the program's name, so only a folder
// of the user's own, closed to everybody else, may hold it.

#include "app/instance_channel.h"
#include "widget_test_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>

using app::FolderCheck;

Q_DECLARE_METATYPE(app::FolderCheck)

namespace app {
// Found by QCOMPARE, so that a failure names the verdicts.
char* toString(FolderCheck check)
{
    const char* names[] = {"Private", "Missing", "NotAFolder", "ForeignOwner", "OpenToOthers"};
    return qstrdup(names[int(check)]);
}
} // namespace app

namespace {

// A user id that is not ours: "nobody" on Debian.
constexpr uid_t kOtherUser = 65534;

// Every test gets a temporary folder of its own (TMPDIR steers QDir::tempPath(), and with
// it the program's runtime folder), inside one private folder for the whole program, so
// nothing meets a user's session or another test program.
QTemporaryDir& testRoot()
{
    static QTemporaryDir root;
    return root;
}

struct FileState {
    bool exists = false;
    uid_t owner = 0;
    mode_t mode = 0;
};

FileState fileState(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true, st.st_uid, mode_t(st.st_mode & 07777)};
}

bool isSocket(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool makeFolder(const QString& path, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    return ::mkdir(name.constData(), mode) == 0 && ::chmod(name.constData(), mode) == 0;
}

// handToRunningInstance waits for its answer, so it runs on a thread of its own while this
// one serves the connection.
template <typename Work>
auto whileServing(Work work)
{
    auto result = std::async(std::launch::async, work);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    return result.get();
}

// What a client that is not a second start got: the answer, and whether the program hung up.
struct RawExchange {
    QByteArray answer;
    bool hungUp = false;
};

RawExchange sendRaw(const QString& serverName, const QByteArray& bytes)
{
    return whileServing([&] {
        RawExchange exchange;
        QLocalSocket socket;
        socket.connectToServer(serverName);
        if (!socket.waitForConnected(5000))
            return exchange;
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
        // A generous bound only in case the program never hangs up.
        exchange.hungUp = socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(10000);
        exchange.answer = socket.readAll();
        return exchange;
    });
}

// The old name of the channel: in the shared temporary folder under the user's id, where any
// local user could work it out and bind it first.
QString predictableName()
{
    // "kvel-" and the 16 digits of the configuration folder's hash.
    const QString channel = QFileInfo(app::instanceServerName()).fileName().left(5 + 16);
    return QDir::tempPath() + QLatin1Char('/') + channel + QStringLiteral("-%1").arg(::getuid());
}

} // namespace

class InstanceChannelTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void namesAreHandedOverExactly_data();
    void namesAreHandedOverExactly();
    void secondStartHandsOverExactly_data();
    void secondStartHandsOverExactly();
    void garbageIsRefused_data();
    void garbageIsRefused();

    void folderCheck_data();
    void folderCheck();
    void runtimeFolderIsPrivateOrUnused_data();
    void runtimeFolderIsPrivateOrUnused();
    void channelNeedsAPrivateFolder();
    void squattedRuntimeFolderIsLeftAlone();
    void predictableNameIsNotAsked();
    void programMakesItsOwnRuntimeFolder();

private:
    QString m_temp; // this test's temporary folder (TMPDIR)
    int m_count = 0;
};

void InstanceChannelTest::init()
{
    // Open to others only so far that a test acting as another user can reach its folder.
    QVERIFY(::chmod(QFile::encodeName(testRoot().path()).constData(), 0711) == 0);
    m_temp = QDir(testRoot().path()).filePath(QStringLiteral("tmp%1").arg(++m_count));
    // Shared like /tmp: everybody may create, nobody may remove what is not theirs.
    QVERIFY(makeFolder(m_temp, 01777));
    qputenv("TMPDIR", QFile::encodeName(m_temp));
    qunsetenv("XDG_RUNTIME_DIR");
    QCOMPARE(QDir::tempPath(), m_temp);
}

void InstanceChannelTest::namesAreHandedOverExactly_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("line break") << QStringLiteral("a\nb.db");
    QTest::newRow("ends in a line break") << QStringLiteral("c.db\n");
    QTest::newRow("carriage return and blank") << QStringLiteral("d\r .db ");
    // 246 bytes of Cyrillic (two each) and four of ASCII: a name at the usual limit.
    QTest::newRow("250 bytes") << QString(123, QChar(0x0436)) + QStringLiteral("e.db");
    QTest::newRow("looks like a request") << QStringLiteral("open \ntaken\n.db");
    // What the program makes of a Linux name that is not UTF-8.
    QTest::newRow("not UTF-8") << QFile::decodeName(QByteArrayLiteral("\xd3\xf7.db"));
    // Windows lets a file name hold half a surrogate pair; UTF-8 cannot carry it.
    QTest::newRow("lone surrogate") << QString(QChar(0xdc80)) + QStringLiteral("f.db");
}

void InstanceChannelTest::namesAreHandedOverExactly()
{
    QFETCH(QString, fileName);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString name = folder.filePath(QStringLiteral("channel"));
    app::InstanceServer server(name);
    QVERIFY(server.isListening());
    QSignalSpy handed(&server, &app::InstanceServer::tableHandedOver);

    const QString table = folder.path() + QLatin1Char('/') + fileName;
    QVERIFY(whileServing([&] { return app::handToRunningInstance(name, table); }));
    QTRY_COMPARE(handed.size(), 1);
    QCOMPARE(handed.front().front().toString(), table);
}

void InstanceChannelTest::secondStartHandsOverExactly_data()
{
    QTest::addColumn<QByteArray>("fileName");
    QTest::newRow("line break") << QByteArrayLiteral("a\nb.db");
    QTest::newRow("250 bytes") << QByteArray(246, 'g') + QByteArrayLiteral("h.db");
    QTest::newRow("not UTF-8") << QByteArrayLiteral("\xd3\xf7.db");
}

void InstanceChannelTest::secondStartHandsOverExactly()
{
    QFETCH(QByteArray, fileName);
    app::InstanceServer server(app::instanceServerName());
    QVERIFY(server.isListening());
    QSignalSpy handed(&server, &app::InstanceServer::tableHandedOver);

    // The shell passes the name's bytes as they are; QProcess would have to make text of them.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QProcess kvel;
    kvel.setWorkingDirectory(folder.path());
    kvel.start(QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf '%s' \"$1\" | base64 -d)\""),
                QStringLiteral(KVEL_PROGRAM), QString::fromLatin1(fileName.toBase64())});
    // This event loop answers the second start, which then ends; one that did not hand
    // over opens its own window and is stopped after a generous while.
    QDeadlineTimer deadline(30000);
    while (kvel.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    if (kvel.state() != QProcess::NotRunning) {
        kvel.kill();
        kvel.waitForFinished();
        QFAIL("the second start did not hand its table over");
    }
    QCOMPARE(kvel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(kvel.exitCode(), 0);
    QCOMPARE(handed.size(), 1);
    // Exactly what that start would have opened itself.
    QCOMPARE(handed.front().front().toString(), QDir(folder.path()).filePath(QFile::decodeName(fileName)));
}

void InstanceChannelTest::garbageIsRefused_data()
{
    const QByteArray valid = QByteArrayLiteral("open ") + QByteArray::fromHex("00000002") + QByteArray::fromHex("00610062");
    const auto header = [](quint32 units) {
        QByteArray bytes = QByteArrayLiteral("open ") + QByteArray(4, '\0');
        qToBigEndian<quint32>(units, bytes.data() + 5);
        return bytes;
    };
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("another word") << QByteArrayLiteral("quit ") + valid.mid(5);
    QTest::newRow("a line of text") << QByteArrayLiteral("/home/user/a.db\n");
    QTest::newRow("absurd length") << header(0xffffffffu) + valid.mid(9);
    QTest::newRow("just over the longest path") << header(32768);
    QTest::newRow("empty name") << header(0);
    QTest::newRow("two requests at once") << valid + valid;
}

void InstanceChannelTest::garbageIsRefused()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString name = folder.filePath(QStringLiteral("channel"));
    app::InstanceServer server(name);
    QVERIFY(server.isListening());
    QSignalSpy handed(&server, &app::InstanceServer::tableHandedOver);

    const RawExchange exchange = sendRaw(name, bytes);
    QVERIFY(exchange.hungUp);
    QCOMPARE(exchange.answer, QByteArray());
    QCOMPARE(handed.size(), 0);

    // The channel still serves a real second start.
    const QString table = folder.filePath(QStringLiteral("after.db"));
    QVERIFY(whileServing([&] { return app::handToRunningInstance(name, table); }));
    QTRY_COMPARE(handed.size(), 1);
    QCOMPARE(handed.front().front().toString(), table);
}

void InstanceChannelTest::folderCheck_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<FolderCheck>("expected");
    QTest::newRow("ours, 0700") << QStringLiteral("0700") << FolderCheck::Private;
    QTest::newRow("ours, 0755") << QStringLiteral("0755") << FolderCheck::OpenToOthers;
    QTest::newRow("ours, 0710") << QStringLiteral("0710") << FolderCheck::OpenToOthers;
    QTest::newRow("ours, 0701") << QStringLiteral("0701") << FolderCheck::OpenToOthers;
    QTest::newRow("link to our 0700 folder") << QStringLiteral("link") << FolderCheck::NotAFolder;
    QTest::newRow("a file") << QStringLiteral("file") << FolderCheck::NotAFolder;
    QTest::newRow("nothing") << QStringLiteral("missing") << FolderCheck::Missing;
    QTest::newRow("another user's, 0700") << QStringLiteral("foreign") << FolderCheck::ForeignOwner;
}

void InstanceChannelTest::folderCheck()
{
    QFETCH(QString, kind);
    QFETCH(FolderCheck, expected);
    const QString path = QDir(m_temp).filePath(QStringLiteral("folder"));
    const QByteArray native = QFile::encodeName(path);
    if (kind == QStringLiteral("link")) {
        const QString target = QDir(m_temp).filePath(QStringLiteral("target"));
        QVERIFY(makeFolder(target, 0700));
        QVERIFY(::symlink(QFile::encodeName(target).constData(), native.constData()) == 0);
    } else if (kind == QStringLiteral("file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (kind == QStringLiteral("foreign")) {
        if (::geteuid() != 0)
            QSKIP("only root can make a folder that belongs to another user");
        QVERIFY(makeFolder(path, 0700));
        QVERIFY(::chown(native.constData(), kOtherUser, kOtherUser) == 0);
    } else if (kind != QStringLiteral("missing")) {
        QVERIFY(makeFolder(path, mode_t(kind.toUInt(nullptr, 8))));
    }
    QCOMPARE(app::checkPrivateFolder(path), expected);
    QCOMPARE(app::isPrivateFolder(path), expected == FolderCheck::Private);
}

void InstanceChannelTest::runtimeFolderIsPrivateOrUnused_data()
{
    // Whether XDG_RUNTIME_DIR names the folder, what is there beforehand, and whether the
    // folder may then be used.
    QTest::addColumn<bool>("fromSession");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("usable");
    QTest::newRow("ours: nothing yet, made") << false << QStringLiteral("missing") << true;
    QTest::newRow("ours: made earlier") << false << QStringLiteral("0700") << true;
    QTest::newRow("ours: opened up since") << false << QStringLiteral("0755") << false;
    QTest::newRow("ours: a link to a folder of ours") << false << QStringLiteral("link") << false;
    QTest::newRow("ours: another user made it first") << false << QStringLiteral("foreign") << false;
    QTest::newRow("session's: private") << true << QStringLiteral("0700") << true;
    QTest::newRow("session's: open to the group") << true << QStringLiteral("0750") << false;
    QTest::newRow("session's: a link") << true << QStringLiteral("link") << false;
    QTest::newRow("session's: another user's") << true << QStringLiteral("foreign") << false;
    QTest::newRow("session's: missing, not made") << true << QStringLiteral("missing") << false;
}

void InstanceChannelTest::runtimeFolderIsPrivateOrUnused()
{
    QFETCH(bool, fromSession);
    QFETCH(QString, before);
    QFETCH(bool, usable);
    const QString sessionFolder = fromSession ? QDir(m_temp).filePath(QStringLiteral("session")) : QString();
    const QString folder = app::runtimeFolderFor(sessionFolder, m_temp);
    if (fromSession)
        QCOMPARE(folder, sessionFolder);
    else
        QCOMPARE(QFileInfo(folder).path(), m_temp);
    const QByteArray native = QFile::encodeName(folder);
    if (before == QStringLiteral("link")) {
        const QString target = QDir(m_temp).filePath(QStringLiteral("target"));
        QVERIFY(makeFolder(target, 0700));
        QVERIFY(::symlink(QFile::encodeName(target).constData(), native.constData()) == 0);
    } else if (before == QStringLiteral("foreign")) {
        if (::geteuid() != 0)
            QSKIP("only root can make a folder that belongs to another user");
        QVERIFY(makeFolder(folder, 0700));
        QVERIFY(::chown(native.constData(), kOtherUser, kOtherUser) == 0);
    } else if (before != QStringLiteral("missing")) {
        QVERIFY(makeFolder(folder, mode_t(before.toUInt(nullptr, 8))));
    }
    const FileState was = fileState(folder);

    const QString prepared = app::prepareRuntimeFolder(sessionFolder, m_temp);
    QCOMPARE(prepared, usable ? folder : QString());
    const FileState now = fileState(folder);
    if (usable) {
        QVERIFY(now.exists);
        QCOMPARE(now.owner, ::getuid());
        QCOMPARE(now.mode, mode_t(0700));
    } else {
        // A refused folder is left as it was: nothing made, nothing changed.
        QCOMPARE(now.exists, was.exists);
        QCOMPARE(now.owner, was.owner);
        QCOMPARE(now.mode, was.mode);
    }
}

void InstanceChannelTest::channelNeedsAPrivateFolder()
{
    // A folder that anybody may write to, like the temporary folder itself: whoever binds the
    // name there first would get the tables.
    const QString open = QDir(m_temp).filePath(QStringLiteral("open"));
    QVERIFY(makeFolder(open, 01777));
    const QString name = QDir(open).filePath(QStringLiteral("channel"));
    QLocalServer squatter;
    QVERIFY(squatter.listen(name));
    int connections = 0;
    connect(&squatter, &QLocalServer::newConnection, this, [&] {
        while (QLocalSocket* socket = squatter.nextPendingConnection()) {
            ++connections;
            socket->write("taken\n");
            socket->flush();
        }
    });

    QVERIFY(!app::InstanceServer(name).isListening());
    QVERIFY(isSocket(name)); // not removed either
    const QString table = QDir(m_temp).filePath(QStringLiteral("secret.db"));
    QVERIFY(!whileServing([&] { return app::handToRunningInstance(name, table); }));
    QCOMPARE(connections, 0);
}

void InstanceChannelTest::squattedRuntimeFolderIsLeftAlone()
{
    if (::geteuid() != 0)
        QSKIP("only root can play the other user who made the runtime folder first");
    // Another user made our runtime folder before any start of ours, and waits in it with a
    // socket of the channel's name that takes every table.
    const QString folder = app::runtimeFolderFor(QString(), QDir::tempPath());
    QVERIFY(makeFolder(folder, 0700));
    const QString name = app::instanceServerName();
    QCOMPARE(QFileInfo(name).path(), folder);
    QLocalServer squatter;
    QVERIFY(squatter.listen(name));
    QVERIFY(::chown(QFile::encodeName(name).constData(), kOtherUser, kOtherUser) == 0);
    QVERIFY(::chown(QFile::encodeName(folder).constData(), kOtherUser, kOtherUser) == 0);
    int connections = 0;
    connect(&squatter, &QLocalServer::newConnection, this, [&] {
        while (QLocalSocket* socket = squatter.nextPendingConnection()) {
            ++connections;
            socket->write("taken\n");
            socket->flush();
        }
    });

    // The start that would listen: no channel, and the squatter's socket stays where it is.
    QCOMPARE(app::prepareRuntimeFolder(QString(), QDir::tempPath()), QString());
    QVERIFY(!app::InstanceServer(name).isListening());
    QVERIFY(isSocket(name));
    // The start that would hand over: it does not, and opens its own window instead.
    const QString table = QDir(m_temp).filePath(QStringLiteral("secret.db"));
    QVERIFY(!whileServing([&] { return app::handToRunningInstance(name, table); }));
    QCOMPARE(connections, 0);
    QCOMPARE(fileState(folder).owner, kOtherUser);
}

void InstanceChannelTest::predictableNameIsNotAsked()
{
    if (::geteuid() != 0)
        QSKIP("only root can start a process of another user");
    // Another user binds the name the channel once had and answers "taken" to everybody.
    const QByteArray path = QFile::encodeName(predictableName());
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    QVERIFY(std::size_t(path.size()) < sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    int report[2];
    QVERIFY(::pipe(report) == 0);
    const pid_t squatter = ::fork();
    QVERIFY(squatter >= 0);
    if (squatter == 0) {
        // One byte to the test once listening, one for every connection it gets.
        ::close(report[0]);
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0 || listener < 0
            || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(listener, 8) != 0)
            ::_exit(1);
        if (::write(report[1], "l", 1) != 1)
            ::_exit(1);
        for (;;) {
            const int connection = ::accept(listener, nullptr, nullptr);
            if (connection < 0)
                continue;
            if (::write(report[1], "c", 1) != 1 || ::write(connection, "taken\n", 6) != 6)
                ::_exit(1);
            ::close(connection);
        }
    }
    ::close(report[1]);
    const auto stopSquatter = [&] {
        ::kill(squatter, SIGKILL);
        ::waitpid(squatter, nullptr, 0);
    };
    char ready = 0;
    if (::read(report[0], &ready, 1) != 1 || ready != 'l') {
        stopSquatter();
        ::close(report[0]);
        QFAIL("the other user's process could not listen");
    }
    QVERIFY(isSocket(predictableName()));
    QCOMPARE(fileState(predictableName()).owner, kOtherUser);

    // The real program listens in its own folder and gets the table.
    bool listening = false;
    bool handedOver = false;
    QString received;
    {
        app::InstanceServer server(app::instanceServerName());
        listening = server.isListening();
        connect(&server, &app::InstanceServer::tableHandedOver, this, [&](const QString& path) { received = path; });
        const QString table = QDir(m_temp).filePath(QStringLiteral("secret.db"));
        handedOver = whileServing([&] { return app::handToRunningInstance(app::instanceServerName(), table); });
        QTRY_VERIFY(!received.isEmpty());
    }
    stopSquatter();
    QByteArray seen;
    char byte = 0;
    while (::read(report[0], &byte, 1) == 1)
        seen += byte;
    ::close(report[0]);
    QVERIFY(listening);
    QVERIFY(handedOver);
    QCOMPARE(received, QDir(m_temp).filePath(QStringLiteral("secret.db")));
    QCOMPARE(seen.count('c'), 0);
}

void InstanceChannelTest::programMakesItsOwnRuntimeFolder()
{
    // The program started as by cron or su: no session runtime folder.
    const QString config = QDir(m_temp).filePath(QStringLiteral("config"));
    QVERIFY(makeFolder(config, 0700));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), QDir(m_temp).filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("TMPDIR"), m_temp);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess kvel;
    kvel.setProcessEnvironment(environment);
    kvel.start(QStringLiteral(KVEL_PROGRAM), QStringList());
    QVERIFY(kvel.waitForStarted());
    struct Stop {
        QProcess& process;
        ~Stop()
        {
            process.kill();
            process.waitForFinished();
        }
    } stop{kvel};

    // The channel is open once the window is up; its socket is the only one in the folder.
    const QString folder = app::runtimeFolderFor(QString(), m_temp);
    const auto sockets = [&] {
        QStringList found;
        for (const QString& entry : QDir(folder).entryList(QDir::System | QDir::Files | QDir::Hidden))
            if (isSocket(QDir(folder).filePath(entry)))
                found << entry;
        return found;
    };
    while (sockets().isEmpty() && kvel.state() == QProcess::Running)
        QTest::qWait(50);
    QCOMPARE(sockets().size(), qsizetype(1));
    const FileState state = fileState(folder);
    QCOMPARE(state.owner, ::getuid());
    QCOMPARE(state.mode, mode_t(0700));
    // The socket is the program's channel: it takes a table.
    const QString socket = QDir(folder).filePath(sockets().front());
    QVERIFY(app::handToRunningInstance(socket, QDir(m_temp).filePath(QStringLiteral("missing.db"))));
    // Qt found a runtime folder as well and had nothing to complain about.
    kvel.kill();
    kvel.waitForFinished();
    QVERIFY2(!kvel.readAllStandardError().contains("XDG_RUNTIME_DIR"), "Qt warned about the runtime folder");
}

int main(int argc, char* argv[])
{
    if (!testRoot().isValid())
        qFatal("no private temporary folder for the test");
    kvel_test::prepareEnvironment();
    QApplication application(argc, argv);
    kvel_test::prepareSettings();
    InstanceChannelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "instance_channel_test.moc"
