#pragma once

// The shared-string table: SST with its CONTINUE records, and EXTSST.

#include "xls/biff_stream.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace xls::biff {

// Every this many strings one is noted in EXTSST.
inline constexpr unsigned kStringsPerBucket = 8;

// Writes the SST and its CONTINUE records straight to the end of a buffer, one string at a
// time (no string is copied first), and gathers the EXTSST data that locates every eighth
// one. The SST record opens with the first string: without strings nothing is written.
class SstWriter {
public:
    // `out` is where the records go; `basePosition` is the stream position of out's first
    // byte, for the EXTSST positions.
    explicit SstWriter(ByteBuffer& out, std::size_t basePosition = 0) : m_out(out), m_base(basePosition) {}

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
    std::size_t m_count = 0;
    std::size_t m_sstStart = 0;    // where the SST record's header lies in `out`
    std::size_t m_recordStart = 0; // the record being filled
    std::size_t m_dataStart = 0;
    ByteBuffer m_ext;
};

} // namespace xls::biff
