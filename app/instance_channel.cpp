#include "app/instance_channel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace app {
namespace {

// The request is "open ", the count of UTF-16 units of the table's path (4 bytes, big
// endian), then those units (big endian). A counted name carries anything a file name may
// hold, line breaks included, and UTF-16 keeps every QString as it is: on Windows a file
// name need not be valid Unicode, and UTF-8 would spoil it. The answer is one line.
const QByteArray kRequest = QByteArrayLiteral("open ");
constexpr qsizetype kHeaderSize = 5 + 4;
const QByteArray kAnswer = QByteArrayLiteral("taken\n");
// The longest path Windows accepts; anything longer is not a file name but garbage.
constexpr quint32 kNameLimit = 32767;
constexpr int kProbeMs = 500;
// A connection that has not sent its whole request by then never will.
constexpr int kRequestMs = 10000;

QByteArray requestFor(const QString& path)
{
    QByteArray request = kRequest;
    request.resize(kHeaderSize + 2 * path.size());
    char* out = request.data() + kRequest.size();
    qToBigEndian<quint32>(quint32(path.size()), out);
    out += 4;
    for (const QChar c : path) {
        qToBigEndian<quint16>(c.unicode(), out);
        out += 2;
    }
    return request;
}

#ifndef Q_OS_WIN
// Where QLocalServer puts a socket of this name: a name that is not a path goes into the
// temporary folder.
QString channelFolder(const QString& serverName)
{
    const QString socket = serverName.startsWith(QLatin1Char('/'))
                               ? serverName
                               : QDir::tempPath() + QLatin1Char('/') + serverName;
    return QFileInfo(socket).path();
}

// mkdir fails on anything already there, so a folder made here is ours; the mode is set
// again because the umask may have taken some of our own bits.
bool makePrivateFolder(const QString& folder)
{
    if (checkPrivateFolder(folder) == FolderCheck::Missing) {
        const QByteArray name = QFile::encodeName(folder);
        if (::mkdir(name.constData(), 0700) == 0)
            ::chmod(name.constData(), 0700);
    }
    return isPrivateFolder(folder);
}
#endif

// Only a private folder may hold the channel (see instanceServerName).
bool channelFolderIsPrivate(const QString& serverName, bool make)
{
    if (serverName.isEmpty())
        return false;
#ifdef Q_OS_WIN
    Q_UNUSED(make);
    return true;
#else
    const QString folder = channelFolder(serverName);
    return make ? makePrivateFolder(folder) : isPrivateFolder(folder);
#endif
}

} // namespace

FolderCheck checkPrivateFolder(const QString& path)
{
    if (path.isEmpty())
        return FolderCheck::Missing;
#ifdef Q_OS_WIN
    // Windows keeps no POSIX owner and mode; the channel is a pipe there and needs no folder.
    const QFileInfo info(path);
    if (!info.exists())
        return FolderCheck::Missing;
    return info.isDir() && !info.isSymLink() ? FolderCheck::Private : FolderCheck::NotAFolder;
#else
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return FolderCheck::Missing;
    if (!S_ISDIR(st.st_mode))
        return FolderCheck::NotAFolder;
    if (st.st_uid != ::getuid())
        return FolderCheck::ForeignOwner;
    if (st.st_mode & (S_IRWXG | S_IRWXO))
        return FolderCheck::OpenToOthers;
    return FolderCheck::Private;
#endif
}

QString runtimeFolderFor(const QString& runtimeDir, const QString& tempFolder)
{
    if (!runtimeDir.isEmpty())
        return runtimeDir;
#ifdef Q_OS_WIN
    return QDir(tempFolder).filePath(QStringLiteral("kvel-runtime"));
#else
    // Under the user's id: the temporary folder is shared by every user of the machine.
    return QDir(tempFolder).filePath(QStringLiteral("kvel-runtime-%1").arg(::getuid()));
#endif
}

QString prepareRuntimeFolder(const QString& runtimeDir, const QString& tempFolder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(runtimeDir);
    Q_UNUSED(tempFolder);
    return {};
#else
    const QString folder = runtimeFolderFor(runtimeDir, tempFolder);
    // The session's runtime folder is the session's to make; ours we make ourselves. An
    // existing folder that is too open is refused rather than tightened: while it was open,
    // somebody else may have put a socket into it.
    const bool usable = runtimeDir.isEmpty() ? makePrivateFolder(folder) : isPrivateFolder(folder);
    return usable ? folder : QString();
#endif
}

void prepareProcessRuntimeFolder()
{
#ifndef Q_OS_WIN
    const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!given.isEmpty() && isPrivateFolder(given))
        return;
    // None set, or one that is not ours: "su" keeps the first user's folder, which this
    // user must neither use nor be warned about by Qt. A private folder of our own instead.
    const QString folder = prepareRuntimeFolder(QString(), QDir::tempPath());
    if (!folder.isEmpty())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
#endif
}

QString instanceServerName()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QByteArray key = QCryptographicHash::hash(QDir::cleanPath(config).toUtf8(), QCryptographicHash::Sha256)
                               .toHex()
                               .left(16);
    const QString name = QStringLiteral("kvel-") + QString::fromLatin1(key);
#ifdef Q_OS_WIN
    // A pipe name. Pipe names are one namespace for the whole machine: the configuration
    // folder tells users apart, the session number the sessions of one user (a remote
    // desktop beside the console), each of which runs a program of its own.
    DWORD session = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session))
        session = 0;
    return name + QStringLiteral("-s%1").arg(session);
#else
    // In the user's runtime folder; whether it may be used is decided where it is used.
    return QDir(runtimeFolderFor(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath())).filePath(name);
#endif
}

bool handToRunningInstance(const QString& serverName, const QString& tablePath, int timeoutMs)
{
    if (!channelFolderIsPrivate(serverName, false))
        return false;
    const QString path = QFileInfo(tablePath).absoluteFilePath();
    // The running program would refuse it: this start opens the table itself.
    if (path.isEmpty() || quint32(path.size()) > kNameLimit)
        return false;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kProbeMs))
        return false;
    socket.write(requestFor(path));
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (answer.size() > kAnswer.size() || !socket.waitForReadyRead(timeoutMs))
            return false;
        answer += socket.readAll();
    }
    return answer == kAnswer;
}

InstanceServer::InstanceServer(const QString& serverName, QObject* parent)
    : QObject(parent)
{
    // Our runtime folder may not exist yet (the tests start no program of their own); it
    // is made here, private, or the program runs without the channel.
    if (!channelFolderIsPrivate(serverName, true))
        return;
    // Somebody answers on this name: that program keeps the channel.
    {
        QLocalSocket probe;
        probe.connectToServer(serverName);
        if (probe.waitForConnected(kProbeMs))
            return;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answers: a name left behind by a program that crashed can go. The folder is
    // ours alone, so whatever lies there is ours too.
    QLocalServer::removeServer(serverName);
    if (!m_server->listen(serverName)) {
        delete m_server;
        m_server = nullptr;
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::takeConnection);
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::isListening() const
{
    return m_server && m_server->isListening();
}

void InstanceServer::takeConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        QTimer::singleShot(kRequestMs, socket, [socket] { socket->abort(); });
    }
}

void InstanceServer::readRequest(QLocalSocket* socket)
{
    // Everything stays in the socket's buffer until the whole request is there.
    const qint64 available = socket->bytesAvailable();
    const QByteArray head = socket->peek(kHeaderSize);
    if (!head.startsWith(kRequest.left(head.size()))) {
        socket->abort();
        return;
    }
    if (head.size() < kHeaderSize)
        return;
    const quint32 units = qFromBigEndian<quint32>(head.constData() + kRequest.size());
    if (units == 0 || units > kNameLimit) {
        socket->abort();
        return;
    }
    const qint64 whole = kHeaderSize + 2 * qint64(units);
    if (available < whole)
        return;
    // One request per connection: more is not a second start talking.
    if (available > whole) {
        socket->abort();
        return;
    }
    socket->skip(kHeaderSize);
    const QByteArray body = socket->read(2 * qint64(units));
    QString path(qsizetype(units), Qt::Uninitialized);
    for (qsizetype i = 0; i < path.size(); ++i)
        path[i] = QChar(qFromBigEndian<quint16>(body.constData() + 2 * i));
    socket->write(kAnswer);
    socket->flush();
    socket->disconnectFromServer();
    emit tableHandedOver(path);
}

} // namespace app
