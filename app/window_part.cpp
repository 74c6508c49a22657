#include "app/command_line.h"
#include "app/instance_channel.h"
#include "app/print_commands.h"
#include "app/shell.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <vector>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

#ifndef Q_OS_WIN
// What Qt's GUI says when it looks into the runtime folder of a session that has none.
QtMessageHandler passedOn = nullptr;
void dropRuntimeFolderWarning(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (!text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        passedOn(type, context, text);
}
#endif

// Qt's GUI looks for "flatpak-info" in the runtime folder as it starts, whatever the platform,
// and without XDG_RUNTIME_DIR (cron) it warns on standard error and makes a folder of its own
// under the temporary folder. Batch work uses no runtime folder: it says nothing about one and
// leaves none behind.
std::unique_ptr<QCoreApplication> batchGuiApplication(int& argc, char* argv[])
{
#ifdef Q_OS_WIN
    return std::make_unique<QApplication>(argc, argv);
#else
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return std::make_unique<QApplication>(argc, argv);
    // Where Qt makes it: the temporary folder, "runtime-" and the user's name.
    const passwd* user = ::getpwuid(::geteuid());
    const QString folder = QDir::tempPath() + QStringLiteral("/runtime-")
        + (user ? QFile::decodeName(user->pw_name) : QString::number(::geteuid()));
    const bool existed = QFileInfo::exists(folder);
    passedOn = qInstallMessageHandler(dropRuntimeFolderWarning);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(passedOn);
    // Qt made it empty, for nothing; one that was there is somebody else's business.
    if (!existed)
        QDir().rmdir(folder);
    return application;
#endif
}

std::unique_ptr<QCoreApplication> windowApplication(int& argc, char* argv[])
{
    // Before Qt looks for it: without a session's runtime folder (cron, su) the channel to a
    // running program gets a private one of ours, and Qt no longer warns that none is set.
    app::prepareProcessRuntimeFolder();
    auto application = std::make_unique<QApplication>(argc, argv);
    // The installed desktop entry is ru.valdrenor.kvel.desktop: Wayland desktops match the
    // window to it (its name and icon in the task switcher) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("ru.valdrenor.kvel"));
    return application;
}

} // namespace

// The program's entry when it needs Qt's GUI: the window, the report as a PDF, and a command
// line with options of Qt's own. The launcher (main.cpp) loads this part only then.
extern "C" Q_DECL_EXPORT int kvelWindowMain(int* argcPointer, char** argv)
{
    int& argc = *argcPointer;
    // QApplication takes its own options out of argv; the window below may need them again.
    const int givenArgc = argc;
    const std::vector<char*> givenArgv(argv, argv + argc + 1);
    const bool window = app::opensWindow(argc, argv);
    bool offscreen = false;
    std::unique_ptr<QCoreApplication> application;
    if (window) {
        application = windowApplication(argc, argv);
    } else if (app::needsOnlyCore(argc, argv)) {
        application = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        // Batch work needs no screen: offscreen, also on a machine without a display. Not on
        // Windows, whose own platform needs no screen either and alone knows the system's
        // fonts (the offscreen one has none there: a report would have no text).
#ifdef Q_OS_WIN
        offscreen = false;
#else
        offscreen = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#endif
        if (offscreen)
            qputenv("QT_QPA_PLATFORM", "offscreen");
        application = batchGuiApplication(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    const app::CommandLine line = app::runCommandLine(QCoreApplication::arguments(), out, err,
                                                      app::undecodableArguments(argc, argv), app::printReportPdf);
    if (line.exitStatus)
        return *line.exitStatus;
    // The parser found a table to open where opensWindow saw none: the window after all.
    // (Only a command line with Qt's own options gets here: "kvel -platform xcb site.db".)
    if (!window) {
        application.reset();
        if (offscreen)
            qunsetenv("QT_QPA_PLATFORM");
        argc = givenArgc;
        std::copy(givenArgv.begin(), givenArgv.end(), argv);
        application = windowApplication(argc, argv);
    }

    // A table named while the program already runs goes to that window.
    if (!line.tableToOpen.isEmpty() && app::handToRunningInstance(app::instanceServerName(), line.tableToOpen))
        return 0;

    // Without them the standard buttons would follow the system's language; the program's
    // own texts are Russian, so the buttons are too.
    app::installRussianTranslations(*application);

    app::StartupOptions options;
    options.tableToOpen = line.tableToOpen;
    app::Shell shell(options);
    shell.start();
    return QApplication::exec();
}
