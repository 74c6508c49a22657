#pragma once

#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace device_test {

// A pseudo-terminal for the driver to open: the test writes to and reads from `master` as
// the instrument would, and holds a `slave` descriptor of its own, as a line that stays
// connected while the driver closes and reopens it.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const QString& path() const { return m_path; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }

    void write(const std::string& chars);
    std::string readAvailable();          // what the driver wrote, without waiting
    std::size_t waitingForDriver() const; // characters not yet taken from the line
    void hangUp();                        // the device goes away

    // The line as the driver set it up (read back from the terminal).
    struct Line {
        unsigned baud = 0;
        int dataBits = 0;
        bool twoStopBits = false;
        bool parity = false;
        bool oddParity = false;
        bool rtsCts = false;
        bool xonXoff = false;
    };
    Line line() const;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
};

// Runs the event loop until `done` holds. Returns false if it still does not after
// `limit`: a guard against hanging, not a measure of speed.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));

// Runs the event loop for a while, for checks that something does *not* happen.
void spinEventLoop(std::chrono::milliseconds duration);

// Points the program's "\\.\COM<number>" at a device, in this run's private settings.
void pointPort(int number, const QString& devicePath);

} // namespace device_test
