#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace app {

// One running program per user and settings: a second start that names a table hands it to
// the program already running, over a local socket, and ends. The name depends on the
// user's configuration folder, so a program run with other settings (the demo, the tests)
// has a channel of its own.
//
// Whoever can create the socket receives the tables and answers for the program, so on
// POSIX the socket lives only in a folder nobody else can write to: the user's runtime
// folder (XDG_RUNTIME_DIR), or without one a folder the program makes for the user under
// the temporary folder. A folder that is not private is not used, neither to listen nor to
// hand over: the program then runs without the channel. On Windows the channel is a named
// pipe, whose name already carries the user's configuration folder.
QString instanceServerName();

// Why a folder can or cannot hold the channel.
enum class FolderCheck {
    Private,      // a real folder of this user that nobody else may enter
    Missing,      // nothing there (or it cannot be looked at)
    NotAFolder,   // a file, or a symbolic link: a link may lead anywhere its maker chose
    ForeignOwner, // another user's folder: that user could put a socket in it
    OpenToOthers, // ours, but group or others have access
};

// Looks at the folder itself (a link is not followed): owner and access bits.
FolderCheck checkPrivateFolder(const QString& path);
inline bool isPrivateFolder(const QString& path)
{
    return checkPrivateFolder(path) == FolderCheck::Private;
}

// The folder for the user's runtime files, before anything is made: XDG_RUNTIME_DIR as
// given (`runtimeDir`), or when that is empty a folder named after the user's id under
// `tempFolder`.
QString runtimeFolderFor(const QString& runtimeDir, const QString& tempFolder);

// Makes sure the runtime folder can hold the channel and returns it; empty when it cannot.
// XDG_RUNTIME_DIR is only checked (the session made it); our own folder under `tempFolder`
// is made with mode 0700 when missing. An existing folder is used only when it passes
// checkPrivateFolder: one somebody else made first, or made into a link, is refused.
QString prepareRuntimeFolder(const QString& runtimeDir, const QString& tempFolder);

// The same for this process, before QApplication exists: without XDG_RUNTIME_DIR, or with
// one that is not a private folder of this user (as after "su"), the prepared folder of our
// own becomes the process's runtime folder, so the channel and Qt's own runtime files find
// it there. Nothing to do on Windows.
void prepareProcessRuntimeFolder();

// Hands the table to the running program. True when that program has taken it: this start
// has nothing more to do. False when none is running, the channel's folder is not private,
// or the program did not answer in time.
bool handToRunningInstance(const QString& serverName, const QString& tablePath, int timeoutMs = 3000);

// The running program's end of the channel. It listens only when no other program of the
// same name does (a second start without a table runs beside the first and leaves the
// channel to it), and only in a private folder.
class InstanceServer : public QObject {
    Q_OBJECT

public:
    explicit InstanceServer(const QString& serverName, QObject* parent = nullptr);
    ~InstanceServer() override;

    bool isListening() const;

signals:
    // A second start named this table (a whole path).
    void tableHandedOver(const QString& path);

private:
    void takeConnection();
    void readRequest(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
};

} // namespace app
