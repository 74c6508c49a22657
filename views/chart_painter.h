#pragma once

// Lays a Chart out in a rectangle and paints it into any painter: the chart view on the
// screen, an image, a PDF page, an SVG file. The layout is computed once, so that whoever
// maps a click to a value (the view) uses the very places the painting used.

#include "views/chart.h"

#include <QRectF>

#include <vector>

class QPainter;

namespace views {

class ChartPainter {
public:
    // `area` in the painter's coordinates; texts are sized by the chart's font in pixels of
    // those coordinates.
    ChartPainter(const Chart& chart, const QRectF& area);

    // The white card the chart stands on, and the plot inside the axes.
    QRectF background() const noexcept { return m_background; }
    QRectF plotArea() const noexcept { return m_plot; }

    // From the axes' values to the painter's coordinates and back.
    QPointF positionOf(const QPointF& value) const;
    QPointF valueAt(const QPointF& position) const;

    void paint(QPainter& painter) const;

private:
    struct LegendEntry {
        const ChartSeries* series;
        QRectF rect; // marker and text
    };
    // With too little room the legend goes first, then the axes' titles: the plot stays.
    void layOut(bool legend, bool axisTitles);
    void paintAxes(QPainter& painter) const;
    void paintSeries(QPainter& painter, const ChartSeries& series) const;
    void paintLegend(QPainter& painter) const;

    const Chart& m_chart;
    QRectF m_area;
    QRectF m_background;
    QRectF m_title;
    QRectF m_plot;
    QRectF m_yTitle;
    QRectF m_xTitle;
    double m_xLabelsTop = 0;
    double m_yLabelsRight = 0;
    std::vector<LegendEntry> m_legend;
    double m_markerSide = 8;
    bool m_axisTitles = true;
};

// The text of an axis label: the user's decimal separator, no thousands separator.
QString axisLabelText(const ChartAxis& axis, double value);

} // namespace views
