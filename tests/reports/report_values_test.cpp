// The texts of the data cells: the report formats and what the data set reads from a table.

#include "reports/prepared_report.h"
#include "reports/report_data_set.h"
#include "reports/report_templates.h"

#include "report_test_support.h"

#include <gtest/gtest.h>

namespace reports {
namespace {

using store::Field;
using store::test::StoreTest;

struct FormatCase {
    double value;
    ValueFormat format;
    const char* text;
};

const FormatCase kFormats[] = {
    {1234.5, ValueFormat::Fixed2, "1234,50"},
    {1234.5, ValueFormat::Decimal3, "1234,5"},
    {1234.5, ValueFormat::Plain, "1234,5"},
    {0.125, ValueFormat::Decimal3, "0,125"},
    {0.125, ValueFormat::Plain, "0,125"},
    {0.125, ValueFormat::Fixed2, "0,13"},
    {2.675, ValueFormat::Fixed2, "2,68"},   // the stored decimal, not the double below it
    {-3.5, ValueFormat::Fixed2, "-3,50"},
    {0, ValueFormat::Fixed2, "0,00"},
    {2, ValueFormat::Decimal3, "2"},
    {100, ValueFormat::Decimal3, "100"},     // only decimals are dropped, never whole zeros
    {1.0005, ValueFormat::Decimal3, "1,001"},
    {0.0004, ValueFormat::Decimal3, "0"},
    {-0.0004, ValueFormat::Decimal3, "0"},   // no "-0"
    {12.3, ValueFormat::Decimal3, "12,3"},
    {0.5, ValueFormat::Decimal3, "0,5"},     // at least one whole digit
};

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, Text)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(formatNumber(c.value, c.format).toStdString(), c.text)
        << c.value;
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::ValuesIn(kFormats));

// A report mixing "1130,00" with "15.91" is what an English system used to get.
TEST(Format, EveryFormatKeepsTheCommaWhateverTheSystemUses)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(formatNumber(1234.5, ValueFormat::Fixed2), QStringLiteral("1234,50"));
    EXPECT_EQ(formatNumber(0.125, ValueFormat::Decimal3), QStringLiteral("0,125"));
    EXPECT_EQ(formatNumber(15.91, ValueFormat::Plain), QStringLiteral("15,91"));
    EXPECT_EQ(formatNumber(1130, ValueFormat::Plain), QStringLiteral("1130")); // a whole force
    QLocale::setDefault(before);
}

class DataSetTest : public StoreTest {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Russian));
        store::test::createTable(path("t.db"), {
            test::penetrometerRow(1, 77, QStringLiteral("01.02.2024"),
                                  {{Field::P, 1234.5}, {Field::R, 0.125}, {Field::COMMENT, QStringLiteral("глина")}}),
            test::penetrometerRow(2, 77, QStringLiteral("02.02.2024"), {{Field::P, test::Blank{}}}),
            test::pressRow(3, 88, QStringLiteral("03.02.2024"), {{Field::P, 5.0}}),
        });
        table.open(path("t.db"));
        table.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        table.table().refresh();
        table.table().first();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    store::MeasurementTable table;
};

TEST_F(DataSetTest, ReadsTheViewByPosition)
{
    ReportDataSet data(table.table());
    ASSERT_EQ(data.rowCount(), 2); // the press row is filtered out
    EXPECT_EQ(data.value(0, "P", ValueFormat::Fixed2), QStringLiteral("1234,50"));
    EXPECT_EQ(data.value(0, "R", ValueFormat::Plain), QStringLiteral("0,125"));
    EXPECT_EQ(data.value(0, "COMMENT", ValueFormat::Fixed2), QStringLiteral("глина")); // text as stored
    EXPECT_EQ(data.value(0, "DATE", ValueFormat::Plain), QStringLiteral("01.02.2024"));
    EXPECT_EQ(data.value(0, "SERIAL", ValueFormat::Plain), QStringLiteral("77"));
    EXPECT_EQ(data.value(1, "P", ValueFormat::Fixed2), QString());     // empty field, empty cell
    EXPECT_EQ(data.value(0, "NOFIELD", ValueFormat::Plain), QString());
    EXPECT_EQ(data.value(2, "P", ValueFormat::Plain), QString());      // outside the view
}

TEST_F(DataSetTest, PreparingLeavesTheTablesCursorAlone)
{
    table.table().first();
    ReportDataSet data(table.table());
    const PreparedReport report = prepareReport(penetrometerDesign(), data);
    ASSERT_EQ(report.pageCount(), 1);
    EXPECT_EQ(table.table().position(), 0) << "the rows are read by their place in the view";
    // The title reads the first row's serial number; the footer knows the page count.
    const auto& cells = report.pages[0].cells;
    EXPECT_EQ(cells.front().text, QStringLiteral("ВРТ-ТК5  № 77"));
    EXPECT_EQ(cells.back().text, QStringLiteral("Стр. 1 из 1"));
}

TEST_F(DataSetTest, AClosedTablePreparesNothing)
{
    table.close();
    ReportDataSet data(table.table());
    EXPECT_TRUE(prepareReport(pressDesign(), data).isEmpty());
}

} // namespace
} // namespace reports
