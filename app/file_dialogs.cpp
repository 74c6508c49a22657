#include "app/file_dialogs.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QLineEdit>

namespace app {

QString chosenFile(QFileDialog* dialog)
{
    // Every command's dialog starts without a name. selectFile() ignores an empty one, and
    // Qt's own dialog offers again what the last command chose, from its name field or from
    // the selection in its file list: both are cleared by hand. (A native dialog starts
    // empty by itself and has neither.)
    if (auto* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView")))
        list->clearSelection();
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->clear();
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog->selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

FileTypeChoice::FileTypeChoice(QFileDialog* dialog, std::vector<FileType> types)
    : m_dialog(dialog), m_types(std::move(types)), m_filters(dialog->nameFilters()),
      m_suffix(dialog->defaultSuffix())
{
    QStringList filters;
    for (const FileType& type : m_types)
        filters << type.filter;
    m_dialog->setNameFilters(filters);
    m_dialog->selectNameFilter(filters.front());
    m_dialog->setDefaultSuffix(m_types.front().suffix);
    m_follow = QObject::connect(m_dialog, &QFileDialog::filterSelected, m_dialog, [this](const QString& filter) {
        m_dialog->setDefaultSuffix(m_types[indexOf(filter)].suffix);
    });
    // Replacing an existing file is asked about by the dialog itself.
    m_dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
}

FileTypeChoice::~FileTypeChoice()
{
    QObject::disconnect(m_follow);
    m_dialog->setNameFilters(m_filters);
    m_dialog->setDefaultSuffix(m_suffix);
}

std::size_t FileTypeChoice::chosen() const
{
    return indexOf(m_dialog->selectedNameFilter());
}

std::size_t FileTypeChoice::indexOf(const QString& filter) const
{
    for (std::size_t i = 0; i < m_types.size(); ++i)
        if (m_types[i].filter == filter)
            return i;
    return 0;
}

} // namespace app
