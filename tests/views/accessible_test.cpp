// The grid as assistive technology reads it, across everything that changes what it shows:
// its accessible table, cells and parent links stay in step with the grid, questions out of
// range lead nowhere, and cells handed out before a change never read stale rows.

#include "accessibility_support.h"

#include "views/table_model.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace views {
namespace {

class AccessibleGridChange : public ::testing::TestWithParam<test::GridChange> {};

TEST_P(AccessibleGridChange, TheTreeStaysInStepAndKeptCellsNeverReadStaleRows)
{
    test::GridScene scene;
    const auto kept1 = test::walkAccessibleGrid(scene.grid1());
    const auto kept2 = test::walkAccessibleGrid(scene.grid2());
    ASSERT_FALSE(kept1.empty());

    GetParam().apply(scene);
    QCoreApplication::processEvents();

    for (DataGrid* grid : {&scene.grid1(), &scene.grid2()}) {
        SCOPED_TRACE(grid->objectName().toStdString());
        test::walkAccessibleGrid(*grid);
    }
    test::checkKeptCells(scene.grid1(), kept1);
    test::checkKeptCells(scene.grid2(), kept2);
}

INSTANTIATE_TEST_SUITE_P(Changes, AccessibleGridChange, ::testing::ValuesIn(test::gridChanges()),
                         [](const auto& info) { return std::string(info.param.name); });

// All of them one after the other on the same grids, each walk keeping what the one before
// handed out, as a screen reader does through a working session.
TEST(AccessibleGrid, ASessionOfChangesOneAfterTheOther)
{
    test::GridScene scene;
    auto kept1 = test::walkAccessibleGrid(scene.grid1());
    auto kept2 = test::walkAccessibleGrid(scene.grid2());
    for (const test::GridChange& change : test::gridChanges()) {
        SCOPED_TRACE(change.name);
        change.apply(scene);
        QCoreApplication::processEvents();
        test::checkKeptCells(scene.grid1(), kept1);
        test::checkKeptCells(scene.grid2(), kept2);
        kept1 = test::walkAccessibleGrid(scene.grid1());
        kept2 = test::walkAccessibleGrid(scene.grid2());
    }
}

} // namespace
} // namespace views
