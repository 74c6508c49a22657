#include "app/unreadable_values.h"

#include "store/store_error.h"

#include <QFileInfo>

#include <algorithm>

namespace app {

QString unreadableValuesMessage(const QString& path, const std::vector<document::UnreadableValue>& values)
{
    QString text = QStringLiteral("В таблице «%1» есть значения, которые нельзя прочитать как числа; "
                                  "они показаны пустыми и отмечены:")
                       .arg(QFileInfo(path).fileName());
    const int count = static_cast<int>(values.size());
    const int listed = std::min(count, kUnreadableValuesListed);
    for (int i = 0; i < listed; ++i) {
        const document::UnreadableValue& v = values[static_cast<std::size_t>(i)];
        text += QStringLiteral("\nзапись %1, поле %2: «%3»").arg(v.record).arg(v.field, v.text);
    }
    if (count > listed)
        text += QStringLiteral("\nи ещё %1").arg(count - listed);
    return text;
}

void refuseUnreadableValues(const document::MeasurementDocument& document)
{
    const auto& values = document.unreadableValues();
    if (values.empty())
        return;
    // An export would write these cells empty, and nobody would read the message box that
    // the window shows: the file is not written at all.
    const document::UnreadableValue& first = values.front();
    QString text = QStringLiteral("Таблица «%1»: запись %2, поле %3: значение «%4» нельзя прочитать как число")
                       .arg(QFileInfo(document.path()).fileName())
                       .arg(first.record)
                       .arg(first.field, first.text);
    if (values.size() > 1)
        text += QStringLiteral(" (всего таких значений: %1)").arg(values.size());
    text += QStringLiteral("; файл не записан.");
    throw store::StoreError(store::StoreError::Code::BadNumber, text.toStdString());
}

} // namespace app
