#include "views/table_model.h"

#include "views/number_text.h"

#include "document/measurement_document.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace views {

QColor unreadableCellColor()
{
    return QColor(0xFF, 0xD8, 0xD8);
}

TableModel::TableModel(document::MeasurementDocument& document, QObject* parent)
    : QAbstractTableModel(parent), m_document(document), m_table(document.table().table())
{
    using Document = document::MeasurementDocument;
    connect(&document, &Document::viewReset, this, &TableModel::reset);
    connect(&document, &Document::rowPosted, this, &TableModel::rowPosted);
    connect(&document, &Document::rowsInserted, this, &TableModel::rowsInserted);
    connect(&document, &Document::rowsRemoved, this, &TableModel::deletedRows);
    connect(&document, &Document::rowsChanged, this, &TableModel::renumberedRows);
    connect(&document, &Document::editChanged, this, &TableModel::editChanged);
    reset();
}

void TableModel::placeCurrent(int row)
{
    const int rows = m_table.isActive() ? m_table.recordCount() : 0;
    if (rows == 0) {
        m_current.reset();
        m_currentRow = -1;
        return;
    }
    m_currentRow = std::clamp(row, 0, rows - 1);
    m_current = m_table.recordAt(m_currentRow);
}

void TableModel::followCurrent()
{
    const int row = m_current && m_table.isActive() ? m_table.positionOf(*m_current) : -1;
    placeCurrent(std::max(row, 0));
}

void TableModel::rowPosted(std::uint32_t record, int from, int to)
{
    // The posted row stays current wherever the sort put it; one that left the view leaves
    // the cursor at the place it stood.
    if (m_current == record && to < 0)
        placeCurrent(from);
    else
        followCurrent();
    if (from >= 0 && to >= 0) {
        // In a sorted view the row may have moved: every row between its old and its new
        // place now shows another record.
        rowsChanged(std::min(from, to), std::max(from, to));
    } else if (from >= 0) {
        rowsRemoved(from, from); // its kind no longer passes the filter
    } else if (to >= 0) {
        rowsInserted(to, to);
    }
}

void TableModel::rowsInserted(int first, int last)
{
    followCurrent();
    if (first < 0 || last < first || first > m_rows) {
        reset();
        return;
    }
    beginInsertRows({}, first, last);
    m_rows += last - first + 1;
    endInsertRows();
    checkCount();
}

void TableModel::rowsRemoved(int first, int last)
{
    if (first < 0 || last < first || last >= m_rows) {
        reset();
        return;
    }
    beginRemoveRows({}, first, last);
    m_rows -= last - first + 1;
    endRemoveRows();
    // A deletion of several runs of rows is announced run by run, the last run first: until
    // its last run is told, the model still has more rows than the table. That is checked
    // once the announcement is over; fewer rows than the table is wrong at once.
    if (m_table.isActive() && m_rows > m_table.recordCount())
        QMetaObject::invokeMethod(this, &TableModel::checkCount, Qt::QueuedConnection);
    else
        checkCount();
}

// A deletion is told run by run, the last run first: the cursor ends on the first place a
// deleted row held (or the last row), and the records are numbered anew by the packing.
void TableModel::deletedRows(int first, int last)
{
    placeCurrent(first);
    rowsRemoved(first, last);
}

// Every row of the view has new values (a renumbering): the user starts again at the first
// row, as after the table is saved and read back.
void TableModel::renumberedRows(int first, int last)
{
    placeCurrent(0);
    rowsChanged(first, last);
}

void TableModel::editChanged(std::uint32_t record)
{
    const int row = m_table.isActive() ? m_table.positionOf(record) : -1;
    if (row >= 0 && row < m_rows && m_columns > 0)
        emit dataChanged(index(row, 0), index(row, m_columns - 1));
}

void TableModel::rowsChanged(int first, int last)
{
    checkCount();
    last = std::min(last, m_rows - 1);
    if (first < 0 || last < first || m_columns == 0)
        return;
    emit dataChanged(index(first, 0), index(last, m_columns - 1));
}

void TableModel::checkCount()
{
    const int rows = m_table.isActive() ? m_table.recordCount() : 0;
    if (rows != m_rows)
        reset();
}

void TableModel::setFieldFormat(const QString& fieldName, const QString& pattern)
{
    m_formatsByName[fieldName.toUpper()] = pattern;
    reset();
}

void TableModel::reset()
{
    beginResetModel();
    const bool active = m_table.isActive();
    // A new view (a sort, the kind shown) keeps the current record when it still shows it.
    // A closed table forgets it, so that the next table opens on its first row.
    if (active)
        followCurrent();
    else
        placeCurrent(-1);
    m_rows = active ? m_table.recordCount() : 0;
    m_columns = active ? static_cast<int>(m_table.fields().size()) : 0;
    m_formats.clear();
    for (const auto& [name, pattern] : m_formatsByName) {
        const int c = fieldColumn(name);
        if (c >= 0)
            m_formats[c] = pattern;
    }
    endResetModel();
}

int TableModel::fieldColumn(const QString& fieldName) const
{
    if (fieldName.isEmpty() || !m_table.isActive())
        return -1;
    return m_table.fieldIndex(fieldName.toStdString());
}

bool TableModel::isNumericField(int column) const
{
    if (column < 0 || column >= m_columns)
        return false;
    return store::isNumeric(m_table.fields()[static_cast<std::size_t>(column)].type);
}

int TableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

bool TableModel::rowValid(int row) const
{
    // The table may have lost rows since the last reset; never read past its view.
    return m_table.isActive() && row >= 0 && row < m_rows && row < m_table.recordCount();
}

std::optional<std::uint32_t> TableModel::recordAt(int row) const
{
    if (!rowValid(row))
        return std::nullopt;
    return m_table.recordAt(row);
}

bool TableModel::isEditing() const
{
    return m_document.isEditing();
}

bool TableModel::isBuffered(std::uint32_t record) const
{
    return m_document.editedRecord() == record;
}

QString TableModel::fieldText(int row, int column) const
{
    const auto rec = recordAt(row);
    if (!rec || column < 0 || column >= m_columns)
        return {};
    // The row being edited shows what its edit buffer holds, not what the file has.
    const bool buffered = isBuffered(*rec);
    if (isNumericField(column)) {
        // Empty, as a blank: also dBase's '*' mark of a value too wide for its field, and a
        // text that is no number (which the grid marks as such).
        const auto v = buffered ? m_table.real(column) : m_table.real(*rec, column);
        return v ? generalNumberText(*v) : QString();
    }
    return buffered ? m_table.text(column) : m_table.text(*rec, column);
}

bool TableModel::isUnreadable(int row, int column) const
{
    const auto rec = recordAt(row);
    if (!rec || !isNumericField(column))
        return false;
    const bool buffered = isBuffered(*rec);
    return buffered ? m_table.isUnreadableNumber(column) : m_table.isUnreadableNumber(*rec, column);
}

QString TableModel::unreadableNote(int row, int column) const
{
    if (!isUnreadable(row, column))
        return {};
    const std::uint32_t rec = *recordAt(row);
    const QString text = isBuffered(rec) ? m_table.text(column) : m_table.text(rec, column);
    return QStringLiteral("Значение «%1» нельзя прочитать как число").arg(text);
}

std::optional<double> TableModel::number(int row, int column) const
{
    const auto rec = recordAt(row);
    if (!rec || !isNumericField(column))
        return std::nullopt;
    return isBuffered(*rec) ? m_table.real(column) : m_table.real(*rec, column);
}

QString TableModel::displayText(int row, int column) const
{
    const auto format = m_formats.find(column);
    if (format != m_formats.end()) {
        if (const auto v = number(row, column))
            return patternNumberText(*v, format->second);
    }
    return fieldText(row, column);
}

QVariant TableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !rowValid(index.row()))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return displayText(index.row(), index.column());
    case Qt::EditRole:
        return fieldText(index.row(), index.column());
    case RecordRole:
        return QVariant::fromValue(static_cast<uint>(*recordAt(index.row())));
    case NumberRole:
        if (const auto v = number(index.row(), index.column()))
            return *v;
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case UnreadableRole:
        return isUnreadable(index.row(), index.column());
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        if (const QString note = unreadableNote(index.row(), index.column()); !note.isEmpty())
            return note;
        return {};
    case Qt::BackgroundRole:
        if (isUnreadable(index.row(), index.column()))
            return unreadableCellColor();
        return {};
    default:
        return {};
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= m_columns)
        return {};
    return QString::fromStdString(m_table.fields()[static_cast<std::size_t>(section)].name);
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid())
        return false;
    try {
        setCellText(index.row(), index.column(), value.toString());
        return true;
    } catch (const store::StoreError&) {
        return false;
    }
}

int TableModel::currentRow() const
{
    return rowValid(m_currentRow) ? m_currentRow : -1;
}

void TableModel::setCurrentRow(int row)
{
    const auto rec = recordAt(row);
    if (!rec)
        return;
    // Any move of the cursor writes a row being edited, even onto the row itself.
    if (isEditing()) {
        post();
        row = m_table.positionOf(*rec);
        if (row < 0)
            return;
    }
    m_current = rec;
    m_currentRow = row;
}

void TableModel::setCellText(int row, int column, const QString& text)
{
    const auto rec = recordAt(row);
    if (!rec || column < 0 || column >= m_columns)
        return;
    // The row edited becomes the current one (also when its value is refused), whatever the
    // post of a row left does to the view; a row left that cannot be written keeps the cursor.
    const auto before = std::pair(m_current, m_currentRow);
    m_current = rec;
    m_currentRow = row;
    try {
        m_document.setCellText(*rec, column, text);
    } catch (const document::CellRefused&) {
        followCurrent();
        throw;
    } catch (...) {
        std::tie(m_current, m_currentRow) = before;
        followCurrent();
        throw;
    }
    followCurrent();
}

void TableModel::post()
{
    m_document.post();
}

void TableModel::cancel()
{
    m_document.cancelEdit();
}

} // namespace views
