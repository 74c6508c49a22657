#include "tools/emulator/instrument_frames.h"

namespace instrument {

namespace {
constexpr char kNibbleBase = '0';
}

void appendByte(std::string& out, std::uint8_t value)
{
    out += char(kNibbleBase + (value & 0x0F));
    out += char(kNibbleBase + (value >> 4));
}

void appendWord(std::string& out, std::uint16_t value)
{
    appendByte(out, std::uint8_t(value & 0xFF));
    appendByte(out, std::uint8_t(value >> 8));
}

void appendDword(std::string& out, std::uint32_t value)
{
    appendWord(out, std::uint16_t(value & 0xFFFF));
    appendWord(out, std::uint16_t(value >> 16));
}

std::uint32_t frameChecksum(std::string_view contents)
{
    std::uint32_t sum = 0;
    std::uint32_t k = 0;
    for (const char c : contents) {
        ++k;
        sum += std::uint32_t(std::uint8_t(c)) ^ (k & 0xFFFF);
    }
    return sum;
}

std::string makeFrame(std::string_view contents, bool corruptChecksum)
{
    std::string frame;
    frame.reserve(contents.size() + 10);
    frame += 'S';
    frame += contents;
    appendDword(frame, frameChecksum(contents) + (corruptChecksum ? 1 : 0));
    frame += 'P';
    return frame;
}

std::string identificationFrame(const Identification& id, bool corruptChecksum)
{
    std::string contents;
    appendByte(contents, 0);  // positions 1-2: a byte the program does not read
    // Position 3 is read as one character, '0' + type; position 4 completes the byte.
    contents += char(kNibbleBase + id.deviceType);
    contents += kNibbleBase;
    for (const std::uint8_t v : id.version)
        appendByte(contents, v);
    appendWord(contents, id.serial);
    contents += id.extra;
    return makeFrame(contents, corruptChecksum);
}

std::string dataFrame(std::span<const std::uint8_t> memory, bool corruptChecksum)
{
    std::string contents;
    contents.reserve(2 * memory.size());
    for (const std::uint8_t b : memory)
        appendByte(contents, b);
    return makeFrame(contents, corruptChecksum);
}

} // namespace instrument
