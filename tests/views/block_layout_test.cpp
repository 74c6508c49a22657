// Column blocks: which columns form a block, where each stands, how tall the bands are.

#include "views/block_layout.h"
#include "views/grid_tabs.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include <gtest/gtest.h>

namespace views {
namespace {

std::vector<BlockLayout::Slot> slotsOf(const GridColumns& columns)
{
    std::vector<BlockLayout::Slot> s;
    for (const GridColumn& c : columns)
        s.push_back({c.width, c.level, c.index, c.visible});
    return s;
}

int columnCaptioned(const GridColumns& columns, const char* caption)
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].caption == QString::fromUtf8(caption))
            return static_cast<int>(i);
    ADD_FAILURE() << "no column " << caption;
    return -1;
}

TEST(BlockLayout, ForceBlockOfTheFirstTabStacksFiveForcesUnderItsCaption)
{
    const GridColumns columns = grid1Columns();
    const BlockLayout layout(slotsOf(columns));
    const int caption = columnCaptioned(columns, "F, Усилие пенетрации, Н");
    const auto& place = layout.columns()[static_cast<std::size_t>(caption)];
    const auto& block = layout.blocks()[static_cast<std::size_t>(place.block)];

    EXPECT_EQ(block.lines, 6);
    EXPECT_EQ(layout.maxLines(), 6);
    EXPECT_EQ(block.width, 97); // every line is one column of 97

    const int band = 120;
    const QRect top = layout.cellRect(caption, 0, band);
    EXPECT_EQ(top.top(), 0);
    int previousBottom = top.bottom();
    for (const char* force : {"№1", "№2", "№3 ", "№4", "№5"}) {
        const QRect r = layout.cellRect(columnCaptioned(columns, force), 0, band);
        EXPECT_EQ(r.top(), previousBottom + 1) << force << " stands right below the line above";
        EXPECT_EQ(r.height(), top.height()) << force << " gets an equal share of the band";
        EXPECT_EQ(r.left(), top.left());
        EXPECT_EQ(r.width(), top.width());
        previousBottom = r.bottom();
    }
    EXPECT_EQ(previousBottom, band - 1);
}

TEST(BlockLayout, BlocksOfBothTabs)
{
    struct Case {
        const char* tab;
        GridColumns columns;
        int blocks;
        int totalWidth; // sum over the blocks of their widest line
    };
    const Case cases[] = {
        // N, Дата, Время, forces (97), Fср, P, the block of E…C (63+53+53+53+78), Примечание
        {"Grid1", grid1Columns(), 8, 22 + 38 + 37 + 97 + 76 + 52 + (63 + 53 + 53 + 53 + 78) + 51},
        // N+Дата, Время, forces (75), Fср, P, the block of E…size (63+37+38+40+124), Вид
        {"Grid2", grid2Columns(), 7, (21 + 47) + 33 + 75 + 39 + 41 + (63 + 37 + 38 + 40 + 124) + 116},
    };
    for (const Case& c : cases) {
        const BlockLayout layout(slotsOf(c.columns));
        EXPECT_EQ(static_cast<int>(layout.blocks().size()), c.blocks) << c.tab;
        EXPECT_EQ(layout.totalWidth(), c.totalWidth) << c.tab;
        EXPECT_EQ(layout.maxLines(), 6) << c.tab;
    }
}

TEST(BlockLayout, ANarrowerLineReachesTheBlockEdgeAndOneLineBlocksTakeTheWholeBand)
{
    // A block with a 100-wide top line and a bottom line of 30 + 20, then a one-line block.
    const BlockLayout layout({{100, 0, 0, true}, {30, 1, 0, true}, {20, 1, 1, true}, {40, 0, 0, true}});
    ASSERT_EQ(layout.blocks().size(), 2u);
    EXPECT_EQ(layout.blocks()[0].width, 100);
    EXPECT_EQ(layout.cellRect(1, 0, 50), QRect(0, 25, 30, 25));
    EXPECT_EQ(layout.cellRect(2, 0, 50), QRect(30, 25, 70, 25)); // widened to the block edge
    EXPECT_EQ(layout.cellRect(3, 0, 50), QRect(100, 0, 40, 50));  // one line: the whole band
    EXPECT_EQ(layout.columnAt(45, 30, 0, 50), 2);
    EXPECT_EQ(layout.columnAt(45, 10, 0, 50), 0);
    EXPECT_EQ(layout.columnAt(120, 49, 0, 50), 3);
}

TEST(BlockLayout, ScalingKeepsNeighboursTouching)
{
    const BlockLayout layout = BlockLayout(slotsOf(grid1Columns())).scaled(1234.0 / 673.0);
    int expectedLeft = 0;
    for (const auto& block : layout.blocks()) {
        EXPECT_EQ(block.x, expectedLeft);
        expectedLeft = block.x + block.width;
    }
    EXPECT_EQ(layout.totalWidth(), 1234);
    EXPECT_EQ(expectedLeft, 1234);
}

TEST(BlockLayout, BandIsAsTallAsTheBlockWithMostLinesNeeds)
{
    // Block 0 has two lines needing 10 each; block 1 one line needing 35.
    const BlockLayout layout({{10, 0, 0, true}, {10, 1, 0, true}, {10, 0, 0, true}});
    const auto need = [](int column, int) { return column == 2 ? 35 : 10; };
    EXPECT_EQ(layout.bandHeight(need, 8), 35);
    const auto small = [](int, int) { return 5; };
    EXPECT_EQ(layout.bandHeight(small, 8), 16); // two lines of at least 8
}

// Records and footers leave out the lines that show nothing (the heading over the forces);
// a block whose lines all show nothing keeps one line, its first column across the block.
TEST(BlockLayout, EmptyLinesTakeNoRoomUnderTheTitles)
{
    // Block 0: a heading (empty) over two lines; block 1: one line; block 2: a heading over
    // two lines that are empty too.
    const BlockLayout layout({{30, 0, 0, true}, {30, 1, 0, true}, {30, 2, 0, true}, {20, 0, 0, true},
                              {40, 0, 0, true}, {40, 1, 0, true}, {40, 2, 0, true}});
    const std::vector<bool> empty = {true, false, false, false, true, true, true};
    const BlockLayout rows = layout.withoutEmptyLines(empty);
    EXPECT_EQ(layout.maxLines(), 3);
    EXPECT_EQ(rows.maxLines(), 2);
    EXPECT_EQ(rows.cellRect(0, 0, 20).width(), 0) << "the heading has no cell";
    EXPECT_EQ(rows.cellRect(1, 0, 20), QRect(0, 0, 30, 10)) << "the first line moved up";
    EXPECT_EQ(rows.cellRect(2, 0, 20), QRect(0, 10, 30, 10));
    EXPECT_EQ(rows.cellRect(3, 0, 20), QRect(30, 0, 20, 20));
    EXPECT_EQ(rows.cellRect(4, 0, 20), QRect(50, 0, 40, 20)) << "one line across the block";
    EXPECT_EQ(rows.cellRect(5, 0, 20).width(), 0);
    EXPECT_EQ(rows.columnAt(60, 5, 0, 20), 4);
    EXPECT_EQ(rows.totalWidth(), layout.totalWidth());
}

// Title lines as tall as their captions need: a two-line heading over one-line captions
// makes a band of 2 + 5 lines, not six lines of two.
TEST(BlockLayout, TitleLinesTakeWhatTheirCaptionsNeed)
{
    BlockLayout layout({{30, 0, 0, true}, {30, 1, 0, true}, {30, 2, 0, true}, {20, 0, 0, true}});
    const auto need = [](int column, int) { return column == 0 ? 24 : column == 3 ? 30 : 10; };
    const int band = layout.fitLineHeights(need, 12);
    EXPECT_EQ(band, 24 + 12 + 12);
    EXPECT_EQ(layout.cellRect(0, 0, band), QRect(0, 0, 30, 24));
    EXPECT_EQ(layout.cellRect(1, 0, band), QRect(0, 24, 30, 12));
    EXPECT_EQ(layout.cellRect(2, 0, band), QRect(0, 36, 30, 12));
    EXPECT_EQ(layout.cellRect(3, 0, band), QRect(30, 0, 20, band)) << "a one-line block fills the band";
    EXPECT_EQ(layout.scaled(2.0).cellRect(1, 0, band).top(), 24) << "scaling keeps the heights";
}

// The grid itself: the force block's cells stand under their titles, the heading has a title
// but no cell, and a test takes the five lines of its forces.
TEST(GridGeometry, TitlesCellsAndFootersOfTheForceBlockLineUp)
{
    test::TableFixture fixture({{{store::Field::P1, 1.0}}});
    TableModel model(fixture.document());
    QWidget page;
    DataGrid* grid = createGrid1(&model, &page);
    grid->resize(900, 700);
    page.show();

    const int caption = grid->columnOfField({}); // the force block's caption cell
    const int p1 = grid->columnOfField(QStringLiteral("P1"));
    const int p5 = grid->columnOfField(QStringLiteral("P5"));
    const int n = grid->columnOfField(QStringLiteral("N"));
    const int lineH = grid->rowHeight() / 5;
    ASSERT_GT(lineH, 0);
    EXPECT_EQ(grid->rowHeight(), 5 * lineH) << "five forces, no empty line above them";

    EXPECT_EQ(grid->cellRect(0, caption).width(), 0);
    const QRect cellP1 = grid->cellRect(0, p1);
    const QRect cellP5 = grid->cellRect(0, p5);
    EXPECT_EQ(cellP1.top(), grid->titleHeight());
    EXPECT_EQ(cellP1.height(), lineH);
    EXPECT_EQ(cellP5.bottom(), grid->titleHeight() + grid->rowHeight() - 1);
    EXPECT_EQ(grid->cellRect(0, n).height(), grid->rowHeight()) << "a one-line block fills the row";
    EXPECT_EQ(cellP1.left(), grid->titleRect(p1).left());
    EXPECT_EQ(cellP1.width(), grid->titleRect(p1).width());

    // The heading's title takes at most two lines of text; each force's title one line.
    EXPECT_EQ(grid->titleRect(caption).top(), 0);
    EXPECT_EQ(grid->titleRect(p1).top(), grid->titleRect(caption).bottom() + 1);
    EXPECT_EQ(grid->titleRect(p1).height(), lineH);
    EXPECT_LE(grid->titleRect(caption).height(), 2 * grid->fontMetrics().lineSpacing() + lineH);
    EXPECT_EQ(grid->titleHeight(), grid->titleRect(caption).height() + 5 * lineH);
    EXPECT_EQ(grid->titleRect(n).height(), grid->titleHeight());

    // The footer: three lines of text for a summary, one line a block.
    EXPECT_EQ(grid->footerHeight(), 3 * lineH);
    EXPECT_EQ(grid->footerRect(p1).height(), grid->footerHeight());
    EXPECT_EQ(grid->footerRect(p5).width(), 0);
    EXPECT_EQ(grid->footerRect(n).bottom(), grid->viewport()->height() - 1);

    // Fit-to-width: the blocks fill the viewport exactly.
    EXPECT_EQ(grid->shownLayout().totalWidth(), grid->viewport()->width());
}

} // namespace
} // namespace views
