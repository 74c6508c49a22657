// The three designs hold the columns of the printed reports: left edges, widths, captions,
// fields, formats and fonts, row and cell heights, title and footer.

#include "reports/report_templates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace reports {
namespace {

struct ColumnSpec {
    double left;
    double width;
    const char* caption;
    const char* field;
    ValueFormat format = ValueFormat::Plain;
};

struct DesignSpec {
    std::shared_ptr<const ReportDesign> (*make)();
    const char* name;
    bool landscape;
    const char* titleText; // before the serial number
    double titleWidth;
    double captionPoints;
    double rowHeight;
    double cellHeight;
    double footerLeft;
    std::vector<ColumnSpec> columns;
};

const DesignSpec kDesigns[] = {
    {penetrometerDesign, "Report1", true, "ВРТ-ТК5  № ", 295, 8, 95, 90, 844,
     {{71, 61, "N", "N"},
      {132, 80, "Дата", "DATE"},
      {212, 66, "Время", "TIME"},
      {278, 75, "Усилие пенетрации, Н", "P1", ValueFormat::Plain}, // whole forces without ",00"
      {353, 80, "Ср. усилие пенетрации, Н", "P", ValueFormat::Fixed2},
      {433, 97, "Сопротивление пенетрации, МПа", "R"},
      {530, 69, "Модуль упругости, МПа", "U"},
      {599, 73, "Коэфициент уплотнения", "P7"},
      {672, 69, "Индекс влажности", "H"},
      {741, 77, "Угол внутреннего трения, град", "P6"},
      {818, 73, "Удельное сцепление грунта, МПа", "S"},
      {890, 153, "Примечание", "COMMENT"}}},
    {plateTestDesign, "Report3", false, "ДРУ-ТК5  № ", 295, 12, 40, 40, 531,
     {{72, 61, "N", "N"},
      {133, 80, "Дата", "DATE"},
      {213, 66, "Время", "TIME"},
      {279, 144, "P, кН", "P", ValueFormat::Fixed2},
      {423, 120, "Тип и размер пластины", "TYPE"},
      {543, 189, "Примечание", "COMMENT"}}},
    {pressDesign, "Report2", false, "ЛД-ТК5  № ", 333, 12, 40, 40, 531,
     {{72, 61, "N", "N"},
      {133, 80, "Дата", "DATE"},
      {213, 66, "Время", "TIME"},
      {279, 72, "P, Н", "P", ValueFormat::Decimal3},
      {351, 72, "R, МПа", "R", ValueFormat::Decimal3},
      {423, 72, "dН", "H", ValueFormat::Fixed2},
      {495, 104, "Вид испытаний", "T"},
      {599, 133, "Размер образца, мм", "COMMENT"}}},
};

class DesignTest : public ::testing::TestWithParam<DesignSpec> {};

TEST_P(DesignTest, ColumnsCaptionsAndFormats)
{
    const DesignSpec& expected = GetParam();
    const auto design = expected.make();
    const ReportDesign& d = *design;
    EXPECT_EQ(d.name.toStdString(), expected.name);
    EXPECT_EQ(d.landscape, expected.landscape);
    EXPECT_DOUBLE_EQ(d.margins.left, 72);
    EXPECT_DOUBLE_EQ(d.margins.top, 25);
    EXPECT_DOUBLE_EQ(d.margins.right, 25);
    EXPECT_DOUBLE_EQ(d.margins.bottom, 25);

    // Title: no frame, Arial 14 bold, left aligned at the left margin, 64 high.
    ASSERT_EQ(d.title.cells.size(), 1u);
    const ReportCell& title = d.title.cells[0];
    EXPECT_DOUBLE_EQ(title.left, 72);
    EXPECT_DOUBLE_EQ(title.width, expected.titleWidth);
    EXPECT_DOUBLE_EQ(title.height, 64);
    EXPECT_FALSE(title.frame);
    EXPECT_EQ(title.align, HAlign::Left);
    EXPECT_EQ(title.font.family.toStdString(), "Arial");
    EXPECT_DOUBLE_EQ(title.font.pointSize, 14);
    EXPECT_TRUE(title.font.bold);
    ASSERT_EQ(title.pieces.size(), 2u);
    EXPECT_EQ(title.pieces[0].text.toStdString(), expected.titleText);
    EXPECT_EQ(title.pieces[1].kind, Piece::Kind::Field);
    EXPECT_EQ(title.pieces[1].text.toStdString(), "SERIAL");

    // Footer: "Стр. n из m", 202 × 20, right aligned, no frame.
    ASSERT_EQ(d.pageFooter.cells.size(), 1u);
    const ReportCell& footer = d.pageFooter.cells[0];
    EXPECT_DOUBLE_EQ(footer.left, expected.footerLeft);
    EXPECT_DOUBLE_EQ(footer.width, 202);
    EXPECT_DOUBLE_EQ(footer.height, 20);
    EXPECT_EQ(footer.align, HAlign::Right);
    EXPECT_FALSE(footer.frame);
    ASSERT_EQ(footer.pieces.size(), 4u);
    EXPECT_EQ(footer.pieces[1].kind, Piece::Kind::PageNumber);
    EXPECT_EQ(footer.pieces[3].kind, Piece::Kind::PageCount);

    // Captions: boxed, bold, centred, wrapping, 60 high.
    EXPECT_DOUBLE_EQ(d.pageHeader.height, 60);
    ASSERT_EQ(d.pageHeader.cells.size(), expected.columns.size());
    EXPECT_DOUBLE_EQ(d.data.height, expected.rowHeight);
    for (std::size_t i = 0; i < expected.columns.size(); ++i) {
        const ColumnSpec& c = expected.columns[i];
        SCOPED_TRACE(c.caption);
        const ReportCell& head = d.pageHeader.cells[i];
        EXPECT_DOUBLE_EQ(head.left, c.left);
        EXPECT_DOUBLE_EQ(head.width, c.width);
        EXPECT_DOUBLE_EQ(head.height, 60);
        EXPECT_TRUE(head.frame && head.wrap && head.font.bold);
        EXPECT_DOUBLE_EQ(head.font.pointSize, expected.captionPoints);
        EXPECT_EQ(head.align, HAlign::Center);
        EXPECT_EQ(head.pieces[0].text.toStdString(), c.caption);

        // The data cells of this column (five for the stacked forces).
        std::vector<const ReportCell*> cells;
        for (const ReportCell& cell : d.data.cells)
            if (cell.left == c.left)
                cells.push_back(&cell);
        ASSERT_FALSE(cells.empty());
        const bool forces = std::string(c.field) == "P1";
        ASSERT_EQ(cells.size(), forces ? 5u : 1u);
        for (std::size_t k = 0; k < cells.size(); ++k) {
            const ReportCell& cell = *cells[k];
            EXPECT_DOUBLE_EQ(cell.width, c.width);
            EXPECT_TRUE(cell.frame);
            EXPECT_FALSE(cell.font.bold);
            EXPECT_DOUBLE_EQ(cell.font.pointSize, forces ? 8 : 10);
            EXPECT_DOUBLE_EQ(cell.height, forces ? 18 : expected.cellHeight);
            EXPECT_DOUBLE_EQ(cell.top, forces ? 18.0 * static_cast<double>(k) : 0.0);
            ASSERT_EQ(cell.pieces.size(), 1u);
            EXPECT_EQ(cell.pieces[0].kind, Piece::Kind::Field);
            const std::string field = forces ? "P" + std::to_string(k + 1) : c.field;
            EXPECT_EQ(cell.pieces[0].text.toStdString(), field);
            EXPECT_EQ(cell.pieces[0].format, c.format);
            EXPECT_EQ(cell.align, field == "COMMENT" ? HAlign::Left : HAlign::Center);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Designs, DesignTest, ::testing::ValuesIn(kDesigns),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace reports
