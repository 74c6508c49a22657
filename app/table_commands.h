#pragma once

#include "app/command_context.h"

#include "store/flash_decoder.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QAction;
class QMenu;

namespace device {
class DownloadDialog;
}
namespace store {
class MeasurementTable;
}

namespace app {

// The commands on whole tables: "Создать" (download the instrument into a new table),
// "Открыть", "Дополнить", "Сохранить", "Закрыть", "Выход", the recent tables and a table
// handed over by a second start of the program or dropped on the window.
class TableCommands : public QObject {
    Q_OBJECT

public:
    TableCommands(const CommandContext& context, QObject* parent);
    ~TableCommands() override;

    QAction* newTableAction() const noexcept { return m_newTable; }
    QAction* openTableAction() const noexcept { return m_openTable; }
    QAction* appendAction() const noexcept { return m_append; }
    QAction* saveTableAction() const noexcept { return m_saveTable; }
    QAction* closeTableAction() const noexcept { return m_closeTable; }
    QAction* exitAction() const noexcept { return m_exit; }
    // "Последние таблицы", filled afresh each time it opens.
    QMenu* recentMenu() const noexcept { return m_recentMenu; }

    // "Создать": the file first, then the download; the table is made only from a
    // download that finished.
    void createTable();
    // "Открыть": asks for the file.
    void chooseAndOpenTable();
    // Opens a table named outside the open dialog (the command line, the recent tables, a
    // dropped file) as "Открыть" opens a chosen one: the table open now stays open until the
    // new one has opened, unsaved edits are asked about, and the new one's folder becomes the
    // data folder.
    void openTable(const QString& path);
    // A second start of the program named this table: the window comes to the front and
    // opens it, once no dialog is in the way; the table already open is only shown.
    void openHandedOver(const QString& path);
    // "Дополнить": downloads and adds the new records to the open table.
    void appendDownload();
    // "Сохранить": everything to the file, by closing and opening it again.
    void saveTable();
    // "Закрыть": asks about unsaved changes («Да» keeps them, «Нет» undoes them in the file,
    // «Отмена» keeps the table open and returns false), then closes the table. Throws when
    // saving or undoing fails; the table stays open then.
    bool closeTable();

    // The recent tables, newest first, and their upkeep.
    QStringList recentTables() const;
    void forgetTable(const QString& path);
    void forgetMissingTables();
    void forgetAllTables();

signals:
    // A table was opened or made: the window shows it.
    void tableOpened();
    // The rows in view may be of the other kind now (after an append): the window shows its tab.
    void kindShown();
    // An append brought new tests into the open table.
    void testsAppended();
    // "Закрыть" found no table open; the window goes to its no-table state all the same.
    void closedWithoutTable();
    void recentTablesChanged();

private:
    // Opens the table (or the one opened aside); a file that is not the measurement table
    // gives "База данных повреждена !" and leaves no table open. Returns whether it opened.
    bool showTable(const QString& path, std::unique_ptr<store::MeasurementTable> opened);
    void createFromDownload(const QString& path);
    store::DownloadedImage downloadedImage() const;
    void rememberTable(const QString& path);
    void fillRecentMenu();

    CommandContext m_context;
    device::DownloadDialog* m_download = nullptr;
    QAction* m_newTable = nullptr;
    QAction* m_openTable = nullptr;
    QAction* m_append = nullptr;
    QAction* m_saveTable = nullptr;
    QAction* m_closeTable = nullptr;
    QAction* m_exit = nullptr;
    QMenu* m_recentMenu = nullptr;
    QString m_handedOver; // a table handed over while a dialog was up
};

} // namespace app
