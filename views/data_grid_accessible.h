#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPair>

#include <cstdint>

namespace views {

class DataGrid;

// The grid as an accessible table, so that screen readers and automation tools can read
// its rows: one cell per record and grid column, named by the text the cell shows, with the
// column's caption as its description and the column header. Cells are made when asked for
// and kept (registered with Qt, which hands out their ids) only until the grid's rows or
// columns change: then every one of them is deleted, and one that is still referred to
// reports itself invalid until it is.
//
// Assistive tools ask with the counts they read earlier. A question about a cell the grid
// does not have gets a stand-in cell that reports itself invalid, never a null: Qt's AT-SPI
// bridge reads some answers of cellAt() without checking them.
class DataGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit DataGridAccessible(DataGrid* grid);
    ~DataGridAccessible() override;

    // Makes every DataGrid accessible through this class; safe to call more than once.
    static void install();

    DataGrid* grid() const;

    // QAccessibleInterface
    void* interface_cast(QAccessible::InterfaceType type) override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override;
    QAccessibleInterface* summary() const override;
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int row) const override;
    int selectedColumnCount() const override;
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override;
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int column) override;
    bool unselectRow(int row) override;
    bool unselectColumn(int column) override;
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

private:
    void forgetCells() const;
    bool isOwnCell(const QAccessibleInterface* child) const;

    mutable QHash<QPair<int, int>, QAccessible::Id> m_cells;
    mutable std::uint64_t m_cellsVersion = 0; // the grid's structure version the cells belong to
    mutable QAccessible::Id m_absentCell = 0; // the stand-in for cells out of range
};

} // namespace views
