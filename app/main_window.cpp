#include "app/main_window.h"

#include "app/about_dialog.h"
#include "app/error_report.h"
#include "app/help_location.h"
#include "app/help_window.h"
#include "app/limits_dialog.h"
#include "app/resources.h"
#include "app/start_page.h"

#include "device/download_dialog.h"
#include "device/port_dialog.h"
#include "device/port_names.h"
#include "settings/program_settings.h"
#include "settings/recent_tables.h"
#include "store/store_error.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace app {
namespace {

const QString kDefaultDirKey = QStringLiteral("Default_dir");

// The size the window returns to when the user un-maximises it.
constexpr QSize kDesignSize{703, 501};

} // namespace

MainWindow::MainWindow(ProgramState& state, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_registry(settings::open())
{
    loadResources();
    setObjectName(QStringLiteral("Form1"));
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
    buildStartPage();
    buildMenus();
    buildToolBar();
    buildPopupMenu();
    buildDialogs();
    buildCharts();
    m_downloadDialog = new device::DownloadDialog(m_state.download, this);
    connect(m_downloadDialog, &device::DownloadDialog::errorOccurred, this, [this](const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok, m_downloadDialog);
        box.exec();
    });
    m_about = new AboutDialog(this);

    // The limits belong to the program: the document marks rows by them from the start.
    m_document.setLimits(document::readLimits(*m_registry));

    // The window follows the document into its no-table state, whoever closed it.
    connect(&m_document, &document::MeasurementDocument::closed, this, &MainWindow::showNoTable);

    FormCreate();
}

MainWindow::~MainWindow() = default;

void MainWindow::FormCreate()
{
    setWindowState(Qt::WindowMaximized);
    setFormColor(QPalette::Dark);
    m_pages->hide();

    const QString helpFile = helpFilePath();
    if (QFileInfo::exists(helpFile))
        m_state.helpFile = helpFile;

    readDataDir();
    setDataDir(m_dataDir);

    // Each grid keeps P and R of every row it selects, for the selection summary; with no
    // table open the sort reset only clears the title marks.
    m_gridTabs->grid1()->setBookmarkFields(QStringLiteral("P;R"));
    m_gridTabs->grid2()->setBookmarkFields(QStringLiteral("P;R"));
    m_gridTabs->unsortAll();

    disable_button();
    tab_vis_dis();
}

void MainWindow::readDataDir()
{
    if (m_registry->contains(kDefaultDirKey)) {
        // Not checked for existence: the file dialogs cope with a folder that has gone.
        m_dataDir = m_registry->value(kDefaultDirKey).toString();
        return;
    }
    // First run: remember where the program was started, and store it straight away so that
    // the settings key exists from now on.
    m_dataDir = QDir::toNativeSeparators(QDir::currentPath());
    m_registry->setValue(kDefaultDirKey, m_dataDir);
    m_registry->sync();
}

void MainWindow::setDataDir(const QString& dir)
{
    m_dataDir = dir;
    m_openDialog->setDirectory(dir);
    m_saveDialog->setDirectory(dir);
}

void MainWindow::buildPages()
{
    m_pages = std::make_unique<QTabWidget>(m_client);
    m_pages->setObjectName(QStringLiteral("PageControl1"));
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
    m_tabSheet1 = addPage(QStringLiteral("TabSheet1"), QStringLiteral("ВРТ-ТК5"));
    m_tabSheet2 = addPage(QStringLiteral("TabSheet2"), QStringLiteral("ЛД - ТК5"));

    m_gridTabs = std::make_unique<views::GridTabs>(m_document, m_tabSheet1, m_tabSheet2);
    // Grid1InitEdit: beginning to edit any cell of either grid marks the table as changed.
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
    if (!m_document.isOpen())
        return;
    const bool press = m_document.kind() == store::kPressKind;
    QWidget* shown = press ? m_tabSheet2 : m_tabSheet1;
    QWidget* hidden = press ? m_tabSheet1 : m_tabSheet2;
    // Show the wanted tab before hiding the other, so the tab bar never passes through a
    // state with no tab at all.
    m_pages->setTabVisible(m_pages->indexOf(shown), true);
    m_pages->setCurrentWidget(shown);
    m_pages->setTabVisible(m_pages->indexOf(hidden), false);
    m_startPage->hide();
    m_pages->show();
    m_pages->update();
}

void MainWindow::tab_vis_dis()
{
    m_pages->hide();
    showRecentTables();
    m_startPage->setPortText(device::portChoiceSummary());
    m_startPage->show();
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
    m_document.showKind(kind);
}

bool MainWindow::endCellEdit()
{
    return m_gridTabs->endEdit();
}

void MainWindow::reopening(const std::function<void()>& command)
{
    try {
        command();
    } catch (const document::AppendNotSavedError& error) {
        // The count is what the instrument gave: the user learns whether to look for them.
        throw store::StoreError(
            error.code(),
            QStringLiteral("Из прибора получено новых записей: %1.\n"
                           "Не удалось снова открыть таблицу «%2» при сохранении:\n%3\n\nТаблица закрыта.\n"
                           "Откройте таблицу и проверьте, сохранились ли эти записи.")
                .arg(error.added())
                .arg(QFileInfo(error.path()).fileName(), QString::fromUtf8(error.what()))
                .toStdString());
    } catch (const document::ReopenError& error) {
        throw store::StoreError(
            error.code(), QStringLiteral("Не удалось снова открыть таблицу «%1» при сохранении:\n%2\n\n"
                                         "Таблица закрыта.")
                              .arg(QFileInfo(error.path()).fileName(), QString::fromUtf8(error.what()))
                              .toStdString());
    }
}

void MainWindow::Save_DB()
{
    // Closing and reopening makes sure that everything has reached the file; the kind
    // filter and a sort stay as the user sees them.
    reopening([this] { m_document.save(); });
}

void MainWindow::Close_DB()
{
    if (m_document.isChanged()) {
        const auto answer = QMessageBox::question(
            this, kCaption, QStringLiteral("Сохранить изменения в таблицах ?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer == QMessageBox::Yes)
            Save_DB();
    }
    // The document announces the closing, and the window follows; with nothing open the
    // window goes to its no-table state all the same.
    const bool wasOpen = m_document.isOpen();
    m_document.close();
    if (!wasOpen)
        showNoTable();
}

void MainWindow::showOpenTable()
{
    setFormColor(QPalette::Button);
    enable_button();
    tab_vis_en();
    m_gridTabs->restoreLayouts(*m_registry);
    m_gridTabs->updateSummaries();
}

void MainWindow::showNoTable()
{
    m_gridTabs->storeLayouts(*m_registry);
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
    m_gridTabs->unsortAll();
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
    const QString file = m_state.helpFile.isEmpty() ? helpFilePath() : m_state.helpFile;
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

void MainWindow::setLimitsClick()
{
    LimitsDialog dialog(m_document.limits(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    document::writeLimits(*m_registry, dialog.limits());
    m_registry->sync();
    m_document.setLimits(dialog.limits());
}

void MainWindow::choosePort()
{
    device::PortDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        m_startPage->setPortText(device::portChoiceSummary());
}

// ---- the start page and the recent tables ----------------------------------------------------

void MainWindow::buildStartPage()
{
    m_startPage = new StartPage(m_client);
    m_client->layout()->addWidget(m_startPage);
    // The page asks as the menu does: an edit in progress ends first.
    const auto command = [this](const std::function<void()>& work) {
        runCommand(this, [&] {
            if (endCellEdit())
                work();
        });
    };
    connect(m_startPage, &StartPage::createRequested, this, [=, this] { command([this] { N2Click(); }); });
    connect(m_startPage, &StartPage::openRequested, this, [=, this] { command([this] { N3Click(); }); });
    connect(m_startPage, &StartPage::recentRequested, this,
            [=, this](const QString& path) { command([&] { openTable(path); }); });
    connect(m_startPage, &StartPage::removeRequested, this, [this](const QString& path) { forgetTable(path); });
    connect(m_startPage, &StartPage::removeMissingRequested, this, [this] { forgetMissingTables(); });
    connect(m_startPage, &StartPage::portRequested, this, [=, this] { command([this] { choosePort(); }); });
}

QStringList MainWindow::recentTables() const
{
    return settings::RecentTables(*m_registry).paths();
}

void MainWindow::rememberTable(const QString& path)
{
    settings::RecentTables(*m_registry).add(path);
    showRecentTables();
}

void MainWindow::forgetTable(const QString& path)
{
    settings::RecentTables(*m_registry).remove(path);
    showRecentTables();
}

void MainWindow::forgetMissingTables()
{
    settings::RecentTables recent(*m_registry);
    for (const QString& path : recent.paths())
        if (!QFileInfo(path).isFile())
            recent.remove(path);
    showRecentTables();
}

void MainWindow::showRecentTables()
{
    m_startPage->setRecentTables(recentTables());
}

void MainWindow::fillRecentMenu()
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
        connect(action, &QAction::triggered, this, [this, path] {
            runCommand(this, [&] {
                if (endCellEdit())
                    openTable(path);
            });
        });
    }
    if (paths.isEmpty())
        m_recentMenu->addAction(QStringLiteral("(список пуст)"))->setEnabled(false);
    m_recentMenu->addSeparator();
    QAction* removeMissing = m_recentMenu->addAction(QStringLiteral("Убрать отсутствующие файлы"));
    removeMissing->setObjectName(QStringLiteral("RecentRemoveMissing"));
    removeMissing->setEnabled(anyMissing);
    connect(removeMissing, &QAction::triggered, this, [this] { forgetMissingTables(); });
    QAction* clear = m_recentMenu->addAction(QStringLiteral("Очистить список"));
    clear->setObjectName(QStringLiteral("RecentClear"));
    clear->setEnabled(!paths.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        settings::RecentTables(*m_registry).clear();
        showRecentTables();
    });
}

namespace {

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

} // namespace

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
        runCommand(this, [&] {
            if (endCellEdit())
                openTable(path);
        });
    });
}

void MainWindow::openHandedOver(const QString& path)
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
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
        if (m_document.isOpen() && settings::RecentTables::sameTable(m_document.path(), table))
            return;
        runCommand(this, [&] {
            if (endCellEdit())
                openTable(table);
        });
    };
    tryNow(tryNow);
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
    m_registry->setValue(kDefaultDirKey, m_dataDir);
    m_registry->sync();
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
