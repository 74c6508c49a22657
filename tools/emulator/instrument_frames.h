#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The instrument's side of the download protocol: how it puts values and frames on the line.
// Written from the instrument's point of view and sharing no code with the program's
// receiver, so that the receiver's tests do not check it against itself.
namespace instrument {

// Values travel least significant nibble first, one nibble a character, as '0' + nibble.
void appendByte(std::string& out, std::uint8_t value);
void appendWord(std::string& out, std::uint16_t value);
void appendDword(std::string& out, std::uint32_t value);

// The frame checksum of the characters between the S and the checksum field: the k-th
// character (from 1) adds (code XOR k), as a wrapping 32-bit sum.
std::uint32_t frameChecksum(std::string_view contents);

// "S", the contents, the checksum (one off when corrupt), "P".
std::string makeFrame(std::string_view contents, bool corruptChecksum = false);

struct Identification {
    std::uint8_t deviceType = 4;   // 4: ВРТ-ТК5
    std::uint16_t serial = 1;
    // The version bytes in the order sent (positions 5, 7, 9); the program shows them in
    // the opposite order, so {5, 3, 24} reads "24.03.05".
    std::uint8_t version[3] = {5, 3, 24};
    std::string extra;             // characters between the serial number and the checksum
};

// The answer to V.
std::string identificationFrame(const Identification& id, bool corruptChecksum = false);

// The answer to N: every byte of memory (record count first) two characters each.
std::string dataFrame(std::span<const std::uint8_t> memory, bool corruptChecksum = false);

} // namespace instrument
