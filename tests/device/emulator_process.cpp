#include "tests/device/emulator_process.h"

#include <algorithm>

namespace device_test {

EmulatorProcess::EmulatorProcess(const QStringList& arguments)
{
    m_process.setProgram(QStringLiteral(KVEL_EMULATOR));
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return;
    // The first line on stdout is the device to open.
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000))
            return;
    }
    m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

EmulatorProcess::~EmulatorProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString EmulatorProcess::log()
{
    m_log += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_log;
}

int EmulatorProcess::count(const QString& what)
{
    const QString prefix = QStringLiteral("kvel-emulator: ") + what;
    const QStringList lines = log().split(QLatin1Char('\n'));
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QString& line) { return line.startsWith(prefix); }));
}

void EmulatorProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

} // namespace device_test
