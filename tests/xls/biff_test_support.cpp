#include "biff_test_support.h"

#include "xls/biff_stream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace xls::test {

std::string hex(std::string_view text)
{
    std::string out;
    int nibble = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out.push_back(static_cast<char>(nibble * 16 + v));
            nibble = -1;
        }
    }
    return out;
}

std::string toHex(std::string_view bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        if (!out.empty())
            out.push_back(' ');
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

::testing::AssertionResult sameBytes(std::string_view actual, std::string_view expected)
{
    const std::size_t n = std::min(actual.size(), expected.size());
    std::size_t at = 0;
    while (at < n && actual[at] == expected[at])
        ++at;
    if (at == n && actual.size() == expected.size())
        return ::testing::AssertionSuccess();
    const std::size_t from = at >= 4 ? at - 4 : 0;
    auto window = [&](std::string_view b) {
        return from < b.size() ? toHex(b.substr(from, 12)) : std::string("(end)");
    };
    return ::testing::AssertionFailure()
           << "first difference at byte " << at << " (sizes " << actual.size() << " and expected "
           << expected.size() << ")\n  actual   from " << from << ": " << window(actual)
           << "\n  expected from " << from << ": " << window(expected);
}

std::vector<Record> parseRecords(const std::string& stream)
{
    std::vector<Record> records;
    std::size_t pos = 0;
    while (pos + 4 <= stream.size()) {
        const unsigned number = u16At(stream, pos);
        const unsigned length = u16At(stream, pos + 2);
        if (pos + 4 + length > stream.size()) {
            ADD_FAILURE() << "record 0x" << std::hex << number << " at " << std::dec << pos
                          << " runs past the end of the stream";
            break;
        }
        records.push_back({pos, number, stream.substr(pos + 4, length)});
        pos += 4 + length;
    }
    EXPECT_EQ(pos, stream.size()) << "trailing bytes after the last record";
    return records;
}

std::vector<Record> recordsNumbered(const std::vector<Record>& records, unsigned number)
{
    std::vector<Record> out;
    for (const Record& r : records)
        if (r.number == number)
            out.push_back(r);
    return out;
}

std::vector<unsigned> numbersOf(const std::vector<Record>& records)
{
    std::vector<unsigned> out;
    for (const Record& r : records)
        out.push_back(r.number);
    return out;
}

std::string framed(unsigned number, std::string_view data)
{
    biff::ByteBuffer b;
    biff::writeRecord(b, number, data);
    return b.take();
}

unsigned u16At(std::string_view bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

unsigned long u32At(std::string_view bytes, std::size_t at)
{
    return u16At(bytes, at) | (static_cast<unsigned long>(u16At(bytes, at + 2)) << 16);
}

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Runs a shell command; its exit status (-1 when it did not run) and standard output.
int run(const std::string& command, std::string& output)
{
    output.clear();
#ifdef _WIN32
    // The oracles are Linux programs; scripts/test-windows compares with Linux's results.
    (void)command;
    output = "not on Windows";
    return -1;
#else
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        output.append(buf, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::string quoted(const QString& s)
{
    std::string out = "'";
    for (char c : s.toStdString()) {
        if (c == '\'')
            out += "'\\''";
        else
            out.push_back(c);
    }
    return out + "'";
}

// Reads a workbook with xlrd (its warnings captured, not printed) and lists its streams
// with olefile; prints one JSON object.
constexpr const char* kReaderScript = R"PY(
import io, json, sys
import olefile, xlrd
path = sys.argv[1]
log = io.StringIO()
book = xlrd.open_workbook(path, logfile=log, verbosity=0, formatting_info=True,
                          ragged_rows=True)
ole = olefile.OleFileIO(path)
out = {
    "streams": ["/".join(s) for s in ole.listdir(streams=True, storages=True)],
    "user": book.user_name,
    "fonts": len(book.font_list),
    "xfs": len(book.xf_list),
    "sheets": [],
}
ole.close()
for sh in book.sheets():
    cells = {}  # only the cells that are not empty: "row,column" -> [type, value, xf]
    for r in range(sh.nrows):
        for c in range(sh.row_len(r)):
            cell = sh.cell(r, c)
            if cell.ctype != xlrd.XL_CELL_EMPTY:
                cells["%d,%d" % (r, c)] = [cell.ctype, cell.value, cell.xf_index]
    widths = {}  # column -> [width, hidden], for the columns that have a COLINFO record
    for c, info in sh.colinfo_map.items():
        widths[str(c)] = [info.width, info.hidden]
    heights = {}  # row -> height in twips, for the rows whose ROW says the height is set
    for r, info in sh.rowinfo_map.items():
        if info.height_mismatch:
            heights[str(r)] = info.height
    # [frozen, rows above the split, columns left of it, first row and column of the
    # scrolling panes, active pane]; all 0 without a PANE record
    frozen = [int(sh.panes_are_frozen), getattr(sh, "horz_split_pos", 0), getattr(sh, "vert_split_pos", 0),
              getattr(sh, "horz_split_first_visible", 0), getattr(sh, "vert_split_first_visible", 0),
              getattr(sh, "split_active_pane", 0)]
    out["sheets"].append({"name": sh.name, "nrows": sh.nrows, "ncols": sh.ncols,
                          "cells": cells, "merged": [list(m) for m in sh.merged_cells],
                          "widths": widths, "heights": heights, "frozen": frozen})
# per cell format: [font, horizontal alignment, vertical alignment, wrapped]
out["xf_styles"] = [[x.font_index, x.alignment.hor_align, x.alignment.vert_align, x.alignment.text_wrapped]
                    for x in book.xf_list]
out["font_styles"] = [[f.weight, f.bold, f.name] for f in book.font_list]  # per font index
out["names"] = []  # [name, built-in, scope, [sheet, first row, last row + 1, first col, last col + 1]]
for n in book.name_obj_list:
    area = n.area2d(clipped=False)
    out["names"].append([n.name, bool(n.builtin), n.scope, [area[0].number] + list(area[1:])])
out["log"] = log.getvalue()
print(json.dumps(out))
)PY";

} // namespace

OracleResult runPythonReader(const char* script, const QString& path, const std::string& modules)
{
    OracleResult result;
    std::string out;
    if (run(std::string(kPython) + " -c 'import " + modules + "' 2>&1", out) != 0) {
        result.skipReason = "python3 modules " + modules + " are not installed: " + out;
        return result;
    }
    const QString scriptFile = path + QStringLiteral(".reader.py");
    QFile f(scriptFile);
    if (!f.open(QIODevice::WriteOnly)) {
        result.failure = "cannot write the reader script";
        return result;
    }
    f.write(script);
    f.close();
    const int status = run(std::string(kPython) + " " + quoted(scriptFile) + " " + quoted(path) + " 2>&1", out);
    QFile::remove(scriptFile);
    if (status != 0) {
        result.failure = modules + " reader failed (status " + std::to_string(status) + "): " + out;
        return result;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    if (!doc.isObject()) {
        result.failure = "reader output is not JSON: " + out;
        return result;
    }
    result.json = doc.object();
    return result;
}

OracleResult readWithXlrd(const QString& path)
{
    return runPythonReader(kReaderScript, path, "xlrd, olefile");
}

::testing::AssertionResult readsCleanly(const QString& path)
{
    const OracleResult read = readWithXlrd(path);
    if (!read.skipReason.empty()) {
        std::printf("note: %s not read back: %s\n", path.toLocal8Bit().constData(), read.skipReason.c_str());
        return ::testing::AssertionSuccess();
    }
    if (!read.failure.empty())
        return ::testing::AssertionFailure() << read.failure;
    const QString log = read.json->value("log").toString();
    if (!log.isEmpty())
        return ::testing::AssertionFailure() << "xlrd warned: " << log.toStdString();
    const QJsonArray streams = read.json->value("streams").toArray();
    if (streams != QJsonArray{QStringLiteral("Workbook")})
        return ::testing::AssertionFailure()
               << "streams: " << QJsonDocument(streams).toJson(QJsonDocument::Compact).toStdString();
    return ::testing::AssertionSuccess();
}

namespace {

// Splits CSV text (comma, double quotes doubled inside quoted fields) into rows.
std::vector<std::vector<QString>> parseCsv(const QString& text)
{
    std::vector<std::vector<QString>> rows;
    std::vector<QString> row;
    QString field;
    bool quotedField = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quotedField) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quotedField = false;
                }
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quotedField = true;
        } else if (c == u',') {
            row.push_back(field);
            field.clear();
        } else if (c == u'\n') {
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
        } else if (c != u'\r') {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.empty()) {
        row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

} // namespace

CsvResult convertWithLibreOffice(const QString& path, const QString& workDir)
{
    CsvResult result;
    std::string out;
    if (run("command -v soffice 2>&1", out) != 0) {
        result.skipReason = "LibreOffice (soffice) is not installed";
        return result;
    }
    const QString profile = QStringLiteral("/tmp/lo_xlsw_%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    const QString outDir = workDir + QStringLiteral("/csv");
    QDir().mkpath(outDir);
    const std::string command = "soffice -env:UserInstallation=file://" + profile.toStdString() +
                                " --headless --norestore --convert-to " +
                                // Comma, double quotes, UTF-8. LibreOffice 7.4 takes the filter
                                // name unquoted (quoted, it looks for a filter named with quotes).
                                quoted(QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76")) +
                                " --outdir " + quoted(outDir) + " " + quoted(path) + " 2>&1";
    const int status = run(command, out);
    QDir(profile).removeRecursively();
    const QString csv = outDir + QLatin1Char('/') + QFileInfo(path).completeBaseName() + QStringLiteral(".csv");
    QFile f(csv);
    if (status != 0 || !f.open(QIODevice::ReadOnly)) {
        result.failure = "LibreOffice did not convert the file (status " + std::to_string(status) + "): " + out;
        return result;
    }
    result.rows = parseCsv(QString::fromUtf8(f.readAll()));
    return result;
}

namespace {

// Page sizes from pdfinfo's "Page    N size: W x H pts" lines, in page order.
std::vector<std::pair<double, double>> pageSizes(const std::string& info)
{
    std::vector<std::pair<double, double>> sizes;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        double w = 0, h = 0;
        int n = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &n, &w, &h) == 3)
            sizes.emplace_back(w, h);
    }
    return sizes;
}

} // namespace

PdfResult printWithLibreOffice(const QString& path, const QString& workDir, const QString& onlyFonts)
{
    PdfResult result;
    std::string out;
    if (run("command -v soffice 2>&1", out) != 0) {
        result.skipReason = "LibreOffice (soffice) is not installed";
        return result;
    }
    if (run("command -v pdfinfo && command -v pdftotext 2>&1", out) != 0) {
        result.skipReason = "poppler's pdfinfo and pdftotext are not installed";
        return result;
    }
    const QString profile = QStringLiteral("/tmp/lo_xlsp_%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    const QString outDir = workDir + QStringLiteral("/pdf");
    QDir().mkpath(outDir);
    std::string environment;
    if (!onlyFonts.isEmpty()) {
        // The folder, its own cache, and the system's rules (aliases such as Arial -> a sans
        // serif font), which add no fonts of their own.
        const QString config = workDir + QStringLiteral("/fonts.conf");
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly)) {
            result.failure = "cannot write " + config.toStdString();
            return result;
        }
        f.write(QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
                               "  <dir>%1</dir>\n  <cachedir>%2/fontcache</cachedir>\n"
                               "  <include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n</fontconfig>\n")
                    .arg(onlyFonts, workDir)
                    .toUtf8());
        f.close();
        environment = "FONTCONFIG_FILE=" + quoted(config) + " ";
    }
    const std::string command = environment + "soffice -env:UserInstallation=file://" + profile.toStdString() +
                                " --headless --norestore --convert-to pdf --outdir " + quoted(outDir) + " " +
                                quoted(path) + " 2>&1";
    const int status = run(command, out);
    QDir(profile).removeRecursively();
    result.pdfPath = outDir + QLatin1Char('/') + QFileInfo(path).completeBaseName() + QStringLiteral(".pdf");
    if (status != 0 || !QFile::exists(result.pdfPath)) {
        result.failure = "LibreOffice did not print the file (status " + std::to_string(status) + "): " + out;
        return result;
    }
    // "-f 1 -l 99": pdfinfo lists the size of every page, not only the first.
    if (run("pdfinfo -f 1 -l 9999 " + quoted(result.pdfPath) + " 2>&1", out) != 0) {
        result.failure = "pdfinfo failed: " + out;
        return result;
    }
    std::vector<PdfPage> pages;
    for (const auto& [w, h] : pageSizes(out)) {
        const int n = static_cast<int>(pages.size()) + 1;
        std::string text;
        if (run("pdftotext -layout -enc UTF-8 -f " + std::to_string(n) + " -l " + std::to_string(n) + " " +
                    quoted(result.pdfPath) + " - 2>&1",
                text) != 0) {
            result.failure = "pdftotext failed: " + text;
            return result;
        }
        pages.push_back({w, h, QString::fromStdString(text)});
    }
    result.pages = std::move(pages);
    return result;
}

} // namespace xls::test
