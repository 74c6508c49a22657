#pragma once

#include <QMetaObject>
#include <QString>
#include <QStringList>

#include <vector>

class QFileDialog;

namespace app {

// Shows a file dialog that starts without a file name and returns the chosen file; empty
// when the dialog was cancelled or gave no name.
QString chosenFile(QFileDialog* dialog);

// One type a save dialog offers: its filter text and the extension a name gets without one.
struct FileType {
    QString filter;
    QString suffix;
};

// While alive, a save dialog offers `types`, starting on the first; a name typed without an
// extension gets the one of the type chosen. The dialog gets its own types back afterwards,
// so one dialog can serve several commands.
class FileTypeChoice {
public:
    FileTypeChoice(QFileDialog* dialog, std::vector<FileType> types);
    ~FileTypeChoice();
    FileTypeChoice(const FileTypeChoice&) = delete;
    FileTypeChoice& operator=(const FileTypeChoice&) = delete;

    // The index in `types` of the type chosen in the dialog.
    std::size_t chosen() const;

private:
    std::size_t indexOf(const QString& filter) const;

    QFileDialog* m_dialog;
    std::vector<FileType> m_types;
    QStringList m_filters;
    QString m_suffix;
    QMetaObject::Connection m_follow;
};

} // namespace app
