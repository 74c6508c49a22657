#pragma once

// Reading a workbook the program wrote with an independent reader: python3-xlrd, whose
// warnings count as failures.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

namespace kvel_test {

// A sheet's cells as a reader gives them: text, a number, or nothing, by row and column.
using Cell = std::variant<std::monostate, QString, double>;
using Grid = std::vector<std::vector<Cell>>;

// A cell for a failure message: "text", 12.5 or (nothing).
QString describe(const Cell& cell);

struct ProcessOutput {
    bool ran = false; // started and exited normally
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
ProcessOutput runProcess(const QString& program, const QStringList& args, int timeoutMs = 120000);

// python3-xlrd is on the machine.
bool havePythonXlrd();

struct XlrdBook {
    QStringList names;
    std::vector<Grid> sheets;
};
// Every sheet's name and cells; nothing (and the reason logged) when xlrd fails or warns.
std::optional<XlrdBook> readWithXlrd(const QString& file);

} // namespace kvel_test
