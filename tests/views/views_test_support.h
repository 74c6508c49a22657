#pragma once

// Helpers of the grid tests: a measurement table made in a private folder, rows written
// through the table engine, a catcher for the message boxes the grid shows, and clicks on
// titles and cells.

#include "store/measurement_table.h"
#include "views/data_grid.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <utility>
#include <vector>

namespace views::test {

using Cells = std::vector<std::pair<store::Field, QVariant>>; // double or QString values

// A measurement table in its own folder, open, filtered to one kind.
class TableFixture {
public:
    explicit TableFixture(const std::vector<Cells>& rows = {}, int kind = store::kPenetrometerKind);
    ~TableFixture();

    store::MeasurementTable& table() { return m_table; }
    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    // Appends and posts one row; NB_TYPE is the fixture's kind unless the cells name it.
    void append(const Cells& cells);
    // Closes and opens the table again, so that what is read comes from the file.
    void reopen();

private:
    QTemporaryDir m_dir;
    QString m_path;
    store::MeasurementTable m_table;
    int m_kind;
};

// Answers every modal dialog that opens while it lives (after `delayMs`), remembering the
// text of each message box.
class ModalCatcher {
public:
    ModalCatcher();
    ~ModalCatcher();
    const QStringList& texts() const { return m_texts; }

private:
    QTimer m_timer;
    QStringList m_texts;
};

// The texts a grid column shows down the view, top row first.
QStringList columnTexts(const DataGrid& grid, const QString& fieldName);
// Clicks a column's title or a cell (scrolling the row into sight first).
void clickTitle(DataGrid& grid, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void clickCell(DataGrid& grid, int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Types text into the open cell editor and presses Enter.
void typeIntoEditor(DataGrid& grid, const QString& text);

} // namespace views::test
