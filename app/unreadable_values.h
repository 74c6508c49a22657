#pragma once

// What the user is told about values of a table that cannot be read as numbers. They are
// shown empty (and marked in the grid); opening such a table in the window says which they
// are (warnOfUnreadableValues, error_report.h), and a command-line export refuses the table
// rather than writing empty cells in their place unnoticed.

#include "document/measurement_document.h"

#include <QString>

#include <vector>

namespace app {

// The values named one per line in the window's message; the rest are counted.
inline constexpr int kUnreadableValuesListed = 10;

// The window's message after opening `path` that holds `values`.
QString unreadableValuesMessage(const QString& path, const std::vector<document::UnreadableValue>& values);

// For the command line: throws StoreError (BadNumber) with one line naming the file, the first
// such value's record and field, when the open table holds any.
void refuseUnreadableValues(const document::MeasurementDocument& document);

} // namespace app
