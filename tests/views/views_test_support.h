#pragma once

// Helpers of the grid tests: a measurement document over a table made in a private folder,
// rows written through it, a recorder of what the grids tell their receiver (refused texts,
// errors), and clicks on titles and cells.

#include "document/measurement_document.h"
#include "store/measurement_table.h"
#include "views/data_grid.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <string>
#include <utility>
#include <vector>

namespace views {
class GridTabs;
}

namespace views::test {

using Cells = std::vector<std::pair<store::Field, QVariant>>; // double or QString values

// A measurement table in its own folder, open in a document that shows one kind.
class TableFixture {
public:
    explicit TableFixture(const std::vector<Cells>& rows = {}, int kind = store::kPenetrometerKind);
    ~TableFixture();

    document::MeasurementDocument& document() { return m_document; }
    const store::MeasurementTable& table() const { return m_document.table(); }
    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    // Appends one row and posts it through the document, so that the grids hear of it;
    // NB_TYPE is the fixture's kind unless the cells name it.
    void append(const Cells& cells);
    // Writes everything and reads the table from its file again, the view as it was.
    void reopen();

private:
    QTemporaryDir m_dir;
    QString m_path;
    document::MeasurementDocument m_document;
    int m_kind;
};

// What the grid tabs tell their receiver while the recorder lives: each refused text, and
// the message of each error, in order.
class GridMessages {
public:
    explicit GridMessages(GridTabs& tabs);
    const QStringList& refused() const { return m_refused; }
    const QStringList& errors() const { return m_errors; }
    bool isEmpty() const { return m_refused.isEmpty() && m_errors.isEmpty(); }
    // Everything told, for a failure message.
    std::string all() const;

private:
    QObject m_context; // ends the connections with the recorder
    QStringList m_refused;
    QStringList m_errors;
};

// The texts a grid column shows down the view, top row first.
QStringList columnTexts(const DataGrid& grid, const QString& fieldName);
// Clicks a column's title or a cell (scrolling the row into sight first).
void clickTitle(DataGrid& grid, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void clickCell(DataGrid& grid, int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Types text into the open cell editor and presses Enter.
void typeIntoEditor(DataGrid& grid, const QString& text);

} // namespace views::test
