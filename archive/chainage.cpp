#include "archive/chainage.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace archive {

QString chainageText(double metres)
{
    // To the decimetre first, so that 1299.96 m reads "ПК 13+00,0", never "ПК 12+100,0".
    const double tenths = std::round(metres * 10.0);
    const double picket = std::floor(tenths / 1000.0);
    const double rest = (tenths - picket * 1000.0) / 10.0;
    QString plus = QString::number(rest, 'f', 1);
    plus.replace(QLatin1Char('.'), QLatin1Char(','));
    if (rest < 10.0)
        plus.prepend(QLatin1Char('0'));
    return QStringLiteral("ПК %1+%2").arg(QString::number(picket, 'f', 0), plus);
}

std::optional<double> parseChainage(const QString& text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    static const QRegularExpression picket(QStringLiteral("^(?:ПК|пк|Пк|PK|pk)?\\s*(-?\\d+)\\s*\\+\\s*(\\d+(?:\\.\\d*)?)$"));
    const QRegularExpressionMatch m = picket.match(t);
    if (m.hasMatch()) {
        const double hundreds = m.captured(1).toDouble();
        const double rest = m.captured(2).toDouble();
        if (rest >= 100.0)
            return std::nullopt;
        return hundreds * 100.0 + rest;
    }
    bool ok = false;
    const double metres = t.toDouble(&ok);
    if (ok && std::isfinite(metres))
        return metres;
    return std::nullopt;
}

} // namespace archive
