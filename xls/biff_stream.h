#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace xls::biff {

// Little-endian stores into memory the caller has made room for; each returns the byte after
// the value. The file is little-endian on every host.
namespace le {
inline char* put16(char* p, unsigned value) noexcept
{
    p[0] = static_cast<char>(value & 0xFFu);
    p[1] = static_cast<char>((value >> 8) & 0xFFu);
    return p + 2;
}
inline char* put32(char* p, std::uint32_t value) noexcept
{
    p[0] = static_cast<char>(value & 0xFFu);
    p[1] = static_cast<char>((value >> 8) & 0xFFu);
    p[2] = static_cast<char>((value >> 16) & 0xFFu);
    p[3] = static_cast<char>((value >> 24) & 0xFFu);
    return p + 4;
}
inline char* putF64(char* p, double value) noexcept
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    p = put32(p, static_cast<std::uint32_t>(bits & 0xFFFFFFFFu));
    return put32(p, static_cast<std::uint32_t>(bits >> 32));
}
} // namespace le

// A growing byte buffer with little-endian writers. A BIFF8 stream, a record's data and a
// block of cell records are all built in one of these before they go anywhere.
class ByteBuffer {
public:
    // Appends one byte.
    void u8(unsigned value) { m_bytes.push_back(static_cast<char>(value & 0xFFu)); }
    // Appends a 16-bit little-endian value.
    void u16(unsigned value)
    {
        char b[2];
        le::put16(b, value);
        m_bytes.append(b, sizeof b);
    }
    // Appends a 32-bit little-endian value.
    void u32(std::uint32_t value)
    {
        char b[4];
        le::put32(b, value);
        m_bytes.append(b, sizeof b);
    }
    // Appends an IEEE 754 double, little-endian.
    void f64(double value)
    {
        char b[8];
        le::putF64(b, value);
        m_bytes.append(b, sizeof b);
    }
    // Appends raw bytes.
    void bytes(std::string_view data) { m_bytes.append(data); }
    // Appends UTF-16 code units, little-endian.
    void utf16(std::u16string_view text);
    // Appends `count` copies of `byte`.
    void fill(std::size_t count, unsigned byte) { m_bytes.append(count, static_cast<char>(byte)); }
    // Appends `count` bytes for the caller to write through the pointer returned (valid until
    // the buffer next changes): a block whose size is known is then written without an
    // append per value.
    char* grow(std::size_t count)
    {
        const std::size_t at = m_bytes.size();
        m_bytes.resize(at + count);
        return m_bytes.data() + at;
    }

    // Overwrites one byte at an earlier position.
    void putU8(std::size_t at, unsigned value) { m_bytes[at] = static_cast<char>(value & 0xFFu); }
    // Overwrites a 16-bit value at an earlier position.
    void putU16(std::size_t at, unsigned value) { le::put16(m_bytes.data() + at, value); }
    // Overwrites a 32-bit value at an earlier position.
    void putU32(std::size_t at, std::uint32_t value) { le::put32(m_bytes.data() + at, value); }
    // Overwrites bytes at an earlier position; the buffer does not grow.
    void overwrite(std::size_t at, std::string_view data) { m_bytes.replace(at, data.size(), data); }

    std::size_t size() const noexcept { return m_bytes.size(); }
    std::size_t capacity() const noexcept { return m_bytes.capacity(); }
    const std::string& str() const noexcept { return m_bytes; }
    std::string take() { return std::move(m_bytes); }
    void clear() { m_bytes.clear(); }
    void reserve(std::size_t n) { m_bytes.reserve(n); }

private:
    std::string m_bytes;
};

// Record numbers of the BIFF8 records this program writes.
namespace rec {
inline constexpr unsigned kDate1904 = 0x0022; // the record "1904": dates count from 1900
inline constexpr unsigned kBackup = 0x0040;
inline constexpr unsigned kBlank = 0x0201;
inline constexpr unsigned kBof = 0x0809;
inline constexpr unsigned kBookBool = 0x00DA;
inline constexpr unsigned kBottomMargin = 0x0029;
inline constexpr unsigned kBoundSheet = 0x0085;
inline constexpr unsigned kCalcCount = 0x000C;
inline constexpr unsigned kCalcMode = 0x000D;
inline constexpr unsigned kCodePage = 0x0042;
inline constexpr unsigned kColInfo = 0x007D;
inline constexpr unsigned kContinue = 0x003C;
inline constexpr unsigned kCountry = 0x008C;
inline constexpr unsigned kDbCell = 0x00D7;
inline constexpr unsigned kDefaultRowHeight = 0x0225;
inline constexpr unsigned kDefColWidth = 0x0055;
inline constexpr unsigned kDelta = 0x0010;
inline constexpr unsigned kDimensions = 0x0200;
inline constexpr unsigned kDsf = 0x0161;
inline constexpr unsigned kEof = 0x000A;
inline constexpr unsigned kExcel9File = 0x01C0;
inline constexpr unsigned kExternSheet = 0x0017;
inline constexpr unsigned kExtSst = 0x00FF;
inline constexpr unsigned kFnGroupCount = 0x009C;
inline constexpr unsigned kFont = 0x0031;
inline constexpr unsigned kFooter = 0x0015;
inline constexpr unsigned kFormat = 0x041E;
inline constexpr unsigned kGridSet = 0x0082;
inline constexpr unsigned kGuts = 0x0080;
inline constexpr unsigned kHCenter = 0x0083;
inline constexpr unsigned kHeader = 0x0014;
inline constexpr unsigned kHideObj = 0x008D;
inline constexpr unsigned kIndex = 0x020B;
inline constexpr unsigned kInterfaceEnd = 0x00E2;
inline constexpr unsigned kInterfaceHdr = 0x00E1;
inline constexpr unsigned kIteration = 0x0011;
inline constexpr unsigned kLabelSst = 0x00FD;
inline constexpr unsigned kLeftMargin = 0x0026;
inline constexpr unsigned kMergedCells = 0x00E5;
inline constexpr unsigned kMms = 0x00C1;
inline constexpr unsigned kMulBlank = 0x00BE;
inline constexpr unsigned kName = 0x0018;
inline constexpr unsigned kNumber = 0x0203;
inline constexpr unsigned kPalette = 0x0092;
inline constexpr unsigned kPane = 0x0041;
inline constexpr unsigned kPassword = 0x0013;
inline constexpr unsigned kPrecision = 0x000E;
inline constexpr unsigned kPrintGridLines = 0x002B;
inline constexpr unsigned kPrintHeaders = 0x002A;
inline constexpr unsigned kProt4Rev = 0x01AF;
inline constexpr unsigned kProt4RevPass = 0x01BC;
inline constexpr unsigned kProtect = 0x0012;
inline constexpr unsigned kRefMode = 0x000F;
inline constexpr unsigned kRefreshAll = 0x01B7;
inline constexpr unsigned kRightMargin = 0x0027;
inline constexpr unsigned kRow = 0x0208;
inline constexpr unsigned kSaveRecalc = 0x005F;
inline constexpr unsigned kSelection = 0x001D;
inline constexpr unsigned kSetup = 0x00A1;
inline constexpr unsigned kSst = 0x00FC;
inline constexpr unsigned kStyle = 0x0293;
inline constexpr unsigned kSupBook = 0x01AE;
inline constexpr unsigned kTabId = 0x013D;
inline constexpr unsigned kTopMargin = 0x0028;
inline constexpr unsigned kUsesElfs = 0x0160;
inline constexpr unsigned kVCenter = 0x0084;
inline constexpr unsigned kWindow1 = 0x003D;
inline constexpr unsigned kWindow2 = 0x023E;
inline constexpr unsigned kWindowProtect = 0x0019;
inline constexpr unsigned kWriteAccess = 0x005C;
inline constexpr unsigned kWsBool = 0x0081;
inline constexpr unsigned kXf = 0x00E0;
} // namespace rec

// The most data bytes one record carries; longer data continues in CONTINUE records.
inline constexpr std::size_t kMaxRecordData = 8224;
// Size of a record header: 16-bit number, 16-bit data length.
inline constexpr std::size_t kRecordHeader = 4;

// Writes one record (header and data) to `out`; data beyond kMaxRecordData goes into
// CONTINUE records of the same framing. A record without data is a bare header.
void writeRecord(ByteBuffer& out, unsigned number, std::string_view data);

// The data of a record that holds one 16-bit value.
std::string u16Data(unsigned value);

} // namespace xls::biff
