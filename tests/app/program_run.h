#pragma once

// Runs the built program as a user runs it from a shell: in a process of its own, with its
// settings in a folder of the tests' own (never the user's), and gives back what it said.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

namespace kvel_test {

struct Run {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if one did
    QString out;
    QString err;
};

// What to do in the child before the program starts (limits, another user); POSIX only.
using ChildSetup = std::function<void()>;

// Runs the program with `arguments` under the language `language` (LANG and LC_ALL).
Run runProgram(const QStringList& arguments, const QString& language = QStringLiteral("C.UTF-8"),
               const ChildSetup& setup = {});
// Runs the program as runProgram does, with its environment changed by `change` first (a
// variable removed, another temporary folder).
using EnvironmentChange = std::function<void(QProcessEnvironment&)>;
Run runProgramWith(const QStringList& arguments, const EnvironmentChange& change,
                   const QString& language = QStringLiteral("C.UTF-8"));
// Runs the program with arguments given as raw bytes (names that are not UTF-8), through
// /bin/sh so that no decoding touches them.
Run runProgramRaw(const QList<QByteArray>& arguments, const QString& language = QStringLiteral("C.UTF-8"));

// The settings folder of these runs, and its values of the group [1.0] (replaced whole).
QString programConfigFolder();
// The data folder of these runs (XDG_DATA_HOME): the default archive lies in it.
QString programDataFolder();
void writeProgramSettings(const QStringList& lines);

// A small table: two penetrometer tests and one press test, numbered 1, 2 and 3.
void writeSmallTable(const QString& path);
// `count` penetrometer tests with every value filled, for files that take a while to write.
void writeLargeTable(const QString& path, int count);

} // namespace kvel_test
