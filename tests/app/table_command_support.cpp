#include "table_command_support.h"

#include "settings/program_settings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace kvel_test {

using store::Field;

void writeTable(const QString& path, const Rows& rows)
{
    store::MeasurementTable::create(path);
    store::MeasurementTable table;
    table.open(path);
    for (const Cells& row : rows) {
        table.table().append();
        table.setInteger(Field::NB_TYPE, store::kPenetrometerKind);
        for (const auto& [field, value] : row) {
            if (value.typeId() == QMetaType::QString)
                table.setText(field, value.toString());
            else
                table.setReal(field, value.toDouble());
        }
        table.table().post();
    }
    table.close();
}

QString fieldText(const store::MeasurementTable& table, std::uint32_t rec, Field field)
{
    const int column = table.column(field);
    if (store::measurementFields()[std::size_t(field)].type == store::FieldType::Numeric) {
        const auto v = table.table().real(rec, column);
        return v ? QString::number(*v) : QString();
    }
    return table.table().text(rec, column).trimmed();
}

QStringList fileColumn(const QString& path, Field field)
{
    store::MeasurementTable table;
    table.open(path);
    QStringList values;
    for (std::uint32_t rec : table.table().view())
        values << fieldText(table, rec, field);
    table.close();
    return values;
}

int physicalRows(const QString& path)
{
    store::MeasurementTable table;
    table.open(path);
    const int n = int(table.table().physicalCount());
    table.close();
    return n;
}

void pointPort(int number, const QString& devicePath)
{
    // Where the program looks: its own settings, in the format the tests gave it.
    settings::open()->setValue(QStringLiteral("COM%1").arg(number), devicePath);
}

Dialogs::Dialogs(std::vector<Answer> answers) : m_answers(answers.begin(), answers.end())
{
    // Polling only delivers the answers; nothing is asserted about when they come.
    connect(&m_timer, &QTimer::timeout, this, &Dialogs::poll);
    m_timer.start(5);
}

void Dialogs::poll()
{
    std::erase_if(m_answered, [](const QPointer<QWidget>& w) { return !w || !w->isVisible(); });
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || std::find(m_answered.begin(), m_answered.end(), modal) != m_answered.end())
        return;
    if (modal->objectName() == QLatin1String("DownloadDialog")) {
        // Left to run by itself: looked at again whenever it comes to the front.
        if (m_answers.empty() || m_answers.front().kind != Answer::Kind::StopDownload)
            return;
        m_answered.emplace_back(modal);
        m_answers.pop_front();
        m_seen.push_back({modal->objectName(), modal->windowTitle(), {}, {}, {}, {}, {}, {}});
        if (auto* stop = modal->findChild<QAbstractButton*>(QStringLiteral("CancelButton")))
            QMetaObject::invokeMethod(stop, &QAbstractButton::click, Qt::QueuedConnection);
        return;
    }
    m_answered.emplace_back(modal);
    const Answer answer = m_answers.empty() ? Answer::cancel() : m_answers.front();
    if (!m_answers.empty())
        m_answers.pop_front();

    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        m_seen.push_back({QStringLiteral("box"), box->windowTitle(), box->text(), box->icon(),
                          box->standardButtons(), {}, {}, {}});
        QAbstractButton* button = answer.kind == Answer::Kind::Button ? box->button(answer.button) : nullptr;
        if (button)
            QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(box, &QDialog::reject, Qt::QueuedConnection);
        return;
    }
    m_seen.push_back({modal->objectName(), modal->windowTitle(), {}, {}, {}, {}, {}, {}});
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (!dialog)
        return;
    auto* files = qobject_cast<QFileDialog*>(dialog);
    if (files) {
        // With no name typed the dialog reports its folder.
        const QFileInfo offered(files->selectedFiles().value(0));
        m_seen.back().fileName = offered.isDir() ? QString() : offered.fileName();
        m_seen.back().nameFilter = files->selectedNameFilter();
    }
    if (auto* colours = qobject_cast<QColorDialog*>(dialog))
        m_seen.back().colour = colours->currentColor();
    if (files && answer.kind == Answer::Kind::File) {
        // The dialog leaves its name field alone while that has the focus.
        if (QWidget* focus = files->focusWidget())
            focus->clearFocus();
        files->selectFile(answer.file);
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    } else if (auto* colours = qobject_cast<QColorDialog*>(dialog); colours && answer.kind == Answer::Kind::Colour) {
        colours->setCurrentColor(answer.colour);
        QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
    }
}

} // namespace kvel_test
