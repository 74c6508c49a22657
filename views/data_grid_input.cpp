// The grid's cell editor and its mouse and keyboard handling.

#include "views/data_grid.h"

#include "views/table_model.h"

#include "document/measurement_document.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace views {

namespace {

constexpr int kResizeGrip = 3;     // pixels either side of a title edge that start a resize
constexpr int kMinColumnWidth = 8; // a column dragged narrower than this could not be caught again

} // namespace

// ---- editing -------------------------------------------------------------------------------

bool DataGrid::isEditorOpen() const
{
    return m_editor && m_editRow >= 0;
}

bool DataGrid::startEdit()
{
    if (!m_model || isEditorOpen())
        return isEditorOpen();
    const int row = currentRow();
    const int col = m_currentColumn;
    if (row < 0 || col < 0 || col >= columnCount())
        return false;
    const GridColumn& c = m_columns[static_cast<std::size_t>(col)];
    const int mc = modelColumn(col);
    if (c.readOnly || !c.visible || mc < 0)
        return false;
    if (!m_editor) {
        m_editor = new QLineEdit(viewport());
        m_editor->setObjectName(QStringLiteral("CellEditor"));
        m_editor->setFrame(false);
        m_editor->installEventFilter(this);
        m_editor->hide();
    }
    ensureRowVisible(row);
    m_editRow = row;
    m_editRecord = m_model->recordAt(row);
    m_editColumn = col;
    m_editOriginal = m_model->fieldText(row, mc);
    m_editor->setAlignment(c.alignment);
    m_editor->setFont(c.font.value_or(font()));
    m_editor->setAccessibleName(c.caption.simplified());
    m_editor->setText(m_editOriginal);
    m_editor->selectAll();
    placeEditor();
    m_editor->show();
    m_editor->setFocus();
    emit editStarted();
    return true;
}

void DataGrid::placeEditor()
{
    if (!isEditorOpen())
        return;
    const QRect r = cellRect(m_editRow, m_editColumn).adjusted(1, 1, -1, -1);
    if (r.isEmpty()) {
        m_editor->move(-10000, -10000); // out of sight, but it keeps the focus and the text
        return;
    }
    m_editor->setGeometry(r);
}

void DataGrid::closeEditor()
{
    if (!m_editor || m_editRow < 0)
        return;
    const bool hadFocus = m_editor->hasFocus();
    m_editRow = -1;
    m_editColumn = -1;
    m_editor->hide();
    m_editor->clear();
    if (hadFocus)
        setFocus();
}

void DataGrid::cancelEditor()
{
    closeEditor();
}

bool DataGrid::commitEditor()
{
    if (!isEditorOpen())
        return true;
    if (m_inCommit || !m_model)
        return false;
    const QString text = m_editor->text();
    const int mc = modelColumn(m_editColumn);
    if (text == m_editOriginal || mc < 0) {
        closeEditor();
        return true;
    }
    m_inCommit = true;
    QString refusal;
    try {
        m_model->setCellText(m_editRow, mc, text);
    } catch (const document::CellRefused& e) {
        // The document words why the table would not take the text.
        refusal = QString::fromUtf8(e.what());
    } catch (const std::exception&) {
        m_inCommit = false;
        closeEditor();
        reportError(std::current_exception());
        return false;
    }
    if (!refusal.isEmpty()) {
        // The value is not stored; the editor keeps it so that the user can put it right.
        emit valueRefused(refusal);
        m_inCommit = false;
        if (isEditorOpen()) {
            m_editor->setFocus();
            m_editor->selectAll();
        }
        return false;
    }
    m_inCommit = false;
    closeEditor();
    return true;
}

bool DataGrid::endEdit()
{
    if (!commitEditor())
        return false;
    if (m_model)
        m_model->post();
    return true;
}

// ---- input ---------------------------------------------------------------------------------

int DataGrid::titleColumnEdgeAt(const QPoint& pos) const
{
    if (pos.y() < 0 || pos.y() >= titleHeight())
        return -1;
    for (int c = 0; c < columnCount(); ++c) {
        const QRect r = titleRect(c);
        if (r.width() <= 0 || pos.y() < r.top() || pos.y() > r.bottom())
            continue;
        if (std::abs(pos.x() - (r.x() + r.width())) <= kResizeGrip)
            return c;
    }
    return -1;
}

// With fit-to-width on, the stored widths are only proportions. Before the user drags an
// edge they become the widths shown, so that the edge follows the mouse.
void DataGrid::normalizeWidths()
{
    if (!m_autoColumnFit)
        return;
    std::vector<BlockLayout::Slot> columnSlots;
    for (const GridColumn& c : m_columns)
        columnSlots.push_back({c.width, c.level, c.index, c.visible});
    const int total = BlockLayout(columnSlots).totalWidth();
    if (total <= 0)
        return;
    const double factor = viewport()->width() / static_cast<double>(total);
    for (GridColumn& c : m_columns)
        c.width = static_cast<int>(std::lround(c.width * factor));
    layoutChanged();
}

void DataGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus();
    const QPoint pos = event->position().toPoint();
    m_pressedTitle = -1;
    if (pos.y() < titleHeight()) {
        const int edge = titleColumnEdgeAt(pos);
        if (edge >= 0) {
            normalizeWidths();
            m_resizeColumn = edge;
            m_resizeStartX = pos.x();
            m_resizeStartWidth = m_columns[static_cast<std::size_t>(edge)].width;
            return;
        }
        m_pressedTitle = shownLayout().columnAt(pos.x() + horizontalScrollBar()->value(), pos.y(), 0, titleHeight());
        return;
    }
    const int row = rowAt(pos.y());
    if (row < 0)
        return;
    const int h = rowHeight();
    const int top = titleHeight() + (row - firstVisibleRow()) * h;
    const int col = rowLayout().columnAt(pos.x() + horizontalScrollBar()->value(), pos.y(), top, h);
    guarded([&] { cellClick(row, col >= 0 ? col : m_currentColumn, event->modifiers()); });
}

void DataGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_resizeColumn >= 0) {
        setColumnWidth(m_resizeColumn, std::max(kMinColumnWidth, m_resizeStartWidth + pos.x() - m_resizeStartX));
        return;
    }
    viewport()->setCursor(titleColumnEdgeAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void DataGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_resizeColumn >= 0) {
        m_resizeColumn = -1;
        return;
    }
    if (m_pressedTitle >= 0 && event->button() == Qt::LeftButton && pos.y() < titleHeight()) {
        const int col = shownLayout().columnAt(pos.x() + horizontalScrollBar()->value(), pos.y(), 0, titleHeight());
        if (col == m_pressedTitle)
            titleClick(col, event->modifiers());
    }
    m_pressedTitle = -1;
}

void DataGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && rowAt(pos.y()) == currentRow() && currentRow() >= 0)
        startEdit();
}

void DataGrid::titleClick(int column, Qt::KeyboardModifiers modifiers)
{
    if (column < 0 || column >= columnCount())
        return;
    // A column bound to no field has nothing to sort by: its title does not react.
    if (!m_columns[static_cast<std::size_t>(column)].isBound())
        return;
    // The sort resets the model, which would throw away a text still in the editor, and the
    // table would post a buffered row behind the model's back: both are posted first.
    bool ended = false;
    guarded([&] { ended = endEdit(); });
    if (!ended)
        return;
    GridColumn& c = m_columns[static_cast<std::size_t>(column)];
    if (modifiers & Qt::ControlModifier) {
        setTitleState(column, TitleState::None);
    } else {
        for (int i = 0; i < columnCount(); ++i)
            if (i != column)
                setTitleState(i, TitleState::None);
        setTitleState(column, c.titleState == TitleState::Up ? TitleState::Down : TitleState::Up);
    }
    emit titleStateChanged(column);
}

void DataGrid::keyPressEvent(QKeyEvent* event)
{
    if (!m_model) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int row = currentRow();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const auto go = [&](int r, int c) { guarded([&] { moveCursor(r, c, shift); }); };
    const auto nextVisible = [&](int from, int step) {
        for (int c = from + step; c >= 0 && c < columnCount(); c += step)
            if (m_columns[static_cast<std::size_t>(c)].visible)
                return c;
        return from;
    };
    switch (event->key()) {
    case Qt::Key_Up: go(row - 1, m_currentColumn); return;
    case Qt::Key_Down: go(row + 1, m_currentColumn); return;
    case Qt::Key_PageUp: go(row - std::max(visibleRowCount(), 1), m_currentColumn); return;
    case Qt::Key_PageDown: go(row + std::max(visibleRowCount(), 1), m_currentColumn); return;
    case Qt::Key_Home:
        if (ctrl)
            go(0, m_currentColumn);
        else
            setCurrentColumn(nextVisible(-1, 1));
        return;
    case Qt::Key_End:
        if (ctrl)
            go(m_model->rowCount() - 1, m_currentColumn);
        else
            setCurrentColumn(nextVisible(columnCount(), -1));
        return;
    case Qt::Key_Left: setCurrentColumn(nextVisible(m_currentColumn, -1)); return;
    case Qt::Key_Right: setCurrentColumn(nextVisible(m_currentColumn, 1)); return;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter: startEdit(); return;
    case Qt::Key_Escape: m_model->cancel(); return;
    case Qt::Key_Space:
        if (ctrl && m_multiSelect && row >= 0) {
            selectRow(row, !isRowSelected(row));
            return;
        }
        break;
    default: break;
    }
    // Typing over a cell starts editing it with what was typed.
    const QString typed = event->text();
    if (!ctrl && !(event->modifiers() & Qt::AltModifier) && !typed.isEmpty() && typed.front().isPrint()) {
        if (startEdit()) {
            m_editor->setText(typed);
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            commitEditor();
            return true;
        case Qt::Key_Escape:
            cancelEditor();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // Leaving the cell up or down takes the value with it, as in a spreadsheet.
            if (commitEditor())
                keyPressEvent(key);
            return true;
        default: break;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

void DataGrid::wheelEvent(QWheelEvent* event)
{
    const int notches = event->angleDelta().y() / 120;
    verticalScrollBar()->setValue(verticalScrollBar()->value() - notches);
    event->accept();
}

void DataGrid::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void DataGrid::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void DataGrid::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        layoutChanged();
}

void DataGrid::scrollContentsBy(int, int)
{
    placeEditor();
    viewport()->update();
}

bool DataGrid::viewportEvent(QEvent* event)
{
    // The scroll bars coming and going resize the viewport without resizing the grid.
    if (event->type() == QEvent::Resize)
        layoutChanged();
    if (event->type() == QEvent::ToolTip) {
        // A cell whose value is no number says what the value is, a marked cell why it is
        // marked; other cells show the tip the grid would show anyway.
        const QPoint pos = static_cast<QHelpEvent*>(event)->pos();
        const int row = pos.y() >= titleHeight() ? rowAt(pos.y()) : -1;
        QString note;
        if (row >= 0) {
            const int h = rowHeight();
            const int top = titleHeight() + (row - firstVisibleRow()) * h;
            const int col = rowLayout().columnAt(pos.x() + horizontalScrollBar()->value(), pos.y(), top, h);
            if (col >= 0)
                note = cellNote(row, col);
            // The limit mark says which limit the test fails, and by how much.
            if (col >= 0 && col == markedColumn() && isRowMarked(row)) {
                const QString reason = markReason(row);
                note = note.isEmpty() ? reason : reason + QLatin1Char('\n') + note;
            }
        }
        // A title shows its whole caption: a long one is cut to two lines.
        if (pos.y() >= 0 && pos.y() < titleHeight()) {
            const int col = shownLayout().columnAt(pos.x() + horizontalScrollBar()->value(), pos.y(), 0, titleHeight());
            if (col >= 0)
                note = column(col).caption.simplified();
        }
        if (!note.isEmpty()) {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), note, viewport());
            return true;
        }
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void DataGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    layoutChanged();
}

} // namespace views
