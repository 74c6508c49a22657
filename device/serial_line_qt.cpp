#include "device/serial_line.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace device {
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
    Q_UNUSED(port);
    return true;
#endif
}

class QtSerialLine final : public SerialLine {
public:
    QtSerialLine()
    {
        // A device that vanished under an open port (adapter unplugged, the other end of a
        // pseudo-terminal gone) reports a read or resource error on every pass of the event
        // loop. The same errors also stand for passing conditions (a full output buffer reads
        // as a resource error), so the device itself is asked whether it is gone.
        QObject::connect(&m_serial, &QSerialPort::errorOccurred, &m_serial, [this](QSerialPort::SerialPortError error) {
            if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
                return;
            if (m_serial.isOpen() && deviceGone(m_serial) && onGone)
                onGone();
        });
    }

    bool open(const QString& device) override
    {
        m_serial.setPortName(device);
        return m_serial.open(QIODevice::ReadWrite);
    }
    void close() override
    {
        if (m_serial.isOpen())
            m_serial.close();
    }
    bool isOpen() const override { return m_serial.isOpen(); }

    bool configure(const LineSettings& s) override
    {
        const bool lineAccepted = m_serial.setBaudRate(qint32(s.baudRate)) && m_serial.setDataBits(toQt(s.dataBits))
            && m_serial.setParity(toQt(s.parity)) && m_serial.setStopBits(toQt(s.stopBits))
            && m_serial.setFlowControl(QSerialPort::NoFlowControl);
        if (!lineAccepted)
            return false;
        m_serial.setDataTerminalReady(s.dataTerminalReady);
        m_serial.setRequestToSend(true);
        m_serial.clearError();
        return true;
    }

    bool purge(bool input, bool output) override
    {
        QSerialPort::Directions directions;
        if (input)
            directions |= QSerialPort::Input;
        if (output)
            directions |= QSerialPort::Output;
        return !directions || m_serial.clear(directions);
    }

    std::int64_t queuedOutput() const override { return m_serial.bytesToWrite(); }

    ModemLineSet modemLines() const override
    {
        // A device without modem lines answers with none set: the query's failure reads as
        // "no line active".
        const QSerialPort::PinoutSignals pins = const_cast<QSerialPort&>(m_serial).pinoutSignals();
        ModemLineSet lines;
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

    std::int64_t write(const char* data, std::int64_t size) override
    {
        const qint64 accepted = m_serial.write(data, size);
        // Hand the characters to the device now, without waiting for the event loop.
        if (accepted > 0)
            m_serial.flush();
        return accepted;
    }

    void waitForWritten(int ms) override { m_serial.waitForBytesWritten(ms); }

    // QSerialPort collects what arrives on the event loop, in a buffer that grows as needed.
    std::int64_t available() override { return m_serial.bytesAvailable(); }
    std::int64_t read(char* into, std::int64_t size) override { return m_serial.read(into, size); }

private:
    QSerialPort m_serial;
};

} // namespace

std::unique_ptr<SerialLine> makeSerialLine()
{
    return std::make_unique<QtSerialLine>();
}

} // namespace device
