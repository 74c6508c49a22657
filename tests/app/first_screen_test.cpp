// What a user meets first: the start page, the recent tables, a table dropped on the window or
// handed over by a second start of the program, and what a screen reader is told.

#include "table_command_support.h"
#include "widget_test_support.h"
#include "window_access.h"

#include "app/instance_channel.h"
#include "app/main_window.h"
#include "app/program_state.h"
#include "app/start_page.h"
#include "device/port_names.h"
#include "settings/program_settings.h"
#include "settings/recent_tables.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QAccessible>
#include <QCommandLinkButton>
#include <QDeadlineTimer>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

using namespace kvel_test;

using app::MainWindow;
using kvel_test::Answer;
using kvel_test::Seen;
using store::Field;

namespace {

const QString kSaveQuestion = QStringLiteral("Сохранить изменения в таблицах ?");

// What the recent tables menu offers, as the user reads it, with (x) for a greyed entry.
QStringList menuEntries(MainWindow& window)
{
    QMenu* menu = (&menuOf(window, "recentMenu"));
    emit menu->aboutToShow();
    QStringList entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            entries << (action->isEnabled() ? QString() : QStringLiteral("(x) ")) + action->text();
    return entries;
}

} // namespace

class FirstScreenTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recentTablesKeepTheLastEightOnce();
    void startPageStandsInForTheTable();
    void recentTablesOpenFromPageAndMenu();
    void missingTablesAreGreyedAndCanGo();
    void droppedTableOpensAsOpenDoes();
    void secondStartHandsItsTableOver();
    void handingOverWaitsForAnOpenDialog();
    void aTableThatWillNotOpenLeavesTheOpenOne_data();
    void aTableThatWillNotOpenLeavesTheOpenOne();
    void screenReaderHearsTitleAndFooter();
    void portDialogIsInTheServiceMenu();

private:
    QString table(const QString& name, int rows = 3);
    std::vector<Seen> runAnswered(const std::function<void()>& work, std::vector<Answer> answers = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    app::ProgramState m_state;
    std::unique_ptr<MainWindow> m_window;
};

void FirstScreenTest::init()
{
    kvel_test::clearProgramSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<MainWindow>(m_state);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void FirstScreenTest::cleanup()
{
    if (m_window) {
        documentOf(*m_window).setChanged(false);
        tableCommandsOf(*m_window).closeTable();
    }
    m_window.reset();
    m_dir.reset();
}

QString FirstScreenTest::table(const QString& name, int rows)
{
    const QString path = QDir(m_dir->path()).filePath(name);
    kvel_test::Rows cells;
    for (int i = 1; i <= rows; ++i)
        cells.push_back({{Field::N, double(i)}, {Field::P, 10.0 * i}, {Field::R, 2.0 * i}});
    kvel_test::writeTable(path, cells);
    return path;
}

std::vector<Seen> FirstScreenTest::runAnswered(const std::function<void()>& work, std::vector<Answer> answers)
{
    kvel_test::Dialogs answerer(std::move(answers));
    work();
    return answerer.seen();
}

void FirstScreenTest::recentTablesKeepTheLastEightOnce()
{
    std::unique_ptr<QSettings> registry = settings::open();
    settings::RecentTables recent(*registry);
    const QDir dir(m_dir->path());
    const auto name = [&](int i) { return QDir::toNativeSeparators(dir.filePath(QStringLiteral("t%1.db").arg(i))); };

    for (int i = 1; i <= 10; ++i)
        recent.add(name(i));
    QStringList expected;
    for (int i = 10; i >= 3; --i)
        expected << name(i);
    QCOMPARE(recent.paths(), expected);

    // The same table named another way goes to the front and is not listed twice.
    recent.add(dir.filePath(QStringLiteral("sub/../t5.db")));
    QCOMPARE(recent.paths().size(), 8);
    QCOMPARE(recent.paths().front(), name(5));
    QCOMPARE(recent.paths().count(name(5)), 1);

    recent.remove(name(9));
    QVERIFY(!recent.paths().contains(name(9)));
    QCOMPARE(recent.paths().size(), 7);

    // A list edited by hand: blanks, repeats and too many entries are read past.
    QStringList edited = {QString(), name(1), QStringLiteral("  "), name(1)};
    for (int i = 2; i <= 12; ++i)
        edited << name(i);
    registry->setValue(QStringLiteral("Recent_tables"), edited);
    QStringList firstEight;
    for (int i = 1; i <= 8; ++i)
        firstEight << name(i);
    QCOMPARE(recent.paths(), firstEight);

    recent.clear();
    QVERIFY(recent.paths().isEmpty());
    QVERIFY(!registry->contains(QStringLiteral("Recent_tables")));
}

void FirstScreenTest::startPageStandsInForTheTable()
{
    app::StartPage* page = (&startPageOf(*m_window));
    auto* pages = m_window->findChild<QTabWidget*>(QStringLiteral("kindTabs"));
    QVERIFY(page->isVisible());
    QVERIFY(!pages->isVisible());

    // Two ways to a table, each a named button with its description, and the port.
    auto* create = page->findChild<QCommandLinkButton*>(QStringLiteral("StartCreate"));
    auto* open = page->findChild<QCommandLinkButton*>(QStringLiteral("StartOpen"));
    QVERIFY(create && open);
    QCOMPARE(create->accessibleName(), QStringLiteral("Создать — загрузить тесты из прибора"));
    QCOMPARE(open->accessibleName(), QStringLiteral("Открыть таблицу…"));
    QVERIFY(!create->accessibleDescription().isEmpty());
    QCOMPARE(create->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    QCOMPARE(page->findChild<QLabel*>(QStringLiteral("StartPort"))->text(), device::portChoiceSummary());
    QVERIFY(page->findChild<QLabel*>(QStringLiteral("StartRecentEmpty")));

    // The page's "Открыть" is the menu's: the open dialog comes up.
    const std::vector<Seen> seen = runAnswered([&] { QTest::keyClick(open, Qt::Key_Return); });
    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(seen.front().name, QStringLiteral("openTableDialog"));

    const QString file = table(QStringLiteral("первая.db"));
    m_window->openTable(file);
    QVERIFY(documentOf(*m_window).isOpen());
    QVERIFY(!page->isVisible());
    QVERIFY(pages->isVisible());

    tableCommandsOf(*m_window).closeTable();
    QVERIFY(page->isVisible());
    QVERIFY(!pages->isVisible());
    QCommandLinkButton* listed = page->recentButton(file);
    QVERIFY(listed);
    QVERIFY(listed->isEnabled());
    QCOMPARE(listed->text(), QStringLiteral("первая.db"));
    QVERIFY(listed->description().startsWith(QDir::toNativeSeparators(m_dir->path())));
    QVERIFY(listed->description().contains(QStringLiteral("изменена ")));
}

void FirstScreenTest::recentTablesOpenFromPageAndMenu()
{
    const QString first = table(QStringLiteral("a.db"), 2);
    const QString second = table(QStringLiteral("b.db"), 5);
    m_window->openTable(first);
    m_window->openTable(second);
    tableCommandsOf(*m_window).closeTable();
    QCOMPARE(tableCommandsOf(*m_window).recentTables(), (QStringList{QDir::toNativeSeparators(second), QDir::toNativeSeparators(first)}));

    // The menu numbers them, most recent first, with their folders.
    const QString folder = QDir::toNativeSeparators(m_dir->path());
    QCOMPARE(menuEntries(*m_window).mid(0, 2),
             (QStringList{QStringLiteral("&1 b.db — ") + folder, QStringLiteral("&2 a.db — ") + folder}));

    // Enter on the page's button opens it, and it comes first again.
    QTest::keyClick((&startPageOf(*m_window))->recentButton(first), Qt::Key_Return);
    QVERIFY(documentOf(*m_window).isOpen());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("a - ВРТ - ТК5"));
    QCOMPARE(tableOf(*m_window).table().recordCount(), 2u);
    QCOMPARE(tableFilesOf(*m_window).dataFolder(), folder);
    QCOMPARE(tableCommandsOf(*m_window).recentTables().front(), QDir::toNativeSeparators(first));

    // From the menu while an edited table is open: the usual question first.
    documentOf(*m_window).setChanged(true);
    const std::vector<Seen> seen = runAnswered(
        [&] {
            emit (&menuOf(*m_window, "recentMenu"))->aboutToShow();
            (&menuOf(*m_window, "recentMenu"))->actions().at(1)->trigger();
        },
        {Answer::press(QMessageBox::No)});
    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(seen.front().text, kSaveQuestion);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("b - ВРТ - ТК5"));
    QCOMPARE(tableOf(*m_window).table().recordCount(), 5u);
}

void FirstScreenTest::missingTablesAreGreyedAndCanGo()
{
    const QString present = table(QStringLiteral("есть.db"));
    const QString gone = table(QStringLiteral("нет.db"));
    m_window->openTable(gone);
    m_window->openTable(present);
    tableCommandsOf(*m_window).closeTable();
    QVERIFY(QFile::remove(gone));
    tableCommandsOf(*m_window).closeTable(); // the page is filled again when the window returns to it

    app::StartPage* page = (&startPageOf(*m_window));
    QVERIFY(page->recentButton(present)->isEnabled());
    QVERIFY(!page->recentButton(gone)->isEnabled());
    QVERIFY(page->recentButton(gone)->description().endsWith(QStringLiteral("файл не найден")));
    QVERIFY(page->removeButton(gone)->isEnabled());
    QCOMPARE(page->removeButton(gone)->accessibleName(), QStringLiteral("Убрать «нет.db» из списка"));

    const QString folder = QDir::toNativeSeparators(m_dir->path());
    QCOMPARE(menuEntries(*m_window),
             (QStringList{QStringLiteral("&1 есть.db — ") + folder,
                          QStringLiteral("(x) &2 нет.db — ") + folder + QStringLiteral(" (файл не найден)"),
                          QStringLiteral("Убрать отсутствующие файлы"), QStringLiteral("Очистить список")}));

    // "Убрать" on the page takes one table off the list; the file itself is not touched.
    page->removeButton(present)->click();
    QVERIFY(QFile::exists(present));
    QCOMPARE(tableCommandsOf(*m_window).recentTables(), QStringList{QDir::toNativeSeparators(gone)});
    QVERIFY(!page->recentButton(present));

    // The menu's "Убрать отсутствующие файлы" takes every missing one.
    m_window->openTable(present);
    tableCommandsOf(*m_window).closeTable();
    emit (&menuOf(*m_window, "recentMenu"))->aboutToShow();
    m_window->findChild<QAction*>(QStringLiteral("forgetMissingTablesAction"))->trigger();
    QCOMPARE(tableCommandsOf(*m_window).recentTables(), QStringList{QDir::toNativeSeparators(present)});
    QVERIFY(!page->findChild<QPushButton*>(QStringLiteral("StartRemoveMissing"))
            || !page->findChild<QPushButton*>(QStringLiteral("StartRemoveMissing"))->isVisible());
}

void FirstScreenTest::droppedTableOpensAsOpenDoes()
{
    const QString first = table(QStringLiteral("first.db"), 2);
    const QString dropped = table(QStringLiteral("dropped.DB"), 4);
    const QString text = QDir(m_dir->path()).filePath(QStringLiteral("notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);

    const auto mime = [](const QStringList& files) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& f : files)
            urls << QUrl::fromLocalFile(f);
        data->setUrls(urls);
        return data;
    };
    const auto accepted = [&](const QStringList& files) {
        std::unique_ptr<QMimeData> data(mime(files));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window.get(), &enter);
        return enter.isAccepted();
    };
    const struct {
        QStringList files;
        bool accepted;
    } cases[] = {
        {{dropped}, true},
        {{text}, false},
        {{dropped, first}, false}, // one table at a time
        {{}, false},
    };
    for (const auto& c : cases)
        QVERIFY2(accepted(c.files) == c.accepted, qPrintable(c.files.join(QLatin1Char(' '))));

    m_window->openTable(first);
    documentOf(*m_window).setChanged(true);
    std::unique_ptr<QMimeData> data(mime({dropped}));
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    const std::vector<Seen> seen = runAnswered(
        [&] {
            QApplication::sendEvent(m_window.get(), &drop);
            QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("dropped - ВРТ - ТК5"));
        },
        {Answer::press(QMessageBox::No)});
    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(seen.front().text, kSaveQuestion);
    QCOMPARE(tableOf(*m_window).table().recordCount(), 4u);
    QCOMPARE(tableCommandsOf(*m_window).recentTables().front(), QDir::toNativeSeparators(dropped));
}

void FirstScreenTest::secondStartHandsItsTableOver()
{
    app::InstanceServer server(app::instanceServerName());
    QVERIFY(server.isListening());
    // Another start without a table leaves the channel to the first.
    QVERIFY(!app::InstanceServer(app::instanceServerName()).isListening());
    connect(&server, &app::InstanceServer::tableHandedOver, m_window.get(), &MainWindow::openHandedOver);

    const QString first = table(QStringLiteral("handed.db"), 6);
    const auto secondStart = [&](const QString& file, const QString& folder) {
        QProcess kvel;
        kvel.setWorkingDirectory(folder);
        kvel.start(QStringLiteral(KVEL_PROGRAM), {file});
        // This event loop keeps running: it is the one that answers the second start.
        QDeadlineTimer deadline(20000);
        while (kvel.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        if (kvel.state() != QProcess::NotRunning) {
            kvel.kill();
            kvel.waitForFinished();
            return -1;
        }
        return kvel.exitCode();
    };
    // A name relative to the second start's folder reaches the window whole.
    QCOMPARE(secondStart(QStringLiteral("handed.db"), m_dir->path()), 0);
    QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("handed - ВРТ - ТК5"));
    QCOMPARE(tableOf(*m_window).table().recordCount(), 6u);

    // The same table again, with an edit pending: it is only shown, nothing is asked.
    documentOf(*m_window).setChanged(true);
    {
        kvel_test::Dialogs answerer({});
        QCOMPARE(secondStart(first, QDir::rootPath()), 0);
        QTest::qWait(300);
        QVERIFY(answerer.seen().empty());
    }
    QVERIFY(documentOf(*m_window).isChanged());

    // Nobody listening: the second start has to do the work itself.
    QVERIFY(!app::handToRunningInstance(QDir(m_dir->path()).filePath(QStringLiteral("no-such-channel")), first));
}

void FirstScreenTest::handingOverWaitsForAnOpenDialog()
{
    const QString first = table(QStringLiteral("first.db"), 1);
    const QString later = table(QStringLiteral("later.db"), 3);
    m_window->openTable(first);
    // The about box is up when the table arrives: it is opened once the box has closed.
    bool openedUnderTheBox = true;
    QTimer::singleShot(0, m_window.get(), [&] {
        m_window->openHandedOver(later);
        QTest::qWait(400);
        openedUnderTheBox = m_window->windowTitle() != QStringLiteral("first - ВРТ - ТК5");
        if (QWidget* about = QApplication::activeModalWidget())
            about->close();
    });
    m_window->findChild<QAction*>(QStringLiteral("aboutAction"))->trigger();
    QVERIFY(!openedUnderTheBox);
    QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("later - ВРТ - ТК5"));
}

void FirstScreenTest::aTableThatWillNotOpenLeavesTheOpenOne_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("route");
    QTest::newRow("an empty file, second start") << "zero.db" << "База данных повреждена !" << "handed";
    QTest::newRow("a missing file, second start") << "missing.db" << "Файл «missing.db» не найден." << "handed";
    QTest::newRow("a folder, second start") << "folder.db" << "«folder.db» — это папка, а не таблица." << "handed";
    QTest::newRow("an empty file, dropped") << "zero.db" << "База данных повреждена !" << "dropped";
    QTest::newRow("a table spoilt since, from the recent tables") << "zero.db" << "База данных повреждена !"
                                                                 << "recent";
}

// A table that cannot be opened, named by a second start, dropped on the window or picked
// from the recent tables: the table open stays open, with its edit pending, and nothing about
// saving it is asked.
void FirstScreenTest::aTableThatWillNotOpenLeavesTheOpenOne()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(QString, route);
    const QString base = table(QStringLiteral("base.db"), 4);
    const QString bad = m_dir->filePath(name);
    if (route == QLatin1String("recent")) {
        // Opened once, so the recent tables offer it; spoilt afterwards.
        m_window->openTable(table(name, 2));
        QVERIFY(tableCommandsOf(*m_window).closeTable());
    }
    if (name == QLatin1String("zero.db")) {
        QFile zero(bad);
        QVERIFY(zero.open(QIODevice::WriteOnly | QIODevice::Truncate));
    } else if (name == QLatin1String("folder.db")) {
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    }
    m_window->openTable(base);
    documentOf(*m_window).setChanged(true);
    QAction* recentEntry = nullptr;
    if (route == QLatin1String("recent")) {
        QMenu* menu = (&menuOf(*m_window, "recentMenu"));
        emit menu->aboutToShow();
        for (QAction* action : menu->actions())
            if (action->text().contains(name))
                recentEntry = action;
        QVERIFY(recentEntry);
    }
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls({QUrl::fromLocalFile(bad)});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    const std::vector<Seen> seen = runAnswered(
        [&] {
            if (route == QLatin1String("handed"))
                m_window->openHandedOver(bad);
            else if (route == QLatin1String("dropped")) {
                QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(m_window.get(), &enter);
                QApplication::sendEvent(m_window.get(), &drop);
            }
            else
                recentEntry->trigger();
            QTest::qWait(200);
        },
        {Answer::press(QMessageBox::Ok)});
    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(seen.front().text, message);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("*base - ВРТ - ТК5")); // its edit still unsaved
    QVERIFY(tableOf(*m_window).isActive());
    QCOMPARE(tableOf(*m_window).table().recordCount(), 4u);
    QVERIFY(documentOf(*m_window).isChanged());
}

void FirstScreenTest::screenReaderHearsTitleAndFooter()
{
    const auto spokenName = [&] {
        return QAccessible::queryAccessibleInterface(m_window.get())->text(QAccessible::Name);
    };
    QCOMPARE(spokenName(), QStringLiteral("ВРТ - ТК5"));
    m_window->openTable(table(QStringLiteral("слышно.db"), 3));
    QCOMPARE(spokenName(), QStringLiteral("слышно - ВРТ - ТК5"));

    // The footer is painted; the grid's description says the same figures in words.
    views::DataGrid* grid = (&gridOf(*m_window, "PenetrometerGrid"));
    const auto description = [&] {
        return QAccessible::queryAccessibleInterface(grid)->text(QAccessible::Description);
    };
    QVERIFY2(description().startsWith(QStringLiteral("Итоги по строкам таблицы.")), qPrintable(description()));
    QVERIFY2(description().contains(QStringLiteral("наименьшее 10, среднее 20, наибольшее 30")), qPrintable(description()));
    QVERIFY2(description().contains(QStringLiteral("наименьшее 2, среднее 4, наибольшее 6")), qPrintable(description()));
    QVERIFY2(description().endsWith(QStringLiteral("Строк: 3.")), qPrintable(description()));

    grid->selectRow(0, true);
    grid->selectRow(1, true);
    emit grid->selectionChanged();
    QVERIFY2(description().startsWith(QStringLiteral("Итоги по выделенным строкам (2).")), qPrintable(description()));
    QVERIFY2(description().contains(QStringLiteral("наименьшее 10, среднее 15, наибольшее 20")), qPrintable(description()));

    tableCommandsOf(*m_window).closeTable();
    QCOMPARE(spokenName(), QStringLiteral("ВРТ - ТК5"));
}

void FirstScreenTest::portDialogIsInTheServiceMenu()
{
    QAction* item = m_window->findChild<QAction*>(QStringLiteral("choosePortAction"));
    QVERIFY(item);
    QCOMPARE(item->text(), QStringLiteral("Порт прибора…"));
    QVERIFY(item->isEnabled()); // also with no table open
    const std::vector<Seen> fromMenu = runAnswered([&] { item->trigger(); });
    QCOMPARE(fromMenu.size(), std::size_t(1));
    QCOMPARE(fromMenu.front().name, QStringLiteral("PortDialog"));
    const std::vector<Seen> fromPage = runAnswered(
        [&] { (&startPageOf(*m_window))->findChild<QPushButton*>(QStringLiteral("StartChoosePort"))->click(); });
    QCOMPARE(fromPage.size(), std::size_t(1));
    QCOMPARE(fromPage.front().name, QStringLiteral("PortDialog"));
}

KVEL_WIDGET_TEST_MAIN(FirstScreenTest)
#include "first_screen_test.moc"

