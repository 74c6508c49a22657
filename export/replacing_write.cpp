#include "export/replacing_write.h"

#include "platform/file_io.h"
#include "store/store_error.h"

#include <QFile>
#include <QFileInfo>

namespace table_export {

void writeReplacing(const QString& path, const std::function<void(const std::string& tempPath)>& write)
{
    const auto failed = [&path](const QString& why) {
        return store::StoreError(store::StoreError::Code::Io, QStringLiteral("Не удалось записать файл «%1»: %2")
                                                                  .arg(QFileInfo(path).fileName(), why)
                                                                  .toStdString());
    };
    const std::string target = platform::resolvedPath(QFile::encodeName(path).toStdString());
    const std::string temp = platform::temporaryBeside(target);
    try {
        platform::requireReplaceable(target);
        write(temp);
        platform::commitReplacement(temp, target);
    } catch (const platform::FileError& error) {
        platform::removeFile(temp);
        throw failed(QString::fromUtf8(error.reason().c_str()));
    } catch (const store::StoreError& error) {
        platform::removeFile(temp);
        throw failed(QString::fromUtf8(error.what()));
    } catch (...) {
        platform::removeFile(temp);
        throw;
    }
}

} // namespace table_export
