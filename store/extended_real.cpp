#include "store/extended_real.h"

#include <bit>
#include <cmath>

namespace store {

namespace {

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

// An unsigned 128-bit integer made of two halves. Written out instead of using a compiler's
// __int128 so that there is one code path, the one the tests check, on every compiler.
struct U128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    bool isZero() const { return hi == 0 && lo == 0; }
    friend bool operator==(U128 a, U128 b) { return a.hi == b.hi && a.lo == b.lo; }

    // Index of the highest set bit; the value must not be zero.
    int topBit() const { return hi != 0 ? 127 - std::countl_zero(hi) : 63 - std::countl_zero(lo); }

    U128 shiftedLeft(int n) const
    {
        if (n == 0)
            return *this;
        if (n >= 64)
            return {lo << (n - 64), 0};
        return {(hi << n) | (lo >> (64 - n)), lo << n};
    }

    U128 shiftedRight(int n) const
    {
        if (n == 0)
            return *this;
        if (n >= 64)
            return {0, hi >> (n - 64)};
        return {hi >> n, (lo >> n) | (hi << (64 - n))};
    }

    // The n lowest bits (1 <= n <= 64).
    std::uint64_t lowBits(int n) const { return n == 64 ? lo : lo & ((std::uint64_t{1} << n) - 1); }

    friend U128 operator+(U128 a, U128 b)
    {
        const std::uint64_t lo = a.lo + b.lo;
        return {a.hi + b.hi + (lo < a.lo ? 1 : 0), lo};
    }

    friend U128 operator-(U128 a, U128 b) // a >= b
    {
        return {a.hi - b.hi - (a.lo < b.lo ? 1 : 0), a.lo - b.lo};
    }
};

U128 multiply(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t aLo = a & 0xFFFFFFFF, aHi = a >> 32;
    const std::uint64_t bLo = b & 0xFFFFFFFF, bHi = b >> 32;
    const std::uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
    const std::uint64_t middle = (ll >> 32) + (lh & 0xFFFFFFFF) + (hl & 0xFFFFFFFF);
    return {hh + (lh >> 32) + (hl >> 32) + (middle >> 32), (middle << 32) | (ll & 0xFFFFFFFF)};
}

// x / d and its remainder, one quotient bit at a time. Needs x.hi < d, so that the quotient
// fits into 64 bits.
std::uint64_t divide(U128 x, std::uint64_t d, std::uint64_t& remainder)
{
    std::uint64_t r = x.hi;
    std::uint64_t q = 0;
    for (int i = 63; i >= 0; --i) {
        const bool carry = (r & kTopBit) != 0; // r << 1 needs a 65th bit
        r = (r << 1) | ((x.lo >> i) & 1);
        q <<= 1;
        if (carry || r >= d) {
            r -= d; // wraps back into range when carry was set
            q |= 1;
        }
    }
    remainder = r;
    return q;
}

} // namespace

ExtendedReal ExtendedReal::fromDouble(double value)
{
    if (value == 0 || !std::isfinite(value))
        return ExtendedReal(std::signbit(value), 0, 0);
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent); // [0.5, 1)
    // 53 significant bits scaled up to 64: an integer below 2^64, so the conversion is exact.
    const auto significand = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    return ExtendedReal(value < 0, exponent - 64, significand);
}

ExtendedReal ExtendedReal::fromInteger(std::int64_t value)
{
    if (value == 0)
        return {};
    const bool negative = value < 0;
    // Negate in unsigned arithmetic: the smallest int64 has no positive counterpart.
    const std::uint64_t magnitude = negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    return fromParts(negative, magnitude, 0);
}

ExtendedReal ExtendedReal::fromParts(bool negative, std::uint64_t significand, int exponent)
{
    if (significand == 0)
        return ExtendedReal(negative, 0, 0);
    const int shift = std::countl_zero(significand);
    return ExtendedReal(negative, exponent - shift, significand << shift);
}

double ExtendedReal::toDouble() const
{
    if (m_significand == 0)
        return m_negative ? -0.0 : 0.0;
    // Keep 53 of the 64 bits; the 11 dropped ones decide the rounding, ties to even.
    constexpr int kDropped = 64 - 53;
    constexpr std::uint64_t kHalf = std::uint64_t{1} << (kDropped - 1);
    std::uint64_t kept = m_significand >> kDropped;
    const std::uint64_t dropped = m_significand & ((std::uint64_t{1} << kDropped) - 1);
    int exponent = m_exponent + kDropped;
    if (dropped > kHalf || (dropped == kHalf && (kept & 1) != 0)) {
        ++kept;
        if (kept == std::uint64_t{1} << 53) {
            kept >>= 1;
            ++exponent;
        }
    }
    const double magnitude = std::ldexp(static_cast<double>(kept), exponent);
    return m_negative ? -magnitude : magnitude;
}

ExtendedReal ExtendedReal::truncated() const
{
    if (m_significand == 0 || m_exponent >= 0)
        return *this; // zero, or a whole number already
    if (m_exponent <= -64)
        return ExtendedReal(m_negative, 0, 0); // below one: zero keeping its sign, as x87 does
    return fromParts(m_negative, m_significand >> -m_exponent, 0);
}

namespace {

// Rounds value = bits × 2^exponent to a 64-bit significand, nearest, ties to even. When bits
// holds fewer than 64 significant bits it is exact and only moves up. Callers that lost bits
// before calling fold them into bit 0 (a sticky bit), which leaves at least two bits between
// it and the rounding position in every case below.
struct Rounded {
    int exponent;
    std::uint64_t significand;
};

Rounded roundTo64(U128 bits, int exponent)
{
    const int excess = bits.topBit() - 63;
    if (excess <= 0)
        return {exponent + excess, bits.shiftedLeft(-excess).lo};
    const std::uint64_t dropped = bits.lowBits(excess);
    const std::uint64_t half = std::uint64_t{1} << (excess - 1);
    std::uint64_t kept = bits.shiftedRight(excess).lo;
    exponent += excess;
    if (dropped > half || (dropped == half && (kept & 1) != 0)) {
        ++kept;
        if (kept == 0) { // carried out of 64 bits: 2^64 = 2^63 × 2
            kept = kTopBit;
            ++exponent;
        }
    }
    return {exponent, kept};
}

} // namespace

ExtendedReal operator+(const ExtendedReal& a, const ExtendedReal& b)
{
    if (b.m_significand == 0)
        return a.m_significand != 0 ? a : ExtendedReal(a.m_negative && b.m_negative, 0, 0);
    if (a.m_significand == 0)
        return b;
    // Work from the larger magnitude; normalised significands order by exponent first.
    const bool aLarger = a.m_exponent != b.m_exponent ? a.m_exponent > b.m_exponent
                                                      : a.m_significand >= b.m_significand;
    const ExtendedReal& big = aLarger ? a : b;
    const ExtendedReal& small = aLarger ? b : a;
    // Both significands sit at bits 63..126, leaving bit 127 for a carry and 63 bits below
    // for the smaller one's shifted-out part.
    constexpr int kGuardBits = 63;
    const U128 x = U128{0, big.m_significand}.shiftedLeft(kGuardBits);
    U128 y = U128{0, small.m_significand}.shiftedLeft(kGuardBits);
    const long long distance = static_cast<long long>(big.m_exponent) - small.m_exponent;
    if (distance >= 127) {
        y = {0, 1}; // the whole of it is below bit 0: only that it is not zero counts
    } else if (distance > 0) {
        const int d = static_cast<int>(distance);
        const bool lost = d > kGuardBits && !(y.shiftedRight(d).shiftedLeft(d) == y);
        y = y.shiftedRight(d);
        if (lost)
            y.lo |= 1;
    }
    const bool subtract = a.m_negative != b.m_negative;
    const U128 sum = subtract ? x - y : x + y;
    if (sum.isZero())
        return {}; // exact cancellation gives +0 when rounding to nearest
    const Rounded r = roundTo64(sum, big.m_exponent - kGuardBits);
    return ExtendedReal(big.m_negative, r.exponent, r.significand);
}

ExtendedReal operator*(const ExtendedReal& a, const ExtendedReal& b)
{
    const bool negative = a.m_negative != b.m_negative;
    if (a.m_significand == 0 || b.m_significand == 0)
        return ExtendedReal(negative, 0, 0);
    const Rounded r = roundTo64(multiply(a.m_significand, b.m_significand), a.m_exponent + b.m_exponent);
    return ExtendedReal(negative, r.exponent, r.significand);
}

ExtendedReal operator/(const ExtendedReal& a, const ExtendedReal& b)
{
    const bool negative = a.m_negative != b.m_negative;
    if (a.m_significand == 0 || b.m_significand == 0)
        return ExtendedReal(negative, 0, 0); // a zero divisor is the caller's fault; no NaN here
    // Scale the dividend so that the quotient has exactly 64 bits: a / b lies in (1/2, 2).
    const int shift = a.m_significand >= b.m_significand ? 63 : 64;
    const U128 dividend = U128{0, a.m_significand}.shiftedLeft(shift);
    std::uint64_t remainder = 0;
    std::uint64_t q = divide(dividend, b.m_significand, remainder);
    int exponent = a.m_exponent - b.m_exponent - shift;
    // The exact quotient is q + remainder / b: round up past the half. It is never exactly
    // a half: that would need an odd 65-bit multiple of b's odd part to equal a's odd part,
    // which has at most 64 bits.
    const std::uint64_t rest = b.m_significand - remainder; // remainder < b
    if (remainder > rest) {
        ++q;
        if (q == 0) {
            q = kTopBit;
            ++exponent;
        }
    }
    return ExtendedReal(negative, exponent, q);
}

} // namespace store
