#pragma once

#include "store/measurement_table.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace store {

// What a penetrometer download left: its memory image and the identification header.
struct DownloadedImage {
    // Only the bytes this download received (the first image_length bytes of the download
    // results' flash_image): the record count, the 29-byte records, and whatever the frame
    // carried after them (its checksum). Bytes that an older, longer download left behind
    // are not part of it, so no record can be made of them.
    std::span<const std::uint8_t> bytes;
    std::uint8_t dev_type = 0;
    std::uint16_t dev_serial = 0;
};

// Layout of a penetrometer image: a 16-bit record count, then the records.
inline constexpr std::size_t kImageCountOffset = 0;
inline constexpr std::size_t kImageFirstRecord = 2;
inline constexpr std::size_t kImageRecordSize = 29;

// The unsigned little-endian 16-bit value at i; a byte outside the image reads as 0.
std::uint16_t imageWord(std::span<const std::uint8_t> image, std::size_t i);

// "hh:mm" from the minute byte at i and the hour byte at i+1; an hour above 23 gives "00",
// a minute above 59 gives "00".
QString imageTime(std::span<const std::uint8_t> image, std::size_t i);

// "dd.mm.yyyy" from the day byte at i, the month byte at i+1 and the year byte (year − 2000)
// at i+2; a day of 0 or above 31 gives "01", a month of 0 or above 12 gives "01". Day and
// month are not checked against each other: 31 and 2 give "31.02.".
QString imageDate(std::span<const std::uint8_t> image, std::size_t i);

// The key that orders a test's DATE and TIME texts: the day number × 86400 plus the seconds
// since midnight, with 1 January of year 1 as day 1 and every month counted as 31 days, so
// that a day the instrument's clock made up (31.02) still sits between 28.02 and 01.03, as
// its numbers say and as the table's DATE sort puts it. Only the order of keys is used.
//
// DATE is d.m.yyyy (day and month of one or two digits, a four-digit year, day 1..31, month
// 1..12); TIME is h:mm or h:mm:ss (hour 0..23). Blanks around either are ignored. Anything
// else, including an empty text, gives nullopt.
std::optional<std::int64_t> stampSeconds(const QString& date, const QString& time);

struct DecodeResult {
    int added = 0;   // rows written
    int skipped = 0; // records at the start of the image taken as already stored (append)
};

// Writes the image's records as kind-0 rows of `table`, in image order, each numbered by its
// position in the image from 1. With `append`, the records at the start of the image up to
// the first one stamped later (to the minute) than the table's last kind-0 row are skipped
// as already stored. The table is left filtered to "NB_TYPE=0" and refreshed; a table that
// is not active is left alone. The caller tells the user how many rows were added.
//
// A record count that claims more records than `image.bytes` holds whole (a frame cut short)
// decodes only the records that were received whole; the count is never trusted beyond them.
//
// Throws StoreError BadDate, before any row is written, when append finds a last row whose
// DATE and TIME do not read as a date; any engine error while writing ends the decoding,
// and the rows posted before it stay.
DecodeResult decodeImage(MeasurementTable& table, const DownloadedImage& image, bool append);

} // namespace store
