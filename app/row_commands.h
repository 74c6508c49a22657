#pragma once

#include "app/command_context.h"

#include <QObject>

class QAction;

namespace views {
class DataGrid;
}

namespace app {

// The commands on the rows and columns of the tab in front: delete the selected rows,
// renumber, column colours, equal column widths and the sort reset; and undo and redo of
// every change of the table (not of colours and widths, which belong to the grid).
class RowCommands : public QObject {
    Q_OBJECT

public:
    RowCommands(const CommandContext& context, QObject* parent);

    QAction* deleteRowsAction() const noexcept { return m_deleteRows; }       // "Удалить строки"
    QAction* deleteRowsPopupAction() const noexcept { return m_deleteRowsPopup; } // the grid's "Удалить"
    QAction* renumberAction() const noexcept { return m_renumber; }
    QAction* setColumnColourAction() const noexcept { return m_setColumnColour; }
    QAction* clearColumnColourAction() const noexcept { return m_clearColumnColour; }
    QAction* clearAllColoursAction() const noexcept { return m_clearAllColours; }
    QAction* equalizeColumnsAction() const noexcept { return m_equalizeColumns; }
    QAction* unsortAction() const noexcept { return m_unsort; }
    // «Усилия в строку»: checkable, remembered; works with or without a table.
    QAction* forcesInRowAction() const noexcept { return m_forcesInRow; }
    // "Отменить …" (Ctrl+Z) and "Повторить …" (Ctrl+Y, Ctrl+Shift+Z), named after the change
    // they take back or do again: «Отменить удаление 2 строк».
    QAction* undoAction() const noexcept { return m_undo; }
    QAction* redoAction() const noexcept { return m_redo; }

    // Deletes the rows selected in `grid` (the current row when none is; also the Delete
    // key in a grid); the selection goes, whatever happens.
    void deleteSelectedRows(views::DataGrid& grid);
    // Numbers the rows 1, 2, 3… in the order shown.
    void renumberRows();
    // The current column of the tab in front: a colour chosen by the user (starting on the
    // one chosen last, settings value Last_color), or none.
    void chooseColumnColour();
    void clearColumnColour();
    void clearAllColours();
    void equalizeColumns();
    // Both tabs back to file order.
    void unsortAll();

private:
    // The undo and redo items follow the document's history.
    void showHistory();

    CommandContext m_context;
    QAction* m_deleteRows = nullptr;
    QAction* m_deleteRowsPopup = nullptr;
    QAction* m_renumber = nullptr;
    QAction* m_setColumnColour = nullptr;
    QAction* m_clearColumnColour = nullptr;
    QAction* m_clearAllColours = nullptr;
    QAction* m_equalizeColumns = nullptr;
    QAction* m_unsort = nullptr;
    QAction* m_forcesInRow = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
};

} // namespace app
