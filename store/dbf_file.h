#pragma once

#include "platform/file_io.h"
#include "store/byte_buffer.h"
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
// What a table file holds, as the header's record count sees it.
struct Contents {
    Layout layout;
    std::string header; // the whole header as on disk
    ByteBuffer data;    // the counted records, recordLength bytes each
    // The file ends with the end mark right after the counted records. When it does not (no
    // mark, a record cut short by a failed write, a second mark), the next write puts the
    // mark back and cuts the rest off.
    bool tailClean = false;
};
class LockedFile;
// Reads a table through its open file; StoreError NotATable, Damaged or Io.
Contents readTable(const LockedFile& file);

// The header length the first 32 bytes announce, after the basic checks of parseHeader.
std::uint16_t announcedHeaderLength(std::string_view first32, std::uint64_t fileSize);

// Bytes of the header (descriptors and terminator included) for a new table.
std::string buildHeader(const std::vector<FieldDef>& fields, std::uint32_t recordCount,
                        unsigned char languageDriver);
// Stamps today's date into a header.
void stampUpdateDate(std::string& header);
void putU32(std::string& bytes, std::size_t at, std::uint32_t v);

// What the engine was doing with a table when the system refused; it picks the words of the
// message the user sees.
enum class Action { Open, Read, Write, Create };

// Turns a refusal of the file primitives into the store's error: a lock held elsewhere is
// StoreError::Locked ("the table is open in another program"), anything else StoreError::Io
// with the table's name and the system's reason, e.g.
// Не удалось записать таблицу "/data/x.db": на диске нет места
[[noreturn]] void rethrow(const platform::FileError& error, Action action, const QString& table);

// A table file (or the engine's temporary file beside one) held under the exclusive lock of
// the platform unit for as long as the object lives. Every refusal comes out as a StoreError
// that names `table`, the file the user knows, even when the file written is a temporary one.
class LockedFile {
public:
    LockedFile() = default;

    // Opens an existing file for reading and writing; with `create`, makes or empties it.
    // A file that another opener holds is refused with StoreError::Locked.
    static LockedFile open(const QString& path, bool create, Action action, const QString& table);
    // Opens an existing file for reading only, under the shared lock: a file another opener
    // holds for writing is refused with StoreError::Locked.
    static LockedFile openForReading(const QString& path, const QString& table);

    bool isOpen() const noexcept { return m_file.isOpen(); }
    std::uint64_t size() const;
    // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
    std::string readAt(std::uint64_t offset, std::size_t size) const;
    // The same into memory the caller owns; returns the number of bytes read.
    std::size_t readInto(std::uint64_t offset, char* into, std::size_t size) const;
    void writeAt(std::uint64_t offset, std::string_view bytes);
    void truncate(std::uint64_t length);
    void sync();
    void close() noexcept { m_file.close(); }
    // Gives this file the access rights of `other` (a rewritten table keeps its owner's choice).
    void copyPermissionsFrom(const LockedFile& other);
    // The file now goes by another name (it was renamed over the table).
    void renamed(const QString& path, const QString& table);

private:
    platform::File m_file;
    QString m_table;
    Action m_action = Action::Write;
};

// Refuses, with StoreError Io, a path that a new table must not replace: a folder, a device,
// a pipe, or a file that may not be written.
void requireReplaceable(const QString& path, const QString& table);
bool fileExists(const QString& path) noexcept;

// Replaces `target` by `source` in one rename. Neither may be open on Windows.
void replaceFile(const QString& source, const QString& target, Action action, const QString& table);
// Removes a file; a missing one counts as removed.
void removeFile(const QString& path) noexcept;
// The path with every symbolic link resolved: a table reached through a link is rewritten
// where it really lives, and the link stays a link.
QString resolvedPath(const QString& path);

// The engine's temporary files beside a table (its real path): the rewritten table of a
// pack, and a new table before it takes the name. A kill may leave one behind.
QString packTempPath(const QString& realTable);
QString createTempPath(const QString& realTable);
// Makes (or empties) one of those temporary files and holds it under the lock. A link of that
// name goes first: the name is ours, and emptying whatever a link points to would destroy
// someone else's file. When the open fails after the file was made, the file goes again.
LockedFile openTemporary(const QString& temp, Action action, const QString& table);
// Removes those temporary files beside a table, unless someone holds one (a pack or create
// in progress elsewhere). Called with the table itself held, so no pack of it is running.
void removeStaleTemporaries(const QString& realTable) noexcept;

} // namespace store::dbf
