#pragma once

#include "settings/program_settings.h"

#include <QString>
#include <QVariant>

#include <map>

namespace device_test {

// The program's values in this run's private settings, as key → text: enough to see that a
// dialog wrote nothing, or exactly what it wrote.
inline std::map<QString, QString> settingsSnapshot()
{
    std::map<QString, QString> values;
    const auto stored = settings::open();
    for (const QString& key : stored->allKeys())
        values[key] = stored->value(key).toString();
    return values;
}

// Forgets every value of the program, as on a computer where it never ran.
inline void clearSettings()
{
    const auto stored = settings::open();
    stored->remove(QString());
    stored->sync();
}

} // namespace device_test
