#pragma once

#include "archive/test_filter.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <vector>

namespace archive {

class Archive;

// The tests of one kind that a filter chooses, as a table model: the kind's columns from the
// column catalogue (one line per test), then the site and the table. It holds the ordered ids
// of the chosen tests and reads the rows shown in pages of their own, so that an archive of
// a million tests opens at once and never lies in memory whole.
class TestListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Role {
        TestIdRole = Qt::UserRole + 1, // the test's id in the archive (any column)
        NumberRole,                    // a number column's value, unformatted
    };

    // What a column shows.
    struct Column {
        QString caption;
        QString expression; // SQL over the tests table `t`
        QString pattern;    // numbers: "0.00" and the like; empty for the general form
        bool number = false;
        bool chainage = false; // metres shown as "ПК 12+35,0"
        int width = 90;        // on the screen, in pixels at the usual font
    };

    TestListModel(Archive& archive, int kind, QObject* parent = nullptr);

    int kind() const noexcept { return m_kind; }
    // The filter's kind is replaced by the model's own. Reads the chosen tests again.
    void setFilter(const TestFilter& filter);
    const TestFilter& filter() const noexcept { return m_filter; }
    // Reads the chosen tests again (after an import, an assignment).
    void reload();

    const std::vector<Column>& columnList() const noexcept { return m_columns; }
    qint64 testId(int row) const;
    // The ids of the rows, in the order given.
    std::vector<qint64> testIds(const std::vector<int>& rows) const;
    // The ids of every row, in the order shown.
    const std::vector<qint64>& allTestIds() const noexcept { return m_ids; }
    // The row that shows the test, -1 when none does.
    int rowOf(qint64 id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    static constexpr int kPageRows = 200;

private:
    using Row = QList<QVariant>; // id, then the columns' values
    void loadIds();
    const Row* rowAt(int row) const;
    void loadPage(int page) const;

    Archive& m_archive;
    int m_kind;
    TestFilter m_filter;
    std::vector<Column> m_columns;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::vector<qint64> m_ids;
    mutable QHash<int, std::vector<Row>> m_pages;
    mutable std::vector<int> m_pageUse; // the pages held, least recently read first
};

} // namespace archive
