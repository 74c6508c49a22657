#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace device_test {

// One kvel-emulator on a pseudo-terminal of its own, stopped when this object goes.
class EmulatorProcess {
public:
    explicit EmulatorProcess(const QStringList& arguments = {});
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    bool started() const { return !m_path.isEmpty(); }
    const QString& path() const { return m_path; }

    // Its log so far (stderr), and how many lines of it begin "kvel-emulator: <what>".
    QString log();
    int count(const QString& what);

    // The instrument is gone at once, as when its cable is pulled.
    void kill();

private:
    QProcess m_process;
    QString m_path;
    QString m_log;
};

} // namespace device_test
