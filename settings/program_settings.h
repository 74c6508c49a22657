#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace settings {

// The program's settings key: organisation "Valdrenor", application "KVEL", group "1.0", in
// the default format (the registry on Windows, an INI-style file elsewhere; tests switch the
// default to INI files in a private folder).
inline const QString kOrganization = QStringLiteral("Valdrenor");
inline const QString kApplication = QStringLiteral("KVEL");
inline const QString kGroup = QStringLiteral("1.0");

// The program's settings, already inside the group "1.0": keys are the bare value names
// ("Default_dir", "Table_1", "COM1"…). Every part of the program reads and writes its values
// through one of these.
std::unique_ptr<QSettings> open();

} // namespace settings
