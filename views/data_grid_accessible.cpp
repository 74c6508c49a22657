#include "views/data_grid_accessible.h"

#include "views/data_grid.h"
#include "views/table_model.h"

#include <QLineEdit>
#include <QPointer>

#include <mutex>
#include <utility>

namespace views {

namespace {

// One cell of the grid: a record row and a grid column, as they were numbered when it was
// made. It reads everything live from the grid; once the grid's rows or columns have changed
// its numbers may name another cell, so from then on it reports itself invalid instead of
// reading that cell. The stand-in for cells the grid does not have is one with row and
// column -1.
class DataGridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    DataGridCellAccessible(DataGrid* grid, int row, int column)
        : m_grid(grid), m_row(row), m_column(column), m_version(grid->structureVersion())
    {
    }

    const DataGrid* grid() const { return m_grid.data(); }

    bool isValid() const override
    {
        return m_grid && m_grid->model() && m_grid->structureVersion() == m_version && m_row >= 0 &&
               m_row < m_grid->model()->rowCount() && m_column >= 0 && m_column < m_grid->columnCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override
    {
        return m_grid ? QAccessible::queryAccessibleInterface(m_grid.data()) : nullptr;
    }
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
        case QAccessible::Description: {
            // The caption, and the row's mark where it is drawn.
            QString description = m_grid->column(m_column).caption.simplified();
            if (m_column == m_grid->markedColumn() && m_grid->isRowMarked(m_row))
                description += QStringLiteral(". ") + m_grid->markReason(m_row);
            if (const QString note = m_grid->cellNote(m_row, m_column); !note.isEmpty())
                description += QStringLiteral(". ") + note;
            return description;
        }
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
        s.invisible = !m_grid->isVisible() || m_grid->cellRect(m_row, m_column).isEmpty();
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
    int columnExtent() const override { return isValid() ? 1 : 0; }
    int rowExtent() const override { return isValid() ? 1 : 0; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<DataGrid> m_grid;
    int m_row;
    int m_column;
    std::uint64_t m_version;
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

DataGridAccessible::DataGridAccessible(DataGrid* grid)
    : QAccessibleWidget(grid, QAccessible::Table), m_cellsVersion(grid->structureVersion())
{
}

DataGridAccessible::~DataGridAccessible()
{
    forgetCells();
    if (m_absentCell)
        QAccessible::deleteAccessibleInterface(m_absentCell);
}

DataGrid* DataGridAccessible::grid() const
{
    return static_cast<DataGrid*>(widget());
}

// Touches nothing of the grid: it also runs while the grid is being destroyed.
void DataGridAccessible::forgetCells() const
{
    // Emptied first: deleting a cell must not find it still listed.
    const auto cells = std::exchange(m_cells, {});
    for (QAccessible::Id id : cells)
        QAccessible::deleteAccessibleInterface(id);
}

void* DataGridAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

// A grid on its way out (Qt says so through isValid()) has no rows, columns or cells left
// to ask about.
int DataGridAccessible::rowCount() const
{
    if (!isValid())
        return 0;
    return grid()->model() ? grid()->model()->rowCount() : 0;
}

int DataGridAccessible::columnCount() const
{
    return isValid() ? grid()->columnCount() : 0;
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

// A cell of another grid on the same model, or one kept from before a change, is no child
// of this table: its numbers would point at some other cell.
bool DataGridAccessible::isOwnCell(const QAccessibleInterface* child) const
{
    const auto* cell = dynamic_cast<const DataGridCellAccessible*>(child);
    return cell && cell->grid() == grid() && cell->isValid();
}

int DataGridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!isOwnCell(child))
        return -1;
    const auto* cell = static_cast<const DataGridCellAccessible*>(child);
    return cell->rowIndex() * columnCount() + cell->columnIndex();
}

QAccessibleInterface* DataGridAccessible::childAt(int x, int y) const
{
    if (!isValid())
        return nullptr;
    const QPoint local = grid()->viewport()->mapFromGlobal(QPoint(x, y));
    const int row = grid()->rowAt(local.y());
    if (row < 0 || row >= rowCount())
        return nullptr;
    for (int c = 0; c < columnCount(); ++c)
        if (grid()->cellRect(row, c).contains(local))
            return cellAt(row, c);
    return nullptr;
}

QAccessibleInterface* DataGridAccessible::focusChild() const
{
    if (!isValid())
        return nullptr;
    // While a cell is in edit, the editor has the focus and speaks for it.
    QLineEdit* editor = grid()->editor();
    if (grid()->isEditorOpen() && editor && editor->hasFocus())
        return QAccessible::queryAccessibleInterface(editor);
    const int row = grid()->currentRow();
    const int column = grid()->currentColumn();
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    return cellAt(row, column);
}

QAccessibleInterface* DataGridAccessible::caption() const { return nullptr; }
QAccessibleInterface* DataGridAccessible::summary() const { return nullptr; }

QAccessibleInterface* DataGridAccessible::cellAt(int row, int column) const
{
    if (!isValid())
        return nullptr;
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) {
        QAccessibleInterface* absent = m_absentCell ? QAccessible::accessibleInterface(m_absentCell) : nullptr;
        if (!absent) {
            absent = new DataGridCellAccessible(grid(), -1, -1);
            m_absentCell = QAccessible::registerAccessibleInterface(absent);
        }
        return absent;
    }
    // Cells made before the rows or columns changed are not handed out again; the event
    // telling of the change may never have come (nobody listening), so look for ourselves.
    if (m_cellsVersion != grid()->structureVersion()) {
        forgetCells();
        m_cellsVersion = grid()->structureVersion();
    }
    const QPair<int, int> key(row, column);
    const auto it = m_cells.constFind(key);
    if (it != m_cells.constEnd()) {
        if (QAccessibleInterface* cell = QAccessible::accessibleInterface(*it))
            return cell;
        m_cells.erase(it);
    }
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
        if (row < rowCount())
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
    if (row < 0 || row >= rowCount())
        return {};
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
    if (!isValid())
        return rows;
    const store::DbfTable* table = grid()->model() ? &grid()->model()->table() : nullptr;
    if (!table)
        return rows;
    for (const DataGrid::SelectedRow& r : grid()->selectedRows()) {
        const int pos = table->positionOf(r.record);
        if (pos >= 0 && pos < rowCount())
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
    if (row < 0 || row >= rowCount())
        return false;
    if (!grid()->multiSelect()) {
        grid()->setCurrentRow(row);
        return grid()->currentRow() == row;
    }
    grid()->selectRow(row, true);
    return grid()->isRowSelected(row);
}

bool DataGridAccessible::unselectRow(int row)
{
    if (row < 0 || row >= rowCount() || !grid()->multiSelect())
        return false;
    grid()->selectRow(row, false);
    return !grid()->isRowSelected(row);
}

void DataGridAccessible::modelChange(QAccessibleTableModelChangeEvent* event)
{
    // Changed values keep their cells (they read live); anything else renumbers them.
    if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) {
        forgetCells();
        m_cellsVersion = grid()->structureVersion();
    }
}

} // namespace views
