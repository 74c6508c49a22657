// "Экспорт в Excel" end to end from the main window (headless): the save dialog, the file
// written in file order while the grid keeps its sort and current row, the messages. Every written file is read back by python3-xlrd
// (its warnings count as failures) and converted to CSV by LibreOffice; both must show the
// cells the table holds, in the export's layout.

#include "widget_test_support.h"
#include "window_access.h"
#include "workbook_reader.h"

#include "app/main_window.h"
#include "app/program_state.h"
#include "export/csv_export.h"
#include "store/measurement_table.h"
#include "views/data_grid.h"
#include "views/grid_tabs.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUuid>

#include <deque>
#include <optional>
#include <variant>
#include <unistd.h>

using namespace kvel_test;

using store::Field;
using kvel_test::Cell;
using kvel_test::Grid;
using kvel_test::XlrdBook;
using kvel_test::describe;
using kvel_test::havePythonXlrd;
using kvel_test::readWithXlrd;

namespace {

// One row of a test table: the fields given, the others blank.
using Value = std::variant<double, QString>;
using Row = std::vector<std::pair<Field, Value>>;

Row penetrometerRow(int k)
{
    Row row = {{Field::N, double(k + 1)},
               {Field::DATE, QStringLiteral("0%1.04.2025").arg(k + 1)},
               {Field::TIME, QStringLiteral("09:1%1").arg(k)},
               {Field::NB_TYPE, 0.0},
               {Field::COMMENT, QStringLiteral("поле, участок %1").arg(k)},
               // File order has P rising, so a sort by P descending is visibly undone.
               {Field::P, 100.5 + k}};
    const Field more[] = {Field::R, Field::U, Field::P7, Field::H, Field::P6, Field::S,
                          Field::P1, Field::P2, Field::P3, Field::P4, Field::P5};
    for (Field f : more)
        row.emplace_back(f, 10.0 * static_cast<int>(f) + k + 0.25);
    return row;
}

Row pressRow(int k)
{
    // A press row: the penetrometer-only fields stay blank, and TIME is blank too.
    return {{Field::N, double(50 + k)}, {Field::DATE, QStringLiteral("1%1.05.2025").arg(k)},
            {Field::NB_TYPE, 1.0}, {Field::P, 7.5 + k}, {Field::R, 0.5 + k}};
}

void createTable(const QString& path, const std::vector<Row>& rows)
{
    store::MeasurementTable::create(path);
    store::MeasurementTable table;
    table.open(path);
    for (const Row& row : rows) {
        table.table().append();
        for (const auto& [field, value] : row) {
            if (const double* d = std::get_if<double>(&value))
                table.setReal(field, *d);
            else
                table.setText(field, std::get<QString>(value));
        }
        table.table().post();
    }
    table.close();
}

// The sheet the user expects: texts, numbers, or nothing, by row and column.
Grid expectedSheet(const std::vector<Row>& exported)
{
    const char* const headings[] = {
        "N", "Дата", "Время", "Fср. Ср. усилие пенетрации, Н", "P, Сопротивление пенетрации, МПа",
        "E, Модуль упругости, МПа", "K, Коэфициент уплотнения", "I, Индекс влажности",
        "f, Угол внутреннего трения, град", "C, Удельное сцепление грунта, МПа",
        "F, Усилие пенетрации, Н", "Примечание"};
    struct Place { int column, blockRow; Field field; bool text; };
    const Place layout[] = {
        {0, 0, Field::N, false},  {1, 0, Field::DATE, true}, {2, 0, Field::TIME, true},
        {3, 0, Field::P, false},  {4, 0, Field::R, false},   {5, 0, Field::U, false},
        {6, 0, Field::P7, false}, {7, 0, Field::H, false},   {8, 0, Field::P6, false},
        {9, 0, Field::S, false},  {10, 0, Field::P1, false}, {10, 1, Field::P2, false},
        {10, 2, Field::P3, false}, {10, 3, Field::P4, false}, {10, 4, Field::P5, false},
        {11, 0, Field::COMMENT, true}};
    Grid grid(1 + 5 * exported.size(), std::vector<Cell>(12));
    for (int c = 0; c < 12; ++c)
        grid[0][static_cast<std::size_t>(c)] = QString::fromUtf8(headings[c]);
    for (std::size_t k = 0; k < exported.size(); ++k) {
        for (const Place& p : layout) {
            Cell cell; // a blank field, text or number, is no cell
            for (const auto& [field, value] : exported[k])
                if (field == p.field)
                    cell = std::holds_alternative<double>(value) ? Cell{std::get<double>(value)}
                                                                  : Cell{std::get<QString>(value)};
            if (const QString* s = std::get_if<QString>(&cell); s && s->isEmpty())
                cell = {};
            grid[1 + 5 * k + static_cast<std::size_t>(p.blockRow)][static_cast<std::size_t>(p.column)] = cell;
        }
    }
    return grid;
}

// Compares cell by cell; a number read as text (CSV) is compared as a number.
void compareSheets(const Grid& got, const Grid& want, const char* reader)
{
    const std::size_t rows = std::max(got.size(), want.size());
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < 12 + 1; ++c) {
            const Cell g = r < got.size() && c < got[r].size() ? got[r][c] : Cell{};
            const Cell w = r < want.size() && c < want[r].size() ? want[r][c] : Cell{};
            bool same = g == w;
            if (!same && std::holds_alternative<double>(w) && std::holds_alternative<QString>(g)) {
                bool ok = false;
                const double d = std::get<QString>(g).toDouble(&ok);
                same = ok && d == std::get<double>(w);
            }
            if (!same)
                QFAIL(qPrintable(QStringLiteral("%1: row %2 column %3 holds %4, expected %5")
                                     .arg(QLatin1String(reader)).arg(r).arg(c).arg(describe(g), describe(w))));
        }
    }
}

// Answers the modal windows of one command in turn: a file dialog with a file name (or
// cancelled), message boxes with a button; records what the boxes said.
class Answers : public QObject {
public:
    struct Answer {
        QString file;                                        // for a file dialog; empty cancels
        QMessageBox::StandardButton button = QMessageBox::Ok; // for a box
    };
    explicit Answers(std::initializer_list<Answer> answers) : m_answers(answers)
    {
        // Polling only delivers the answers; nothing is asserted about when they come.
        connect(&m_timer, &QTimer::timeout, this, &Answers::poll);
        m_timer.start(5);
    }
    const std::vector<kvel_test::SeenBox>& boxes() const noexcept { return m_boxes; }
    int fileDialogs() const noexcept { return m_fileDialogs; }
    // The name filters the last file dialog offered.
    const QString& filter() const noexcept { return m_filter; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal == m_last) {
            // A window that stays up long after its answer would hold the test for ever:
            // it is closed, and the test sees it counted twice.
            if (++m_unchanged == 400)
                QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
            return;
        }
        m_unchanged = 0;
        if (!modal)
            return;
        m_last = modal;
        const Answer answer = m_answers.empty() ? Answer{} : m_answers.front();
        if (!m_answers.empty())
            m_answers.pop_front();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->objectName()});
            if (QAbstractButton* b = box->button(answer.button))
                QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(box, &QDialog::reject, Qt::QueuedConnection);
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            ++m_fileDialogs;
            m_filter = files->nameFilters().join(QLatin1Char(';'));
            if (answer.file.isEmpty()) {
                QMetaObject::invokeMethod(files, &QDialog::reject, Qt::QueuedConnection);
            } else {
                files->selectFile(answer.file);
                // selectFile leaves the name field alone once the field has the focus, so
                // the name is typed into the field as the user would (a full path is taken
                // as it stands).
                if (auto* edit = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    edit->setText(answer.file);
                QMetaObject::invokeMethod(files, &QDialog::accept, Qt::QueuedConnection);
            }
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        }
    }

    QTimer m_timer;
    std::deque<Answer> m_answers;
    std::vector<kvel_test::SeenBox> m_boxes;
    int m_fileDialogs = 0;
    int m_unchanged = 0; // polls that found the same window still up
    QString m_filter;
    QPointer<QWidget> m_last;
};

QString sofficePath()
{
    for (const char* p : {"/usr/bin/soffice", "/usr/bin/libreoffice"})
        if (QFile::exists(QString::fromLatin1(p)))
            return QString::fromLatin1(p);
    return {};
}

// RFC 4180 as LibreOffice writes it: fields quoted when they hold the separator or quotes.
Grid parseCsv(const QString& text)
{
    Grid grid;
    std::vector<Cell> row;
    QString field;
    bool quoted = false, inQuotes = false;
    const auto endField = [&] {
        if (quoted || !field.isEmpty())
            row.emplace_back(field);
        else
            row.emplace_back();
        field.clear();
        quoted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (inQuotes) {
            if (ch == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (ch == u'"') {
                inQuotes = false;
            } else {
                field += ch;
            }
        } else if (ch == u'"') {
            inQuotes = quoted = true;
        } else if (ch == u',') {
            endField();
        } else if (ch == u'\n') {
            endField();
            grid.push_back(std::move(row));
            row.clear();
        } else if (ch != u'\r') {
            field += ch;
        }
    }
    if (!row.empty() || !field.isEmpty()) {
        endField();
        grid.push_back(std::move(row));
    }
    return grid;
}

std::optional<Grid> readWithLibreOffice(const QString& file, const QString& workDir)
{
    const QString profile = QDir(workDir).filePath(QStringLiteral("lo_") + QUuid::createUuid().toString(QUuid::Id128));
    const QString outDir = QDir(workDir).filePath(QStringLiteral("csv"));
    QDir().mkpath(outDir);
    const kvel_test::ProcessOutput out = kvel_test::runProcess(sofficePath(),
        {QStringLiteral("-env:UserInstallation=file://") + profile, QStringLiteral("--headless"),
         QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
         QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"), outDir, file});
    QFile csv(QDir(outDir).filePath(QFileInfo(file).completeBaseName() + QStringLiteral(".csv")));
    if (!out.ran || !csv.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "LibreOffice did not convert:" << QString::fromUtf8(out.out + out.err);
        return std::nullopt;
    }
    return parseCsv(QString::fromUtf8(csv.readAll()));
}

} // namespace

class ExportCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exportsTheShownTab_data();
    void exportsTheShownTab();
    void cancelledDialogChangesNothing();
    void replacingAFileIsAskedFirst();
    void csvIsWrittenForACsvName();
    void unwritableTargetShowsAnError_data();
    void unwritableTargetShowsAnError();
    void exportOntoItsOwnTableIsRefused_data();
    void exportOntoItsOwnTableIsRefused();

private:
    // Opens a table of `rows` in a new main window.
    void openWindow(const std::vector<Row>& rows);
    // Sorts the shown grid by P, descending (title state Up), as a title click does.
    void sortShownGridByP();
    bool shownGridSorted() const;

    std::unique_ptr<QTemporaryDir> m_dir; // a fresh folder for every test
    std::unique_ptr<app::ProgramState> m_state;
    std::unique_ptr<app::MainWindow> m_window;
};

void ExportCommandTest::init()
{
    kvel_test::clearProgramSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void ExportCommandTest::cleanup()
{
    if (m_window)
        documentOf(*m_window).close();
    m_window.reset();
    m_state.reset();
    m_dir.reset();
}

void ExportCommandTest::openWindow(const std::vector<Row>& rows)
{
    const QString table = m_dir->filePath(QStringLiteral("tests.db"));
    createTable(table, rows);
    m_state = std::make_unique<app::ProgramState>();
    m_window = std::make_unique<app::MainWindow>(*m_state);
    m_window->show();
    QVERIFY(openTableIn(*m_window, table));
}

void ExportCommandTest::sortShownGridByP()
{
    views::DataGrid* grid = (&shownGridOf(*m_window));
    const int column = grid->columnOfField(QStringLiteral("P"));
    QVERIFY(column >= 0);
    grid->setTitleState(column, views::TitleState::Up);
    // As a click on the title would tell it.
    emit grid->titleStateChanged(column);
    QVERIFY(!tableOf(*m_window).table().indexName().empty());
}

bool ExportCommandTest::shownGridSorted() const
{
    const views::DataGrid* grid = (&shownGridOf(*m_window));
    for (int c = 0; c < grid->columnCount(); ++c)
        if (grid->column(c).titleState != views::TitleState::None)
            return true;
    return !tableOf(*m_window).table().tagNames().empty();
}

void ExportCommandTest::exportsTheShownTab_data()
{
    QTest::addColumn<std::vector<Row>>("rows");
    QTest::addColumn<QString>("tab");
    QTest::addColumn<std::vector<Row>>("exported");
    const std::vector<Row> pen = {penetrometerRow(0), penetrometerRow(1), penetrometerRow(2)};
    QTest::newRow("first tab") << pen << "penetrometerPage" << pen;
    const std::vector<Row> mixed = {penetrometerRow(0), pressRow(0), penetrometerRow(1), pressRow(1)};
    QTest::newRow("second tab") << mixed << "pressPage" << std::vector<Row>{pressRow(0), pressRow(1)};
    QTest::newRow("empty view") << std::vector<Row>{} << "penetrometerPage" << std::vector<Row>{};
}

void ExportCommandTest::exportsTheShownTab()
{
    QFETCH(std::vector<Row>, rows);
    QFETCH(QString, tab);
    QFETCH(std::vector<Row>, exported);
    openWindow(rows);
    auto* pages = m_window->findChild<QTabWidget*>(QStringLiteral("kindTabs"));
    QCOMPARE(pages->currentWidget()->objectName(), tab);
    const store::DbfTable& table = tableOf(*m_window).table();
    views::DataGrid& grid = shownGridOf(*m_window);
    if (!exported.empty()) {
        sortShownGridByP();
        grid.setCurrentRow(table.recordCount() - 1); // the user works on the last row of the sorted view
    }
    const std::vector<std::uint32_t> viewBefore = table.view();
    const int rowBefore = table.position();

    const QString file = m_dir->filePath(QStringLiteral("export.xls"));
    {
        Answers answers({{file}, {}});
        m_window->findChild<QAction*>(QStringLiteral("exportAction"))->trigger();
        QCOMPARE(answers.fileDialogs(), 1);
        // The workbook first, as always; CSV for other spreadsheets next to it.
        QCOMPARE(answers.filter(), QStringLiteral("Книга Excel (*.xls);Книга Excel 2007 и новее (*.xlsx);"
                                                  "Текст CSV для электронных таблиц (*.csv)"));
        QCOMPARE(answers.boxes().size(), std::size_t{1});
        const kvel_test::SeenBox& done = answers.boxes().front();
        QCOMPARE(done.title, QStringLiteral("Экспорт в Excel"));
        QCOMPARE(done.text, QStringLiteral("Экспорт в файл export.xls завершен успешно."));
        QCOMPARE(done.icon, QMessageBox::Information);
        QCOMPARE(done.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QVERIFY(QFile::exists(file));
    // The user's view stays: its sort, its order and the row the user is on.
    QCOMPARE(shownGridSorted(), !exported.empty());
    QCOMPARE(table.view(), viewBefore);
    QCOMPARE(table.position(), rowBefore);
    QCOMPARE(grid.currentRow(), rowBefore);
    // The save dialog still serves New with its own filter.
    QCOMPARE((&dialogOf(*m_window, "saveFileDialog"))->nameFilters().join(u';'), QStringLiteral("Файлы данных (*.db)"));

    const Grid want = expectedSheet(exported);
    if (!havePythonXlrd()) {
        qWarning("python3-xlrd missing: the file is not read back by xlrd");
    } else {
        const std::optional<XlrdBook> book = readWithXlrd(file);
        QVERIFY2(book, "xlrd reads the file without a warning");
        QCOMPARE(book->names, QStringList{QStringLiteral("ВРТ-ТК5")});
        compareSheets(book->sheets.front(), want, "xlrd");
        if (QTest::currentTestFailed())
            return;
    }
    if (sofficePath().isEmpty())
        QSKIP("LibreOffice missing: the file is not converted to CSV");
    const std::optional<Grid> csv = readWithLibreOffice(file, m_dir->path());
    QVERIFY(csv);
    compareSheets(*csv, want, "LibreOffice");
}

void ExportCommandTest::cancelledDialogChangesNothing()
{
    openWindow({penetrometerRow(0), penetrometerRow(1)});
    sortShownGridByP();
    {
        Answers answers({{QString()}});
        m_window->findChild<QAction*>(QStringLiteral("exportAction"))->trigger();
        QCOMPARE(answers.fileDialogs(), 1);
        QVERIFY(answers.boxes().empty());
    }
    QVERIFY2(shownGridSorted(), "the sorting stays when nothing is exported");
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*.xls")}, QDir::Files), QStringList{});
}

void ExportCommandTest::replacingAFileIsAskedFirst()
{
    openWindow({penetrometerRow(0)});
    const QString file = m_dir->filePath(QStringLiteral("old.xls"));
    {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("not a workbook");
    }
    {
        // The question about the existing file, answered Yes, then the success message.
        Answers answers({{file}, {QString(), QMessageBox::Yes}, {}});
        m_window->findChild<QAction*>(QStringLiteral("exportAction"))->trigger();
        QCOMPARE(answers.boxes().size(), std::size_t{2});
        QVERIFY(answers.boxes()[0].text.contains(QStringLiteral("old.xls")));
        QCOMPARE(answers.boxes()[1].text, QStringLiteral("Экспорт в файл old.xls завершен успешно."));
    }
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    // A compound document now, not the old bytes.
    QCOMPARE(written.read(8), QByteArray::fromHex("D0CF11E0A1B11AE1"));
}

void ExportCommandTest::csvIsWrittenForACsvName()
{
    const std::vector<Row> mixed = {penetrometerRow(0), pressRow(0), penetrometerRow(1), pressRow(1)};
    openWindow(mixed);
    sortShownGridByP();
    const QString file = m_dir->filePath(QStringLiteral("tests.CSV"));
    {
        Answers answers({{file}, {}});
        m_window->findChild<QAction*>(QStringLiteral("exportAction"))->trigger();
        QCOMPARE(answers.boxes().size(), std::size_t{1});
        QCOMPARE(answers.boxes().front().text, QStringLiteral("Экспорт в файл tests.CSV завершен успешно."));
    }
    QVERIFY2(shownGridSorted(), "the export keeps the sort");
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    // The press tab's rows in file order, whatever the view's sort.
    QCOMPARE(bytes, table_export::csvBytes(tableOf(*m_window)));
    m_window->findChild<QAction*>(QStringLiteral("unsortAction"))->trigger();
    QVERIFY(!shownGridSorted());
    QCOMPARE(bytes, table_export::csvBytes(tableOf(*m_window)));
    QCOMPARE(bytes.count("\r\n"), 3);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
}

void ExportCommandTest::unwritableTargetShowsAnError_data()
{
    QTest::addColumn<QString>("target"); // relative to the test folder
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("folder missing") << "missing/a.xls" << false;
    QTest::newRow("folder is a file") << "plain/a.xls" << false;
    QTest::newRow("no permission") << "locked/a.xls" << true;
}

void ExportCommandTest::unwritableTargetShowsAnError()
{
    QFETCH(QString, target);
    QFETCH(bool, readOnlyFolder);
    openWindow({penetrometerRow(0)});
    {
        QFile plain(m_dir->filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }
    const QString locked = m_dir->filePath(QStringLiteral("locked"));
    if (readOnlyFolder) {
        QVERIFY(QDir().mkpath(locked));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QFile probe(QDir(locked).filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("this user may write into a read-only folder (root)");
        }
    }
    // The dialog returns such names as they are typed; the writer is the one to fail.
    const QString file = m_dir->filePath(target);
    Answers answers({{file}, {}});
    m_window->findChild<QAction*>(QStringLiteral("exportAction"))->trigger();
    if (readOnlyFolder)
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(answers.fileDialogs(), 1);
    QCOMPARE(answers.boxes().size(), std::size_t{1});
    const kvel_test::SeenBox& error = answers.boxes().front();
    QCOMPARE(error.title, QStringLiteral("Ошибка"));
    QCOMPARE(error.icon, QMessageBox::Critical);
    // The writer's own message, not the program's "internal error" wording.
    QVERIFY2(error.text.contains(QStringLiteral("StgCreateDocFile error ")), qPrintable(error.text));
    QVERIFY2(error.text.contains(QStringLiteral("«a.xls»")), qPrintable(error.text));
    QVERIFY(!QFile::exists(file));
}

void ExportCommandTest::exportOntoItsOwnTableIsRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("the table itself") << "tests.db";
    QTest::newRow("a link to the table") << "link.xls";
    QTest::newRow("another name of the table") << "same.csv";
}

void ExportCommandTest::exportOntoItsOwnTableIsRefused()
{
    QFETCH(QString, target);
    openWindow({penetrometerRow(0), penetrometerRow(1)});
    const QString table = m_dir->filePath(QStringLiteral("tests.db"));
    const QString file = m_dir->filePath(target);
    if (target == QLatin1String("link.xls"))
        QVERIFY(QFile::link(table, file));
    else if (target == QLatin1String("same.csv"))
        QCOMPARE(::link(QFile::encodeName(table).constData(), QFile::encodeName(file).constData()), 0);
    QFile before(table);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();

    // The dialog asks about replacing the existing file; the user says yes.
    Answers answers({{file}, {QString(), QMessageBox::Yes}, {}});
    m_window->findChild<QAction*>(QStringLiteral("exportAction"))->trigger();
    QCOMPARE(answers.boxes().size(), std::size_t{2});
    const kvel_test::SeenBox& error = answers.boxes().back();
    QCOMPARE(error.icon, QMessageBox::Critical);
    QCOMPARE(error.text, QStringLiteral("Нельзя записать в «%1»: это таблица, из которой берутся данные.").arg(target));
    QVERIFY(tableOf(*m_window).isActive());
    QFile after(table);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
}

KVEL_WIDGET_TEST_MAIN(ExportCommandTest)
#include "export_command_test.moc"

