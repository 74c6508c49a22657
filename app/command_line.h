#pragma once

#include <QStringList>

#include <functional>
#include <optional>

class QTextStream;

namespace document {
class MeasurementDocument;
}

namespace app {

// The program's command line. Without options the window starts (a table named on the line
// is opened in it); the batch options do their work without any window and end the program:
//   kvel --help | --version
//   kvel --export-xls|--export-xlsx|--export-csv TABLE.db OUT [--tab 1|2]
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

// Writes the report of the document's shown tab as a PDF file (--print-pdf). Only the part of
// the program that draws has one: the batch part, which starts without Qt's GUI, leaves the
// report to it (needsOnlyCore).
using PdfPrinter = std::function<void(document::MeasurementDocument& document, const QString& out)>;

// `undecodable` lists the arguments whose bytes were not text in the system's encoding (as Qt
// decoded them): files under those names are refused.
CommandLine runCommandLine(const QStringList& arguments, QTextStream& out, QTextStream& err,
                           const QStringList& undecodable = {}, const PdfPrinter& printPdf = {});

// Whether argv (as main gets it) starts the window: no option, and no more than one table.
bool opensWindow(int argc, const char* const* argv);
// Whether the work argv asks for needs no more than Qt's core: help, the version, the exports
// and mistakes in the program's own options. Not the report, and not an option the program
// does not know, which may be one of Qt's own (-platform, -style).
bool needsOnlyCore(int argc, const char* const* argv);

// The arguments among argv[1..] whose bytes do not survive decoding and encoding again.
QStringList undecodableArguments(int argc, const char* const* argv);

} // namespace app
