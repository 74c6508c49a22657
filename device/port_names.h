#pragma once

#include <QString>

namespace device {

// The device that a port name opens on this platform. On Windows "\\.\COMn" is the system's
// own name and is used as it stands. Elsewhere "\\.\COMn" is looked up in the program's
// settings (group "1.0", value "COMn", e.g. COM1=/dev/ttyUSB0) and falls back to the n-th
// built-in serial port, /dev/ttyS<n-1>. Any other name is taken as a device path.
QString devicePathForPort(const QString& portName);

} // namespace device
