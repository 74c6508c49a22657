// The commands that work on whole tables (New, Open, Append) and on the rows and columns of
// the shown tab (summary, delete, renumber, colours, equal widths).

#include "app/error_report.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"

#include "device/download_dialog.h"
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
    if (m_dbOpen)
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
    m_dbOpen = false;
    m_dbChanged = false;
    m_table.close();
    store::MeasurementTable::create(path);
    m_table.open(path);
    m_dbOpen = true;
    setFormColor(QPalette::Button);

    // Even when writing a row fails, the table is open with the rows written so far: show
    // them and the commands that work on them, then report the error.
    const auto showTable = [this] {
        enable_button();
        tab_vis_en();
        m_gridTabs->restoreLayouts(m_registry);
        find_mma();
        m_dbChanged = false;
    };
    try {
        store::flash2dru(m_table, downloadedImage(), false);
    } catch (...) {
        showTable();
        throw;
    }
    showForceColumns();
    showTable();
}

void MainWindow::N3Click()
{
    const QString file = chosenFile(m_openDialog);
    if (file.isEmpty())
        return;
    if (m_dbOpen)
        Close_DB();
    setDataDir(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
    Open_DB(file);
}

bool MainWindow::Open_DB(const QString& path)
{
    try {
        m_table.open(path);
    } catch (const store::StoreError& error) {
        // A table in use elsewhere is not damaged: the user only has to close it there.
        const QString text = error.code() == store::StoreError::Code::Locked
            ? QStringLiteral("Таблица «%1» открыта другой программой.\n"
                             "Закройте её в той программе и повторите команду.")
                  .arg(QFileInfo(path).fileName())
            : QStringLiteral("База данных повреждена !");
        QMessageBox::critical(this, QStringLiteral("Ошибка"), text);
        return false;
    }
    m_dbOpen = true;

    // The report layout follows the instrument of the first row (a plate test device writes
    // 13). This looks at the rows of the kind shown last, before the tab is chosen.
    store::DbfTable& table = m_table.table();
    table.first();
    const auto type = table.recordCount() > 0 ? m_table.integer(store::Field::DEV_TYPE) : std::nullopt;
    m_state.download.dev_type = static_cast<std::uint8_t>(type.value_or(0) & 0xFF);

    setFormColor(QPalette::Button);
    enable_button();
    tab_vis_en();
    m_gridTabs->restoreLayouts(m_registry);
    find_mma();

    m_state.title = QFileInfo(path).completeBaseName() + QStringLiteral(" - ") + kCaption;
    setWindowTitle(m_state.title);
    m_dbChanged = false;
    return true;
}

void MainWindow::N4Click()
{
    if (!m_dbOpen)
        return;
    // Downloaded records need a table to go into: reporting none added while dropping them
    // would be a lie.
    const auto requireTable = [this] {
        if (m_table.isActive())
            return;
        closeTable({});
        throw store::StoreError(store::StoreError::Code::NotActive,
                                "Таблица не открыта: записи прибора добавить некуда. Откройте таблицу снова.");
    };
    requireTable();
    if (m_downloadDialog->exec() != device::DownloadDialog::ResultOk)
        return;
    requireTable();
    // New rows go to the end of the file and are found there only in file order.
    views::ResetSort(*m_gridTabs->grid1(), m_table, store::kTab1);
    views::ResetSort(*m_gridTabs->grid2(), m_table, store::kTab2);
    store::DecodeResult result;
    try {
        result = store::flash2dru(m_table, downloadedImage(), true);
    } catch (...) {
        // The decoder leaves the penetrometer filter behind; the shown tab gets its own back.
        tab_vis_en();
        throw;
    }
    m_gridTabs->refresh();
    if (result.added > 0)
        showForceColumns();
    m_dbOpen = true;
    // The count is reported once the table has been saved: if it could not be opened again,
    // the user learns that instead, with the number of records the instrument gave.
    try {
        Save_DB();
    } catch (const store::StoreError& error) {
        throw store::StoreError(error.code(),
                                QStringLiteral("Из прибора получено новых записей: %1.\n%2\n"
                                               "Откройте таблицу и проверьте, сохранились ли эти записи.")
                                    .arg(result.added)
                                    .arg(QString::fromUtf8(error.what()))
                                    .toStdString());
    }
    QMessageBox::information(this, QStringLiteral("Дополнение"),
                             QStringLiteral("Добавлено записей: %1").arg(result.added));
    tab_vis_en();
    find_mma();
}

void MainWindow::showForceColumns()
{
    views::DataGrid* grid = m_gridTabs->grid1();
    const int column = grid->columnOfField(QStringLiteral("P1"));
    if (column >= 0)
        grid->setColumnVisible(column, true);
}

// ---- summary ---------------------------------------------------------------------------------

void MainWindow::find_mma()
{
    if (!m_table.isActive())
        return;
    m_summary = store::find_mma(m_table);
    m_gridTabs->refresh();
    ShowSelectionSummary(*m_gridTabs->grid1());
    ShowSelectionSummary(*m_gridTabs->grid2());
}

void MainWindow::refreshSummary()
{
    if (!m_table.isActive())
        return;
    store::DbfTable& table = m_table.table();
    const auto current = table.currentRecord();
    m_summary = store::find_mma(m_table);
    if (current && table.positionOf(*current) >= 0)
        table.moveTo(table.positionOf(*current));
    ShowSelectionSummary(*m_gridTabs->grid1());
    ShowSelectionSummary(*m_gridTabs->grid2());
}

void MainWindow::ShowSelectionSummary(views::DataGrid& grid)
{
    if (!m_table.isActive())
        return;
    store::TableSummary shown = m_summary;
    if (grid.selectionCount() >= 2) {
        std::vector<store::SelectionValues> values;
        // The bookmark fields are "P;R": the values come in that order.
        const auto number = [](const views::RowSelection::Values& v, std::size_t i) -> std::optional<double> {
            bool ok = false;
            const double d = i < v.size() ? v[i].toDouble(&ok) : 0.0;
            return ok ? std::optional<double>(d) : std::nullopt;
        };
        for (const views::DataGrid::SelectedRow& row : grid.selectedRows())
            values.push_back({number(row.values, 0), number(row.values, 1)});
        shown = store::selectionSummary(values);
    }
    const store::FooterTexts texts = store::footerTexts(shown, m_table.table().recordCount());
    const auto setFooter = [&grid](const char* field, const QString& text) {
        const int column = grid.columnOfField(QString::fromLatin1(field));
        if (column >= 0)
            grid.setFooterText(column, text);
    };
    setFooter("P", texts.p);
    setFooter("R", texts.r);
    setFooter("N", texts.n);
}

// ---- rows --------------------------------------------------------------------------------------

void MainWindow::N21Click()
{
    if (!m_table.isActive())
        return;
    DeleteSelectedRows(*shownGrid());
    find_mma();
}

void MainWindow::DeleteSelectedRows(views::DataGrid& grid)
{
    if (!m_table.isActive())
        return;
    // A cell edit in progress is written first: posting it after the deletion could write
    // the edited values into whatever row the cursor then stands on.
    views::PostEdit(grid);
    const std::vector<std::uint32_t> rows = grid.rowsToDelete();
    views::ResetSort(grid, m_table, store::kTab1);
    views::ResetSort(grid, m_table, store::kTab2);

    store::DbfTable& table = m_table.table();
    table.beginBatch();
    try {
        for (std::uint32_t rec : rows) {
            table.moveTo(table.positionOf(rec));
            if (table.currentRecord() == rec)
                table.deleteRecord();
        }
    } catch (...) {
        table.endBatch();
        m_gridTabs->refresh();
        throw;
    }
    table.endBatch();
    grid.clearSelection();
    table.pack();
    reopenTable();
    m_gridTabs->refresh();
    m_dbChanged = false;
}

void MainWindow::N37Click()
{
    if (!m_dbOpen)
        return;
    if (m_table.isActive()) {
        views::PostEdit(*shownGrid());
        // Numbers follow the rows as the view shows them now; the batch keeps that order
        // fixed while N changes under a sort by N.
        store::DbfTable& table = m_table.table();
        const std::vector<std::uint32_t> rows = table.view();
        table.beginBatch();
        try {
            double number = 1;
            for (std::uint32_t rec : rows) {
                table.editRecord(rec);
                m_table.setReal(store::Field::N, number++);
                table.post();
            }
        } catch (...) {
            table.cancel();
            table.endBatch();
            m_gridTabs->refresh();
            throw;
        }
        table.endBatch();
        table.first();
        reopenTable();
        m_gridTabs->refresh();
    }
}

// ---- columns -----------------------------------------------------------------------------------

void MainWindow::N17Click()
{
    if (!m_table.isActive())
        return;
    views::DataGrid* grid = shownGrid();
    QColorDialog dialog(this);
    dialog.setObjectName(QStringLiteral("ColorDialog1"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    grid->setColumnColor(grid->currentColumn(), dialog.selectedColor());
}

void MainWindow::N18Click()
{
    if (!m_table.isActive())
        return;
    views::DataGrid* grid = shownGrid();
    grid->setColumnColor(grid->currentColumn(), std::nullopt);
}

void MainWindow::N19Click()
{
    if (m_table.isActive())
        shownGrid()->clearColumnColors();
}

void MainWindow::N23Click()
{
    if (m_table.isActive())
        views::EqualizeColumns(*shownGrid());
}

} // namespace app
