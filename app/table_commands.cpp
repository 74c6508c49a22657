// The commands that work on whole tables (New, Open, Append) and on the rows and columns of
// the shown tab (summary, delete, renumber, colours, equal widths).

#include "app/error_report.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"
#include "app/unreadable_values.h"

#include "device/download_dialog.h"
#include "settings/recent_tables.h"
#include "store/flash_decoder.h"
#include "store/store_error.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTabWidget>

namespace app {
namespace {

const QString kLastColourKey = QStringLiteral("Last_color");

} // namespace

store::DownloadedImage MainWindow::downloadedImage() const
{
    // Only the bytes this download received: what lies beyond is an older download's.
    const auto& download = m_state.download;
    return {std::span(download.flash_image.data(), download.image_length), download.dev_type,
            download.dev_serial};
}

views::DataGrid* MainWindow::shownGrid() const
{
    return m_pages->currentWidget() == m_tabSheet2 ? m_gridTabs->grid2() : m_gridTabs->grid1();
}

// ---- New, Open, Append ----------------------------------------------------------------------

void MainWindow::N2Click()
{
    if (m_document.isOpen())
        Close_DB();
    const QString file = chosenFile(m_saveDialog);
    if (file.isEmpty())
        return;
    // Close deletes the ".mdx" file named like the table: a table of that name would be
    // somebody's index file, or lose its rows to the Close of another table.
    if (file.endsWith(QStringLiteral(".mdx"), Qt::CaseInsensitive)) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"),
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
    if (m_downloadDialog->exec() != device::DownloadDialog::ResultOk)
        return;
    Create_DB(file);
}

void MainWindow::Create_DB(const QString& path)
{
    // Even when writing a row fails, the table is open with the rows written so far: show
    // them and the commands that work on them, then report the error.
    try {
        m_document.create(path, downloadedImage());
    } catch (...) {
        if (m_document.isOpen()) {
            showOpenTable();
            rememberTable(path);
        }
        throw;
    }
    rememberTable(path);
    m_gridTabs->showForceColumns();
    showOpenTable();
}

void MainWindow::N3Click()
{
    const QString file = chosenFile(m_openDialog);
    if (file.isEmpty())
        return;
    openTable(file);
}

void MainWindow::openTable(const QString& path)
{
    const QString file = QFileInfo(path).absoluteFilePath();
    // The table open now stays open until the new one has opened: a name that turns out to
    // be no table (or one in use) costs the user nothing. Only the same table is closed first,
    // since it cannot be opened twice.
    std::unique_ptr<store::MeasurementTable> next;
    if (m_document.isOpen() && !settings::RecentTables::sameTable(m_document.path(), file)) {
        try {
            next = m_document.openAside(file);
        } catch (const store::StoreError& error) {
            QMessageBox::critical(this, QStringLiteral("Ошибка"), openFailureText(error, file));
            return;
        }
    }
    if (m_document.isOpen())
        Close_DB();
    setDataDir(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
    Open_DB(file, std::move(next));
}

bool MainWindow::Open_DB(const QString& path, std::unique_ptr<store::MeasurementTable> opened)
{
    try {
        if (opened)
            m_document.open(std::move(opened));
        else
            m_document.open(path);
    } catch (const store::StoreError& error) {
        QMessageBox::critical(this, QStringLiteral("Ошибка"), openFailureText(error, path));
        return false;
    }
    showOpenTable();
    m_state.title = QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + kCaption;
    setWindowTitle(m_state.title);
    rememberTable(path);
    warnOfUnreadableValues(this, m_document);
    return true;
}

void MainWindow::N4Click()
{
    if (!m_document.isOpen())
        return;
    if (m_downloadDialog->exec() != device::DownloadDialog::ResultOk)
        return;
    store::DecodeResult result;
    try {
        reopening([&] { result = m_document.append(downloadedImage()); });
    } catch (...) {
        // Whatever went wrong, the tab of the kind shown stays in front.
        tab_vis_en();
        throw;
    }
    if (result.added > 0)
        m_gridTabs->showForceColumns();
    QMessageBox::information(this, QStringLiteral("Дополнение"),
                             QStringLiteral("Добавлено записей: %1").arg(result.added));
    tab_vis_en();
}

// ---- rows --------------------------------------------------------------------------------------

void MainWindow::N21Click()
{
    if (!m_document.isOpen())
        return;
    DeleteSelectedRows(*shownGrid());
}

void MainWindow::DeleteSelectedRows(views::DataGrid& grid)
{
    if (!m_document.isOpen())
        return;
    const std::vector<std::uint32_t> rows = grid.rowsToDelete();
    // Packing renumbers the records the selection keeps: it goes, whatever happens.
    const auto clearSelection = [&grid] { grid.clearSelection(); };
    try {
        reopening([&] { m_document.deleteRecords(rows); });
    } catch (...) {
        clearSelection();
        throw;
    }
    clearSelection();
}

void MainWindow::N37Click()
{
    reopening([this] { m_document.renumber(); });
}

// ---- columns -----------------------------------------------------------------------------------

void MainWindow::N17Click()
{
    if (!m_document.isOpen())
        return;
    views::DataGrid* grid = shownGrid();
    QColorDialog dialog(this);
    dialog.setObjectName(QStringLiteral("ColorDialog1"));
    // It starts on the colour chosen last, so one colour goes on column after column.
    const QColor last(m_registry->value(kLastColourKey).toString());
    if (last.isValid())
        dialog.setCurrentColor(last);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_registry->setValue(kLastColourKey, dialog.selectedColor().name());
    grid->setColumnColor(grid->currentColumn(), dialog.selectedColor());
}

void MainWindow::N18Click()
{
    if (!m_document.isOpen())
        return;
    views::DataGrid* grid = shownGrid();
    grid->setColumnColor(grid->currentColumn(), std::nullopt);
}

void MainWindow::N19Click()
{
    if (m_document.isOpen())
        shownGrid()->clearColumnColors();
}

void MainWindow::N23Click()
{
    if (m_document.isOpen())
        views::equalizeColumns(*shownGrid());
}

} // namespace app
