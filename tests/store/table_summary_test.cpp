// The footer summary: the rounding of the means, summarizeTable over the filtered rows, the summary
// of selected rows, and the footer texts.

#include "store/table_summary.h"

#include "store/number_text.h"
#include "store_test_support.h"

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace store::test {
namespace {

const QLocale kComma(QLocale::Russian, QLocale::Russia);

// ---- rounding of the means ----------------------------------------------------------------

struct RoundingCase {
    std::vector<double> values;
    const char* shown; // the mean as the footer shows it with a comma
};

class RoundMean : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(RoundMean, RoundsToTheTenthTheDoubleTenthLeadsTo)
{
    const RoundingCase& c = GetParam();
    double sum = 0;
    for (double v : c.values)
        sum += v;
    const double mean = roundMean(sum, static_cast<int>(c.values.size()));
    EXPECT_EQ(generalNumberText(mean, kComma), QString::fromUtf8(c.shown)) << "mean " << mean;
}

INSTANTIATE_TEST_SUITE_P(Table, RoundMean, ::testing::Values(
    RoundingCase{{2.26}, "2,3"},
    RoundingCase{{2.35}, "2,3"}, // the double 2.35 divided by the double 0.1 falls below 23.5
    RoundingCase{{2.25}, "2,2"}, // an exact half, yet down: 0.1 is a little more than a tenth
    RoundingCase{{2.45}, "2,5"}, // and this half goes up: the double 2.45 is above 2.45
    RoundingCase{{2.24}, "2,2"},
    RoundingCase{{1, 2, 4}, "2,3"},
    RoundingCase{{10, 12, 13}, "11,7"},
    RoundingCase{{1, 2}, "1,5"},
    RoundingCase{{2, 2.5}, "2,2"},     // the mean 2.25 from two rows rounds as a lone 2.25 does
    RoundingCase{{0, 0, 0}, "0"},
    RoundingCase{{-1, -2, -4}, "-2,2"})); // trunc cuts toward zero: -23.33 + 0.5 = -22.83 → -22

TEST(RoundMeanExact, TheStoredDoubleOfAMeanOfTenTwelveAndThirteen)
{
    // 117 × 0.1 in the 64-bit significand lies above 11.7 and is stored as the double above it.
    EXPECT_EQ(roundMean(35, 3), 11.700000000000001);
    EXPECT_EQ(roundMean(5, 0), 0.0) << "no rows, no mean";
}

TEST(RoundMeanOracle, AgreesWithTheX87OverRandomAndHalfwayMeans)
{
    if (std::numeric_limits<long double>::digits != 64)
        GTEST_SKIP() << "long double is not the x87 format here";
    auto oracle = [](double sum, int n) {
        const long double tenth = 0.1; // the double 0.1, widened exactly
        const long double m = static_cast<long double>(sum) / n;
        return static_cast<double>(std::trunc(m / tenth + 0.5L) * tenth);
    };
    std::mt19937_64 rng(4242);
    std::uniform_int_distribution<int> count(1, 2000);
    std::uniform_int_distribution<int> hundredths(0, 300000); // values with two decimals, as R
    std::uniform_real_distribution<double> anyValue(0, 5000);
    for (int i = 0; i < 200000; ++i) {
        const int n = count(rng);
        const double sum = i % 2 == 0 ? hundredths(rng) / 100.0 * n : anyValue(rng) * n;
        ASSERT_EQ(roundMean(sum, n), oracle(sum, n)) << "sum " << sum << " n " << n;
    }
    // Every x.x5 from 0 to 1000, where the rounding decides on the last bits.
    for (int k = 0; k < 20000; ++k) {
        const double half = k / 10.0 + 0.05;
        for (int n : {1, 2, 3, 7})
            ASSERT_EQ(roundMean(half * n, n), oracle(half * n, n)) << half << " × " << n;
    }
}

// ---- summarizeTable ----------------------------------------------------------------------------

class FindMma : public StoreTest {
protected:
    // Opens a table of penetrometer rows with these P and R (NaN: the field left empty),
    // plus one press row that the kind filter must keep out of the summary.
    void open(const std::vector<std::pair<double, double>>& pr)
    {
        std::vector<Cells> rows;
        for (auto [p, r] : pr) {
            Cells cells{{Field::NB_TYPE, 0.0}};
            if (!std::isnan(p))
                cells.push_back({Field::P, p});
            if (!std::isnan(r))
                cells.push_back({Field::R, r});
            rows.push_back(cells);
        }
        rows.push_back({{Field::NB_TYPE, 1.0}, {Field::P, 1000.0}, {Field::R, 50.0}});
        createTable(path("t.db"), rows);
        m_table.open(path("t.db"));
        m_table.table().setFilter(kindFilter(kPenetrometerKind));
    }

    MeasurementTable m_table;
};

constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();

void expectSummary(const TableSummary& s, std::array<double, 6> want)
{
    EXPECT_EQ(s.p_min, want[0]);
    EXPECT_NEAR(s.p_avg, want[1], 1e-12);
    EXPECT_EQ(s.p_max, want[2]);
    EXPECT_EQ(s.r_min, want[3]);
    EXPECT_NEAR(s.r_avg, want[4], 1e-12);
    EXPECT_EQ(s.r_max, want[5]);
}

TEST_F(FindMma, NoRowsReadsZero)
{
    open({});
    expectSummary(summarizeTable(m_table), {0, 0, 0, 0, 0, 0});
    m_table.close();
    expectSummary(summarizeTable(m_table), {0, 0, 0, 0, 0, 0});
}

TEST_F(FindMma, OneRowShowsItsOwnValuesThreeTimesUnrounded)
{
    open({{2.25, 12.34}});
    expectSummary(summarizeTable(m_table), {2.25, 2.25, 2.25, 12.34, 12.34, 12.34});
}

TEST_F(FindMma, ThreeRowsOfTheFilteredKind)
{
    open({{2, 0.5}, {1, 0.7}, {4, 0.2}});
    m_table.table().moveTo(1);
    expectSummary(summarizeTable(m_table), {1, 2.3, 4, 0.2, 0.5, 0.7});
    EXPECT_EQ(m_table.table().position(), 1) << "the summary walks with a cursor of its own";
}

TEST_F(FindMma, AnEmptyFieldCountsAsZero)
{
    open({{kEmpty, 3}, {6, kEmpty}});
    expectSummary(summarizeTable(m_table), {0, 3, 6, 0, 1.5, 3});
}

TEST_F(FindMma, TheOtherKindHasItsOwnSummary)
{
    open({{2, 0.5}, {1, 0.7}});
    m_table.table().setFilter(kindFilter(kPressKind));
    expectSummary(summarizeTable(m_table), {1000, 1000, 1000, 50, 50, 50});
    m_table.table().setFilter("");
    expectSummary(summarizeTable(m_table), {1, 334.3, 1000, 0.5, 17.1, 50});
}

TEST_F(FindMma, ReadsWhatTheFileHoldsAndLeavesAnEditAlone)
{
    open({{2, 0.5}, {3, 0.25}});
    m_table.table().moveTo(1);
    m_table.table().edit();
    m_table.setReal(Field::P, 9);
    expectSummary(summarizeTable(m_table), {2, 2.5, 3, 0.25, 0.4, 0.5});
    EXPECT_EQ(m_table.table().state(), DbfTable::State::Edit) << "the edit is neither posted nor dropped";
    m_table.table().post();
    expectSummary(summarizeTable(m_table), {2, 5.5, 9, 0.25, 0.4, 0.5});
}

// ---- selected rows -------------------------------------------------------------------------

struct SelectionCase {
    std::vector<SelectionValues> rows;
    std::array<double, 6> want; // p_min, p_avg, p_max, r_min, r_avg, r_max
};

class SelectionSummary : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(SelectionSummary, MinimumRoundedMeanMaximum)
{
    const SelectionCase& c = GetParam();
    expectSummary(selectionSummary(c.rows), c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, SelectionSummary, ::testing::Values(
    SelectionCase{{{10.0, 1.0}, {12.0, 3.0}, {13.0, 2.0}}, {10, 11.7, 13, 1, 2, 3}},
    SelectionCase{{{13.0, 3.0}, {10.0, 1.0}}, {10, 11.5, 13, 1, 2, 3}},          // first row not the smallest
    SelectionCase{{{2.26, 2.25}, {2.26, 2.25}}, {2.26, 2.3, 2.26, 2.25, 2.2, 2.25}},
    SelectionCase{{{std::nullopt, 4.0}, {5.0, std::nullopt}}, {0, 2.5, 5, 0, 2, 4}}, // empty counts 0
    SelectionCase{{{7.25, 1.0}}, {7.25, 7.25, 7.25, 1, 1, 1}},                     // one row: its values
    SelectionCase{{}, {0, 0, 0, 0, 0, 0}}));

// ---- footer texts --------------------------------------------------------------------------

TEST(FooterTexts, MinMeanMaxJoinedBySlashesInTheGeneralForm)
{
    const std::vector<SelectionValues> rows{{10.0, 0.25}, {12.0, 1.0}, {13.0, 0.5}};
    const FooterTexts f = footerTexts(selectionSummary(rows), 1234567, kComma);
    EXPECT_EQ(f.p, QStringLiteral("10/11,7/13"));
    EXPECT_EQ(f.r, QStringLiteral("0,25/0,6/1"));
    EXPECT_EQ(f.n, QStringLiteral("1234567")) << "the view's row count, no thousands separator";
    EXPECT_EQ(summaryText(1, 1.5, 2, kComma), QStringLiteral("1/1,5/2"));
    EXPECT_EQ(summaryText(-0.0, 1e20, 0.0000015, QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("0/1E20/1.5E-6"));
}

} // namespace
} // namespace store::test
