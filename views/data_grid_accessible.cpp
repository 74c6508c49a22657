#include "views/data_grid_accessible.h"

#include "views/data_grid.h"
#include "views/table_model.h"

#include <QPointer>

#include <mutex>

namespace views {

namespace {

// One cell of the grid: a record row and a grid column. It reads everything live from the
// grid, so a cell of a row that has gone reports itself invalid instead of stale text.
class DataGridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    DataGridCellAccessible(DataGrid* grid, int row, int column) : m_grid(grid), m_row(row), m_column(column) {}

    bool isValid() const override
    {
        return m_grid && m_grid->model() && m_row >= 0 && m_row < m_grid->model()->rowCount() &&
               m_column >= 0 && m_column < m_grid->columnCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_grid.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        switch (t) {
        case QAccessible::Name:
        case QAccessible::Value:
            return m_grid->cellText(m_row, m_column);
        case QAccessible::Description:
            return m_grid->column(m_column).caption.simplified();
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_grid->cellRect(m_row, m_column);
        if (r.isEmpty())
            return {};
        return QRect(m_grid->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = m_grid->isRowSelected(m_row);
        s.focused = m_grid->currentRow() == m_row && m_grid->currentColumn() == m_column;
        s.readOnly = m_grid->column(m_column).readOnly || !m_grid->column(m_column).isBound();
        s.editable = !s.readOnly;
        s.invisible = m_grid->cellRect(m_row, m_column).isEmpty();
        s.offscreen = s.invisible;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }

    bool isSelected() const override { return isValid() && m_grid->isRowSelected(m_row); }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<DataGrid> m_grid;
    int m_row;
    int m_column;
};

QAccessibleInterface* gridFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("views::DataGrid") && object && object->isWidgetType())
        return new DataGridAccessible(static_cast<DataGrid*>(object));
    return nullptr;
}

} // namespace

void DataGridAccessible::install()
{
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(&gridFactory); });
}

DataGridAccessible::DataGridAccessible(DataGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

DataGridAccessible::~DataGridAccessible()
{
    forgetCells();
}

DataGrid* DataGridAccessible::grid() const
{
    return static_cast<DataGrid*>(widget());
}

void DataGridAccessible::forgetCells() const
{
    for (QAccessible::Id id : std::as_const(m_cells))
        QAccessible::deleteAccessibleInterface(id);
    m_cells.clear();
}

void* DataGridAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

int DataGridAccessible::rowCount() const
{
    return grid()->model() ? grid()->model()->rowCount() : 0;
}

int DataGridAccessible::columnCount() const
{
    return grid()->columnCount();
}

int DataGridAccessible::childCount() const
{
    return rowCount() * columnCount();
}

QAccessibleInterface* DataGridAccessible::child(int index) const
{
    const int columns = columnCount();
    if (index < 0 || columns == 0 || index >= childCount())
        return nullptr;
    return cellAt(index / columns, index % columns);
}

int DataGridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child || child->role() != QAccessible::Cell)
        return -1;
    auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (!cell)
        return -1;
    return cell->rowIndex() * columnCount() + cell->columnIndex();
}

QAccessibleInterface* DataGridAccessible::childAt(int x, int y) const
{
    const QPoint local = grid()->viewport()->mapFromGlobal(QPoint(x, y));
    const int row = grid()->rowAt(local.y());
    if (row < 0)
        return nullptr;
    for (int c = 0; c < columnCount(); ++c)
        if (grid()->cellRect(row, c).contains(local))
            return cellAt(row, c);
    return nullptr;
}

QAccessibleInterface* DataGridAccessible::focusChild() const
{
    const int row = grid()->currentRow();
    return row >= 0 ? cellAt(row, grid()->currentColumn()) : nullptr;
}

QAccessibleInterface* DataGridAccessible::caption() const { return nullptr; }
QAccessibleInterface* DataGridAccessible::summary() const { return nullptr; }

QAccessibleInterface* DataGridAccessible::cellAt(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    const QPair<int, int> key(row, column);
    const auto it = m_cells.constFind(key);
    if (it != m_cells.constEnd())
        return QAccessible::accessibleInterface(*it);
    auto* cell = new DataGridCellAccessible(grid(), row, column);
    m_cells.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

int DataGridAccessible::selectedCellCount() const
{
    return selectedRowCount() * columnCount();
}

QList<QAccessibleInterface*> DataGridAccessible::selectedCells() const
{
    QList<QAccessibleInterface*> cells;
    for (int row : selectedRows())
        for (int c = 0; c < columnCount(); ++c)
            cells << cellAt(row, c);
    return cells;
}

QString DataGridAccessible::columnDescription(int column) const
{
    if (column < 0 || column >= columnCount())
        return {};
    return grid()->column(column).caption.simplified();
}

QString DataGridAccessible::rowDescription(int row) const
{
    return QString::number(row + 1);
}

int DataGridAccessible::selectedColumnCount() const { return 0; }
QList<int> DataGridAccessible::selectedColumns() const { return {}; }
bool DataGridAccessible::isColumnSelected(int) const { return false; }
bool DataGridAccessible::selectColumn(int) { return false; }
bool DataGridAccessible::unselectColumn(int) { return false; }

int DataGridAccessible::selectedRowCount() const
{
    return static_cast<int>(selectedRows().size());
}

QList<int> DataGridAccessible::selectedRows() const
{
    QList<int> rows;
    const store::DbfTable* table = grid()->model() ? &grid()->model()->table() : nullptr;
    if (!table)
        return rows;
    for (const DataGrid::SelectedRow& r : grid()->selectedRows()) {
        const int pos = table->positionOf(r.record);
        if (pos >= 0)
            rows << pos;
    }
    return rows;
}

bool DataGridAccessible::isRowSelected(int row) const
{
    // As the grid counts a selection: the selected rows, or else the current one.
    return selectedRows().contains(row);
}

bool DataGridAccessible::selectRow(int row)
{
    if (!grid()->multiSelect()) {
        grid()->setCurrentRow(row);
        return grid()->currentRow() == row;
    }
    grid()->selectRow(row, true);
    return grid()->isRowSelected(row);
}

bool DataGridAccessible::unselectRow(int row)
{
    if (!grid()->multiSelect())
        return false;
    grid()->selectRow(row, false);
    return !grid()->isRowSelected(row);
}

void DataGridAccessible::modelChange(QAccessibleTableModelChangeEvent*)
{
    forgetCells();
}

} // namespace views
