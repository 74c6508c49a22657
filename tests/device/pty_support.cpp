#include "tests/device/pty_support.h"

#include "settings/program_settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace device_test {

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_path = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    hangUp();
}

void Pty::write(const std::string& chars)
{
    std::size_t done = 0;
    while (done < chars.size()) {
        const ssize_t n = ::write(m_master, chars.data() + done, chars.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else
            QThread::msleep(1);
    }
}

std::string Pty::readAvailable()
{
    std::string got;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return got;
        got.append(buffer, std::size_t(n));
    }
}

std::size_t Pty::waitingForDriver() const
{
    int waiting = 0;
    ::ioctl(m_slave, FIONREAD, &waiting);
    return std::size_t(waiting);
}

void Pty::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

Pty::Line Pty::line() const
{
    termios t{};
    ::tcgetattr(m_slave, &t);
    Line line;
    switch (::cfgetospeed(&t)) {
    case B4800: line.baud = 4800; break;
    case B9600: line.baud = 9600; break;
    case B19200: line.baud = 19200; break;
    case B38400: line.baud = 38400; break;
    default: line.baud = 0; break;
    }
    switch (t.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
    }
    line.twoStopBits = t.c_cflag & CSTOPB;
    line.parity = t.c_cflag & PARENB;
    line.oddParity = t.c_cflag & PARODD;
    line.rtsCts = t.c_cflag & CRTSCTS;
    line.xonXoff = t.c_iflag & (IXON | IXOFF);
    return line;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limit.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void spinEventLoop(std::chrono::milliseconds duration)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < duration.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

void pointPort(int number, const QString& devicePath)
{
    settings::open()->setValue(QStringLiteral("COM%1").arg(number), devicePath);
}

} // namespace device_test
