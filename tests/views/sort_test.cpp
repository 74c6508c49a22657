// Sorting by title clicks: the cycle of title states, the order of the rows it gives (up is
// descending), Ctrl+click back to file order, the sort reset, and a sorted view that follows
// an edit of its key.

#include "views/grid_tabs.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include <QDate>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace views {
namespace {

using store::Field;
using test::Cells;

// Four tests of one kind in file order, with dates that sort differently as text and as
// dates, and two tests on one day.
struct Sample {
    int n;
    const char* date;
    const char* time;
    double p;
    double r;
};
const Sample kTests[] = {
    {1, "15.06.2004", "10:00", 30, 3.5},
    {2, "31.01.2005", "09:00", 10, 1.5},
    {3, "01.12.2005", "08:00", 20, 2.5},
    {4, "31.01.2005", "07:30", 40, 0.5},
};

Cells cellsOf(const Sample& t)
{
    return {{Field::N, double(t.n)},
            {Field::DATE, QString::fromLatin1(t.date)},
            {Field::TIME, QString::fromLatin1(t.time)},
            {Field::P, t.p},
            {Field::R, t.r}};
}

// The N column expected after sorting the tests by `less`, descending when asked.
QStringList numbersSortedBy(const std::function<bool(const Sample&, const Sample&)>& less, bool descending)
{
    std::vector<Sample> tests(std::begin(kTests), std::end(kTests));
    std::stable_sort(tests.begin(), tests.end(), [&](const Sample& a, const Sample& b) {
        return descending ? less(b, a) : less(a, b);
    });
    QStringList n;
    for (const Sample& t : tests)
        n << QString::number(t.n);
    return n;
}

QStringList fileOrder()
{
    QStringList n;
    for (const Sample& t : kTests)
        n << QString::number(t.n);
    return n;
}

bool byCalendarDate(const Sample& a, const Sample& b)
{
    const auto key = [](const Sample& t) {
        return std::make_pair(QDate::fromString(QString::fromLatin1(t.date), QStringLiteral("dd.MM.yyyy")),
                              QString::fromLatin1(t.time));
    };
    return key(a) < key(b);
}

struct SortCase {
    const char* name;
    int kind;        // the tab's kind, hence Grid1 or Grid2
    const char* field;
    bool (*less)(const Sample&, const Sample&);
};

class TitleClickSort : public ::testing::TestWithParam<SortCase> {};

TEST_P(TitleClickSort, UpIsDescendingThenClicksAlternateAndCtrlClickReturnsToFileOrder)
{
    const SortCase& c = GetParam();
    std::vector<Cells> rows;
    for (const Sample& t : kTests)
        rows.push_back(cellsOf(t));
    // A row of the other kind, between the others in the file: it never shows.
    rows.insert(rows.begin() + 2, Cells{{Field::NB_TYPE, double(1 - c.kind)},
                                        {Field::N, 99.0},
                                        {Field::P, 1000.0},
                                        {Field::R, 100.0},
                                        {Field::DATE, QStringLiteral("01.01.2030")}});
    test::TableFixture fixture(rows, c.kind);
    ASSERT_EQ(fixture.table().table().recordCount(), static_cast<int>(std::size(kTests)));

    QWidget page1, page2;
    GridTabs tabs(fixture.document(), &page1, &page2);
    DataGrid& grid = c.kind == store::kPenetrometerKind ? *tabs.grid1() : *tabs.grid2();
    grid.resize(1000, 900);
    (c.kind == store::kPenetrometerKind ? page1 : page2).show();
    const int column = grid.columnOfField(QString::fromLatin1(c.field));
    ASSERT_GE(column, 0);
    QSignalSpy titleEvents(&grid, &DataGrid::titleStateChanged);

    EXPECT_EQ(test::columnTexts(grid, QStringLiteral("N")), fileOrder());

    struct Step {
        Qt::KeyboardModifiers modifiers;
        TitleState state;
    };
    const Step steps[] = {
        {Qt::NoModifier, TitleState::Up},
        {Qt::NoModifier, TitleState::Down},
        {Qt::NoModifier, TitleState::Up},
        {Qt::ControlModifier, TitleState::None},
    };
    for (const Step& s : steps) {
        test::clickTitle(grid, column, s.modifiers);
        EXPECT_EQ(grid.column(column).titleState, s.state);
        const QStringList expected = s.state == TitleState::None
                                         ? fileOrder()
                                         : numbersSortedBy(c.less, s.state == TitleState::Up);
        EXPECT_EQ(test::columnTexts(grid, QStringLiteral("N")), expected)
            << c.name << " after a click giving state " << static_cast<int>(s.state);
        for (int other = 0; other < grid.columnCount(); ++other) {
            if (other != column) {
                EXPECT_EQ(grid.column(other).titleState, TitleState::None);
            }
        }
    }
    ASSERT_EQ(titleEvents.size(), 4);
    EXPECT_EQ(titleEvents.front().front().toInt(), column);
    // Back in file order, the tab's tag is gone.
    const std::string tag = c.kind == store::kPenetrometerKind ? store::kTab1 : store::kTab2;
    EXPECT_EQ(fixture.table().table().indexName(), "");
    EXPECT_TRUE(fixture.table().table().tagNames().empty()) << "tag " << tag << " left behind";
}

INSTANTIATE_TEST_SUITE_P(Cases, TitleClickSort, ::testing::Values(
    SortCase{"Grid1 by date", store::kPenetrometerKind, "DATE", &byCalendarDate},
    SortCase{"Grid1 by P", store::kPenetrometerKind, "P", [](const Sample& a, const Sample& b) { return a.p < b.p; }},
    SortCase{"Grid2 by date", store::kPressKind, "DATE", &byCalendarDate},
    SortCase{"Grid2 by R", store::kPressKind, "R", [](const Sample& a, const Sample& b) { return a.r < b.r; }}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

class GridTabsSort : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<Cells> rows;
        for (const Sample& t : kTests)
            rows.push_back(cellsOf(t));
        m_fixture = std::make_unique<test::TableFixture>(rows);
        m_tabs = std::make_unique<GridTabs>(m_fixture->document(), &m_page1, &m_page2);
        grid().resize(1000, 900);
        m_page1.show();
    }
    DataGrid& grid() { return *m_tabs->grid1(); }
    int col(const char* field) { return grid().columnOfField(QString::fromLatin1(field)); }

    QWidget m_page1, m_page2;
    std::unique_ptr<test::TableFixture> m_fixture;
    std::unique_ptr<GridTabs> m_tabs;
};

TEST_F(GridTabsSort, ATitleOfAColumnWithoutFieldDoesNothing)
{
    test::clickTitle(grid(), col("P")); // sorted by P, descending
    const QStringList sorted = test::columnTexts(grid(), QStringLiteral("N"));
    QSignalSpy titleEvents(&grid(), &DataGrid::titleStateChanged);

    test::clickTitle(grid(), grid().columnOfField({}));

    EXPECT_TRUE(titleEvents.isEmpty());
    EXPECT_EQ(grid().column(grid().columnOfField({})).titleState, TitleState::None);
    EXPECT_EQ(grid().column(col("P")).titleState, TitleState::Up);
    EXPECT_EQ(test::columnTexts(grid(), QStringLiteral("N")), sorted);
}

TEST_F(GridTabsSort, RemovingTheSortResetsBothTabsAndIsQuietWithoutOne)
{
    test::clickTitle(grid(), col("DATE"));
    m_tabs->grid2()->setTitleState(0, TitleState::Down); // a mark on the other tab too
    test::GridMessages told(*m_tabs);

    m_tabs->unsortAll();
    EXPECT_EQ(test::columnTexts(grid(), QStringLiteral("N")), fileOrder());
    for (DataGrid* g : {m_tabs->grid1(), m_tabs->grid2()})
        for (const GridColumn& c : g->columns())
            EXPECT_EQ(c.titleState, TitleState::None);
    EXPECT_TRUE(m_fixture->table().table().tagNames().empty());

    QSignalSpy resets(m_tabs->model(), &QAbstractItemModel::modelReset);
    m_tabs->unsortAll(); // nothing sorted: nothing changes, nothing is said
    EXPECT_EQ(test::columnTexts(grid(), QStringLiteral("N")), fileOrder());
    EXPECT_TRUE(resets.isEmpty()) << "a view already in file order is not rebuilt";
    EXPECT_TRUE(told.isEmpty()) << told.all();
}

TEST_F(GridTabsSort, ResetSortOfAClosedTableOnlyClearsTheMarks)
{
    grid().setTitleState(col("P"), TitleState::Up);
    m_fixture->document().close();
    resetSort(grid(), m_fixture->document(), store::kTab1);
    EXPECT_EQ(grid().column(col("P")).titleState, TitleState::None);
    EXPECT_EQ(grid().model()->rowCount(), 0);
}

TEST_F(GridTabsSort, AnEditedKeyMovesTheRowToItsNewPlace)
{
    test::clickTitle(grid(), col("P")); // descending: 40, 30, 20, 10
    ASSERT_EQ(test::columnTexts(grid(), QStringLiteral("P")), (QStringList{"40", "30", "20", "10"}));

    // Raise the last row's P above all others; the row is posted when the user leaves it.
    test::clickCell(grid(), 3, col("P"));
    ASSERT_TRUE(grid().startEdit());
    test::typeIntoEditor(grid(), QStringLiteral("50"));
    test::clickCell(grid(), 1, col("P"));
    EXPECT_EQ(test::columnTexts(grid(), QStringLiteral("P")), (QStringList{"50", "40", "30", "20"}));
    EXPECT_EQ(grid().cellText(0, col("N")), QStringLiteral("2"));

    // Lower the top row below all others; ending the edit writes it.
    test::clickCell(grid(), 0, col("P"));
    ASSERT_TRUE(grid().startEdit());
    test::typeIntoEditor(grid(), QStringLiteral("5"));
    ASSERT_TRUE(grid().endEdit());
    EXPECT_EQ(test::columnTexts(grid(), QStringLiteral("P")), (QStringList{"40", "30", "20", "5"}));
    EXPECT_EQ(grid().cellText(3, col("N")), QStringLiteral("2"));
    EXPECT_EQ(grid().currentRow(), 3) << "the cursor stays on the edited record";
}

} // namespace
} // namespace views
