#include "xls/biff_sst.h"

#include "xls/biff_globals.h"
#include "xls/biff_stream.h"

#include <algorithm>

namespace xls::biff {

namespace {

constexpr std::size_t kSstCountsSize = 8;     // 32-bit total count, 32-bit unique count
constexpr std::size_t kStringHeaderSize = 3;  // 16-bit character count, flag byte
constexpr std::size_t kMinRoomForString = 5;  // a header and at least one character
constexpr unsigned kUnicodeFlag = 1;

// Builds SST and CONTINUE records in memory; the length of the open record is patched when
// the next one starts and at the end.
class SstAssembler {
public:
    explicit SstAssembler(std::size_t streamPosition) : m_base(streamPosition)
    {
        open(rec::kSst);
        m_out.u32(0); // total count, filled in at the end
        m_out.u32(0); // unique count
    }

    // Room left in the record being filled.
    std::size_t room() const { return kMaxRecordData - (m_out.size() - m_dataStart); }

    // Closes the current record and opens a CONTINUE record.
    void continueRecord()
    {
        close();
        open(rec::kContinue);
    }

    // Adds one string, noting it for EXTSST when it is one of every eighth.
    void add(std::u16string_view text, std::size_t entry, ByteBuffer& ext)
    {
        if (room() < kMinRoomForString)
            continueRecord();
        if (entry % kStringsPerBucket == 0) {
            const std::size_t offsetInRecord = m_out.size() - m_recordStart;
            ext.u32(static_cast<std::uint32_t>(m_base + m_out.size()));
            ext.u16(static_cast<unsigned>(offsetInRecord));
            ext.u16(0);
        }
        m_out.u16(static_cast<unsigned>(text.size()));
        m_out.u8(kUnicodeFlag);
        for (;;) {
            const std::size_t units = std::min(text.size(), room() / 2);
            m_out.utf16(text.substr(0, units));
            text.remove_prefix(units);
            if (text.empty())
                break;
            // The characters go on in a CONTINUE record that repeats the flag byte.
            continueRecord();
            m_out.u8(kUnicodeFlag);
        }
    }

    // Closes the last record, fills in the counts and hands over the bytes.
    std::string finish(std::size_t count)
    {
        close();
        m_out.putU32(kRecordHeader, static_cast<std::uint32_t>(count));
        m_out.putU32(kRecordHeader + 4, static_cast<std::uint32_t>(count));
        return m_out.take();
    }

private:
    void open(unsigned number)
    {
        m_recordStart = m_out.size();
        m_out.u16(number);
        m_out.u16(0); // length, patched by close()
        m_dataStart = m_out.size();
    }
    void close() { m_out.putU16(m_recordStart + 2, static_cast<unsigned>(m_out.size() - m_dataStart)); }

    std::size_t m_base;
    ByteBuffer m_out;
    std::size_t m_recordStart = 0;
    std::size_t m_dataStart = 0;
};

} // namespace

// SST + CONTINUE records and the EXTSST data for `strings`.
SstRecords assembleSst(const std::vector<std::u16string>& strings, std::size_t streamPosition)
{
    SstAssembler sst(streamPosition);
    ByteBuffer ext;
    ext.u16(kStringsPerBucket);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        std::u16string_view text = strings[i];
        sst.add(text.substr(0, std::min(text.size(), kMaxTextUnits)), i, ext);
    }
    return {sst.finish(strings.size()), ext.take()};
}

} // namespace xls::biff
