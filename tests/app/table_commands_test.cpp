// The table commands end to end: the real main window, its file dialogs, the download
// dialog over the real serial driver, and the instrument emulator on a pseudo-terminal.
// Every dialog a command shows is answered by the test, in the order it comes.

#include "table_command_support.h"
#include "widget_test_support.h"
#include "window_access.h"

#include "app/main_window.h"
#include "app/program_state.h"
#include "settings/program_settings.h"
#include "store/measurement_table.h"
#include "tests/device/emulator_process.h"
#include "tools/emulator/penetrometer_records.h"
#include "views/data_grid.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QDockWidget>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using namespace kvel_test;

using app::MainWindow;
using kvel_test::Answer;
using kvel_test::Cells;
using kvel_test::Dialogs;
using kvel_test::Rows;
using kvel_test::Seen;
using kvel_test::fieldText;
using kvel_test::fileColumn;
using kvel_test::physicalRows;
using kvel_test::pointPort;
using kvel_test::writeTable;
using store::Field;

namespace {

const QString kCaption = QStringLiteral("ВРТ - ТК5");

// A summary footer as the grid shows it: "10/11,7/13" with its figures named.
QString labelled(const QString& minMeanMax)
{
    const QStringList v = minMeanMax.split(QLatin1Char('/'));
    if (v.size() != 3)
        return minMeanMax;
    const QChar noBreak(0x00A0); // a name stays with its figure
    return QStringLiteral("мин") + noBreak + v[0] + QStringLiteral(" / сред") + noBreak + v[1] + QStringLiteral(" / макс")
        + noBreak + v[2];
}
const QString kNowhere = QStringLiteral("/nonexistent/kvel-tty");

// Commands enabled only while a table is open.
const QStringList kTableCommands = {
    "appendAction", "saveTableAction", "closeTableAction", "previewAction", "printAction", "equalizeColumnsAction", "setColumnColourAction", "clearColumnColourAction", "clearAllColoursAction", "unsortAction", "deleteRowsAction", "renumberAction", "exportAction",
};

// ---- the instrument's memory -----------------------------------------------------------------

// One test as the penetrometer stores it.
struct Record {
    int day, month, year; // year in full
    int hour, minute;
    int p;            // mean penetration force, N
    int rWord;        // penetration resistance, hundredths of MPa
    int friction = 0; // tenths of a degree; 0: no derived values
};
using Memory = std::vector<Record>;

void putWord(std::vector<std::uint8_t>& m, std::size_t at, int value)
{
    m[at] = std::uint8_t(value & 0xFF);
    m[at + 1] = std::uint8_t((value >> 8) & 0xFF);
}

// The memory: the record count, then 29 bytes a record.
std::vector<std::uint8_t> memoryOf(const Memory& records)
{
    namespace r = instrument::record;
    std::vector<std::uint8_t> m(2 + records.size() * instrument::kRecordBytes, 0);
    putWord(m, 0, int(records.size()));
    for (std::size_t k = 0; k < records.size(); ++k) {
        const Record& t = records[k];
        const std::size_t at = 2 + k * instrument::kRecordBytes;
        for (int i = 0; i < 5; ++i)
            putWord(m, at + r::kForces + 2 * std::size_t(i), t.p + i);
        putWord(m, at + r::kMeanForce, t.p);
        putWord(m, at + r::kResistance, t.rWord);
        putWord(m, at + r::kModulus, 250);
        putWord(m, at + r::kFriction, t.friction);
        m[at + r::kMinute] = std::uint8_t(t.minute);
        m[at + r::kHour] = std::uint8_t(t.hour);
        m[at + r::kDay] = std::uint8_t(t.day);
        m[at + r::kMonth] = std::uint8_t(t.month);
        m[at + r::kYear] = std::uint8_t(t.year - 2000);
    }
    return m;
}

QString dateText(const Record& t)
{
    return QStringLiteral("%1.%2.%3").arg(t.day, 2, 10, QLatin1Char('0')).arg(t.month, 2, 10, QLatin1Char('0')).arg(t.year);
}

// Three tests on two days, and tests that came after them.
const Record kFirst{3, 4, 2024, 9, 15, 10, 1234};
const Record kSecond{3, 4, 2024, 9, 20, 12, 1500, 1};
const Record kThird{5, 4, 2024, 14, 2, 13, 1000, 250};
const Record kSameMinute{5, 4, 2024, 14, 2, 40, 4000};
const Record kLater{6, 4, 2024, 8, 0, 20, 2000};
const Record kLatest{7, 4, 2024, 10, 30, 30, 500};
const Memory kStored = {kFirst, kSecond, kThird};

// Where the emulator finds the instrument's memory.
QStringList emulatorArguments(const QString& folder, const QString& name, const Memory& records)
{
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    const std::vector<std::uint8_t> memory = memoryOf(records);
    file.write(reinterpret_cast<const char*>(memory.data()), qint64(memory.size()));
    return {QStringLiteral("--image"), path};
}

} // namespace

Q_DECLARE_METATYPE(Memory)
Q_DECLARE_METATYPE(Rows)

class TableCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newDownloadsIntoNewTable_data();
    void newDownloadsIntoNewTable();
    void newKeepsTheFileWhenTheDownloadFails_data();
    void newKeepsTheFileWhenTheDownloadFails();
    void fileDialogsComeUpWithoutAName();
    void appendAddsOnlyNewRecords_data();
    void appendAddsOnlyNewRecords();
    void appendAfterOpenWritesTheDownloadedDeviceType();
    void appendReadsTheNewestStoredDate_data();
    void appendReadsTheNewestStoredDate();
    void appendChangesNothingWithoutADownload_data();
    void appendChangesNothingWithoutADownload();

    void closeAfterEditAsks_data();
    void closeAfterEditAsks();
    void closeRemovesStaleIndexFile();
    void closeNeverDeletesTheTableItself_data();
    void closeNeverDeletesTheTableItself();
    void newRefusesAnIndexFileName_data();
    void newRefusesAnIndexFileName();
    void failedReopenShowsTheTableClosed_data();
    void failedReopenShowsTheTableClosed();
    void openTakesDeviceTypeOfFirstRow_data();
    void openTakesDeviceTypeOfFirstRow();
    void openRefusesDamagedFiles_data();
    void openRefusesDamagedFiles();

    void deleteSelectedRowsFromSortedView_data();
    void deleteSelectedRowsFromSortedView();
    void renumberFollowsShownOrder_data();
    void renumberFollowsShownOrder();
    void undoAndRedoFromTheKeyboard();
    void coloursSurviveCloseAndOpen();
    void forcesInRowAtLaptopSize();
    void pressTableKeepsItsOwnSummaryAndColours();
    void postedEditUpdatesTheSummary();
    void summaryFooters_data();
    void summaryFooters();
    void equalWidthsStaySortDoesNot();

private:
    // Triggers the command `action` and answers its dialogs; returns what they showed.
    std::vector<Seen> run(const char* action, std::vector<Answer> answers = {});
    QStringList runDescribed(const char* action, std::vector<Answer> answers = {});
    // Opens `path` through "Открыть". False (and what came up instead, logged) unless the
    // open dialog alone came up and the table is open.
    bool openThroughMenu(const QString& path);

    views::DataGrid* grid1() const { return m_window->findChild<views::DataGrid*>("PenetrometerGrid"); }
    views::DataGrid* grid2() const { return m_window->findChild<views::DataGrid*>("PressGrid"); }
    QString footer(views::DataGrid* grid, const char* field) const
    {
        return grid->column(grid->columnOfField(QString::fromLatin1(field))).footerText;
    }
    // The texts a grid column shows, top row first.
    QStringList shown(views::DataGrid* grid, const char* field) const;
    void clickCell(views::DataGrid* grid, int row, int column, Qt::KeyboardModifiers modifiers = {});
    void clickCell(views::DataGrid* grid, int row, const char* field, Qt::KeyboardModifiers modifiers = {})
    {
        clickCell(grid, row, grid->columnOfField(QString::fromLatin1(field)), modifiers);
    }
    void clickTitle(views::DataGrid* grid, const char* field);
    bool commandsEnabled(bool enabled) const;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    // One field of the rows the open table shows, in view order (see fileColumn).
    QStringList viewColumn(Field field) const;

    app::ProgramState m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void TableCommandsTest::initTestCase()
{
    // The footers use the system's decimal separator; these tests read them as a Russian
    // user sees them.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void TableCommandsTest::init()
{
    kvel_test::clearProgramSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    pointPort(1, kNowhere);
    pointPort(2, kNowhere);
    m_state = {};
    m_window = std::make_unique<MainWindow>(m_state);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TableCommandsTest::cleanup()
{
    m_window.reset();
    QDir::setCurrent(QDir::tempPath());
    m_dir.reset();
}

std::vector<Seen> TableCommandsTest::run(const char* action, std::vector<Answer> answers)
{
    Dialogs dialogs(std::move(answers));
    auto* command = m_window->findChild<QAction*>(QString::fromLatin1(action));
    if (!command)
        qFatal("no command %s", action);
    command->trigger();
    return dialogs.seen();
}

QStringList TableCommandsTest::runDescribed(const char* action, std::vector<Answer> answers)
{
    QStringList list;
    for (const Seen& s : run(action, std::move(answers)))
        list << s.describe();
    return list;
}

bool TableCommandsTest::openThroughMenu(const QString& file)
{
    const QStringList seen = runDescribed("openTableAction", {Answer::withFile(file)});
    if (seen != QStringList{"openTableDialog"})
        qWarning() << "Открыть showed" << seen;
    return seen == QStringList{"openTableDialog"} && documentOf(*m_window).isOpen();
}

QStringList TableCommandsTest::shown(views::DataGrid* grid, const char* field) const
{
    QStringList texts;
    const int column = grid->columnOfField(QString::fromLatin1(field));
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        texts << grid->cellText(row, column);
    return texts;
}

void TableCommandsTest::clickCell(views::DataGrid* grid, int row, int column, Qt::KeyboardModifiers modifiers)
{
    const QRect r = grid->cellRect(row, column);
    QVERIFY2(!r.isEmpty(), "the cell is out of sight");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, r.center());
}

void TableCommandsTest::clickTitle(views::DataGrid* grid, const char* field)
{
    const QRect r = grid->titleRect(grid->columnOfField(QString::fromLatin1(field)));
    QVERIFY2(!r.isEmpty(), "the title is out of sight");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
}

QStringList TableCommandsTest::viewColumn(Field field) const
{
    const store::MeasurementTable& table = tableOf(*m_window);
    QStringList values;
    for (std::uint32_t rec : table.table().view())
        values << fieldText(table, rec, field);
    return values;
}

bool TableCommandsTest::commandsEnabled(bool enabled) const
{
    return std::all_of(kTableCommands.begin(), kTableCommands.end(), [&](const QString& name) {
        return m_window->findChild<QAction*>(name)->isEnabled() == enabled;
    });
}

// ---- New and Append --------------------------------------------------------------------------

void TableCommandsTest::newDownloadsIntoNewTable_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("tableOpen");
    QTest::newRow("new file") << false << false;
    // The save dialog asks before replacing; the old rows are gone afterwards.
    QTest::newRow("existing file") << true << false;
    // The open table is closed first, caption and all.
    QTest::newRow("another table open") << false << true;
}

void TableCommandsTest::newDownloadsIntoNewTable()
{
    QFETCH(bool, fileExists);
    QFETCH(bool, tableOpen);
    // In a folder of its own: New does not make it the data folder.
    QVERIFY(QDir(m_dir->path()).mkdir("new"));
    const QString file = path("new/field.db");
    if (fileExists)
        writeTable(file, {{{Field::N, 77.0}, {Field::P, 999.0}}});
    if (tableOpen) {
        writeTable(path("old.db"), {{{Field::N, 1.0}}});
        QVERIFY(openThroughMenu(path("old.db")));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("old - ВРТ - ТК5"));
    }
    const QString dataDir = tableFilesOf(*m_window).dataFolder();

    device_test::EmulatorProcess instrument(emulatorArguments(m_dir->path(), "memory.bin", kStored));
    QVERIFY(instrument.started());
    pointPort(1, instrument.path());

    std::vector<Answer> answers = {Answer::withFile(file)};
    if (fileExists)
        answers.push_back(Answer::press(QMessageBox::Yes)); // the save dialog's "replace it?"
    const std::vector<Seen> seen = run("newTableAction", answers);

    // The save dialog, its question when the file exists, and nothing else: New shows no
    // message of its own.
    QCOMPARE(seen.size(), std::size_t(fileExists ? 2 : 1));
    QCOMPARE(seen[0].name, QStringLiteral("saveFileDialog"));
    if (fileExists) {
        QCOMPARE(seen[1].name, QStringLiteral("box"));
        QVERIFY(seen[1].buttons.testFlag(QMessageBox::Yes));
    }
    QCOMPARE(instrument.count("received N"), 1);

    QVERIFY(documentOf(*m_window).isOpen());
    QVERIFY(!documentOf(*m_window).isChanged());
    QVERIFY(tableOf(*m_window).isActive());
    QCOMPARE(QFileInfo(tableOf(*m_window).table().path()), QFileInfo(file));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("field - ") + kCaption); // named from the start
    QCOMPARE(tableFilesOf(*m_window).dataFolder(), dataDir); // New leaves the data folder alone
    QCOMPARE(clientColourOf(*m_window), QPalette::Button);
    QVERIFY(commandsEnabled(true));
    auto* pages = m_window->findChild<QTabWidget*>("kindTabs");
    QVERIFY(pages->isVisible());
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("penetrometerPage"));

    // The instrument's tests in memory order, numbered from 1.
    views::DataGrid* grid = grid1();
    QCOMPARE(shown(grid, "N"), (QStringList{"1", "2", "3"}));
    QCOMPARE(shown(grid, "DATE"), (QStringList{"03.04.2024", "03.04.2024", "05.04.2024"}));
    QCOMPARE(shown(grid, "TIME"), (QStringList{"09:15", "09:20", "14:02"}));
    QCOMPARE(viewColumn(Field::P), (QStringList{"10", "12", "13"}));
    QCOMPARE(viewColumn(Field::R), (QStringList{"12.34", "15", "10"}));
    QCOMPARE(viewColumn(Field::DEV_TYPE), (QStringList{"4", "4", "4"}));
    // Derived values only where the instrument found a friction angle.
    QCOMPARE(viewColumn(Field::S), (QStringList{"", "0", "0"}));
    QCOMPARE(viewColumn(Field::P6), (QStringList{"0", "0.1", "25"}));

    // The summary of the three tests: P 10, 12, 13 and R 12.34, 15, 10.
    QCOMPARE(footer(grid, "P"), labelled(QStringLiteral("10/11,7/13")));
    QCOMPARE(footer(grid, "R"), labelled(QStringLiteral("10/12,4/15")));
    QCOMPARE(footer(grid, "N"), QStringLiteral("3"));
}

void TableCommandsTest::newKeepsTheFileWhenTheDownloadFails_data()
{
    QTest::addColumn<QStringList>("instrument");
    QTest::addColumn<int>("stop");        // 0: none, 1: the save dialog cancelled, 2: the download
    QTest::addColumn<bool>("fileLocked"); // held open by another copy of the program
    QTest::addColumn<bool>("readOnly");   // nobody may write the file
    QTest::addColumn<QString>("error");   // how the critical box begins; empty: none
    QTest::newRow("nothing in memory") << QStringList{"--no-data"} << 0 << false << false
                                       << "Нет данных для передачи!";
    QTest::newRow("wrong instrument") << QStringList{"--wrong-type"} << 0 << false << false
                                      << "Вы подключили не тот прибор !";
    QTest::newRow("save dialog cancelled") << QStringList{} << 1 << false << false << "";
    QTest::newRow("download cancelled") << QStringList{"--silent"} << 2 << false << false << "";
    // A file that cannot be replaced is refused before the download: the engine's own report,
    // and the instrument is never asked.
    QTest::newRow("file open in another copy") << QStringList{} << 0 << true << false << "Таблица";
    QTest::newRow("read-only file") << QStringList{} << 0 << false << true << "Не удалось создать";
}

void TableCommandsTest::newKeepsTheFileWhenTheDownloadFails()
{
    QFETCH(QStringList, instrument);
    QFETCH(int, stop);
    QFETCH(bool, fileLocked);
    QFETCH(bool, readOnly);
    QFETCH(QString, error);
    const QString file = path("kept.db");
    writeTable(file, {{{Field::N, 77.0}, {Field::P, 999.0}}});
    if (readOnly)
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const auto contents = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = contents();
    store::MeasurementTable holder;
    if (fileLocked)
        holder.open(file);

    device_test::EmulatorProcess emulator(emulatorArguments(m_dir->path(), "memory.bin", kStored) + instrument);
    QVERIFY(emulator.started());
    pointPort(1, emulator.path());
    std::vector<Answer> answers = {Answer::withFile(file), Answer::press(QMessageBox::Yes)};
    if (stop == 1)
        answers = {Answer::cancel()};
    if (stop == 2)
        answers.push_back(Answer::stopDownload());
    answers.push_back(Answer::press(QMessageBox::Ok));
    const std::vector<Seen> seen = run("newTableAction", answers);

    QCOMPARE(seen.at(0).name, QStringLiteral("saveFileDialog"));
    if (stop == 1) {
        QCOMPARE(seen.size(), std::size_t(1));
        QCOMPARE(emulator.count("received"), 0);
    } else if (stop == 2) {
        // The save dialog's question about the existing file, then the download, stopped.
        QCOMPARE(seen.size(), std::size_t(3));
        QCOMPARE(seen[2].name, QStringLiteral("DownloadDialog"));
    } else {
        // The save dialog's question about the existing file, then the error.
        QCOMPARE(seen.size(), std::size_t(3));
        QCOMPARE(seen[2].title, QStringLiteral("Ошибка"));
        QCOMPARE(seen[2].icon, QMessageBox::Critical);
        QVERIFY2(seen[2].text.startsWith(error), qPrintable(seen[2].text));
        if (fileLocked || readOnly)
            QCOMPARE(emulator.count("received"), 0);
    }

    holder.close();
    QVERIFY2(contents() == before, "the existing file was changed");
    QVERIFY(!documentOf(*m_window).isOpen());
    QVERIFY(!tableOf(*m_window).isActive());
    QVERIFY(commandsEnabled(false));
    QVERIFY(m_window->findChild<QTabWidget*>("kindTabs")->isHidden());
}

void TableCommandsTest::fileDialogsComeUpWithoutAName()
{
    device_test::EmulatorProcess instrument(emulatorArguments(m_dir->path(), "memory.bin", kStored));
    QVERIFY(instrument.started());
    pointPort(1, instrument.path());
    writeTable(path("other.db"), {{{Field::N, 1.0}}});

    // Each command's dialog starts with an empty name and the first filter, whatever the
    // one before chose.
    struct Step {
        const char* command;
        QString file; // empty: cancel the dialog
    };
    const Step steps[] = {
        {"newTableAction", path("first.db")}, {"newTableAction", QString()}, {"openTableAction", path("other.db")}, {"openTableAction", QString()},
        {"newTableAction", path("second.db")},
    };
    for (const Step& step : steps) {
        const std::vector<Seen> seen = run(step.command, {step.file.isEmpty() ? Answer::cancel() : Answer::withFile(step.file)});
        QVERIFY(!seen.empty());
        const bool save = QLatin1String(step.command) == QLatin1String("newTableAction");
        QCOMPARE(seen[0].name, QString::fromLatin1(save ? "saveFileDialog" : "openTableDialog"));
        QCOMPARE(seen[0].fileName, QString());
        QCOMPARE(seen[0].nameFilter, save ? QStringLiteral("Файлы данных (*.db)") : QStringLiteral("Базы данных (*.db)"));
    }
    QVERIFY(QFile::exists(path("second.db")));
}

void TableCommandsTest::appendAddsOnlyNewRecords_data()
{
    QTest::addColumn<Memory>("memory");
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<int>("added");
    QTest::addColumn<QStringList>("numbers"); // N of every row in file order afterwards
    QTest::addColumn<QString>("pFooter");
    QTest::newRow("nothing new") << kStored << false << 0 << QStringList{"1", "2", "3"} << "10/11,7/13";
    QTest::newRow("two later tests") << Memory{kFirst, kSecond, kThird, kLater, kLatest} << false << 2
                                     << QStringList{"1", "2", "3", "4", "5"} << "10/17/30";
    // A test in the minute of the newest stored one counts as stored.
    // P 10, 12, 13, 20: the mean 13.75 shows as 13.7, as 2.25 shows as 2.2.
    QTest::newRow("a test in the newest stored minute")
        << Memory{kFirst, kSecond, kThird, kSameMinute, kLater} << false << 1
        << QStringList{"1", "2", "3", "5"} << "10/13,7/20";
    // The sort is reset first, so the new rows go to the end of the file.
    QTest::newRow("sorted view") << Memory{kFirst, kSecond, kThird, kLater, kLatest} << true << 2
                                 << QStringList{"1", "2", "3", "4", "5"} << "10/17/30";
}

void TableCommandsTest::appendAddsOnlyNewRecords()
{
    QFETCH(Memory, memory);
    QFETCH(bool, sorted);
    QFETCH(int, added);
    QFETCH(QStringList, numbers);
    QFETCH(QString, pFooter);
    const QString file = path("field.db");
    {
        device_test::EmulatorProcess first(emulatorArguments(m_dir->path(), "first.bin", kStored));
        QVERIFY(first.started());
        pointPort(1, first.path());
        QCOMPARE(runDescribed("newTableAction", {Answer::withFile(file)}), QStringList{"saveFileDialog"});
        QCOMPARE(viewColumn(Field::N).size(), 3);
    }
    views::DataGrid* grid = grid1();
    if (sorted) {
        clickTitle(grid, "P");
        QCOMPARE(shown(grid, "P").first(), QStringLiteral("13"));
    }

    device_test::EmulatorProcess second(emulatorArguments(m_dir->path(), "second.bin", memory));
    QVERIFY(second.started());
    pointPort(1, second.path());
    const std::vector<Seen> seen = run("appendAction", {Answer::press(QMessageBox::Ok)});
    QCOMPARE(seen.size(), std::size_t(1));
    const QString why = added == 0 ? QStringLiteral("\nВсе испытания прибора уже есть в таблице.") : QString();
    QCOMPARE(seen[0].describe(), QStringLiteral("Дополнение: Добавлено записей: %1").arg(added) + why);
    QCOMPARE(seen[0].icon, QMessageBox::Information);
    QCOMPARE(second.count("received N"), 1);

    QVERIFY(documentOf(*m_window).isOpen());
    QVERIFY(!documentOf(*m_window).isChanged());
    QCOMPARE(shown(grid, "N"), numbers);
    for (int c = 0; c < grid->columnCount(); ++c)
        QCOMPARE(grid->column(c).titleState, views::TitleState::None);
    QCOMPARE(footer(grid, "N"), QString::number(numbers.size()));
    QCOMPARE(footer(grid, "P"), labelled(pFooter));

    // Saved: the rows are in the file once the table is closed, each added test once, with
    // its own date.
    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QCOMPARE(fileColumn(file, Field::N), numbers);
    QStringList dates;
    for (const QString& n : numbers)
        dates << dateText(memory.at(std::size_t(n.toInt() - 1)));
    QCOMPARE(fileColumn(file, Field::DATE), dates);
}

void TableCommandsTest::appendAfterOpenWritesTheDownloadedDeviceType()
{
    // A table of a plate-test device; the penetrometer's tests came later.
    const QString file = path("plate.db");
    writeTable(file, {{{Field::N, 1.0}, {Field::DEV_TYPE, 13}, {Field::DATE, "01.03.2024"}, {Field::TIME, "08:00"}}});
    QVERIFY(openThroughMenu(file));
    QCOMPARE(documentOf(*m_window).deviceType(), 13);

    device_test::EmulatorProcess instrument(
        emulatorArguments(m_dir->path(), "memory.bin", kStored) + QStringList{"--serial", "321"});
    QVERIFY(instrument.started());
    pointPort(1, instrument.path());
    QCOMPARE(runDescribed("appendAction", {Answer::press(QMessageBox::Ok)}),
             QStringList{"Дополнение: Добавлено записей: 3"});
    QCOMPARE(int(m_state.download.dev_type), 4);
    QCOMPARE(viewColumn(Field::DEV_TYPE), (QStringList{"13", "4", "4", "4"}));
    QCOMPARE(viewColumn(Field::SERIAL), (QStringList{"", "321", "321", "321"}));
}

// ---- Close and Open --------------------------------------------------------------------------

void TableCommandsTest::closeAfterEditAsks_data()
{
    QTest::addColumn<int>("edit"); // 0: none, 1: posted by leaving the row, 2: editor still open
    QTest::addColumn<bool>("savedFirst"); // "Сохранить" before "Закрыть"
    QTest::addColumn<QMessageBox::StandardButton>("reply");
    QTest::addColumn<QString>("stored"); // COMMENT of the first row afterwards
    QTest::newRow("no edit") << 0 << false << QMessageBox::Yes << "";
    QTest::newRow("posted edit, save") << 1 << false << QMessageBox::Yes << "проба";
    // «Нет» takes the file back to what it held when the table was opened.
    QTest::newRow("posted edit, don't save") << 1 << false << QMessageBox::No << "";
    QTest::newRow("edit in progress, don't save") << 2 << false << QMessageBox::No << "";
    // «Отмена» keeps the table open with its change.
    QTest::newRow("posted edit, cancel") << 1 << false << QMessageBox::Cancel << "проба";
    // Save posts the edit still in the cell editor.
    QTest::newRow("edit in progress, save") << 2 << false << QMessageBox::Yes << "проба";
    // Saved already: nothing to ask.
    QTest::newRow("edit in progress, saved first") << 2 << true << QMessageBox::No << "проба";
}

void TableCommandsTest::closeAfterEditAsks()
{
    QFETCH(int, edit);
    QFETCH(bool, savedFirst);
    QFETCH(QMessageBox::StandardButton, reply);
    QFETCH(QString, stored);
    const QString file = path("notes.db");
    writeTable(file, {{{Field::N, 1.0}}, {{Field::N, 2.0}}});
    // The file's bytes but the header's date of last update (bytes 1 to 3), which a write may
    // change.
    const auto fileBytes = [&file] {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray();
        QByteArray bytes = f.readAll();
        if (bytes.size() > 4)
            bytes.replace(1, 3, QByteArray(3, '\0'));
        return bytes;
    };
    const QByteArray original = fileBytes();
    QVERIFY(!original.isEmpty());
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    if (edit > 0) {
        clickCell(grid, 0, "COMMENT");
        QTest::keyClick(grid, Qt::Key_F2);
        QVERIFY(grid->isEditorOpen());
        QVERIFY(documentOf(*m_window).isChanged());
        grid->editor()->setText(QStringLiteral("проба"));
        if (edit == 1) {
            QTest::keyClick(grid->editor(), Qt::Key_Return);
            QTest::keyClick(grid, Qt::Key_Down);
            QCOMPARE(grid->currentRow(), 1);
        }
    }
    if (savedFirst) {
        QVERIFY(runDescribed("saveTableAction").isEmpty());
        QVERIFY(!documentOf(*m_window).isChanged());
        QVERIFY(!grid->isEditorOpen());
    }

    const std::vector<Seen> seen = run("closeTableAction", {Answer::press(reply)});
    if (edit == 0 || savedFirst) {
        QCOMPARE(seen.size(), std::size_t(0));
    } else {
        QCOMPARE(seen.size(), std::size_t(1));
        QCOMPARE(seen[0].describe(), QStringLiteral("ВРТ - ТК5: Сохранить изменения в таблицах ?"));
        QCOMPARE(seen[0].icon, QMessageBox::Question);
        QCOMPARE(seen[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    }
    if (reply == QMessageBox::Cancel) {
        QVERIFY(documentOf(*m_window).isOpen());
        QVERIFY(documentOf(*m_window).isChanged());
        QVERIFY(commandsEnabled(true));
        QCOMPARE(shown(grid, "COMMENT"), (QStringList{stored, ""}));
        // The change is in the file already: a crash now would lose nothing.
        QVERIFY(fileBytes() != original);
        QCOMPARE(fileBytes().size(), original.size());
        return;
    }
    // «Нет» (or nothing to keep) leaves the very bytes of the open; «Да» keeps the edit in
    // the same records.
    if (stored.isEmpty())
        QCOMPARE(fileBytes(), original);
    else
        QVERIFY(fileBytes() != original && fileBytes().size() == original.size());
    QVERIFY(!documentOf(*m_window).isOpen());
    QVERIFY(!documentOf(*m_window).isChanged());
    QCOMPARE(m_window->windowTitle(), kCaption);
    QCOMPARE(clientColourOf(*m_window), QPalette::Dark);
    QVERIFY(commandsEnabled(false));
    QCOMPARE(fileColumn(file, Field::COMMENT), (QStringList{stored, ""}));
}

void TableCommandsTest::closeRemovesStaleIndexFile()
{
    const QString file = path("field.db");
    const QString index = path("field.mdx");
    device_test::EmulatorProcess instrument(emulatorArguments(m_dir->path(), "memory.bin", kStored));
    QVERIFY(instrument.started());
    pointPort(1, instrument.path());
    QCOMPARE(runDescribed("newTableAction", {Answer::withFile(file)}), QStringList{"saveFileDialog"});

    {
        QFile stale(index);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("left over by another program");
    }
    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QVERIFY(!QFile::exists(index));
    QVERIFY(QFile::exists(file));

    // The table opens again without it.
    QVERIFY(openThroughMenu(file));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("field - ВРТ - ТК5"));
    QCOMPARE(shown(grid1(), "N"), (QStringList{"1", "2", "3"}));
}

void TableCommandsTest::closeNeverDeletesTheTableItself_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("link"); // a symbolic link to the table beside it; empty: none
    // Its index file would be itself.
    QTest::newRow("named like an index") << "site.mdx" << "";
    // Where names ignore case, "SITE.mdx" is this very file.
    QTest::newRow("named like an index, capitals") << "SITE.MDX" << "";
    QTest::newRow("index name is a link to the table") << "site.db" << "site.mdx";
}

void TableCommandsTest::closeNeverDeletesTheTableItself()
{
    QFETCH(QString, table);
    QFETCH(QString, link);
    const QString file = path(table);
    writeTable(file, {{{Field::N, 1.0}}, {{Field::N, 2.0}}});
    if (!link.isEmpty() && !QFile::link(file, path(link)))
        QSKIP("this system makes no symbolic links");
    QVERIFY(openTableIn(*m_window, file));
    QCOMPARE(shown(grid1(), "N"), (QStringList{"1", "2"}));

    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QVERIFY(!documentOf(*m_window).isOpen());
    QVERIFY(QFile::exists(file));
    QCOMPARE(fileColumn(file, Field::N), (QStringList{"1", "2"}));
    if (!link.isEmpty())
        QVERIFY(QFileInfo(path(link)).isSymLink());
}

void TableCommandsTest::newRefusesAnIndexFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("lower case") << "field.mdx";
    QTest::newRow("capitals") << "FIELD.MDX";
}

void TableCommandsTest::newRefusesAnIndexFileName()
{
    QFETCH(QString, name);
    device_test::EmulatorProcess instrument(emulatorArguments(m_dir->path(), "memory.bin", kStored));
    QVERIFY(instrument.started());
    pointPort(1, instrument.path());

    const std::vector<Seen> seen = run("newTableAction", {Answer::withFile(path(name)), Answer::press(QMessageBox::Ok)});
    QCOMPARE(seen.size(), std::size_t(2));
    QCOMPARE(seen[0].name, QStringLiteral("saveFileDialog"));
    QCOMPARE(seen[1].title, QStringLiteral("Ошибка"));
    QCOMPARE(seen[1].icon, QMessageBox::Warning);
    QVERIFY2(seen[1].text.startsWith(QStringLiteral("Имя «%1» не подходит для таблицы").arg(name)),
             qPrintable(seen[1].text));
    // Refused before the download: the instrument was never asked.
    QCOMPARE(instrument.count("received"), 0);
    QVERIFY(!QFile::exists(path(name)));
    QVERIFY(!documentOf(*m_window).isOpen());
    QVERIFY(commandsEnabled(false));
}

void TableCommandsTest::failedReopenShowsTheTableClosed_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QMessageBox::StandardButton>("question"); // Close's answer; NoButton: not asked
    QTest::addColumn<QString>("before"); // how the error box begins
    QTest::newRow("save") << "saveTableAction" << QMessageBox::NoButton << "";
    QTest::newRow("close, saving") << "closeTableAction" << QMessageBox::Yes << "";
    // The downloaded records are never reported as none added.
    QTest::newRow("append") << "appendAction" << QMessageBox::NoButton << "Из прибора получено новых записей: 3.\n";
}

void TableCommandsTest::failedReopenShowsTheTableClosed()
{
    QFETCH(QString, command);
    QFETCH(QMessageBox::StandardButton, question);
    QFETCH(QString, before);
    const QString file = path("lost.db");
    writeTable(file, {{{Field::N, 1.0}, {Field::DATE, "01.04.2024"}, {Field::TIME, "08:00"}},
                      {{Field::N, 2.0}, {Field::DATE, "02.04.2024"}, {Field::TIME, "08:00"}}});
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    // A posted edit, so that Close asks.
    clickCell(grid, 0, "COMMENT");
    QTest::keyClick(grid, Qt::Key_F2);
    grid->editor()->setText(QStringLiteral("проба"));
    QTest::keyClick(grid->editor(), Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_Down);
    QVERIFY(documentOf(*m_window).isChanged());

    device_test::EmulatorProcess instrument(emulatorArguments(m_dir->path(), "memory.bin", kStored));
    QVERIFY(instrument.started());
    pointPort(1, instrument.path());
    // The file goes while the table holds it: saving lets it go and cannot take it back.
    if (!QFile::remove(file))
        QSKIP("this system cannot remove a file that is open");

    std::vector<Answer> answers;
    if (question != QMessageBox::NoButton)
        answers.push_back(Answer::press(question));
    answers.push_back(Answer::press(QMessageBox::Ok));
    std::vector<Seen> seen = run(command.toLatin1().constData(), answers);
    if (question != QMessageBox::NoButton) {
        QVERIFY(!seen.empty());
        QCOMPARE(seen.front().describe(), QStringLiteral("ВРТ - ТК5: Сохранить изменения в таблицах ?"));
        seen.erase(seen.begin());
    }
    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(seen[0].title, QStringLiteral("Ошибка"));
    QCOMPARE(seen[0].icon, QMessageBox::Critical);
    const QString reopen = before + QStringLiteral("Не удалось снова открыть таблицу «lost.db» при сохранении:");
    QVERIFY2(seen[0].text.startsWith(reopen), qPrintable(seen[0].text));
    QVERIFY2(seen[0].text.contains(QStringLiteral("Таблица закрыта.")), qPrintable(seen[0].text));

    // The window shows no table, and nothing acts on the one that is gone.
    QVERIFY(!documentOf(*m_window).isOpen());
    QVERIFY(!documentOf(*m_window).isChanged());
    QVERIFY(!tableOf(*m_window).isActive());
    QVERIFY(commandsEnabled(false));
    QCOMPARE(m_window->windowTitle(), kCaption);
    QCOMPARE(clientColourOf(*m_window), QPalette::Dark);
    QVERIFY(m_window->findChild<QTabWidget*>("kindTabs")->isHidden());
    QCOMPARE(grid1()->model()->rowCount(), 0);
    QCOMPARE(grid2()->model()->rowCount(), 0);
    const int received = instrument.count("received N");
    for (const char* name : {"appendAction", "saveTableAction", "closeTableAction", "previewAction", "printAction", "unsortAction", "deleteRowsAction", "renumberAction", "exportAction", "setColumnColourAction", "clearColumnColourAction",
                             "clearAllColoursAction", "deleteRowsPopupAction", "printAction", "setColumnColourAction", "clearColumnColourAction", "clearAllColoursAction"})
        QCOMPARE(runDescribed(name, {Answer::press(QMessageBox::Ok)}), QStringList());
    {
        Dialogs dialogs({Answer::press(QMessageBox::Ok)});
        tableCommandsOf(*m_window).appendDownload(); // even called past its disabled menu item
        QVERIFY(dialogs.seen().empty());
    }
    QCOMPARE(instrument.count("received N"), received);
    QVERIFY(!QFile::exists(file));
}

void TableCommandsTest::openTakesDeviceTypeOfFirstRow_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<int>("shownBefore"); // kind of a table opened before; -1: none
    QTest::addColumn<int>("devType");
    // Which row decides is the document's business (its own tests go through the cases);
    // here the whole command, once.
    const Cells plateTest = {{Field::DEV_TYPE, 13}};
    const Cells penetrometer = {{Field::DEV_TYPE, 4}};
    const Cells pressPlateTest = {{Field::NB_TYPE, 1}, {Field::DEV_TYPE, 13}};
    QTest::newRow("plate test device first") << Rows{plateTest, penetrometer} << -1 << 13;
    QTest::newRow("press row first, after penetrometer tests")
        << Rows{pressPlateTest, penetrometer} << 0 << 13;
}

void TableCommandsTest::openTakesDeviceTypeOfFirstRow()
{
    QFETCH(Rows, rows);
    QFETCH(int, shownBefore);
    QFETCH(int, devType);
    if (shownBefore >= 0) {
        writeTable(path("before.db"), {{{Field::NB_TYPE, shownBefore}, {Field::DEV_TYPE, 99}}});
        QVERIFY(openThroughMenu(path("before.db")));
        QCOMPARE(runDescribed("closeTableAction"), QStringList());
    }
    QDir(m_dir->path()).mkdir("data");
    const QString file = path("data/site 7.db");
    writeTable(file, rows);
    QVERIFY(openThroughMenu(file));
    QCOMPARE(documentOf(*m_window).deviceType(), devType);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("site 7 - ВРТ - ТК5"));
    QCOMPARE(m_state.title, m_window->windowTitle());
    QCOMPARE(tableFilesOf(*m_window).dataFolder(), QDir::toNativeSeparators(path("data")));
    QVERIFY(!documentOf(*m_window).isChanged());
    QCOMPARE(clientColourOf(*m_window), QPalette::Button);
    QVERIFY(commandsEnabled(true));
}

void TableCommandsTest::openRefusesDamagedFiles_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("tableOpen");
    QTest::addColumn<QString>("message");
    const QString damaged = QStringLiteral("Ошибка: База данных повреждена !");
    QTest::newRow("not a dBase file") << "text" << false << damaged;
    QTest::newRow("empty file") << "empty" << false << damaged;
    QTest::newRow("header cut short") << "cut" << false << damaged;
    QTest::newRow("a field missing") << "field" << false << damaged;
    // A table in use is not damaged: the user is told that it is in use.
    QTest::newRow("open in another copy") << "locked" << false
        << "Ошибка: Таблица «bad.db» открыта другой программой.\n"
           "Закройте её в той программе и повторите команду.";
    // The open table stays open: the new one is tried first.
    QTest::newRow("not a dBase file, a table open") << "text" << true << damaged;
    QTest::newRow("open in another copy, a table open") << "locked" << true
        << "Ошибка: Таблица «bad.db» открыта другой программой.\n"
           "Закройте её в той программе и повторите команду.";
}

void TableCommandsTest::openRefusesDamagedFiles()
{
    QFETCH(QString, damage);
    QFETCH(bool, tableOpen);
    QFETCH(QString, message);
    const QString file = path("bad.db");
    store::MeasurementTable holder;
    if (damage == "text" || damage == "empty") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (damage == "text")
            f.write("N;DATE;TIME\n1;03.04.2024;09:15\n");
    } else if (damage == "cut") {
        writeTable(file, {{{Field::N, 1.0}}});
        QVERIFY(QFile::resize(file, 100));
    } else if (damage == "field") {
        const auto& all = store::measurementFields();
        store::DbfTable::create(file, std::vector<store::FieldDef>(all.begin(), all.end() - 1));
    } else if (damage == "locked") {
        writeTable(file, {{{Field::N, 1.0}}});
        holder.open(file);
    }
    if (tableOpen) {
        writeTable(path("good.db"), {{{Field::N, 1.0}}});
        QVERIFY(openThroughMenu(path("good.db")));
    }

    const std::vector<Seen> seen = run("openTableAction", {Answer::withFile(file), Answer::press(QMessageBox::Ok)});
    QCOMPARE(seen.size(), std::size_t(2));
    QCOMPARE(seen[0].name, QStringLiteral("openTableDialog"));
    QCOMPARE(seen[1].describe(), message);
    QCOMPARE(seen[1].icon, QMessageBox::Critical);
    if (tableOpen) {
        QVERIFY(documentOf(*m_window).isOpen());
        QVERIFY(tableOf(*m_window).isActive());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("good - ") + kCaption);
        QVERIFY(commandsEnabled(true));
        return;
    }
    QVERIFY(!documentOf(*m_window).isOpen());
    QVERIFY(!tableOf(*m_window).isActive());
    QCOMPARE(m_window->windowTitle(), kCaption);
    QVERIFY(commandsEnabled(false));
    QVERIFY(m_window->findChild<QTabWidget*>("kindTabs")->isHidden());
}

// ---- rows and columns ------------------------------------------------------------------------

void TableCommandsTest::deleteSelectedRowsFromSortedView_data()
{
    QTest::addColumn<QList<double>>("stored"); // P of the rows in file order
    QTest::addColumn<QList<int>>("selected");  // rows of the view sorted by P ctrl-clicked
    QTest::addColumn<int>("current");          // or the row plainly clicked
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("left");     // P of the rows left, file order
    QTest::addColumn<QString>("pFooter");
    const QList<double> five = {30, 10, 50, 20, 40}; // shown 50, 40, 30, 20, 10
    QTest::newRow("two selected, menu") << five << QList<int>{0, 2} << -1 << "deleteRowsAction"
                                        << QStringList{"10", "20", "40"} << "10/23,3/40";
    QTest::newRow("none selected, context menu") << five << QList<int>{} << 1 << "deleteRowsPopupAction"
                                                 << QStringList{"30", "10", "50", "20"} << "10/27,5/50";
    // Nothing to delete: no message, and nothing changed.
    QTest::newRow("empty view") << QList<double>{} << QList<int>{} << -1 << "deleteRowsAction" << QStringList{} << "0/0/0";
}

void TableCommandsTest::deleteSelectedRowsFromSortedView()
{
    QFETCH(QList<double>, stored);
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    QFETCH(QString, command);
    QFETCH(QStringList, left);
    QFETCH(QString, pFooter);
    const QString file = path("rows.db");
    Rows rows;
    for (int i = 0; i < stored.size(); ++i)
        rows.push_back({{Field::N, double(i + 1)}, {Field::P, stored[i]}, {Field::R, stored[i] / 10}});
    writeTable(file, rows);
    QVERIFY(openThroughMenu(file));

    views::DataGrid* grid = grid1();
    clickTitle(grid, "P");
    QList<double> descending = stored;
    std::sort(descending.begin(), descending.end(), std::greater<>());
    QStringList sortedTexts;
    for (double p : descending)
        sortedTexts << QString::number(p);
    QCOMPARE(shown(grid, "P"), sortedTexts);
    for (int row : selected)
        clickCell(grid, row, "N", Qt::ControlModifier);
    if (current >= 0)
        clickCell(grid, current, "N");
    if (selected.size() == 2) {
        QCOMPARE(footer(grid, "P"), labelled(QStringLiteral("30/40/50"))); // the selection's own summary
        QCOMPARE(footer(grid, "N"), QStringLiteral("выделено 2 из %1").arg(stored.size()));
    }

    QVERIFY(runDescribed(command.toLatin1().constData()).isEmpty());
    QCOMPARE(viewColumn(Field::P), left);
    QCOMPARE(shown(grid, "P"), left); // file order: the sort is gone
    for (int c = 0; c < grid->columnCount(); ++c)
        QCOMPARE(grid->column(c).titleState, views::TitleState::None);
    QCOMPARE(grid->selectionCount(), left.isEmpty() ? 0 : 1); // no selection; the current row counts
    QCOMPARE(footer(grid, "N"), QString::number(left.size()));
    QCOMPARE(footer(grid, "P"), labelled(pFooter));
    const bool deleted = left.size() < stored.size();
    QCOMPARE(documentOf(*m_window).isChanged(), deleted);

    // Gone from the file for good once the table closes and «Да» keeps the change.
    const QStringList asked = deleted ? QStringList{"ВРТ - ТК5: Сохранить изменения в таблицах ?"} : QStringList{};
    QCOMPARE(runDescribed("closeTableAction", {Answer::press(QMessageBox::Yes)}), asked);
    QCOMPARE(fileColumn(file, Field::P), left);
    QCOMPARE(physicalRows(file), int(left.size()));
}

void TableCommandsTest::renumberFollowsShownOrder_data()
{
    QTest::addColumn<int>("titleClicks"); // on the N column: 1 descending, 2 ascending
    QTest::addColumn<QStringList>("numbers"); // N in file order afterwards
    // N in file order: 5, 3, 9, 1.
    QTest::newRow("file order") << 0 << QStringList{"1", "2", "3", "4"};
    QTest::newRow("sorted by N descending") << 1 << QStringList{"2", "3", "1", "4"};
    QTest::newRow("sorted by N ascending") << 2 << QStringList{"3", "2", "4", "1"};
}

void TableCommandsTest::renumberFollowsShownOrder()
{
    QFETCH(int, titleClicks);
    QFETCH(QStringList, numbers);
    const QString file = path("numbers.db");
    Rows rows;
    for (double n : {5.0, 3.0, 9.0, 1.0})
        rows.push_back({{Field::N, n}, {Field::P, n * 10}});
    writeTable(file, rows);
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    for (int i = 0; i < titleClicks; ++i)
        clickTitle(grid, "N");

    QVERIFY(runDescribed("renumberAction").isEmpty());
    // A change like an edit: Close asks, and «Да» keeps the numbers.
    QVERIFY(documentOf(*m_window).isChanged());
    QCOMPARE(actionOf(*m_window, "undoAction").text(), QStringLiteral("Отменить перенумерацию строк"));
    QCOMPARE(runDescribed("closeTableAction", {Answer::press(QMessageBox::Yes)}),
             QStringList{"ВРТ - ТК5: Сохранить изменения в таблицах ?"});
    QCOMPARE(fileColumn(file, Field::N), numbers);
    // Each row got its number with its own values.
    QCOMPARE(fileColumn(file, Field::P), (QStringList{"50", "30", "90", "10"}));
}

// Delete in a grid deletes the current row and, in a cell editor, a character; Ctrl+Z and
// Ctrl+Y take the deletion back and do it again, in the file too, and the items say what.
void TableCommandsTest::undoAndRedoFromTheKeyboard()
{
    const QString file = path("undo.db");
    writeTable(file, {{{Field::N, 1.0}, {Field::P, 10.0}}, {{Field::N, 2.0}, {Field::P, 20.0}},
                      {{Field::N, 3.0}, {Field::P, 30.0}}});
    QVERIFY(openThroughMenu(file));
    QAction& undo = actionOf(*m_window, "undoAction");
    QAction& redo = actionOf(*m_window, "redoAction");
    QVERIFY(!undo.isEnabled());
    QVERIFY(!redo.isEnabled());
    QCOMPARE(undo.text(), QStringLiteral("Отменить"));
    views::DataGrid* grid = grid1();
    // Shortcuts reach the window the user works in.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    // In the cell editor the key is the editor's.
    clickCell(grid, 1, "COMMENT");
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(grid->isEditorOpen());
    grid->editor()->setText(QStringLiteral("ab"));
    grid->editor()->setCursorPosition(0);
    QTest::keyClick(grid->editor(), Qt::Key_Delete);
    QCOMPARE(grid->editor()->text(), QStringLiteral("b"));
    QTest::keyClick(grid->editor(), Qt::Key_Escape);
    QCOMPARE(viewColumn(Field::P), (QStringList{"10", "20", "30"}));

    clickCell(grid, 1, "N");
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(viewColumn(Field::P), (QStringList{"10", "30"}));
    QVERIFY(undo.isEnabled());
    QCOMPARE(undo.text(), QStringLiteral("Отменить удаление строки"));

    // Export, preview and the PDF read the table and leave the history as it was.
    run("exportAction", {Answer::withFile(path("undo.xls")), Answer::press(QMessageBox::Ok)});
    run("previewAction");
    run("savePdfAction", {Answer::withFile(path("undo.pdf")), Answer::press(QMessageBox::Ok)});
    QVERIFY(QFile::exists(path("undo.xls")) && QFile::exists(path("undo.pdf")));
    QVERIFY(undo.isEnabled());
    QCOMPARE(undo.text(), QStringLiteral("Отменить удаление строки"));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    grid->setFocus();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("*undo - ВРТ - ТК5")); // unsaved

    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(viewColumn(Field::P), (QStringList{"10", "20", "30"}));
    QCOMPARE(shown(grid, "P"), (QStringList{"10", "20", "30"}));
    QVERIFY(!undo.isEnabled());
    QCOMPARE(redo.text(), QStringLiteral("Повторить удаление строки"));
    QVERIFY(!documentOf(*m_window).isChanged());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("undo - ВРТ - ТК5")); // as it was saved

    QTest::keyClick(grid, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(shown(grid, "P"), (QStringList{"10", "30"}));
    QVERIFY(documentOf(*m_window).isChanged());
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY2(!redo.isEnabled(), "nothing left to redo");

    // «Нет» takes the file back to what it held at the open.
    QCOMPARE(runDescribed("closeTableAction", {Answer::press(QMessageBox::No)}),
             QStringList{"ВРТ - ТК5: Сохранить изменения в таблицах ?"});
    QCOMPARE(fileColumn(file, Field::P), (QStringList{"10", "20", "30"}));
    QCOMPARE(physicalRows(file), 3);
    QVERIFY(!undo.isEnabled());
}

// The 40 tests of an instrument's memory on a 1280×720 laptop with the charts open: the
// stacked view keeps at least three tests in sight, «Усилия в строку» at least ten; the view
// keeps the sort and the current row, and is remembered.
void TableCommandsTest::forcesInRowAtLaptopSize()
{
    const QString file = path("forty.db");
    Rows rows;
    for (int i = 1; i <= 40; ++i)
        rows.push_back({{Field::N, double(i)}, {Field::DATE, QStringLiteral("02.03.2024")}, {Field::TIME, QStringLiteral("10:01")},
                        {Field::P, 1000.0 + i}, {Field::R, 1.5}, {Field::U, 20.0}, {Field::P7, 0.95},
                        {Field::P1, 1001.0}, {Field::P2, 1002.0}, {Field::P3, 1003.0}, {Field::P4, 1004.0},
                        {Field::P5, 1005.0}, {Field::COMMENT, QStringLiteral("суглинок")}});
    writeTable(file, rows);
    const auto laptop = [this] {
        m_window->setWindowState(Qt::WindowNoState);
        m_window->resize(1280, 720);
    };
    laptop();
    QVERIFY(openThroughMenu(file));
    QAction& charts = actionOf(*m_window, "showChartsAction");
    if (!charts.isChecked())
        charts.trigger();
    auto* dock = m_window->findChild<QDockWidget*>(QStringLiteral("chartDock"));
    QTRY_VERIFY(dock->isVisible());
    views::DataGrid* grid = grid1();
    QCoreApplication::sendPostedEvents();
    laptop();
    QTRY_COMPARE(m_window->height(), 720); // both fit the screen
    QTRY_VERIFY2(grid->visibleRowCount() >= 3, qPrintable(QString::number(grid->visibleRowCount())));
    QCOMPARE(grid->rowHeight(), 5 * grid->fontMetrics().height() + 5 * 4); // five force lines, no empty one

    // Sorted by P (descending), on the sixth row: both stay across the change of view.
    clickTitle(grid, "P");
    grid->setCurrentRow(5);
    const QString currentN = grid->cellText(5, grid->columnOfField(QStringLiteral("N")));
    QAction& inRow = actionOf(*m_window, "forcesInRowAction");
    QVERIFY(!inRow.isChecked());
    inRow.trigger();
    QVERIFY(inRow.isChecked());
    QCoreApplication::sendPostedEvents(); // the window learns the grid's new least height
    laptop();
    QTRY_COMPARE(m_window->height(), 720);
    QTRY_VERIFY2(grid->visibleRowCount() >= 10, qPrintable(QString::number(grid->visibleRowCount())));
    QVERIFY(dock->isVisible());
    QVERIFY(dock->height() >= 150);
    QCOMPARE(grid->rowHeight(), grid->fontMetrics().height() + 4); // one line a test
    QCOMPARE(grid->column(grid->columnOfField(QStringLiteral("P1"))).level, 0); // F1…F5 side by side
    QCOMPARE(grid->column(grid->columnOfField(QStringLiteral("P"))).titleState, views::TitleState::Up);
    QCOMPARE(grid->currentRow(), 5);
    QCOMPARE(grid->cellText(5, grid->columnOfField(QStringLiteral("N"))), currentN);
    QCOMPARE(shown(grid, "P").first(), QStringLiteral("1040"));
    // The title row: no taller than two lines of caption text.
    QVERIFY(grid->titleHeight() <= 2 * grid->fontMetrics().lineSpacing() + 4);

    // Remembered: the next window opens the table in the same view.
    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QCOMPARE(settings::open()->value(QStringLiteral("Forces_in_row")).toBool(), true);
    m_window.reset();
    m_window = std::make_unique<MainWindow>(m_state);
    m_window->show();
    QVERIFY(openThroughMenu(file));
    QVERIFY(actionOf(*m_window, "forcesInRowAction").isChecked());
    QCOMPARE(grid1()->column(grid1()->columnOfField(QStringLiteral("P1"))).level, 0);
    actionOf(*m_window, "forcesInRowAction").trigger();
    QCOMPARE(grid1()->column(grid1()->columnOfField(QStringLiteral("P1"))).level, 1); // stacked again
}

void TableCommandsTest::coloursSurviveCloseAndOpen()
{
    const QString file = path("colours.db");
    writeTable(file, {{{Field::N, 1.0}}, {{Field::N, 2.0}}});
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    const auto colourOf = [&](const char* field) {
        return grid->column(grid->columnOfField(QString::fromLatin1(field))).color;
    };
    const QColor red(200, 0, 0);
    const QColor green(0, 160, 0);
    const QColor blue(0, 0, 200);

    clickCell(grid, 0, "P");
    QCOMPARE(runDescribed("setColumnColourAction", {Answer::withColour(red)}), QStringList{"columnColourDialog"});
    clickCell(grid, 0, "DATE");
    QCOMPARE(runDescribed("setColumnColourAction", {Answer::withColour(green)}), QStringList{"columnColourDialog"});
    clickCell(grid, 0, "R");
    QCOMPARE(runDescribed("setColumnColourAction", {Answer::withColour(blue)}), QStringList{"columnColourDialog"});
    QCOMPARE(colourOf("R"), std::optional<QColor>(blue));
    QVERIFY(runDescribed("clearColumnColourAction").isEmpty()); // "Убрать цвет" on R
    clickCell(grid, 0, "U");
    // The dialog starts on the colour chosen last, which the settings keep for the next run.
    const std::vector<Seen> cancelled = run("setColumnColourAction", {Answer::cancel()});
    QCOMPARE(cancelled.size(), std::size_t(1));
    QCOMPARE(cancelled.front().name, QStringLiteral("columnColourDialog"));
    QCOMPARE(cancelled.front().colour, blue);
    QCOMPARE(QColor(settings::open()->value(QStringLiteral("Last_color")).toString()), blue);

    const auto expectColours = [&](std::optional<QColor> p, std::optional<QColor> date) {
        QCOMPARE(colourOf("P"), p);
        QCOMPARE(colourOf("DATE"), date);
        QCOMPARE(colourOf("R"), std::optional<QColor>());
        QCOMPARE(colourOf("U"), std::optional<QColor>());
    };
    expectColours(red, green);
    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QVERIFY(openThroughMenu(file));
    expectColours(red, green);

    QVERIFY(runDescribed("clearAllColoursAction").isEmpty()); // "Убрать все цвета"
    expectColours(std::nullopt, std::nullopt);
    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QVERIFY(openThroughMenu(file));
    expectColours(std::nullopt, std::nullopt);
}

void TableCommandsTest::appendReadsTheNewestStoredDate_data()
{
    QTest::addColumn<QString>("date"); // DATE and TIME of the table's newest test
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("added");    // -1: the command ends with an error
    QTest::addColumn<QStringList>("numbers");
    // The instrument's clock wrote 31.02: it sits between 28.02 and 01.03, as its numbers say.
    QTest::newRow("a day the clock made up") << "31.02.2024" << "10:00" << 1 << QStringList{"7", "3"};
    // A row without a date cannot be placed: nothing is added.
    QTest::newRow("no date") << "" << "" << -1 << QStringList{"7"};
}

void TableCommandsTest::appendReadsTheNewestStoredDate()
{
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(int, added);
    QFETCH(QStringList, numbers);
    const QString file = path("clock.db");
    writeTable(file, {{{Field::N, 7.0}, {Field::DATE, date}, {Field::TIME, time}}});
    QVERIFY(openThroughMenu(file));

    const Memory memory = {{28, 2, 2024, 9, 0, 10, 100}, {31, 2, 2024, 10, 0, 11, 100}, {1, 3, 2024, 8, 0, 12, 100}};
    device_test::EmulatorProcess instrument(emulatorArguments(m_dir->path(), "memory.bin", memory));
    QVERIFY(instrument.started());
    pointPort(1, instrument.path());
    const std::vector<Seen> seen = run("appendAction", {Answer::press(QMessageBox::Ok)});
    QCOMPARE(seen.size(), std::size_t(1));
    if (added >= 0) {
        QCOMPARE(seen[0].describe(), QStringLiteral("Дополнение: Добавлено записей: %1").arg(added));
    } else {
        QCOMPARE(seen[0].title, QStringLiteral("Ошибка"));
        QCOMPARE(seen[0].icon, QMessageBox::Critical);
    }
    QVERIFY(documentOf(*m_window).isOpen());
    QVERIFY(commandsEnabled(true));
    QCOMPARE(viewColumn(Field::N), numbers);
    QCOMPARE(shown(grid1(), "N"), numbers);
    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QCOMPARE(fileColumn(file, Field::N), numbers);
}

void TableCommandsTest::pressTableKeepsItsOwnSummaryAndColours()
{
    // One penetrometer test and three press tests: the press tab is shown, and its summary
    // covers the press tests only.
    const QString file = path("press.db");
    writeTable(file, {{{Field::N, 1.0}, {Field::P, 100.0}, {Field::R, 10.0}},
                      {{Field::N, 1.0}, {Field::NB_TYPE, 1}, {Field::P, 1.0}, {Field::R, 0.5}},
                      {{Field::N, 2.0}, {Field::NB_TYPE, 1}, {Field::P, 2.0}, {Field::R, 0.5}},
                      {{Field::N, 3.0}, {Field::NB_TYPE, 1}, {Field::P, 4.0}, {Field::R, 0.5}}});
    QVERIFY(openThroughMenu(file));
    auto* pages = m_window->findChild<QTabWidget*>("kindTabs");
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("pressPage"));
    views::DataGrid* grid = grid2();
    QCOMPARE(footer(grid, "N"), QStringLiteral("3"));
    QCOMPARE(footer(grid, "P"), labelled(QStringLiteral("1/2,3/4")));
    QCOMPARE(footer(grid, "R"), labelled(QStringLiteral("0,5/0,5/0,5")));

    // The force block has six columns bound to no field; in the rows only the first shows
    // (one empty cell across the block), and the colour stays with it.
    QList<int> unbound;
    for (int c = 0; c < grid->columnCount(); ++c)
        if (!grid->column(c).isBound())
            unbound << c;
    QCOMPARE(unbound.size(), 6);
    const int coloured = unbound.at(0);
    QCOMPARE(grid->cellRect(0, unbound.at(3)).width(), 0);
    const QColor teal(0, 128, 128);
    clickCell(grid, 0, coloured);
    QCOMPARE(grid->currentColumn(), coloured);
    QCOMPARE(runDescribed("setColumnColourAction", {Answer::withColour(teal)}), QStringList{"columnColourDialog"});

    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QVERIFY(openThroughMenu(file));
    for (int c : unbound)
        QCOMPARE(grid->column(c).color, c == coloured ? std::optional<QColor>(teal) : std::nullopt);
    for (int c = 0; c < grid1()->columnCount(); ++c)
        QCOMPARE(grid1()->column(c).color, std::optional<QColor>());
}

void TableCommandsTest::postedEditUpdatesTheSummary()
{
    const QString file = path("edit.db");
    writeTable(file, {{{Field::N, 1.0}, {Field::P, 10.0}}, {{Field::N, 2.0}, {Field::P, 12.0}},
                      {{Field::N, 3.0}, {Field::P, 13.0}}});
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    QCOMPARE(footer(grid, "P"), labelled(QStringLiteral("10/11,7/13")));

    clickCell(grid, 0, "P");
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(grid->isEditorOpen());
    grid->editor()->setText(QStringLiteral("40"));
    QTest::keyClick(grid->editor(), Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_Down);
    // P 40, 12, 13.
    QCOMPARE(footer(grid, "P"), labelled(QStringLiteral("12/21,7/40")));
    QCOMPARE(footer(grid, "N"), QStringLiteral("3"));
    QCOMPARE(grid->currentRow(), 1);
}

void TableCommandsTest::appendChangesNothingWithoutADownload_data()
{
    QTest::addColumn<QStringList>("instrument");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("nothing in memory") << QStringList{"--no-data"} << false
                                       << QStringList{"Ошибка: Нет данных для передачи!"};
    QTest::newRow("download cancelled") << QStringList{"--silent"} << true << QStringList{"DownloadDialog"};
}

void TableCommandsTest::appendChangesNothingWithoutADownload()
{
    QFETCH(QStringList, instrument);
    QFETCH(bool, stopped);
    QFETCH(QStringList, seen);
    const QString file = path("kept.db");
    writeTable(file, {{{Field::N, 1.0}, {Field::P, 10.0}, {Field::DATE, "03.04.2024"}, {Field::TIME, "09:15"}},
                      {{Field::N, 2.0}, {Field::P, 30.0}, {Field::DATE, "03.04.2024"}, {Field::TIME, "09:20"}}});
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    clickTitle(grid, "P");
    QCOMPARE(shown(grid, "P"), (QStringList{"30", "10"}));

    device_test::EmulatorProcess emulator(emulatorArguments(m_dir->path(), "memory.bin", kStored) + instrument);
    QVERIFY(emulator.started());
    pointPort(1, emulator.path());
    std::vector<Answer> answers;
    if (stopped)
        answers.push_back(Answer::stopDownload());
    answers.push_back(Answer::press(QMessageBox::Ok));
    QCOMPARE(runDescribed("appendAction", answers), seen);

    // Still sorted as it was, the same rows, no question at Close.
    QVERIFY(documentOf(*m_window).isOpen());
    QCOMPARE(grid->column(grid->columnOfField("P")).titleState, views::TitleState::Up);
    QCOMPARE(shown(grid, "P"), (QStringList{"30", "10"}));
    QCOMPARE(runDescribed("closeTableAction"), QStringList());
    QCOMPARE(fileColumn(file, Field::N), (QStringList{"1", "2"}));
}

void TableCommandsTest::summaryFooters_data()
{
    QTest::addColumn<QList<double>>("p");
    QTest::addColumn<QList<double>>("r");
    QTest::addColumn<QList<int>>("selected"); // rows ctrl-clicked
    QTest::addColumn<QString>("pFooter");
    QTest::addColumn<QString>("rFooter");
    QTest::newRow("no rows") << QList<double>{} << QList<double>{} << QList<int>{} << "0/0/0" << "0/0/0";
    // One row: its own values, three times, unrounded.
    QTest::newRow("one row") << QList<double>{7} << QList<double>{2.25} << QList<int>{} << "7/7/7"
                             << "2,25/2,25/2,25";
    QTest::newRow("three rows") << QList<double>{1, 2, 4} << QList<double>{2.2, 2.3, 2.25} << QList<int>{}
                                << "1/2,3/4" << "2,2/2,2/2,3";
    // A single selected row shows the summary of the view.
    QTest::newRow("one of three selected") << QList<double>{1, 2, 4} << QList<double>{2.2, 2.3, 2.25}
                                           << QList<int>{2} << "1/2,3/4" << "2,2/2,2/2,3";
    QTest::newRow("two of three selected") << QList<double>{1, 2, 4} << QList<double>{2.2, 2.3, 2.25}
                                           << QList<int>{0, 1} << "1/1,5/2" << "2,2/2,2/2,3";
}

void TableCommandsTest::summaryFooters()
{
    QFETCH(QList<double>, p);
    QFETCH(QList<double>, r);
    QFETCH(QList<int>, selected);
    QFETCH(QString, pFooter);
    QFETCH(QString, rFooter);
    const QString file = path("summary.db");
    Rows rows;
    for (int i = 0; i < p.size(); ++i)
        rows.push_back({{Field::N, double(i + 1)}, {Field::P, p[i]}, {Field::R, r[i]}});
    writeTable(file, rows);
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    for (int row : selected)
        clickCell(grid, row, "N", Qt::ControlModifier);
    QCOMPARE(footer(grid, "P"), labelled(pFooter));
    QCOMPARE(footer(grid, "R"), labelled(rFooter));
    // The count says when it is a selection's: "выделено 2 из 3".
    QCOMPARE(footer(grid, "N"), selected.size() >= 2
                                    ? QStringLiteral("выделено %1 из %2").arg(selected.size()).arg(p.size())
                                    : QString::number(p.size()));
}

void TableCommandsTest::equalWidthsStaySortDoesNot()
{
    const QString file = path("layout.db");
    writeTable(file, {{{Field::N, 1.0}, {Field::P, 10.0}}, {{Field::N, 2.0}, {Field::P, 30.0}}});
    QVERIFY(openThroughMenu(file));
    views::DataGrid* grid = grid1();
    // A column made wider by hand, then all of them the same width again.
    const QRect edge = grid->titleRect(0);
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, QPoint(edge.right() + 1, edge.center().y()));
    QTest::mouseMove(grid->viewport(), QPoint(edge.right() + 60, edge.center().y()));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, QPoint(edge.right() + 60, edge.center().y()));
    const auto widths = [&] {
        QList<int> w;
        for (int c = 0; c < grid->columnCount(); ++c)
            w << grid->column(c).width;
        return w;
    };
    const auto allEqual = [](const QList<int>& w) { return std::adjacent_find(w.begin(), w.end(), std::not_equal_to<>()) == w.end(); };
    QVERIFY2(!allEqual(widths()), "the drag did not widen the column");
    QVERIFY(runDescribed("equalizeColumnsAction").isEmpty()); // "Выровнять столбцы"
    QVERIFY(allEqual(widths()));
    clickTitle(grid, "P");
    QCOMPARE(shown(grid, "P"), (QStringList{"30", "10"}));

    QVERIFY(runDescribed("closeTableAction").isEmpty());
    QVERIFY(openThroughMenu(file));
    QVERIFY(allEqual(widths()));
    // The sort went with the table: no mark, file order.
    for (int c = 0; c < grid->columnCount(); ++c)
        QCOMPARE(grid->column(c).titleState, views::TitleState::None);
    QCOMPARE(shown(grid, "P"), (QStringList{"10", "30"}));
}

KVEL_WIDGET_TEST_MAIN(TableCommandsTest)
#include "table_commands_test.moc"

