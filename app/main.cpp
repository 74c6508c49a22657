// The program's launcher. Batch work that draws nothing (help, the version, the exports) runs
// here on Qt's core alone; everything else (the window, the report as a PDF) is in the part
// of the program that links Qt's GUI, which is loaded only then (window_part.cpp). Starting
// the GUI libraries costs several times what the batch work of a small table does.

#include "app/command_line.h"

#include "platform/file_io.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QString>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

using WindowMain = int (*)(int*, char**);

// Where the part with the window lies: beside the program (the build, and Windows), or where
// the installation keeps the program's libraries, relative to the program's folder.
QStringList windowPartCandidates()
{
    const QString program = QString::fromUtf8(platform::executablePath().c_str());
    const QString folder = program.isEmpty() ? QDir::currentPath() : QFileInfo(program).absolutePath();
    const QString name = QStringLiteral(KVEL_WINDOW_PART_NAME);
    QStringList candidates{QDir(folder).filePath(name)};
    const QString installed = QDir::cleanPath(QDir(folder).filePath(QStringLiteral(KVEL_WINDOW_PART_FROM_BIN)));
    if (installed != QDir::cleanPath(folder))
        candidates << QDir(installed).filePath(name);
    return candidates;
}

void tellMissingPart(const QString& why)
{
    const QString text = QStringLiteral("Не удалось загрузить часть программы «%1»: %2\n"
                                        "Переустановите программу.")
                             .arg(QStringLiteral(KVEL_WINDOW_PART_NAME), why);
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
#ifdef Q_OS_WIN
    // A program started from the desktop has no console to read it on.
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.utf16()), L"Ошибка", MB_OK | MB_ICONERROR);
#endif
}

int runWindowPart(int& argc, char** argv)
{
    QString why;
    for (const QString& candidate : windowPartCandidates()) {
        if (!QFile::exists(candidate)) {
            why = QStringLiteral("файл не найден");
            continue;
        }
        // Loaded for the rest of the process: the library is never unloaded.
        QLibrary part(candidate);
        if (!part.load()) {
            why = part.errorString();
            break;
        }
        if (const auto windowMain = reinterpret_cast<WindowMain>(part.resolve("kvelWindowMain")))
            return windowMain(&argc, argv);
        why = part.errorString();
        break;
    }
    tellMissingPart(why);
    return 1;
}

#ifdef Q_OS_WIN
// A program of the Windows subsystem starts without a console, so what the command line
// writes would go nowhere. Started from a console, it writes into that console, in UTF-8 (the
// console's own code page would garble Cyrillic); output sent to a file or a pipe stays there.
void useParentConsole()
{
    const auto redirected = [](DWORD which) { return GetFileType(GetStdHandle(which)) != FILE_TYPE_UNKNOWN; };
    const bool out = redirected(STD_OUTPUT_HANDLE);
    const bool err = redirected(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
    SetConsoleOutputCP(CP_UTF8);
}
#endif

} // namespace

int main(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    if (!app::opensWindow(argc, argv))
        useParentConsole();
#endif
    if (!app::opensWindow(argc, argv) && app::needsOnlyCore(argc, argv)) {
        // The part with the window gets argv as it was given.
        int coreArgc = argc;
        QCoreApplication application(coreArgc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        const app::CommandLine line =
            app::runCommandLine(QCoreApplication::arguments(), out, err, app::undecodableArguments(argc, argv));
        if (line.exitStatus)
            return *line.exitStatus;
    }
    return runWindowPart(argc, argv);
}
