#include "settings/program_settings.h"

#include <cmath>

namespace settings {

std::unique_ptr<QSettings> open()
{
    auto values = std::make_unique<QSettings>(QSettings::defaultFormat(), QSettings::UserScope,
                                              kOrganization, kApplication);
    values->beginGroup(kGroup);
    return values;
}

bool readFlag(const QSettings& values, const QString& key, bool otherwise)
{
    const QVariant stored = values.value(key);
    if (!stored.isValid())
        return otherwise;
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    const QString text = stored.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return otherwise;
}

std::optional<double> readNumber(const QSettings& values, const QString& key)
{
    const QVariant stored = values.value(key);
    if (!stored.isValid())
        return std::nullopt;
    QString text = stored.toString().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace settings
