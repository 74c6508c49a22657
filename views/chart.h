#pragma once

// A chart as plain values: its title, two value axes, its series and their legend entries.
// The builders fill it (chart_builder.h), ChartPainter draws it into any painter (the screen,
// an image, a PDF page, an SVG file), so that every place shows the same drawing. Nothing
// here draws or knows a widget.

#include <QColor>
#include <QFont>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QString>

#include <vector>

namespace views {

enum class ChartSeriesKind {
    Line,   // a line through the points, left to right
    Points, // marks alone, no line
    Level,  // a horizontal line across the plot at the points' y
};

enum class ChartMarker { Circle, Square };

struct ChartSeries {
    QString objectName; // what the series stands for ("Values", "Mean"…), for whoever reads the chart
    QString name;       // the legend's text
    ChartSeriesKind kind = ChartSeriesKind::Line;
    QPen pen;           // the line of a Line or a Level
    bool pointsVisible = false; // a Line marks each of its points
    ChartMarker marker = ChartMarker::Circle;
    double markerSize = 0; // diameter or side, in pixels of the chart
    QColor markerFill;     // invalid: a hollow mark
    QPen markerPen = QPen(Qt::NoPen);
    bool pointLabels = false; // each point's value written above it
    bool inLegend = true;
    QList<QPointF> points;

    qsizetype count() const noexcept { return points.size(); }
};

struct ChartAxis {
    QString title;
    double min = 0;
    double max = 1;
    std::vector<double> ticks; // where labels and grid lines stand, ascending
    // Labels: 'f' with `precision` decimals, or 'g' with `precision` significant digits.
    char format = 'g';
    int precision = 4;
};

class Chart {
public:
    const QString& title() const noexcept { return m_title; }
    void setTitle(const QString& title) { m_title = title; }

    // Titles are bold in this font; labels and legends use it as it is.
    const QFont& font() const noexcept { return m_font; }
    void setFont(const QFont& font) { m_font = font; }

    // Qt::AlignBottom (entries in rows under the plot) or Qt::AlignRight (one a line beside it).
    Qt::Alignment legendAlignment() const noexcept { return m_legendAlignment; }
    void setLegendAlignment(Qt::Alignment alignment) { m_legendAlignment = alignment; }

    ChartAxis& axisX() noexcept { return m_x; }
    ChartAxis& axisY() noexcept { return m_y; }
    const ChartAxis& axisX() const noexcept { return m_x; }
    const ChartAxis& axisY() const noexcept { return m_y; }

    // Drawn in this order: a later series lies on top of the earlier ones.
    const std::vector<ChartSeries>& series() const noexcept { return m_series; }
    // The reference holds until the next series is added.
    ChartSeries& addSeries(ChartSeries series);
    void removeAllSeries() { m_series.clear(); }
    // The first series of that object name; nullptr when there is none.
    ChartSeries* findSeries(const QString& objectName);
    const ChartSeries* findSeries(const QString& objectName) const;
    // Every series of that object name, in drawing order.
    std::vector<const ChartSeries*> seriesNamed(const QString& objectName) const;

private:
    QString m_title;
    QFont m_font;
    Qt::Alignment m_legendAlignment = Qt::AlignBottom;
    ChartAxis m_x;
    ChartAxis m_y;
    std::vector<ChartSeries> m_series;
};

} // namespace views
