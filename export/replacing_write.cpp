#include "export/replacing_write.h"

#include "platform/file_io.h"
#include "platform/native_name.h"
#include "platform/replacement_file.h"
#include "store/dbf_table.h"
#include "store/store_error.h"

#include <QFile>
#include <QFileInfo>

#include <exception>

namespace table_export {
namespace {

store::StoreError refusal(const QString& out, const QString& why)
{
    return store::StoreError(store::StoreError::Code::Io,
                             QStringLiteral("Нельзя записать в «%1»: %2").arg(QFileInfo(out).fileName(), why).toStdString());
}

QString reasonText(const platform::FileError& error)
{
    return QString::fromUtf8(error.reason().c_str());
}

} // namespace

QString writeFailureText(const QString& path, const QString& why)
{
    return QStringLiteral("Не удалось записать файл «%1»: %2").arg(QFileInfo(path).fileName(), why);
}

void requireExportTarget(const QString& source, const QString& out)
{
    if (out.isEmpty())
        throw store::StoreError(store::StoreError::Code::Io, "Не задано имя файла, в который записать.");
    const std::string target = platform::resolvedPath(platform::nativeName(out));
    if (!source.isEmpty() && platform::sameFile(platform::nativeName(source), target))
        throw refusal(out, QStringLiteral("это таблица, из которой берутся данные."));
    try {
        platform::requireExportTarget(target);
    } catch (const platform::FileError& error) {
        if (error.code() == platform::FileError::Code::NotRegular)
            throw refusal(out, QStringLiteral("это не обычный файл (папка, устройство или канал)."));
        if (error.code() == platform::FileError::Code::ReadOnly)
            throw refusal(out, QStringLiteral("файл доступен только для чтения."));
        throw refusal(out, reasonText(error) + QLatin1Char('.'));
    }
    const platform::PathInfo info = platform::pathInfo(target);
    if (info.exists && info.regular && store::DbfTable::isTableFile(QString::fromStdString(target)))
        throw refusal(out, QStringLiteral("это таблица dBase; она была бы потеряна."));
}

void writeReplacing(const QString& path, const std::function<void(platform::File&)>& write)
{
    const auto failed = [&path](const QString& why) {
        return store::StoreError(store::StoreError::Code::Io, writeFailureText(path, why).toStdString());
    };
    try {
        const std::string target = platform::resolvedPath(platform::nativeName(path));
        platform::requireExportTarget(target);
        platform::ReplacementFile temp(target);
        write(temp.file());
        temp.commit();
    } catch (const platform::FileError& error) {
        throw failed(reasonText(error));
    } catch (const store::StoreError& error) {
        throw failed(QString::fromUtf8(error.what()));
    }
}

FileDevice::FileDevice(platform::File& file) : m_file(file)
{
    open(QIODevice::WriteOnly);
}

FileDevice::~FileDevice() = default;

qint64 FileDevice::writeData(const char* data, qint64 size)
{
    if (m_failure)
        return -1;
    try {
        m_file.writeAt(m_written, std::string_view(data, std::size_t(size)));
        m_written += std::uint64_t(size);
        return size;
    } catch (const platform::FileError& error) {
        m_failure = [error] { throw error; };
    } catch (const std::exception& error) {
        const std::string what = error.what();
        m_failure = [what] { throw store::StoreError(store::StoreError::Code::Io, what); };
    }
    setErrorString(QStringLiteral("write failed"));
    return -1;
}

void FileDevice::throwIfFailed() const
{
    if (m_failure)
        m_failure();
}

} // namespace table_export
