#pragma once

#include "store/dbf_table.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace store::dbf {

// Layout of the 32-byte file header.
inline constexpr std::size_t kVersion = 0;
inline constexpr std::size_t kUpdateYear = 1;   // years since 1900
inline constexpr std::size_t kUpdateMonth = 2;
inline constexpr std::size_t kUpdateDay = 3;
inline constexpr std::size_t kRecordCount = 4;  // uint32 little-endian
inline constexpr std::size_t kHeaderLength = 8; // uint16: file header + descriptors + terminator
inline constexpr std::size_t kRecordLength = 10; // uint16, deletion flag included
inline constexpr std::size_t kProductionIndex = 28; // 1 when a production .mdx belongs to the table
inline constexpr std::size_t kLanguageDriver = 29;
inline constexpr std::size_t kFileHeaderSize = 32;

// Layout of one 32-byte field descriptor.
inline constexpr std::size_t kFieldName = 0;     // 11 bytes, NUL padded
inline constexpr std::size_t kFieldNameSize = 11;
inline constexpr std::size_t kFieldType = 11;
inline constexpr std::size_t kFieldWidth = 16;
inline constexpr std::size_t kFieldDecimals = 17;
inline constexpr std::size_t kFieldIndexFlag = 31; // field has a tag in the production index
inline constexpr std::size_t kDescriptorSize = 32;

inline constexpr unsigned char kVersionDbase = 0x03;
inline constexpr char kHeaderTerminator = 0x0D;
inline constexpr char kEndOfFile = 0x1A;
inline constexpr char kLiveRecord = ' ';
inline constexpr char kDeletedRecord = '*';
inline constexpr int kMaxFields = 255;
inline constexpr int kMaxFieldNameLength = 10;

// What a header says, once checked against the file it came from.
struct Layout {
    std::vector<FieldDef> fields;
    std::vector<int> offsets; // of each field inside a record (after the deletion flag)
    std::uint32_t recordCount = 0;
    std::uint16_t headerLength = 0;
    std::uint16_t recordLength = 0;
    unsigned char languageDriver = 0;
    bool productionIndex = false;
};

// Checks the first `header.size()` bytes (at least the whole header) of a file of
// `fileSize` bytes. Throws StoreError NotATable or Damaged on any contradiction.
// When `header` holds only the first 32 bytes it checks just those and the sizes.
Layout parseHeader(std::string_view header, std::uint64_t fileSize);
// The header length the first 32 bytes announce, after the basic checks of parseHeader.
std::uint16_t announcedHeaderLength(std::string_view first32, std::uint64_t fileSize);

// Bytes of the header (descriptors and terminator included) for a new table.
std::string buildHeader(const std::vector<FieldDef>& fields, std::uint32_t recordCount,
                        unsigned char languageDriver);
// Stamps today's date into a header.
void stampUpdateDate(std::string& header);
void putU32(std::string& bytes, std::size_t at, std::uint32_t v);

// An open file held under an exclusive OS lock for as long as the object lives: a second
// opener, in this process or another, is refused with StoreError::Locked.
class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(LockedFile&& other) noexcept;
    LockedFile& operator=(LockedFile&& other) noexcept;
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Opens an existing file for reading and writing (create: make or truncate it).
    static LockedFile open(const QString& path, bool create);

    bool isOpen() const noexcept { return m_fd >= 0; }
    std::uint64_t size() const;
    std::string readAll() const;
    void writeAt(std::uint64_t offset, std::string_view bytes);
    void sync();
    void close() noexcept;
    // Gives this file the access rights of `other` (a rewritten table keeps its owner's choice).
    void copyPermissionsFrom(const LockedFile& other);
    // The file now goes by another name (it was renamed); error messages use it.
    void setPath(const QString& path) { m_path = path; }

private:
    int m_fd = -1;
    QString m_path;
};

// Replaces `target` by `source` in one rename (the source is renamed over the target).
void replaceFile(const QString& source, const QString& target);
void removeFile(const QString& path) noexcept;

} // namespace store::dbf
