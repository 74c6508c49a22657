#include "app/error_report.h"

#include "app/unreadable_values.h"

#include <QMessageBox>

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

void warnOfUnreadableValues(QWidget* parent, const document::MeasurementDocument& document)
{
    if (document.unreadableValues().empty())
        return;
    // A box of our own rather than QMessageBox::warning: tests and automation find it by name.
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Предупреждение"),
                    unreadableValuesMessage(document.path(), document.unreadableValues()), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("UnreadableValuesBox"));
    box.exec();
}

} // namespace app
