#pragma once

#include "views/data_grid.h"
#include "views/grid_column.h"

#include "store/measurement_table.h"

#include <QObject>
#include <QString>

#include <string>

class QSettings;

namespace views {

class TableModel;

// Settings values of the stored column layouts.
inline const QString kLayoutValue1 = QStringLiteral("Table_1"); // Grid1
inline const QString kLayoutValue2 = QStringLiteral("Table_2"); // Grid2
// The settings group the layouts live in, beside the data folder.
inline const QString kSettingsGroup = QStringLiteral("1.0");

// The columns of the two grid tabs, in order: penetrometer tests (Grid1) and press tests
// (Grid2).
GridColumns grid1Columns();
GridColumns grid2Columns();

// The grids with their columns and settings, showing `model`. Both keep "P;R" as bookmark
// fields and show their footer row; Grid1 allows several selected rows and keeps them drawn
// without the focus.
DataGrid* createGrid1(TableModel* model, QWidget* parent);
DataGrid* createGrid2(TableModel* model, QWidget* parent);

// Field formats of the measurement table wherever a field is shown as field text (G: "0.0").
void setMeasurementFieldFormats(TableModel& model);

// Clears every title state of `grid`; with the table open, returns it to file order and
// deletes the sort tag `tag`. Failures of the table end it without a message.
void ResetSort(DataGrid& grid, store::MeasurementTable& table, const std::string& tag);

// The title-state handler: sorts the table through `tag` by the clicked column's field,
// descending for TitleState::Up, ascending for TitleState::Down; TitleState::None returns to
// file order. A column bound to no field changes nothing. Throws StoreError when the tag
// cannot be built (the table is then in file order).
void sortByTitle(DataGrid& grid, store::MeasurementTable& table, const std::string& tag, int column);

// The column layout in the settings value `name` of group "1.0" of `settings` (used as it
// is when the caller has already entered that group). Lines end in CR LF.
void StoreGridLayout(QSettings& settings, const QString& name, const DataGrid& grid);
// Gives the grid's columns their stored properties back. Without a value, or with one that
// is not a layout text, the grid gets equal column widths and that layout is stored.
void RestoreGridLayout(QSettings& settings, const QString& name, DataGrid& grid);
// Gives every column the same width (the grid's width over the number of columns), then
// fits the columns to the grid's width.
void EqualizeColumns(DataGrid& grid);
// Writes a cell edit in progress to the table. Throws StoreError.
void PostEdit(DataGrid& grid);

// The two grid tabs over the measurement table: one model (the data source) shared by
// Grid1 and Grid2, and the handlers of their title clicks and edit starts.
//
// The table engine announces nothing: after a command changes the table's rows, filter,
// order or cursor from outside the grids (open, close, append, delete, renumber, the shown
// tab's kind filter), call refresh().
class GridTabs : public QObject {
    Q_OBJECT

public:
    // Grid1 is made a child of `page1`, Grid2 of `page2` (the tab pages they will stand in).
    GridTabs(store::MeasurementTable& table, QWidget* page1, QWidget* page2, QObject* parent = nullptr);

    TableModel* model() const noexcept { return m_model; }
    DataGrid* grid1() const noexcept { return m_grid1; }
    DataGrid* grid2() const noexcept { return m_grid2; }

    // Re-reads the table's view into both grids.
    void refresh();

    // The sort reset of both tabs ("Убрать сортировку"): Grid2 with "tab2", then Grid1 with
    // "tab1".
    void N33Click();
    // The title-state handlers, connected to the grids' title-state events.
    void Grid1TitleStateChange(int column);
    void Grid2TitleStateChange(int column);

    // Both layouts at once: Grid1 from/to Table_1, Grid2 from/to Table_2.
    void restoreLayouts(QSettings& settings);
    void storeLayouts(QSettings& settings);

    // Errors of the title-state handlers and of the grids' own editing are shown through
    // `handler` (by default a message box with the error's message).
    void setErrorHandler(const std::function<void(QWidget*, const std::exception&)>& handler);

signals:
    // The user began editing a cell in either grid: the table now has unsaved changes.
    void editStarted();

private:
    void titleStateChange(DataGrid& grid, const std::string& tag, int column);

    store::MeasurementTable& m_table;
    TableModel* m_model = nullptr;
    DataGrid* m_grid1 = nullptr;
    DataGrid* m_grid2 = nullptr;
};

} // namespace views
