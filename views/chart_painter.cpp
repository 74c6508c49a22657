#include "views/chart_painter.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace views {
namespace {

const QColor kBackgroundColour(Qt::white);
const QColor kTextColour(0x40, 0x40, 0x44);
const QColor kGridColour(0xe2, 0xe2, 0xe2);
const QColor kAxisColour(0xc8, 0xc8, 0xc8);

// Space round the white card, between it and what it holds, and between the parts.
constexpr double kCardInset = 9;
constexpr double kCardPadding = 4;
constexpr double kTickLength = 5;
constexpr double kGap = 4;
constexpr double kLegendPadding = 9; // beside the legend; above it, more
constexpr double kLegendTopPadding = 15;
constexpr double kLegendSpacing = 10;
// Lines of more points than this are stroked a segment at a time.
constexpr qsizetype kLongLine = 200;

QFont boldFont(const QFont& font)
{
    QFont bold = font;
    bold.setBold(true);
    return bold;
}

QLocale numberLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

// The number a point's label shows, as the axes write numbers.
QString pointLabelText(double value)
{
    return numberLocale().toString(value, 'g', 6);
}

// A line of many more points than the plot has pixel columns drawn as the same shape with
// fewer points: in each column its first, lowest, highest and last point, in their order.
// Stroking thousands of overlapping wide segments would cost a second a paint.
QPolygonF thinned(const QPolygonF& line)
{
    QPolygonF out;
    qsizetype i = 0;
    while (i < line.size()) {
        const double column = std::floor(line[i].x());
        qsizetype end = i;
        qsizetype low = i;
        qsizetype high = i;
        while (end < line.size() && std::floor(line[end].x()) == column) {
            low = line[end].y() < line[low].y() ? end : low;
            high = line[end].y() > line[high].y() ? end : high;
            ++end;
        }
        qsizetype kept[] = {i, std::min(low, high), std::max(low, high), end - 1};
        qsizetype last = -1;
        for (qsizetype k : kept)
            if (k != last) {
                out << line[k];
                last = k;
            }
        i = end;
    }
    return out;
}

double scaleOf(double value, double from, double to, double length)
{
    return to > from ? (value - from) / (to - from) * length : length / 2;
}

} // namespace

QString axisLabelText(const ChartAxis& axis, double value)
{
    // A tick at zero reached by adding steps is a hair off it, and would read "-0".
    const double span = std::abs(axis.max - axis.min);
    if (std::abs(value) < span * 1e-9)
        value = 0;
    return numberLocale().toString(value, axis.format, axis.precision);
}

ChartPainter::ChartPainter(const Chart& chart, const QRectF& area) : m_chart(chart), m_area(area)
{
    const double least = 2 * QFontMetricsF(m_chart.font()).height();
    layOut(true, true);
    if (m_plot.height() < least)
        layOut(false, true);
    if (m_plot.height() < least)
        layOut(false, false);
}

void ChartPainter::layOut(bool legend, bool axisTitles)
{
    m_axisTitles = axisTitles;
    m_xTitle = m_yTitle = QRectF();
    const QFontMetricsF text(m_chart.font());
    const QFontMetricsF title(boldFont(m_chart.font()));
    const double line = text.height();
    const double inset = m_area.width() > 4 * kCardInset && m_area.height() > 4 * kCardInset ? kCardInset : 0;
    m_background = m_area.adjusted(inset, inset, -inset, -inset);
    const QRectF inner = m_background.adjusted(kCardPadding, kCardPadding, -kCardPadding, -kCardPadding);

    m_title = QRectF(inner.left(), inner.top(), inner.width(), m_chart.title().isEmpty() ? 0 : title.height());
    double top = m_title.bottom() + line / 2 + 3;
    double bottom = inner.bottom();
    double left = inner.left();
    double right = inner.right();

    // The legend's entries: in rows under the plot, or one a line beside it.
    m_markerSide = std::round(line * 0.55);
    std::vector<QSizeF> sizes;
    m_legend.clear();
    for (const ChartSeries& s : m_chart.series())
        if (legend && s.inLegend && !s.name.isEmpty()) {
            m_legend.push_back({&s, {}});
            sizes.emplace_back(m_markerSide + kGap + text.horizontalAdvance(s.name), line);
        }
    if (!m_legend.empty()) {
        if (m_chart.legendAlignment() == Qt::AlignRight) {
            double width = 0;
            for (const QSizeF& s : sizes)
                width = std::max(width, s.width());
            width = std::min(width, inner.width() / 2);
            const double x = inner.right() - kGap - width;
            const double height = static_cast<double>(sizes.size()) * (line + kGap) - kGap;
            double y = std::max(top, top + (bottom - top - height) / 2);
            for (std::size_t i = 0; i < m_legend.size(); ++i) {
                m_legend[i].rect = QRectF(x, y, width, line);
                y += line + kGap;
            }
            right = x - 2 * kLegendPadding;
        } else {
            // Rows of entries, each row centred.
            std::vector<std::vector<std::size_t>> rows(1);
            double rowWidth = 0;
            for (std::size_t i = 0; i < sizes.size(); ++i) {
                const double add = (rows.back().empty() ? 0 : kLegendSpacing) + sizes[i].width();
                if (!rows.back().empty() && rowWidth + add > inner.width()) {
                    rows.emplace_back();
                    rowWidth = 0;
                    rows.back().push_back(i);
                    rowWidth = sizes[i].width();
                    continue;
                }
                rows.back().push_back(i);
                rowWidth += add;
            }
            const double height = static_cast<double>(rows.size()) * (line + kGap) - kGap;
            double y = bottom - kLegendPadding - 2 - height;
            for (const auto& row : rows) {
                double width = -kLegendSpacing;
                for (std::size_t i : row)
                    width += sizes[i].width() + kLegendSpacing;
                double x = inner.left() + std::max(0.0, (inner.width() - width) / 2);
                for (std::size_t i : row) {
                    m_legend[i].rect = QRectF(x, y, sizes[i].width(), line);
                    x += sizes[i].width() + kLegendSpacing;
                }
                y += line + kGap;
            }
            bottom -= height + kLegendPadding + 2 + kLegendTopPadding;
        }
    }

    // The x axis: its title at the bottom, its labels above that.
    const ChartAxis& x = m_chart.axisX();
    const ChartAxis& y = m_chart.axisY();
    if (axisTitles && !x.title.isEmpty()) {
        m_xTitle = QRectF(inner.left(), bottom - line, 0, line);
        bottom -= line + kGap;
    }
    bottom -= line + kTickLength + 1;
    m_xLabelsTop = bottom + kTickLength + 1;

    // The y axis: its title turned up the left side, its labels right of that.
    if (axisTitles && !y.title.isEmpty()) {
        m_yTitle = QRectF(left, 0, line, 0);
        left += line + kGap;
    }
    double labels = 0;
    for (double t : y.ticks)
        labels = std::max(labels, text.horizontalAdvance(axisLabelText(y, t)));
    m_yLabelsRight = left + labels;
    left += labels + kTickLength + 1;

    // The last x label may stand out past the plot's end by half its width.
    double overhang = 4;
    if (!x.ticks.empty()) {
        const double lastAt = scaleOf(x.ticks.back(), x.min, x.max, 1);
        const double half = text.horizontalAdvance(axisLabelText(x, x.ticks.back())) / 2;
        overhang = std::max(overhang, half - (1 - lastAt) * (right - left));
    }
    right -= overhang + 2;

    m_plot = QRectF(QPointF(left, top), QPointF(std::max(left + 1, right), std::max(top + 1, bottom)));
    if (axisTitles && !x.title.isEmpty())
        m_xTitle = QRectF(m_plot.left(), m_xTitle.top(), m_plot.width(), line);
    if (axisTitles && !y.title.isEmpty())
        m_yTitle = QRectF(m_yTitle.left(), m_plot.top(), line, m_plot.height());
    m_title = QRectF(inner.left(), m_title.top(), inner.width(), m_title.height());
}

QPointF ChartPainter::positionOf(const QPointF& value) const
{
    const ChartAxis& x = m_chart.axisX();
    const ChartAxis& y = m_chart.axisY();
    return {m_plot.left() + scaleOf(value.x(), x.min, x.max, m_plot.width()),
            m_plot.bottom() - scaleOf(value.y(), y.min, y.max, m_plot.height())};
}

QPointF ChartPainter::valueAt(const QPointF& position) const
{
    const ChartAxis& x = m_chart.axisX();
    const ChartAxis& y = m_chart.axisY();
    return {x.min + (position.x() - m_plot.left()) / m_plot.width() * (x.max - x.min),
            y.min + (m_plot.bottom() - position.y()) / m_plot.height() * (y.max - y.min)};
}

void ChartPainter::paint(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(m_background, kBackgroundColour);

    if (!m_chart.title().isEmpty()) {
        const QFont font = boldFont(m_chart.font());
        painter.setFont(font);
        painter.setPen(kTextColour);
        const QString shown = QFontMetricsF(font).elidedText(m_chart.title(), Qt::ElideRight, m_title.width());
        painter.drawText(m_title, Qt::AlignCenter, shown);
    }
    paintAxes(painter);
    for (const ChartSeries& s : m_chart.series())
        paintSeries(painter, s);
    paintLegend(painter);
    painter.restore();
}

void ChartPainter::paintAxes(QPainter& painter) const
{
    const ChartAxis& x = m_chart.axisX();
    const ChartAxis& y = m_chart.axisY();
    const QFontMetricsF metrics(m_chart.font());
    painter.setFont(m_chart.font());

    // The grid at the ticks, then the axes' lines and ticks over it.
    painter.setPen(QPen(kGridColour, 1));
    for (double t : x.ticks) {
        const double at = positionOf({t, y.min}).x();
        painter.drawLine(QPointF(at, m_plot.top()), QPointF(at, m_plot.bottom()));
    }
    for (double t : y.ticks) {
        const double at = positionOf({x.min, t}).y();
        painter.drawLine(QPointF(m_plot.left(), at), QPointF(m_plot.right(), at));
    }
    painter.setPen(QPen(kAxisColour, 1));
    painter.drawLine(m_plot.bottomLeft(), m_plot.bottomRight());
    painter.drawLine(m_plot.bottomLeft(), m_plot.topLeft());
    for (double t : x.ticks) {
        const double at = positionOf({t, y.min}).x();
        painter.drawLine(QPointF(at, m_plot.bottom()), QPointF(at, m_plot.bottom() + kTickLength));
    }
    for (double t : y.ticks) {
        const double at = positionOf({x.min, t}).y();
        painter.drawLine(QPointF(m_plot.left() - kTickLength, at), QPointF(m_plot.left(), at));
    }

    painter.setPen(kTextColour);
    const double line = metrics.height();
    // A label that would run into the one before it is left out.
    double free = -1e9;
    for (double t : x.ticks) {
        const QString label = axisLabelText(x, t);
        const double width = metrics.horizontalAdvance(label);
        const double at = positionOf({t, y.min}).x();
        if (at - width / 2 < free)
            continue;
        painter.drawText(QRectF(at - width / 2 - 1, m_xLabelsTop, width + 2, line), Qt::AlignCenter, label);
        free = at + width / 2 + kGap;
    }
    free = 1e9;
    for (double t : y.ticks) {
        const QString label = axisLabelText(y, t);
        const double at = positionOf({x.min, t}).y();
        if (at + line / 2 > free)
            continue;
        painter.drawText(QRectF(m_area.left(), at - line / 2, m_yLabelsRight - m_area.left(), line),
                         Qt::AlignRight | Qt::AlignVCenter, label);
        free = at - line / 2;
    }
    if (m_axisTitles && !x.title.isEmpty())
        painter.drawText(m_xTitle, Qt::AlignCenter, x.title);
    if (m_axisTitles && !y.title.isEmpty()) {
        painter.save();
        painter.translate(m_yTitle.center());
        painter.rotate(-90);
        painter.drawText(QRectF(-m_yTitle.height() / 2, -line / 2, m_yTitle.height(), line), Qt::AlignCenter, y.title);
        painter.restore();
    }
}

void ChartPainter::paintSeries(QPainter& painter, const ChartSeries& series) const
{
    if (series.points.isEmpty())
        return;
    if (series.kind != ChartSeriesKind::Points && series.points.size() >= 2 && series.pen.style() != Qt::NoPen) {
        QPolygonF line;
        line.reserve(series.points.size());
        for (const QPointF& p : series.points)
            line << positionOf(p);
        if (line.size() > 2 * m_plot.width())
            line = thinned(line);
        painter.setBrush(Qt::NoBrush);
        if (line.size() <= kLongLine) {
            painter.setPen(series.pen);
            painter.drawPolyline(line);
        } else {
            // A long line as separate strokes, rounded where they meet: filling one outline
            // that crosses itself thousands of times costs far more than the strokes.
            QPen pen = series.pen;
            pen.setCapStyle(Qt::RoundCap);
            painter.setPen(pen);
            QList<QLineF> segments;
            segments.reserve(line.size() - 1);
            for (qsizetype i = 1; i < line.size(); ++i)
                segments << QLineF(line[i - 1], line[i]);
            painter.drawLines(segments);
        }
    }
    const bool marked = series.kind == ChartSeriesKind::Points || (series.kind == ChartSeriesKind::Line && series.pointsVisible);
    if (marked && series.markerSize > 0) {
        painter.setPen(series.markerPen);
        painter.setBrush(series.markerFill.isValid() ? QBrush(series.markerFill) : QBrush(Qt::NoBrush));
        const double half = series.markerSize / 2;
        for (const QPointF& p : series.points) {
            const QPointF at = positionOf(p);
            const QRectF mark(at.x() - half, at.y() - half, series.markerSize, series.markerSize);
            if (series.marker == ChartMarker::Square)
                painter.drawRect(mark);
            else
                painter.drawEllipse(mark);
        }
    }
    if (series.pointLabels) {
        const QFontMetricsF metrics(m_chart.font());
        painter.setFont(m_chart.font());
        painter.setPen(kTextColour);
        for (const QPointF& p : series.points) {
            const QPointF at = positionOf(p);
            const QString label = pointLabelText(p.y());
            const double width = metrics.horizontalAdvance(label) + 2;
            const double bottom = at.y() - 1;
            painter.drawText(QRectF(at.x() - width / 2, bottom - metrics.height(), width, metrics.height()),
                             Qt::AlignCenter, label);
        }
    }
}

void ChartPainter::paintLegend(QPainter& painter) const
{
    const QFontMetricsF metrics(m_chart.font());
    painter.setFont(m_chart.font());
    for (const LegendEntry& entry : m_legend) {
        const ChartSeries& s = *entry.series;
        const QRectF marker(entry.rect.left(), entry.rect.center().y() - m_markerSide / 2, m_markerSide, m_markerSide);
        // A line's entry is a square of its colour; a hollow mark's, a square framed in its colour.
        const bool hollow = s.kind == ChartSeriesKind::Points && !s.markerFill.isValid();
        const QColor colour = s.kind == ChartSeriesKind::Points
            ? (hollow ? s.markerPen.color() : s.markerFill)
            : s.pen.color();
        painter.setPen(QPen(hollow ? colour : colour.darker(160), 1));
        painter.setBrush(hollow ? QBrush(Qt::white) : QBrush(colour));
        painter.drawRect(marker);
        painter.setPen(kTextColour);
        const QRectF text(marker.right() + kGap, entry.rect.top(), entry.rect.right() - marker.right() - kGap,
                          entry.rect.height());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(s.name, Qt::ElideRight, text.width() + 1));
    }
}

} // namespace views
