#include "app/error_text.h"

#include "archive/archive_error.h"
#include "document/measurement_document.h"
#include "platform/file_io.h"
#include "platform/native_name.h"
#include "store/store_error.h"
#include "xls/xls_error.h"

#include <QFileInfo>

#include <new>

namespace app {

QString errorText(const std::exception& error)
{
    // The store, the workbook writer and the archive speak Russian already, in UTF-8.
    if (dynamic_cast<const store::StoreError*>(&error) || dynamic_cast<const xls::XlsError*>(&error)
        || dynamic_cast<const archive::ArchiveError*>(&error))
        return QString::fromUtf8(error.what());
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QStringLiteral("Недостаточно памяти для выполнения команды.");
    // Anything else is a fault of the program itself; its text is for the developer.
    return QStringLiteral("Внутренняя ошибка программы: %1").arg(QString::fromUtf8(error.what()));
}

QString openFailureText(const std::exception& error, const QString& path)
{
    const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    const auto* storeError = dynamic_cast<const store::StoreError*>(&error);
    if (storeError && storeError->code() == store::StoreError::Code::Locked)
        return QStringLiteral("Таблица «%1» открыта другой программой.\n"
                              "Закройте её в той программе и повторите команду.")
            .arg(name);
    // A damaged file is the one case the user cannot fix by choosing another file: name
    // everything else for what it is.
    if (storeError
        && (storeError->code() == store::StoreError::Code::NotATable
            || storeError->code() == store::StoreError::Code::Damaged
            || storeError->code() == store::StoreError::Code::MissingField))
        return QStringLiteral("База данных повреждена !");
    if (path.isEmpty())
        return QStringLiteral("Не задано имя таблицы.");
    const std::string native = platform::nativeName(path);
    const platform::PathInfo info = platform::pathInfo(native);
    if (!info.exists) {
        // Qt shows the bytes of a name that is not UTF-8 as U+FFFD, and no file has that name.
        if (path.contains(QChar::ReplacementCharacter))
            return QStringLiteral("Имя файла «%1» не в кодировке системы (UTF-8): открыть таблицу под таким "
                                  "именем нельзя. Переименуйте файл.")
                .arg(name);
        return QStringLiteral("Файл «%1» не найден.").arg(name);
    }
    if (QFileInfo(path).isDir())
        return QStringLiteral("«%1» — это папка, а не таблица.").arg(name);
    if (!info.regular)
        return QStringLiteral("«%1» — не обычный файл (устройство или канал), а не таблица.").arg(name);
    if (!QFileInfo(path).isReadable())
        return QStringLiteral("Нет прав на чтение файла «%1».").arg(name);
    if (!info.writable)
        return QStringLiteral("Нет прав на запись в файл «%1»: таблица открывается для записи.").arg(name);
    if (storeError)
        return QString::fromUtf8(error.what());
    return QStringLiteral("Не удалось открыть таблицу «%1».").arg(name);
}

void rewordReopenFailure(const std::function<void()>& command)
{
    try {
        command();
    } catch (const document::AppendNotSavedError& error) {
        // The count is what the instrument gave: the user learns whether to look for them.
        throw store::StoreError(
            error.code(),
            QStringLiteral("Из прибора получено новых записей: %1.\n"
                           "Не удалось снова открыть таблицу «%2» при сохранении:\n%3\n\nТаблица закрыта.\n"
                           "Откройте таблицу и проверьте, сохранились ли эти записи.")
                .arg(error.added())
                .arg(QFileInfo(error.path()).fileName(), QString::fromUtf8(error.what()))
                .toStdString());
    } catch (const document::ReopenError& error) {
        throw store::StoreError(
            error.code(), QStringLiteral("Не удалось снова открыть таблицу «%1» при сохранении:\n%2\n\n"
                                         "Таблица закрыта.")
                              .arg(QFileInfo(error.path()).fileName(), QString::fromUtf8(error.what()))
                              .toStdString());
    }
}

} // namespace app
