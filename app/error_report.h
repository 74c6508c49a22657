#pragma once

#include <exception>
#include <functional>
#include <utility>

#include <QString>

class QWidget;

namespace app {

// The program's general error handler. Errors that the lower layers raise and that no command
// handles itself end the command and are shown here, in one standard error box, so that no
// exception ever unwinds through Qt's event dispatch.

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

// Shows the standard error box for `error` (modal, error icon).
void showError(QWidget* parent, const std::exception& error) noexcept;
void showUnknownError(QWidget* parent) noexcept;

// Runs one user command. Returns false when it ended with an error, which has been shown.
template <typename Command>
bool runCommand(QWidget* parent, Command&& command) noexcept
{
    try {
        std::forward<Command>(command)();
        return true;
    } catch (const std::exception& error) {
        showError(parent, error);
    } catch (...) {
        showUnknownError(parent);
    }
    return false;
}

} // namespace app
