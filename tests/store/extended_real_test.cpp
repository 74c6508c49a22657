// The 64-bit-significand arithmetic against the machine's own: on x86 with GCC or Clang a
// long double is the x87 format, rounded to nearest even after every operation, so it is an
// independent oracle for each operation over random and boundary operands. Elsewhere those
// tests skip themselves and only the worked examples run.

#include "store/extended_real.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace store {
namespace {

bool haveOracle() { return std::numeric_limits<long double>::digits == 64; }

long double asLongDouble(const ExtendedReal& x)
{
    const long double magnitude = std::ldexp(static_cast<long double>(x.significand()), x.exponent());
    return x.isNegative() ? -magnitude : magnitude;
}

// Significands where rounding goes wrong if it goes wrong anywhere: the ends of the range,
// one bit on either side of them, and runs of ones that carry when rounded up.
std::vector<std::uint64_t> boundarySignificands()
{
    const std::uint64_t top = std::uint64_t{1} << 63;
    std::vector<std::uint64_t> v = {top, top + 1, top + 2, ~std::uint64_t{0}, ~std::uint64_t{0} - 1,
                                    top | (top >> 1), 0xAAAAAAAAAAAAAAAAu, 0xFFFFFFFF00000000u, 0x8000000080000000u};
    for (int k : {1, 10, 11, 12, 31, 32, 33, 52, 53, 62})
        v.push_back(top | (std::uint64_t{1} << k) | 1); // a set bit at the rounding positions
    return v;
}

class Operands {
public:
    explicit Operands(unsigned seed) : m_rng(seed) {}

    ExtendedReal random(int exponentSpread)
    {
        const std::uint64_t significand = m_bits(m_rng) | (std::uint64_t{1} << 63);
        const int exponent = std::uniform_int_distribution<int>(-exponentSpread, exponentSpread)(m_rng) - 63;
        return ExtendedReal::fromParts(m_bits(m_rng) & 1, significand, exponent);
    }

    // An operand close to `x`: the same top bits, a few low ones changed, the exponent maybe
    // one apart, so that subtraction cancels most of the significand.
    ExtendedReal near(const ExtendedReal& x)
    {
        const std::uint64_t noise = m_bits(m_rng) >> std::uniform_int_distribution<int>(1, 63)(m_rng);
        const int shift = std::uniform_int_distribution<int>(-1, 1)(m_rng);
        return ExtendedReal::fromParts(m_bits(m_rng) & 1, x.significand() ^ noise, x.exponent() + shift);
    }

    std::mt19937_64& rng() { return m_rng; }

private:
    std::mt19937_64 m_rng;
    std::uniform_int_distribution<std::uint64_t> m_bits;
};

enum class Op { Add, Multiply, Divide };

ExtendedReal apply(Op op, const ExtendedReal& a, const ExtendedReal& b)
{
    switch (op) {
    case Op::Add: return a + b;
    case Op::Multiply: return a * b;
    case Op::Divide: return a / b;
    }
    return {};
}

long double applyOracle(Op op, long double a, long double b)
{
    switch (op) {
    case Op::Add: return a + b;
    case Op::Multiply: return a * b;
    case Op::Divide: return a / b;
    }
    return 0;
}

// Compares one operation with the oracle and says which operands broke it.
void expectLikeOracle(Op op, const ExtendedReal& a, const ExtendedReal& b)
{
    const long double want = applyOracle(op, asLongDouble(a), asLongDouble(b));
    const ExtendedReal got = apply(op, a, b);
    ASSERT_EQ(asLongDouble(got), want)
        << "op " << static_cast<int>(op) << " of " << std::hex << a.significand() << "×2^" << std::dec << a.exponent()
        << (a.isNegative() ? " (neg)" : "") << " and " << std::hex << b.significand() << "×2^" << std::dec
        << b.exponent() << (b.isNegative() ? " (neg)" : "");
    if (!got.isZero()) {
        ASSERT_NE(got.significand() >> 63, 0u) << "result not normalised";
    }
}

class ExtendedRealOracle : public ::testing::TestWithParam<Op> {
protected:
    void SetUp() override
    {
        if (!haveOracle())
            GTEST_SKIP() << "long double is not the x87 format here";
    }
};

TEST_P(ExtendedRealOracle, RandomOperandsRoundLikeTheX87)
{
    Operands gen(20060331 + static_cast<unsigned>(GetParam()));
    for (int i = 0; i < 200000; ++i) {
        const ExtendedReal a = gen.random(70);
        const ExtendedReal b = i % 4 == 0 ? gen.near(a) : gen.random(70);
        expectLikeOracle(GetParam(), a, b);
    }
}

TEST_P(ExtendedRealOracle, BoundarySignificandsAtEveryExponentDistance)
{
    const auto values = boundarySignificands();
    for (std::uint64_t sa : values)
        for (std::uint64_t sb : values)
            for (int distance = -2; distance <= 140; ++distance)
                for (int signs = 0; signs < 4; ++signs)
                    expectLikeOracle(GetParam(), ExtendedReal::fromParts(signs & 1, sa, 0),
                                     ExtendedReal::fromParts(signs & 2, sb, -distance));
}

TEST_P(ExtendedRealOracle, ExactHalvesGoToTheEvenNeighbour)
{
    // b is exactly half a unit in the last place of a (or a product or quotient of such
    // values), the case a rounding that only looks at one guard bit gets wrong.
    const std::uint64_t top = std::uint64_t{1} << 63;
    for (std::uint64_t low : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{3}}) {
        const ExtendedReal a = ExtendedReal::fromParts(false, top | low, 0);
        for (int extra = 0; extra < 3; ++extra) {
            const ExtendedReal b = ExtendedReal::fromParts(extra == 2, top + static_cast<std::uint64_t>(extra), -64);
            expectLikeOracle(GetParam(), a, b);
            expectLikeOracle(GetParam(), b, a);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Ops, ExtendedRealOracle, ::testing::Values(Op::Add, Op::Multiply, Op::Divide));

TEST(ExtendedReal, ConversionsAndTruncationMatchTheOracle)
{
    if (!haveOracle())
        GTEST_SKIP() << "long double is not the x87 format here";
    Operands gen(1234);
    std::uniform_int_distribution<std::int64_t> anyInt(std::numeric_limits<std::int64_t>::min(),
                                                         std::numeric_limits<std::int64_t>::max());
    std::uniform_real_distribution<double> unit(-1e6, 1e6);
    for (int i = 0; i < 100000; ++i) {
        // Exponents that keep the value a normal double, where storing rounds only once.
        const ExtendedReal x = gen.random(900);
        ASSERT_EQ(x.toDouble(), static_cast<double>(asLongDouble(x))) << std::hex << x.significand() << " " << std::dec << x.exponent();
        const ExtendedReal small = gen.random(70);
        ASSERT_EQ(asLongDouble(small.truncated()), std::trunc(asLongDouble(small)));
        const std::int64_t n = anyInt(gen.rng());
        ASSERT_EQ(asLongDouble(ExtendedReal::fromInteger(n)), static_cast<long double>(n)) << n;
        const double d = unit(gen.rng());
        ASSERT_EQ(asLongDouble(ExtendedReal::fromDouble(d)), static_cast<long double>(d)) << d;
    }
    // Rounding into a double: ties to even, and a carry out of the 53 bits.
    const std::uint64_t top = std::uint64_t{1} << 63;
    for (std::uint64_t low : {std::uint64_t{0x400}, std::uint64_t{0xC00}, std::uint64_t{0x401}, std::uint64_t{0x3FF},
                              ~std::uint64_t{0} - top})
        EXPECT_EQ(ExtendedReal::fromParts(false, top | low, 0).toDouble(),
                  static_cast<double>(asLongDouble(ExtendedReal::fromParts(false, top | low, 0))));
}

TEST(ExtendedReal, WorkedExamples)
{
    // 2.25 / 0.1 lies just below 22.5 because the double 0.1 is a little above one tenth;
    // a double division rounds that up to 22.5, the 64-bit significand keeps it below.
    const ExtendedReal tenth = ExtendedReal::fromDouble(0.1);
    const ExtendedReal q = ExtendedReal::fromDouble(2.25) / tenth;
    EXPECT_LT(q.toDouble(), 22.5 + 1e-12);
    EXPECT_EQ((q + ExtendedReal::fromDouble(0.5)).truncated().toDouble(), 22.0);
    EXPECT_EQ((ExtendedReal::fromDouble(2.45) / tenth + ExtendedReal::fromDouble(0.5)).truncated().toDouble(), 25.0);

    EXPECT_EQ((ExtendedReal::fromInteger(7) + ExtendedReal::fromInteger(-7)).toDouble(), 0.0);
    EXPECT_EQ((ExtendedReal::fromInteger(6) * ExtendedReal::fromDouble(-0.5)).toDouble(), -3.0);
    EXPECT_EQ((ExtendedReal::fromInteger(1) / ExtendedReal::fromInteger(4)).toDouble(), 0.25);
    EXPECT_EQ(ExtendedReal::fromDouble(-2.75).truncated().toDouble(), -2.0);
    EXPECT_EQ(ExtendedReal::fromInteger(std::numeric_limits<std::int64_t>::min()).toDouble(), -9223372036854775808.0);
    EXPECT_TRUE((ExtendedReal() * ExtendedReal::fromInteger(3)).isZero());
}

} // namespace
} // namespace store
