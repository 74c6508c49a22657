#pragma once

#include "app/error_text.h"

#include <QString>

#include <exception>
#include <utility>

class QWidget;

namespace document {
class MeasurementDocument;
}

namespace app {

// The program's general error handler. Errors that the lower layers raise and that no command
// handles itself end the command and are shown here, in one standard error box, so that no
// exception ever unwinds through Qt's event dispatch. What the box says comes from
// error_text.h.

// Shows the standard error box for `error` (modal, error icon).
void showError(QWidget* parent, const std::exception& error) noexcept;
void showUnknownError(QWidget* parent) noexcept;

// After a successful open: one warning box (objectName "UnreadableValuesBox") when the
// document's table holds values that cannot be read as numbers (unreadable_values.h),
// nothing otherwise.
void warnOfUnreadableValues(QWidget* parent, const document::MeasurementDocument& document);

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
