#include "workbook_reader.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace kvel_test {
namespace {

// Debian's interpreter: a python3 elsewhere on PATH may not see Debian's modules.
const QString kPython = QStringLiteral("/usr/bin/python3");

// The reader: every sheet's name and cells, and whatever xlrd logged while reading.
const char kXlrdScript[] = R"PY(
import io, json, sys, xlrd
log = io.StringIO()
book = xlrd.open_workbook(sys.argv[1], logfile=log, verbosity=0)
sheets = []
for sh in book.sheets():
    rows = []
    for r in range(sh.nrows):
        row = []
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_TEXT:
                row.append({"t": cell.value})
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                row.append({"n": cell.value})
            elif cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                row.append({})
            else:
                row.append({"other": repr(cell.value)})
        rows.append(row)
    sheets.append({"name": sh.name, "rows": rows})
print(json.dumps({"log": log.getvalue(), "sheets": sheets}))
)PY";

} // namespace

QString describe(const Cell& c)
{
    if (const QString* s = std::get_if<QString>(&c))
        return QLatin1Char('"') + *s + QLatin1Char('"');
    if (const double* d = std::get_if<double>(&c))
        return QString::number(*d, 'g', 17);
    return QStringLiteral("(nothing)");
}

ProcessOutput runProcess(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    ProcessOutput result;
    if (!p.waitForStarted() || !p.waitForFinished(timeoutMs))
        return result;
    result.ran = p.exitStatus() == QProcess::NormalExit;
    result.exitCode = p.exitCode();
    result.out = p.readAllStandardOutput();
    result.err = p.readAllStandardError();
    return result;
}

bool havePythonXlrd()
{
    return runProcess(kPython, {QStringLiteral("-c"), QStringLiteral("import xlrd")}).exitCode == 0;
}

std::optional<XlrdBook> readWithXlrd(const QString& file)
{
    const ProcessOutput out = runProcess(kPython, {QStringLiteral("-c"), QString::fromUtf8(kXlrdScript), file});
    if (out.exitCode != 0) {
        qWarning().noquote() << "xlrd failed:" << QString::fromUtf8(out.err);
        return std::nullopt;
    }
    const QJsonObject doc = QJsonDocument::fromJson(out.out).object();
    const QString log = doc.value(QStringLiteral("log")).toString();
    if (!log.isEmpty()) {
        qWarning().noquote() << "xlrd warned:" << log;
        return std::nullopt;
    }
    XlrdBook book;
    for (const QJsonValue& sv : doc.value(QStringLiteral("sheets")).toArray()) {
        const QJsonObject s = sv.toObject();
        book.names << s.value(QStringLiteral("name")).toString();
        Grid grid;
        for (const QJsonValue& rv : s.value(QStringLiteral("rows")).toArray()) {
            std::vector<Cell> row;
            for (const QJsonValue& cv : rv.toArray()) {
                const QJsonObject c = cv.toObject();
                if (c.contains(QStringLiteral("t")))
                    row.emplace_back(c.value(QStringLiteral("t")).toString());
                else if (c.contains(QStringLiteral("n")))
                    row.emplace_back(c.value(QStringLiteral("n")).toDouble());
                else if (c.contains(QStringLiteral("other")))
                    row.emplace_back(QStringLiteral("?") + c.value(QStringLiteral("other")).toString());
                else
                    row.emplace_back();
            }
            grid.push_back(std::move(row));
        }
        book.sheets.push_back(std::move(grid));
    }
    return book;
}

} // namespace kvel_test
