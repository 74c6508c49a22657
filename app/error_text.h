#pragma once

// The words for what went wrong, where the window and the command line both need them: the
// window shows them in its error box (error_report.h), the command line prints them.

#include <QString>

#include <exception>
#include <functional>

namespace app {

// The text the user reads for an error: the layer's own (Russian) message for table and
// workbook errors, a plain Russian sentence for anything else.
QString errorText(const std::exception& error);

// Why the table at `path` could not be opened, as "Открыть" says it: a table in use elsewhere
// is not damaged (the user only has to close it there); anything else is.
QString openFailureText(const std::exception& error, const QString& path);

// Runs a document command that may have to open the table again (save, append, delete,
// renumber), and words a table that could not be taken back for the user: which table, why,
// that it is closed now, and after an append how many new records came from the instrument.
// Throws StoreError with that text.
void rewordReopenFailure(const std::function<void()>& command);

} // namespace app
