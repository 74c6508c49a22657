#include "views/chart_builder.h"

#include <QLocale>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace views {
namespace {

// One colour per meaning, the same on both charts, on the screen and on paper.
const QColor kValueColour(31, 119, 180);   // the values themselves
const QColor kMeanColour(44, 160, 44);     // mean lines
const QColor kMinimumColour(148, 103, 189);
const QColor kMaximumColour(140, 86, 75); // brown: red is the limit's
const QColor kSelectedColour(255, 127, 14);
const QColor kCurrentColour(Qt::black);
const QColor kLimitColour(208, 16, 16); // the limit and the tests below one, as in the grid

constexpr double kLineWidth = 1.5;
// A line's own point marks: a dot a little wider than the line.
constexpr double kLinePointSize = kLineWidth * 3;

QFont chartFont(const ChartStyle& style)
{
    QFont font;
    font.setPixelSize(std::max(style.fontPixels, 6));
    return font;
}

void prepareChart(Chart& chart, const QString& title, const ChartStyle& style)
{
    chart.removeAllSeries();
    chart.setTitle(title);
    chart.setFont(chartFont(style));
    chart.setLegendAlignment(Qt::AlignBottom);
}

ChartAxis& axisOf(Chart& chart, Qt::Alignment side, const QString& title)
{
    ChartAxis& axis = side == Qt::AlignBottom ? chart.axisX() : chart.axisY();
    axis = ChartAxis{};
    axis.title = title;
    return axis;
}

// Whole-number ticks (push numbers, row numbers) at a step of 1, 2 or 5 times a power of
// ten, so that at most about `ticks` labels stand along the axis.
void setCountingTicks(ChartAxis& axis, int count, int ticks)
{
    double step = 1;
    while (count / step > ticks) {
        const double decade = std::pow(10.0, std::floor(std::log10(step)));
        const double mantissa = step / decade;
        step = (mantissa < 2 ? 2 : mantissa < 5 ? 5 : 10) * decade;
    }
    axis.min = 0.5;
    axis.max = std::max(count, 1) + 0.5;
    axis.ticks.clear();
    for (double t = std::ceil(axis.min / step) * step; t <= axis.max; t += step)
        axis.ticks.push_back(t);
    axis.format = 'f';
    axis.precision = 0;
}

// 1, 2, 5 or 10 times a power of ten: the nearest to `value` when rounding, else the
// smallest not below it.
double niceNumber(double value, bool round)
{
    const double decade = std::pow(10.0, std::floor(std::log10(value)));
    const double f = value / decade;
    double nice;
    if (round)
        nice = f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10;
    else
        nice = f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10;
    return nice * decade;
}

// The range from `lo` to `hi` widened to round numbers, with about five ticks on them.
void setNiceRange(ChartAxis& axis, double lo, double hi)
{
    axis.ticks.clear();
    axis.format = 'g';
    axis.precision = 4;
    if (!(hi > lo)) {
        axis.min = lo;
        axis.max = hi;
        return;
    }
    constexpr int kTicks = 5;
    const double step = niceNumber(niceNumber(hi - lo, false) / (kTicks - 1), true);
    axis.min = std::floor(lo / step) * step;
    axis.max = std::ceil(hi / step) * step;
    const int count = static_cast<int>(std::lround((axis.max - axis.min) / step));
    for (int i = 0; i <= count; ++i)
        axis.ticks.push_back(axis.min + i * step);
}

// A value axis from `lo` to `hi` with some room above and below, on round numbers.
void setValueRange(ChartAxis& axis, double lo, double hi)
{
    if (!hasValue(lo) || !hasValue(hi)) {
        setNiceRange(axis, 0, 1);
        return;
    }
    const double pad = hi > lo ? (hi - lo) * 0.08 : std::max(std::abs(hi) * 0.1, 0.001);
    setNiceRange(axis, lo - pad, hi + pad);
}

ChartSeries& addSeries(Chart& chart, const char* objectName, const QString& name, ChartSeriesKind kind)
{
    ChartSeries series;
    series.objectName = QString::fromLatin1(objectName);
    series.name = name;
    series.kind = kind;
    return chart.addSeries(std::move(series));
}

QPen linePen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(colour);
    pen.setWidthF(kLineWidth);
    pen.setStyle(style);
    return pen;
}

ChartSeries& addLine(Chart& chart, const char* objectName, const QString& name, bool marked)
{
    ChartSeries& line = addSeries(chart, objectName, name, ChartSeriesKind::Line);
    line.pen = linePen(kValueColour);
    line.pointsVisible = marked;
    line.markerSize = kLinePointSize;
    line.markerFill = kValueColour;
    return line;
}

// Filled round points without a line.
ChartSeries& addPoints(Chart& chart, const char* objectName, const QString& name, const QColor& colour, double size)
{
    ChartSeries& points = addSeries(chart, objectName, name, ChartSeriesKind::Points);
    points.pen = QPen(colour);
    points.markerSize = size;
    points.markerFill = colour;
    return points;
}

// Hollow squares round points: the marks of a row that are to be seen over its value's dot.
ChartSeries& addFrames(Chart& chart, const char* objectName, const QString& name, const QColor& colour, double size)
{
    ChartSeries& frames = addSeries(chart, objectName, name, ChartSeriesKind::Points);
    frames.pen = QPen(colour);
    frames.marker = ChartMarker::Square;
    frames.markerSize = size;
    frames.markerPen = QPen(colour, 2);
    return frames;
}

// A dashed line across the whole chart at `value`, named with its value in the legend: on
// the plot a label would vanish under thousands of rows.
void addLevel(Chart& chart, const char* objectName, const QString& name, double value, double from, double to,
              const QColor& colour)
{
    ChartSeries& line = addSeries(chart, objectName, name, ChartSeriesKind::Level);
    line.pen = linePen(colour, Qt::DashLine);
    line.points = QList<QPointF>{{from, value}, {to, value}};
}

} // namespace

int positionAtX(double x, int rows)
{
    if (!std::isfinite(x))
        return -1;
    const double place = std::round(x) - 1;
    return place >= 0 && place < rows ? static_cast<int>(place) : -1;
}

void buildForcesChart(Chart& chart, const TestForces& test, const ChartStyle& style)
{
    QString title = QStringLiteral("Усилия пенетрации, Н");
    if (test.position < 0)
        title += QStringLiteral(": нет текущего испытания");
    else if (!test.hasForces())
        title += QStringLiteral(": не записаны (%1)").arg(test.title);
    else
        title += QStringLiteral(": %1").arg(test.title);
    prepareChart(chart, title, style);
    ChartAxis& x = axisOf(chart, Qt::AlignBottom, QStringLiteral("Погружение №"));
    ChartAxis& y = axisOf(chart, Qt::AlignLeft, QStringLiteral("F, Н"));
    setCountingTicks(x, kPushes, kPushes);

    // Forces start from zero: a push that went wrong is then as far from the others on the
    // chart as it is in newtons.
    double top = 0;
    if (test.position >= 0) {
        for (double f : test.forces)
            top = hasValue(f) ? std::max(top, f) : top;
        top = hasValue(test.mean) ? std::max(top, test.mean) : top;
    }
    setNiceRange(y, 0, top > 0 ? top * 1.12 : 1);

    if (test.position < 0)
        return;
    bool named = false;
    QList<QPointF> lonePoints;
    for (const ValueRun& run : valueRuns(test.forces)) {
        if (run.length() == 1) {
            lonePoints << QPointF(run.first + 1, test.forces[static_cast<std::size_t>(run.first)]);
            continue;
        }
        ChartSeries& line = addLine(chart, "Forces", QStringLiteral("F, Н"), true);
        line.pointLabels = true;
        for (int i = run.first; i <= run.last; ++i)
            line.points << QPointF(i + 1, test.forces[static_cast<std::size_t>(i)]);
        line.inLegend = !named;
        named = true;
    }
    if (!lonePoints.isEmpty()) {
        ChartSeries& points = addPoints(chart, "LoneForces", QStringLiteral("F, Н"), kValueColour, 6);
        points.pointLabels = true;
        points.points = lonePoints;
        points.inLegend = !named;
    }
    if (hasValue(test.mean))
        addLevel(chart, "MeanForce", QStringLiteral("Fср = %1 Н").arg(chartNumberText(test.mean)), test.mean, 0.5,
                 kPushes + 0.5, kMeanColour);
}

void buildTestsChart(Chart& chart, const MeasureSeries& series, std::span<const int> selected, int current,
                     const ChartStyle& style)
{
    const int rows = static_cast<int>(series.values.size());
    QString title = series.caption;
    if (rows == 0)
        title += QStringLiteral(": нет испытаний");
    else if (series.count == 0)
        title += QStringLiteral(": значений нет (испытаний: %1)").arg(rows);
    else if (series.count < rows)
        title += QStringLiteral(": испытаний %1, без значения %2").arg(rows).arg(rows - series.count);
    else
        title += QStringLiteral(": испытаний %1").arg(rows);
    prepareChart(chart, title, style);
    // With a limit the entries no longer fit under the plot: they go beside it, one a line.
    chart.setLegendAlignment(hasValue(series.limit) || !series.failing.empty() ? Qt::AlignRight : Qt::AlignBottom);
    ChartAxis& x = axisOf(chart, Qt::AlignBottom, QStringLiteral("Строка таблицы"));
    // The title above names the figure with its unit; the axis needs no title of its own.
    ChartAxis& y = axisOf(chart, Qt::AlignLeft, QString());
    setCountingTicks(x, rows, 10);
    // The limit line stays in sight even when every value is far above it.
    const bool limited = hasValue(series.limit) && series.count > 0;
    setValueRange(y, limited ? std::min(series.min, series.limit) : series.min,
                  limited ? std::max(series.max, series.limit) : series.max);

    const std::vector<ValueRun> runs = valueRuns(series.values);
    const bool lines = static_cast<int>(runs.size()) <= kMaxValueLines;
    QList<QPointF> lonePoints;
    bool named = false;
    for (const ValueRun& run : runs) {
        if (!lines || run.length() == 1) {
            for (int i = run.first; i <= run.last; ++i)
                lonePoints << QPointF(i + 1, series.values[static_cast<std::size_t>(i)]);
            continue;
        }
        ChartSeries& line = addLine(chart, "Values", QStringLiteral("значения"), rows <= kMaxMarkedPoints);
        line.points.reserve(run.length());
        for (int i = run.first; i <= run.last; ++i)
            line.points << QPointF(i + 1, series.values[static_cast<std::size_t>(i)]);
        line.inLegend = !named;
        named = true;
    }
    if (!lonePoints.isEmpty()) {
        ChartSeries& points = addPoints(chart, "LoneValues", QStringLiteral("значения"), kValueColour,
                                        rows <= kMaxMarkedPoints ? 5 : 3);
        points.points = std::move(lonePoints);
        points.inLegend = !named;
    }

    if (series.count > 0) {
        const double from = 0.5;
        const double to = rows + 0.5;
        addLevel(chart, "Maximum", QStringLiteral("наиб. %1").arg(chartNumberText(series.max)), series.max, from,
                 to, kMaximumColour);
        addLevel(chart, "Mean", QStringLiteral("сред. %1").arg(chartNumberText(series.mean)), series.mean, from, to,
                 kMeanColour);
        addLevel(chart, "Minimum", QStringLiteral("наим. %1").arg(chartNumberText(series.min)), series.min, from,
                 to, kMinimumColour);
    }

    // The limit of this figure, and every test below a limit (of this figure or the other).
    if (limited)
        addLevel(chart, "Limit", QStringLiteral("норматив %1").arg(chartNumberText(series.limit)), series.limit,
                 0.5, rows + 0.5, kLimitColour);
    if (!series.failing.empty()) {
        ChartSeries& failing = addFrames(chart, "BelowLimit",
                                         QStringLiteral("ниже норматива: %1").arg(series.failing.size()), kLimitColour,
                                         rows <= kMaxMarkedPoints ? 10 : 6);
        for (int position : series.failing)
            if (position >= 0 && position < rows && hasValue(series.values[std::size_t(position)]))
                failing.points << QPointF(position + 1, series.values[std::size_t(position)]);
    }

    // The marks go on top of everything else.
    addPoints(chart, "Selected", QStringLiteral("выделено"), kSelectedColour, rows <= kMaxMarkedPoints ? 7 : 5);
    addFrames(chart, "Current", QStringLiteral("текущая"), kCurrentColour, 13);
    setTestsMarks(chart, series, selected, current);
}

void setTestsMarks(Chart& chart, const MeasureSeries& series, std::span<const int> selected, int current)
{
    const auto valueAt = [&series](int position) {
        return position >= 0 && position < static_cast<int>(series.values.size())
            ? series.values[static_cast<std::size_t>(position)]
            : kNoValue;
    };
    if (ChartSeries* marked = chart.findSeries(QStringLiteral("Selected"))) {
        marked->points.clear();
        for (int position : selected)
            if (const double v = valueAt(position); hasValue(v))
                marked->points << QPointF(position + 1, v);
        marked->name = QStringLiteral("выделено: %1").arg(selected.size());
        marked->inLegend = !selected.empty();
    }
    if (ChartSeries* mark = chart.findSeries(QStringLiteral("Current"))) {
        mark->points.clear();
        if (const double v = valueAt(current); hasValue(v))
            mark->points << QPointF(current + 1, v);
        mark->inLegend = !mark->points.isEmpty();
    }
}

} // namespace views
