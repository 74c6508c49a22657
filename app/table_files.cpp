#include "app/table_files.h"

#include "app/file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QSettings>

namespace app {
namespace {

const QString kDataFolderKey = QStringLiteral("Default_dir");

} // namespace

TableFiles::TableFiles(QSettings& settings, QWidget* dialogParent)
    : QObject(dialogParent), m_settings(settings)
{
    m_openDialog = new QFileDialog(dialogParent);
    m_openDialog->setObjectName(QStringLiteral("openTableDialog"));
    m_openDialog->setAcceptMode(QFileDialog::AcceptOpen);
    m_openDialog->setFileMode(QFileDialog::ExistingFile);
    m_openDialog->setNameFilter(QStringLiteral("Базы данных (*.db)"));
    m_openDialog->setDefaultSuffix(QStringLiteral("db"));

    m_saveDialog = new QFileDialog(dialogParent);
    m_saveDialog->setObjectName(QStringLiteral("saveFileDialog"));
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setFileMode(QFileDialog::AnyFile);
    m_saveDialog->setNameFilter(QStringLiteral("Файлы данных (*.db)"));
    m_saveDialog->setDefaultSuffix(QStringLiteral("db"));

    if (m_settings.contains(kDataFolderKey)) {
        // Not checked for existence: the file dialogs cope with a folder that has gone.
        m_folder = m_settings.value(kDataFolderKey).toString();
    } else {
        m_folder = QDir::toNativeSeparators(QDir::currentPath());
        m_settings.setValue(kDataFolderKey, m_folder);
        m_settings.sync();
    }
    setDataFolder(m_folder);
}

void TableFiles::setDataFolder(const QString& folder)
{
    m_folder = folder;
    m_openDialog->setDirectory(folder);
    m_saveDialog->setDirectory(folder);
}

void TableFiles::rememberDataFolder()
{
    m_settings.setValue(kDataFolderKey, m_folder);
    m_settings.sync();
}

QString TableFiles::chooseTableToOpen()
{
    return chosenFile(m_openDialog);
}

QString TableFiles::chooseNewTable()
{
    return chosenFile(m_saveDialog);
}

} // namespace app
