#include "store/dbf_file.h"

#include "platform/native_name.h"

#include <QDate>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>


namespace store::dbf {

namespace {

std::uint16_t getU16(std::string_view b, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      (static_cast<unsigned char>(b[at + 1]) << 8));
}

std::uint32_t getU32(std::string_view b, std::size_t at)
{
    return static_cast<std::uint32_t>(getU16(b, at)) |
           (static_cast<std::uint32_t>(getU16(b, at + 2)) << 16);
}

void putU16(std::string& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

[[noreturn]] void damaged(const std::string& why)
{
    throw StoreError(StoreError::Code::Damaged, "Таблица повреждена: " + why);
}

bool knownType(char t)
{
    switch (t) {
    case 'C': case 'N': case 'F': case 'D': case 'L': case 'M':
        return true;
    default:
        return false;
    }
}

} // namespace

void putU32(std::string& b, std::size_t at, std::uint32_t v)
{
    putU16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
    putU16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

std::uint16_t announcedHeaderLength(std::string_view first32, std::uint64_t fileSize)
{
    if (first32.size() < kFileHeaderSize || fileSize < kFileHeaderSize)
        throw StoreError(StoreError::Code::NotATable, "Файл слишком короток для таблицы dBase");
    const auto version = static_cast<unsigned char>(first32[kVersion]);
    // dBase III and IV tables, with or without memo, carry 3 in the low bits.
    if ((version & 0x07) != 0x03)
        throw StoreError(StoreError::Code::NotATable, "Файл не является таблицей dBase");
    const std::uint16_t headerLength = getU16(first32, kHeaderLength);
    if (headerLength < kFileHeaderSize + kDescriptorSize + 1)
        damaged("неверная длина заголовка");
    if (headerLength > fileSize)
        damaged("заголовок длиннее файла");
    return headerLength;
}

Layout parseHeader(std::string_view header, std::uint64_t fileSize)
{
    Layout layout;
    layout.headerLength = announcedHeaderLength(header, fileSize);
    if (header.size() < layout.headerLength)
        damaged("заголовок прочитан не полностью");
    layout.recordCount = getU32(header, kRecordCount);
    layout.recordLength = getU16(header, kRecordLength);
    layout.languageDriver = static_cast<unsigned char>(header[kLanguageDriver]);
    layout.productionIndex = header[kProductionIndex] != 0;

    std::size_t at = kFileHeaderSize;
    int offset = 1; // after the deletion flag
    bool terminated = false;
    while (at < layout.headerLength) {
        if (header[at] == kHeaderTerminator) {
            terminated = true;
            break;
        }
        if (at + kDescriptorSize > layout.headerLength)
            break;
        const std::string_view d = header.substr(at, kDescriptorSize);
        FieldDef f;
        const std::string_view rawName = d.substr(kFieldName, kFieldNameSize);
        f.name = std::string(rawName.substr(0, std::min(rawName.find('\0'), rawName.size())));
        while (!f.name.empty() && f.name.back() == ' ')
            f.name.pop_back();
        if (f.name.empty())
            damaged("поле без имени");
        const char type = d[kFieldType];
        if (!knownType(type))
            damaged("неизвестный тип поля " + f.name);
        f.type = static_cast<FieldType>(type);
        f.width = static_cast<unsigned char>(d[kFieldWidth]);
        f.decimals = static_cast<unsigned char>(d[kFieldDecimals]);
        if (f.width == 0)
            damaged("поле " + f.name + " нулевой ширины");
        if (f.decimals >= f.width && f.decimals != 0)
            damaged("у поля " + f.name + " дробная часть шире поля");
        if (static_cast<int>(layout.fields.size()) == kMaxFields)
            damaged("слишком много полей");
        layout.offsets.push_back(offset);
        offset += f.width;
        layout.fields.push_back(std::move(f));
        at += kDescriptorSize;
    }
    if (!terminated)
        damaged("нет конца списка полей");
    if (layout.fields.empty())
        damaged("в таблице нет полей");
    if (offset != layout.recordLength)
        damaged("длина записи не совпадает с суммой ширин полей");

    const std::uint64_t data = layout.headerLength +
                               static_cast<std::uint64_t>(layout.recordCount) * layout.recordLength;
    // The count decides: what follows the counted records (the end mark, a record cut short
    // by a failed write, a second mark) is not part of the table, as other dBase readers see
    // it. A count that names records the file does not hold is damage.
    if (data > fileSize)
        damaged("записей меньше, чем указано в заголовке");
    return layout;
}

Contents readTable(const LockedFile& file)
{
    const std::uint64_t fileSize = file.size();
    const std::string first = file.readAt(0, kFileHeaderSize);
    const std::uint16_t headerLength = announcedHeaderLength(first, fileSize);
    Contents c;
    c.header = file.readAt(0, headerLength);
    c.layout = parseHeader(c.header, fileSize);
    const std::size_t dataSize = static_cast<std::size_t>(c.layout.recordCount) * c.layout.recordLength;
    // The records and the byte after them, which should be the end mark, read straight into
    // the buffer the table keeps: no fill before the read, no copy after it.
    c.data.resizeForOverwrite(dataSize + 1);
    const std::size_t got = file.readInto(headerLength, c.data.data(), dataSize + 1);
    if (got < dataSize)
        damaged("записей меньше, чем указано в заголовке"); // the file shrank while we read it
    c.tailClean = got == dataSize + 1 && c.data[dataSize] == kEndOfFile &&
                  fileSize == headerLength + static_cast<std::uint64_t>(dataSize) + 1;
    c.data.resizeForOverwrite(dataSize);
    return c;
}

std::string buildHeader(const std::vector<FieldDef>& fields, std::uint32_t recordCount,
                        unsigned char languageDriver)
{
    if (fields.empty() || static_cast<int>(fields.size()) > kMaxFields)
        throw StoreError(StoreError::Code::BadState, "Неверное число полей таблицы");
    const std::size_t headerLength = kFileHeaderSize + kDescriptorSize * fields.size() + 1;
    std::size_t recordLength = 1;
    std::string h(headerLength, '\0');
    h[kVersion] = static_cast<char>(kVersionDbase);
    putU32(h, kRecordCount, recordCount);
    h[kLanguageDriver] = static_cast<char>(languageDriver);
    std::size_t at = kFileHeaderSize;
    for (const FieldDef& f : fields) {
        const bool numeric = isNumeric(f.type);
        const bool nameOk = !f.name.empty() && static_cast<int>(f.name.size()) <= kMaxFieldNameLength &&
                            std::all_of(f.name.begin(), f.name.end(), [](char c) {
                                return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                       (c >= '0' && c <= '9') || c == '_';
                            });
        const bool widthOk = numeric ? (f.width >= 1 && f.width <= 20 &&
                                        (f.decimals == 0 || f.decimals <= f.width - 2))
                                     : (f.type == FieldType::Character && f.width >= 1 &&
                                        f.width <= 254 && f.decimals == 0);
        if (!nameOk || !widthOk)
            throw StoreError(StoreError::Code::BadState, "Неверное описание поля " + f.name);
        for (std::size_t i = 0; i < f.name.size(); ++i)
            h[at + kFieldName + i] = static_cast<char>(std::toupper(static_cast<unsigned char>(f.name[i])));
        h[at + kFieldType] = static_cast<char>(f.type);
        h[at + kFieldWidth] = static_cast<char>(f.width);
        h[at + kFieldDecimals] = static_cast<char>(f.decimals);
        recordLength += static_cast<std::size_t>(f.width);
        at += kDescriptorSize;
    }
    if (recordLength > 0xFFFF)
        throw StoreError(StoreError::Code::BadState, "Слишком длинная запись таблицы");
    h[at] = kHeaderTerminator;
    putU16(h, kHeaderLength, static_cast<std::uint16_t>(headerLength));
    putU16(h, kRecordLength, static_cast<std::uint16_t>(recordLength));
    stampUpdateDate(h);
    return h;
}

void stampUpdateDate(std::string& header)
{
    const QDate today = QDate::currentDate();
    header[kUpdateYear] = static_cast<char>((today.year() - 1900) & 0xFF);
    header[kUpdateMonth] = static_cast<char>(today.month());
    header[kUpdateDay] = static_cast<char>(today.day());
}

// ---- files -------------------------------------------------------------------------------

namespace {

std::string native(const QString& path) { return platform::nativeName(path); }

const char* verb(Action action)
{
    switch (action) {
    case Action::Open: return "Не удалось открыть таблицу";
    case Action::Read: return "Не удалось прочитать таблицу";
    case Action::Create: return "Не удалось создать таблицу";
    case Action::Write: break;
    }
    return "Не удалось записать таблицу";
}

} // namespace

void rethrow(const platform::FileError& error, Action action, const QString& table)
{
    const std::string name = "\"" + table.toStdString() + "\"";
    if (error.code() == platform::FileError::Code::Locked)
        throw StoreError(StoreError::Code::Locked, "Таблица " + name + " открыта другой программой");
    throw StoreError(StoreError::Code::Io, std::string(verb(action)) + " " + name + ": " + error.reason());
}

LockedFile LockedFile::open(const QString& path, bool create, Action action, const QString& table)
{
    LockedFile f;
    f.m_table = table;
    f.m_action = action == Action::Open ? Action::Write : action;
    try {
        f.m_file = platform::File::open(native(path), create ? platform::File::Mode::Create
                                                             : platform::File::Mode::Existing);
    } catch (const platform::FileError& e) {
        rethrow(e, action, table);
    }
    return f;
}

LockedFile LockedFile::openForReading(const QString& path, const QString& table)
{
    LockedFile f;
    f.m_table = table;
    f.m_action = Action::Read;
    try {
        f.m_file = platform::File::open(native(path), platform::File::Mode::Read);
    } catch (const platform::FileError& e) {
        rethrow(e, Action::Open, table);
    }
    return f;
}

std::uint64_t LockedFile::size() const
{
    try {
        return m_file.size();
    } catch (const platform::FileError& e) {
        rethrow(e, Action::Read, m_table);
    }
}

std::string LockedFile::readAt(std::uint64_t offset, std::size_t size) const
{
    std::string bytes(size, '\0');
    try {
        bytes.resize(m_file.readAt(offset, bytes.data(), size));
    } catch (const platform::FileError& e) {
        rethrow(e, Action::Read, m_table);
    }
    return bytes;
}

std::size_t LockedFile::readInto(std::uint64_t offset, char* into, std::size_t size) const
{
    try {
#ifndef _WIN32
        // A big table is read in two halves at once: copying out of the system's cache and
        // preparing the fresh pages is processor work, and a second core halves it. (POSIX
        // reads at an offset without moving a shared file position; Windows reads alone.)
        constexpr std::size_t kSplitFrom = std::size_t(16) << 20;
        if (size >= kSplitFrom && std::thread::hardware_concurrency() > 1) {
            const std::size_t half = (size / 2) & ~(std::size_t(1 << 16) - 1);
            std::size_t secondGot = 0;
            std::exception_ptr secondError;
            std::thread second;
            try {
                second = std::thread([&] {
                    try {
                        secondGot = m_file.readAt(offset + half, into + half, size - half);
                    } catch (...) {
                        secondError = std::current_exception();
                    }
                });
            } catch (const std::system_error&) {
                return m_file.readAt(offset, into, size); // no thread to be had: read alone
            }
            std::size_t firstGot = 0;
            std::exception_ptr firstError;
            try {
                firstGot = m_file.readAt(offset, into, half);
            } catch (...) {
                firstError = std::current_exception();
            }
            second.join();
            if (firstError)
                std::rethrow_exception(firstError);
            if (secondError)
                std::rethrow_exception(secondError);
            // A first half cut short means the file ends there, whatever the second read saw.
            return firstGot < half ? firstGot : half + secondGot;
        }
#endif
        return m_file.readAt(offset, into, size);
    } catch (const platform::FileError& e) {
        rethrow(e, Action::Read, m_table);
    }
}

void LockedFile::writeAt(std::uint64_t offset, std::string_view bytes)
{
    try {
        m_file.writeAt(offset, bytes);
    } catch (const platform::FileError& e) {
        rethrow(e, m_action, m_table);
    }
}

void LockedFile::truncate(std::uint64_t length)
{
    try {
        m_file.truncate(length);
    } catch (const platform::FileError& e) {
        rethrow(e, m_action, m_table);
    }
}

void LockedFile::sync()
{
    try {
        m_file.sync();
    } catch (const platform::FileError& e) {
        rethrow(e, m_action, m_table);
    }
}

void LockedFile::copyPermissionsFrom(const LockedFile& other)
{
    try {
        m_file.copyPermissionsFrom(other.m_file);
    } catch (const platform::FileError& e) {
        rethrow(e, m_action, m_table);
    }
}

void LockedFile::renamed(const QString& path, const QString& table)
{
    m_file.setPath(native(path));
    m_table = table;
    m_action = Action::Write;
}

void replaceFile(const QString& source, const QString& target, Action action, const QString& table)
{
    try {
        platform::replaceFile(native(source), native(target));
    } catch (const platform::FileError& e) {
        rethrow(e, action, table);
    }
}

void requireReplaceable(const QString& path, const QString& table)
{
    try {
        platform::requireReplaceable(native(path));
    } catch (const platform::FileError& e) {
        rethrow(e, Action::Create, table);
    }
}

bool fileExists(const QString& path) noexcept
{
    return platform::fileExists(native(path));
}

void removeFile(const QString& path) noexcept
{
    platform::removeFile(native(path));
}

QString resolvedPath(const QString& path)
{
    return QString::fromStdString(platform::resolvedPath(native(path)));
}

QString packTempPath(const QString& realTable) { return realTable + QStringLiteral(".pack"); }
QString createTempPath(const QString& realTable) { return realTable + QStringLiteral(".new"); }

LockedFile openTemporary(const QString& temp, Action action, const QString& table)
{
    if (platform::pathInfo(native(temp)).isLink)
        removeFile(temp);
    try {
        return LockedFile::open(temp, true, action, table);
    } catch (const StoreError& e) {
        // Held elsewhere, or a folder of that name: not ours to remove.
        const platform::PathInfo info = platform::pathInfo(native(temp));
        if (e.code() != StoreError::Code::Locked && info.exists && info.regular && !info.isLink)
            removeFile(temp);
        throw;
    }
}

void removeStaleTemporaries(const QString& realTable) noexcept
{
    for (const QString& temp : {packTempPath(realTable), createTempPath(realTable)}) {
        const std::string name = native(temp);
        const platform::PathInfo info = platform::pathInfo(name);
        // Only an ordinary file: a folder or a link of that name is not ours.
        if (!info.exists || !info.regular || info.isLink)
            continue;
        try {
            // Taking its lock proves nobody is writing it. POSIX removes it while held;
            // Windows cannot remove a file it holds open, so there it is let go first.
            platform::File held = platform::File::open(name, platform::File::Mode::Existing);
#ifdef _WIN32
            held.close();
#endif
            platform::removeFile(name);
        } catch (const platform::FileError&) {
            // Held by a running pack or create, or not ours to open: leave it.
        }
    }
}

} // namespace store::dbf
