#include "device/serial_line.h"

#include <QElapsedTimer>
#include <QThread>

#include <windows.h>

#include <algorithm>

namespace device {
namespace {

BYTE byteSizeOf(DataBitsKind bits)
{
    switch (bits) {
    case DataBitsKind::Bits5: return 5;
    case DataBitsKind::Bits6: return 6;
    case DataBitsKind::Bits7: return 7;
    case DataBitsKind::Bits8: break;
    }
    return 8;
}

BYTE stopBitsOf(StopBitsKind bits)
{
    switch (bits) {
    case StopBitsKind::One: break;
    case StopBitsKind::OneAndHalf: return ONE5STOPBITS;
    case StopBitsKind::Two: return TWOSTOPBITS;
    }
    return ONESTOPBIT;
}

BYTE parityOf(ParityKind parity)
{
    switch (parity) {
    case ParityKind::None: break;
    case ParityKind::Odd: return ODDPARITY;
    case ParityKind::Even: return EVENPARITY;
    case ParityKind::Mark: return MARKPARITY;
    case ParityKind::Space: return SPACEPARITY;
    }
    return NOPARITY;
}

// Errors with which the system answers for a port whose device has been removed.
bool meansGone(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_OPERATION_ABORTED:
        return true;
    default:
        return false;
    }
}

// A port opened for synchronous calls, with time-outs that make every read return at once
// with what has arrived, and a write return after a short wait with what the driver took.
class Win32SerialLine final : public SerialLine {
public:
    ~Win32SerialLine() override { close(); }

    bool open(const QString& device) override
    {
        close();
        const std::wstring name = device.toStdWString();
        m_handle = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE)
            return false;
        m_gone = false;
        // Room in the driver for a whole answer of the instrument between two polls; the
        // driver may keep its own sizes.
        ::SetupComm(m_handle, 65536, 4096);
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = DWORD(SerialPortDriver::kWriteSlice.count());
        if (!::SetCommTimeouts(m_handle, &timeouts)) {
            close();
            return false;
        }
        return true;
    }

    void close() override
    {
        if (m_handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
        }
    }

    bool isOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }

    bool configure(const LineSettings& s) override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(m_handle, &dcb))
            return false;
        dcb.BaudRate = s.baudRate;
        dcb.ByteSize = byteSizeOf(s.dataBits);
        dcb.StopBits = stopBitsOf(s.stopBits);
        dcb.Parity = parityOf(s.parity);
        dcb.fBinary = TRUE;
        dcb.fParity = s.parity != ParityKind::None;
        // The instrument's line has no handshake, neither RTS/CTS nor XON/XOFF.
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fAbortOnError = FALSE;
        dcb.fDtrControl = s.dataTerminalReady ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        if (!::SetCommState(m_handle, &dcb)) {
            // A port without modem lines (a pseudo-terminal behind Wine, some adapters)
            // refuses them: the line is set without, and the lines as far as it goes.
            dcb.fDtrControl = DTR_CONTROL_DISABLE;
            dcb.fRtsControl = RTS_CONTROL_DISABLE;
            if (!::SetCommState(m_handle, &dcb))
                return false;
            ::EscapeCommFunction(m_handle, s.dataTerminalReady ? SETDTR : CLRDTR);
            ::EscapeCommFunction(m_handle, SETRTS);
        }
        return true;
    }

    bool purge(bool input, bool output) override
    {
        DWORD flags = 0;
        if (input)
            flags |= PURGE_RXABORT | PURGE_RXCLEAR;
        if (output)
            flags |= PURGE_TXABORT | PURGE_TXCLEAR;
        return !flags || ::PurgeComm(m_handle, flags);
    }

    std::int64_t queuedOutput() const override
    {
        COMSTAT status{};
        return const_cast<Win32SerialLine*>(this)->queueStatus(status) ? std::int64_t(status.cbOutQue) : 0;
    }

    ModemLineSet modemLines() const override
    {
        DWORD pins = 0;
        ModemLineSet lines;
        if (!::GetCommModemStatus(m_handle, &pins))
            return lines;
        if (pins & MS_CTS_ON)
            lines |= ModemLine::CTS;
        if (pins & MS_DSR_ON)
            lines |= ModemLine::DSR;
        if (pins & MS_RING_ON)
            lines |= ModemLine::RING;
        if (pins & MS_RLSD_ON)
            lines |= ModemLine::RLSD;
        return lines;
    }

    std::int64_t write(const char* data, std::int64_t size) override
    {
        DWORD written = 0;
        if (!::WriteFile(m_handle, data, DWORD(std::min<std::int64_t>(size, MAXDWORD)), &written, nullptr)) {
            failed(::GetLastError());
            return written > 0 ? std::int64_t(written) : -1;
        }
        return std::int64_t(written);
    }

    void waitForWritten(int ms) override
    {
        QElapsedTimer waited;
        waited.start();
        COMSTAT status{};
        while (queueStatus(status) && status.cbOutQue > 0 && waited.elapsed() < ms)
            QThread::msleep(1);
    }

    std::int64_t available() override
    {
        COMSTAT status{};
        return queueStatus(status) ? std::int64_t(status.cbInQue) : 0;
    }

    std::int64_t read(char* into, std::int64_t size) override
    {
        DWORD got = 0;
        if (!::ReadFile(m_handle, into, DWORD(std::min<std::int64_t>(size, MAXDWORD)), &got, nullptr)) {
            failed(::GetLastError());
            return -1;
        }
        return std::int64_t(got);
    }

private:
    // The queues' state; line errors (overrun, framing) are cleared on the way, as the
    // download checks its frames itself.
    bool queueStatus(COMSTAT& status)
    {
        DWORD errors = 0;
        if (!isOpen())
            return false;
        if (::ClearCommError(m_handle, &errors, &status))
            return true;
        failed(::GetLastError());
        return false;
    }

    void failed(DWORD error)
    {
        if (m_gone || !meansGone(error))
            return;
        m_gone = true;
        if (onGone)
            onGone();
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_gone = false;
};

} // namespace

std::unique_ptr<SerialLine> makeSerialLine()
{
    return std::make_unique<Win32SerialLine>();
}

} // namespace device
