#include "store/dbf_file.h"

#include <QDate>
#include <QFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

[[noreturn]] void ioError(const char* what, const QString& path)
{
    throw StoreError(StoreError::Code::Io, std::string(what) + " \"" + path.toStdString() +
                                               "\": " + std::strerror(errno));
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
    if (data > fileSize)
        damaged("записей меньше, чем указано в заголовке");
    // Only the end-of-file mark may follow the last record.
    if (fileSize - data > 1)
        damaged("записей больше, чем указано в заголовке");
    return layout;
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
        const bool numeric = f.type == FieldType::Numeric || f.type == FieldType::Float;
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

// ---- LockedFile ----------------------------------------------------------------------------

LockedFile::~LockedFile() { close(); }

LockedFile::LockedFile(LockedFile&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path))
{
    other.m_fd = -1;
}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

LockedFile LockedFile::open(const QString& path, bool create)
{
    LockedFile f;
    f.m_path = path;
#ifdef _WIN32
    // Windows: a no-share open is the lock; a second opener gets a sharing violation.
    int flags = _O_RDWR | _O_BINARY | (create ? (_O_CREAT | _O_TRUNC) : 0);
    errno_t err = _wsopen_s(&f.m_fd, reinterpret_cast<const wchar_t*>(path.utf16()), flags,
                            _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (err != 0) {
        f.m_fd = -1;
        if (err == EACCES && QFile::exists(path))
            throw StoreError(StoreError::Code::Locked,
                             "Таблица \"" + path.toStdString() + "\" открыта другой программой");
        ioError("Не удалось открыть файл", path);
    }
#else
    const QByteArray native = QFile::encodeName(path);
    // Lock before truncating, so that creating over a table that someone holds open fails
    // instead of wiping it under them.
    f.m_fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (f.m_fd < 0)
        ioError("Не удалось открыть файл", path);
    if (::flock(f.m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int lockErr = errno;
        f.close();
        if (lockErr == EWOULDBLOCK)
            throw StoreError(StoreError::Code::Locked,
                             "Таблица \"" + path.toStdString() + "\" открыта другой программой");
        errno = lockErr;
        ioError("Не удалось заблокировать файл", path);
    }
    if (create && ::ftruncate(f.m_fd, 0) != 0)
        ioError("Не удалось создать файл", path);
#endif
    return f;
}

std::uint64_t LockedFile::size() const
{
#ifdef _WIN32
    const __int64 s = _filelengthi64(m_fd);
    if (s < 0)
        ioError("Не удалось узнать размер файла", m_path);
    return static_cast<std::uint64_t>(s);
#else
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        ioError("Не удалось узнать размер файла", m_path);
    return static_cast<std::uint64_t>(st.st_size);
#endif
}

std::string LockedFile::readAll() const
{
    const std::uint64_t total = size();
    std::string bytes(static_cast<std::size_t>(total), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        _lseeki64(m_fd, static_cast<__int64>(done), SEEK_SET);
        const int n = _read(m_fd, bytes.data() + done,
                            static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30)));
#else
        const ssize_t n = ::pread(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
#endif
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ioError("Ошибка чтения файла", m_path);
        }
        if (n == 0)
            break; // the file shrank under us; the header check will say so
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

void LockedFile::writeAt(std::uint64_t offset, std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        _lseeki64(m_fd, static_cast<__int64>(offset + done), SEEK_SET);
        const int n = _write(m_fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
#else
        const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
#endif
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ioError("Ошибка записи в файл", m_path);
        }
        done += static_cast<std::size_t>(n);
    }
}

void LockedFile::sync()
{
#ifdef _WIN32
    if (_commit(m_fd) != 0)
#else
    if (::fsync(m_fd) != 0)
#endif
        ioError("Ошибка записи в файл", m_path);
}

void LockedFile::copyPermissionsFrom(const LockedFile& other)
{
#ifndef _WIN32
    struct stat st {};
    if (::fstat(other.m_fd, &st) != 0 || ::fchmod(m_fd, st.st_mode & 07777) != 0)
        ioError("Не удалось задать права файла", m_path);
#else
    (void)other;
#endif
}

void LockedFile::close() noexcept
{
    if (m_fd >= 0) {
#ifdef _WIN32
        _close(m_fd);
#else
        ::close(m_fd); // closing the descriptor also drops the flock
#endif
        m_fd = -1;
    }
}

void replaceFile(const QString& source, const QString& target)
{
#ifdef _WIN32
    if (!MoveFileExW(reinterpret_cast<const wchar_t*>(source.utf16()),
                     reinterpret_cast<const wchar_t*>(target.utf16()), MOVEFILE_REPLACE_EXISTING))
        ioError("Не удалось заменить файл", target);
#else
    if (::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
        ioError("Не удалось заменить файл", target);
#endif
}

void removeFile(const QString& path) noexcept
{
    QFile::remove(path);
}

} // namespace store::dbf
