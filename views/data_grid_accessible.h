#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPair>

namespace views {

class DataGrid;

// The grid as an accessible table, so that screen readers and automation tools can read
// its rows: one cell per record and grid column, named by the text the cell shows, with the
// column's caption as its description and the column header. Cells are made when asked for
// and forgotten when the model is reset.
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

    mutable QHash<QPair<int, int>, QAccessible::Id> m_cells;
};

} // namespace views
