// The charts of the tests: the values they plot against the table's own (gaps where a field
// is empty, the grid's order after a sort), the current test's forces, a click that moves the
// grid, the marks of the selection, every change of the rows, a hidden panel that catches up
// when shown, a grabbed picture of the panel and the files "Сохранить график…" writes.

#include "views/chart_panel.h"
#include "views/chart_picture.h"
#include "views/chart_view.h"
#include "views/grid_tabs.h"
#include "views/table_model.h"

#include "views_test_support.h"

#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace views {
namespace {

using store::Field;
using test::Cells;

const double kEmpty = std::nan("");

// Penetrometer tests with a hole in every figure, and two press tests. Each row: N, R, U
// (E), P7 (K), the five forces, P.
struct Sample {
    double n, r, e, k;
    double forces[5];
    double p;
};
const Sample kTests[] = {
    {1, 1.5, 20, 0.95, {100, 200, 300, 400, 500}, 300},
    {2, kEmpty, 25, 0.9, {250, 260, kEmpty, 240, 255}, 251.25},
    {3, 0.5, kEmpty, 0.97, {kEmpty, 900, kEmpty, kEmpty, 880}, 890},
    {4, 2.25, 30, kEmpty, {410, 420, 430, 440, 450}, 430},
    {5, 1.0, 35, 0.92, {kEmpty, kEmpty, kEmpty, kEmpty, kEmpty}, kEmpty},
    {6, 3.0, 40, 0.93, {1000, 1010, 40, 1020, 1030}, 820},
};
// Press tests keep their compaction coefficient in K, not P7.
struct PressTest {
    double n, r, k;
};
const PressTest kPressTests[] = {{11, 7.5, 3}, {12, kEmpty, 5}};

Cells cellsOf(const Sample& t)
{
    Cells cells{{Field::N, t.n}};
    const auto put = [&cells](Field f, double v) {
        if (!std::isnan(v))
            cells.emplace_back(f, v);
    };
    put(Field::R, t.r);
    put(Field::U, t.e);
    put(Field::P7, t.k);
    put(Field::P, t.p);
    const Field forces[] = {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5};
    for (int i = 0; i < 5; ++i)
        put(forces[i], t.forces[i]);
    return cells;
}

Cells cellsOf(const PressTest& t)
{
    Cells cells{{Field::N, t.n}, {Field::NB_TYPE, double(store::kPressKind)}, {Field::K, t.k}};
    if (!std::isnan(t.r))
        cells.emplace_back(Field::R, t.r);
    return cells;
}

double figureOf(const Sample& t, ChartMeasure m)
{
    return m == ChartMeasure::R ? t.r : m == ChartMeasure::E ? t.e : t.k;
}

// Equal, with an empty value equal only to an empty one.
::testing::AssertionResult sameValues(const std::vector<double>& actual, const std::vector<double>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " values, expected " << expected.size();
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const bool bothEmpty = std::isnan(actual[i]) && std::isnan(expected[i]);
        if (!bothEmpty && !(std::abs(actual[i] - expected[i]) < 1e-9))
            return ::testing::AssertionFailure() << "at " << i << ": " << actual[i] << ", expected " << expected[i];
    }
    return ::testing::AssertionSuccess();
}

std::vector<const ChartSeries*> seriesNamed(const Chart& chart, const char* name)
{
    return chart.seriesNamed(QString::fromLatin1(name));
}

// What a chart plots at the places 1…count, read back from its value series (lines and lone
// points): an empty value where nothing stands. Every line must join neighbours only, and no
// place may be plotted twice.
std::vector<double> plotted(const Chart& chart, const char* lines, const char* points, int count)
{
    std::vector<double> values(static_cast<std::size_t>(count), kEmpty);
    const auto put = [&](const QPointF& p) {
        const int place = static_cast<int>(std::lround(p.x())) - 1;
        EXPECT_EQ(p.x(), place + 1.0) << "a value off its place";
        EXPECT_TRUE(place >= 0 && place < count) << "place " << place;
        if (place < 0 || place >= count)
            return;
        EXPECT_TRUE(std::isnan(values[static_cast<std::size_t>(place)])) << "place " << place << " plotted twice";
        values[static_cast<std::size_t>(place)] = p.y();
    };
    for (const ChartSeries* line : seriesNamed(chart, lines)) {
        const QList<QPointF> pts = line->points;
        EXPECT_GE(pts.size(), 2) << "a line of one point";
        for (qsizetype i = 0; i < pts.size(); ++i) {
            if (i > 0) {
                EXPECT_EQ(pts[i].x(), pts[i - 1].x() + 1) << "a line runs across a gap";
            }
            put(pts[i]);
        }
    }
    for (const ChartSeries* lone : seriesNamed(chart, points))
        for (const QPointF& p : lone->points)
            put(p);
    return values;
}

// The y of a horizontal level line; nothing when the chart has none.
std::optional<double> level(const Chart& chart, const char* name)
{
    const auto found = seriesNamed(chart, name);
    if (found.size() != 1 || found.front()->count() < 2)
        return std::nullopt;
    const QList<QPointF> pts = found.front()->points;
    for (const QPointF& p : pts)
        EXPECT_EQ(p.y(), pts[0].y()) << name << " is not level";
    return pts[0].y();
}

class ChartPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<Cells> rows;
        for (const Sample& t : kTests)
            rows.push_back(cellsOf(t));
        for (const PressTest& t : kPressTests)
            rows.push_back(cellsOf(t));
        m_fixture = std::make_unique<test::TableFixture>(rows);
        m_tabs = std::make_unique<GridTabs>(m_fixture->document(), &m_page1, &m_page2);
        m_tabs->grid1()->resize(1000, 600);
        m_panel = std::make_unique<ChartPanel>(m_fixture->document(), *m_tabs);
        m_panel->resize(1200, 400);
        m_page1.show();
        m_panel->show();
        draw();
    }

    void TearDown() override
    {
        m_panel.reset();
        m_tabs.reset();
        m_fixture.reset();
    }

    // Lets the panel draw what it has gathered, as the event loop would.
    void draw() { QCoreApplication::processEvents(); }

    int rows() { return m_fixture->table().table().recordCount(); }
    std::vector<double> tests() { return plotted(*m_panel->testsChart(), "Values", "LoneValues", rows()); }
    std::vector<double> forces() { return plotted(*m_panel->forcesChart(), "Forces", "LoneForces", kPushes); }
    DataGrid& grid() { return *m_tabs->grid1(); }

    // The figure of each row as the grid lists them now, from the fixture by N.
    std::vector<double> expectedInGridOrder(ChartMeasure m)
    {
        std::vector<double> values;
        for (const QString& n : test::columnTexts(grid(), QStringLiteral("N")))
            for (const Sample& t : kTests)
                if (QString::number(t.n) == n)
                    values.push_back(figureOf(t, m));
        return values;
    }
    const Sample& testAtRow(int row)
    {
        const QString n = test::columnTexts(grid(), QStringLiteral("N")).at(row);
        for (const Sample& t : kTests)
            if (QString::number(t.n) == n)
                return t;
        ADD_FAILURE() << "no test N " << n.toStdString();
        return kTests[0];
    }

    QWidget m_page1, m_page2;
    std::unique_ptr<test::TableFixture> m_fixture;
    std::unique_ptr<GridTabs> m_tabs;
    std::unique_ptr<ChartPanel> m_panel;
};

// ---- the values ---------------------------------------------------------------------------

struct ValueRunsCase {
    const char* name;
    std::vector<double> values;
    std::vector<std::pair<int, int>> runs;
};

TEST(ChartData, ValueRunsBreakAtEveryEmptyValue)
{
    const ValueRunsCase cases[] = {
        {"nothing", {}, {}},
        {"one value", {4}, {{0, 0}}},
        {"only empty", {kEmpty, kEmpty}, {}},
        {"a hole inside", {1, 2, kEmpty, 3}, {{0, 1}, {3, 3}}},
        {"holes at both ends", {kEmpty, 1, kEmpty, kEmpty, 2, 3, kEmpty}, {{1, 1}, {4, 5}}},
        {"zero is a value", {0, 0, kEmpty, 0}, {{0, 1}, {3, 3}}},
    };
    for (const ValueRunsCase& c : cases) {
        std::vector<std::pair<int, int>> runs;
        for (const ValueRun& r : valueRuns(c.values))
            runs.emplace_back(r.first, r.last);
        EXPECT_EQ(runs, c.runs) << c.name;
    }
}

TEST(ChartData, EachFigureComesFromItsTabsField)
{
    struct Case {
        ChartMeasure measure;
        int kind;
        Field field;
        const char* caption;
    };
    const Case cases[] = {
        {ChartMeasure::R, store::kPenetrometerKind, Field::R, "P, Сопротивление пенетрации, МПа"},
        {ChartMeasure::E, store::kPenetrometerKind, Field::U, "E, Модуль упругости, МПа"},
        {ChartMeasure::K, store::kPenetrometerKind, Field::P7, "K, Коэфициент уплотнения"},
        {ChartMeasure::R, store::kPressKind, Field::R, "Сопротивление пенетрации, МПа"},
        {ChartMeasure::E, store::kPressKind, Field::U, "Модуль упругости, МПа"},
        {ChartMeasure::K, store::kPressKind, Field::K, "Коэфициент уплотнения"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(measureField(c.measure, c.kind), c.field) << measureKey(c.measure).toStdString() << c.kind;
        EXPECT_EQ(measureCaption(c.measure, c.kind), QString::fromUtf8(c.caption));
        EXPECT_EQ(measureFromKey(measureKey(c.measure)), c.measure);
    }
    EXPECT_EQ(measureFromKey(QStringLiteral("something else")), ChartMeasure::R);
}

TEST(ChartData, LabelsHaveAtMostThreeDecimals)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const std::pair<double, const char*> cases[] = {
        {1234.5, "1234,5"}, {0.95349, "0,953"}, {2.0, "2"}, {-0.0001, "0"}, {13107, "13107"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(chartNumberText(value), QString::fromUtf8(text)) << value;
    EXPECT_TRUE(chartNumberText(kEmpty).isEmpty());
    QLocale::setDefault(before);
}

// Stretches of values are lines up to a limit; past it every value is a point, and still in
// its place.
TEST(ChartBuilder, ManyStretchesBecomePoints)
{
    struct Case {
        const char* name;
        int stretches;
        std::size_t lines;
    };
    const Case cases[] = {
        {"a few", 3, 3},
        {"at the limit", kMaxValueLines, std::size_t(kMaxValueLines)},
        {"past it", kMaxValueLines + 1, 0},
    };
    for (const Case& c : cases) {
        MeasureSeries series;
        series.caption = QStringLiteral("R");
        for (int i = 0; i < c.stretches; ++i) // two values and a hole, again and again
            series.values.insert(series.values.end(), {1.0 + i % 7, 2.0 + i % 5, kEmpty});
        series.count = 2 * c.stretches;
        series.min = 1;
        series.max = 7;
        series.mean = 3;
        Chart chart;
        buildTestsChart(chart, series, {}, -1, {});
        const int rows = static_cast<int>(series.values.size());
        EXPECT_EQ(seriesNamed(chart, "Values").size(), c.lines) << c.name;
        EXPECT_TRUE(sameValues(plotted(chart, "Values", "LoneValues", rows), series.values)) << c.name;
    }
}

TEST_F(ChartPanelTest, TestsChartPlotsEachFigureWithGapsAndItsLevels)
{
    for (ChartMeasure m : kChartMeasures) {
        m_panel->setMeasure(m);
        draw();
        std::vector<double> expected;
        double lo = INFINITY, hi = -INFINITY, sum = 0;
        int count = 0;
        for (const Sample& t : kTests) {
            const double v = figureOf(t, m);
            expected.push_back(v);
            if (!std::isnan(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
                sum += v;
                ++count;
            }
        }
        SCOPED_TRACE(measureKey(m).toStdString());
        EXPECT_TRUE(sameValues(tests(), expected));
        // Empty values are left out of the levels: they are no zeros.
        EXPECT_EQ(level(*m_panel->testsChart(), "Minimum"), lo);
        EXPECT_EQ(level(*m_panel->testsChart(), "Maximum"), hi);
        ASSERT_TRUE(level(*m_panel->testsChart(), "Mean"));
        EXPECT_NEAR(*level(*m_panel->testsChart(), "Mean"), sum / count, 1e-9);
        EXPECT_TRUE(m_panel->testsChart()->title().startsWith(measureCaption(m, store::kPenetrometerKind)));
    }
}

TEST_F(ChartPanelTest, TestsBelowALimitAreMarkedWithTheLimitLine)
{
    // K below 0.93: tests 2 and 5; E below 30: tests 1 and 2. Test 3 has no E, test 4 no K.
    m_fixture->document().setLimits({0.93, 30.0});
    const auto marks = [&] {
        std::vector<std::pair<double, double>> out;
        for (const ChartSeries* s : seriesNamed(*m_panel->testsChart(), "BelowLimit"))
            for (const QPointF& p : s->points)
                out.emplace_back(p.x(), p.y());
        return out;
    };
    struct Case {
        ChartMeasure measure;
        std::optional<double> limit;
        std::vector<std::pair<double, double>> marked; // (row, value); a row without a value has none
    };
    const Case cases[] = {
        // Each chart marks only the tests below its own measure's limit: test 1 fails E, not
        // K, and is no mark on the K chart; R has no limit and marks none.
        {ChartMeasure::K, 0.93, {{2, 0.9}, {5, 0.92}}},
        {ChartMeasure::E, 30.0, {{1, 20}, {2, 25}}},
        {ChartMeasure::R, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(measureKey(c.measure).toStdString());
        m_panel->setMeasure(c.measure);
        draw();
        EXPECT_EQ(marks(), c.marked);
        EXPECT_EQ(level(*m_panel->testsChart(), "Limit"), c.limit);
    }
    // Limits off: no marks, no line.
    m_fixture->document().setLimits({});
    draw();
    EXPECT_TRUE(seriesNamed(*m_panel->testsChart(), "BelowLimit").empty());
    EXPECT_FALSE(level(*m_panel->testsChart(), "Limit"));
}

TEST_F(ChartPanelTest, TestsChartFollowsTheGridsSortOrder)
{
    const int column = grid().columnOfField(QStringLiteral("R"));
    for (int click = 0; click < 2; ++click) { // descending, then ascending
        test::clickTitle(grid(), column);
        draw();
        const std::vector<double> expected = expectedInGridOrder(ChartMeasure::R);
        EXPECT_TRUE(sameValues(tests(), expected)) << "after click " << click + 1;
    }
    EXPECT_NE(expectedInGridOrder(ChartMeasure::R).front(), kTests[0].r) << "the sort changed nothing";
}

TEST_F(ChartPanelTest, ForcesChartFollowsTheCurrentRow)
{
    for (int row : {0, 1, 2, 5, 4}) {
        grid().setCurrentRow(row);
        draw();
        SCOPED_TRACE(row);
        const Sample& t = testAtRow(row);
        EXPECT_TRUE(sameValues(forces(), std::vector<double>(std::begin(t.forces), std::end(t.forces))));
        const auto mean = level(*m_panel->forcesChart(), "MeanForce");
        EXPECT_EQ(mean.has_value(), !std::isnan(t.p));
        EXPECT_EQ(mean.value_or(kEmpty) == t.p, !std::isnan(t.p));
        EXPECT_TRUE(m_panel->forcesChart()->title().contains(QStringLiteral("N %1").arg(t.n)));
        // The current row is marked on the tests chart where it has a value.
        const auto current = seriesNamed(*m_panel->testsChart(), "Current");
        ASSERT_EQ(current.size(), 1u);
        const QList<QPointF> marked = std::isnan(t.r) ? QList<QPointF>{} : QList<QPointF>{QPointF(row + 1, t.r)};
        EXPECT_EQ(current.front()->points, marked);
    }
}

TEST_F(ChartPanelTest, AClickOnTheTestsChartMakesThatRowCurrent)
{
    ChartView* view = m_panel->testsView();
    struct Case {
        int row;
        double y; // where on the chart; a row without a value is clicked at any height
    };
    const Case cases[] = {{4, kTests[4].r}, {0, kTests[0].r}, {1, 2.0}, {5, kTests[5].r}};
    for (const Case& c : cases) {
        const QPoint at = view->positionOf(QPointF(c.row + 1, c.y)).toPoint();
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, at);
        draw();
        EXPECT_EQ(grid().currentRow(), c.row);
        EXPECT_EQ(m_panel->snapshot().forces.position, c.row);
    }
    // The slot the click calls, with places outside the rows: nothing moves.
    m_panel->showRow(3);
    EXPECT_EQ(grid().currentRow(), 3);
    for (int outside : {-1, rows(), 1000}) {
        m_panel->showRow(outside);
        EXPECT_EQ(grid().currentRow(), 3);
    }
}

TEST_F(ChartPanelTest, SelectedRowsAreMarked)
{
    grid().selectRow(0);
    grid().selectRow(1); // no R: counted, but nothing to mark
    grid().selectRow(3);
    draw();
    const auto marked = seriesNamed(*m_panel->testsChart(), "Selected");
    ASSERT_EQ(marked.size(), 1u);
    EXPECT_EQ(marked.front()->points, (QList<QPointF>{{1, kTests[0].r}, {4, kTests[3].r}}));
    EXPECT_TRUE(marked.front()->name.endsWith(QStringLiteral(": 3")));
    EXPECT_EQ(m_panel->snapshot().selected, (std::vector<int>{0, 1, 3}));
    grid().clearSelection();
    draw();
    EXPECT_EQ(marked.front()->count(), 0);
}

struct ChangeCase {
    const char* name;
    std::function<void(test::TableFixture&, GridTabs&)> change;
    // The R values of the shown tab afterwards, in view order.
    std::vector<double> expected;
    int kind = store::kPenetrometerKind;
};

TEST_F(ChartPanelTest, ChangesOfTheRowsRedrawTheCharts)
{
    std::vector<double> before;
    for (const Sample& t : kTests)
        before.push_back(t.r);
    const auto without = [&](std::size_t i) {
        std::vector<double> v = before;
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
        return v;
    };
    auto edited = before;
    edited[2] = 9.75;
    auto appended = before;
    appended.push_back(4.5);
    auto cleared = before;
    cleared[0] = kEmpty;

    const ChangeCase cases[] = {
        {"append", [](test::TableFixture& f, GridTabs&) { f.append({{Field::N, 7.0}, {Field::R, 4.5}}); }, appended},
        {"delete", [](test::TableFixture& f, GridTabs&) { f.document().deleteRecords({f.table().table().recordAt(3)}); },
         without(3)},
        {"edit through the grid",
         [](test::TableFixture&, GridTabs& tabs) {
             tabs.grid1()->setCurrentRow(2);
             tabs.grid1()->setCurrentColumn(tabs.grid1()->columnOfField(QStringLiteral("R")));
             ASSERT_TRUE(tabs.grid1()->startEdit());
             test::typeIntoEditor(*tabs.grid1(), QStringLiteral("9,75"));
             tabs.grid1()->setCurrentRow(0); // leaving the row posts it
         },
         edited},
        {"value emptied",
         [](test::TableFixture& f, GridTabs& tabs) {
             tabs.model()->setCellText(0, f.table().column(Field::R), QString());
             tabs.model()->post();
         },
         cleared},
        {"tab switch", [](test::TableFixture& f, GridTabs&) { f.document().showKind(store::kPressKind); },
         {kPressTests[0].r, kPressTests[1].r}, store::kPressKind},
    };
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_TRUE(sameValues(tests(), before));
        c.change(*m_fixture, *m_tabs);
        draw();
        EXPECT_TRUE(sameValues(tests(), c.expected));
        EXPECT_TRUE(m_panel->testsChart()->title().startsWith(measureCaption(ChartMeasure::R, c.kind)));
        // The choice of figure names the figures as the shown tab's grid does.
        auto* choice = m_panel->findChild<QComboBox*>(QStringLiteral("ChartMeasure"));
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->itemText(2), measureCaption(ChartMeasure::K, c.kind));
    }
}

TEST_F(ChartPanelTest, PressTabShowsKFromItsOwnField)
{
    m_fixture->document().showKind(store::kPressKind);
    m_panel->setMeasure(ChartMeasure::K);
    draw();
    EXPECT_TRUE(sameValues(tests(), {kPressTests[0].k, kPressTests[1].k}));
    // Press tests have no forces: the chart says so and draws none.
    EXPECT_TRUE(sameValues(forces(), std::vector<double>(kPushes, kEmpty)));
    EXPECT_TRUE(m_panel->forcesChart()->title().contains(QStringLiteral("не записаны")));
}

TEST_F(ChartPanelTest, AHiddenPanelDrawsNothingUntilShown)
{
    const std::vector<double> shown = tests();
    m_panel->hide();
    m_fixture->append({{Field::N, 7.0}, {Field::R, 4.5}});
    draw();
    // The charts on the screen are left as they were...
    EXPECT_TRUE(sameValues(plotted(*m_panel->testsChart(), "Values", "LoneValues", rows() - 1), shown));
    // ...but what a saved picture or the report draws is read afresh.
    std::vector<double> now = shown;
    now.push_back(4.5);
    EXPECT_TRUE(sameValues(m_panel->snapshot().tests.values, now));
    m_panel->show();
    draw();
    EXPECT_TRUE(sameValues(tests(), now));
}

TEST_F(ChartPanelTest, WithNoTableThePanelSaysSo)
{
    m_fixture->document().close();
    draw();
    auto* placeholder = m_panel->findChild<QWidget*>(QStringLiteral("ChartPlaceholder"));
    ASSERT_TRUE(placeholder);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_FALSE(m_panel->testsView()->isVisible());
    EXPECT_TRUE(m_panel->snapshot().tests.values.empty());
    EXPECT_EQ(m_panel->snapshot().forces.position, -1);
}

// ---- pictures -----------------------------------------------------------------------------

int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

TEST_F(ChartPanelTest, GrabbedPanelShowsBothCharts)
{
    grid().setCurrentRow(5);
    grid().selectRow(3);
    draw();
    const QImage image = m_panel->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), m_panel->size() * m_panel->devicePixelRatioF());
    EXPECT_GT(colourCount(image), 16);
    // Each chart's own part of the picture is drawn, not only one of them.
    for (ChartView* view : {m_panel->forcesView(), m_panel->testsView()}) {
        const QImage part = view->grab().toImage();
        EXPECT_GT(colourCount(part), 8) << view->objectName().toStdString();
    }
    // Under KVEL_CHART_SHOTS the picture is kept, to be looked at.
    if (const QString folder = qEnvironmentVariable("KVEL_CHART_SHOTS"); !folder.isEmpty())
        image.save(folder + QStringLiteral("/chart_panel.png"));
}

struct FileCase {
    ChartFileFormat format;
    QByteArray magic;
};

TEST_F(ChartPanelTest, SavedPicturesAreValidFiles)
{
    QTemporaryDir dir;
    const QSize size(900, 600);
    const FileCase cases[] = {
        {ChartFileFormat::Png, QByteArray("\x89PNG\r\n\x1a\n", 8)},
        {ChartFileFormat::Svg, QByteArray("<?xml")},
        {ChartFileFormat::Pdf, QByteArray("%PDF-")},
    };
    for (const FileCase& c : cases) {
        const QString path = dir.filePath(QStringLiteral("charts.") + chartSuffix(c.format));
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(chartFormatOf(path), c.format);
        ASSERT_EQ(writeCharts(path, c.format, m_panel->snapshot(), size), QString());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith(c.magic));
        EXPECT_GT(bytes.size(), 2000);
        switch (c.format) {
        case ChartFileFormat::Png: {
            QImage image;
            ASSERT_TRUE(image.loadFromData(bytes, "PNG"));
            EXPECT_EQ(image.size(), size);
            EXPECT_GT(colourCount(image), 16);
            break;
        }
        case ChartFileFormat::Svg: {
            EXPECT_TRUE(bytes.contains("<svg"));
            // Well-formed, as big as asked, and holding the drawing: the charts' titles as
            // text and the values' lines in their colour.
            QXmlStreamReader xml(bytes);
            QString viewBox;
            QStringList texts;
            int valuePaths = 0;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement)
                    continue;
                if (xml.name() == QLatin1String("svg"))
                    viewBox = xml.attributes().value(QLatin1String("viewBox")).toString();
                else if (xml.name() == QLatin1String("path") &&
                         xml.attributes().value(QLatin1String("stroke")) == QLatin1String("#1f77b4"))
                    ++valuePaths;
                else if (xml.name() == QLatin1String("text"))
                    texts << xml.readElementText();
            }
            EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
            EXPECT_EQ(viewBox, QStringLiteral("0 0 %1 %2").arg(size.width()).arg(size.height()));
            // A line of text may come in pieces, one per script.
            const QString written = texts.join(QString());
            EXPECT_TRUE(written.contains(m_panel->snapshot().tests.caption + QStringLiteral(": испытаний 6, без значения 1")))
                << texts.join(QLatin1Char('|')).toStdString();
            EXPECT_TRUE(written.contains(QStringLiteral("Строка таблицы")));
            EXPECT_GE(valuePaths, 2);
            break;
        }
        case ChartFileFormat::Pdf:
            EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
            break;
        }
    }
    EXPECT_EQ(chartFormatOf(QStringLiteral("charts.jpg")), std::nullopt);
    // A file that cannot be written says why, and leaves nothing behind.
    const QString nowhere = dir.filePath(QStringLiteral("no such folder/charts.png"));
    EXPECT_FALSE(writeCharts(nowhere, ChartFileFormat::Png, m_panel->snapshot(), size).isEmpty());
    EXPECT_FALSE(QFile::exists(nowhere));
}

} // namespace
} // namespace views
