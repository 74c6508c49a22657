#include "app/help_location.h"

#include "app/program_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// The folder of the installed help relative to the installed executable; the build computes it
// from the installation's folders (normally "../share/kvel").
#ifndef KVEL_HELP_DIR_FROM_BIN
#define KVEL_HELP_DIR_FROM_BIN "../share/kvel"
#endif

namespace app {

QString helpFilePath()
{
    return helpFilePath(QCoreApplication::applicationDirPath());
}

QString helpFilePath(const QString& executableDir)
{
    const QDir dir(executableDir);
    const QString beside = QDir::cleanPath(dir.filePath(kHelpFileName));
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed = QDir::cleanPath(
        dir.filePath(QStringLiteral(KVEL_HELP_DIR_FROM_BIN "/") + kHelpFileName));
    if (QFileInfo(installed).isFile())
        return installed;
    return beside;
}

} // namespace app
