#include "xls/biff_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace xls::biff {

// Writes UTF-16 code units, each low byte first: one copy on a little-endian host.
void ByteBuffer::utf16(std::u16string_view text)
{
    if (text.empty())
        return;
    const std::size_t at = m_bytes.size();
    m_bytes.resize(at + 2 * text.size());
    char* p = m_bytes.data() + at;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, text.data(), 2 * text.size());
    } else {
        for (char16_t unit : text)
            p = le::put16(p, unit);
    }
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
