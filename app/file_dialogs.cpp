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

} // namespace app
