#pragma once

// The system's side of one serial port, under SerialPortDriver: Qt SerialPort on Linux, the
// Win32 communications API on Windows (Qt SerialPort cannot be built for Windows here). The
// driver keeps every rule of the download (time-outs, buffer sizes, polling); a line only
// opens, sets, reads and writes, and never blocks longer than it is asked to.

#include "device/serial_port_driver.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace device {

struct LineSettings {
    std::uint32_t baudRate = 9600;
    DataBitsKind dataBits = DataBitsKind::Bits8;
    StopBitsKind stopBits = StopBitsKind::One;
    ParityKind parity = ParityKind::None;
    // DTR raised while the port is open; RTS always is. No handshake of either kind.
    bool dataTerminalReady = true;
};

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // `device` is what the system opens: "/dev/ttyUSB0", "\\.\COM5".
    virtual bool open(const QString& device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The line's speed and framing. The modem lines are set as well as the device allows:
    // pseudo-terminals and some USB adapters have none, which does not make the line unusable.
    virtual bool configure(const LineSettings& settings) = 0;
    virtual bool purge(bool input, bool output) = 0;
    // Characters written but not yet sent.
    virtual std::int64_t queuedOutput() const = 0;
    virtual ModemLineSet modemLines() const = 0;
    // Takes what the line accepts now, without waiting; the count taken, -1 on an error.
    virtual std::int64_t write(const char* data, std::int64_t size) = 0;
    // Waits at most `ms` for queued characters to leave.
    virtual void waitForWritten(int ms) = 0;
    // Characters received and not read yet; reading never waits for more.
    virtual std::int64_t available() = 0;
    virtual std::int64_t read(char* into, std::int64_t size) = 0;

    // Called when the device went away under the open port (adapter unplugged).
    std::function<void()> onGone;
};

// The line of this platform, used on the thread that makes it.
std::unique_ptr<SerialLine> makeSerialLine();

} // namespace device
