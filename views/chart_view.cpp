#include "views/chart_view.h"

#include "views/chart_painter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace views {

ChartView::ChartView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setMinimumSize(160, 120);
    // Reached by Tab, so that a screen reader can read the chart's description.
    setFocusPolicy(Qt::StrongFocus);
}

ChartView::~ChartView() = default;

ChartPainter ChartView::layout() const
{
    return ChartPainter(m_chart, QRectF(rect()));
}

QPointF ChartView::positionOf(const QPointF& value) const
{
    return layout().positionOf(value);
}

std::optional<double> ChartView::xAt(const QPointF& at) const
{
    const ChartPainter painter = layout();
    if (m_chart.series().empty() || !painter.plotArea().contains(at))
        return std::nullopt;
    return painter.valueAt(at).x();
}

QSize ChartView::sizeHint() const
{
    return {400, 300};
}

void ChartView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    layout().paint(painter);
}

void ChartView::mousePressEvent(QMouseEvent* event)
{
    m_pressedAt = event->position();
    QWidget::mousePressEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    const bool click = (event->position() - m_pressedAt).manhattanLength() < QApplication::startDragDistance();
    if (event->button() == Qt::LeftButton && click)
        if (const auto x = xAt(event->position()))
            emit clicked(*x);
}

void ChartView::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    const auto x = xAt(event->position());
    const QString text = x && tip ? tip(*x) : QString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

} // namespace views
