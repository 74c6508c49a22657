#pragma once

// Eight bytes of a field at a time. Fields are mostly blanks and digits; looking at them a
// word at a time instead of a byte at a time saves most of the loop turns (a 100-character
// comment holds twenty characters and eighty blanks) and the mispredicted loop ends.
//
// Each test gives a word with the high bit set in every byte that has the property, and is
// exact per byte: no carry crosses from one byte into the next. The words are read in
// memory order, so these only serve on little-endian machines; the callers check kUsable
// and go byte by byte elsewhere.

#include <bit>
#include <cstdint>
#include <cstring>

namespace store::detail::bytes8 {

inline constexpr bool kUsable = std::endian::native == std::endian::little;

inline constexpr std::uint64_t kHigh = 0x8080808080808080ull;
inline constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
inline constexpr std::uint64_t kEach = 0x0101010101010101ull;
inline constexpr std::uint64_t kBlanks = kEach * ' '; // the usual padding, tested first

inline std::uint64_t load(const char* p) noexcept
{
    std::uint64_t x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

// Bytes that are 0.
inline std::uint64_t zeros(std::uint64_t x) noexcept
{
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Bytes that are neither a blank nor NUL: what a field's padding is not.
inline std::uint64_t filled(std::uint64_t x) noexcept
{
    return ~(zeros(x) | zeros(x ^ (kEach * ' '))) & kHigh;
}

// Bytes that are not the digits '0'..'9'.
inline std::uint64_t nonDigits(std::uint64_t x) noexcept
{
    const std::uint64_t low = x & kLow7;
    const std::uint64_t above9 = low + kEach * (0x80 - ':'); // high bit set from ':' on
    const std::uint64_t from0 = low + kEach * (0x80 - '0');  // high bit set from '0' on
    return (x | above9 | ~from0) & kHigh;
}

// The index of the first byte (in memory order) that a test marked.
inline int firstMarked(std::uint64_t marks) noexcept
{
    return std::countr_zero(marks) / 8;
}
// The index of the last byte that a test marked.
inline int lastMarked(std::uint64_t marks) noexcept
{
    return 7 - std::countl_zero(marks) / 8;
}

// Eight digit bytes as the number they spell, the first byte the most significant.
inline std::uint32_t eightDigits(std::uint64_t x) noexcept
{
    x -= kEach * '0';
    x = x * 10 + (x >> 8);
    x = (((x & 0x000000FF000000FFull) * 0x000F424000000064ull) +
         (((x >> 16) & 0x000000FF000000FFull) * 0x0000271000000001ull)) >> 32;
    return static_cast<std::uint32_t>(x);
}

} // namespace store::detail::bytes8
