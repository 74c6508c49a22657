// Every command that reads, resets or leaves the grids, run through the real main window
// while the cell P of a row is being edited: with the typed text still in the cell editor,
// with a text the table refuses, and with the edited row posted but not saved. What was typed
// must reach the table file, the footers, the workbook and the report; a refused text stops
// the command, is explained, and stays in its cell.

#include "table_command_support.h"
#include "widget_test_support.h"
#include "window_access.h"
#include "workbook_reader.h"

#include "app/main_window.h"
#include "app/program_state.h"
#include "reports/prepared_report.h"
#include "reports/report_template.h"
#include "store/measurement_table.h"
#include "tests/device/emulator_process.h"
#include "views/data_grid.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace kvel_test;

using app::MainWindow;
using kvel_test::Answer;
using kvel_test::Dialogs;
using kvel_test::Seen;
using store::Field;

namespace {

enum class EditState {
    Typed,   // the text is still in the cell editor
    Refused, // the editor holds a text that is not a number
    Posted,  // Enter, then another row: the row is in the file, the table is not saved
};

const QString kTyped = QStringLiteral("999");
const QString kRefusedText = QStringLiteral("99x");
const QString kNowhere = QStringLiteral("/nonexistent/kvel-tty");
// What the main event loop returns when Exit did not end it.
constexpr int kStayed = 77;

// The window under test and what the cases need to reach in it.
struct Window {
    MainWindow& window;
    QString folder;
    QString table;
    int loopResult = -1; // set by the Exit case

    views::DataGrid& grid() const { return *window.findChild<views::DataGrid*>(QStringLiteral("PenetrometerGrid")); }
    int column(const char* field) const { return grid().columnOfField(QString::fromLatin1(field)); }
    // The row of the view that shows record `rec` (0: the edited one, 1: the other).
    int rowOf(std::uint32_t rec) const { return tableOf(window).table().positionOf(rec); }
    QTabWidget& pages() const { return *window.findChild<QTabWidget*>(QStringLiteral("kindTabs")); }

    std::vector<Seen> trigger(const char* action, std::vector<Answer> answers = {}) const
    {
        Dialogs dialogs(std::move(answers));
        window.findChild<QAction*>(QString::fromLatin1(action))->trigger();
        return dialogs.seen();
    }
    void clickTitle(const char* field) const
    {
        const QRect r = grid().titleRect(column(field));
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    }
    void ctrlClickRow(int row) const
    {
        const QRect r = grid().cellRect(row, column("N"));
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    }
    std::optional<QColor> colourOfP() const { return grid().column(column("P")).color; }
    // The P footer's figures without their names: "мин 20 / сред 509,5 / макс 999" as "20/509,5/999".
    QString footerOfP() const
    {
        QString text = grid().column(column("P")).footerText;
        for (const char* label : {"мин", "сред", "макс"})
            text.remove(QString::fromUtf8(label));
        return text.remove(QLatin1Char(' ')).remove(QChar(0x00A0));
    }
    QStringList shownP() const
    {
        QStringList texts;
        for (int row = 0; row < grid().model()->rowCount(); ++row)
            texts << grid().cellText(row, column("P"));
        return texts;
    }
    // A field of the rows the open table shows, in view order.
    QStringList viewColumn(Field field) const
    {
        QStringList values;
        for (std::uint32_t rec : tableOf(window).table().view())
            values << kvel_test::fieldText(tableOf(window), rec, field);
        return values;
    }
    // The texts the prepared penetrometer report printed for `field`, in page order.
    QStringList reportColumn(const QString& field) const
    {
        const reports::PreparedReport& report = (&reportOf(window, "penetrometerReport"))->prepared();
        QStringList texts;
        if (report.isEmpty())
            return texts;
        const auto& dataCells = report.design->data.cells;
        const auto inDataBand = [&](const reports::ReportCell* cell) {
            return std::any_of(dataCells.begin(), dataCells.end(), [&](const auto& c) { return &c == cell; });
        };
        for (const reports::PreparedPage& page : report.pages)
            for (const reports::PreparedCell& cell : page.cells)
                if (inDataBand(cell.cell))
                    for (const reports::Piece& piece : cell.cell->pieces)
                        if (piece.kind == reports::Piece::Kind::Field && piece.text == field)
                            texts << cell.text;
        return texts;
    }
};

// One command: how it is run, what it shows and does after a valid edit, and what a refused
// text leaves as it was.
struct CommandCase {
    const char* name;
    std::function<void(Window&)> prepare = {};          // before the edit starts
    std::function<std::vector<Seen>(Window&)> run;      // runs it, answering its windows
    QStringList seen = {};                              // what it shows after a valid edit
    std::function<void(Window&)> ran;                   // its effect after a valid edit
    std::function<void(Window&)> stopped;               // unchanged after a refused text
    bool prints = false;     // would print for real where a printer is installed
    bool keepsTable = true;  // the table stays open in the window
    // After a valid edit: P of the first rows the grid shows (empty: not checked) and its
    // footer, then P of the file's first rows and the number of rows in the file.
    QStringList shownP = {"999", "20"};
    QString footer = QStringLiteral("20/509,5/999");
    QStringList fileP = {"999", "20"};
    int fileRows = 2;
};

const QString kCloseQuestion = QStringLiteral("ВРТ - ТК5: Сохранить изменения в таблицах ?");
const QString kNoPrinterQuestion = QStringLiteral("Печать: Принтер не установлен.\nСохранить отчёт в файл PDF?");

void expectReport(Window& w)
{
    QCOMPARE(w.reportColumn(QStringLiteral("P")), (QStringList{"999,00", "20,00"}));
}

void expectNoReport(Window& w)
{
    QVERIFY((&reportOf(w.window, "penetrometerReport"))->prepared().isEmpty());
}

std::vector<CommandCase> commandCases()
{
    const QColor red(200, 0, 0);
    const auto colourP = [red](Window& w) { w.grid().setColumnColor(w.column("P"), red); };
    const auto noColour = [](Window& w) { QCOMPARE(w.colourOfP(), std::optional<QColor>()); };
    const auto stillRed = [red](Window& w) { QCOMPARE(w.colourOfP(), std::optional<QColor>(red)); };
    const auto stillOpen = [](Window& w) { QVERIFY(documentOf(w.window).isOpen()); };
    const auto closed = [](Window& w) { QVERIFY(!documentOf(w.window).isOpen()); };
    const auto trigger = [](const char* action, std::vector<Answer> answers = {}) {
        return [action, answers](Window& w) { return w.trigger(action, answers); };
    };
    const auto exportFile = [](Window& w) { return QDir(w.folder).filePath(QStringLiteral("export.xls")); };

    return {
        {.name = "export",
         .run = [exportFile](Window& w) {
             return w.trigger("exportAction", {Answer::withFile(exportFile(w)), Answer::press(QMessageBox::Ok)});
         },
         .seen = {"saveFileDialog", "Экспорт в Excel: Экспорт в файл export.xls завершен успешно."},
         .ran = [exportFile](Window& w) {
             QVERIFY(QFile::exists(exportFile(w)));
             if (!kvel_test::havePythonXlrd()) {
                 qWarning("python3-xlrd missing: the workbook is not read back");
                 return;
             }
             const auto book = kvel_test::readWithXlrd(exportFile(w));
             QVERIFY2(book, "xlrd reads the workbook without a warning");
             // A record takes five sheet rows under the heading row; P is column 3.
             const kvel_test::Grid& sheet = book->sheets.at(0);
             QCOMPARE(kvel_test::describe(sheet.at(1).at(3)), QStringLiteral("999"));
             QCOMPARE(kvel_test::describe(sheet.at(6).at(3)), QStringLiteral("20"));
         },
         .stopped = [exportFile](Window& w) { QVERIFY(!QFile::exists(exportFile(w))); }},
        {.name = "preview", .run = trigger("previewAction"), .seen = {"ReportPreview"}, .ran = expectReport,
         .stopped = expectNoReport},
        {.name = "toolbar preview",
         .run = [](Window& w) {
             Dialogs dialogs({});
             QTest::mouseClick(w.window.findChild<QWidget*>(QStringLiteral("previewButton")), Qt::LeftButton);
             return dialogs.seen();
         },
         .seen = {"ReportPreview"}, .ran = expectReport, .stopped = expectNoReport},
        // Without a printer it asks whether to save a PDF instead; cancelled here.
        {.name = "print", .run = trigger("printAction"), .seen = {kNoPrinterQuestion}, .ran = expectReport,
         .stopped = expectNoReport, .prints = true},
        {.name = "context menu print", .run = trigger("printAction"), .seen = {kNoPrinterQuestion},
         .ran = expectReport, .stopped = expectNoReport, .prints = true},
        {.name = "PDF", .run = trigger("savePdfAction"), .seen = {"saveFileDialog"}, .ran = expectReport,
         .stopped = expectNoReport},
        {.name = "sort reset",
         // Sorted by N, descending: the edited row is shown second.
         .prepare = [](Window& w) { w.clickTitle("N"); },
         .run = trigger("unsortAction"),
         .ran = [](Window& w) {
             QVERIFY(tableOf(w.window).table().indexName().empty());
             QCOMPARE(w.grid().column(w.column("N")).titleState, views::TitleState::None);
         },
         .stopped = [](Window& w) {
             QCOMPARE(tableOf(w.window).table().indexName(), std::string(store::kTab1));
             QCOMPARE(w.grid().column(w.column("N")).titleState, views::TitleState::Up);
         }},
        {.name = "title click sort",
         .run = [](Window& w) {
             Dialogs dialogs({});
             w.clickTitle("P");
             return dialogs.seen();
         },
         .ran = [](Window& w) {
             QCOMPARE(tableOf(w.window).table().indexName(), std::string(store::kTab1));
             QCOMPARE(w.grid().column(w.column("P")).titleState, views::TitleState::Up);
         },
         .stopped = [](Window& w) {
             QVERIFY(tableOf(w.window).table().indexName().empty());
             QCOMPARE(w.grid().column(w.column("P")).titleState, views::TitleState::None);
         }},
        {.name = "tab switch",
         .run = [](Window& w) {
             // As the program itself brings a tab to the front: shown first, then made current.
             Dialogs dialogs({});
             QWidget* press = w.window.findChild<QWidget*>(QStringLiteral("pressPage"));
             w.pages().setTabVisible(w.pages().indexOf(press), true);
             w.pages().setCurrentWidget(press);
             return dialogs.seen();
         },
         .ran = [](Window& w) {
             QCOMPARE(w.pages().currentWidget()->objectName(), QStringLiteral("pressPage"));
             QCOMPARE(tableOf(w.window).table().recordCount(), 0); // no press rows
         },
         .stopped = [](Window& w) {
             QCOMPARE(w.pages().currentWidget()->objectName(), QStringLiteral("penetrometerPage"));
             QCOMPARE(tableOf(w.window).table().recordCount(), 2);
         },
         .shownP = {}},
        {.name = "new", .run = trigger("newTableAction", {Answer::press(QMessageBox::Yes), Answer::cancel()}),
         .seen = {kCloseQuestion, "saveFileDialog"}, .ran = closed, .stopped = stillOpen, .keepsTable = false},
        {.name = "open", .run = trigger("openTableAction", {Answer::cancel()}), .seen = {"openTableDialog"}, .ran = stillOpen,
         .stopped = stillOpen},
        {.name = "append",
         .run = [](Window& w) {
             device_test::EmulatorProcess instrument({QStringLiteral("--records"), QStringLiteral("2")});
             if (!instrument.started()) {
                 QTest::qFail("the emulator did not start", __FILE__, __LINE__);
                 return std::vector<Seen>{};
             }
             kvel_test::pointPort(1, instrument.path());
             return w.trigger("appendAction", {Answer::press(QMessageBox::Ok)});
         },
         .seen = {"Дополнение: Добавлено записей: 2"}, .ran = stillOpen,
         .stopped = [](Window& w) { QCOMPARE(tableOf(w.window).table().recordCount(), 2); },
         .footer = {}, .fileRows = 4},
        {.name = "save", .run = trigger("saveTableAction"), .ran = [](Window& w) { QVERIFY(!documentOf(w.window).isChanged()); },
         .stopped = [](Window& w) { QVERIFY(documentOf(w.window).isChanged()); }},
        {.name = "close", .run = trigger("closeTableAction", {Answer::press(QMessageBox::Yes)}), .seen = {kCloseQuestion},
         .ran = closed, .stopped = stillOpen, .keepsTable = false},
        {.name = "exit",
         .run = [](Window& w) {
             // Exit ends the program's main event loop, so the command runs inside one. Each
             // queued call comes in a pass of the loop of its own: the second is reached only
             // when Exit asked for nothing. Calls still queued go with their receiver.
             Dialogs dialogs({});
             QObject receiver;
             QMetaObject::invokeMethod(&receiver, [&] {
                 w.window.findChild<QAction*>(QStringLiteral("exitAction"))->trigger();
                 QMetaObject::invokeMethod(&receiver, [] { QCoreApplication::exit(kStayed); }, Qt::QueuedConnection);
             }, Qt::QueuedConnection);
             w.loopResult = QCoreApplication::exec();
             return dialogs.seen();
         },
         .ran = [](Window& w) { QCOMPARE(w.loopResult, 0); },
         .stopped = [](Window& w) { QCOMPARE(w.loopResult, kStayed); }},
        {.name = "window close",
         .run = [](Window& w) {
             Dialogs dialogs({Answer::press(QMessageBox::Yes)});
             w.window.close();
             return dialogs.seen();
         },
         .seen = {kCloseQuestion},
         .ran = [](Window& w) {
             QVERIFY(!w.window.isVisible());
             QVERIFY(!documentOf(w.window).isOpen());
         },
         .stopped = [](Window& w) {
             QVERIFY(w.window.isVisible());
             QVERIFY(documentOf(w.window).isOpen());
         },
         .keepsTable = false},
        {.name = "delete rows",
         // The other row is selected; the edited one stays.
         .prepare = [](Window& w) { w.ctrlClickRow(w.rowOf(1)); },
         .run = trigger("deleteRowsAction"), .ran = stillOpen,
         .stopped = [](Window& w) {
             QCOMPARE(tableOf(w.window).table().recordCount(), 2);
             QVERIFY(w.grid().isRowSelected(w.rowOf(1)));
         },
         .shownP = {"999"}, .footer = QStringLiteral("999/999/999"), .fileP = {"999"}, .fileRows = 1},
        {.name = "renumber", .run = trigger("renumberAction"),
         .ran = [](Window& w) { QCOMPARE(w.viewColumn(Field::N), (QStringList{"1", "2"})); },
         .stopped = [](Window& w) { QCOMPARE(w.viewColumn(Field::N), (QStringList{"5", "7"})); }},
        {.name = "set colour", .run = trigger("setColumnColourAction", {Answer::withColour(red)}), .seen = {"columnColourDialog"},
         .ran = stillRed, .stopped = noColour},
        {.name = "remove colour", .prepare = colourP, .run = trigger("clearColumnColourAction"), .ran = noColour, .stopped = stillRed},
        {.name = "remove all colours", .prepare = colourP, .run = trigger("clearAllColoursAction"), .ran = noColour,
         .stopped = stillRed},
    };
}

QStringList described(const std::vector<Seen>& seen)
{
    QStringList list;
    for (const Seen& s : seen)
        list << s.describe();
    return list;
}

} // namespace

Q_DECLARE_METATYPE(EditState)

class CellEditCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandEndsTheCellEditFirst_data();
    void commandEndsTheCellEditFirst();
    // Export, preview and print read the rows with cursors of their own: the grid stays on
    // the user's row, scrolled as the user left it.
    void readingCommandsKeepTheUsersPlace_data();
    void readingCommandsKeepTheUsersPlace();

private:
    // Starts editing P of record 0 and leaves it in `state`.
    void edit(Window& w, EditState state);

    app::ProgramState m_state;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void CellEditCommandsTest::initTestCase()
{
    // The footers and the refusal use the system's decimal separator: a Russian user's.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void CellEditCommandsTest::init()
{
    kvel_test::clearProgramSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    kvel_test::pointPort(1, kNowhere);
    kvel_test::pointPort(2, kNowhere);
    m_state = {};
    m_window = std::make_unique<MainWindow>(m_state);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void CellEditCommandsTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void CellEditCommandsTest::edit(Window& w, EditState state)
{
    views::DataGrid& grid = w.grid();
    // By keyboard, so that a selection made beforehand stays.
    grid.setCurrentRow(w.rowOf(0));
    grid.setCurrentColumn(w.column("P"));
    QTest::keyClick(&grid, Qt::Key_F2);
    QVERIFY(grid.isEditorOpen());
    QTest::keyClicks(grid.editor(), state == EditState::Refused ? kRefusedText : kTyped);
    if (state == EditState::Posted) {
        QTest::keyClick(grid.editor(), Qt::Key_Return);
        grid.setCurrentRow(w.rowOf(1));
        QVERIFY(!grid.model()->isEditing());
        QCOMPARE(w.footerOfP(), QStringLiteral("20/509,5/999"));
    }
    QVERIFY(documentOf(*m_window).isChanged());
}

void CellEditCommandsTest::commandEndsTheCellEditFirst_data()
{
    QTest::addColumn<int>("command"); // index into commandCases()
    QTest::addColumn<EditState>("state");
    const auto cases = commandCases();
    for (int i = 0; i < int(cases.size()); ++i) {
        QTest::addRow("%s, text in the editor", cases[std::size_t(i)].name) << i << EditState::Typed;
        QTest::addRow("%s, refused text", cases[std::size_t(i)].name) << i << EditState::Refused;
        QTest::addRow("%s, row posted", cases[std::size_t(i)].name) << i << EditState::Posted;
    }
}

void CellEditCommandsTest::commandEndsTheCellEditFirst()
{
    QFETCH(int, command);
    QFETCH(EditState, state);
    const CommandCase c = commandCases().at(std::size_t(command));
    if (c.prints && reports::ReportTemplate::printerInstalled())
        QSKIP("a printer is installed here: the print dialog would print for real");
    const QString file = m_dir->filePath(QStringLiteral("site.db"));
    kvel_test::writeTable(file, {{{Field::N, 5.0}, {Field::DATE, "01.01.2024"}, {Field::TIME, "08:00"}, {Field::P, 10.0}},
                                 {{Field::N, 7.0}, {Field::DATE, "01.01.2024"}, {Field::TIME, "09:00"}, {Field::P, 20.0}}});
    QVERIFY(openTableIn(*m_window, file));
    Window w{*m_window, m_dir->path(), file};
    if (c.prepare)
        c.prepare(w);
    edit(w, state);
    if (QTest::currentTestFailed())
        return;

    const std::vector<Seen> seen = c.run(w);
    if (QTest::currentTestFailed())
        return;
    views::DataGrid& grid = w.grid();
    if (state == EditState::Refused) {
        // The grid's own refusal, and nothing of the command.
        QCOMPARE(seen.size(), std::size_t(1));
        QVERIFY2(seen[0].describe().startsWith(QStringLiteral("Ошибка: «99x» не является числом")),
                 qPrintable(seen[0].describe()));
        QCOMPARE(seen[0].icon, QMessageBox::Warning);
        QVERIFY(grid.isEditorOpen());
        QCOMPARE(grid.editor()->text(), kRefusedText);
        QVERIFY(documentOf(*m_window).isOpen());
        QCOMPARE(w.footerOfP(), QStringLiteral("10/15/20"));
        c.stopped(w);
    } else {
        QCOMPARE(described(seen), c.seen);
        if (c.keepsTable) {
            QVERIFY(!grid.isEditorOpen());
            QCOMPARE(w.shownP().mid(0, c.shownP.size()), c.shownP);
            if (!c.footer.isEmpty())
                QCOMPARE(w.footerOfP(), c.footer);
        }
        c.ran(w);
    }
    if (QTest::currentTestFailed())
        return;

    // What reached the file: the window goes without saving or asking anything.
    m_window.reset();
    const QStringList stored = kvel_test::fileColumn(file, Field::P);
    if (state == EditState::Refused) {
        QCOMPARE(stored, (QStringList{"10", "20"}));
    } else {
        QCOMPARE(stored.size(), c.fileRows);
        QCOMPARE(stored.mid(0, c.fileP.size()), c.fileP);
    }
}

void CellEditCommandsTest::readingCommandsKeepTheUsersPlace_data()
{
    QTest::addColumn<int>("command");
    const auto cases = commandCases();
    for (int i = 0; i < int(cases.size()); ++i) {
        const QString name = QString::fromUtf8(cases[std::size_t(i)].name);
        if (name.contains(QStringLiteral("export")) || name.contains(QStringLiteral("preview")) ||
            name.contains(QStringLiteral("print")))
            QTest::addRow("%s", cases[std::size_t(i)].name) << i;
    }
}

void CellEditCommandsTest::readingCommandsKeepTheUsersPlace()
{
    QFETCH(int, command);
    const CommandCase c = commandCases().at(std::size_t(command));
    if (c.prints && reports::ReportTemplate::printerInstalled())
        QSKIP("a printer is installed here: the print dialog would print for real");
    const QString file = m_dir->filePath(QStringLiteral("site.db"));
    kvel_test::Rows rows;
    for (int n = 1; n <= 120; ++n)
        rows.push_back({{Field::N, double(n)}, {Field::DATE, QStringLiteral("01.01.2024")}, {Field::TIME, QStringLiteral("08:00")}, {Field::P, 10.0 * n}});
    kvel_test::writeTable(file, rows);
    QVERIFY(openTableIn(*m_window, file));
    Window w{*m_window, m_dir->path(), file};
    views::DataGrid& grid = w.grid();
    grid.setCurrentRow(70);
    grid.verticalScrollBar()->setValue(55);
    const int top = grid.firstVisibleRow();
    QVERIFY(top > 0 && top <= 70);
    // The user's row is the grid's; the table's own cursor must not move either.
    const int tablePosition = tableOf(*m_window).table().position();

    c.run(w);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(grid.currentRow(), 70);
    QCOMPARE(grid.firstVisibleRow(), top);
    QCOMPARE(grid.model()->currentRow(), 70);
    QCOMPARE(tableOf(*m_window).table().position(), tablePosition);
}

KVEL_WIDGET_TEST_MAIN(CellEditCommandsTest)
#include "cell_edit_commands_test.moc"

