#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace app {

// One running program per user and settings: a second start that names a table hands it to
// the program already running, over a local socket, and ends. The name depends on the
// user's configuration folder, so a program run with other settings (the demo, the tests)
// has a channel of its own.
QString instanceServerName();

// Hands the table to the running program. True when that program has taken it: this start
// has nothing more to do. False when none is running or it did not answer in time.
bool handToRunningInstance(const QString& serverName, const QString& tablePath, int timeoutMs = 3000);

// The running program's end of the channel. It listens only when no other program of the
// same name does (a second start without a table runs beside the first and leaves the
// channel to it).
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

    QLocalServer* m_server = nullptr;
};

} // namespace app
