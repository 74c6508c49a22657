#pragma once

// Helpers of the .xlsx writer tests: the workbook as openpyxl reads it, and the comparison of
// an .xlsx with the .xls of the same model as xlrd reads it (see biff_test_support.h).

#include "biff_test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Failure messages show texts as UTF-8 and JSON values as JSON.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QJsonValue& value, std::ostream* os)
{
    *os << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}
inline void PrintTo(const QJsonArray& value, std::ostream* os)
{
    *os << QJsonDocument(value).toJson(QJsonDocument::Compact).toStdString();
}

namespace xls::test {

// What openpyxl reads from an .xlsx, as the reader script prints it: "creator", "warnings"
// (openpyxl's, which should be none) and per sheet "name", "selected", "cells" ("row,column" ->
// [kind, value, style]; kind "n", "s" or "blank"; the covered cells of merged ranges left
// out; texts as Excel reads them, "_xHHHH_" being the character of that code), "merged" ([first row, last row, first column, last column], sorted), "widths" (column
// -> [width, hidden, custom]), "heights" (row -> points, for the rows that have a height),
// "default_height", "freeze" (the top-left scrolling cell, "B3", or null), "print_titles"
// ("$1:$2" or null) and "page" (orientation, paper, scale, fit, fit_width, fit_height,
// first_page, use_first_page, order, margins [left, right, top, bottom, header, footer],
// header and footer [left, centre, right], grid, headings, hcenter, vcenter), and
// "raw_numbers" ("row,column" -> the number as the sheet's XML stores it). A style is
// {"font": [name, size, bold, italic, underline, strike, colour, family, charset], "align":
// [horizontal, vertical, wrapped, rotation], "fill": [pattern, foreground, background],
// "borders": [left, right, top, bottom, diagonal (each [style, colour] or null), up, down],
// "format": number format}; colours as "FFRRGGBB".
using XlsxResult = OracleResult;
XlsxResult readWithOpenpyxl(const QString& path);

// The pixels Excel gives a column `characters` digits wide, padding included (the unit of
// COLINFO / 256 and of an .xlsx column width), with a 7-pixel digit.
int columnPixels(double characters);

// "A1"-style name of a cell, both indexes from 0.
QString cellName(int row, int column);

// The .xlsx names of the alignments an .xls numbers (XlsHorizontal, XlsVertical); null for
// General and for values without a name. Bottom is "bottom".
QJsonValue horizontalName(int value);
QJsonValue verticalName(int value);

// Merged ranges [first row, last row, first column, last column] as the reader lists them:
// sorted.
QJsonArray sortedRanges(std::vector<std::array<int, 4>> ranges);

// Equal, or as near as the 16 significant digits an .xlsx keeps.
bool sameNumber(double a, double b);

// The .xlsx (openpyxl's reading) shows what the .xls (xlrd's reading) shows: the same sheets
// in order; every cell with the same kind and value, the covered cells of merged ranges
// aside; the same merged ranges; the same column widths in pixels and hidden columns; the
// same row heights; the same frozen panes and rows repeated on every page; and per cell the
// same font name, weight, alignment and wrapping. Numbers agree to 16 significant digits.
::testing::AssertionResult sameAsXls(const QJsonObject& xlrd, const QJsonObject& xlsx);

} // namespace xls::test
