#include "views/chart_builder.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLocale>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>

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

QFont chartFont(const ChartStyle& style, bool bold = false)
{
    QFont font;
    font.setPixelSize(std::max(style.fontPixels, 6));
    font.setBold(bold);
    return font;
}

void prepareChart(QChart& chart, const QString& title, const ChartStyle& style)
{
    chart.removeAllSeries();
    chart.setTitle(title);
    chart.setTitleFont(chartFont(style, true));
    chart.setMargins(QMargins(2, 2, 2, 2));
    chart.setBackgroundRoundness(0);
    // Numbers in the axes as everywhere in the program: the user's decimal separator and no
    // thousands separator.
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    chart.setLocale(locale);
    chart.setLocalizeNumbers(true);
    chart.legend()->setAlignment(Qt::AlignBottom);
    chart.legend()->setFont(chartFont(style));
    chart.legend()->setVisible(true);
}

// The chart's axis on `side`, made the first time. A chart keeps its axes from one build to
// the next: axes taken out of a chart on the screen leave their drawing behind.
QValueAxis* axisOf(QChart& chart, Qt::Alignment side, const QString& title, const ChartStyle& style)
{
    const Qt::Orientation orientation = side == Qt::AlignBottom ? Qt::Horizontal : Qt::Vertical;
    QValueAxis* axis = nullptr;
    for (QAbstractAxis* a : chart.axes(orientation))
        axis = axis ? axis : qobject_cast<QValueAxis*>(a);
    if (!axis) {
        axis = new QValueAxis;
        chart.addAxis(axis, side);
    }
    axis->setTitleText(title);
    axis->setTitleFont(chartFont(style));
    axis->setLabelsFont(chartFont(style));
    axis->setTickType(QValueAxis::TicksFixed);
    return axis;
}

// Whole-number ticks (push numbers, row numbers) at a step of 1, 2 or 5 times a power of
// ten, so that at most about `ticks` labels stand along the axis.
void setCountingTicks(QValueAxis& axis, int count, int ticks)
{
    double step = 1;
    while (count / step > ticks) {
        const double decade = std::pow(10.0, std::floor(std::log10(step)));
        const double mantissa = step / decade;
        step = (mantissa < 2 ? 2 : mantissa < 5 ? 5 : 10) * decade;
    }
    axis.setRange(0.5, std::max(count, 1) + 0.5);
    axis.setTickType(QValueAxis::TicksDynamic);
    axis.setTickAnchor(0);
    axis.setTickInterval(step);
    // The charts localise their numbers, and then read a format only when it names a
    // precision: "%d" or "%g" would leave the axis without labels.
    axis.setLabelFormat(QStringLiteral("%.0f"));
    axis.setMinorTickCount(0);
}

// A value axis from `lo` to `hi` with some room above and below, on round numbers.
void setValueRange(QValueAxis& axis, double lo, double hi)
{
    if (!hasValue(lo) || !hasValue(hi)) {
        axis.setRange(0, 1);
        return;
    }
    const double pad = hi > lo ? (hi - lo) * 0.08 : std::max(std::abs(hi) * 0.1, 0.001);
    axis.setRange(lo - pad, hi + pad);
    axis.applyNiceNumbers();
    axis.setLabelFormat(QStringLiteral("%.4g"));
}

template <typename Series>
Series* addSeries(QChart& chart, const char* objectName, const QString& name, QValueAxis* x, QValueAxis* y)
{
    auto* series = new Series;
    series->setObjectName(QString::fromLatin1(objectName));
    series->setName(name);
    chart.addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    return series;
}

void showInLegend(QChart& chart, QAbstractSeries* series, bool shown)
{
    for (QLegendMarker* marker : chart.legend()->markers(series))
        marker->setVisible(shown);
}

QPen linePen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(colour);
    pen.setWidthF(kLineWidth);
    pen.setStyle(style);
    return pen;
}

// Points without a line: a line series whose line is not drawn. A scatter series would do
// the same with one graphics item per point, which thousands of points cannot afford.
QLineSeries* addPoints(QChart& chart, const char* objectName, const QString& name, QValueAxis* x, QValueAxis* y,
                       const QColor& colour, double size)
{
    auto* points = addSeries<QLineSeries>(chart, objectName, name, x, y);
    QPen pen(colour);
    pen.setStyle(Qt::NoPen);
    points->setPen(pen);
    points->setPointsVisible(true);
    points->setMarkerSize(size);
    return points;
}

// A dashed line across the whole chart at `value`, named with its value in the legend: on
// the plot a label would vanish under thousands of rows.
void addLevel(QChart& chart, const char* objectName, const QString& name, double value, double from, double to,
              const QColor& colour, QValueAxis* x, QValueAxis* y)
{
    auto* line = addSeries<QLineSeries>(chart, objectName, name, x, y);
    line->setPen(linePen(colour, Qt::DashLine));
    line->replace(QList<QPointF>{{from, value}, {to, value}});
}

// Lays the legend and the chart out now rather than when the event loop comes round, so that
// a picture taken at once shows every legend entry that was just shown or hidden.
void settle(QChart& chart)
{
    if (QGraphicsLayout* legend = chart.legend()->layout())
        legend->activate();
    if (QGraphicsLayout* layout = chart.layout())
        layout->activate();
}

QXYSeries* findSeries(QChart& chart, const char* objectName)
{
    for (QAbstractSeries* series : chart.series())
        if (series->objectName() == QLatin1String(objectName))
            return qobject_cast<QXYSeries*>(series);
    return nullptr;
}

} // namespace

int positionAtX(double x, int rows)
{
    if (!std::isfinite(x))
        return -1;
    const double place = std::round(x) - 1;
    return place >= 0 && place < rows ? static_cast<int>(place) : -1;
}

void buildForcesChart(QChart& chart, const TestForces& test, const ChartStyle& style)
{
    QString title = QStringLiteral("Усилия пенетрации, Н");
    if (test.position < 0)
        title += QStringLiteral(": нет текущего испытания");
    else if (!test.hasForces())
        title += QStringLiteral(": не записаны (%1)").arg(test.title);
    else
        title += QStringLiteral(": %1").arg(test.title);
    prepareChart(chart, title, style);
    QValueAxis* x = axisOf(chart, Qt::AlignBottom, QStringLiteral("Погружение №"), style);
    QValueAxis* y = axisOf(chart, Qt::AlignLeft, QStringLiteral("F, Н"), style);
    setCountingTicks(*x, kPushes, kPushes);

    // Forces start from zero: a push that went wrong is then as far from the others on the
    // chart as it is in newtons.
    double top = 0;
    if (test.position >= 0) {
        for (double f : test.forces)
            top = hasValue(f) ? std::max(top, f) : top;
        top = hasValue(test.mean) ? std::max(top, test.mean) : top;
    }
    y->setRange(0, top > 0 ? top * 1.12 : 1);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.4g"));

    if (test.position < 0) {
        settle(chart);
        return;
    }
    bool named = false;
    QList<QPointF> lonePoints;
    for (const ValueRun& run : valueRuns(test.forces)) {
        if (run.length() == 1) {
            lonePoints << QPointF(run.first + 1, test.forces[static_cast<std::size_t>(run.first)]);
            continue;
        }
        auto* line = addSeries<QLineSeries>(chart, "Forces", QStringLiteral("F, Н"), x, y);
        line->setPen(linePen(kValueColour));
        line->setPointsVisible(true);
        line->setPointLabelsVisible(true);
        line->setPointLabelsFormat(QStringLiteral("@yPoint"));
        line->setPointLabelsFont(chartFont(style));
        line->setPointLabelsClipping(false);
        QList<QPointF> points;
        for (int i = run.first; i <= run.last; ++i)
            points << QPointF(i + 1, test.forces[static_cast<std::size_t>(i)]);
        line->replace(points);
        showInLegend(chart, line, !named);
        named = true;
    }
    if (!lonePoints.isEmpty()) {
        auto* points = addPoints(chart, "LoneForces", QStringLiteral("F, Н"), x, y, kValueColour, 6);
        points->setPointLabelsVisible(true);
        points->setPointLabelsFormat(QStringLiteral("@yPoint"));
        points->setPointLabelsFont(chartFont(style));
        points->setPointLabelsClipping(false);
        points->replace(lonePoints);
        showInLegend(chart, points, !named);
    }
    if (hasValue(test.mean))
        addLevel(chart, "MeanForce", QStringLiteral("Fср = %1 Н").arg(chartNumberText(test.mean)), test.mean, 0.5,
                 kPushes + 0.5, kMeanColour, x, y);
    settle(chart);
}

void buildTestsChart(QChart& chart, const MeasureSeries& series, std::span<const int> selected, int current,
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
    chart.legend()->setAlignment(hasValue(series.limit) || !series.failing.empty() ? Qt::AlignRight : Qt::AlignBottom);
    QValueAxis* x = axisOf(chart, Qt::AlignBottom, QStringLiteral("Строка таблицы"), style);
    // The title above names the figure with its unit; the axis needs no title of its own.
    QValueAxis* y = axisOf(chart, Qt::AlignLeft, QString(), style);
    setCountingTicks(*x, rows, 10);
    // The limit line stays in sight even when every value is far above it.
    const bool limited = hasValue(series.limit) && series.count > 0;
    setValueRange(*y, limited ? std::min(series.min, series.limit) : series.min,
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
        QList<QPointF> points;
        points.reserve(run.length());
        for (int i = run.first; i <= run.last; ++i)
            points << QPointF(i + 1, series.values[static_cast<std::size_t>(i)]);
        auto* line = addSeries<QLineSeries>(chart, "Values", QStringLiteral("значения"), x, y);
        line->setPen(linePen(kValueColour));
        line->setPointsVisible(rows <= kMaxMarkedPoints);
        line->replace(points);
        showInLegend(chart, line, !named);
        named = true;
    }
    if (!lonePoints.isEmpty()) {
        auto* points = addPoints(chart, "LoneValues", QStringLiteral("значения"), x, y, kValueColour,
                                 rows <= kMaxMarkedPoints ? 5 : 3);
        points->replace(lonePoints);
        showInLegend(chart, points, !named);
    }

    if (series.count > 0) {
        const double from = 0.5;
        const double to = rows + 0.5;
        addLevel(chart, "Maximum", QStringLiteral("наиб. %1").arg(chartNumberText(series.max)), series.max, from,
                 to, kMaximumColour, x, y);
        addLevel(chart, "Mean", QStringLiteral("сред. %1").arg(chartNumberText(series.mean)), series.mean, from, to,
                 kMeanColour, x, y);
        addLevel(chart, "Minimum", QStringLiteral("наим. %1").arg(chartNumberText(series.min)), series.min, from,
                 to, kMinimumColour, x, y);
    }

    // The limit of this figure, and every test below a limit (of this figure or the other).
    if (limited)
        addLevel(chart, "Limit", QStringLiteral("норматив %1").arg(chartNumberText(series.limit)), series.limit,
                 0.5, rows + 0.5, kLimitColour, x, y);
    if (!series.failing.empty()) {
        auto* failing = addSeries<QScatterSeries>(chart, "BelowLimit",
                                                  QStringLiteral("ниже норматива: %1").arg(series.failing.size()), x, y);
        failing->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        failing->setMarkerSize(rows <= kMaxMarkedPoints ? 10 : 6);
        failing->setBrush(Qt::NoBrush);
        failing->setPen(QPen(kLimitColour, 2));
        QList<QPointF> points;
        for (int position : series.failing)
            if (position >= 0 && position < rows && hasValue(series.values[std::size_t(position)]))
                points << QPointF(position + 1, series.values[std::size_t(position)]);
        failing->replace(points);
    }

    // The marks go on top of everything else.
    addPoints(chart, "Selected", QStringLiteral("выделено"), x, y, kSelectedColour,
              rows <= kMaxMarkedPoints ? 7 : 5);
    auto* currentMark = addSeries<QScatterSeries>(chart, "Current", QStringLiteral("текущая"), x, y);
    currentMark->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    currentMark->setMarkerSize(13);
    currentMark->setBrush(Qt::NoBrush);
    currentMark->setPen(QPen(kCurrentColour, 2));
    setTestsMarks(chart, series, selected, current);
}

void setTestsMarks(QChart& chart, const MeasureSeries& series, std::span<const int> selected, int current)
{
    const auto valueAt = [&series](int position) {
        return position >= 0 && position < static_cast<int>(series.values.size())
            ? series.values[static_cast<std::size_t>(position)]
            : kNoValue;
    };
    if (QXYSeries* marked = findSeries(chart, "Selected")) {
        QList<QPointF> points;
        for (int position : selected)
            if (const double v = valueAt(position); hasValue(v))
                points << QPointF(position + 1, v);
        marked->replace(points);
        marked->setName(QStringLiteral("выделено: %1").arg(selected.size()));
        showInLegend(chart, marked, !selected.empty());
    }
    if (QXYSeries* mark = findSeries(chart, "Current")) {
        QList<QPointF> points;
        if (const double v = valueAt(current); hasValue(v))
            points << QPointF(current + 1, v);
        mark->replace(points);
        showInLegend(chart, mark, !points.isEmpty());
    }
    settle(chart);
}

} // namespace views
