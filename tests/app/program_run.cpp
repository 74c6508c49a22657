#include "program_run.h"

#include "table_command_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <memory>

namespace kvel_test {
namespace {

QTemporaryDir& configFolder()
{
    static QTemporaryDir folder;
    return folder;
}

QProcessEnvironment programEnvironment(const QString& language)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder().path());
    // The user's own archive is never reached either.
    env.insert(QStringLiteral("XDG_DATA_HOME"), configFolder().filePath(QStringLiteral("data")));
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program picks offscreen for options itself
    env.insert(QStringLiteral("LANG"), language);
    env.insert(QStringLiteral("LC_ALL"), language);
    return env;
}

Run finish(QProcess& process)
{
    if (!process.waitForFinished(120000))
        return {};
    Run run;
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    else
        run.signal = process.exitCode(); // Qt gives the signal's number for a crash on Unix
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

QString programConfigFolder()
{
    return configFolder().path();
}

QString programDataFolder()
{
    return configFolder().filePath(QStringLiteral("data"));
}

void writeProgramSettings(const QStringList& lines)
{
    QDir(configFolder().path()).mkpath(QStringLiteral("Valdrenor"));
    QFile file(configFolder().filePath(QStringLiteral("Valdrenor/KVEL.conf")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(("[1.0]\n" + lines.join(QLatin1Char('\n')) + "\n").toUtf8());
}

Run runProgram(const QStringList& arguments, const QString& language, const ChildSetup& setup)
{
    QProcess process;
    process.setProcessEnvironment(programEnvironment(language));
#ifdef Q_OS_UNIX
    if (setup)
        process.setChildProcessModifier(setup);
#else
    Q_UNUSED(setup);
#endif
    process.start(QStringLiteral(KVEL_PROGRAM), arguments);
    return finish(process);
}

Run runProgramWith(const QStringList& arguments, const EnvironmentChange& change, const QString& language)
{
    QProcess process;
    QProcessEnvironment env = programEnvironment(language);
    change(env);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KVEL_PROGRAM), arguments);
    return finish(process);
}

Run runProgramRaw(const QList<QByteArray>& arguments, const QString& language)
{
    // The names travel as octal escapes of printf, so the shell's own decoding cannot touch
    // them either.
    QByteArray script = "exec \"$0\"";
    for (const QByteArray& argument : arguments) {
        QByteArray escaped;
        for (const char c : argument)
            escaped += "\\" + QByteArray::number(static_cast<unsigned char>(c), 8).rightJustified(3, '0');
        script += " \"$(printf '" + escaped + "')\"";
    }
    QProcess process;
    process.setProcessEnvironment(programEnvironment(language));
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromLatin1(script),
                                              QStringLiteral(KVEL_PROGRAM)});
    return finish(process);
}

void writeSmallTable(const QString& path)
{
    using store::Field;
    writeTable(path, {
        {{Field::N, 1.0}, {Field::NB_TYPE, 0}, {Field::DATE, QStringLiteral("01.03.2024")},
         {Field::TIME, QStringLiteral("08:00")}, {Field::SERIAL, 4711}, {Field::P, 105.5}, {Field::P1, 101.0}},
        {{Field::N, 2.0}, {Field::NB_TYPE, 0}, {Field::DATE, QStringLiteral("02.03.2024")},
         {Field::TIME, QStringLiteral("09:00")}, {Field::SERIAL, 4711}, {Field::P, 206.25}, {Field::P1, 202.0}},
        {{Field::N, 3.0}, {Field::NB_TYPE, 1}, {Field::DATE, QStringLiteral("03.03.2024")},
         {Field::TIME, QStringLiteral("10:00")}, {Field::SERIAL, 4711}, {Field::P, 307.0}},
    });
}

void writeLargeTable(const QString& path, int count)
{
    using store::Field;
    Rows rows;
    rows.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        rows.push_back({{Field::N, double(i + 1)}, {Field::NB_TYPE, 0},
                        {Field::DATE, QStringLiteral("%1.03.2024").arg(1 + i % 28, 2, 10, QLatin1Char('0'))},
                        {Field::TIME, QStringLiteral("08:%1").arg(i % 60, 2, 10, QLatin1Char('0'))},
                        {Field::SERIAL, 4711}, {Field::P, 100.0 + i}, {Field::P1, 101.0 + i}, {Field::P2, 102.0},
                        {Field::P3, 103.0}, {Field::P4, 104.0}, {Field::P5, 105.0}, {Field::R, 1.5},
                        {Field::U, 20.0 + i % 10}, {Field::P7, 0.9 + (i % 10) / 100.0},
                        {Field::COMMENT, QStringLiteral("слой %1").arg(i % 3)}});
    }
    writeTable(path, rows);
}

} // namespace kvel_test
