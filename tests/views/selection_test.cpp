// The selection: its count (a lone current row counts as one), the values of P and R kept
// with every row as it entered the selection, Ctrl and Shift, and the order of deletion.

#include "views/grid_tabs.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace views {
namespace {

using store::Field;
using test::Cells;

const double kP[] = {10, 12, 13, 20, 30};
const double kR[] = {1.5, 2.5, 0.5, 4, 3};

class GridSelection : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<Cells> rows;
        for (std::size_t i = 0; i < std::size(kP); ++i)
            rows.push_back({{Field::N, double(i + 1)}, {Field::P, kP[i]}, {Field::R, kR[i]}});
        m_fixture = std::make_unique<test::TableFixture>(rows);
        m_tabs = std::make_unique<GridTabs>(m_fixture->document(), &m_page1, &m_page2);
        for (DataGrid* g : {m_tabs->grid1(), m_tabs->grid2()})
            g->resize(1000, 1400);
        m_page1.show();
    }
    DataGrid& grid() { return *m_tabs->grid1(); }
    int col(const char* f) { return grid().columnOfField(QString::fromLatin1(f)); }
    std::uint32_t recordOfRow(int row) { return m_fixture->table().table().recordAt(row); }

    // The P values kept with the selection, in view order.
    std::vector<double> keptP()
    {
        std::vector<double> p;
        for (const auto& r : grid().selectedRows())
            p.push_back(r.values.at(0).toDouble());
        return p;
    }

    QWidget m_page1, m_page2;
    std::unique_ptr<test::TableFixture> m_fixture;
    std::unique_ptr<GridTabs> m_tabs;
};

TEST_F(GridSelection, NothingSelectedCountsTheCurrentRowOrNothingInAnEmptyView)
{
    test::clickCell(grid(), 2, col("N"));
    EXPECT_EQ(grid().selectionCount(), 1);
    const auto rows = grid().selectedRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].record, recordOfRow(2));
    EXPECT_EQ(rows[0].values, (RowSelection::Values{kP[2], kR[2]}));

    m_fixture->document().showKind(store::kPressKind); // no press rows in this table
    EXPECT_EQ(grid().selectionCount(), 0);
    EXPECT_TRUE(grid().selectedRows().empty());
    EXPECT_EQ(m_tabs->grid2()->selectionCount(), 0);
}

TEST_F(GridSelection, CtrlClicksCollectRowsWithTheirValuesAsTheyWereThen)
{
    QSignalSpy changes(&grid(), &DataGrid::selectionChanged);
    for (int row : {0, 1, 2})
        test::clickCell(grid(), row, col("N"), Qt::ControlModifier);
    EXPECT_EQ(changes.size(), 3);
    EXPECT_EQ(grid().selectionCount(), 3);
    EXPECT_EQ(keptP(), (std::vector<double>{kP[0], kP[1], kP[2]}));
    EXPECT_EQ(grid().selectedRows()[1].values.at(1).toDouble(), kR[1]);

    // An edit of a selected row's P does not change what the selection kept.
    test::clickCell(grid(), 1, col("P"), Qt::ControlModifier); // out …
    test::clickCell(grid(), 1, col("P"), Qt::ControlModifier); // … and in again, current there
    ASSERT_TRUE(grid().startEdit());
    test::typeIntoEditor(grid(), QStringLiteral("99"));
    ASSERT_TRUE(grid().endEdit());
    ASSERT_EQ(grid().cellText(1, col("P")), QStringLiteral("99"));
    EXPECT_EQ(keptP(), (std::vector<double>{kP[0], kP[1], kP[2]}));

    test::clickCell(grid(), 0, col("N"), Qt::ControlModifier); // Ctrl+click again: out
    EXPECT_EQ(grid().selectionCount(), 2);

    test::clickCell(grid(), 4, col("N")); // a plain click leaves just the current row
    EXPECT_EQ(grid().selectionCount(), 1);
    EXPECT_FALSE(grid().isRowSelected(1));
}

TEST_F(GridSelection, ShiftSelectsARangeByClickAndByArrow)
{
    test::clickCell(grid(), 1, col("N"));
    test::clickCell(grid(), 3, col("N"), Qt::ShiftModifier);
    EXPECT_EQ(grid().selectionCount(), 3);
    EXPECT_EQ(keptP(), (std::vector<double>{kP[1], kP[2], kP[3]}));

    test::clickCell(grid(), 0, col("N"));
    QTest::keyClick(&grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&grid(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(grid().currentRow(), 2);
    EXPECT_EQ(keptP(), (std::vector<double>{kP[0], kP[1], kP[2]}));
}

TEST_F(GridSelection, TheCurrentRowMovingIsASelectionChange)
{
    test::clickCell(grid(), 0, col("N"));
    QSignalSpy changes(&grid(), &DataGrid::selectionChanged);
    QTest::keyClick(&grid(), Qt::Key_Down);
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(grid().currentRow(), 1);
    QTest::keyClick(&grid(), Qt::Key_Right); // another column of the same row: no change
    EXPECT_EQ(changes.size(), 1);
}

TEST_F(GridSelection, TheSecondTabSelectsOnlyItsCurrentRow)
{
    // The press tab over penetrometer rows is enough to see the rule.
    DataGrid& g2 = *m_tabs->grid2();
    m_page2.show();
    test::clickCell(g2, 1, g2.columnOfField(QStringLiteral("N")));
    test::clickCell(g2, 3, g2.columnOfField(QStringLiteral("N")), Qt::ControlModifier);
    EXPECT_EQ(g2.selectionCount(), 1);
    EXPECT_EQ(g2.selectedRows().at(0).record, recordOfRow(3));
}

TEST_F(GridSelection, RowsToDeleteRunFromTheLastInTheViewToTheFirst)
{
    for (int row : {3, 0, 1})
        test::clickCell(grid(), row, col("N"), Qt::ControlModifier);
    EXPECT_EQ(grid().rowsToDelete(), (std::vector<std::uint32_t>{recordOfRow(3), recordOfRow(1), recordOfRow(0)}));

    // Sorted by P descending the selection is the same records, in the view's new order.
    const std::vector<std::uint32_t> records = {recordOfRow(0), recordOfRow(1), recordOfRow(3)};
    test::clickTitle(grid(), col("P"));
    EXPECT_EQ(grid().selectionCount(), 3);
    EXPECT_EQ(grid().rowsToDelete(), (std::vector<std::uint32_t>{records[0], records[1], records[2]}));

    // With nothing selected, the current row is the one to go.
    test::clickCell(grid(), 2, col("N"));
    EXPECT_EQ(grid().rowsToDelete(), std::vector<std::uint32_t>{recordOfRow(2)});
}

} // namespace
} // namespace views
