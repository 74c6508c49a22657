#include "app/command_line.h"
#include "app/shell.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Options are batch work, help or a mistake: none of them needs a screen, so they run
    // offscreen unless told otherwise (also on a machine without a display).
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const app::CommandLine line = app::runCommandLine(QApplication::arguments(), out, err);
    if (line.exitStatus)
        return *line.exitStatus;

    // Without them the standard buttons would follow the system's language; the program's
    // own texts are Russian, so the buttons are too.
    app::installRussianTranslations(application);

    app::StartupOptions options;
    options.tableToOpen = line.tableToOpen;
    app::Shell shell(options);
    shell.start();
    return QApplication::exec();
}
