#include "device/port_names.h"

#include "settings/program_settings.h"

#include <QRegularExpression>

namespace device {

QString devicePathForPort(const QString& portName)
{
#ifdef Q_OS_WIN
    return portName;
#else
    static const QRegularExpression comName(QStringLiteral(R"(^\\\\\.\\COM([1-9][0-9]*)$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(portName);
    if (!match.hasMatch())
        return portName;
    const int number = match.captured(1).toInt();
    // The settings are read at every open, so a mapping changed while the program runs takes
    // effect with the next download.
    const QString mapped = settings::open()->value(QStringLiteral("COM%1").arg(number)).toString();
    if (!mapped.isEmpty())
        return mapped;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

} // namespace device
