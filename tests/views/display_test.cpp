// What the cells show: numbers with the system's decimal separator in each column's display
// format, the same texts through the accessibility interface, and (on request) pictures of
// both tabs to look at.

#include "views/grid_tabs.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include <QAccessible>
#include <QDir>
#include <QPixmap>

#include <gtest/gtest.h>

namespace views {
namespace {

using store::Field;
using test::Cells;

struct DisplayCase {
    QLocale::Language language;
    int kind; // Grid1 or Grid2
    Field field;
    double value;
    const char* shown;
};

class CellDisplay : public ::testing::TestWithParam<DisplayCase> {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_P(CellDisplay, NumbersUseTheSystemSeparatorAndTheColumnsFormat)
{
    const DisplayCase& c = GetParam();
    QLocale::setDefault(QLocale(c.language));
    test::TableFixture fixture({{{c.field, c.value}}}, c.kind);
    QWidget page1, page2;
    GridTabs tabs(fixture.document(), &page1, &page2);
    const DataGrid& grid = c.kind == store::kPenetrometerKind ? *tabs.grid1() : *tabs.grid2();
    const int column = grid.columnOfField(QString::fromLatin1(store::fieldName(c.field)));
    ASSERT_GE(column, 0);
    EXPECT_EQ(grid.cellText(0, column), QString::fromUtf8(c.shown));
}

constexpr auto ru = QLocale::Russian;
constexpr auto en = QLocale::English;
constexpr int k1 = store::kPenetrometerKind;
constexpr int k2 = store::kPressKind;

INSTANTIATE_TEST_SUITE_P(Cases, CellDisplay, ::testing::Values(
    DisplayCase{ru, k1, Field::P, 12.5, "12,5"},      // field text
    DisplayCase{en, k1, Field::P, 12.5, "12.5"},
    DisplayCase{ru, k1, Field::R, 0.3125, "0,3125"},
    DisplayCase{ru, k1, Field::N, 7, "7"},
    DisplayCase{ru, k1, Field::H, 0.5, "0,50"},       // "0.00"
    DisplayCase{en, k1, Field::H, 0.5, "0.50"},
    DisplayCase{ru, k1, Field::S, 0.01234, "0,0123"}, // "0.0000"
    DisplayCase{ru, k1, Field::P7, 1.05, "1,05"},
    DisplayCase{ru, k2, Field::P, 12.5, "12,50"},     // "0.00" on the press tab
    DisplayCase{ru, k2, Field::G, 3, "3,0"},          // the field's own "0.0"
    DisplayCase{en, k2, Field::G, 28, "28.0"},
    DisplayCase{ru, k2, Field::K, 96, "96"}));

TEST(CellDisplay, TextsAndEmptyCells)
{
    test::TableFixture fixture({{{Field::DATE, QStringLiteral("31.01.2005")},
                                 {Field::TIME, QStringLiteral("09:05")},
                                 {Field::COMMENT, QStringLiteral("Суглинок тугопластичный")}}});
    QWidget page1, page2;
    GridTabs tabs(fixture.document(), &page1, &page2);
    const DataGrid& grid = *tabs.grid1();
    EXPECT_EQ(test::columnTexts(grid, QStringLiteral("DATE")), QStringList{QStringLiteral("31.01.2005")});
    EXPECT_EQ(test::columnTexts(grid, QStringLiteral("TIME")), QStringList{QStringLiteral("09:05")});
    EXPECT_EQ(test::columnTexts(grid, QStringLiteral("COMMENT")), QStringList{QStringLiteral("Суглинок тугопластичный")});
    EXPECT_EQ(test::columnTexts(grid, QStringLiteral("P")), QStringList{QString()}) << "a blank number shows nothing";
    EXPECT_EQ(grid.cellText(0, grid.columnOfField({})), QString()) << "the force caption column is empty";
}

TEST(Accessibility, TheGridIsATableWhoseCellsReadLikeTheScreen)
{
    QLocale::setDefault(QLocale(QLocale::Russian));
    test::TableFixture fixture({{{Field::N, 1.0}, {Field::P, 12.5}}, {{Field::N, 2.0}, {Field::P, 7.0}}});
    QWidget page1, page2;
    GridTabs tabs(fixture.document(), &page1, &page2);
    DataGrid& grid = *tabs.grid1();
    grid.resize(900, 700);
    page1.show();

    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Table);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Испытания пенетрометра"));
    QAccessibleTableInterface* table = iface->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->columnCount(), grid.columnCount());
    const int p = grid.columnOfField(QStringLiteral("P"));
    EXPECT_EQ(table->columnDescription(p), grid.column(p).caption.simplified());
    for (int row = 0; row < 2; ++row) {
        QAccessibleInterface* cell = table->cellAt(row, p);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->role(), QAccessible::Cell);
        EXPECT_EQ(cell->text(QAccessible::Name), grid.cellText(row, p));
        EXPECT_EQ(cell->tableCellInterface()->rowIndex(), row);
        EXPECT_EQ(iface->indexOfChild(cell), row * grid.columnCount() + p);
    }
    EXPECT_EQ(table->cellAt(1, p)->text(QAccessible::Name), QStringLiteral("7"));
    QLocale::setDefault(QLocale::c());
}

// Pictures of both tabs for a person to look at: written only when KVEL_GRID_SHOTS names
// a folder, never part of the verdict.
TEST(Screenshot, BothTabsWithAFewRows)
{
    const QString folder = qEnvironmentVariable("KVEL_GRID_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "set KVEL_GRID_SHOTS to a folder to get pictures of the grids";
    QLocale::setDefault(QLocale(QLocale::Russian));
    for (int kind : {store::kPenetrometerKind, store::kPressKind}) {
        std::vector<Cells> rows;
        for (int i = 0; i < 6; ++i) {
            rows.push_back({{Field::N, double(i + 1)},
                            {Field::DATE, QStringLiteral("%1.0%2.2005").arg(10 + i).arg(3 + i % 3)},
                            {Field::TIME, QStringLiteral("1%1:%2").arg(i).arg(15 + i * 7)},
                            {Field::P1, 410.0 + i * 13}, {Field::P2, 395.5 + i * 7}, {Field::P3, 402.0 - i},
                            {Field::P4, 388.0 + i * 3}, {Field::P5, 415.25 + i},
                            {Field::P, 402.15 + i}, {Field::R, 1.28 + i * 0.07},
                            {Field::U, 12.4 + i}, {Field::P7, 0.94 + i * 0.01}, {Field::H, 0.5 + i * 0.125},
                            {Field::P6, 27.0 + i}, {Field::S, 0.0215 + i * 0.001}, {Field::K, 96.0 - i},
                            {Field::G, 28.0 + i}, {Field::T, QStringLiteral("Одноосное сжатие")},
                            {Field::COMMENT, i == 2 ? QStringLiteral("Суглинок") : QString()}});
        }
        test::TableFixture fixture(rows, kind);
        QWidget page1, page2;
        GridTabs tabs(fixture.document(), &page1, &page2);
        DataGrid& grid = kind == store::kPenetrometerKind ? *tabs.grid1() : *tabs.grid2();
        grid.resize(1366, 700); // a laptop screen with the window maximised
        (kind == store::kPenetrometerKind ? page1 : page2).resize(1366, 700);
        (kind == store::kPenetrometerKind ? page1 : page2).show();
        grid.setFooterText(grid.columnOfField(QStringLiteral("N")), QStringLiteral("6"));
        grid.setFooterText(grid.columnOfField(QStringLiteral("P")), QStringLiteral("402,15/404,7/407,15"));
        grid.setFooterText(grid.columnOfField(QStringLiteral("R")), QStringLiteral("1,28/1,5/1,63"));
        grid.setColumnColor(grid.columnOfField(QStringLiteral("DATE")), QColor(0xFF, 0xFF, 0xC0));
        grid.setCurrentRow(0);
        grid.setCurrentRow(1);
        if (kind == store::kPenetrometerKind) {
            grid.selectRow(3);
            grid.selectRow(4);
            grid.setTitleState(grid.columnOfField(QStringLiteral("DATE")), TitleState::Up);
        }
        const QString file = QDir(folder).filePath(QStringLiteral("%1.png").arg(grid.objectName()));
        EXPECT_TRUE(grid.grab().save(file)) << file.toStdString();
    }
    QLocale::setDefault(QLocale::c());
}

} // namespace
} // namespace views
