#pragma once

// Reading the text of an N field. A grid, an export or a sort reads millions of these, nearly
// all of them in the one shape this engine writes ("      12.500000000"), so that shape has
// a quick reader; everything else goes the general way through std::from_chars. Both give the
// same double for every text: the quick reader takes only numbers it can compute exactly.
//
// Other programs write numbers this engine never writes ("1.5E+3"), and damaged or foreign
// files hold texts that are no number at all ("nan", "1.2.3"). The general reader tells the
// two apart from an empty field, so that such a value is reported instead of passing for a
// blank.

#include "store/byte_scan.h"

#include <cfloat>
#include <cstdint>
#include <optional>
#include <string_view>

// Field reads are a few nanoseconds of work each; left to itself the compiler calls these
// out of line and passes the results through memory, which costs more than the work.
#if defined(__GNUC__)
#define KVEL_HOT_INLINE [[gnu::always_inline]] inline
#elif defined(_MSC_VER)
#define KVEL_HOT_INLINE __forceinline
#else
#define KVEL_HOT_INLINE inline
#endif

namespace store {

// What the text of a numeric field holds: a number; nothing (blanks and NULs, or a field
// filled with '*', which dBase writes for a value too wide for its field); or a text that is
// no finite number, which must not be mistaken for either.
enum class NumberReading { Number, Empty, Unreadable };

} // namespace store

namespace store::detail {

// The general reader. It takes what C's strtod takes in the C locale for a finite decimal
// number (a sign, digits with or without a point, an exponent), with blanks and NULs around
// it, and besides one '+' in front and ',' as the separator. Hexadecimal, "inf" and "nan"
// are no numbers here, nor is one beyond the doubles' range; one too small for a double
// reads as 0, as strtod gives it. -0 reads as 0. `value` is set only for Number.
NumberReading readNumericGeneral(std::string_view stored, double& value);
// The same as an optional: empty and unreadable both give nullopt.
std::optional<double> parseNumericGeneral(std::string_view stored);

// The quick reader: [blanks] [+|-] digits [. digits] [blanks], at most 19 digits. The digits
// make a whole number m, with k of them decimals. When m < 2^53 and k <= 22, both m and 10^k
// are exact doubles and one division rounds m / 10^k correctly, which is the double that
// from_chars gives too. (Decimals that end in zeros are dropped first when m is too big
// otherwise: they change the quotient's value in no way.) A field of nothing but blanks and
// NULs is Blank. Any other text is Other, and `value` is left alone.
enum class PlainDecimal { Number, Blank, Other };
KVEL_HOT_INLINE PlainDecimal parsePlainDecimal(std::string_view stored, double& value) noexcept
{
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr std::uint64_t kExactLimit = std::uint64_t(1) << 53;
    constexpr int kMaxDigits = 19; // 10^19 - 1 still fits std::uint64_t
    auto blank = [](char c) { return c == ' ' || c == '\0'; };
    auto digitOf = [](char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)) - unsigned('0'); };

    const char* p = stored.data();
    const char* end = p + stored.size();
    if constexpr (bytes8::kUsable) {
        for (; end - p >= 8; p += 8) {
            const std::uint64_t x = bytes8::load(p);
            if (x == bytes8::kBlanks)
                continue;
            if (const std::uint64_t f = bytes8::filled(x)) {
                p += bytes8::firstMarked(f);
                break;
            }
        }
    }
    while (p != end && blank(*p))
        ++p;
    while (end != p && blank(end[-1]))
        --end;
    if (p == end)
        return PlainDecimal::Blank;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    std::uint64_t m = 0; // wraps past 19 digits, and such a text is refused below
    int digits = 0;
    int decimals = 0;
    for (; p != end && digitOf(*p) < 10; ++p, ++digits)
        m = m * 10 + digitOf(*p);
    if (p != end) {
        if (*p != '.')
            return PlainDecimal::Other;
        ++p;
        if constexpr (bytes8::kUsable) {
            for (; end - p >= 8; p += 8, digits += 8, decimals += 8) {
                const std::uint64_t x = bytes8::load(p);
                if (bytes8::nonDigits(x))
                    break;
                m = m * 100000000 + bytes8::eightDigits(x);
            }
        }
        for (; p != end; ++p, ++digits, ++decimals) {
            if (digitOf(*p) >= 10)
                return PlainDecimal::Other;
            m = m * 10 + digitOf(*p);
        }
    }
    if (digits == 0 || digits > kMaxDigits)
        return PlainDecimal::Other;
    if (m == 0) {
        value = 0.0; // -0 too
        return PlainDecimal::Number;
    }
    if (m >= kExactLimit) {
        while (decimals > 0 && m % 10 == 0) {
            m /= 10;
            --decimals;
        }
        if (m >= kExactLimit)
            return PlainDecimal::Other;
    }
    double v = static_cast<double>(m);
    if (decimals > 0)
        v /= kPowersOfTen[decimals]; // decimals <= kMaxDigits < 23
    value = negative ? -v : v;
    return PlainDecimal::Number;
#else
    // Without strict double arithmetic the division may round twice: always the general way.
    (void)stored;
    (void)value;
    return PlainDecimal::Other;
#endif
}

// The quick reader, else the general one, with the three outcomes.
KVEL_HOT_INLINE NumberReading readStoredNumber(std::string_view stored, double& value)
{
    switch (parsePlainDecimal(stored, value)) {
    case PlainDecimal::Number:
        return NumberReading::Number;
    case PlainDecimal::Blank:
        return NumberReading::Empty;
    case PlainDecimal::Other:
        break;
    }
    return readNumericGeneral(stored, value);
}

// What parseNumeric gives: the quick reader, else the general one.
KVEL_HOT_INLINE std::optional<double> readStoredNumber(std::string_view stored)
{
    double v = 0;
    switch (parsePlainDecimal(stored, v)) {
    case PlainDecimal::Number:
        return v;
    case PlainDecimal::Blank:
        return std::nullopt;
    case PlainDecimal::Other:
        break;
    }
    return parseNumericGeneral(stored);
}

} // namespace store::detail
