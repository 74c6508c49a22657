#pragma once

#include "document/limits.h"
#include "export/extra_columns.h"
#include "store/measurement_table.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <string_view>

namespace table_export {

// The export as a CSV file for spreadsheets: a heading line, then one line per record of the
// view with the fields of the sheet's columns, the five forces side by side (F1 … F5) rather
// than stacked. It is written as a Russian spreadsheet opens it on a double-click: UTF-8 with
// a byte-order mark, fields separated by ";", a decimal comma, lines ended by CR LF. Empty
// fields stay empty (no 0), texts are quoted when they hold a ";", a quote or a line break,
// and a text that a spreadsheet would take for a formula (csvTakesAsFormula) gets a leading
// apostrophe. With limits set, a last column names them and marks each test below one with
// "не соотв.".

// Whether a spreadsheet opening the file would take the text for a formula or a command: it
// starts with "=", "+", "@", a tab, a line break or another control character; or with "-"
// followed by a name or reference ("-A1", "-cmd"), or with an operator, bracket, range or
// command sign anywhere after the minus ("-2+3+cmd|' /C calc'!A0"). A minus before a number
// or a blank with plain words after it ("-2 слой", "-1,5 м") is text, written as typed.
bool csvTakesAsFormula(const QString& text);

// A number as the file holds it: the shortest text that reads back as the same double, in
// fixed notation (never an exponent), with a decimal comma; -0 is "0".
QByteArray csvNumber(double value);

// A numeric field as the file holds it, from the bytes stored in the table: csvNumber of the
// value it holds, nothing for a blank field or one that holds no number.
QByteArray csvStoredNumber(std::string_view stored);

// The heading line's fields.
QStringList csvHeadings(const document::Limits& limits = {}, const ExtraColumns& extra = {});

// The file's bytes for the rows of `table` that pass its filter, in file order whatever the
// view's sort, handed to `write` piece by piece, as they are made. A long table's blocks of rows are
// formatted on the machine's cores at once while the first ones are written. Writes nothing
// when the table is closed. What `write` throws stops the export and comes out of it.
// `extra` columns follow the table's own, before the limits' column.
void writeCsv(const store::MeasurementTable& table, const document::Limits& limits,
              const std::function<void(std::string_view)>& write, const ExtraColumns& extra = {});

// The whole file's bytes for the rows of `table` that pass its filter, in file order, read
// with a cursor of its own. Empty (no BOM either) when the table is closed.
QByteArray csvBytes(const store::MeasurementTable& table, const document::Limits& limits = {});

// Writes the file beside `path` piece by piece and moves it into place: a failure leaves
// whatever was there before. Returns the number of records. Throws StoreError (Io) saying why.
int writeCsvFile(const store::MeasurementTable& table, const QString& path, const document::Limits& limits = {},
                 const ExtraColumns& extra = {});

} // namespace table_export
