// Chainage as road engineers write it, both ways.

#include "archive/chainage.h"

#include <gtest/gtest.h>

#include <cmath>

namespace archive {
namespace {

TEST(Chainage, IsWrittenAsPicketPlusMetres)
{
    const struct {
        double metres;
        const char* text;
    } cases[] = {
        {1235.0, "ПК 12+35,0"},  {0.0, "ПК 0+00,0"},      {5.25, "ПК 0+05,3"},    {99.95, "ПК 1+00,0"},
        {1299.96, "ПК 13+00,0"}, {100000.4, "ПК 1000+00,4"}, {-35.0, "ПК -1+65,0"}, {-100.0, "ПК -1+00,0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chainageText(c.metres), QString::fromUtf8(c.text)) << c.metres;
        // What is written reads back to the decimetre.
        const auto back = parseChainage(QString::fromUtf8(c.text));
        ASSERT_TRUE(back) << c.text;
        EXPECT_NEAR(*back, std::round(c.metres * 10) / 10, 1e-9) << c.text;
    }
}

TEST(Chainage, IsReadAsTyped)
{
    const struct {
        const char* typed;
        std::optional<double> metres;
    } cases[] = {
        {"ПК 12+35,0", 1235.0}, {"пк12+35", 1235.0}, {"12+35.5", 1235.5}, {" 12 + 05 ", 1205.0},
        {"1235,5", 1235.5},     {"-20", -20.0},      {"12+100", std::nullopt}, {"ПК", std::nullopt},
        {"", std::nullopt},     {"двенадцать", std::nullopt}, {"nan", std::nullopt}, {"1e999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseChainage(QString::fromUtf8(c.typed)), c.metres) << c.typed;
}

} // namespace
} // namespace archive
