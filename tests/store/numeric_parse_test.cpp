// The quick reader of N fields against the general one (std::from_chars): for every text the
// two must give the same answer, bit for bit, and the quick one must really take the shapes
// this program writes.

#include "store/dbf_table.h"
#include "store/numeric_parse.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>

namespace store::test {
namespace {

using detail::parseNumericGeneral;
using detail::parsePlainDecimal;
using detail::PlainDecimal;
using detail::readNumericGeneral;
using detail::readStoredNumber;

const char* nameOf(NumberReading r)
{
    switch (r) {
    case NumberReading::Number:
        return "a number";
    case NumberReading::Empty:
        return "empty";
    case NumberReading::Unreadable:
        return "unreadable";
    }
    return "?";
}

std::string describe(const std::optional<double>& v)
{
    if (!v)
        return "empty";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g (bits %016llx)", *v,
                  static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(*v)));
    return buf;
}

// Both empty, or both the same double to the last bit (so -0 and 0 differ).
::testing::AssertionResult sameReading(const std::optional<double>& quick, const std::optional<double>& general)
{
    const bool same = quick.has_value() == general.has_value() &&
                      (!quick || std::bit_cast<std::uint64_t>(*quick) == std::bit_cast<std::uint64_t>(*general));
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "parseNumeric gives " << describe(quick) << ", from_chars gives "
                                         << describe(general);
}

std::string shown(const std::string& s)
{
    std::string out = "\"";
    for (char c : s)
        out += c == '\0' ? std::string("\\0") : std::string(1, c);
    return out + "\"";
}

TEST(NumericQuickParse, GivesWhatFromCharsGivesForEveryShape)
{
    using namespace std::string_literals;
    const std::string cases[] = {
        // blank
        "", " ", "                  ", "\0\0\0\0"s, " \0 \0"s,
        // signs
        "1", "-1", "+1", "  +7", "   -7", "+", "-", "+-1", "-+1", "--1", "++1", "- 1", "+ 1", "1-", "1+",
        "+.5", "-.5", "+0", "-0", "+-0",
        // leading zeros
        "0001.5", "-000.000", "00000000000000000001", "0000000000000000000000000.5", "007",
        // ',' as the separator
        "1,5", "  -2,25", "1,", ",5", "1,2,3", "1,2.3", "12345678,500000000",
        // zero in its forms
        "0", "0.0", "0.", ".0", "-0.000000000", "       0.000000000", "-.0", "-0.", "   0",
        // the point alone or at either end
        ".", "-.", "+.", "5.", ".5", "  .25  ", "..5", "5..",
        // this program's own shapes
        "      12.500000000", "      -0.250000000", "   65535.000000000", "12345678.500000000",
        "-1234567.500000000", "       0.123456790", "   1", "  13", "  -7", "123456789", "9999", "-999",
        "12  ", " 2.75 ", "      12.5000000\0\0"s,
        // 15 to 17 significant digits and the edge of exact integers
        "0.1234567890123456", "1234567.890123456", "0.30000000000000004", "1.7976931348623157",
        "9007199254740991", "9007199254740992", "9007199254740993", "-9007199254740993",
        "900719925474099.1", "900719925474099.3", "90071992547409.93", "4503599627370495.5",
        "99999999.999999999", "0.000000001", "0.0000000000000000001", "1.0000000000000002",
        "2.2250738585072014", "4.9406564584124654", "0.1", "0.2", "0.3", "0.7", "3.3", "1.1",
        // fields full of digits
        "123456789012345678", "999999999999999999", "1000000000000000000", "9999999999999999999",
        "18446744073709551615", "18446744073709551616", "99999999999999999999", "1.23456789012345678",
        "12345678901234567.8", "0.12345678901234567890", "-99999999999999999.9",
        // exponents
        "1e5", "1E5", "1.5e-3", "-2E+10", "1e", "e5", "1e400", "1.e2", " 1e1 ",
        // garbage
        "abc", "  abc", "1.2.3", "1 000", "12a", "0x1A", "****", "\t1", "1\t", "1_000", "1'000", "--",
        "1\0 2"s, "\0001"s, "1\0002"s,
        // neighbours of blanks and digits, and bytes above 127, inside and after eight-byte runs
        " !5", "       !", "        !5", "/", ":", "  /5", "  :5", "12345678/", "1.2345678:",
        "1.23456789/", "1.12345678", "1.123456789", "1.1234567812345678", "0.0000000000000001",
        "      1\x80", "\xA0\xA0\xA0" "1", "1.\xB0", "\x20" "1", "\x21\x20", "1.5\x01", "\x01\x01\x01\x01\x01\x01\x01\x01",
        "                 1", "                1.", "        .1234567", "       -.12345678",
        // not a finite number
        "nan", "NaN", "-nan", "inf", "-inf", "+inf", "infinity", "INF", "nan(123)",
        // long texts, beyond the 19 digits the quick reader takes
        std::string(64, '1'), std::string(65, '1'), "0." + std::string(61, '0') + "1",
        "0." + std::string(62, '0') + "1", std::string(310, '9'), "1" + std::string(40, '0'),
    };
    int quick = 0;
    for (const std::string& c : cases) {
        SCOPED_TRACE(shown(c));
        EXPECT_TRUE(sameReading(parseNumeric(c), parseNumericGeneral(c)));
        double v = 0;
        if (parsePlainDecimal(c, v) != PlainDecimal::Other)
            ++quick;
    }
    EXPECT_GT(quick, 50) << "the quick reader must take the usual shapes";
}

TEST(NumericQuickParse, TakesThisProgramsShapesAndLeavesTheRest)
{
    struct Case {
        std::string stored;
        PlainDecimal kind;
    };
    const Case cases[] = {
        {"      12.500000000", PlainDecimal::Number},
        {"12345678.500000000", PlainDecimal::Number}, // 17 digits, 1.5 decimals once zeros go
        {"   4", PlainDecimal::Number},
        {"-0.000000000", PlainDecimal::Number},
        {"    ", PlainDecimal::Blank},
        {"", PlainDecimal::Blank},
        {"1,5", PlainDecimal::Other},
        {"1e5", PlainDecimal::Other},
        {"9007199254740993", PlainDecimal::Other},       // not an exact double
        {"00000000000000000001", PlainDecimal::Other},   // 20 digits
        {"+-1", PlainDecimal::Other},
        {"inf", PlainDecimal::Other},
        {".", PlainDecimal::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.stored));
        double v = 0;
        EXPECT_EQ(parsePlainDecimal(c.stored, v), c.kind);
    }
}

// The general reader takes every finite number C's strtod takes (exponents too), keeps what
// the engine took before (',' as the separator, one '+' in front), reads a blank or
// '*'-filled field as empty, and calls anything else unreadable: never empty, never 0. The
// quick-then-general reading of a field, and parseNumeric, say the same.
TEST(NumericGeneralParse, ReadsExponentsAndTellsEmptyFromUnreadable)
{
    using namespace std::string_literals;
    constexpr auto Number = NumberReading::Number;
    constexpr auto Empty = NumberReading::Empty;
    constexpr auto Unreadable = NumberReading::Unreadable;
    struct Case {
        std::string stored;
        NumberReading reading;
        double value = 0; // for Number
    };
    const Case cases[] = {
        // exponents, as other dBase writers store them
        {"1.5E+3", Number, 1500},
        {"    1.5E+3", Number, 1500},
        {"-1e308", Number, -1e308},
        {" 2.5e-3 ", Number, 0.0025},
        {"1E5", Number, 1e5},
        {"\0\0 1E5 \0"s, Number, 1e5},
        {"1e+05", Number, 1e5},
        {"1.e2", Number, 100},
        {".5E1", Number, 5},
        {"+1e2", Number, 100},
        {"-2E-2", Number, -0.02},
        {"0e999", Number, 0},
        {"1e0000000000000000000002", Number, 100},
        {"1.7976931348623157e308", Number, 1.7976931348623157e308},
        {"4.9406564584124654e-324", Number, 4.9406564584124654e-324},
        {"1e-400", Number, 0},  // below the doubles: 0, as strtod gives it
        {"-1e-400", Number, 0}, // and not -0
        // ',' as the separator, exponent or not
        {",5e1", Number, 5},
        {"1,5e2", Number, 150},
        {"  -2,25", Number, -2.25},
        // empty: blanks, NULs, dBase's mark of a value too wide for its field
        {"", Empty},
        {"   ", Empty},
        {"\0\0\0"s, Empty},
        {"**********", Empty},
        {"  ****  ", Empty},
        {"*", Empty},
        // no finite number
        {"nan", Unreadable},
        {"NaN", Unreadable},
        {"-nan", Unreadable},
        {"nan(1)", Unreadable},
        {"inf", Unreadable},
        {"-inf", Unreadable},
        {"+inf", Unreadable},
        {"Infinity", Unreadable},
        {"1e999", Unreadable},
        {"-1e999", Unreadable},
        {"1e309", Unreadable},
        {"0x1p3", Unreadable},
        {"0x10", Unreadable},
        {"abc", Unreadable},
        {"1.2.3", Unreadable},
        {"1,2,3", Unreadable},
        {"1e", Unreadable},
        {"1e+", Unreadable},
        {"e5", Unreadable},
        {".e1", Unreadable},
        {".", Unreadable},
        {"-", Unreadable},
        {"+", Unreadable},
        {"+-1", Unreadable},
        {"-+1", Unreadable},
        {"++1", Unreadable},
        {"1 000", Unreadable},
        {"1e 5", Unreadable},
        {"*1", Unreadable},
        {"1*", Unreadable},
        {"\t1", Unreadable},
        {"1\0 2"s, Unreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.stored));
        double general = -12345;
        EXPECT_EQ(readNumericGeneral(c.stored, general), c.reading)
            << "read as " << nameOf(readNumericGeneral(c.stored, general));
        double field = -12345;
        EXPECT_EQ(readStoredNumber(c.stored, field), c.reading) << "quick, then general";
        const auto parsed = parseNumeric(c.stored);
        EXPECT_EQ(parsed.has_value(), c.reading == Number);
        if (c.reading == Number) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(general), std::bit_cast<std::uint64_t>(c.value))
                << describe(general) << " instead of " << describe(c.value);
            EXPECT_EQ(std::bit_cast<std::uint64_t>(field), std::bit_cast<std::uint64_t>(c.value));
            EXPECT_TRUE(sameReading(parsed, parseNumericGeneral(c.stored)));
        }
    }
}

// Random numbers written in exponent form by printf, with blanks around, read exactly as
// strtod reads them in the C locale (which the test program runs in).
TEST(NumericGeneralParse, ExponentFormsReadAsStrtodReadsThem)
{
    std::mt19937_64 rng(20240611);
    std::uniform_int_distribution<std::uint64_t> bits;
    std::uniform_int_distribution<int> digits(0, 20);
    std::uniform_int_distribution<int> blanks(0, 3);
    const char* const shapes[] = {"%.*e", "%.*E", "%.*g", "%.*G"};
    int read = 0;
    for (int i = 0; i < 50'000; ++i) {
        const double x = std::bit_cast<double>(bits(rng));
        if (!std::isfinite(x))
            continue;
        char buf[128];
        std::snprintf(buf, sizeof buf, shapes[i % 4], digits(rng), x);
        const std::string text = std::string(static_cast<std::size_t>(blanks(rng)), ' ') + buf +
                                 std::string(static_cast<std::size_t>(blanks(rng)), ' ');
        SCOPED_TRACE(shown(text));
        char* end = nullptr;
        const double expected = std::strtod(buf, &end);
        ASSERT_EQ(*end, '\0');
        double v = -12345;
        ASSERT_EQ(readStoredNumber(text, v), NumberReading::Number);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(v), std::bit_cast<std::uint64_t>(expected == 0 ? 0.0 : expected))
            << describe(v) << " instead of " << describe(expected);
        ++read;
    }
    EXPECT_GT(read, 40'000);
}

// Numbers as this program formats them into fields of every width, digit strings with the
// point anywhere, and formatted numbers with one byte spoiled, each read both ways.
TEST(NumericQuickParse, RandomFormattedValuesReadBitForBitAlike)
{
    std::mt19937_64 rng(20240517);
    std::uniform_int_distribution<int> widthOf(1, 20);
    std::uniform_real_distribution<double> unit(0, 1);
    std::uniform_int_distribution<int> scale(-12, 12);
    int compared = 0;
    int quick = 0;
    auto check = [&](const std::string& stored) {
        SCOPED_TRACE(shown(stored));
        ASSERT_TRUE(sameReading(parseNumeric(stored), parseNumericGeneral(stored)));
        double v = 0;
        quick += parsePlainDecimal(stored, v) == PlainDecimal::Number ? 1 : 0;
        ++compared;
    };
    for (int i = 0; i < 100'000; ++i) {
        // A value of any magnitude, formatted as a field stores it.
        const int width = widthOf(rng);
        const int decimals = width <= 2 ? 0 : std::uniform_int_distribution<int>(0, width - 2)(rng);
        double value = (unit(rng) - 0.5) * std::pow(10.0, scale(rng));
        if (i % 7 == 0)
            value = std::round(value); // whole numbers, as in N(4,0) and N(9,0)
        if (const auto stored = formatNumeric(value, width, decimals))
            check(*stored);
        if (const auto stored = formatNumeric(value, 18, 9))
            check(*stored);
        // Up to 20 random digits with a point anywhere, a sign and blanks around.
        const int digits = std::uniform_int_distribution<int>(1, 20)(rng);
        std::string text;
        for (int d = 0; d < digits; ++d)
            text += static_cast<char>('0' + std::uniform_int_distribution<int>(0, 9)(rng));
        const int point = std::uniform_int_distribution<int>(-1, digits)(rng);
        if (point >= 0)
            text.insert(static_cast<std::size_t>(point), 1, '.');
        const int sign = std::uniform_int_distribution<int>(0, 2)(rng);
        if (sign > 0)
            text.insert(0, 1, sign == 1 ? '-' : '+');
        text.insert(0, static_cast<std::size_t>(std::uniform_int_distribution<int>(0, 3)(rng)), ' ');
        text.append(static_cast<std::size_t>(std::uniform_int_distribution<int>(0, 2)(rng)), ' ');
        check(text);
        // A formatted value with one byte changed to any byte at all.
        if (auto stored = formatNumeric(value, 18, 9)) {
            const auto at = std::uniform_int_distribution<std::size_t>(0, stored->size() - 1)(rng);
            (*stored)[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
            check(*stored);
        }
    }
    EXPECT_GT(quick, compared / 2) << "most formatted values must take the quick way";
}

} // namespace
} // namespace store::test
