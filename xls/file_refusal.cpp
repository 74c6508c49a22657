#include "xls/file_refusal.h"

namespace xls {

std::string refusalText(const QString& fileName, const platform::FileError& error)
{
    switch (error.code()) {
    case platform::FileError::Code::ReadOnly:
        return QStringLiteral("Файл %1 доступен только для чтения, заменить его нельзя.").arg(fileName).toStdString();
    case platform::FileError::Code::NotRegular:
        return QStringLiteral("%1 — не обычный файл (папка, устройство или канал), записать в него книгу нельзя.")
            .arg(fileName)
            .toStdString();
    case platform::FileError::Code::Locked:
        return QStringLiteral("Файл %1 открыт другой программой, заменить его нельзя.").arg(fileName).toStdString();
    default:
        return QStringLiteral("Нельзя заменить файл %1: %2")
            .arg(fileName, QString::fromUtf8(error.reason().c_str()))
            .toStdString();
    }
}

} // namespace xls
