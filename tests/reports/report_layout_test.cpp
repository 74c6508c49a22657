// The first pass: where every band goes, from the designs' geometry alone. Nothing here
// needs a font or a device, and this program has no application object at all.

#include "reports/report_layout.h"
#include "reports/report_templates.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace reports {
namespace {

using DesignFactory = std::function<std::shared_ptr<const ReportDesign>()>;

struct LayoutCase {
    const char* design;
    DesignFactory make;
    int rows;
    int pages;
};

// Six penetrometer rows (95 high) fit on every landscape page; 23 rows of 40 on the first
// portrait page, below the title, and 24 on every later one.
const LayoutCase kCases[] = {
    {"Report1", penetrometerDesign, 0, 1},  {"Report1", penetrometerDesign, 1, 1},
    {"Report1", penetrometerDesign, 6, 1},  {"Report1", penetrometerDesign, 7, 2},
    {"Report1", penetrometerDesign, 12, 2}, {"Report1", penetrometerDesign, 13, 3},
    {"Report1", penetrometerDesign, 18, 3}, {"Report1", penetrometerDesign, 19, 4},
    {"Report2", pressDesign, 23, 1},        {"Report2", pressDesign, 24, 2},
    {"Report2", pressDesign, 47, 2},        {"Report2", pressDesign, 48, 3},
    {"Report3", plateTestDesign, 0, 1},     {"Report3", plateTestDesign, 71, 3},
    {"Report3", plateTestDesign, 72, 4},
};

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, BandsGoWhereTheDesignSays)
{
    const LayoutCase& c = GetParam();
    const auto design = c.make();
    const ReportDesign& d = *design;
    const auto pages = layoutPages(d, c.rows);
    ASSERT_EQ(static_cast<int>(pages.size()), c.pages);

    const double footerTop = d.paper.height() - d.margins.bottom - d.pageFooter.height;
    int nextRow = 0;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE(testing::Message() << "page " << p + 1);
        const auto& bands = pages[p].bands;
        ASSERT_GE(bands.size(), 2u);
        std::size_t i = 0;
        double y = d.margins.top;
        // The title on the first page only, at the top margin.
        if (p == 0) {
            EXPECT_EQ(bands[i].kind, BandKind::Title);
            EXPECT_DOUBLE_EQ(bands[i].top, d.margins.top);
            y += d.title.height;
            ++i;
        }
        // The captions on every page, right below the title or the top margin.
        EXPECT_EQ(bands[i].kind, BandKind::PageHeader);
        EXPECT_DOUBLE_EQ(bands[i].top, y);
        y += d.pageHeader.height;
        ++i;
        // Each row once, in view order, one below the other, never into the footer.
        for (; i + 1 < bands.size(); ++i) {
            EXPECT_EQ(bands[i].kind, BandKind::Data);
            EXPECT_EQ(bands[i].row, nextRow++);
            EXPECT_DOUBLE_EQ(bands[i].top, y);
            y += d.data.height;
            EXPECT_LE(y, footerTop + 1e-6);
        }
        // The footer last, on the bottom margin.
        EXPECT_EQ(bands.back().kind, BandKind::PageFooter);
        EXPECT_DOUBLE_EQ(bands.back().top, footerTop);
        // A page is only left for the next when it is full.
        if (p + 1 < pages.size()) {
            EXPECT_GT(y + d.data.height, footerTop);
        }
    }
    EXPECT_EQ(nextRow, c.rows);
}

INSTANTIATE_TEST_SUITE_P(Designs, LayoutTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             return std::string(info.param.design) + "_" + std::to_string(info.param.rows) + "rows";
                         });

TEST(Layout, RowsPerPage)
{
    EXPECT_EQ(rowsOnFirstPage(*penetrometerDesign()), 6);
    EXPECT_EQ(rowsOnLaterPage(*penetrometerDesign()), 6);
    for (const auto& design : {pressDesign(), plateTestDesign()}) {
        EXPECT_EQ(rowsOnFirstPage(*design), 23) << design->name.toStdString();
        EXPECT_EQ(rowsOnLaterPage(*design), 24) << design->name.toStdString();
    }
}

TEST(Layout, ARowTallerThanThePageStillGetsAPageOfItsOwn)
{
    ReportDesign d = *pressDesign();
    d.data.height = 5000;
    const auto pages = layoutPages(d, 3);
    ASSERT_EQ(pages.size(), 3u);
    for (const auto& page : pages)
        EXPECT_EQ(std::count_if(page.bands.begin(), page.bands.end(),
                                [](const PlacedBand& b) { return b.kind == BandKind::Data; }), 1);
}

TEST(Layout, DesignsMatchTheirPaper)
{
    // Landscape for the penetrometer report; the table stays inside the paper's margins.
    for (const auto& design : {penetrometerDesign(), pressDesign(), plateTestDesign()}) {
        SCOPED_TRACE(design->name.toStdString());
        const double right = design->paper.width() - design->margins.right;
        for (const ReportBand* band : {&design->title, &design->pageHeader, &design->data, &design->pageFooter})
            for (const ReportCell& cell : band->cells) {
                EXPECT_GE(cell.left, design->margins.left - 1);
                EXPECT_LE(cell.left + cell.width, right);
                EXPECT_LE(cell.top + cell.height, band->height);
            }
    }
    EXPECT_TRUE(penetrometerDesign()->landscape);
    EXPECT_GT(penetrometerDesign()->paper.width(), penetrometerDesign()->paper.height());
    EXPECT_FALSE(pressDesign()->landscape);
    EXPECT_FALSE(plateTestDesign()->landscape);
}

} // namespace
} // namespace reports
