#pragma once

#include "store/dbf_table.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

namespace views {

// The rows of a table as a Qt model: one row per row of the table's view (the records that
// pass its filter, in the order of its active index), one column per field of the file.
//
// Nothing is read ahead: data() looks up the record at a view position and reads the one
// field asked for, so painting the visible rows of a table of 100,000 rows costs what it
// costs for 100. The table engine does not announce its changes; whoever changes the view
// (filter, index, close, open, rows added or deleted outside this model) calls reset().
//
// The model is also the grid's data source: it moves the table's cursor, opens the current
// row for editing and posts it, and resets itself when a post may have moved the row.
class TableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Role {
        RecordRole = Qt::UserRole + 1, // physical record number (uint)
        NumberRole,                    // the field as a number; invalid when blank or text
    };

    explicit TableModel(store::DbfTable& table, QObject* parent = nullptr);

    store::DbfTable& table() noexcept { return m_table; }
    const store::DbfTable& table() const noexcept { return m_table; }

    // The display format of a field wherever it is shown as field text, e.g. "0.0" for a
    // whole number that the instrument's users read with one decimal.
    void setFieldFormat(const QString& fieldName, const QString& pattern);

    // Re-reads the number of rows and the columns: the table's view or its file changed.
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

    // The cursor: the table's current position, -1 when the view is empty.
    int currentRow() const;
    // Moves the cursor; a row being edited is posted first. A post can move that row to a
    // new place in a sorted view, so the model resets when it posts. Throws StoreError.
    void setCurrentRow(int row);

    // Puts the value into the row's edit buffer (opening the row for editing); the table
    // checks it. Throws StoreError (BadText, BadNumber, ValueTooWide…); the buffer keeps
    // its old value then.
    void setCellText(int row, int column, const QString& text);
    // Writes a row being edited to the table file. Throws StoreError.
    void post();
    // Drops the edits of the row being edited.
    void cancel();
    bool isEditing() const;

signals:
    // A row edited through the model reached the table file (the summary may have changed).
    void rowPosted(std::uint32_t record);

private:
    bool rowValid(int row) const;

    store::DbfTable& m_table;
    int m_rows = 0;
    int m_columns = 0;
    std::map<QString, QString> m_formatsByName; // upper-case field name → pattern
    std::map<int, QString> m_formats;           // column → pattern, resolved at reset
};

} // namespace views
