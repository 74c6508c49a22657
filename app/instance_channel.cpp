#include "app/instance_channel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace app {
namespace {

// One line each way: the table's path, then the answer.
const QByteArray kRequest = QByteArrayLiteral("open ");
const QByteArray kAnswer = QByteArrayLiteral("taken\n");
constexpr int kProbeMs = 500;
constexpr int kLineLimit = 64 * 1024;

} // namespace

QString instanceServerName()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QByteArray key = QCryptographicHash::hash(QDir::cleanPath(config).toUtf8(), QCryptographicHash::Sha256)
                               .toHex()
                               .left(16);
    const QString name = QStringLiteral("kvel-") + QString::fromLatin1(key);
#ifdef Q_OS_WIN
    // A pipe name: the configuration folder already tells users apart.
    return name;
#else
    // In the user's own runtime folder, which nobody else may enter; without one, in the
    // temporary folder under the user's id.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return name + QStringLiteral("-%1").arg(getuid());
    return QDir(folder).filePath(name);
#endif
}

bool handToRunningInstance(const QString& serverName, const QString& tablePath, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kProbeMs))
        return false;
    const QString path = QFileInfo(tablePath).absoluteFilePath();
    socket.write(kRequest + path.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
        answer += socket.readAll();
    }
    return answer == kAnswer;
}

InstanceServer::InstanceServer(const QString& serverName, QObject* parent)
    : QObject(parent)
{
    // Somebody answers on this name: that program keeps the channel.
    {
        QLocalSocket probe;
        probe.connectToServer(serverName);
        if (probe.waitForConnected(kProbeMs))
            return;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answers: a name left behind by a program that crashed can go.
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                // A line that never ends is not a request.
                if (socket->bytesAvailable() > kLineLimit)
                    socket->abort();
                return;
            }
            QByteArray line = socket->readLine(kLineLimit);
            line.chop(1); // the newline; a path may end in a blank
            if (!line.startsWith(kRequest)) {
                socket->abort();
                return;
            }
            const QString path = QString::fromUtf8(line.mid(kRequest.size()));
            socket->write(kAnswer);
            socket->flush();
            socket->disconnectFromServer();
            if (!path.isEmpty())
                emit tableHandedOver(path);
        });
    }
}

} // namespace app
