#include "tools/emulator/penetrometer_records.h"

#include <chrono>
#include <random>

namespace instrument {

namespace {

void putWord(std::vector<std::uint8_t>& memory, std::size_t at, unsigned value)
{
    memory[at] = std::uint8_t(value & 0xFF);
    memory[at + 1] = std::uint8_t((value >> 8) & 0xFF);
}

} // namespace

std::vector<std::uint8_t> penetrometerMemory(std::uint16_t count, std::uint32_t seed)
{
    using namespace std::chrono;
    std::vector<std::uint8_t> memory(2 + kRecordBytes * count, 0);
    putWord(memory, 0, count);

    std::mt19937 random(seed);
    auto between = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    // Field work starts at 08:30 on a spring day and stops for the day at 18:00.
    sys_days day = sys_days{year{2024} / May / 14};
    minutes clock = hours{8} + minutes{30};

    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t base = 2 + kRecordBytes * k;
        int sum = 0;
        for (std::size_t i = 0; i < 5; ++i) {
            const int force = between(150, 2500);
            sum += force;
            putWord(memory, base + record::kForces + 2 * i, unsigned(force));
        }
        const int mean = sum / 5;
        putWord(memory, base + record::kMeanForce, unsigned(mean));
        // A cone of 1 cm²: N / 100 mm² in MPa is the force itself in hundredths.
        putWord(memory, base + record::kResistance, unsigned(mean));
        putWord(memory, base + record::kModulus, unsigned(between(50, 400)));
        const bool friction = k % 5 != 4;
        putWord(memory, base + record::kCompaction, friction ? unsigned(between(85, 100)) : 0u);
        putWord(memory, base + record::kMoisture, friction ? unsigned(between(10, 40)) : 0u);
        putWord(memory, base + record::kFriction, friction ? unsigned(between(150, 350)) : 0u);
        putWord(memory, base + record::kCohesion, friction ? unsigned(between(50, 500)) : 0u);

        clock += minutes{between(3, 20)};
        if (clock >= hours{18}) {
            day += days{1};
            clock = hours{8} + minutes{between(0, 59)};
        }
        const year_month_day date{day};
        memory[base + record::kMinute] = std::uint8_t(clock.count() % 60);
        memory[base + record::kHour] = std::uint8_t(clock.count() / 60);
        memory[base + record::kDay] = std::uint8_t(unsigned(date.day()));
        memory[base + record::kMonth] = std::uint8_t(unsigned(date.month()));
        memory[base + record::kYear] = std::uint8_t(int(date.year()) - 2000);
    }
    return memory;
}

} // namespace instrument
