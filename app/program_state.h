#pragma once

#include "device/download_results.h"

#include <QString>

namespace app {

// The main window's caption whenever no table is open.
inline const QString kCaption = QStringLiteral("ВРТ - ТК5");
// The application title set at start-up (two blanks before the hyphen); the table commands
// replace it with the table's name, and Close with kCaption.
inline const QString kStartTitle = QStringLiteral("ВРТ  - ТК5");
// The help document's file name; helpFilePath() (app/help_location.h) says where it is:
// beside the executable, or in the installation's share/kvel.
inline const QString kHelpFileName = QStringLiteral("kvel.html");

// Values that live as long as the program and belong to no single window.
struct ProgramState {
    QString title;     // the application title
    QString helpFile;  // full path of the help document; empty when none was found
    device::DownloadResults download; // what the last download left
};

} // namespace app
