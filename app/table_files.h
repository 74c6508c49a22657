#pragma once

#include <QObject>
#include <QString>

class QFileDialog;
class QSettings;
class QWidget;

namespace app {

// The data folder the program remembers (settings value Default_dir) and the two file
// dialogs that start in it: the open dialog of the tables and the save dialog that New and
// the export share.
class TableFiles : public QObject {
    Q_OBJECT

public:
    // Reads the data folder; on the first run it is the folder the program started in, and
    // it is stored at once so that the value exists from then on.
    TableFiles(QSettings& settings, QWidget* dialogParent);

    const QString& dataFolder() const noexcept { return m_folder; }
    // The folder becomes the one both dialogs start in.
    void setDataFolder(const QString& folder);
    // Stores the data folder (when the window closes).
    void rememberDataFolder();

    // "Открыть": a table file chosen by the user; empty when cancelled.
    QString chooseTableToOpen();
    // "Создать": the name of the new table; empty when cancelled.
    QString chooseNewTable();
    // The save dialog, for a command that sets its own file types around one question.
    QFileDialog* saveDialog() const noexcept { return m_saveDialog; }

private:
    QSettings& m_settings;
    QString m_folder;
    QFileDialog* m_openDialog = nullptr;
    QFileDialog* m_saveDialog = nullptr;
};

} // namespace app
