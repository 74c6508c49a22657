#pragma once

// What assistive technology reads of a grid, read the way it reads it: through Qt's
// accessibility interfaces only, and checked against what the grid itself shows.

#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include "views_test_support.h"

#include <QAccessible>
#include <QTabWidget>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

namespace views::test {

// Both grid tabs over one model, in a tab widget as the main window has them, over a few
// rows of penetrometer tests.
class GridScene {
public:
    GridScene();
    ~GridScene();

    TableFixture& fixture() { return *m_fixture; }
    GridTabs& tabs() { return *m_tabs; }
    QTabWidget& window() { return m_window; }
    DataGrid& grid1() { return *m_tabs->grid1(); }
    DataGrid& grid2() { return *m_tabs->grid2(); }

    // Appends a row numbered `n` (with a date and values that sort apart from the others).
    void appendRow(int n);
    // Deletes `count` rows of the view from `first` on, through the document.
    void deleteRows(int first, int count);
    // Opens the editor on a cell of `grid` and types `text` into it, without Enter.
    void openEditor(DataGrid& grid, int row, const QString& fieldName, const QString& text);

private:
    QTabWidget m_window;
    std::unique_ptr<TableFixture> m_fixture;
    std::unique_ptr<GridTabs> m_tabs;
};

// One thing that changes what the grids show, as the program or the user does it.
struct GridChange {
    const char* name;
    std::function<void(GridScene&)> apply;
};
inline void PrintTo(const GridChange& change, std::ostream* os)
{
    *os << change.name;
}
// Model reset, rows inserted and deleted (some, all), the editor opened, committed and
// cancelled, a sort, the sort reset with an editor open (as Export does it), a tab switch,
// and new columns.
const std::vector<GridChange>& gridChanges();

// Walks the grid's accessible table: the grid's interface and its link to its parent, the
// table's counts, every cell by child index and by row and column (index, parent, text,
// position, description), the focus child, and questions out of range. Every mismatch is a
// test failure. Returns the ids under which the cells were handed out.
std::vector<QAccessible::Id> walkAccessibleGrid(DataGrid& grid);

// Asks again about cells handed out before a change, by the ids an assistive tool keeps:
// each id now names nothing, or a cell that says it is gone, or a cell that reads exactly
// as the grid shows that row and column now.
void checkKeptCells(DataGrid& grid, const std::vector<QAccessible::Id>& ids);

} // namespace views::test
