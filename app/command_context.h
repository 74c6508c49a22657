#pragma once

// What every command object of the window works with, and the one way a command runs.

#include "app/program_state.h"

#include <QString>

#include <functional>

class QAction;
class QObject;
class QSettings;
class QWidget;

namespace document {
class MeasurementDocument;
}
namespace views {
class DataGrid;
class GridTabs;
}

namespace app {

class TableFiles;

// Handed to each command object by the window: whom its dialogs and messages belong to, the
// program's settings and values, the document and the grids that show it, and the table
// files' folder and dialogs.
struct CommandContext {
    QWidget* window;
    ProgramState& state;
    QSettings& settings;
    document::MeasurementDocument& document;
    views::GridTabs& grids;
    TableFiles& files;

    // The grid of the tab in front: the tab always shows the kind the document shows.
    views::DataGrid* shownGrid() const;
};

// Runs one user command: a text still in a cell editor reaches the table first, or, when the
// grid refuses it, the command does not run at all; an error is shown over the window.
// Returns whether the command ran to its end.
bool runAfterCellEdit(const CommandContext& context, const std::function<void()>& command);

// How a command's action treats a cell edit in progress.
enum class CellEdit {
    End,  // the command reads, resets or leaves the grids: the edit ends first
    Keep, // help, About, column widths: the edit stays open
};

// A menu command of `owner`: an action named `name` with `caption` that runs `command` as
// runAfterCellEdit does (or, with CellEdit::Keep, without ending the edit).
QAction* makeCommand(QObject* owner, const CommandContext& context, const char* name, const QString& caption,
                     std::function<void()> command, CellEdit edit = CellEdit::End);

} // namespace app
