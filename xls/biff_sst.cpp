#include "xls/biff_sst.h"

#include "xls/biff_globals.h"

#include <algorithm>

namespace xls::biff {

namespace {

constexpr std::size_t kMinRoomForString = 5;  // a 16-bit count, the flag byte, one character
constexpr unsigned kUnicodeFlag = 1;
constexpr std::size_t kSstTotalCount = kRecordHeader;      // 32-bit count of all entries
constexpr std::size_t kSstUniqueCount = kRecordHeader + 4; // 32-bit count of distinct entries

} // namespace

unsigned stringsPerBucket(std::size_t strings) noexcept
{
    // The field is 16 bits; a table that would need more (some 8 million strings) has
    // more than 128 buckets instead.
    const std::size_t size = std::max<std::size_t>(strings / 128 + 1, kMinStringsPerBucket);
    return static_cast<unsigned>(std::min<std::size_t>(size, 0xFFFF));
}

// Opens a record whose length close() fills in.
void SstWriter::open(unsigned number)
{
    m_recordStart = m_out.size();
    m_out.u16(number);
    m_out.u16(0); // length, patched by close()
    m_dataStart = m_out.size();
}

void SstWriter::close()
{
    m_out.putU16(m_recordStart + 2, static_cast<unsigned>(m_out.size() - m_dataStart));
}

// One string: its header and characters, continued in CONTINUE records where the record is
// full; the first of every bucket noted for EXTSST.
void SstWriter::add(std::u16string_view text)
{
    text = text.substr(0, std::min(text.size(), kMaxTextUnits));
    if (m_count == 0) {
        m_sstStart = m_out.size();
        open(rec::kSst);
        m_out.u32(0); // total count, filled in by finish()
        m_out.u32(0); // unique count
        m_ext.u16(m_perBucket);
    }
    if (room() < kMinRoomForString) {
        close();
        open(rec::kContinue);
    }
    if (m_count % m_perBucket == 0) {
        m_ext.u32(static_cast<std::uint32_t>(m_base + m_out.size()));
        m_ext.u16(static_cast<unsigned>(m_out.size() - m_recordStart));
        m_ext.u16(0);
    }
    ++m_count;
    m_out.u16(static_cast<unsigned>(text.size()));
    m_out.u8(kUnicodeFlag);
    for (;;) {
        const std::size_t units = std::min(text.size(), room() / 2);
        m_out.utf16(text.substr(0, units));
        text.remove_prefix(units);
        if (text.empty())
            break;
        // The characters go on in a CONTINUE record that repeats the flag byte.
        close();
        open(rec::kContinue);
        m_out.u8(kUnicodeFlag);
    }
}

std::string SstWriter::finish()
{
    close();
    m_out.putU32(m_sstStart + kSstTotalCount, static_cast<std::uint32_t>(m_count));
    m_out.putU32(m_sstStart + kSstUniqueCount, static_cast<std::uint32_t>(m_count));
    return m_ext.take();
}

} // namespace xls::biff
