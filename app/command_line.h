#pragma once

#include <QStringList>

#include <optional>

class QTextStream;

namespace app {

// The program's command line. Without options the window starts (a table named on the line
// is opened in it); the batch options do their work without any window and end the program:
//   kvel --help | --version
//   kvel --export-xls TABLE.db OUT.xls [--tab 1|2]
//   kvel --print-pdf TABLE.db OUT.pdf [--tab 1|2]
// The texts are Russian on a Russian system and English otherwise; an error is the message
// the window would show, on `err`.
struct CommandLine {
    // Set when the command line asked for batch work: the program's exit status (0 done,
    // 1 the work failed, 2 the command line was wrong). Nothing is written on failure.
    std::optional<int> exitStatus;
    // The table to open in the window at start; empty for none.
    QString tableToOpen;
};

// `undecodable` lists the arguments whose bytes were not text in the system's encoding (as Qt
// decoded them): files under those names are refused.
CommandLine runCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err,
                           const QStringList& undecodable = {});

// The arguments among argv[1..] whose bytes do not survive decoding and encoding again.
QStringList undecodableArguments(int argc, const char* const* argv);

} // namespace app
