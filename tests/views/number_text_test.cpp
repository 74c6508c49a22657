// Number texts: the system's decimal separator, no thousands separator, the shortest form
// with up to 15 significant digits, and fixed decimals for the "0.00"-style formats.

#include "views/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace views {
namespace {

const QLocale kComma(QLocale::Russian, QLocale::Russia);
const QLocale kPoint(QLocale::English, QLocale::UnitedStates);

struct GeneralCase {
    double value;
    const char* comma; // as a Russian system shows it
    const char* point; // as an English one does
};

class GeneralNumberText : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralNumberText, ShortestFormWithTheSystemSeparator)
{
    const GeneralCase& c = GetParam();
    EXPECT_EQ(generalNumberText(c.value, kComma), QString::fromUtf8(c.comma));
    EXPECT_EQ(generalNumberText(c.value, kPoint), QString::fromUtf8(c.point));
}

INSTANTIATE_TEST_SUITE_P(Cases, GeneralNumberText, ::testing::Values(
    GeneralCase{12.5, "12,5", "12.5"},
    GeneralCase{7, "7", "7"},
    GeneralCase{-0.0, "0", "0"},                             // never "-0"
    GeneralCase{11.700000000000001, "11,7", "11.7"},         // a mean of 10, 12 and 13
    GeneralCase{0.1 + 0.2, "0,3", "0.3"},                    // 15 digits hide the binary tail
    GeneralCase{123456789.25, "123456789,25", "123456789.25"}, // no thousands separator
    GeneralCase{-3.75, "-3,75", "-3.75"},
    GeneralCase{0.00001, "0,00001", "0.00001"},
    GeneralCase{0.0000015, "1,5E-6", "1.5E-6"},
    GeneralCase{1e15, "1E15", "1E15"},
    GeneralCase{123456789012345.0, "123456789012345", "123456789012345"}));

struct PatternCase {
    double value;
    const char* pattern;
    const char* comma;
};

class PatternNumberText : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternNumberText, FixedDecimalsRoundedFromTheValueAsShown)
{
    const PatternCase& c = GetParam();
    EXPECT_EQ(patternNumberText(c.value, QString::fromLatin1(c.pattern), kComma), QString::fromUtf8(c.comma));
}

INSTANTIATE_TEST_SUITE_P(Cases, PatternNumberText, ::testing::Values(
    PatternCase{0.5, "0.00", "0,50"},
    PatternCase{2.675, "0.00", "2,68"},   // stored as 2.675, shown rounded up like on paper
    PatternCase{-2.675, "0.00", "-2,68"}, // away from zero
    PatternCase{9.996, "0.00", "10,00"},  // the carry reaches the whole part
    PatternCase{0.006, "0.00", "0,01"},
    PatternCase{0.004, "0.00", "0,00"},
    PatternCase{-0.001, "0.00", "0,00"}, // rounds to zero: no minus sign left
    PatternCase{0.00009, "0.0000", "0,0001"},
    PatternCase{1234.5, "0.0000", "1234,5000"},
    PatternCase{3, "0.0", "3,0"},
    PatternCase{2.5, "0", "3"}));

TEST(PatternDecimals, ReadsOnlyZeroPatterns)
{
    EXPECT_EQ(patternDecimals(QStringLiteral("0.00")), 2);
    EXPECT_EQ(patternDecimals(QStringLiteral("0.0000")), 4);
    EXPECT_EQ(patternDecimals(QStringLiteral("0")), 0);
    EXPECT_EQ(patternDecimals(QStringLiteral("0.")), -1);
    EXPECT_EQ(patternDecimals(QStringLiteral("0.0#")), -1);
    EXPECT_EQ(patternDecimals(QStringLiteral("abc")), -1);
    // Something that is no pattern falls back on the general form rather than inventing one.
    EXPECT_EQ(patternNumberText(1.25, QStringLiteral("x"), kComma), QStringLiteral("1,25"));
}

} // namespace
} // namespace views
