#pragma once

#include "views/data_grid.h"
#include "views/grid_column.h"

#include "store/measurement_table.h"
#include "store/table_summary.h"

#include <exception>

#include <QObject>
#include <QString>

#include <string>

class QSettings;

namespace document {
class MeasurementDocument;
}

namespace views {

class TableModel;

// Settings values of the stored column layouts.
inline const QString kLayoutValue1 = QStringLiteral("Table_1"); // Grid1
inline const QString kLayoutValue2 = QStringLiteral("Table_2"); // Grid2
// Grid1 with the forces in a row has a layout of its own; the view option is remembered.
inline const QString kLayoutValue1InRow = QStringLiteral("Table_1_row");
inline const QString kForcesInRowValue = QStringLiteral("Forces_in_row");

// The columns of the two grid tabs, in order: penetrometer tests (Grid1) and press tests
// (Grid2).
GridColumns grid1Columns();
GridColumns grid2Columns();
// Grid1's columns with one line per test: F1…F5 side by side.
GridColumns grid1ColumnsInRow();

// The grids with their columns and settings, showing `model`. Both keep "P;R" as bookmark
// fields and show their footer row; Grid1 allows several selected rows and keeps them drawn
// without the focus.
DataGrid* createGrid1(TableModel* model, QWidget* parent);
DataGrid* createGrid2(TableModel* model, QWidget* parent);

// Field formats of the measurement table wherever a field is shown as field text (G: "0.0").
void setMeasurementFieldFormats(TableModel& model);

// Clears every title state of `grid`; with a table open, returns it to file order and
// deletes the sort tag `tag` when there is one. Throws StoreError when the row being edited
// cannot be written first.
void resetSort(DataGrid& grid, document::MeasurementDocument& document, const std::string& tag);

// The title-state handler: sorts the table through `tag` by the clicked column's field,
// descending for TitleState::Up, ascending for TitleState::Down; TitleState::None returns to
// file order. A column bound to no field changes nothing. Throws StoreError when the tag
// cannot be built (the table is then in file order).
void sortByTitle(DataGrid& grid, document::MeasurementDocument& document, const std::string& tag, int column);

// The column layout in the settings value `name` (the settings are the program's own, inside
// its group). Lines end in CR LF.
void storeGridLayout(QSettings& settings, const QString& name, const DataGrid& grid);
// Gives the grid's columns their stored properties back. Without a value, or with one that
// is not a layout text, the grid gets equal column widths and that layout is stored.
void restoreGridLayout(QSettings& settings, const QString& name, DataGrid& grid);
// Gives every column the same width (the grid's width over the number of columns), then
// fits the columns to the grid's width.
void equalizeColumns(DataGrid& grid);

// The two grid tabs over the measurement document: one model (the data source) shared by
// Grid1 and Grid2, the handlers of their title clicks and edit starts, and their footers,
// which show the summary of the rows in view (or of the selected rows) and follow every
// change the document announces.
class GridTabs : public QObject {
    Q_OBJECT

public:
    // Grid1 is made a child of `page1`, Grid2 of `page2` (the tab pages they will stand in).
    GridTabs(document::MeasurementDocument& document, QWidget* page1, QWidget* page2, QObject* parent = nullptr);

    TableModel* model() const noexcept { return m_model; }
    DataGrid* grid1() const noexcept { return m_grid1; }
    DataGrid* grid2() const noexcept { return m_grid2; }
    // The grid of a record kind: Grid2 for press rows, Grid1 for the rest.
    DataGrid* gridOfKind(int kind) const noexcept;

    // The sort reset of both tabs ("Убрать сортировку"): Grid2 with "tab2", then Grid1 with
    // "tab1". Throws StoreError.
    void unsortAll();
    // The title-state handlers, connected to the grids' title-state events.
    void sortGrid1ByTitle(int column);
    void sortGrid2ByTitle(int column);

    // Ends a cell edit in either grid as Enter would and posts the row. False when a grid
    // refused the typed text (it has said why and keeps the editor open). Throws StoreError.
    bool endEdit();

    // Both layouts at once: Grid1 from/to Table_1 (Table_1_row with the forces in a row),
    // Grid2 from/to Table_2.
    void restoreLayouts(QSettings& settings);
    void storeLayouts(QSettings& settings);

    // «Усилия в строку»: Grid1 shows one line per test with the five forces side by side,
    // or the forces one below the other. The layout of the view left is stored and that of
    // the view taken is restored (its design widths the first time); the sort mark stays on
    // its field; the choice is remembered in `settings`.
    bool forcesInRow() const noexcept { return m_forcesInRow; }
    void setForcesInRow(bool on, QSettings& settings);
    static bool storedForcesInRow(QSettings& settings);

    // Shows the five force columns of Grid1 (after new rows came from the instrument).
    void showForceColumns();

    // The summary of the rows in view, then the footers of the grid of their kind.
    void updateSummaries();
    // The footers of one grid: the summary of its selected rows when two or more are
    // selected, the table summary otherwise.
    void showSelectionSummary(DataGrid& grid);

signals:
    // The user began editing a cell in either grid: the table now has unsaved changes.
    void editStarted();
    // Errors met by the grids' own handlers (title clicks, moving off an edited row) and the
    // texts they refused. The receiver shows them before it returns.
    void errorOccurred(QWidget* grid, const std::exception_ptr& error);
    void valueRefused(QWidget* grid, const QString& text);

private:
    void titleStateChange(DataGrid& grid, const std::string& tag, int column);
    // Grid1's stored layout of the view it shows, and where that is stored.
    void restoreGrid1Layout(QSettings& settings);
    const QString& grid1LayoutKey() const noexcept { return m_forcesInRow ? kLayoutValue1InRow : kLayoutValue1; }
    void sortRemoved(const QString& tag);

    document::MeasurementDocument& m_document;
    TableModel* m_model = nullptr;
    DataGrid* m_grid1 = nullptr;
    DataGrid* m_grid2 = nullptr;
    store::TableSummary m_summary;
    int m_failing = 0; // rows in view below a limit
    bool m_forcesInRow = false;
};

} // namespace views
