#pragma once

#include <QFlags>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// POSIX <termios.h> defines B110 … B256000 as macros, which would turn the speed names below
// into numbers: keep it out of every file that includes this one.
#if defined(B9600)
#error "<termios.h> must not be included together with serial_port_driver.h"
#endif

namespace device {

enum class PortId {
    Custom, Com1, Com2, Com3, Com4, Com5, Com6, Com7, Com8,
    Com9, Com10, Com11, Com12, Com13, Com14, Com15, Com16,
};

enum class BaudRateName {
    Custom, B110, B300, B600, B1200, B2400, B4800, B9600, B14400,
    B19200, B38400, B56000, B57600, B115200, B128000, B256000,
};

enum class DataBitsKind { Bits5, Bits6, Bits7, Bits8 };
enum class StopBitsKind { One, OneAndHalf, Two };
enum class ParityKind { None, Odd, Even, Mark, Space };

enum class ModemLine { CTS = 0x1, DSR = 0x2, RING = 0x4, RLSD = 0x8 };
Q_DECLARE_FLAGS(ModemLineSet, ModemLine)
Q_DECLARE_OPERATORS_FOR_FLAGS(ModemLineSet)

class SerialLine;
class SerialPortDriver;
using ReceiveDataHandler =
    std::function<void(SerialPortDriver* sender, const char* data, std::size_t size)>;

// Bits per second that a speed name stands for; 0 for BaudRateName::Custom.
std::uint32_t baudRateOf(BaudRateName name) noexcept;

// One serial port: opened by name with a set of line settings, polled on a timer of the
// thread that created it, every batch of received characters handed to onReceiveData, and
// characters written with an inactivity time-out. Everything runs on that one thread.
class SerialPortDriver : public QObject {
    Q_OBJECT
public:
    static constexpr std::uint32_t kMinBufSize = 128;
    static constexpr std::uint32_t kMaxBufSize = 8192;
    static constexpr std::uint16_t kMinPollingDelay = 5;
    // How long one pass of a stalled write waits for the device to take characters.
    static constexpr std::chrono::milliseconds kWriteSlice{10};
    // How long writeChar waits for room in the output queue.
    static constexpr std::chrono::milliseconds kCharTimeout{500};

    explicit SerialPortDriver(QObject* parent = nullptr);
    ~SerialPortDriver() override;

    bool openPort();
    void closePort();
    bool isOpen() const;
    bool applyPortSettings();
    bool purgePort(bool input, bool output);
    std::uint16_t outputRoom() const;
    ModemLineSet modemLines() const;
    std::size_t writeData(const char* buffer, std::size_t count, std::uint32_t timeoutMs);
    bool writeChar(char c);
    void pollTick();

    PortId port() const { return m_port; }
    void setPort(PortId port);
    const QString& portName() const { return m_portName; }
    void setPortName(const QString& name);
    BaudRateName baudRate() const { return m_baudRate; }
    void setBaudRate(BaudRateName name);
    std::uint32_t baudRateValue() const { return m_baudRateValue; }
    void setBaudRateValue(std::uint32_t value);
    DataBitsKind dataBits() const { return m_dataBits; }
    void setDataBits(DataBitsKind bits);
    StopBitsKind stopBits() const { return m_stopBits; }
    void setStopBits(StopBitsKind bits);
    ParityKind parity() const { return m_parity; }
    void setParity(ParityKind parity);
    std::uint32_t inBufSize() const { return m_inBufSize; }
    void setInBufSize(std::uint32_t size);
    std::uint32_t outBufSize() const { return m_outBufSize; }
    void setOutBufSize(std::uint32_t size);
    std::uint16_t pollingDelay() const { return m_pollingDelay; }
    void setPollingDelay(std::uint16_t ms);
    bool enableDTROnOpen() const { return m_enableDTROnOpen; }
    void setEnableDTROnOpen(bool on) { m_enableDTROnOpen = on; }
    bool checkLineStatus() const { return m_checkLineStatus; }
    void setCheckLineStatus(bool on) { m_checkLineStatus = on; }
    const ReceiveDataHandler& onReceiveData() const { return m_onReceiveData; }
    void setOnReceiveData(ReceiveDataHandler handler) { m_onReceiveData = std::move(handler); }

private:
    void settingChanged();
    void lineGone();

    std::unique_ptr<SerialLine> m_line;
    QTimer m_pollTimer;
    std::unique_ptr<char[]> m_inBuf;
    // Set when the device went away under an open port (adapter unplugged): the port is
    // closed on the next pass of the event loop, and writes stop at once.
    bool m_lost = false;

    PortId m_port = PortId::Com2;
    QString m_portName = QStringLiteral(R"(\\.\COM2)");
    BaudRateName m_baudRate = BaudRateName::B9600;
    std::uint32_t m_baudRateValue = 9600;
    DataBitsKind m_dataBits = DataBitsKind::Bits8;
    StopBitsKind m_stopBits = StopBitsKind::One;
    ParityKind m_parity = ParityKind::None;
    std::uint32_t m_inBufSize = 2048;
    std::uint32_t m_outBufSize = 2048;
    std::uint16_t m_pollingDelay = 50;
    bool m_enableDTROnOpen = true;
    bool m_checkLineStatus = false;
    ReceiveDataHandler m_onReceiveData;
};

} // namespace device
