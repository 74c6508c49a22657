#include "app/main_window.h"

#include "app/archive_commands.h"
#include "app/chart_commands.h"
#include "app/error_report.h"
#include "app/export_command.h"
#include "app/help_commands.h"
#include "app/limits_command.h"
#include "app/port_command.h"
#include "app/print_commands.h"
#include "app/resources.h"
#include "app/row_commands.h"
#include "app/start_page.h"
#include "app/table_commands.h"
#include "app/table_files.h"

#include "settings/program_settings.h"
#include "views/chart_panel.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace app {

namespace {

// Settings values of the window's place and size and of its docks.
const QString kWindowGeometryKey = QStringLiteral("Window_geometry");
const QString kWindowStateKey = QStringLiteral("Window_state");

// The size the window returns to when the user un-maximises it.
constexpr QSize kDesignSize{703, 501};

// The table file a drag carries: exactly one local file named *.db.
QString droppedTable(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().front();
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    return path.endsWith(QStringLiteral(".db"), Qt::CaseInsensitive) ? path : QString();
}

void addSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

QMenu* addMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

} // namespace

MainWindow::MainWindow(ProgramState& state, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_settings(settings::open())
{
    loadResources();
    setObjectName(QStringLiteral("mainWindow"));
    // The document is the window's: a test or an accessibility tool finds it by name.
    m_document.setParent(this);
    m_document.setObjectName(QStringLiteral("measurementDocument"));
    // A screen reader names the window as its title bar does, table name included.
    connect(this, &QWidget::windowTitleChanged, this, &QWidget::setAccessibleName);
    setWindowTitle(kCaption);
    setAccessibleName(kCaption);
    setAcceptDrops(true);
    resize(kDesignSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    m_client->setAutoFillBackground(true);
    setCentralWidget(m_client);

    buildPages();
    buildCommands();
    buildStartPage();
    buildMenus();
    buildToolBar();
    buildPopupMenu();

    // The window follows the document into its no-table state, whoever closed it.
    connect(&m_document, &document::MeasurementDocument::closed, this, &MainWindow::showNoTable);
    connect(&m_document, &document::MeasurementDocument::opened, this, &MainWindow::showTitle);
    connect(&m_document, &document::MeasurementDocument::changedFlagChanged, this, &MainWindow::showTitle);

    restoreWindowLayout();
    setClientColour(QPalette::Dark);
    m_pages->hide();
    // With no table open the sort reset only clears the title marks.
    m_gridTabs->unsortAll();
    enableTableCommands(false);
    m_startPage->setPortText(PortCommand::portSummary());
    showRecentTables();
}

MainWindow::~MainWindow() = default;

void MainWindow::openTable(const QString& path)
{
    m_tableCommands->openTable(path);
}

void MainWindow::openHandedOver(const QString& path)
{
    m_tableCommands->openHandedOver(path);
}

// ---- layout --------------------------------------------------------------------------------

void MainWindow::buildPages()
{
    m_pages = std::make_unique<QTabWidget>(m_client);
    m_pages->setObjectName(QStringLiteral("kindTabs"));
    m_pages->setAccessibleName(QStringLiteral("Вкладки таблицы"));

    const auto addPage = [this](const QString& name, const QString& caption) {
        auto* page = new QWidget(m_pages.get());
        page->setObjectName(name);
        page->setAccessibleName(caption);
        // The grid of this kind goes into this layout.
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        m_pages->addTab(page, caption);
        return page;
    };
    m_penetrometerPage = addPage(QStringLiteral("penetrometerPage"), QStringLiteral("ВРТ-ТК5"));
    m_pressPage = addPage(QStringLiteral("pressPage"), QStringLiteral("ЛД - ТК5"));

    m_gridTabs = std::make_unique<views::GridTabs>(m_document, m_penetrometerPage, m_pressPage);
    // Beginning to edit any cell of either grid marks the table as changed.
    connect(m_gridTabs.get(), &views::GridTabs::editStarted, this, [this] { m_document.setChanged(true); });
    // What the grids meet on their own (a title-click sort, leaving an edited row) and the
    // texts they refuse are told here, over the grid.
    connect(m_gridTabs.get(), &views::GridTabs::errorOccurred, this,
            [](QWidget* grid, const std::exception_ptr& error) {
                runCommand(grid, [&error] { std::rethrow_exception(error); });
            });
    connect(m_gridTabs.get(), &views::GridTabs::valueRefused, this, [](QWidget* grid, const QString& text) {
        QMessageBox::warning(grid, QStringLiteral("Ошибка"), text);
    });
    for (views::DataGrid* grid : {m_gridTabs->grid1(), m_gridTabs->grid2()}) {
        grid->parentWidget()->layout()->addWidget(grid);
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& at) {
            m_popupMenu->popup(grid->viewport()->mapToGlobal(at));
        });
    }

    m_shownPage = m_pages->currentWidget();
    connect(m_pages.get(), &QTabWidget::currentChanged, this, &MainWindow::pageChanged);

    auto* layout = new QVBoxLayout(m_client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages.get());
}

void MainWindow::buildCommands()
{
    m_files = new TableFiles(*m_settings, this);
    m_files->setObjectName(QStringLiteral("tableFiles"));
    m_context.emplace(CommandContext{this, m_state, *m_settings, m_document, *m_gridTabs, *m_files});
    const auto named = [](QObject* command, const char* name) {
        command->setObjectName(QString::fromLatin1(name));
    };
    m_tableCommands = new TableCommands(*m_context, this);
    named(m_tableCommands, "tableCommands");
    m_rowCommands = new RowCommands(*m_context, this);
    named(m_rowCommands, "rowCommands");
    m_exportCommand = new ExportCommand(*m_context, this);
    named(m_exportCommand, "exportCommand");
    m_chartCommands = new ChartCommands(*m_context, this);
    named(m_chartCommands, "chartCommands");
    addDockWidget(m_chartCommands->dockArea(), m_chartCommands->dock());
    m_printCommands = new PrintCommands(*m_context, [this] { return m_chartCommands->reportAppendix(); }, this);
    named(m_printCommands, "printCommands");
    m_limitsCommand = new LimitsCommand(*m_context, this);
    named(m_limitsCommand, "limitsCommand");
    m_portCommand = new PortCommand(*m_context, this);
    named(m_portCommand, "portCommand");
    m_helpCommands = new HelpCommands(*m_context, this);
    named(m_helpCommands, "helpCommands");
    m_archiveCommands = new ArchiveCommands(*m_context, [this](const QString& path) { openTable(path); }, this);
    named(m_archiveCommands, "archiveCommands");

    connect(m_tableCommands, &TableCommands::tableOpened, this, &MainWindow::showOpenTable);
    connect(m_tableCommands, &TableCommands::kindShown, this, &MainWindow::showKindTab);
    connect(m_tableCommands, &TableCommands::closedWithoutTable, this, &MainWindow::showNoTable);
    connect(m_tableCommands, &TableCommands::recentTablesChanged, this, &MainWindow::showRecentTables);
    // New, Open and Append put the table's tests into the archive (when the user has not
    // turned that off), off the window's thread.
    connect(m_tableCommands, &TableCommands::tableOpened, m_archiveCommands, &ArchiveCommands::addOpenTable);
    connect(m_tableCommands, &TableCommands::testsAppended, m_archiveCommands, &ArchiveCommands::addOpenTable);
    connect(m_archiveCommands, &ArchiveCommands::kindShown, this, &MainWindow::showKindTab);
    connect(m_portCommand, &PortCommand::portChosen, this,
            [this] { m_startPage->setPortText(PortCommand::portSummary()); });

    m_tableActions = {
        m_tableCommands->appendAction(),       m_tableCommands->saveTableAction(),
        m_tableCommands->closeTableAction(),   m_printCommands->previewAction(),
        m_printCommands->printAction(),        m_printCommands->savePdfAction(),
        m_rowCommands->equalizeColumnsAction(),
        m_rowCommands->setColumnColourAction(), m_rowCommands->clearColumnColourAction(),
        m_rowCommands->clearAllColoursAction(), m_rowCommands->unsortAction(),
        m_rowCommands->deleteRowsAction(),     m_rowCommands->deleteRowsPopupAction(),
        m_exportCommand->exportAction(),
        m_rowCommands->renumberAction(),       m_chartCommands->saveChartAction(),
    };
}

void MainWindow::buildStartPage()
{
    m_startPage = new StartPage(m_client);
    m_client->layout()->addWidget(m_startPage);
    // The page asks as the menu does: an edit in progress ends first.
    TableCommands* tables = m_tableCommands;
    connect(m_startPage, &StartPage::createRequested, this,
            [this, tables] { runAfterCellEdit(*m_context, [tables] { tables->createTable(); }); });
    connect(m_startPage, &StartPage::openRequested, this,
            [this, tables] { runAfterCellEdit(*m_context, [tables] { tables->chooseAndOpenTable(); }); });
    connect(m_startPage, &StartPage::recentRequested, this, [this, tables](const QString& path) {
        runAfterCellEdit(*m_context, [tables, &path] { tables->openTable(path); });
    });
    connect(m_startPage, &StartPage::removeRequested, tables, &TableCommands::forgetTable);
    connect(m_startPage, &StartPage::removeMissingRequested, tables, &TableCommands::forgetMissingTables);
    connect(m_startPage, &StartPage::archiveRequested, this,
            [this] { runAfterCellEdit(*m_context, [this] { m_archiveCommands->showArchive(); }); });
    connect(m_startPage, &StartPage::portRequested, this,
            [this] { runAfterCellEdit(*m_context, [this] { m_portCommand->choosePort(); }); });
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mainMenu"));
    bar->setAccessibleName(QStringLiteral("Главное меню"));

    QMenu* file = addMenu(bar, "fileMenu", QStringLiteral("Файл"));
    file->addAction(m_tableCommands->newTableAction());
    file->addAction(m_tableCommands->openTableAction());
    file->addMenu(m_tableCommands->recentMenu());
    file->addAction(m_tableCommands->appendAction());
    file->addAction(m_tableCommands->saveTableAction());
    file->addAction(m_tableCommands->closeTableAction());
    addSeparator(file, "fileSeparator1");
    file->addAction(m_printCommands->previewAction());
    file->addAction(m_printCommands->printAction());
    file->addAction(m_printCommands->savePdfAction());
    addSeparator(file, "fileSeparator2");
    file->addAction(m_tableCommands->exitAction());

    QMenu* view = addMenu(bar, "viewMenu", QStringLiteral("Вид"));
    view->addAction(m_rowCommands->equalizeColumnsAction());
    addSeparator(view, "viewSeparator1");
    view->addAction(m_rowCommands->setColumnColourAction());
    view->addAction(m_rowCommands->clearColumnColourAction());
    view->addAction(m_rowCommands->clearAllColoursAction());
    addSeparator(view, "viewSeparator2");
    view->addAction(m_rowCommands->unsortAction());
    addSeparator(view, "forcesSeparator");
    view->addAction(m_rowCommands->forcesInRowAction());
    addSeparator(view, "chartSeparator");
    view->addAction(m_chartCommands->showChartsAction());
    view->addAction(m_chartCommands->saveChartAction());
    view->addAction(m_chartCommands->chartsInReportAction());

    QMenu* edit = addMenu(bar, "editMenu", QStringLiteral("Правка"));
    edit->addAction(m_rowCommands->undoAction());
    edit->addAction(m_rowCommands->redoAction());
    addSeparator(edit, "undoSeparator");
    edit->addAction(m_rowCommands->deleteRowsAction());
    // The Delete key deletes the selected rows where the rows are: in a grid, not in a cell
    // editor (which takes the key for its text) or elsewhere in the window.
    for (views::DataGrid* grid : {m_gridTabs->grid1(), m_gridTabs->grid2()})
        grid->addAction(m_rowCommands->deleteRowsAction());

    QMenu* service = addMenu(bar, "serviceMenu", QStringLiteral("Сервис"));
    service->addAction(m_exportCommand->exportAction());
    service->addAction(m_rowCommands->renumberAction());
    addSeparator(service, "serviceSeparator");
    service->addAction(m_portCommand->choosePortAction());
    service->addAction(m_limitsCommand->limitsAction());

    QMenu* archiveMenu = addMenu(bar, "archiveMenu", QStringLiteral("Архив"));
    archiveMenu->addAction(m_archiveCommands->showArchiveAction());
    archiveMenu->addAction(m_archiveCommands->addTablesAction());
    archiveMenu->addAction(m_archiveCommands->addFolderAction());
    addSeparator(archiveMenu, "archiveSeparator");
    archiveMenu->addAction(m_archiveCommands->autoAddAction());

    QMenu* help = addMenu(bar, "helpMenu", QStringLiteral("Справка"));
    help->addAction(m_helpCommands->helpAction());
    addSeparator(help, "helpSeparator");
    help->addAction(m_helpCommands->aboutAction());
}

void MainWindow::buildToolBar()
{
    m_toolBar = addToolBar(QStringLiteral("Панель инструментов"));
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setAccessibleName(QStringLiteral("Панель инструментов"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->setFixedHeight(29);
    // The toolbar's own context menu would offer to hide it; the program has no way back.
    m_toolBar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    // Each button runs the same command as its menu item, so it is enabled together with it.
    const std::pair<const char*, QAction*> buttons[] = {
        {"newTableButton", m_tableCommands->newTableAction()},
        {"openTableButton", m_tableCommands->openTableAction()},
        {"saveTableButton", m_tableCommands->saveTableAction()},
        {"previewButton", m_printCommands->previewAction()},
        {"printButton", m_printCommands->printAction()},
        {"helpButton", m_helpCommands->helpAction()},
    };
    for (const auto& [name, action] : buttons) {
        m_toolBar->addAction(action);
        QWidget* button = m_toolBar->widgetForAction(action);
        button->setObjectName(QString::fromLatin1(name));
        button->setAccessibleName(action->text());
    }
}

void MainWindow::buildPopupMenu()
{
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("gridMenu"));
    m_popupMenu->setAccessibleName(QStringLiteral("Контекстное меню таблицы"));
    m_popupMenu->addAction(m_printCommands->printAction());
    addSeparator(m_popupMenu, "gridSeparator1");
    m_popupMenu->addAction(m_rowCommands->setColumnColourAction());
    m_popupMenu->addAction(m_rowCommands->clearColumnColourAction());
    m_popupMenu->addAction(m_rowCommands->clearAllColoursAction());
    addSeparator(m_popupMenu, "gridSeparator2");
    m_popupMenu->addAction(m_rowCommands->equalizeColumnsAction());
    addSeparator(m_popupMenu, "gridSeparator3");
    m_popupMenu->addAction(m_rowCommands->deleteRowsPopupAction());
}

// ---- the two states --------------------------------------------------------------------------

void MainWindow::setClientColour(QPalette::ColorRole role)
{
    m_clientColour = role;
    applyClientColour();
}

void MainWindow::applyClientColour()
{
    // Only the client area takes the colour; menu and toolbar keep the system look.
    QPalette palette;
    palette.setColor(QPalette::Window, QApplication::palette().color(m_clientColour));
    m_client->setPalette(palette);
}

void MainWindow::changeEvent(QEvent* event)
{
    // The two colours are system colours: follow the user's theme when it changes.
    if (event->type() == QEvent::ApplicationPaletteChange)
        applyClientColour();
    QMainWindow::changeEvent(event);
}

void MainWindow::enableTableCommands(bool enabled)
{
    for (QAction* action : m_tableActions)
        action->setEnabled(enabled);
}

void MainWindow::showKindTab()
{
    if (!m_document.isOpen())
        return;
    const bool press = m_document.kind() == store::kPressKind;
    QWidget* shown = press ? m_pressPage : m_penetrometerPage;
    QWidget* hidden = press ? m_penetrometerPage : m_pressPage;
    // Show the wanted tab before hiding the other, so the tab bar never passes through a
    // state with no tab at all.
    m_pages->setTabVisible(m_pages->indexOf(shown), true);
    m_pages->setCurrentWidget(shown);
    m_pages->setTabVisible(m_pages->indexOf(hidden), false);
    m_startPage->hide();
    m_pages->show();
    m_pages->update();
}

void MainWindow::showTitle()
{
    if (!m_document.isOpen())
        return; // showNoTable's caption
    m_state.title = QFileInfo(m_document.path()).completeBaseName() + QStringLiteral(" - ") + kCaption;
    setWindowTitle(m_document.isChanged() ? QLatin1Char('*') + m_state.title : m_state.title);
}

void MainWindow::showOpenTable()
{
    setClientColour(QPalette::Button);
    enableTableCommands(true);
    showKindTab();
    m_gridTabs->restoreLayouts(*m_settings);
    m_gridTabs->updateSummaries();
}

void MainWindow::showNoTable()
{
    m_gridTabs->storeLayouts(*m_settings);
    enableTableCommands(false);
    m_pages->hide();
    showRecentTables();
    m_startPage->setPortText(PortCommand::portSummary());
    m_startPage->show();
    m_state.title = kCaption;
    setWindowTitle(m_state.title);
    setClientColour(QPalette::Dark);
}

void MainWindow::showRecentTables()
{
    m_startPage->setRecentTables(m_tableCommands->recentTables());
}

void MainWindow::pageChanged(int index)
{
    if (m_returningToPage)
        return;
    // The new tab's kind filter resets both grids: a cell edit ends first. A refused text
    // takes the user back to the page of its cell, with the editor as it was.
    bool ended = false;
    runCommand(this, [this, &ended] { ended = m_gridTabs->endEdit(); });
    if (!ended) {
        const QSignalBlocker blocker(m_pages.get());
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
    // The table always shows the kind of the tab in front.
    runCommand(this, [&] {
        if (shown == m_penetrometerPage)
            m_document.showKind(store::kPenetrometerKind);
        else if (shown == m_pressPage)
            m_document.showKind(store::kPressKind);
    });
}

// ---- drops and closing -----------------------------------------------------------------------

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedTable(event->mimeData()).isEmpty() && !QApplication::activeModalWidget())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString path = droppedTable(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // The questions and messages come after the drop has finished: the source program is not
    // kept waiting for them.
    QTimer::singleShot(0, this, [this, path] {
        runAfterCellEdit(*m_context, [this, &path] { m_tableCommands->openTable(path); });
    });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A text typed into a cell goes into the table first; one the table refuses keeps the
    // window open with the cell in edit, so that the user can put it right.
    bool ended = false;
    runCommand(this, [this, &ended] { ended = m_gridTabs->endEdit(); });
    if (!ended) {
        event->ignore();
        return;
    }
    m_files->rememberDataFolder();
    // A table that cannot be saved keeps the window open, so the user can decide again, and
    // so does «Отмена».
    bool closed = false;
    if (!runCommand(this, [this, &closed] { closed = m_tableCommands->closeTable(); }) || !closed) {
        event->ignore();
        return;
    }
    m_helpCommands->closeHelp();
    // Where the window stood and how large, and where the charts dock is and how large.
    m_settings->setValue(kWindowGeometryKey, saveGeometry());
    m_settings->setValue(kWindowStateKey, saveState());
    event->accept();
}

void MainWindow::restoreWindowLayout()
{
    // The very first start fills the screen; later starts come back as the user left them.
    const QByteArray geometry = m_settings->value(kWindowGeometryKey).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        setWindowState(Qt::WindowMaximized);
    restoreState(m_settings->value(kWindowStateKey).toByteArray());
    // The dock is shown only with a table open and the charts on, whatever the state says.
    m_chartCommands->updateDock();
}

} // namespace app
