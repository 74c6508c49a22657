#pragma once

#include "store/dbf_table.h"

namespace document {
class MeasurementDocument;
}

#include <QAbstractTableModel>
#include <QColor>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

namespace views {

// The background of a cell whose value is no number, wherever the grid shows one: a light
// red, under a hatching of its own, apart from the red corner of a row below a limit.
QColor unreadableCellColor();

// The rows of a table as a Qt model: one row per row of the table's view (the records that
// pass its filter, in the order of its active index), one column per field of the file.
//
// Nothing is read ahead: data() looks up the record at a view position and reads the one
// field asked for, so painting the visible rows of a table of 100,000 rows costs what it
// costs for 100. The model follows the document's announcements with the finest signal
// that fits: a posted row is a data change (of the rows it passed over, when a sort moved
// it), rows added or deleted are inserted or removed, and only a new view (open, close, the
// kind shown, a sort) resets the model.
//
// The model is also the grid's data source. It keeps the current row (two grids on one model
// show the same current record) apart from the table's cursor, and reads every cell by record
// through the table's reading members; cell edits go through the document, which alone writes.
class TableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Role {
        RecordRole = Qt::UserRole + 1, // physical record number (uint)
        NumberRole,                    // the field as a number; invalid when blank or text
        UnreadableRole,                // true for a numeric field whose text is no number
    };

    explicit TableModel(document::MeasurementDocument& document, QObject* parent = nullptr);

    document::MeasurementDocument& document() noexcept { return m_document; }
    const store::DbfTable& table() const noexcept { return m_table; }

    // The display format of a field wherever it is shown as field text, e.g. "0.0" for a
    // whole number that the instrument's users read with one decimal.
    void setFieldFormat(const QString& fieldName, const QString& pattern);

    // Re-reads the number of rows and the columns. The document's announcements call it for
    // a new view; nobody else needs to.
    void reset();

    // The column of a field name (without regard to case); -1 when the table has none.
    int fieldColumn(const QString& fieldName) const;
    bool isNumericField(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The generic Qt way in: false when the table refuses the value.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Field texts of a row, read straight from the record (the edit buffer for the row being
    // edited). `display` applies the field's display format.
    QString fieldText(int row, int column) const;
    QString displayText(int row, int column) const;
    std::optional<double> number(int row, int column) const;
    std::optional<std::uint32_t> recordAt(int row) const;
    // A numeric field whose stored text is no number ("nan", "1.2.3"): it shows empty, like
    // a blank, and whoever shows it marks it with the note, which quotes the text.
    bool isUnreadable(int row, int column) const;
    QString unreadableNote(int row, int column) const; // empty when the value reads

    // The current row, -1 when the view is empty. It follows its record when the view
    // changes (a post that re-sorts, rows added, a new sort or kind shown); when its record
    // leaves the view it goes to the first row, and after a deletion to the first place a
    // deleted row held.
    int currentRow() const;
    // Makes `row` current; a row being edited is posted first (a post can move rows in a
    // sorted view: the row asked for is followed by its record). Throws StoreError.
    void setCurrentRow(int row);

    // Puts the value into the row's edit buffer through the document (opening the row for
    // editing, and making it current). Throws document::CellRefused when the table would not
    // take the value (the row keeps its value then), StoreError for other failures.
    void setCellText(int row, int column, const QString& text);
    // Writes a row being edited to the table file. Throws StoreError.
    void post();
    // Drops the edits of the row being edited.
    void cancel();
    bool isEditing() const;

private:
    bool rowValid(int row) const;
    // Whether the row shows its edit buffer rather than what the file holds.
    bool isBuffered(std::uint32_t record) const;
    // The current row becomes `row` of the table's view as it is now, clamped into it.
    void placeCurrent(int row);
    // The current row follows its record; to the first row when the record left the view.
    void followCurrent();
    void rowPosted(std::uint32_t record, int from, int to);
    void deletedRows(int first, int last);
    void renumberedRows(int first, int last);
    void editChanged(std::uint32_t record);
    void rowsInserted(int first, int last);
    void rowsRemoved(int first, int last);
    void rowsChanged(int first, int last);
    // The count the model keeps against the table's: a change announced too coarsely (or
    // not at all) resets rather than leaving the two apart.
    void checkCount();

    document::MeasurementDocument& m_document;
    const store::DbfTable& m_table;
    std::optional<std::uint32_t> m_current; // the current row's record
    int m_currentRow = -1;
    int m_rows = 0;
    int m_columns = 0;
    std::map<QString, QString> m_formatsByName; // upper-case field name → pattern
    std::map<int, QString> m_formats;           // column → pattern, resolved at reset
};

} // namespace views
