#include "device/serial_port_driver.h"

#include "device/port_names.h"
#include "device/serial_line.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

namespace device {

std::uint32_t baudRateOf(BaudRateName name) noexcept
{
    switch (name) {
    case BaudRateName::Custom: return 0;
    case BaudRateName::B110: return 110;
    case BaudRateName::B300: return 300;
    case BaudRateName::B600: return 600;
    case BaudRateName::B1200: return 1200;
    case BaudRateName::B2400: return 2400;
    case BaudRateName::B4800: return 4800;
    case BaudRateName::B9600: return 9600;
    case BaudRateName::B14400: return 14400;
    case BaudRateName::B19200: return 19200;
    case BaudRateName::B38400: return 38400;
    case BaudRateName::B56000: return 56000;
    case BaudRateName::B57600: return 57600;
    case BaudRateName::B115200: return 115200;
    case BaudRateName::B128000: return 128000;
    case BaudRateName::B256000: return 256000;
    }
    return 0;
}

namespace {

std::uint32_t clampBufSize(std::uint32_t size)
{
    return std::clamp(size, SerialPortDriver::kMinBufSize, SerialPortDriver::kMaxBufSize);
}

} // namespace

SerialPortDriver::SerialPortDriver(QObject* parent)
    : QObject(parent)
    , m_line(makeSerialLine())
{
    // Here, not in the initialiser list: the size is a member declared after the buffer.
    m_inBuf.reset(new char[m_inBufSize]());
    connect(&m_pollTimer, &QTimer::timeout, this, &SerialPortDriver::pollTick);
    m_line->onGone = [this] { lineGone(); };
}

SerialPortDriver::~SerialPortDriver()
{
    closePort();
}

bool SerialPortDriver::openPort()
{
    if (isOpen())
        return true;
    m_lost = false;
    if (!m_line->open(devicePathForPort(m_portName)))
        return false;
    if (!applyPortSettings()) {
        closePort();
        return false;
    }
    // Reads never block here: each tick hands over whatever has come since the previous one.
    m_pollTimer.start(m_pollingDelay);
    return true;
}

void SerialPortDriver::closePort()
{
    m_pollTimer.stop();
    m_line->close();
    m_lost = false;
}

bool SerialPortDriver::isOpen() const
{
    return m_line->isOpen();
}

bool SerialPortDriver::applyPortSettings()
{
    if (!isOpen())
        return false;
    if (m_baudRateValue == 0 || m_baudRateValue > std::uint32_t(std::numeric_limits<qint32>::max()))
        return false;
    // The instrument's line has no handshake, neither RTS/CTS nor XON/XOFF; RTS stays raised
    // while the port is open.
    if (!m_line->configure({m_baudRateValue, m_dataBits, m_stopBits, m_parity, m_enableDTROnOpen}))
        return false;

    // The queue sizes are not asked of the device: the line's input queue holds more than a
    // poll's worth, so nothing is lost however late a poll comes, and outBufSize bounds what
    // a write may queue (outputRoom).
    return purgePort(true, true);
}

bool SerialPortDriver::purgePort(bool input, bool output)
{
    if (!isOpen())
        return false;
    return m_line->purge(input, output);
}

std::uint16_t SerialPortDriver::outputRoom() const
{
    if (!isOpen())
        return std::numeric_limits<std::uint16_t>::max();
    const std::int64_t waiting = m_line->queuedOutput();
    if (waiting >= std::int64_t(m_outBufSize))
        return 0;
    return std::uint16_t(m_outBufSize - std::uint32_t(waiting));
}

ModemLineSet SerialPortDriver::modemLines() const
{
    if (!isOpen())
        return {};
    return m_line->modemLines();
}

std::size_t SerialPortDriver::writeData(const char* buffer, std::size_t count, std::uint32_t timeoutMs)
{
    if (!isOpen() || m_lost)
        return 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    std::size_t written = 0;
    while (written < count) {
        if (m_lost || !isOpen())
            break;
        const std::uint16_t room = outputRoom();
        if (room > 0) {
            if (m_checkLineStatus && !modemLines())
                break;
            const std::int64_t accepted =
                m_line->write(buffer + written, std::int64_t(std::min<std::size_t>(count - written, room)));
            if (accepted > 0) {
                written += std::size_t(accepted);
                sinceProgress.restart();
                continue;
            }
        }
        // Only time without progress counts: a long write that keeps moving is never cut.
        if (sinceProgress.elapsed() > qint64(timeoutMs))
            break;
        m_line->waitForWritten(int(kWriteSlice.count()));
    }
    return written;
}

bool SerialPortDriver::writeChar(char c)
{
    return writeData(&c, 1, std::uint32_t(kCharTimeout.count())) == 1;
}

void SerialPortDriver::pollTick()
{
    if (!isOpen())
        return;
    const std::int64_t waiting = m_line->available();
    if (waiting <= 0)
        return;
    const std::int64_t got = m_line->read(m_inBuf.get(), std::min<std::int64_t>(waiting, std::int64_t(m_inBufSize)));
    if (got <= 0)
        return;
    // A copy, so that a handler which assigns a new handler does not destroy itself mid-call.
    // The handler may close the port; nothing here touches the port after it.
    if (const ReceiveDataHandler handler = m_onReceiveData)
        handler(this, m_inBuf.get(), std::size_t(got));
}

void SerialPortDriver::lineGone()
{
    // A vanished device reports its error on every pass of the event loop. Closing the port
    // ends that; it happens on the next pass, not inside the line's own notification.
    if (!isOpen() || m_lost)
        return;
    m_lost = true;
    m_pollTimer.stop();
    QMetaObject::invokeMethod(this, [this] {
        if (m_lost)
            closePort();
    }, Qt::QueuedConnection);
}

void SerialPortDriver::settingChanged()
{
    // A line setting changed on an open port takes effect at once (and empties both queues).
    if (isOpen())
        applyPortSettings();
}

void SerialPortDriver::setPort(PortId port)
{
    if (isOpen())
        return;
    m_port = port;
    if (port != PortId::Custom)
        m_portName = QStringLiteral(R"(\\.\COM%1)").arg(int(port));
}

void SerialPortDriver::setPortName(const QString& name)
{
    if (isOpen())
        return;
    m_portName = name;
    m_port = PortId::Custom;
}

void SerialPortDriver::setBaudRate(BaudRateName name)
{
    m_baudRate = name;
    if (name != BaudRateName::Custom)
        m_baudRateValue = baudRateOf(name);
    settingChanged();
}

void SerialPortDriver::setBaudRateValue(std::uint32_t value)
{
    m_baudRateValue = value;
    m_baudRate = BaudRateName::Custom;
    settingChanged();
}

void SerialPortDriver::setDataBits(DataBitsKind bits)
{
    m_dataBits = bits;
    settingChanged();
}

void SerialPortDriver::setStopBits(StopBitsKind bits)
{
    m_stopBits = bits;
    settingChanged();
}

void SerialPortDriver::setParity(ParityKind parity)
{
    m_parity = parity;
    settingChanged();
}

void SerialPortDriver::setInBufSize(std::uint32_t size)
{
    if (isOpen())
        return;
    m_inBufSize = clampBufSize(size);
    m_inBuf.reset(new char[m_inBufSize]());
}

void SerialPortDriver::setOutBufSize(std::uint32_t size)
{
    if (isOpen())
        return;
    m_outBufSize = clampBufSize(size);
}

void SerialPortDriver::setPollingDelay(std::uint16_t ms)
{
    const std::uint16_t delay = std::max(ms, kMinPollingDelay);
    if (delay == m_pollingDelay)
        return;
    m_pollingDelay = delay;
    if (isOpen())
        m_pollTimer.start(m_pollingDelay);
}

} // namespace device
