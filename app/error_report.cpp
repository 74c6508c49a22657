#include "app/error_report.h"

#include "store/store_error.h"
#include "xls/xls_error.h"

#include <QFileInfo>
#include <QMessageBox>

#include <new>

namespace app {
namespace {

const QString kErrorCaption = QStringLiteral("Ошибка");

void showErrorBox(QWidget* parent, const QString& text) noexcept
{
    try {
        QMessageBox box(QMessageBox::Critical, kErrorCaption, text, QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("ErrorBox"));
        box.exec();
    } catch (...) {
        // Nothing is left to tell the user with; the command has ended either way.
    }
}

} // namespace

QString errorText(const std::exception& error)
{
    // The store and the workbook writer speak Russian already, in UTF-8.
    if (dynamic_cast<const store::StoreError*>(&error) || dynamic_cast<const xls::XlsError*>(&error))
        return QString::fromUtf8(error.what());
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QStringLiteral("Недостаточно памяти для выполнения команды.");
    // Anything else is a fault of the program itself; its text is for the developer.
    return QStringLiteral("Внутренняя ошибка программы: %1").arg(QString::fromUtf8(error.what()));
}

QString openFailureText(const std::exception& error, const QString& path)
{
    const auto* storeError = dynamic_cast<const store::StoreError*>(&error);
    if (storeError && storeError->code() == store::StoreError::Code::Locked)
        return QStringLiteral("Таблица «%1» открыта другой программой.\n"
                              "Закройте её в той программе и повторите команду.")
            .arg(QFileInfo(path).fileName());
    return QStringLiteral("База данных повреждена !");
}

void showError(QWidget* parent, const std::exception& error) noexcept
{
    QString text;
    try {
        text = errorText(error);
    } catch (...) {
        return;
    }
    showErrorBox(parent, text);
}

void showUnknownError(QWidget* parent) noexcept
{
    showErrorBox(parent, QStringLiteral("Внутренняя ошибка программы."));
}

} // namespace app
