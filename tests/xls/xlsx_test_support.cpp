#include "xlsx_test_support.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace xls::test {

namespace {

// Reads an .xlsx with openpyxl (its warnings captured) and prints one JSON object.
constexpr const char* kReaderScript = R"PY(
import json, re, sys, warnings
import openpyxl
from openpyxl.cell.cell import MergedCell

_CODE = re.compile(r"_x([0-9A-Fa-f]{4})_")

def excel_text(text):
    """The text as Excel reads it: "_xHHHH_" is the character of that code."""
    return _CODE.sub(lambda m: chr(int(m.group(1), 16)), text)

def rgb(color):
    if color is None or color.type != "rgb" or color.rgb is None:
        return None
    return str(color.rgb).upper()

def side(s):
    return [s.style, rgb(s.color)] if s is not None and s.style else None

def style_of(c):
    f, a, fill, b = c.font, c.alignment, c.fill, c.border
    return {
        "font": [f.name, f.sz, bool(f.b), bool(f.i), f.u, bool(f.strike), rgb(f.color), f.family, f.charset],
        "align": [a.horizontal, a.vertical, bool(a.wrap_text), a.textRotation or 0],
        "fill": [fill.fill_type, rgb(fill.fgColor), rgb(fill.bgColor)],
        "borders": [side(b.left), side(b.right), side(b.top), side(b.bottom), side(b.diagonal),
                    bool(b.diagonalUp), bool(b.diagonalDown)],
        "format": c.number_format,
    }

def raw_numbers(path):
    """Per sheet, in order: "row,column" -> the text of each number cell's value, as stored."""
    import re, zipfile
    import xml.etree.ElementTree as ET
    ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
          "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
          "p": "http://schemas.openxmlformats.org/package/2006/relationships"}
    z = zipfile.ZipFile(path)
    rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))}
    out = []
    for sheet in ET.fromstring(z.read("xl/workbook.xml")).find("m:sheets", ns):
        target = rels[sheet.get("{%s}id" % ns["r"])].lstrip("/")
        if not target.startswith("xl/"):
            target = "xl/" + target
        numbers = {}
        for c in ET.fromstring(z.read(target)).iter("{%s}c" % ns["m"]):
            v = c.find("m:v", ns)
            if c.get("t") is None and v is not None:
                col, row = re.match(r"([A-Z]+)(\d+)", c.get("r")).groups()
                n = 0
                for ch in col:
                    n = n * 26 + ord(ch) - 64
                numbers["%d,%d" % (int(row) - 1, n - 1)] = v.text
        out.append(numbers)
    return out

path = sys.argv[1]
with warnings.catch_warnings(record=True) as caught:
    warnings.simplefilter("always")
    book = openpyxl.load_workbook(path)
out = {"creator": book.properties.creator, "sheets": [],
       "warnings": [str(w.message) for w in caught]}
for ws in book.worksheets:
    cells = {}
    # The cells the file holds, without walking the empty ones of a sheet that reaches far.
    for (r, col), c in sorted(ws._cells.items()):
        if isinstance(c, MergedCell) or (c.value is None and not c.has_style):
            continue
        kind = "blank" if c.value is None else ("n" if c.data_type == "n" else c.data_type)
        value = excel_text(c.value) if isinstance(c.value, str) else c.value
        cells["%d,%d" % (r - 1, col - 1)] = [kind, value, style_of(c)]
    widths = {}
    for key, d in ws.column_dimensions.items():
        if d.width is None and not d.hidden:
            continue
        for col in range(d.min, d.max + 1):
            widths[str(col - 1)] = [d.width, bool(d.hidden), bool(d.customWidth)]
    heights = {}
    for r, d in ws.row_dimensions.items():
        if d.ht is not None:
            heights[str(r - 1)] = d.ht
    ps, pm, po = ws.page_setup, ws.page_margins, ws.print_options
    fit = ws.sheet_properties.pageSetUpPr
    def hf(h):
        return [h.left.text, h.center.text, h.right.text]
    out["sheets"].append({
        "name": ws.title,
        "selected": bool(ws.sheet_view.tabSelected),
        "cells": cells,
        "merged": sorted([r.min_row - 1, r.max_row - 1, r.min_col - 1, r.max_col - 1] for r in ws.merged_cells.ranges),
        "widths": widths,
        "heights": heights,
        "default_height": ws.sheet_format.defaultRowHeight,
        "freeze": ws.freeze_panes,
        "print_titles": ws.print_title_rows,
        "page": {
            "orientation": ps.orientation, "paper": ps.paperSize, "scale": ps.scale,
            "fit": bool(fit.fitToPage) if fit is not None else False,
            "fit_width": ps.fitToWidth, "fit_height": ps.fitToHeight,
            "first_page": ps.firstPageNumber, "use_first_page": ps.useFirstPageNumber,
            "order": ps.pageOrder,
            "margins": [pm.left, pm.right, pm.top, pm.bottom, pm.header, pm.footer],
            "header": hf(ws.oddHeader), "footer": hf(ws.oddFooter),
            "grid": bool(po.gridLines), "headings": bool(po.headings),
            "hcenter": bool(po.horizontalCentered), "vcenter": bool(po.verticalCentered),
        },
    })
for sheet, numbers in zip(out["sheets"], raw_numbers(path)):
    sheet["raw_numbers"] = numbers
print(json.dumps(out, ensure_ascii=False))
)PY";

} // namespace

XlsxResult readWithOpenpyxl(const QString& path)
{
    return runPythonReader(kReaderScript, path, "openpyxl");
}

int columnPixels(double characters)
{
    // Excel: ((256 * characters + 128 / 7) / 256) * 7, cut to whole pixels.
    return static_cast<int>(std::floor((std::floor(256 * characters + 1e-9) + 18) * 7 / 256));
}

QString cellName(int row, int column)
{
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

namespace {

// xlrd's cell types.
constexpr int kXlrdText = 1;
constexpr int kXlrdNumber = 2;
constexpr int kXlrdBlank = 6;

} // namespace

QJsonValue horizontalName(int value)
{
    static const char* const names[] = {nullptr, "left", "center", "right", "fill", "justify",
                                        "centerContinuous", "distributed"};
    return value > 0 && value < 8 ? QJsonValue(QString::fromLatin1(names[value])) : QJsonValue();
}

QJsonValue verticalName(int value)
{
    static const char* const names[] = {"top", "center", "bottom", "justify", "distributed"};
    return value >= 0 && value < 5 ? QJsonValue(QString::fromLatin1(names[value])) : QJsonValue();
}

QJsonArray sortedRanges(std::vector<std::array<int, 4>> ranges)
{
    std::sort(ranges.begin(), ranges.end());
    QJsonArray out;
    for (const auto& r : ranges)
        out.append(QJsonArray{r[0], r[1], r[2], r[3]});
    return out;
}

bool sameNumber(double a, double b)
{
    return a == b || std::fabs(a - b) <= 1e-15 * std::max(std::fabs(a), std::fabs(b));
}

namespace {

std::string text(const QJsonValue& v)
{
    return QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

::testing::AssertionResult sameAsXls(const QJsonObject& xlrd, const QJsonObject& xlsx)
{
    const QJsonArray xlsSheets = xlrd.value("sheets").toArray();
    const QJsonArray xlsxSheets = xlsx.value("sheets").toArray();
    if (xlsSheets.size() != xlsxSheets.size())
        return ::testing::AssertionFailure() << xlsSheets.size() << " sheets in the .xls, " << xlsxSheets.size()
                                             << " in the .xlsx";
    const QJsonArray xfStyles = xlrd.value("xf_styles").toArray();
    const QJsonArray fontStyles = xlrd.value("font_styles").toArray();
    // Print_Titles of the .xls by sheet: [first row, last row + 1].
    std::map<int, std::pair<int, int>> titles;
    for (const QJsonValue& n : xlrd.value("names").toArray()) {
        const QJsonArray name = n.toArray();
        if (name.at(0).toString() == QStringLiteral("Print_Titles")) {
            const QJsonArray area = name.at(3).toArray();
            titles[area.at(0).toInt()] = {area.at(1).toInt(), area.at(2).toInt()};
        }
    }
    for (qsizetype s = 0; s < xlsSheets.size(); ++s) {
        const QJsonObject xs = xlsSheets.at(s).toObject();
        const QJsonObject ys = xlsxSheets.at(s).toObject();
        const std::string sheet = xs.value("name").toString().toStdString();
        if (xs.value("name") != ys.value("name"))
            return ::testing::AssertionFailure() << "sheet " << s << ": \"" << sheet << "\" against \""
                                                 << ys.value("name").toString().toStdString() << "\"";
        auto fail = [&]() { return std::move(::testing::AssertionFailure() << "sheet \"" << sheet << "\": "); };

        // Merged ranges: xlrd gives [first row, last row + 1, first column, last column + 1].
        std::set<std::pair<int, int>> covered;
        std::vector<std::array<int, 4>> ranges;
        for (const QJsonValue& m : xs.value("merged").toArray()) {
            const QJsonArray r = m.toArray();
            ranges.push_back({r.at(0).toInt(), r.at(1).toInt() - 1, r.at(2).toInt(), r.at(3).toInt() - 1});
            for (int row = r.at(0).toInt(); row < r.at(1).toInt(); ++row)
                for (int col = r.at(2).toInt(); col < r.at(3).toInt(); ++col)
                    if (row != r.at(0).toInt() || col != r.at(2).toInt())
                        covered.insert({row, col});
        }
        const QJsonArray merged = sortedRanges(std::move(ranges));
        if (merged != ys.value("merged").toArray())
            return fail() << "merged " << text(merged) << " against " << text(ys.value("merged"));

        const QJsonObject xCells = xs.value("cells").toObject();
        const QJsonObject yCells = ys.value("cells").toObject();
        int compared = 0;
        for (auto it = xCells.begin(); it != xCells.end(); ++it) {
            const QStringList rc = it.key().split(u',');
            if (covered.count({rc[0].toInt(), rc[1].toInt()}))
                continue;
            ++compared;
            const QJsonArray x = it.value().toArray();
            if (!yCells.contains(it.key()))
                return fail() << "cell " << it.key().toStdString() << " " << text(x) << " is missing from the .xlsx";
            const QJsonArray y = yCells.value(it.key()).toArray();
            const int type = x.at(0).toInt();
            const QString kind = y.at(0).toString();
            const bool same = (type == kXlrdText && kind == QStringLiteral("s") && x.at(1) == y.at(1)) ||
                              (type == kXlrdNumber && kind == QStringLiteral("n") &&
                               sameNumber(x.at(1).toDouble(), y.at(1).toDouble())) ||
                              (type == kXlrdBlank && kind == QStringLiteral("blank"));
            if (!same)
                return fail() << "cell " << it.key().toStdString() << ": .xls " << text(x) << ", .xlsx " << text(y);
            // The cell's look as xlrd tells it: font name and weight, alignment, wrapping.
            const QJsonArray xf = xfStyles.at(x.at(2).toInt()).toArray();
            const QJsonArray font = fontStyles.at(xf.at(0).toInt()).toArray();
            const QJsonObject style = y.at(2).toObject();
            const QJsonArray yFont = style.value("font").toArray();
            const QJsonArray yAlign = style.value("align").toArray();
            QJsonValue vertical = yAlign.at(1);
            if (vertical.isNull())
                vertical = QStringLiteral("bottom");
            const QJsonValue wantVertical = verticalName(xf.at(2).toInt());
            if (font.at(2) != yFont.at(0) || font.at(1).toInt() != (yFont.at(2).toBool() ? 1 : 0) ||
                horizontalName(xf.at(1).toInt()) != yAlign.at(0) || wantVertical != vertical ||
                (xf.at(3).toInt() != 0) != yAlign.at(2).toBool())
                return fail() << "cell " << it.key().toStdString() << " looks different: .xls font " << text(font)
                              << " xf " << text(xf) << ", .xlsx " << text(style);
        }
        if (compared != yCells.size())
            return fail() << compared << " cells in the .xls, " << yCells.size() << " in the .xlsx";

        // Column widths, in the pixels Excel shows.
        const QJsonObject xWidths = xs.value("widths").toObject();
        const QJsonObject yWidths = ys.value("widths").toObject();
        for (auto it = xWidths.begin(); it != xWidths.end(); ++it) {
            const QJsonArray x = it.value().toArray();
            const QJsonArray y = yWidths.value(it.key()).toArray();
            if (y.isEmpty())
                return fail() << "column " << it.key().toStdString() << " has no width in the .xlsx";
            const int xPixels = columnPixels(x.at(0).toDouble() / 256);
            const int yPixels = columnPixels(y.at(0).toDouble());
            if (x.at(1).toInt() != (y.at(1).toBool() ? 1 : 0) || (!y.at(1).toBool() && xPixels != yPixels))
                return fail() << "column " << it.key().toStdString() << ": .xls " << text(x) << " (" << xPixels
                              << " px), .xlsx " << text(y) << " (" << yPixels << " px)";
        }
        if (xWidths.size() != yWidths.size())
            return fail() << xWidths.size() << " column widths in the .xls, " << yWidths.size() << " in the .xlsx";

        // Row heights: the rows set in the .xls, every other row at the default 12.75 points.
        if (ys.value("default_height").toDouble() != 12.75)
            return fail() << "default row height " << ys.value("default_height").toDouble();
        const QJsonObject xHeights = xs.value("heights").toObject();
        const QJsonObject yHeights = ys.value("heights").toObject();
        for (auto it = yHeights.begin(); it != yHeights.end(); ++it) {
            const double want = xHeights.contains(it.key()) ? xHeights.value(it.key()).toDouble() / 20 : 12.75;
            if (it.value().toDouble() != want)
                return fail() << "row " << it.key().toStdString() << ": " << it.value().toDouble() << " pt, want "
                              << want;
        }
        for (auto it = xHeights.begin(); it != xHeights.end(); ++it)
            if (!yHeights.contains(it.key()))
                return fail() << "row " << it.key().toStdString() << " has no height in the .xlsx";

        // Frozen panes: xlrd's [frozen, rows, columns, ...].
        const QJsonArray frozen = xs.value("frozen").toArray();
        const QJsonValue wantFreeze = frozen.at(0).toInt() ? QJsonValue(cellName(frozen.at(1).toInt(), frozen.at(2).toInt()))
                                                           : QJsonValue();
        if (ys.value("freeze") != wantFreeze)
            return fail() << "frozen at " << text(ys.value("freeze")) << ", want " << text(wantFreeze);

        const auto title = titles.find(static_cast<int>(s));
        const QJsonValue wantTitles = title == titles.end()
                                          ? QJsonValue()
                                          : QJsonValue(QStringLiteral("$%1:$%2").arg(title->second.first + 1).arg(title->second.second));
        if (ys.value("print_titles") != wantTitles)
            return fail() << "print titles " << text(ys.value("print_titles")) << ", want " << text(wantTitles);
    }
    return ::testing::AssertionSuccess();
}

} // namespace xls::test
