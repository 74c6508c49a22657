#pragma once

#include "device/download_session.h"

#include <QString>

#include <functional>
#include <vector>

namespace device {

// The device that a port name opens on this platform. On Windows "\\.\COMn" is the system's
// own name and is used as it stands. Elsewhere "\\.\COMn" is looked up in the program's
// settings (group "1.0", value "COMn", e.g. COM1=/dev/ttyUSB0) and falls back to the n-th
// built-in serial port, /dev/ttyS<n-1>. Any other name is taken as a device path.
QString devicePathForPort(const QString& portName);

// Settings values of the port choice, beside "COM1" and "COM2".
inline const QString kSearchAllPortsKey = QStringLiteral("SearchAllPorts");

// What the user chose for the instrument's port, as the settings hold it. An empty device
// means the built-in default (/dev/ttyS0 for COM1, /dev/ttyS1 for COM2); on Windows the two
// devices are not used, "\\.\COM1" and "\\.\COM2" being the system's own ports there.
struct PortChoice {
    QString com1;                // value "COM1"
    QString com2;                // value "COM2"
    bool searchAllPorts = false; // value "SearchAllPorts": after COM1 and COM2, every other port

    friend bool operator==(const PortChoice&, const PortChoice&) = default;
};

PortChoice readPortChoice();
// An empty device removes its value, so that the default applies again.
void writePortChoice(const PortChoice& choice);

// The device that "\\.\COM<number>" opens under a given choice (see devicePathForPort).
QString comDevice(int number, const PortChoice& choice);

// A port name as the user knows it: "COM1 (/dev/ttyUSB0)" for "\\.\COM1" mapped there, the
// device path for any other name; on Windows "COM1" and "COM5" for "\\.\COM1" and "\\.\COM5".
QString portDisplayName(const QString& portName, const PortChoice& choice);

// One line for a start page, e.g. "Порт прибора: COM1 — /dev/ttyUSB0, COM2 — /dev/ttyS1" or,
// with the search, "…, поиск на всех портах". Reads the settings.
QString portChoiceSummary();

// A serial port present on this computer.
struct PresentPort {
    QString systemLocation; // what opens it: "/dev/ttyUSB0", "\\.\COM5"
    QString portName;       // "ttyUSB0", "COM5"
    QString description;
    QString manufacturer;
    QString serialNumber;

    friend bool operator==(const PresentPort&, const PresentPort&) = default;
};

// Lists the ports present. The program's own lister asks the system; tests hand in their
// own list (pseudo-terminals are not serial ports to the system).
using PortLister = std::function<std::vector<PresentPort>()>;

// The ports the system knows, in natural order of their names (ttyS2 before ttyS10).
std::vector<PresentPort> presentPorts();

// The ports a download tries under a choice: "\\.\COM1", "\\.\COM2" and, with the search on,
// every port of `present` whose device is neither theirs nor one already listed (a link
// such as /dev/serial/by-id/… counts as the device it points to).
PortSearch portSearch(const PortChoice& choice, const std::vector<PresentPort>& present);

} // namespace device
