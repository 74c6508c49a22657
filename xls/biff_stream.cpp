#include "xls/biff_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace xls::biff {

// Writes a 16-bit value, low byte first.
void ByteBuffer::u16(unsigned value)
{
    u8(value);
    u8(value >> 8);
}

// Writes a 32-bit value, low byte first.
void ByteBuffer::u32(std::uint32_t value)
{
    u16(value & 0xFFFFu);
    u16(value >> 16);
}

// Writes the 8 bytes of a double, low byte first (the file is little-endian on every host).
void ByteBuffer::f64(double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    u32(static_cast<std::uint32_t>(bits & 0xFFFFFFFFu));
    u32(static_cast<std::uint32_t>(bits >> 32));
}

// Writes UTF-16 code units, each low byte first.
void ByteBuffer::utf16(std::u16string_view text)
{
    m_bytes.reserve(m_bytes.size() + 2 * text.size());
    for (char16_t unit : text)
        u16(unit);
}

// Overwrites two bytes at `at` with a 16-bit value.
void ByteBuffer::putU16(std::size_t at, unsigned value)
{
    m_bytes[at] = static_cast<char>(value & 0xFFu);
    m_bytes[at + 1] = static_cast<char>((value >> 8) & 0xFFu);
}

// Overwrites four bytes at `at` with a 32-bit value.
void ByteBuffer::putU32(std::size_t at, std::uint32_t value)
{
    putU16(at, value & 0xFFFFu);
    putU16(at + 2, value >> 16);
}

// Writes a record header and its data, continuing long data in CONTINUE records.
void writeRecord(ByteBuffer& out, unsigned number, std::string_view data)
{
    std::size_t chunk = std::min(data.size(), kMaxRecordData);
    out.u16(number);
    out.u16(static_cast<unsigned>(chunk));
    out.bytes(data.substr(0, chunk));
    data.remove_prefix(chunk);
    while (!data.empty()) {
        chunk = std::min(data.size(), kMaxRecordData);
        out.u16(rec::kContinue);
        out.u16(static_cast<unsigned>(chunk));
        out.bytes(data.substr(0, chunk));
        data.remove_prefix(chunk);
    }
}

// The two bytes of a one-number record.
std::string u16Data(unsigned value)
{
    ByteBuffer b;
    b.u16(value);
    return b.take();
}

} // namespace xls::biff
