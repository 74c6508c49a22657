#pragma once

// A Chart on the screen. It paints the chart it holds whenever it is asked to (update()),
// names the x under a click on its plot (not a drag), and shows what `tip` says of the x
// under the resting mouse.

#include "views/chart.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace views {

class ChartPainter;

class ChartView : public QWidget {
    Q_OBJECT

public:
    explicit ChartView(QWidget* parent = nullptr);
    ~ChartView() override;

    Chart& chart() noexcept { return m_chart; }
    const Chart& chart() const noexcept { return m_chart; }

    // Where a value of the axes stands in the view, and the x under a point of the view
    // (nothing outside the plot), as the chart is painted at the view's present size.
    QPointF positionOf(const QPointF& value) const;
    std::optional<double> xAt(const QPointF& at) const;

    // The text of the tooltip over the plot at x; none without it or when it says nothing.
    std::function<QString(double x)> tip;

    QSize sizeHint() const override;

signals:
    void clicked(double x);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ChartPainter layout() const;

    Chart m_chart;
    QPointF m_pressedAt;
};

} // namespace views
