#include "device/serial_port_driver.h"

#include "device/port_names.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

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

QSerialPort::DataBits toQt(DataBitsKind bits)
{
    switch (bits) {
    case DataBitsKind::Bits5: return QSerialPort::Data5;
    case DataBitsKind::Bits6: return QSerialPort::Data6;
    case DataBitsKind::Bits7: return QSerialPort::Data7;
    case DataBitsKind::Bits8: break;
    }
    return QSerialPort::Data8;
}

QSerialPort::StopBits toQt(StopBitsKind bits)
{
    switch (bits) {
    case StopBitsKind::One: break;
    case StopBitsKind::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case StopBitsKind::Two: return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

QSerialPort::Parity toQt(ParityKind parity)
{
    switch (parity) {
    case ParityKind::None: break;
    case ParityKind::Odd: return QSerialPort::OddParity;
    case ParityKind::Even: return QSerialPort::EvenParity;
    case ParityKind::Mark: return QSerialPort::MarkParity;
    case ParityKind::Space: return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

// Whether the device under an open port has hung up or gone away.
bool deviceGone(QSerialPort& port)
{
#ifdef Q_OS_UNIX
    pollfd probe{int(port.handle()), POLLIN, 0};
    if (::poll(&probe, 1, 0) < 0)
        return false;
    return probe.revents & (POLLHUP | POLLERR | POLLNVAL);
#else
    // Windows reports these errors only for a device that has been removed.
    Q_UNUSED(port);
    return true;
#endif
}

std::uint32_t clampBufSize(std::uint32_t size)
{
    return std::clamp(size, SerialPortDriver::kMinBufSize, SerialPortDriver::kMaxBufSize);
}

} // namespace

SerialPortDriver::SerialPortDriver(QObject* parent)
    : QObject(parent)
{
    // Here, not in the initialiser list: the size is a member declared after the buffer.
    m_inBuf.reset(new char[m_inBufSize]());
    connect(&m_pollTimer, &QTimer::timeout, this, &SerialPortDriver::pollTick);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &SerialPortDriver::onPortError);
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
    m_serial.setPortName(devicePathForPort(m_portName));
    if (!m_serial.open(QIODevice::ReadWrite))
        return false;
    if (!applyPortSettings()) {
        closePort();
        return false;
    }
    // Reads never block here: QSerialPort collects what arrives on the event loop, and each
    // tick hands over whatever has come since the previous one.
    m_pollTimer.start(m_pollingDelay);
    return true;
}

void SerialPortDriver::closePort()
{
    m_pollTimer.stop();
    if (m_serial.isOpen())
        m_serial.close();
    m_lost = false;
}

bool SerialPortDriver::isOpen() const
{
    return m_serial.isOpen();
}

bool SerialPortDriver::applyPortSettings()
{
    if (!isOpen())
        return false;
    if (m_baudRateValue == 0 || m_baudRateValue > std::uint32_t(std::numeric_limits<qint32>::max()))
        return false;
    // The instrument's line has no handshake, neither RTS/CTS nor XON/XOFF.
    const bool lineAccepted = m_serial.setBaudRate(qint32(m_baudRateValue))
        && m_serial.setDataBits(toQt(m_dataBits)) && m_serial.setParity(toQt(m_parity))
        && m_serial.setStopBits(toQt(m_stopBits)) && m_serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!lineAccepted)
        return false;

    // The modem lines are set as well as the device allows. Pseudo-terminals and some USB
    // adapters have none to set; that does not make the line itself unusable.
    // RTS stays raised while the port is open.
    m_serial.setDataTerminalReady(m_enableDTROnOpen);
    m_serial.setRequestToSend(true);
    m_serial.clearError();

    // The queue sizes are not asked of the device: QSerialPort's own input buffer grows as
    // needed, so nothing is lost however late a poll comes, and outBufSize bounds what a
    // write may queue (outputRoom).
    return purgePort(true, true);
}

bool SerialPortDriver::purgePort(bool input, bool output)
{
    if (!isOpen())
        return false;
    QSerialPort::Directions directions;
    if (input)
        directions |= QSerialPort::Input;
    if (output)
        directions |= QSerialPort::Output;
    if (!directions)
        return true;
    return m_serial.clear(directions);
}

std::uint16_t SerialPortDriver::outputRoom() const
{
    if (!isOpen())
        return std::numeric_limits<std::uint16_t>::max();
    const qint64 waiting = m_serial.bytesToWrite();
    if (waiting >= qint64(m_outBufSize))
        return 0;
    return std::uint16_t(m_outBufSize - std::uint32_t(waiting));
}

ModemLineSet SerialPortDriver::modemLines() const
{
    ModemLineSet lines;
    if (!isOpen())
        return lines;
    // A device without modem lines answers with none set: the query's failure reads as
    // "no line active", as it should for checkLineStatus.
    const QSerialPort::PinoutSignals pins = const_cast<QSerialPort&>(m_serial).pinoutSignals();
    if (pins & QSerialPort::ClearToSendSignal)
        lines |= ModemLine::CTS;
    if (pins & QSerialPort::DataSetReadySignal)
        lines |= ModemLine::DSR;
    if (pins & QSerialPort::RingIndicatorSignal)
        lines |= ModemLine::RING;
    if (pins & QSerialPort::DataCarrierDetectSignal)
        lines |= ModemLine::RLSD;
    return lines;
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
            const qint64 accepted =
                m_serial.write(buffer + written, qint64(std::min<std::size_t>(count - written, room)));
            if (accepted > 0) {
                written += std::size_t(accepted);
                sinceProgress.restart();
                // Hand the characters to the device now, without waiting for the event loop.
                m_serial.flush();
                continue;
            }
        }
        // Only time without progress counts: a long write that keeps moving is never cut.
        if (sinceProgress.elapsed() > qint64(timeoutMs))
            break;
        m_serial.waitForBytesWritten(int(kWriteSlice.count()));
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
    const qint64 waiting = m_serial.bytesAvailable();
    if (waiting <= 0)
        return;
    const qint64 got = m_serial.read(m_inBuf.get(), std::min<qint64>(waiting, qint64(m_inBufSize)));
    if (got <= 0)
        return;
    // A copy, so that a handler which assigns a new handler does not destroy itself mid-call.
    // The handler may close the port; nothing here touches the port after it.
    if (const ReceiveDataHandler handler = m_onReceiveData)
        handler(this, m_inBuf.get(), std::size_t(got));
}

void SerialPortDriver::onPortError(QSerialPort::SerialPortError error)
{
    // A device that vanished under an open port (adapter unplugged, the other end of a
    // pseudo-terminal gone) reports a read or resource error on every pass of the event loop.
    // Closing it ends that storm; it happens on the next pass, not inside QSerialPort's own
    // notification, which still uses the notifier that closing would delete. The same errors
    // also stand for passing conditions (a full output buffer reads as a resource error), so
    // the device itself is asked whether it is gone.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!isOpen() || m_lost || !deviceGone(m_serial))
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
