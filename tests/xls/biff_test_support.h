#pragma once

// Helpers of the BIFF8 writer tests: bytes from hex, comparison that names the first
// differing byte, the records of a stream, and the independent readers (xlrd, olefile,
// LibreOffice) run as child processes.

#include <QJsonObject>
#include <QString>

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xls::test {

// "09 08 10 00" -> the four bytes. Blanks and line breaks are ignored.
std::string hex(std::string_view text);
// Bytes as "09 08 ..." for messages.
std::string toHex(std::string_view bytes);

// Equal, or a failure naming the first differing offset and the bytes around it.
::testing::AssertionResult sameBytes(std::string_view actual, std::string_view expected);

// One record of a stream: where it starts, its number and its data.
struct Record {
    std::size_t pos = 0;
    unsigned number = 0;
    std::string data;
};
// Splits a stream into records; fails the test when a record runs past the end.
std::vector<Record> parseRecords(const std::string& stream);
// The records with this number, in order.
std::vector<Record> recordsNumbered(const std::vector<Record>& records, unsigned number);
// The record numbers, in order.
std::vector<unsigned> numbersOf(const std::vector<Record>& records);

// A record with header, as it lies in the stream.
std::string framed(unsigned number, std::string_view data);

// Little-endian reads.
unsigned u16At(std::string_view bytes, std::size_t at);
unsigned long u32At(std::string_view bytes, std::size_t at);

// What xlrd and olefile read from a file: the JSON the reader script prints, with "log"
// holding xlrd's warnings, "streams" the compound document's streams, per sheet its cells
// ("row,column" -> [type, value, XF index]), merged ranges, column widths ("widths": column ->
// [width, hidden]), row heights set ("heights": row -> twips) and panes ("frozen": [frozen,
// rows, columns, first scrolling row, first scrolling column, active pane]); per XF index
// "xf_styles" [font, horizontal, vertical, wrapped] and per font index "font_styles" [weight,
// bold, name]; and "names" the defined names as [name, built-in, scope sheet, [sheet, first
// row, last row + 1, first column, last column + 1]]. nullopt with a reason when the readers
// are not installed.
struct OracleResult {
    std::optional<QJsonObject> json;
    std::string skipReason;
    std::string failure; // the script failed: its output
};
OracleResult readWithXlrd(const QString& path);
// Runs the Python reader `script` on `path` with the system's Python and parses the one JSON
// object it prints. `modules` is the import line's list ("xlrd, olefile"); when they are
// missing the result says so in skipReason.
OracleResult runPythonReader(const char* script, const QString& path, const std::string& modules);
// Success when xlrd reads the file without a warning and olefile finds only the stream
// "Workbook" in it; also success, with a note on the output, when the readers are missing.
::testing::AssertionResult readsCleanly(const QString& path);

// The first sheet of the file as LibreOffice converts it to CSV (UTF-8), as rows of fields.
struct CsvResult {
    std::optional<std::vector<std::vector<QString>>> rows;
    std::string skipReason;
    std::string failure;
};
CsvResult convertWithLibreOffice(const QString& path, const QString& workDir);

// The file as LibreOffice prints it (to PDF, with the sheet's own page settings), read back
// with poppler: the pages' sizes in points and each page's text as pdftotext lays it out.
struct PdfPage {
    double width = 0;
    double height = 0;
    QString text;
};
struct PdfResult {
    std::optional<std::vector<PdfPage>> pages;
    QString pdfPath;
    std::string skipReason;
    std::string failure;
};
// With `onlyFonts`, LibreOffice sees the fonts of that folder alone (through a fontconfig
// file of its own), as on a machine that lacks the fonts the file names.
PdfResult printWithLibreOffice(const QString& path, const QString& workDir, const QString& onlyFonts = {});

} // namespace xls::test
