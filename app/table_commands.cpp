#include "app/table_commands.h"

#include "app/error_report.h"
#include "app/resources.h"
#include "app/table_files.h"
#include "app/unreadable_values.h"

#include "device/download_dialog.h"
#include "document/measurement_document.h"
#include "settings/recent_tables.h"
#include "store/store_error.h"
#include "views/grid_tabs.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

namespace app {

TableCommands::TableCommands(const CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context)
{
    m_download = new device::DownloadDialog(m_context.state.download, m_context.window);
    connect(m_download, &device::DownloadDialog::errorOccurred, this, [this](const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok, m_download);
        box.exec();
    });

    m_newTable = makeCommand(this, m_context, "newTableAction", QStringLiteral("Создать"), [this] { createTable(); });
    m_newTable->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    m_newTable->setIcon(programIcon("new"));
    m_openTable = makeCommand(this, m_context, "openTableAction", QStringLiteral("Открыть"),
                              [this] { chooseAndOpenTable(); });
    m_openTable->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    m_openTable->setIcon(programIcon("open"));
    m_append = makeCommand(this, m_context, "appendAction", QStringLiteral("Дополнить"), [this] { appendDownload(); });
    m_saveTable = makeCommand(this, m_context, "saveTableAction", QStringLiteral("Сохранить"), [this] { saveTable(); });
    m_saveTable->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    m_saveTable->setIcon(programIcon("save"));
    m_closeTable = makeCommand(this, m_context, "closeTableAction", QStringLiteral("Закрыть"), [this] { closeTable(); });
    // Leaves the event loop without closing any window: the data folder is not written, no
    // question is asked and the index file stays. The table is closed when the window is
    // destroyed at the end of main().
    m_exit = makeCommand(this, m_context, "exitAction", QStringLiteral("Выход"), [] { QCoreApplication::exit(0); });

    m_recentMenu = new QMenu(QStringLiteral("Последние таблицы"), m_context.window);
    m_recentMenu->setObjectName(QStringLiteral("recentMenu"));
    m_recentMenu->menuAction()->setObjectName(QStringLiteral("recentMenu"));
    connect(m_recentMenu, &QMenu::aboutToShow, this, &TableCommands::fillRecentMenu);
    fillRecentMenu();
}

TableCommands::~TableCommands() = default;

store::DownloadedImage TableCommands::downloadedImage() const
{
    // Only the bytes this download received: what lies beyond is an older download's.
    const auto& download = m_context.state.download;
    return {std::span(download.flash_image.data(), download.image_length), download.dev_type,
            download.dev_serial};
}

// ---- New, Open, Append, Save, Close ----------------------------------------------------------

void TableCommands::createTable()
{
    if (m_context.document.isOpen() && !closeTable())
        return;
    const QString file = m_context.files.chooseNewTable();
    if (file.isEmpty())
        return;
    // Close deletes the ".mdx" file named like the table: a table of that name would be
    // somebody's index file, or lose its rows to the Close of another table.
    if (file.endsWith(QStringLiteral(".mdx"), Qt::CaseInsensitive)) {
        QMessageBox::warning(m_context.window, QStringLiteral("Ошибка"),
                             QStringLiteral("Имя «%1» не подходит для таблицы: файлы с расширением .mdx — "
                                            "индексные, программа удаляет их при закрытии таблиц.\n"
                                            "Выберите другое имя.")
                                 .arg(QFileInfo(file).fileName()));
        return;
    }
    // A file that may not be replaced (read-only, a folder or device, held by another program)
    // is refused now, before the user spends a download on it.
    store::MeasurementTable::checkReplaceable(file);
    // The table is made only once the instrument's memory is here: a failed or cancelled
    // download leaves an existing file of that name untouched.
    if (m_download->exec() != device::DownloadDialog::ResultOk)
        return;
    createFromDownload(file);
}

void TableCommands::createFromDownload(const QString& path)
{
    // Even when writing a row fails, the table is open with the rows written so far: show
    // them and the commands that work on them, then report the error.
    try {
        m_context.document.create(path, downloadedImage());
    } catch (...) {
        if (m_context.document.isOpen()) {
            emit tableOpened();
            rememberTable(path);
        }
        throw;
    }
    rememberTable(path);
    m_context.grids.showForceColumns();
    emit tableOpened();
}

void TableCommands::chooseAndOpenTable()
{
    const QString file = m_context.files.chooseTableToOpen();
    if (!file.isEmpty())
        openTable(file);
}

void TableCommands::openTable(const QString& path)
{
    document::MeasurementDocument& document = m_context.document;
    const QString file = QFileInfo(path).absoluteFilePath();
    // The table open now stays open until the new one has opened: a name that turns out to
    // be no table (or one in use) costs the user nothing. Only the same table is closed first,
    // since it cannot be opened twice.
    std::unique_ptr<store::MeasurementTable> next;
    if (document.isOpen() && !settings::RecentTables::sameTable(document.path(), file)) {
        try {
            next = document.openAside(file);
        } catch (const store::StoreError& error) {
            QMessageBox::critical(m_context.window, QStringLiteral("Ошибка"), openFailureText(error, file));
            return;
        }
    }
    if (document.isOpen() && !closeTable())
        return;
    m_context.files.setDataFolder(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
    showTable(file, std::move(next));
}

bool TableCommands::showTable(const QString& path, std::unique_ptr<store::MeasurementTable> opened)
{
    try {
        if (opened)
            m_context.document.open(std::move(opened));
        else
            m_context.document.open(path);
    } catch (const store::StoreError& error) {
        QMessageBox::critical(m_context.window, QStringLiteral("Ошибка"), openFailureText(error, path));
        return false;
    }
    emit tableOpened();
    rememberTable(path);
    warnOfUnreadableValues(m_context.window, m_context.document);
    return true;
}

void TableCommands::openHandedOver(const QString& path)
{
    QWidget* window = m_context.window;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
    // A dialog up (a download, a question, the splash) finishes first; the last table handed
    // over waits for it.
    const bool waiting = !m_handedOver.isEmpty();
    m_handedOver = path;
    if (waiting)
        return;
    const auto tryNow = [this](const auto& self) -> void {
        if (QApplication::activeModalWidget()) {
            QTimer::singleShot(200, this, [this, self] { self(self); });
            return;
        }
        const QString table = std::exchange(m_handedOver, QString());
        if (m_context.document.isOpen() && settings::RecentTables::sameTable(m_context.document.path(), table))
            return;
        runAfterCellEdit(m_context, [&] { openTable(table); });
    };
    tryNow(tryNow);
}

void TableCommands::appendDownload()
{
    if (!m_context.document.isOpen())
        return;
    if (m_download->exec() != device::DownloadDialog::ResultOk)
        return;
    store::DecodeResult result;
    try {
        rewordReopenFailure([&] { result = m_context.document.append(downloadedImage()); });
    } catch (...) {
        // Whatever went wrong, the tab of the kind shown stays in front.
        emit kindShown();
        throw;
    }
    if (result.added > 0) {
        m_context.grids.showForceColumns();
        emit testsAppended();
    }
    // None added is no failure: the user learns why.
    QString text = QStringLiteral("Добавлено записей: %1").arg(result.added);
    if (result.added == 0)
        text += QStringLiteral("\nВсе испытания прибора уже есть в таблице.");
    QMessageBox::information(m_context.window, QStringLiteral("Дополнение"), text);
    emit kindShown();
}

void TableCommands::saveTable()
{
    // Closing and reopening makes sure that everything has reached the file; the kind
    // filter and a sort stay as the user sees them.
    rewordReopenFailure([this] { m_context.document.save(); });
}

bool TableCommands::closeTable()
{
    document::MeasurementDocument& document = m_context.document;
    if (document.isChanged()) {
        // Every change is in the file already: «Да» keeps them, «Нет» takes the file back to
        // what it held at the last save (or the open), «Отмена» leaves the table open.
        const auto answer = QMessageBox::question(
            m_context.window, kCaption, QStringLiteral("Сохранить изменения в таблицах ?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        if (answer == QMessageBox::Yes)
            saveTable();
        else if (answer == QMessageBox::No)
            document.revertToSaved();
        else
            return false;
    }
    // The document announces the closing, and the window follows; with nothing open the
    // window goes to its no-table state all the same.
    const bool wasOpen = document.isOpen();
    document.close();
    if (!wasOpen)
        emit closedWithoutTable();
    return true;
}

// ---- the recent tables -----------------------------------------------------------------------

QStringList TableCommands::recentTables() const
{
    return settings::RecentTables(m_context.settings).paths();
}

void TableCommands::rememberTable(const QString& path)
{
    settings::RecentTables(m_context.settings).add(path);
    emit recentTablesChanged();
}

void TableCommands::forgetTable(const QString& path)
{
    settings::RecentTables(m_context.settings).remove(path);
    emit recentTablesChanged();
}

void TableCommands::forgetMissingTables()
{
    settings::RecentTables recent(m_context.settings);
    for (const QString& path : recent.paths())
        if (!QFileInfo(path).isFile())
            recent.remove(path);
    emit recentTablesChanged();
}

void TableCommands::forgetAllTables()
{
    settings::RecentTables(m_context.settings).clear();
    emit recentTablesChanged();
}

void TableCommands::fillRecentMenu()
{
    // Built each time it opens, so that a file that has come or gone is shown as it is now.
    m_recentMenu->clear();
    const QStringList paths = recentTables();
    bool anyMissing = false;
    int number = 0;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const bool present = info.isFile();
        anyMissing = anyMissing || !present;
        ++number;
        // "&1 name.db — folder": the digit is the key to press.
        QString text = QStringLiteral("&%1 %2 — %3")
                           .arg(number)
                           .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath()));
        if (!present)
            text += QStringLiteral(" (файл не найден)");
        QAction* action = m_recentMenu->addAction(text);
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setEnabled(present);
        connect(action, &QAction::triggered, this, [this, path] { runAfterCellEdit(m_context, [&] { openTable(path); }); });
    }
    if (paths.isEmpty())
        m_recentMenu->addAction(QStringLiteral("(список пуст)"))->setEnabled(false);
    m_recentMenu->addSeparator();
    QAction* removeMissing = m_recentMenu->addAction(QStringLiteral("Убрать отсутствующие файлы"));
    removeMissing->setObjectName(QStringLiteral("forgetMissingTablesAction"));
    removeMissing->setEnabled(anyMissing);
    connect(removeMissing, &QAction::triggered, this, &TableCommands::forgetMissingTables);
    QAction* clear = m_recentMenu->addAction(QStringLiteral("Очистить список"));
    clear->setObjectName(QStringLiteral("forgetAllTablesAction"));
    clear->setEnabled(!paths.isEmpty());
    connect(clear, &QAction::triggered, this, &TableCommands::forgetAllTables);
}

} // namespace app
