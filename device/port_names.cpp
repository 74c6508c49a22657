#include "device/port_names.h"

#include "settings/program_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QSerialPortInfo>
#endif
#include <QStringList>

#include <algorithm>

namespace device {

namespace {

const QString kWindowsDevicePrefix = QStringLiteral(R"(\\.\)");

QString comKey(int number)
{
    return QStringLiteral("COM%1").arg(number);
}

// n for "\\.\COMn", 0 for any other name.
int comNumber(const QString& portName)
{
    static const QRegularExpression comName(QStringLiteral(R"(^\\\\\.\\COM([1-9][0-9]*)$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(portName);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// One spelling per device, so that two names of the same port are tried once.
QString deviceKey(const QString& device)
{
#ifdef Q_OS_WIN
    QString name = device;
    if (!name.startsWith(kWindowsDevicePrefix))
        name.prepend(kWindowsDevicePrefix);
    return name.toUpper();
#else
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(device) : canonical;
#endif
}

// ttyS2 before ttyS10, ttyUSB0 after ttyS31: names compare by their stem, then by the number
// they end in.
bool naturalLess(const QString& a, const QString& b)
{
    const auto split = [](const QString& s) {
        qsizetype digits = s.size();
        while (digits > 0 && s.at(digits - 1).isDigit())
            --digits;
        return std::pair{QStringView(s).left(digits), QStringView(s).mid(digits)};
    };
    const auto [stemA, numberA] = split(a);
    const auto [stemB, numberB] = split(b);
    if (const int stems = stemA.compare(stemB); stems != 0)
        return stems < 0;
    if (numberA.size() != numberB.size())
        return numberA.size() < numberB.size();
    return numberA < numberB;
}

} // namespace

QString devicePathForPort(const QString& portName)
{
#ifdef Q_OS_WIN
    return portName;
#else
    const int number = comNumber(portName);
    if (number == 0)
        return portName;
    // The settings are read at every open, so a mapping changed while the program runs takes
    // effect with the next download.
    const QString mapped = settings::open()->value(comKey(number)).toString();
    if (!mapped.isEmpty())
        return mapped;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

PortChoice readPortChoice()
{
    const auto values = settings::open();
    PortChoice choice;
    choice.com1 = values->value(comKey(1)).toString();
    choice.com2 = values->value(comKey(2)).toString();
    choice.searchAllPorts = settings::readFlag(*values, kSearchAllPortsKey);
    return choice;
}

void writePortChoice(const PortChoice& choice)
{
    const auto values = settings::open();
    const QString devices[] = {choice.com1.trimmed(), choice.com2.trimmed()};
    for (int number = 1; number <= 2; ++number) {
        const QString& device = devices[number - 1];
        if (device.isEmpty())
            values->remove(comKey(number));
        else
            values->setValue(comKey(number), device);
    }
    values->setValue(kSearchAllPortsKey, choice.searchAllPorts);
}

QString comDevice(int number, const PortChoice& choice)
{
#ifdef Q_OS_WIN
    Q_UNUSED(choice);
    return kWindowsDevicePrefix + comKey(number);
#else
    // As devicePathForPort reads the settings.
    const QString mapped = number == 1 ? choice.com1 : number == 2 ? choice.com2 : QString();
    if (!mapped.isEmpty())
        return mapped;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString portDisplayName(const QString& portName, const PortChoice& choice)
{
    const int number = comNumber(portName);
#ifdef Q_OS_WIN
    Q_UNUSED(choice);
    if (number > 0)
        return comKey(number);
    return portName.startsWith(kWindowsDevicePrefix) ? portName.mid(kWindowsDevicePrefix.size())
                                                     : portName;
#else
    if (number > 0)
        return QStringLiteral("%1 (%2)").arg(comKey(number), comDevice(number, choice));
    return portName;
#endif
}

QString portChoiceSummary()
{
    const PortChoice choice = readPortChoice();
    QStringList parts;
    for (int number = 1; number <= 2; ++number) {
#ifdef Q_OS_WIN
        parts << comKey(number);
#else
        parts << QStringLiteral("%1 — %2").arg(comKey(number), comDevice(number, choice));
#endif
    }
    if (choice.searchAllPorts)
        parts << QStringLiteral("поиск на всех портах");
    return QStringLiteral("Порт прибора: ") + parts.join(QStringLiteral(", "));
}

std::vector<PresentPort> presentPorts()
{
    std::vector<PresentPort> ports;
#ifdef Q_OS_WIN
    // Every serial port the system has a driver for is a value of this key: the driver's
    // device name ("\\Device\\Serial0") holding the port's name ("COM1").
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            wchar_t valueName[256];
            DWORD valueNameSize = DWORD(std::size(valueName));
            wchar_t data[256];
            DWORD dataSize = sizeof data;
            DWORD type = 0;
            const LONG result = ::RegEnumValueW(key, index, valueName, &valueNameSize, nullptr, &type,
                                                reinterpret_cast<BYTE*>(data), &dataSize);
            if (result == ERROR_NO_MORE_ITEMS)
                break;
            if (result != ERROR_SUCCESS || type != REG_SZ)
                continue;
            QString name = QString::fromWCharArray(data, int(dataSize / sizeof(wchar_t)));
            while (name.endsWith(QChar(0)))
                name.chop(1);
            if (name.isEmpty())
                continue;
            const QString device = QString::fromWCharArray(valueName, int(valueNameSize));
            ports.push_back({kWindowsDevicePrefix + name, name, device, {}, {}});
        }
        ::RegCloseKey(key);
    }
#else
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    ports.reserve(std::size_t(infos.size()));
    for (const QSerialPortInfo& info : infos) {
        ports.push_back({info.systemLocation(), info.portName(), info.description(),
                         info.manufacturer(), info.serialNumber()});
    }
#endif
    std::sort(ports.begin(), ports.end(), [](const PresentPort& a, const PresentPort& b) {
        return naturalLess(a.systemLocation, b.systemLocation);
    });
    return ports;
}

PortSearch portSearch(const PortChoice& choice, const std::vector<PresentPort>& present)
{
    PortSearch search;
    search.allPorts = choice.searchAllPorts;
    QStringList devices;
    for (const QString& com : {DownloadSession::kCom1, DownloadSession::kCom2}) {
        search.ports.push_back({com, portDisplayName(com, choice)});
        devices << deviceKey(comDevice(comNumber(com), choice));
    }
    if (!choice.searchAllPorts)
        return search;
    for (const PresentPort& port : present) {
        if (port.systemLocation.isEmpty())
            continue;
        const QString key = deviceKey(port.systemLocation);
        if (devices.contains(key))
            continue;
        devices << key;
        search.ports.push_back({port.systemLocation, portDisplayName(port.systemLocation, choice)});
    }
    return search;
}

} // namespace device
