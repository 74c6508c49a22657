#pragma once

#include <cstdint>

namespace app {

// What the last download told about the instrument. These values outlive a download: the
// decoder copies them into new rows, the print commands choose the report by dev_type, and
// Open sets dev_type from the first row of the table it opens.
struct DownloadResults {
    std::uint8_t dev_type = 0;
    std::uint16_t dev_serial = 0;
};

} // namespace app
