#pragma once

#include <cstdint>

namespace store {

// A binary floating-point number with a 64-bit significand, as the 80-bit registers of an
// x87 unit hold it, and the three operations the summary's rounding needs. Each operation
// rounds its exact result once, to the nearest 64-bit significand, ties to even.
//
// The rounding of the means has to give the same tenths on every compiler. `long double` is
// that format on x86 with GCC and Clang but plain `double` with MSVC and on ARM, so the
// arithmetic is done here in integers instead. Only what finite means can produce is
// covered: no infinities, no NaN; the exponent is an int and never overflows for values
// that come from doubles.
class ExtendedReal {
public:
    ExtendedReal() = default; // zero
    static ExtendedReal fromDouble(double value);
    static ExtendedReal fromInteger(std::int64_t value);
    // (-1)^negative × significand × 2^exponent, exactly (the significand fits in 64 bits).
    static ExtendedReal fromParts(bool negative, std::uint64_t significand, int exponent);

    // Correctly rounded to the nearest double, ties to even (storing an x87 register into a
    // double variable).
    double toDouble() const;

    // The integer part, cut toward zero. It is exact, so it stays an ExtendedReal.
    ExtendedReal truncated() const;

    friend ExtendedReal operator+(const ExtendedReal& a, const ExtendedReal& b);
    friend ExtendedReal operator*(const ExtendedReal& a, const ExtendedReal& b);
    friend ExtendedReal operator/(const ExtendedReal& a, const ExtendedReal& b); // b != 0

    bool isZero() const { return m_significand == 0; }
    bool isNegative() const { return m_negative; }
    // The value is significand × 2^exponent; the significand's top bit is set unless it is 0.
    std::uint64_t significand() const { return m_significand; }
    int exponent() const { return m_exponent; }

private:
    ExtendedReal(bool negative, int exponent, std::uint64_t significand)
        : m_negative(negative), m_exponent(exponent), m_significand(significand) {}

    // value = (-1)^negative × significand × 2^exponent; the significand's top bit is set
    // unless the value is zero.
    bool m_negative = false;
    int m_exponent = 0;
    std::uint64_t m_significand = 0;
};

} // namespace store
