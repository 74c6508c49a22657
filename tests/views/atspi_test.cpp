// The grids read through the real AT-SPI bridge, as a screen reader reads them: the program
// runs on an X display with a session bus and the accessibility bus, Qt's bridge is on, and
// a small reader in another process walks the window after every change, asking again about
// what it kept from the walk before. The test runs inside run_in_atspi_session.sh; without a
// display, a bus or the reader's library it skips and says what is missing.

#include "accessibility_support.h"

#include "views/table_model.h"

#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>
#include <optional>

namespace views {
namespace {

// Bounds that only keep a broken run from hanging; the verdict never depends on them.
constexpr int kBridgeStartMs = 10000;
constexpr int kReaderAnswerMs = 40000;

QString whyNoBridge()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X display (run under xvfb-run)");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return QStringLiteral("no session bus (run under dbus-run-session)");
    QDeadlineTimer deadline(kBridgeStartMs);
    while (!QAccessible::isActive() && !deadline.hasExpired())
        QTest::qWait(20);
    if (!QAccessible::isActive())
        return QStringLiteral("Qt's AT-SPI bridge did not come up (is the accessibility bus, at-spi2-core, there?)");
    return {};
}

// What the reader said about one table in one walk.
struct ReadTable {
    QString name;
    int rows = -1;
    int columns = -1;
    int children = -1;
    QStringList firstRow;
};

// The reader process: started with our process id, fed "walk" lines, read line by line while
// our event loop keeps running (the bridge answers its questions from that loop).
class Reader {
public:
    bool start(QString* why)
    {
        const QString script = QStringLiteral(KVEL_ATSPI_READER);
        m_process.setProgram(QStringLiteral("/usr/bin/python3"));
        m_process.setArguments({script, QString::number(QCoreApplication::applicationPid())});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted()) {
            *why = QStringLiteral("cannot start /usr/bin/python3");
            return false;
        }
        const std::optional<QStringList> line = nextLine();
        if (!line || line->value(0) != QLatin1String("ready")) {
            *why = QStringLiteral("the AT-SPI reader did not start: ") +
                   (line ? line->join(QLatin1Char(' ')) : QString()) +
                   QString::fromUtf8(m_process.readAllStandardError()).trimmed();
            return false;
        }
        return true;
    }

    ~Reader()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("quit\n");
        m_process.closeWriteChannel();
        QDeadlineTimer deadline(5000);
        while (m_process.state() != QProcess::NotRunning && !deadline.hasExpired())
            QTest::qWait(20);
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    // One walk of the whole window; empty when the reader did not finish it.
    std::optional<std::vector<ReadTable>> walk(int* refused)
    {
        m_process.write("walk\n");
        std::vector<ReadTable> tables;
        while (const std::optional<QStringList> line = nextLine()) {
            const QString kind = line->value(0);
            if (kind == QLatin1String("table")) {
                ReadTable t{line->value(1), line->value(2).toInt(), line->value(3).toInt(), line->value(4).toInt(),
                            line->value(5).split(QChar(0x1f))};
                if (t.firstRow == QStringList{QString()})
                    t.firstRow.clear();
                tables.push_back(t);
            } else if (kind == QLatin1String("done")) {
                *refused = line->value(4).toInt();
                return tables;
            } else {
                ADD_FAILURE() << "reader: " << line->join(QLatin1Char(' ')).toStdString();
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    // Waits in a plain event loop, which answers the bridge's calls as soon as they come
    // (a polling wait would hold every one of the reader's questions up).
    std::optional<QStringList> nextLine()
    {
        QDeadlineTimer deadline(kReaderAnswerMs);
        while (!m_process.canReadLine()) {
            if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
                return std::nullopt;
            QEventLoop loop;
            QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
            QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(deadline.remainingTime(), &loop, &QEventLoop::quit);
            loop.exec();
        }
        return QString::fromUtf8(m_process.readLine()).chopped(1).split(QLatin1Char('\t'));
    }

    QProcess m_process;
};

class AtspiBridge : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString why = whyNoBridge();
        if (!why.isEmpty())
            GTEST_SKIP() << why.toStdString();
    }
};

// What the reader found must be what the grid shows: its name, counts and first row.
void expectReadAsShown(const std::vector<ReadTable>& tables, DataGrid& grid)
{
    const auto found = std::find_if(tables.begin(), tables.end(),
                                    [&](const ReadTable& t) { return t.name == grid.accessibleName(); });
    if (found == tables.end()) {
        // A grid on a tab that is not shown may be left out; the shown one never is.
        EXPECT_FALSE(grid.isVisible()) << grid.objectName().toStdString() << " was not found by the reader";
        return;
    }
    const int rows = grid.model()->rowCount();
    EXPECT_EQ(found->rows, rows);
    EXPECT_EQ(found->columns, grid.columnCount());
    EXPECT_EQ(found->children, rows * grid.columnCount());
    QStringList shown;
    for (int c = 0; rows > 0 && c < grid.columnCount(); ++c)
        shown << grid.cellText(0, c);
    EXPECT_EQ(found->firstRow, shown);
}

TEST_F(AtspiBridge, AReaderWalksTheWindowThroughEveryChangeWithoutHarm)
{
    test::GridScene scene;
    Reader reader;
    QString why;
    if (!reader.start(&why))
        GTEST_SKIP() << why.toStdString();

    int refused = 0;
    const auto first = reader.walk(&refused);
    ASSERT_TRUE(first.has_value()) << reader.errors().toStdString();
    expectReadAsShown(*first, scene.grid1());
    for (const test::GridChange& change : test::gridChanges()) {
        SCOPED_TRACE(change.name);
        change.apply(scene);
        QTest::qWait(10);
        const auto tables = reader.walk(&refused);
        ASSERT_TRUE(tables.has_value()) << reader.errors().toStdString();
        expectReadAsShown(*tables, scene.grid1());
        expectReadAsShown(*tables, scene.grid2());
        // The same grids, read in-process at the same moment.
        test::walkAccessibleGrid(scene.grid1());
        test::walkAccessibleGrid(scene.grid2());
    }
}

// What the grids tell assistive technology, recorded instead of sent to the bridge while
// a test case runs (Qt calls the table's own model-change handling either way).
struct Told {
    QObject* object;
    QAccessible::Event type;
    int child;
    int change; // the table-model change, or -1
    int firstRow;
    int lastRow;
};
std::vector<Told>* g_told = nullptr;

void record(QAccessibleEvent* event)
{
    if (!g_told)
        return;
    Told t{event->object(), event->type(), event->child(), -1, -1, -1};
    if (event->type() == QAccessible::TableModelChanged) {
        auto* change = static_cast<QAccessibleTableModelChangeEvent*>(event);
        t.change = change->modelChangeType();
        t.firstRow = change->firstRow();
        t.lastRow = change->lastRow();
    }
    g_told->push_back(t);
}

class Recording {
public:
    Recording() : m_previous(QAccessible::installUpdateHandler(&record)) { g_told = &m_told; }
    ~Recording()
    {
        g_told = nullptr;
        QAccessible::installUpdateHandler(m_previous);
    }
    std::vector<Told> take()
    {
        QCoreApplication::processEvents(); // the focus of the current cell is told queued
        return std::exchange(m_told, {});
    }

private:
    QAccessible::UpdateHandler m_previous;
    std::vector<Told> m_told;
};

std::vector<Told> from(const std::vector<Told>& told, QObject* object, QAccessible::Event type)
{
    std::vector<Told> found;
    std::copy_if(told.begin(), told.end(), std::back_inserter(found),
                 [&](const Told& t) { return t.object == object && t.type == type; });
    return found;
}

TEST_F(AtspiBridge, TheGridsTellOfChangesAndOfTheFocusedCell)
{
    test::GridScene scene;
    DataGrid& grid1 = scene.grid1();
    DataGrid& grid2 = scene.grid2();
    const int columns = grid1.columnCount();
    document::MeasurementDocument& document = scene.fixture().document();
    ASSERT_EQ(grid1.model()->rowCount(), 4);
    Recording recording;
    recording.take();

    // A new view of the shared model (a sort, then file order again): both tables say so.
    const int date = scene.fixture().table().column(store::Field::DATE);
    const std::function<void()> newViews[] = {[&] { document.sort(store::kTab1, date, true); },
                                              [&] { document.unsort(store::kTab1); }};
    std::vector<Told> told;
    for (const auto& newView : newViews) {
        newView();
        told = recording.take();
        for (DataGrid* grid : {&grid1, &grid2}) {
            const auto changes = from(told, grid, QAccessible::TableModelChanged);
            ASSERT_EQ(changes.size(), 1u) << grid->objectName().toStdString();
            EXPECT_EQ(changes[0].change, QAccessibleTableModelChangeEvent::ModelReset);
        }
    }

    // The cursor moving in the focused grid names the new cell by its child index; a grid
    // without the focus says nothing when its cursor moves.
    grid1.setFocus();
    recording.take();
    grid1.setCurrentRow(2);
    told = recording.take();
    auto focus = from(told, &grid1, QAccessible::Focus);
    ASSERT_FALSE(focus.empty());
    EXPECT_EQ(focus.back().child, 2 * columns + grid1.currentColumn());
    grid2.setCurrentRow(3);
    EXPECT_TRUE(from(recording.take(), &grid2, QAccessible::Focus).empty());

    // In edit, the editor has the focus and no cell claims it; a changed value is told as
    // changed data of its row in both grids; back from the editor, the current cell has the
    // focus again, after the grid itself.
    grid1.setCurrentRow(1);
    grid1.setCurrentColumn(grid1.columnOfField(QStringLiteral("COMMENT")));
    recording.take();
    ASSERT_TRUE(grid1.startEdit());
    grid1.editor()->setText(QStringLiteral("Песок"));
    told = recording.take();
    EXPECT_FALSE(from(told, grid1.editor(), QAccessible::Focus).empty());
    for (const Told& t : from(told, &grid1, QAccessible::Focus))
        EXPECT_LT(t.child, 0) << "a cell claimed the focus while the editor had it";
    QTest::keyClick(grid1.editor(), Qt::Key_Return);
    told = recording.take();
    for (DataGrid* grid : {&grid1, &grid2}) {
        const auto changes = from(told, grid, QAccessible::TableModelChanged);
        ASSERT_FALSE(changes.empty()) << grid->objectName().toStdString();
        EXPECT_EQ(changes.back().change, QAccessibleTableModelChangeEvent::DataChanged);
        EXPECT_EQ(changes.back().firstRow, 1);
        EXPECT_EQ(changes.back().lastRow, 1);
    }
    focus = from(told, &grid1, QAccessible::Focus);
    ASSERT_FALSE(focus.empty());
    EXPECT_EQ(focus.back().child, 1 * columns + grid1.columnOfField(QStringLiteral("COMMENT")));

    // Rows deleted and added through the document: told with their numbers, and no cell
    // from before is kept. The edited row is written first, as every command does.
    ASSERT_TRUE(grid1.endEdit());
    struct RowsCase {
        const char* name;
        std::function<void()> apply;
        QAccessibleTableModelChangeEvent::ModelChangeType type;
        int first;
        int last;
    };
    const RowsCase rowsCases[] = {
        {"rows 1-2 deleted", [&] { scene.deleteRows(1, 2); }, QAccessibleTableModelChangeEvent::RowsRemoved, 1, 2},
        {"a row added after the two left", [&] { scene.appendRow(5); }, QAccessibleTableModelChangeEvent::RowsInserted, 2, 2},
    };
    for (const RowsCase& c : rowsCases) {
        SCOPED_TRACE(c.name);
        const auto kept = test::walkAccessibleGrid(grid2);
        recording.take();
        c.apply();
        const auto changes = from(recording.take(), &grid2, QAccessible::TableModelChanged);
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_EQ(changes[0].change, c.type);
        EXPECT_EQ(changes[0].firstRow, c.first);
        EXPECT_EQ(changes[0].lastRow, c.last);
        for (QAccessible::Id id : kept)
            EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr) << "a cell outlived the rows' change";
        test::walkAccessibleGrid(grid2);
    }
}

} // namespace
} // namespace views

int main(int argc, char** argv)
{
    // The bridge comes up only on a real display with a session bus; elsewhere the program
    // still starts (offscreen) so that every test can say why it skips.
    const bool desktop = !qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
    qputenv("QT_QPA_PLATFORM", desktop ? "xcb" : "offscreen");
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
