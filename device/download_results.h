#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

namespace device {

// The instrument's memory image holds at most this many bytes (record count, records and the
// frame checksum at its end).
inline constexpr std::size_t kFlashImageSize = 65536;

// What the last download left for the rest of the program. One instance lives as long as the
// program: the download dialog writes it, the decoder and the print commands read it, and
// Open also sets dev_type. Values survive from one download to the next; a failed download
// leaves flash_image as it was.
struct DownloadResults {
    // The decoded data frame: record count, records, and the frame checksum in the last four
    // bytes. Bytes past image_length still hold what an earlier, longer download left.
    std::array<std::uint8_t, kFlashImageSize> flash_image{};
    // How many bytes of flash_image the last successful download wrote. Readers that walk the
    // records must not go past it: the rest is stale.
    std::size_t image_length = 0;
    std::uint8_t dev_type = 0;    // device type of the last identification (4: ВРТ-ТК5)
    std::uint16_t dev_serial = 0; // serial number of the last identification
    QString fw_version;           // firmware version text, e.g. "24.03.05"
};

} // namespace device
