// The grid's columns, settings, model, cursor and selection. Editing and input live in
// data_grid_input.cpp, painting and sizes in data_grid_paint.cpp.

#include "views/data_grid.h"

#include "views/data_grid_accessible.h"
#include "views/layout_text.h"
#include "views/table_model.h"

#include <QApplication>
#include <QScrollBar>

#include <algorithm>

namespace views {

DataGrid::DataGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // Always there, so that the width the columns are fitted to does not change with the
    // number of rows (which would make the row height depend on itself).
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
    DataGridAccessible::install();
    // Qt tells assistive technology that the grid got the focus only after the grid's own
    // focus handling; the current cell is told afterwards, or it would be talked over.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now == this)
            QMetaObject::invokeMethod(this, &DataGrid::notifyAccessibleFocus, Qt::QueuedConnection);
    });
}

DataGrid::~DataGrid() = default;

// Tells assistive technology which cell now has the focus; nothing while the focus is
// elsewhere (another widget, or the cell editor, which speaks for itself).
void DataGrid::notifyAccessibleFocus()
{
    const int row = currentRow();
    if (!QAccessible::isActive() || !hasFocus() || row < 0 || columnCount() == 0 || m_currentColumn >= columnCount())
        return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(row * columnCount() + m_currentColumn);
    QAccessible::updateAccessibility(&event);
}

void DataGrid::setModel(TableModel* model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    closeEditor();
    m_selection.clear();
    m_model = model;
    if (m_model) {
        using Change = QAccessibleTableModelChangeEvent;
        connect(m_model, &QAbstractItemModel::modelReset, this, &DataGrid::modelWasReset);
        connect(m_model, &QAbstractItemModel::dataChanged, this, &DataGrid::modelDataChanged);
        connect(m_model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int last) { modelStructureChanged(Change::RowsInserted, first, last); });
        connect(m_model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex&, int first, int last) { modelStructureChanged(Change::RowsRemoved, first, last); });
        // Columns of the model are not the grid's columns, and moved rows are not worth
        // telling apart: the grid takes both as a new model.
        connect(m_model, &QAbstractItemModel::columnsInserted, this, &DataGrid::modelWasReset);
        connect(m_model, &QAbstractItemModel::columnsRemoved, this, &DataGrid::modelWasReset);
        connect(m_model, &QAbstractItemModel::rowsMoved, this, &DataGrid::modelWasReset);
        connect(m_model, &QAbstractItemModel::layoutChanged, this, &DataGrid::modelWasReset);
    }
    modelWasReset();
}

void DataGrid::reportError(const std::exception_ptr& error)
{
    emit errorOccurred(error);
}

// ---- columns -------------------------------------------------------------------------------

void DataGrid::setColumns(GridColumns columns)
{
    closeEditor();
    m_columns = std::move(columns);
    m_currentColumn = std::clamp(m_currentColumn, 0, std::max(columnCount() - 1, 0));
    resolveFields();
    layoutChanged();
    updateGeometry(); // another column set needs another least height
    announceStructureChange(QAccessibleTableModelChangeEvent::ModelReset);
}

int DataGrid::columnOfField(const QString& fieldName) const
{
    for (int i = 0; i < columnCount(); ++i)
        if (m_columns[static_cast<std::size_t>(i)].fieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void DataGrid::setColumnWidth(int column, int width)
{
    if (column < 0 || column >= columnCount())
        return;
    m_columns[static_cast<std::size_t>(column)].width = std::max(width, 0);
    layoutChanged();
}

void DataGrid::setColumnVisible(int column, bool visible)
{
    if (column < 0 || column >= columnCount())
        return;
    m_columns[static_cast<std::size_t>(column)].visible = visible;
    layoutChanged();
}

void DataGrid::setColumnColor(int column, std::optional<QColor> color)
{
    if (column < 0 || column >= columnCount())
        return;
    m_columns[static_cast<std::size_t>(column)].color = std::move(color);
    viewport()->update();
}

void DataGrid::clearColumnColors()
{
    for (GridColumn& c : m_columns)
        c.color.reset();
    viewport()->update();
}

void DataGrid::setFooterText(int column, const QString& text)
{
    if (column < 0 || column >= columnCount())
        return;
    m_columns[static_cast<std::size_t>(column)].footerText = text;
    if (m_showFooters)
        viewport()->update();
}

void DataGrid::setTitleState(int column, TitleState state)
{
    if (column < 0 || column >= columnCount())
        return;
    GridColumn& c = m_columns[static_cast<std::size_t>(column)];
    if (state == TitleState::None) {
        c.sortSequence = 0;
    } else if (c.titleState == TitleState::None) {
        int seq = 0;
        for (const GridColumn& other : m_columns)
            seq = std::max(seq, other.sortSequence);
        c.sortSequence = seq + 1;
    }
    c.titleState = state;
    titlesChanged();
}

void DataGrid::clearTitleStates()
{
    for (GridColumn& c : m_columns) {
        c.titleState = TitleState::None;
        c.sortSequence = 0;
    }
    titlesChanged();
}

// A sort mark takes room from its caption, which may then need another line.
void DataGrid::titlesChanged()
{
    m_titleHeight = -1;
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

QString DataGrid::layoutText() const
{
    return writeLayoutText(m_columns);
}

bool DataGrid::setLayoutText(const QString& text)
{
    GridColumns stored;
    if (!readLayoutText(text, stored))
        return false;
    closeEditor();
    applyStoredLayout(m_columns, stored);
    resolveFields();
    layoutChanged();
    announceStructureChange(QAccessibleTableModelChangeEvent::ModelReset);
    return true;
}

// ---- settings ------------------------------------------------------------------------------

void DataGrid::setAutoColumnFit(bool on)
{
    m_autoColumnFit = on;
    setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    layoutChanged();
}

void DataGrid::setMultiSelect(bool on)
{
    m_multiSelect = on;
    if (!on)
        clearSelection();
}

void DataGrid::setRowMarker(RowMarker marker, const QString& field, MarkReason reason)
{
    m_rowMarker = std::move(marker);
    m_markedField = field;
    m_markReason = std::move(reason);
    viewport()->update();
}

void DataGrid::setShowFooters(bool on)
{
    m_showFooters = on;
    layoutChanged();
}

void DataGrid::setHideSelection(bool on)
{
    m_hideSelection = on;
    viewport()->update();
}

void DataGrid::setBookmarkFields(const QString& fields)
{
    m_bookmarkFields = fields;
    resolveFields();
}

// ---- model ---------------------------------------------------------------------------------

int DataGrid::modelColumn(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_modelColumns.size()))
        return -1;
    return m_modelColumns[static_cast<std::size_t>(column)];
}

void DataGrid::resolveFields()
{
    m_modelColumns.assign(m_columns.size(), -1);
    m_bookmarkColumns.clear();
    if (!m_model)
        return;
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        m_modelColumns[i] = m_model->fieldColumn(m_columns[i].fieldName);
    for (const QString& name : m_bookmarkFields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        m_bookmarkColumns.push_back(m_model->fieldColumn(name.trimmed()));
}

void DataGrid::modelWasReset()
{
    modelStructureChanged(QAccessibleTableModelChangeEvent::ModelReset);
}

void DataGrid::modelStructureChanged(QAccessibleTableModelChangeEvent::ModelChangeType change, int first, int last)
{
    closeEditor();
    resolveFields();
    bool dropped = false;
    if (m_model && m_model->table().isActive()) {
        const store::DbfTable& table = m_model->table();
        dropped = m_selection.retain([&](std::uint32_t rec) { return table.positionOf(rec) >= 0; });
    } else {
        dropped = m_selection.clear();
    }
    const int rows = m_model ? m_model->rowCount() : 0;
    if (m_anchorRow >= rows)
        m_anchorRow = -1;
    updateScrollBars();
    ensureRowVisible(currentRow());
    viewport()->update();
    announceStructureChange(change, first, last);
    if (dropped)
        emit selectionChanged();
}

void DataGrid::announceStructureChange(QAccessibleTableModelChangeEvent::ModelChangeType change, int first, int last)
{
    ++m_structureVersion;
    if (!QAccessible::isActive())
        return;
    QAccessibleTableModelChangeEvent event(this, change);
    if (first >= 0) {
        event.setFirstRow(first);
        event.setLastRow(last);
    }
    QAccessible::updateAccessibility(&event);
}

// Cells read their text live; assistive technology only needs to hear which rows changed.
void DataGrid::modelDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    // A row posted in a sorted view moves the rows between its old and new place: an open
    // editor goes with its record, or closes when the record has left the view.
    if (isEditorOpen() && m_editRecord && m_model) {
        const int row = m_model->table().isActive() ? m_model->table().positionOf(*m_editRecord) : -1;
        if (row < 0) {
            closeEditor();
        } else if (row != m_editRow) {
            m_editRow = row;
            placeEditor();
        }
    }
    viewport()->update();
    if (!QAccessible::isActive() || !topLeft.isValid() || !bottomRight.isValid() || columnCount() == 0)
        return;
    QAccessibleTableModelChangeEvent event(this, QAccessibleTableModelChangeEvent::DataChanged);
    event.setFirstRow(topLeft.row());
    event.setLastRow(bottomRight.row());
    event.setFirstColumn(0);
    event.setLastColumn(columnCount() - 1);
    QAccessible::updateAccessibility(&event);
}

RowSelection::Values DataGrid::captureBookmarks(int row) const
{
    RowSelection::Values values;
    for (int mc : m_bookmarkColumns) {
        if (!m_model || mc < 0) {
            values.emplace_back();
        } else if (m_model->isNumericField(mc)) {
            const auto v = m_model->number(row, mc);
            values.push_back(v ? QVariant(*v) : QVariant());
        } else {
            values.emplace_back(m_model->fieldText(row, mc));
        }
    }
    return values;
}

// ---- cursor and selection -----------------------------------------------------------------

int DataGrid::currentRow() const
{
    return m_model ? m_model->currentRow() : -1;
}

void DataGrid::setCurrentRow(int row)
{
    guarded([&] { moveCursor(row, m_currentColumn, false); });
}

void DataGrid::setCurrentColumn(int column)
{
    if (column < 0 || column >= columnCount() || column == m_currentColumn)
        return;
    if (!commitEditor())
        return;
    m_currentColumn = column;
    viewport()->update();
    notifyAccessibleFocus();
}

// Moves the current cell; with `extend`, the rows passed over join the selection.
void DataGrid::moveCursor(int row, int column, bool extend)
{
    if (!m_model || m_model->rowCount() == 0)
        return;
    if (!commitEditor())
        return;
    row = std::clamp(row, 0, m_model->rowCount() - 1);
    const int before = currentRow();
    std::vector<std::uint32_t> joining;
    if (extend && m_multiSelect) {
        for (int r = std::min(before, row); r <= std::max(before, row); ++r)
            if (const auto rec = m_model->recordAt(r))
                joining.push_back(*rec);
    }
    const auto target = m_model->recordAt(row);
    m_model->setCurrentRow(row); // may post the row left, and re-sort
    m_currentColumn = std::clamp(column, 0, std::max(columnCount() - 1, 0));
    bool changed = currentRow() != before || m_model->recordAt(before) != target;
    const store::DbfTable& table = m_model->table();
    for (std::uint32_t rec : joining)
        changed |= m_selection.add(rec, [&] { return captureBookmarks(table.positionOf(rec)); });
    ensureRowVisible(currentRow());
    viewport()->update();
    notifyAccessibleFocus();
    if (changed)
        emit selectionChanged();
}

void DataGrid::cellClick(int row, int column, Qt::KeyboardModifiers modifiers)
{
    if (!m_model || !commitEditor())
        return;
    const auto rec = m_model->recordAt(row);
    if (!rec)
        return;
    // Rows are named by record number before the cursor moves: moving may post an edited
    // row and re-sort the view under our feet.
    std::vector<std::uint32_t> range;
    if (m_multiSelect && (modifiers & Qt::ShiftModifier)) {
        const int anchor = m_anchorRow >= 0 ? m_anchorRow : std::max(currentRow(), 0);
        for (int r = std::min(anchor, row); r <= std::max(anchor, row); ++r)
            if (const auto x = m_model->recordAt(r))
                range.push_back(*x);
    }
    const int before = currentRow();
    const auto beforeRec = m_model->recordAt(before);
    m_model->setCurrentRow(row);
    m_currentColumn = column;

    bool changed = beforeRec != rec;
    const store::DbfTable& table = m_model->table();
    const auto capture = [&](std::uint32_t r) { return [&, r] { return captureBookmarks(table.positionOf(r)); }; };
    if (m_multiSelect && (modifiers & Qt::ControlModifier)) {
        if (!m_selection.remove(*rec))
            m_selection.add(*rec, capture(*rec));
        changed = true;
        m_anchorRow = table.positionOf(*rec);
    } else if (m_multiSelect && (modifiers & Qt::ShiftModifier)) {
        changed |= m_selection.clear();
        for (std::uint32_t r : range)
            changed |= m_selection.add(r, capture(r));
    } else {
        changed |= m_selection.clear();
        m_anchorRow = table.positionOf(*rec);
    }
    ensureRowVisible(currentRow());
    viewport()->update();
    notifyAccessibleFocus();
    if (changed)
        emit selectionChanged();
}

int DataGrid::selectionCount() const
{
    if (!m_selection.empty())
        return m_selection.size();
    return currentRow() >= 0 ? 1 : 0;
}

std::vector<DataGrid::SelectedRow> DataGrid::selectedRows() const
{
    std::vector<SelectedRow> rows;
    if (!m_model)
        return rows;
    if (m_selection.empty()) {
        const int row = currentRow();
        if (const auto rec = m_model->recordAt(row))
            rows.push_back({*rec, captureBookmarks(row)});
        return rows;
    }
    const store::DbfTable& table = m_model->table();
    std::vector<std::pair<int, SelectedRow>> placed;
    for (const auto& [rec, values] : m_selection.rows())
        placed.push_back({table.positionOf(rec), SelectedRow{rec, values}});
    std::sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& p : placed)
        rows.push_back(std::move(p.second));
    return rows;
}

std::vector<std::uint32_t> DataGrid::rowsToDelete() const
{
    std::vector<std::uint32_t> recs;
    for (const SelectedRow& r : selectedRows())
        recs.push_back(r.record);
    std::reverse(recs.begin(), recs.end());
    return recs;
}

bool DataGrid::isRowSelected(int row) const
{
    const auto rec = m_model ? m_model->recordAt(row) : std::nullopt;
    return rec && m_selection.contains(*rec);
}

void DataGrid::selectRow(int row, bool selected)
{
    if (!m_multiSelect || !m_model)
        return;
    const auto rec = m_model->recordAt(row);
    if (!rec)
        return;
    const bool changed = selected ? m_selection.add(*rec, [&] { return captureBookmarks(row); })
                                  : m_selection.remove(*rec);
    if (changed) {
        viewport()->update();
        emit selectionChanged();
    }
}

void DataGrid::clearSelection()
{
    if (m_selection.clear()) {
        viewport()->update();
        emit selectionChanged();
    }
}

} // namespace views
