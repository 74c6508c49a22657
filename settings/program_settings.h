#pragma once

#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

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

// A flag as stored: the values a program writes for a boolean ("true"/"false", 1/0; the
// registry may hold a number). Anything else, a hand-edited "yes" or "notabool" included, is
// taken as unset and gives `otherwise`.
bool readFlag(const QSettings& values, const QString& key, bool otherwise = false);

// A number as stored ("0.95", and "0,95" as a Russian hand would write it). Anything that is
// not a finite number ("nan", "inf", "1e999", text) is taken as unset.
std::optional<double> readNumber(const QSettings& values, const QString& key);

} // namespace settings
