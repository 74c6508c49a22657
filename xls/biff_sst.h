#pragma once

// The shared-string table: SST with its CONTINUE records, and EXTSST.

#include "xls/biff_stream.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace xls::biff {

// The fewest strings EXTSST groups into one bucket.
inline constexpr unsigned kMinStringsPerBucket = 8;
// EXTSST's bucket size (dsst) for a table of `strings` strings: max(strings / 128 + 1, 8), as
// the format requires. It keeps EXTSST at 128 buckets at most.
unsigned stringsPerBucket(std::size_t strings) noexcept;

// Writes the SST and its CONTINUE records straight to the end of a buffer, one string at a
// time (no string is copied first), and gathers the EXTSST data that locates the first string
// of every bucket. The SST record opens with the first string: without strings nothing is
// written.
class SstWriter {
public:
    // `out` is where the records go; `strings` is how many strings will be added (the bucket
    // size depends on it); `basePosition` is the stream position of out's first byte, for the
    // EXTSST positions.
    SstWriter(ByteBuffer& out, std::size_t strings, std::size_t basePosition = 0)
        : m_out(out), m_base(basePosition), m_perBucket(stringsPerBucket(strings))
    {
    }

    // Adds one entry; a string longer than 65,535 units is cut to that. Must not be empty.
    void add(std::u16string_view text);
    // How many entries were added.
    std::size_t count() const noexcept { return m_count; }
    // Closes the last record and fills in the counts; returns the EXTSST data (framed later
    // by writeRecord). Only when count() > 0.
    std::string finish();

private:
    std::size_t room() const noexcept { return kMaxRecordData - (m_out.size() - m_dataStart); }
    void open(unsigned number);
    void close();

    ByteBuffer& m_out;
    std::size_t m_base;
    unsigned m_perBucket;
    std::size_t m_count = 0;
    std::size_t m_sstStart = 0;    // where the SST record's header lies in `out`
    std::size_t m_recordStart = 0; // the record being filled
    std::size_t m_dataStart = 0;
    ByteBuffer m_ext;
};

} // namespace xls::biff
