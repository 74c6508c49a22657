#include "app/main_window.h"

#include "app/about_dialog.h"
#include "app/error_report.h"
#include "app/help_window.h"
#include "app/resources.h"

#include "device/download_dialog.h"
#include "store/store_error.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"
#include "views/table_model.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace app {
namespace {

const QString kSettingsOrganization = QStringLiteral("Valdrenor");
const QString kSettingsApplication = QStringLiteral("KVEL");
const QString kSettingsGroup = QStringLiteral("1.0");
const QString kDefaultDirKey = QStringLiteral("Default_dir");

// The size the window returns to when the user un-maximises it.
constexpr QSize kDesignSize{703, 501};

bool sameFile(const QFileInfo& a, const QFileInfo& b)
{
    // The file system decides (hard links, symbolic links, case-insensitive names); when it
    // cannot tell, the canonical paths do.
    std::error_code error;
    if (std::filesystem::equivalent(a.filesystemFilePath(), b.filesystemFilePath(), error))
        return true;
    const QString canonical = a.canonicalFilePath();
    return !canonical.isEmpty() && canonical == b.canonicalFilePath();
}

// The production index never outlives the open table; a stale one would describe rows that
// have changed since. It is named like the table with ".mdx", so a table that is itself
// called "x.mdx" would be deleted in its place: the table's own file is never touched.
void removeIndexFile(const QString& tablePath)
{
    const QFileInfo table(tablePath);
    const QFileInfo index(table.dir().filePath(table.completeBaseName() + QStringLiteral(".mdx")));
    if (!index.exists() || sameFile(table, index))
        return;
    QFile::remove(index.filePath());
}

} // namespace

MainWindow::MainWindow(ProgramState& state, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    // The default format is the native one (the registry on Windows); tests point it at a
    // private folder so that they never touch the user's own settings.
    , m_registry(QSettings::defaultFormat(), QSettings::UserScope, kSettingsOrganization,
                 kSettingsApplication)
{
    loadResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setAccessibleName(kCaption);
    resize(kDesignSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    m_client->setAutoFillBackground(true);
    setCentralWidget(m_client);

    buildPages();
    buildMenus();
    buildToolBar();
    buildPopupMenu();
    buildDialogs();
    m_downloadDialog = new device::DownloadDialog(m_state.download, this);
    m_about = new AboutDialog(this);

    FormCreate();
}

MainWindow::~MainWindow()
{
    // The grids read the table and the model: they go first, then the model, then the table.
    delete m_pages;
    delete m_gridTabs;
}

void MainWindow::FormCreate()
{
    setWindowState(Qt::WindowMaximized);
    setFormColor(QPalette::Dark);
    m_pages->hide();

    const QString helpFile = QDir(QCoreApplication::applicationDirPath()).filePath(kHelpFileName);
    if (QFileInfo::exists(helpFile))
        m_state.helpFile = helpFile;

    m_registry.beginGroup(kSettingsGroup);
    readDataDir();
    setDataDir(m_dataDir);

    m_table.close();
    m_dbOpen = false;

    // Each grid keeps P and R of every row it selects, for the selection summary; with the
    // table closed the sort reset only clears the title marks.
    m_gridTabs->grid1()->setBookmarkFields(QStringLiteral("P;R"));
    m_gridTabs->grid2()->setBookmarkFields(QStringLiteral("P;R"));
    views::ResetSort(*m_gridTabs->grid1(), m_table, store::kTab1);
    views::ResetSort(*m_gridTabs->grid2(), m_table, store::kTab2);

    disable_button();
    tab_vis_dis();
}

void MainWindow::readDataDir()
{
    if (m_registry.contains(kDefaultDirKey)) {
        // Not checked for existence: the file dialogs cope with a folder that has gone.
        m_dataDir = m_registry.value(kDefaultDirKey).toString();
        return;
    }
    // First run: remember where the program was started, and store it straight away so that
    // the settings key exists from now on.
    m_dataDir = QDir::toNativeSeparators(QDir::currentPath());
    m_registry.setValue(kDefaultDirKey, m_dataDir);
    m_registry.sync();
}

void MainWindow::setDataDir(const QString& dir)
{
    m_dataDir = dir;
    m_openDialog->setDirectory(dir);
    m_saveDialog->setDirectory(dir);
}

void MainWindow::buildPages()
{
    m_pages = new QTabWidget(m_client);
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    m_pages->setAccessibleName(QStringLiteral("Вкладки таблицы"));

    const auto addPage = [this](const QString& name, const QString& caption) {
        auto* page = new QWidget(m_pages);
        page->setObjectName(name);
        page->setAccessibleName(caption);
        // The grid of this kind goes into this layout.
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        m_pages->addTab(page, caption);
        return page;
    };
    m_tabSheet1 = addPage(QStringLiteral("TabSheet1"), QStringLiteral("ВРТ-ТК5"));
    m_tabSheet2 = addPage(QStringLiteral("TabSheet2"), QStringLiteral("ЛД - ТК5"));

    m_gridTabs = new views::GridTabs(m_table, m_tabSheet1, m_tabSheet2, this);
    m_gridTabs->setErrorHandler([](QWidget* parent, const std::exception& error) { showError(parent, error); });
    // Grid1InitEdit: beginning to edit any cell of either grid marks the table as changed.
    connect(m_gridTabs, &views::GridTabs::editStarted, this, [this] { m_dbChanged = true; });
    // An edit of P or R changes the summary the footers show.
    connect(m_gridTabs->model(), &views::TableModel::rowPosted, this,
            [this] { runCommand(this, [this] { refreshSummary(); }); });
    for (views::DataGrid* grid : {m_gridTabs->grid1(), m_gridTabs->grid2()}) {
        connect(grid, &views::DataGrid::selectionChanged, this,
                [this, grid] { runCommand(this, [this, grid] { ShowSelectionSummary(*grid); }); });
        grid->parentWidget()->layout()->addWidget(grid);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
            m_popupMenu->popup(grid->viewport()->mapToGlobal(at));
        });
    }

    m_shownPage = m_pages->currentWidget();
    connect(m_pages, &QTabWidget::currentChanged, this, &MainWindow::pageChanged);

    auto* layout = new QVBoxLayout(m_client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);
}

void MainWindow::buildDialogs()
{
    m_openDialog = new QFileDialog(this);
    m_openDialog->setObjectName(QStringLiteral("OpenDialog1"));
    m_openDialog->setAcceptMode(QFileDialog::AcceptOpen);
    m_openDialog->setFileMode(QFileDialog::ExistingFile);
    m_openDialog->setNameFilter(QStringLiteral("Базы данных (*.db)"));
    m_openDialog->setDefaultSuffix(QStringLiteral("db"));

    m_saveDialog = new QFileDialog(this);
    m_saveDialog->setObjectName(QStringLiteral("SaveDialog1"));
    m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
    m_saveDialog->setFileMode(QFileDialog::AnyFile);
    m_saveDialog->setNameFilter(QStringLiteral("Файлы данных (*.db)"));
    m_saveDialog->setDefaultSuffix(QStringLiteral("db"));
}

void MainWindow::setFormColor(QPalette::ColorRole role)
{
    m_formColor = role;
    applyFormColor();
}

void MainWindow::applyFormColor()
{
    // Only the client area takes the colour; menu and toolbar keep the system look.
    QPalette palette;
    palette.setColor(QPalette::Window, QApplication::palette().color(m_formColor));
    m_client->setPalette(palette);
}

void MainWindow::changeEvent(QEvent* event)
{
    // The two colours are system colours: follow the user's theme when it changes.
    if (event->type() == QEvent::ApplicationPaletteChange)
        applyFormColor();
    QMainWindow::changeEvent(event);
}

void MainWindow::enable_button()
{
    for (QAction* action : m_tableCommands)
        action->setEnabled(true);
}

void MainWindow::disable_button()
{
    for (QAction* action : m_tableCommands)
        action->setEnabled(false);
}

void MainWindow::tab_vis_en()
{
    if (!m_table.isActive())
        return;
    store::DbfTable& table = m_table.table();
    table.first();
    table.setFilter(store::kindFilter(store::kPressKind));
    table.refresh();

    // A single press row makes this a press table: its rows are the ones worth showing.
    const bool press = table.recordCount() > 0;
    QWidget* shown = press ? m_tabSheet2 : m_tabSheet1;
    QWidget* hidden = press ? m_tabSheet1 : m_tabSheet2;
    // Show the wanted tab before hiding the other, so the tab bar never passes through a
    // state with no tab at all.
    m_pages->setTabVisible(m_pages->indexOf(shown), true);
    m_pages->setCurrentWidget(shown);
    m_pages->setTabVisible(m_pages->indexOf(hidden), false);
    if (!press) {
        table.setFilter(store::kindFilter(store::kPenetrometerKind));
        table.refresh();
    }
    m_gridTabs->refresh();
    m_pages->show();
    m_pages->update();
}

void MainWindow::tab_vis_dis()
{
    m_pages->hide();
}

void MainWindow::pageChanged(int index)
{
    if (m_returningToPage)
        return;
    // The new tab's kind filter resets both grids: a cell edit ends first. A refused text
    // takes the user back to the page of its cell, with the editor as it was.
    bool ended = false;
    runCommand(this, [this, &ended] { ended = endCellEdit(); });
    if (!ended) {
        const QSignalBlocker blocker(m_pages);
        m_returningToPage = true;
        m_pages->setCurrentWidget(m_shownPage);
        m_returningToPage = false;
        for (views::DataGrid* grid : {m_gridTabs->grid1(), m_gridTabs->grid2()})
            if (grid->isEditorOpen())
                grid->editor()->setFocus();
        return;
    }
    QWidget* shown = m_pages->widget(index);
    m_shownPage = shown;
    runCommand(this, [&] {
        if (shown == m_tabSheet1)
            TabSheet1Show();
        else if (shown == m_tabSheet2)
            TabSheet2Show();
    });
}

void MainWindow::TabSheet1Show()
{
    showKind(store::kPenetrometerKind);
}

void MainWindow::TabSheet2Show()
{
    showKind(store::kPressKind);
}

void MainWindow::showKind(int kind)
{
    // The table always shows the kind of the tab in front.
    if (!m_table.isActive())
        return;
    m_table.table().setFilter(store::kindFilter(kind));
    m_table.table().refresh();
    m_gridTabs->refresh();
}

bool MainWindow::endCellEdit()
{
    if (!m_table.isActive())
        return true;
    for (views::DataGrid* grid : {m_gridTabs->grid1(), m_gridTabs->grid2()})
        if (!grid->endEdit())
            return false;
    return true;
}

void MainWindow::Save_DB()
{
    if (!m_dbOpen)
        return;
    // Closing and reopening makes sure that everything has reached the file; the kind
    // filter and a sort stay as the user sees them.
    if (m_table.isActive()) {
        views::PostEdit(*m_gridTabs->grid1());
        views::PostEdit(*m_gridTabs->grid2());
        reopenTable();
        m_gridTabs->refresh();
    }
    m_dbChanged = false;
}

void MainWindow::reopenTable()
{
    const QString path = m_table.table().path();
    try {
        m_table.table().reopen();
    } catch (const store::StoreError& error) {
        // The file was let go and could not be taken back (removed, replaced, locked by
        // someone else in between): no command may go on working on a table that is not
        // open, so the window shows it closed.
        closeTable(path);
        throw store::StoreError(
            error.code(), QStringLiteral("Не удалось снова открыть таблицу «%1» при сохранении:\n%2\n\n"
                                         "Таблица закрыта.")
                              .arg(QFileInfo(path).fileName(), QString::fromUtf8(error.what()))
                              .toStdString());
    } catch (...) {
        closeTable(path);
        throw;
    }
}

void MainWindow::Close_DB()
{
    if (m_dbChanged) {
        const auto answer = QMessageBox::question(
            this, kCaption, QStringLiteral("Сохранить изменения в таблицах ?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::Yes)
            Save_DB();
    }
    closeTable(m_table.isActive() ? m_table.table().path() : QString());
}

void MainWindow::closeTable(const QString& tablePath)
{
    m_gridTabs->storeLayouts(m_registry);
    m_dbOpen = false;
    m_dbChanged = false;
    m_table.close();
    m_gridTabs->refresh();
    if (!tablePath.isEmpty())
        removeIndexFile(tablePath);
    disable_button();
    tab_vis_dis();
    m_state.title = kCaption;
    setWindowTitle(m_state.title);
    setFormColor(QPalette::Dark);
}

void MainWindow::N5Click()
{
    Save_DB();
}

void MainWindow::N7Click()
{
    Close_DB();
}

void MainWindow::N33Click()
{
    m_gridTabs->N33Click();
}

void MainWindow::N11Click()
{
    // Leave the event loop without closing any window: the data folder is not written, no
    // question is asked and the index file stays. The table is closed when the window is
    // destroyed at the end of main().
    QCoreApplication::exit(0);
}

void MainWindow::N24Click()
{
    const QString file = m_state.helpFile.isEmpty()
        ? QDir(QCoreApplication::applicationDirPath()).filePath(kHelpFileName)
        : m_state.helpFile;
    if (!m_help) {
        auto* help = new HelpWindow(this);
        if (!help->load(file)) {
            delete help;
            QMessageBox::warning(this, QStringLiteral("Справка"),
                                 QStringLiteral("Не удалось открыть файл справки:\n%1\n\n"
                                                "Он должен лежать в папке программы.")
                                     .arg(QDir::toNativeSeparators(file)));
            return;
        }
        m_help = help;
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void MainWindow::N26Click()
{
    m_about->exec();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A text typed into a cell goes into the table first; one the table refuses keeps the
    // window open with the cell in edit, so that the user can put it right.
    bool ended = false;
    runCommand(this, [this, &ended] { ended = endCellEdit(); });
    if (!ended) {
        event->ignore();
        return;
    }
    m_registry.setValue(kDefaultDirKey, m_dataDir);
    m_registry.sync();
    // A table that cannot be saved keeps the window open, so the user can decide again.
    if (!runCommand(this, [this] { Close_DB(); })) {
        event->ignore();
        return;
    }
    if (m_help)
        m_help->close();
    event->accept();
}

} // namespace app
