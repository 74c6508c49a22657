#pragma once

// The shared-string table: SST with its CONTINUE records, and EXTSST.

#include <cstddef>
#include <string>
#include <vector>

namespace xls::biff {

// Every this many strings one is noted in EXTSST.
inline constexpr unsigned kStringsPerBucket = 8;

struct SstRecords {
    std::string records;   // SST and CONTINUE records, headers included, ready to append
    std::string extSst;    // data of the EXTSST record (framed by writeRecord)
};

// Assembles the SST of `strings` (one entry each, in order; equal texts are not merged) as
// it will lie at stream position `streamPosition`, and the EXTSST data locating every eighth
// entry. A string longer than 65,535 units is cut to that. Strings must not be empty.
SstRecords assembleSst(const std::vector<std::u16string>& strings, std::size_t streamPosition);

} // namespace xls::biff
