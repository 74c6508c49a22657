#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace instrument {

// A penetrometer's memory: the record count (16-bit, little-endian), then 29 bytes a record.
inline constexpr std::size_t kRecordBytes = 29;

// Offsets inside a record; 16-bit values are little-endian.
namespace record {
inline constexpr std::size_t kForces = 0;       // five forces of the single tests, N
inline constexpr std::size_t kMeanForce = 10;   // N
inline constexpr std::size_t kResistance = 12;  // hundredths of MPa
inline constexpr std::size_t kModulus = 14;     // tenths of MPa
inline constexpr std::size_t kCompaction = 16;  // hundredths
inline constexpr std::size_t kMoisture = 18;    // hundredths
inline constexpr std::size_t kFriction = 20;    // tenths of a degree; 0: not determined
inline constexpr std::size_t kCohesion = 22;    // ten-thousandths of MPa
inline constexpr std::size_t kMinute = 24;
inline constexpr std::size_t kHour = 25;
inline constexpr std::size_t kDay = 26;
inline constexpr std::size_t kMonth = 27;
inline constexpr std::size_t kYear = 28;        // year − 2000
} // namespace record

// `count` plausible tests, in time order a few minutes apart over working days, made up from
// `seed` (the same seed gives the same memory). Every fifth test has no friction angle.
std::vector<std::uint8_t> penetrometerMemory(std::uint16_t count, std::uint32_t seed);

} // namespace instrument
