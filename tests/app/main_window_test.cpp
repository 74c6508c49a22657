// The main window: its menu, toolbar and tabs, its two states, the remembered data folder,
// closing against "Выход", and the kind tabs over a real table file.

#include "widget_test_support.h"
#include "window_access.h"

#include "app/main_window.h"
#include "app/program_state.h"
#include "app/start_page.h"
#include "app/unreadable_values.h"
#include "store/measurement_table.h"
#include "tests/store/store_test_support.h"
#include "views/data_grid.h"
#include "views/table_model.h"

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace kvel_test;


using app::MainWindow;

namespace {

// Enabled only while a table is open.
const QStringList kTableItems = {
    "appendAction", "saveTableAction", "closeTableAction", "previewAction", "printAction", "equalizeColumnsAction", "setColumnColourAction", "clearColumnColourAction", "clearAllColoursAction", "unsortAction", "deleteRowsAction", "renumberAction", "exportAction", "deleteRowsPopupAction",
};
const QStringList kTableButtons = {"saveTableButton", "previewButton", "printButton"};
// Enabled always.
const QStringList kFreeItems = {"newTableAction", "openTableAction", "exitAction", "helpAction", "aboutAction", "choosePortAction", "limitsAction",
                                "showArchiveAction", "archiveAddTablesMainAction", "archiveAddFolderMainAction", "archiveAutoAddAction"};
const QStringList kFreeButtons = {"newTableButton", "openTableButton", "helpButton"};
// The grids' context menu shows the same commands; it is only reachable over a shown table.
const QStringList kPopupItems = {"printAction", "setColumnColourAction", "clearColumnColourAction", "clearAllColoursAction", "equalizeColumnsAction", "deleteRowsPopupAction"};

const QString kDefaultDir = QStringLiteral("1.0/Default_dir");

QSettings programSettings()
{
    return QSettings(QSettings::defaultFormat(), QSettings::UserScope,
                     QStringLiteral("Valdrenor"), QStringLiteral("KVEL"));
}

// A table file holding one row of each kind listed, in that order.
void writeTable(const QString& path, const QList<int>& kinds)
{
    store::MeasurementTable::create(path);
    store::MeasurementTable table;
    table.open(path);
    int number = 1;
    for (int kind : kinds) {
        table.table().append();
        table.setReal(store::Field::N, number++);
        table.setInteger(store::Field::NB_TYPE, kind);
        table.table().post();
    }
    table.close();
}

QColor clientColor(const MainWindow& window)
{
    return window.centralWidget()->palette().color(QPalette::Window);
}

// Everything that tells the no-table state apart from the table-open state.
void verifyNoTableState(MainWindow& window)
{
    QVERIFY(!documentOf(window).isOpen());
    QVERIFY(!documentOf(window).isChanged());
    QVERIFY(!tableOf(window).isActive());
    QCOMPARE(window.windowTitle(), QStringLiteral("ВРТ - ТК5"));
    QVERIFY(window.findChild<QTabWidget*>("kindTabs")->isHidden());
    QVERIFY(!(&startPageOf(window))->isHidden());
    QCOMPARE(clientColor(window), QApplication::palette().color(QPalette::Dark));
    for (const QString& name : kTableItems)
        QVERIFY2(!window.findChild<QAction*>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : kTableButtons)
        QVERIFY2(!window.findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captions_data();
    void captions();
    void shortcuts();
    void menuOrder_data();
    void menuOrder();
    void popupOrder();
    void startState();
    void enableAndDisable();
    void toolbar();
    void toolbarImagesAreDistinct();
    void accessibleNames();

    void firstRunStoresCurrentFolder();
    void storedFolderIsUsed();
    void windowCloseStoresFolderAndClosesTable();
    void windowAndDocksComeBackAsLeft();
    void exitLeavesAtOnce();

    void tabVisEn_data();
    void tabVisEn();
    void tabVisEnSwitchesKind();
    void tabVisEnWithoutTable();
    void tabShowSetsKindFilter();

    void closeDb_data();
    void closeDb();
    void closeDbDeletesIndexFile_data();
    void closeDbDeletesIndexFile();
    void closeKeepsWindowWhenSaveFails();
    void saveDbKeepsFilter();

    void openTellsOfValuesThatAreNoNumber();

    void helpWithoutFile();
    void helpShowsDocument();
    void aboutShowsVersion();

private:
    // Opens `kinds` as the window's table and puts the window into the table-open state, the
    // way the table commands do.
    void openTable(MainWindow& window, const QString& name, const QList<int>& kinds);
    QString path(const QString& name) const { return m_dir->filePath(name); }

    app::ProgramState m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void MainWindowTest::init()
{
    // Every test starts as a first run, in a folder of its own.
    kvel_test::clearProgramSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_state = {};
}

void MainWindowTest::cleanup()
{
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

void MainWindowTest::openTable(MainWindow& window, const QString& name, const QList<int>& kinds)
{
    writeTable(path(name), kinds);
    window.openTable(path(name));
    QCOMPARE(window.windowTitle(), QFileInfo(name).completeBaseName() + " - ВРТ - ТК5");
}

void MainWindowTest::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char* rows[][2] = {
        {"fileMenu", "Файл"}, {"newTableAction", "Создать"}, {"openTableAction", "Открыть"}, {"appendAction", "Дополнить"},
        {"saveTableAction", "Сохранить"}, {"closeTableAction", "Закрыть"}, {"previewAction", "Предварительный просмотр"},
        {"printAction", "Печать"}, {"savePdfAction", "Сохранить отчёт в PDF…"}, {"exitAction", "Выход"},
        {"viewMenu", "Вид"}, {"equalizeColumnsAction", "Выровнять столбцы"}, {"setColumnColourAction", "Задать цвет"},
        {"clearColumnColourAction", "Убрать цвет"}, {"clearAllColoursAction", "Убрать все цвета"}, {"unsortAction", "Убрать сортировку"},
        {"editMenu", "Правка"}, {"deleteRowsAction", "Удалить строки"},
        {"serviceMenu", "Сервис"}, {"exportAction", "Экспорт в Excel"}, {"renumberAction", "Перенумеровать строки"},
        {"archiveMenu", "Архив"}, {"showArchiveAction", "Открыть архив"}, {"archiveAddTablesMainAction", "Добавить таблицы…"},
        {"archiveAddFolderMainAction", "Добавить папку…"}, {"archiveAutoAddAction", "Добавлять открытые таблицы в архив"},
        {"helpMenu", "Справка"}, {"helpAction", "Помощь"}, {"aboutAction", "О программе"},
        {"printAction", "Печать"}, {"setColumnColourAction", "Задать цвет"}, {"clearColumnColourAction", "Убрать цвет"},
        {"clearAllColoursAction", "Убрать все цвета"}, {"equalizeColumnsAction", "Выровнять столбцы"}, {"deleteRowsPopupAction", "Удалить"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[0]) << QString::fromUtf8(row[1]);
}

void MainWindowTest::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    MainWindow window(m_state);
    auto* action = window.findChild<QAction*>(name);
    QVERIFY(action);
    QCOMPARE(action->text(), caption);
}

void MainWindowTest::shortcuts()
{
    const QMap<QString, QKeySequence> expected = {
        {"newTableAction", QKeySequence("Ctrl+N")}, {"openTableAction", QKeySequence("Ctrl+O")},
        {"saveTableAction", QKeySequence("Ctrl+S")}, {"printAction", QKeySequence("Ctrl+P")},
        {"helpAction", QKeySequence(Qt::Key_F1)}, {"undoAction", QKeySequence("Ctrl+Z")},
        {"redoAction", QKeySequence("Ctrl+Y")}, {"deleteRowsAction", QKeySequence(QKeySequence::Delete)},
        {"showArchiveAction", QKeySequence("Ctrl+Shift+A")},
    };
    MainWindow window(m_state);
    QList<QAction*> items = (&menuOf(window, "gridMenu"))->actions();
    for (QAction* menu : window.menuBar()->actions())
        items += menu->menu()->actions();
    int checked = 0;
    for (QAction* action : items) {
        QCOMPARE(action->shortcut(), expected.value(action->objectName()));
        ++checked;
    }
    QVERIFY(checked > kTableItems.size() + kFreeItems.size());
}

void MainWindowTest::menuOrder_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("separators");
    QTest::newRow("Файл") << "fileMenu"
                          << QStringList{"newTableAction", "openTableAction", "recentMenu", "appendAction", "saveTableAction", "closeTableAction", "fileSeparator1", "previewAction", "printAction", "savePdfAction", "fileSeparator2", "exitAction"}
                          << QStringList{"fileSeparator1", "fileSeparator2"};
    QTest::newRow("Вид") << "viewMenu"
                         << QStringList{"equalizeColumnsAction", "viewSeparator1", "setColumnColourAction", "clearColumnColourAction", "clearAllColoursAction", "viewSeparator2", "unsortAction",
                                        "forcesSeparator", "forcesInRowAction", "chartSeparator", "showChartsAction", "saveChartAction", "chartsInReportAction"}
                         << QStringList{"viewSeparator1", "viewSeparator2", "forcesSeparator", "chartSeparator"};
    QTest::newRow("Правка") << "editMenu" << QStringList{"undoAction", "redoAction", "undoSeparator", "deleteRowsAction"}
                            << QStringList{"undoSeparator"};
    QTest::newRow("Сервис") << "serviceMenu" << QStringList{"exportAction", "renumberAction", "serviceSeparator", "choosePortAction", "limitsAction"}
                            << QStringList{"serviceSeparator"};
    QTest::newRow("Архив") << "archiveMenu"
                           << QStringList{"showArchiveAction", "archiveAddTablesMainAction", "archiveAddFolderMainAction", "archiveSeparator", "archiveAutoAddAction"}
                           << QStringList{"archiveSeparator"};
    QTest::newRow("Справка") << "helpMenu" << QStringList{"helpAction", "helpSeparator", "aboutAction"} << QStringList{"helpSeparator"};
}

void MainWindowTest::menuOrder()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    QFETCH(QStringList, separators);
    MainWindow window(m_state);
    auto* qmenu = window.findChild<QMenu*>(menu);
    QVERIFY(qmenu);
    QStringList names;
    for (QAction* action : qmenu->actions()) {
        names << action->objectName();
        QCOMPARE(action->isSeparator(), separators.contains(action->objectName()));
    }
    QCOMPARE(names, items);

    QStringList bar;
    for (QAction* action : window.menuBar()->actions())
        bar << action->objectName();
    QCOMPARE(bar, (QStringList{"fileMenu", "viewMenu", "editMenu", "serviceMenu", "archiveMenu", "helpMenu"}));
}

void MainWindowTest::popupOrder()
{
    MainWindow window(m_state);
    QMenu* popup = (&menuOf(window, "gridMenu"));
    QCOMPARE(popup, window.findChild<QMenu*>("gridMenu"));
    QStringList commands;
    QList<int> separatorsAt;
    const QList<QAction*> actions = popup->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->isSeparator())
            separatorsAt << i;
        else
            commands << actions[i]->objectName();
    }
    QCOMPARE(commands, kPopupItems);
    QCOMPARE(separatorsAt, (QList<int>{1, 5, 7}));
}

void MainWindowTest::startState()
{
    MainWindow window(m_state);
    QCOMPARE(window.objectName(), QStringLiteral("mainWindow"));
    QVERIFY(window.windowState() & Qt::WindowMaximized);
    QCOMPARE(window.size(), QSize(703, 501));
    // The test means nothing if the two system colours were the same.
    QVERIFY(QApplication::palette().color(QPalette::Dark)
            != QApplication::palette().color(QPalette::Button));
    verifyNoTableState(window);
    QCOMPARE(clientColourOf(window), QPalette::Dark);

    auto* pages = window.findChild<QTabWidget*>("kindTabs");
    QCOMPARE(pages->count(), 2);
    QCOMPARE(pages->widget(0)->objectName(), QStringLiteral("penetrometerPage"));
    QCOMPARE(pages->tabText(0), QStringLiteral("ВРТ-ТК5"));
    QCOMPARE(pages->widget(1)->objectName(), QStringLiteral("pressPage"));
    QCOMPARE(pages->tabText(1), QStringLiteral("ЛД - ТК5"));

    for (const QString& name : kFreeItems)
        QVERIFY2(window.findChild<QAction*>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : kFreeButtons)
        QVERIFY2(window.findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));
}

void MainWindowTest::enableAndDisable()
{
    // Opening a table enables the table commands; closing it disables them again, while the
    // commands that need no table stay enabled throughout.
    MainWindow window(m_state);
    openTable(window, "commands.db", {0, 0});
    for (const QString& name : kTableItems + kFreeItems)
        QVERIFY2(window.findChild<QAction*>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : kTableButtons + kFreeButtons)
        QVERIFY2(window.findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));

    trigger(window, "closeTableAction");
    for (const QString& name : kTableItems)
        QVERIFY2(!window.findChild<QAction*>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : kTableButtons)
        QVERIFY2(!window.findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : kFreeItems)
        QVERIFY2(window.findChild<QAction*>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : kFreeButtons)
        QVERIFY2(window.findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));
}

void MainWindowTest::toolbar()
{
    MainWindow window(m_state);
    auto* bar = window.findChild<QToolBar*>("toolBar");
    QVERIFY(bar);
    QCOMPARE(bar->iconSize(), QSize(16, 16));
    QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QCOMPARE(bar->height(), 29);

    // Each button is its menu item: same command, same picture, enabled together.
    const QList<QPair<QString, QString>> pairs = {
        {"newTableButton", "newTableAction"}, {"openTableButton", "openTableAction"}, {"saveTableButton", "saveTableAction"},
        {"previewButton", "previewAction"}, {"printButton", "printAction"}, {"helpButton", "helpAction"},
    };
    QStringList order;
    for (QAction* action : bar->actions())
        order << bar->widgetForAction(action)->objectName();
    QStringList expectedOrder;
    for (const auto& [button, item] : pairs) {
        expectedOrder << button;
        auto* toolButton = window.findChild<QToolButton*>(button);
        QVERIFY2(toolButton, qPrintable(button));
        QCOMPARE(toolButton->defaultAction(), window.findChild<QAction*>(item));
        QVERIFY2(!toolButton->icon().isNull(), qPrintable(button));
    }
    QCOMPARE(order, expectedOrder);
    QCOMPARE(window.findChild<QToolButton*>("newTableButton")->text(), QStringLiteral("Создать"));
}

void MainWindowTest::toolbarImagesAreDistinct()
{
    // The seven images of the toolbar's image list, as the items that carry them.
    const QStringList items = {"newTableAction", "openTableAction", "saveTableAction", "previewAction", "printAction", "helpAction", "deleteRowsAction"};
    MainWindow window(m_state);
    QList<QImage> images;
    for (const QString& name : items) {
        const QImage image = window.findChild<QAction*>(name)->icon().pixmap(16, 16).toImage();
        QVERIFY2(!image.isNull(), qPrintable(name));
        QCOMPARE(image.size(), QSize(16, 16));
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        QVERIFY2(opaque > 40, qPrintable(name + " is (nearly) empty"));
        for (int i = 0; i < images.size(); ++i)
            QVERIFY2(images[i] != image, qPrintable(name + " looks like " + items[i]));
        images << image;
    }
    // Items without a picture in the menu.
    for (const char* name : {"appendAction", "closeTableAction", "exitAction", "aboutAction", "exportAction"})
        QVERIFY2(window.findChild<QAction*>(name)->icon().isNull(), name);
}

void MainWindowTest::accessibleNames()
{
    MainWindow window(m_state);
    window.show();
    for (const QString& name : kTableButtons + kFreeButtons) {
        QAccessibleInterface* button =
            QAccessible::queryAccessibleInterface(window.findChild<QToolButton*>(name));
        QVERIFY2(button && !button->text(QAccessible::Name).isEmpty(), qPrintable(name));
    }
    for (const char* name : {"kindTabs", "penetrometerPage", "pressPage", "toolBar", "mainMenu",
                             "gridMenu"}) {
        auto* widget = window.findChild<QWidget*>(name);
        QVERIFY2(widget && !widget->accessibleName().isEmpty(), name);
    }
}

void MainWindowTest::firstRunStoresCurrentFolder()
{
    const QString current = QDir::toNativeSeparators(QDir::currentPath());
    MainWindow window(m_state);
    QCOMPARE(tableFilesOf(window).dataFolder(), current);
    QCOMPARE(programSettings().value(kDefaultDir).toString(), current);
    // Stored at once, not only when the window closes.
    QSettings onDisk(kvel_test::settingsFile(), QSettings::IniFormat);
    QCOMPARE(onDisk.value(kDefaultDir).toString(), current);
    QCOMPARE((&dialogOf(window, "openTableDialog"))->directory().absolutePath(), QDir::currentPath());
    QCOMPARE((&dialogOf(window, "saveFileDialog"))->directory().absolutePath(), QDir::currentPath());
}

void MainWindowTest::storedFolderIsUsed()
{
    QTemporaryDir dataFolder;
    const QString stored = QDir::toNativeSeparators(dataFolder.path());
    programSettings().setValue(kDefaultDir, stored);

    MainWindow window(m_state);
    QCOMPARE(tableFilesOf(window).dataFolder(), stored);
    QCOMPARE(programSettings().value(kDefaultDir).toString(), stored);
    QCOMPARE(window.findChild<QFileDialog*>("openTableDialog")->directory().absolutePath(),
             QDir(dataFolder.path()).absolutePath());
    QCOMPARE(window.findChild<QFileDialog*>("saveFileDialog")->directory().absolutePath(),
             QDir(dataFolder.path()).absolutePath());
}

void MainWindowTest::windowCloseStoresFolderAndClosesTable()
{
    MainWindow window(m_state);
    const QString dataDir = tableFilesOf(window).dataFolder();
    openTable(window, "close.db", {0, 0});
    documentOf(window).setChanged(true);
    window.show();
    // Someone else changed the stored folder meanwhile: closing writes the window's own.
    programSettings().setValue(kDefaultDir, "elsewhere");

    kvel_test::ModalAnswerer answerer({QMessageBox::No});
    QVERIFY(window.close());
    QCOMPARE(answerer.boxes().size(), std::size_t(1));
    QCOMPARE(answerer.boxes()[0].text, QStringLiteral("Сохранить изменения в таблицах ?"));
    QCOMPARE(programSettings().value(kDefaultDir).toString(), dataDir);
    QVERIFY(!window.isVisible());
    verifyNoTableState(window);
}

// The first start fills the screen; the next comes back where and as large as the window
// was left, with the charts dock as tall as it was (shown again once a table is open).
void MainWindowTest::windowAndDocksComeBackAsLeft()
{
    int dockHeight = 0;
    {
        MainWindow first(m_state);
        QVERIFY(first.windowState().testFlag(Qt::WindowMaximized));
        first.setWindowState(Qt::WindowNoState);
        first.setGeometry(60, 40, 1100, 900);
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        openTable(first, "layout.db", {0, 0});
        QAction* charts = first.findChild<QAction*>("showChartsAction");
        if (!charts->isChecked())
            charts->trigger();
        auto* dock = first.findChild<QDockWidget*>("chartDock");
        QTRY_VERIFY(dock->isVisible());
        first.resizeDocks({dock}, {240}, Qt::Vertical);
        QTRY_VERIFY2(std::abs(dock->height() - 240) <= 2, qPrintable(QString::number(dock->height())));
        dockHeight = dock->height();
        QVERIFY(first.close());
    }
    MainWindow second(m_state);
    QVERIFY(!second.windowState().testFlag(Qt::WindowMaximized));
    QCOMPARE(second.size(), QSize(1100, 900));
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    auto* dock = second.findChild<QDockWidget*>("chartDock");
    QVERIFY2(dock->isHidden(), "no table, no charts");
    openTable(second, "layout.db", {0, 0});
    QTRY_VERIFY(dock->isVisible());
    QTRY_VERIFY2(std::abs(dock->height() - dockHeight) <= 2, qPrintable(QString::number(dock->height())));
}

void MainWindowTest::exitLeavesAtOnce()
{
    MainWindow window(m_state);
    openTable(window, "exit.db", {0});
    documentOf(window).setChanged(true);
    window.show();
    programSettings().setValue(kDefaultDir, "elsewhere");

    kvel_test::ModalAnswerer answerer;
    QTimer::singleShot(0, &window, [&] { window.findChild<QAction*>("exitAction")->trigger(); });
    QCOMPARE(QApplication::exec(), 0);

    // No question, no folder written, the table untouched: the close handler never ran.
    QVERIFY(answerer.boxes().empty());
    QCOMPARE(programSettings().value(kDefaultDir).toString(), QStringLiteral("elsewhere"));
    QVERIFY(window.isVisible());
    QVERIFY(documentOf(window).isOpen());
    QVERIFY(documentOf(window).isChanged());
    QVERIFY(tableOf(window).isActive());
}

void MainWindowTest::tabVisEn_data()
{
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QString>("shownTab");
    QTest::addColumn<int>("shownKind");
    // Which kind the document chooses has its own tests; here the tab that shows it.
    QTest::newRow("both kinds") << QList<int>{0, 1, 0} << "pressPage" << 1;
    QTest::newRow("penetrometer rows only") << QList<int>{0, 0} << "penetrometerPage" << 0;
}

void MainWindowTest::tabVisEn()
{
    QFETCH(QList<int>, kinds);
    QFETCH(QString, shownTab);
    QFETCH(int, shownKind);
    MainWindow window(m_state);
    writeTable(path("kinds.db"), kinds);
    window.openTable(path("kinds.db"));

    auto* pages = window.findChild<QTabWidget*>("kindTabs");
    QVERIFY(!pages->isHidden());
    QVERIFY((&startPageOf(window))->isHidden());
    QCOMPARE(pages->currentWidget()->objectName(), shownTab);
    for (int i = 0; i < pages->count(); ++i)
        QCOMPARE(pages->isTabVisible(i), pages->widget(i)->objectName() == shownTab);
    QCOMPARE(tableOf(window).table().filter(), store::kindFilter(shownKind));
    QCOMPARE(tableOf(window).table().recordCount(), int(kinds.count(shownKind)));
}

void MainWindowTest::tabVisEnSwitchesKind()
{
    MainWindow window(m_state);
    auto* pages = window.findChild<QTabWidget*>("kindTabs");
    openTable(window, "press.db", {1});
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("pressPage"));
    tableCommandsOf(window).closeTable();

    openTable(window, "penetrometer.db", {0, 0, 0});
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("penetrometerPage"));
    QVERIFY(pages->isTabVisible(0));
    QVERIFY(!pages->isTabVisible(1));
    QCOMPARE(tableOf(window).table().filter(), store::kindFilter(0));
    QCOMPARE(tableOf(window).table().recordCount(), 3);
}

void MainWindowTest::tabVisEnWithoutTable()
{
    // A name that opens no table leaves the tabs hidden and the start page shown.
    MainWindow window(m_state);
    {
        ModalAnswerer answerer({QMessageBox::Ok});
        window.openTable(path("missing.db"));
        QCOMPARE(answerer.boxes().size(), std::size_t(1));
    }
    QVERIFY(window.findChild<QTabWidget*>("kindTabs")->isHidden());
    QVERIFY(!startPageOf(window).isHidden());
}

void MainWindowTest::tabShowSetsKindFilter()
{
    MainWindow window(m_state);
    openTable(window, "both.db", {0, 1, 0, 0});
    auto* pages = window.findChild<QTabWidget*>("kindTabs");
    const store::DbfTable& table = tableOf(window).table();
    QCOMPARE(table.filter(), store::kindFilter(1));

    pages->setCurrentWidget(window.findChild<QWidget*>("penetrometerPage"));
    QCOMPARE(table.filter(), store::kindFilter(0));
    QCOMPARE(table.recordCount(), 3);
    pages->setCurrentWidget(window.findChild<QWidget*>("pressPage"));
    QCOMPARE(table.filter(), store::kindFilter(1));
    QCOMPARE(table.recordCount(), 1);
}

void MainWindowTest::closeDb_data()
{
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QMessageBox::StandardButton>("reply");
    QTest::addColumn<bool>("fileGone");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("errors");
    // With the file gone, saving fails: an error proves that Save ran, its absence that not.
    QTest::newRow("changed, save") << true << QMessageBox::Yes << false << 1 << 0;
    QTest::newRow("changed, save fails") << true << QMessageBox::Yes << true << 1 << 1;
    QTest::newRow("changed, don't save") << true << QMessageBox::No << true << 1 << 0;
    QTest::newRow("unchanged") << false << QMessageBox::Yes << true << 0 << 0;
}

void MainWindowTest::closeDb()
{
    QFETCH(bool, changed);
    QFETCH(QMessageBox::StandardButton, reply);
    QFETCH(bool, fileGone);
    QFETCH(int, questions);
    QFETCH(int, errors);
    MainWindow window(m_state);
    openTable(window, "t.db", {0, 1});
    documentOf(window).setChanged(changed);
    if (fileGone && !QFile::remove(path("t.db")))
        QSKIP("this system cannot remove a file that is open");

    kvel_test::ModalAnswerer answerer({reply, QMessageBox::Ok});
    window.findChild<QAction*>("closeTableAction")->trigger();

    int asked = 0;
    int failed = 0;
    for (const kvel_test::SeenBox& box : answerer.boxes()) {
        if (box.icon == QMessageBox::Question) {
            ++asked;
            QCOMPARE(box.title, QStringLiteral("ВРТ - ТК5"));
            QCOMPARE(box.text, QStringLiteral("Сохранить изменения в таблицах ?"));
            QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        } else {
            ++failed;
            QCOMPARE(box.icon, QMessageBox::Critical);
        }
    }
    QCOMPARE(asked, questions);
    QCOMPARE(failed, errors);
    if (errors == 0) {
        verifyNoTableState(window);
        QCOMPARE(m_state.title, QStringLiteral("ВРТ - ТК5"));
    }
}

void MainWindowTest::closeDbDeletesIndexFile_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("bystander");
    QTest::newRow("plain name") << "tests.db" << "tests.mdx" << "other.mdx";
    QTest::newRow("dots in the name") << "field.2024.db" << "field.2024.mdx" << "field.mdx";
}

void MainWindowTest::closeDbDeletesIndexFile()
{
    QFETCH(QString, table);
    QFETCH(QString, index);
    QFETCH(QString, bystander);
    MainWindow window(m_state);
    openTable(window, table, {0});
    for (const QString& name : {index, bystander}) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    tableCommandsOf(window).closeTable();
    QVERIFY(!QFile::exists(path(index)));
    QVERIFY(QFile::exists(path(bystander)));
    QVERIFY(QFile::exists(path(table)));
}

void MainWindowTest::closeKeepsWindowWhenSaveFails()
{
    MainWindow window(m_state);
    openTable(window, "lost.db", {0});
    documentOf(window).setChanged(true);
    window.show();
    if (!QFile::remove(path("lost.db")))
        QSKIP("this system cannot remove a file that is open");

    {
        kvel_test::ModalAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
        QVERIFY(!window.close());
        QCOMPARE(answerer.boxes().size(), std::size_t(2));
        QCOMPARE(answerer.boxes()[1].icon, QMessageBox::Critical);
        QVERIFY(window.isVisible());
    }
    // The table could not be opened again: the window shows it closed, so closing once more
    // has nothing left to ask.
    QVERIFY(!documentOf(window).isOpen());
    QVERIFY(!tableOf(window).isActive());
    QCOMPARE(window.windowTitle(), QStringLiteral("ВРТ - ТК5"));
    kvel_test::ModalAnswerer answerer({QMessageBox::No});
    QVERIFY(window.close());
    QVERIFY(answerer.boxes().empty());
    QVERIFY(!window.isVisible());
}

void MainWindowTest::saveDbKeepsFilter()
{
    MainWindow window(m_state);
    documentOf(window).setChanged(true);
    tableCommandsOf(window).saveTable();
    QVERIFY(documentOf(window).isChanged()); // nothing to save without an open table

    openTable(window, "save.db", {0, 1, 1});
    const store::DbfTable& table = tableOf(window).table();
    documentOf(window).setChanged(true);
    window.findChild<QAction*>("saveTableAction")->trigger();
    QVERIFY(!documentOf(window).isChanged());
    QVERIFY(tableOf(window).isActive());
    QCOMPARE(QFileInfo(table.path()).fileName(), QStringLiteral("save.db"));
    QCOMPARE(table.filter(), store::kindFilter(1));
    QCOMPARE(table.recordCount(), 2);
}

// A table whose numeric fields hold texts that are no number: Open says which (one warning
// box, the first of them listed, the rest counted), the table opens, and the grid shows the
// cell empty and marked, for the eye, the tooltip and a screen reader. A number in exponent
// form shows as the number.
void MainWindowTest::openTellsOfValuesThatAreNoNumber()
{
    const QString file = path("foreign.db");
    writeTable(file, {0, 0, 0, 0});
    struct Patch {
        std::uint32_t record;
        const char* field;
        const char* text;
    };
    std::vector<Patch> unreadable = {{2, "P7", "nan"}};
    for (const char* field : {"P1", "P2", "P3", "P4", "P5", "P6", "U", "H", "S", "G", "K"})
        unreadable.push_back({3, field, "x1"});
    for (const Patch& p : unreadable)
        store::test::overwriteField(file, p.record, p.field, p.text);
    store::test::overwriteField(file, 0, "P", "1.5E+3");

    MainWindow window(m_state);
    {
        kvel_test::ModalAnswerer answerer({QMessageBox::Ok});
        QVERIFY((window.openTable(file), documentOf(window).isOpen()));
        QCOMPARE(answerer.boxes().size(), std::size_t(1));
        const kvel_test::SeenBox& box = answerer.boxes().front();
        QCOMPARE(box.name, QStringLiteral("UnreadableValuesBox"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(box.text.contains(QStringLiteral("«foreign.db»")), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("запись 3, поле P7: «nan»")), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("запись 4, поле P1: «x1»")), qPrintable(box.text));
        const int rest = int(unreadable.size()) - app::kUnreadableValuesListed;
        QVERIFY(rest > 0);
        QVERIFY2(box.text.contains(QStringLiteral("и ещё %1").arg(rest)), qPrintable(box.text));
        QCOMPARE(box.text.count(QStringLiteral("\nзапись ")), app::kUnreadableValuesListed);
    }
    QVERIFY(documentOf(window).isOpen());

    views::DataGrid* grid = (&shownGridOf(window));
    QVERIFY(grid);
    views::TableModel* model = grid->model();
    const QModelIndex bad = model->index(2, model->fieldColumn(QStringLiteral("P7")));
    QVERIFY(bad.isValid());
    QCOMPARE(model->data(bad, Qt::DisplayRole).toString(), QString());
    QCOMPARE(model->data(bad, views::TableModel::UnreadableRole).toBool(), true);
    QCOMPARE(model->data(bad, Qt::BackgroundRole).value<QColor>(), views::unreadableCellColor());
    QVERIFY(model->data(bad, Qt::ToolTipRole).toString().contains(QStringLiteral("«nan»")));
    const QModelIndex fine = model->index(1, model->fieldColumn(QStringLiteral("P7")));
    QCOMPARE(model->data(fine, views::TableModel::UnreadableRole).toBool(), false);
    QVERIFY(!model->data(fine, Qt::BackgroundRole).isValid());
    const QModelIndex exponent = model->index(0, model->fieldColumn(QStringLiteral("P")));
    QCOMPARE(model->data(exponent, views::TableModel::NumberRole).toDouble(), 1500.0);

    const int column = grid->columnOfField(QStringLiteral("P7"));
    QVERIFY(column >= 0);
    QCOMPARE(grid->cellText(2, column), QString());
    QVERIFY(grid->cellNote(2, column).contains(QStringLiteral("«nan»")));
    QVERIFY(grid->cellNote(1, column).isEmpty());
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(grid);
    QVERIFY(table && table->tableInterface());
    QAccessibleInterface* cell = table->tableInterface()->cellAt(2, column);
    QVERIFY(cell);
    QVERIFY2(cell->text(QAccessible::Description).contains(QStringLiteral("нельзя прочитать как число")),
             qPrintable(cell->text(QAccessible::Description)));
}

void MainWindowTest::helpWithoutFile()
{
    MainWindow window(m_state);
    m_state.helpFile = path("kvel.html");
    kvel_test::ModalAnswerer answerer;
    window.findChild<QAction*>("helpAction")->trigger();
    QCOMPARE(answerer.boxes().size(), std::size_t(1));
    QVERIFY(answerer.boxes()[0].text.contains(QDir::toNativeSeparators(path("kvel.html"))));
    QVERIFY(!window.findChild<QWidget*>("HelpWindow"));
}

void MainWindowTest::helpShowsDocument()
{
    MainWindow window(m_state);
    m_state.helpFile = QStringLiteral(KVEL_HELP_SOURCE);
    window.findChild<QToolButton*>("helpButton")->click();
    auto* help = window.findChild<QWidget*>("HelpWindow");
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QVERIFY(help->findChild<QTreeWidget*>("HelpContents")->topLevelItemCount() > 0);

    // Asking again brings the same window back.
    help->close();
    window.findChild<QAction*>("helpAction")->trigger();
    QCOMPARE(window.findChildren<QWidget*>("HelpWindow").size(), 1);
    QVERIFY(help->isVisible());
}

void MainWindowTest::aboutShowsVersion()
{
    MainWindow window(m_state);
    QString shownVersion;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != QStringLiteral("Tform6"))
            return;
        shownVersion = modal->findChild<QLabel*>("Label3")->text();
        modal->findChild<QPushButton*>("Button1")->click();
    });
    poll.start(5);
    window.findChild<QAction*>("aboutAction")->trigger();
    QCOMPARE(shownVersion, QStringLiteral("Версия 1.0.0.1"));
}

KVEL_WIDGET_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

