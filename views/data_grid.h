#pragma once

#include "views/block_layout.h"
#include "views/grid_column.h"
#include "views/row_selection.h"
#include "views/table_model.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QPointer>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QLineEdit;

namespace views {

class TableModel;

// A data-aware grid over a TableModel: an ordered collection of GridColumns arranged in
// column blocks, sort marks in the titles, in-place editing, a multi-row selection that keeps
// the bookmark fields' values of every selected row, a footer row and per-column colours.
//
// Only the rows in sight are read and painted. The current row is the model's, so two grids
// on one model show the same current record.
class DataGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    // The model is not owned; several grids may share one.
    void setModel(TableModel* model);
    TableModel* model() const noexcept { return m_model; }

    // Columns.
    const GridColumns& columns() const noexcept { return m_columns; }
    void setColumns(GridColumns columns);
    int columnCount() const noexcept { return static_cast<int>(m_columns.size()); }
    const GridColumn& column(int i) const { return m_columns.at(static_cast<std::size_t>(i)); }
    int columnOfField(const QString& fieldName) const; // first column bound to it; -1 if none
    void setColumnWidth(int column, int width);
    void setColumnVisible(int column, bool visible);
    void setColumnColor(int column, std::optional<QColor> color);
    void clearColumnColors();
    void setFooterText(int column, const QString& text);
    // Sets a title state without the title-state event (a sort reset, a restored layout).
    void setTitleState(int column, TitleState state);
    void clearTitleStates();

    // Settings.
    void setAutoColumnFit(bool on);
    bool multiSelect() const noexcept { return m_multiSelect; }
    void setMultiSelect(bool on);
    void setShowFooters(bool on);
    // Rows the marker picks get a mark of their own in the cell of `field` (a red corner),
    // whatever the row's colours; the cell's tooltip and accessible description say why with
    // `reason` of the row.
    using RowMarker = std::function<bool(int row)>;
    using MarkReason = std::function<QString(int row)>;
    void setRowMarker(RowMarker marker, const QString& field, MarkReason reason);
    bool isRowMarked(int row) const { return m_rowMarker && m_rowMarker(row); }
    int markedColumn() const { return m_markedField.isEmpty() ? -1 : columnOfField(m_markedField); }
    QString markReason(int row) const { return m_markReason ? m_markReason(row) : QString(); }
    // Off: the selection and the current cell stay drawn while another widget has the focus.
    void setHideSelection(bool on);
    // Field names separated by ";" whose values every selected row keeps ("P;R").
    void setBookmarkFields(const QString& fields);

    // The column layout as text (what a stored layout keeps), and back. A text that does not
    // read is ignored: false, and nothing changes. Stored sort marks are not taken over.
    QString layoutText() const;
    bool setLayoutText(const QString& text);

    // Geometry, in viewport coordinates.
    BlockLayout shownLayout() const; // after fit-to-width: the titles
    // The records' and footers' layout: the titles' without the lines that show no value
    // (the heading over the five forces), so a test takes only the lines it fills.
    BlockLayout rowLayout() const;
    // The footers' layout: one line a block (the summaries stand on the first line of their
    // blocks), so the footer is three lines of text tall in every view.
    BlockLayout footerLayout() const;
    int titleHeight() const;
    int rowHeight() const;
    int footerHeight() const; // 0 while the footer row is off
    QRect titleRect(int column) const;
    QRect cellRect(int row, int column) const; // empty when the row is out of sight
    QRect footerRect(int column) const;
    int rowAt(int y) const;                    // -1 outside the rows
    int firstVisibleRow() const;
    int visibleRowCount() const; // rows that fit wholly

    // The text a cell shows.
    QString cellText(int row, int column) const;
    // Why a cell shows empty when its field is not: the value is no number. Such a cell is
    // hatched on a light red, says so in its tooltip and its accessible description. Empty
    // for every other cell.
    QString cellNote(int row, int column) const;

    // Goes up whenever a row or column number may come to name another cell than before
    // (the model reset, rows or columns added or removed, new columns). Whatever keeps cells
    // by their numbers (the accessible table) must not trust them across a change.
    std::uint64_t structureVersion() const noexcept { return m_structureVersion; }

    // Cursor.
    int currentRow() const;
    void setCurrentRow(int row); // posts a row being edited when it is left
    int currentColumn() const noexcept { return m_currentColumn; }
    void setCurrentColumn(int column);

    // Editing.
    // Opens the cell editor on the current cell; false (and no edit-start event) for a
    // read-only, unbound or hidden column or when there is no current row.
    bool startEdit();
    bool isEditorOpen() const;
    QLineEdit* editor() const noexcept { return m_editor; }
    // Puts the editor's text into the row's edit buffer and closes the editor. A value the
    // table refuses is explained (valueRefused) and not stored; the editor stays open and
    // false is returned.
    bool commitEditor();
    void cancelEditor();
    // Ends a cell edit as Enter would and posts the row being edited through the model, so
    // that whoever follows the model (the footers) learns of it. A refused text is explained
    // and stays in the open editor: false, and the caller must not go on. Throws StoreError
    // when the row cannot be written.
    bool endEdit();

    // Selection. The count is the number of selected rows; with none selected, 1 when there
    // is a current row and 0 when the view is empty.
    int selectionCount() const;
    struct SelectedRow {
        std::uint32_t record = 0;
        RowSelection::Values values; // of the bookmark fields, in their order
    };
    // The rows that count, in view order: the selected ones, or else the current one (with
    // its values as they are now).
    std::vector<SelectedRow> selectedRows() const;
    // Record numbers of the rows a deletion removes, last in the view first.
    std::vector<std::uint32_t> rowsToDelete() const;
    bool isRowSelected(int row) const;
    void selectRow(int row, bool selected = true); // ignored while MultiSelect is off
    void clearSelection();

    // Reports an error met on the grid's behalf through errorOccurred (for services working
    // for the grid, such as its title-click sort).
    void reportError(const std::exception_ptr& error);

    // Never shorter than its titles, three tests and its footer: a dock beside it cannot
    // squeeze the rows out of sight.
    QSize minimumSizeHint() const override;

signals:
    // A title click changed the column's title state.
    void titleStateChanged(int column);
    // The user began editing a cell.
    void editStarted();
    // The selection or the current row changed.
    void selectionChanged();
    // An engine error met inside the grid's own event handling ended what the user was
    // doing; the receiver tells the user before it returns.
    void errorOccurred(const std::exception_ptr& error);
    // The table refused a typed text; `text` says why. The editor keeps the text; the
    // receiver tells the user before it returns, and the editor gets the focus back after.
    void valueRefused(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void modelWasReset();
    void modelStructureChanged(QAccessibleTableModelChangeEvent::ModelChangeType change, int first = -1, int last = -1);
    void announceStructureChange(QAccessibleTableModelChangeEvent::ModelChangeType change, int first = -1, int last = -1);
    void modelDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);
    void notifyAccessibleFocus();
    void resolveFields();
    void layoutChanged();
    // Builds the titles' and the records' layouts for the viewport's width, and the titles'
    // line heights, when they are not up to date.
    void ensureLayout() const;
    int lineHeight() const; // one line of text in a cell, with its padding
    void titlesChanged();
    void updateScrollBars();
    void ensureRowVisible(int row);
    void titleClick(int column, Qt::KeyboardModifiers modifiers);
    void cellClick(int row, int column, Qt::KeyboardModifiers modifiers);
    void moveCursor(int row, int column, bool extendSelection);
    int modelColumn(int column) const;
    RowSelection::Values captureBookmarks(int row) const;
    void placeEditor();
    void closeEditor();
    // No exception may unwind through Qt's event dispatch: the grid's own handlers end here
    // and show the error.
    template <typename Action>
    bool guarded(Action&& action)
    {
        try {
            std::forward<Action>(action)();
            return true;
        } catch (const std::exception&) {
            reportError(std::current_exception());
        }
        return false;
    }
    int titleColumnEdgeAt(const QPoint& pos) const;
    void normalizeWidths();

    QPointer<TableModel> m_model;
    GridColumns m_columns;
    std::vector<int> m_modelColumns;  // per grid column; -1 when unbound or absent
    std::vector<int> m_bookmarkColumns;
    RowSelection m_selection;
    int m_anchorRow = -1;
    int m_currentColumn = 0;
    bool m_autoColumnFit = false;
    bool m_multiSelect = false;
    bool m_showFooters = false;
    RowMarker m_rowMarker;
    QString m_markedField;
    MarkReason m_markReason;
    bool m_hideSelection = true;
    QString m_bookmarkFields;

    mutable std::optional<BlockLayout> m_layout; // cached shown layout
    mutable std::optional<BlockLayout> m_rowLayout; // and the records' layout made from it
    mutable std::optional<BlockLayout> m_footerLayout; // and the footers' one
    mutable int m_layoutWidth = -1;              // the viewport width it was fitted to
    mutable int m_titleHeight = -1;
    mutable int m_lineHeight = -1;

    QLineEdit* m_editor = nullptr;
    int m_editRow = -1;
    std::optional<std::uint32_t> m_editRecord; // the record the editor belongs to
    int m_editColumn = -1;
    QString m_editOriginal;
    bool m_inCommit = false;

    int m_pressedTitle = -1;
    int m_resizeColumn = -1;
    int m_resizeStartX = 0;
    int m_resizeStartWidth = 0;

    std::uint64_t m_structureVersion = 0;
};

} // namespace views
