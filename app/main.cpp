#include "app/command_line.h"
#include "app/instance_channel.h"
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
    // Before Qt looks for it: without a session's runtime folder (cron, su) the channel to a
    // running program gets a private one of ours, and Qt no longer warns that none is set.
    app::prepareProcessRuntimeFolder();

    QApplication application(argc, argv);
    // The installed desktop entry is ru.valdrenor.kvel.desktop: Wayland desktops match the
    // window to it (its name and icon in the task switcher) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("ru.valdrenor.kvel"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const app::CommandLine line =
        app::runCommandLine(QApplication::arguments(), out, err, app::undecodableArguments(argc, argv));
    if (line.exitStatus)
        return *line.exitStatus;

    // A table named while the program already runs goes to that window.
    if (!line.tableToOpen.isEmpty() && app::handToRunningInstance(app::instanceServerName(), line.tableToOpen))
        return 0;

    // Without them the standard buttons would follow the system's language; the program's
    // own texts are Russian, so the buttons are too.
    app::installRussianTranslations(application);

    app::StartupOptions options;
    options.tableToOpen = line.tableToOpen;
    app::Shell shell(options);
    shell.start();
    return QApplication::exec();
}
