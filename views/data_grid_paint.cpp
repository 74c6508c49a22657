// The grid's sizes and its painting. Only the rows in sight are read and drawn, so a grid
// over 100,000 rows paints as quickly as one over 100.

#include "views/data_grid.h"

#include "views/number_text.h"
#include "views/table_model.h"

#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <cmath>

#include <algorithm>

namespace views {

namespace {

constexpr int kTextPadding = 2;  // between a cell's edge and its text
constexpr int kMarkWidth = 7;    // the sort mark's triangle
constexpr int kMarkReserve = 11; // room kept at a title's right for the mark
const QColor kGridLineColor(0xC0, 0xC0, 0xC0); // silver, the grid lines' colour
const QColor kLimitMarkColor(0xD0, 0x10, 0x10); // the corner of a row below a limit
const QColor kUnreadableHatchColor(0xE0, 0x60, 0x60); // over a cell whose value is no number

QColor blend(const QColor& a, const QColor& b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

void drawSortMark(QPainter& p, const QRect& title, TitleState state, const QColor& color)
{
    if (state == TitleState::None)
        return;
    const int cx = title.right() - kMarkReserve / 2;
    const int cy = title.center().y();
    const int half = kMarkWidth / 2;
    QPolygon triangle;
    if (state == TitleState::Up)
        triangle << QPoint(cx - half, cy + 2) << QPoint(cx + half, cy + 2) << QPoint(cx, cy - 2);
    else
        triangle << QPoint(cx - half, cy - 2) << QPoint(cx + half, cy - 2) << QPoint(cx, cy + 2);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(triangle);
    p.restore();
}

// Lays `text` out in lines at most `width` wide: between words where it can, inside a word
// only where the word alone is wider than the line, so that a narrow column shows all of its
// caption instead of a cut-off middle. Returns the height of the lines.
qreal wrapText(QTextLayout& layout, qreal width, Qt::Alignment alignment)
{
    QTextOption option(alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

int wrappedHeight(const QFont& font, const QString& text, int width)
{
    QTextLayout layout(text, font);
    return static_cast<int>(std::ceil(wrapText(layout, width, Qt::AlignHCenter)));
}

// Draws wrapped text in the middle of `r` (up and down), across as `alignment` says. Text
// taller than `r` shows the lines that fit from the top, the last of them ending in "…".
void drawWrapped(QPainter& p, const QRect& r, const QString& text, Qt::Alignment alignment)
{
    QTextLayout layout(text, p.font(), p.device());
    const qreal height = wrapText(layout, r.width(), alignment);
    p.save();
    p.setClipRect(r, Qt::IntersectClip);
    if (height <= r.height() + 0.5 || layout.lineCount() < 2) {
        layout.draw(&p, QPointF(r.left(), r.top() + (r.height() - height) / 2));
        p.restore();
        return;
    }
    int fit = 0;
    qreal used = 0;
    while (fit < layout.lineCount() && used + layout.lineAt(fit).height() <= r.height() + 0.5)
        used += layout.lineAt(fit++).height();
    fit = std::max(fit, 1);
    const qreal top = r.top() + std::max<qreal>(0, (r.height() - used) / 2);
    for (int i = 0; i + 1 < fit; ++i)
        layout.lineAt(i).draw(&p, QPointF(r.left(), top));
    const QTextLine last = layout.lineAt(fit - 1);
    const QString rest = p.fontMetrics().elidedText(text.mid(last.textStart()).simplified(), Qt::ElideRight, r.width());
    const QRectF lastRect(r.left(), top + last.y(), r.width(), last.height());
    p.drawText(lastRect, static_cast<int>((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter), rest);
    p.restore();
}

// A cell's text stands where its column says across, and always in the middle up and down.
int cellFlags(Qt::Alignment alignment)
{
    return static_cast<int>((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
}

// Room taken from a title's width: the padding, and the sort mark's place while it has one.
int titleTextInset(const GridColumn& c)
{
    return 2 * kTextPadding + (c.titleState == TitleState::None ? 0 : kMarkReserve - kTextPadding);
}

} // namespace

// ---- sizes ---------------------------------------------------------------------------------

BlockLayout DataGrid::shownLayout() const
{
    ensureLayout();
    return *m_layout;
}

BlockLayout DataGrid::rowLayout() const
{
    ensureLayout();
    return *m_rowLayout;
}

BlockLayout DataGrid::footerLayout() const
{
    ensureLayout();
    return *m_footerLayout;
}

int DataGrid::lineHeight() const
{
    if (m_lineHeight < 0) {
        int h = fontMetrics().height();
        for (const GridColumn& c : m_columns)
            if (c.font)
                h = std::max(h, QFontMetrics(*c.font).height());
        m_lineHeight = h + 2 * kTextPadding;
    }
    return m_lineHeight;
}

void DataGrid::ensureLayout() const
{
    // The fitted widths follow the viewport, whichever way it got its size.
    if (!m_layout || m_layoutWidth != viewport()->width()) {
        m_layoutWidth = viewport()->width();
        m_titleHeight = -1;
        std::vector<BlockLayout::Slot> columnSlots;
        columnSlots.reserve(m_columns.size());
        for (const GridColumn& c : m_columns)
            columnSlots.push_back({c.width, c.level, c.index, c.visible});
        BlockLayout layout(columnSlots);
        if (m_autoColumnFit && layout.totalWidth() > 0)
            layout = layout.scaled(viewport()->width() / static_cast<double>(layout.totalWidth()));
        // A column bound to no field shows nothing in the records: its line takes no room there.
        std::vector<bool> empty;
        empty.reserve(m_columns.size());
        for (const GridColumn& c : m_columns)
            empty.push_back(!c.isBound());
        m_rowLayout = layout.withoutEmptyLines(empty);
        std::vector<bool> belowFirst;
        belowFirst.reserve(m_columns.size());
        for (const BlockLayout::Place& place : m_rowLayout->columns())
            belowFirst.push_back(place.line > 0);
        m_footerLayout = m_rowLayout->withoutEmptyLines(belowFirst);
        m_layout = std::move(layout);
    }
    if (m_titleHeight < 0) {
        // Each title line as tall as its caption needs, up to two wrapped lines of text (the
        // rest is elided, and the whole caption is the title's tooltip).
        const QFontMetrics fm = fontMetrics();
        const int most = 2 * fm.lineSpacing();
        const auto need = [&](int column, int width) {
            const GridColumn& c = m_columns[static_cast<std::size_t>(column)];
            const int room = std::max(width - titleTextInset(c), 1);
            const int text = (c.visualOptions & WrapTitle) ? std::min(wrappedHeight(font(), c.caption, room), most)
                                                           : fm.height();
            return text + 2 * kTextPadding;
        };
        m_titleHeight = m_layout->fitLineHeights(need, lineHeight());
    }
}

int DataGrid::rowHeight() const
{
    return lineHeight() * rowLayout().maxLines();
}

int DataGrid::titleHeight() const
{
    ensureLayout();
    return m_titleHeight;
}

int DataGrid::footerHeight() const
{
    // Room for a summary on three lines (smallest, mean, largest), whatever a test takes.
    return m_showFooters ? 3 * lineHeight() : 0;
}

QSize DataGrid::minimumSizeHint() const
{
    const QSize base = QAbstractScrollArea::minimumSizeHint();
    int height = titleHeight() + 3 * rowHeight() + footerHeight() + 2 * frameWidth();
    if (horizontalScrollBar()->isVisible())
        height += horizontalScrollBar()->sizeHint().height();
    return {base.width(), std::max(base.height(), height)};
}

int DataGrid::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int DataGrid::visibleRowCount() const
{
    const int h = rowHeight();
    if (h <= 0)
        return 0;
    return std::max(0, (viewport()->height() - titleHeight() - footerHeight()) / h);
}

QRect DataGrid::titleRect(int column) const
{
    return shownLayout().cellRect(column, 0, titleHeight()).translated(-horizontalScrollBar()->value(), 0);
}

QRect DataGrid::cellRect(int row, int column) const
{
    const int rows = m_model ? m_model->rowCount() : 0;
    const int first = firstVisibleRow();
    if (row < first || row >= rows)
        return {};
    const int h = rowHeight();
    const int top = titleHeight() + (row - first) * h;
    if (top >= viewport()->height() - footerHeight())
        return {};
    return rowLayout().cellRect(column, top, h).translated(-horizontalScrollBar()->value(), 0);
}

QRect DataGrid::footerRect(int column) const
{
    if (!m_showFooters)
        return {};
    const int h = footerHeight();
    return footerLayout().cellRect(column, viewport()->height() - h, h).translated(-horizontalScrollBar()->value(), 0);
}

int DataGrid::rowAt(int y) const
{
    const int h = rowHeight();
    if (h <= 0 || y < titleHeight() || y >= viewport()->height() - footerHeight())
        return -1;
    const int row = firstVisibleRow() + (y - titleHeight()) / h;
    return (m_model && row < m_model->rowCount()) ? row : -1;
}

void DataGrid::layoutChanged()
{
    m_layout.reset();
    m_titleHeight = -1;
    m_lineHeight = -1;
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

void DataGrid::updateScrollBars()
{
    const int rows = m_model ? m_model->rowCount() : 0;
    const int shown = std::max(visibleRowCount(), 1);
    verticalScrollBar()->setPageStep(shown);
    verticalScrollBar()->setRange(0, std::max(0, rows - shown));
    if (m_autoColumnFit) {
        horizontalScrollBar()->setRange(0, 0);
    } else {
        horizontalScrollBar()->setPageStep(viewport()->width());
        horizontalScrollBar()->setRange(0, std::max(0, shownLayout().totalWidth() - viewport()->width()));
    }
}

void DataGrid::ensureRowVisible(int row)
{
    if (row < 0)
        return;
    const int first = firstVisibleRow();
    const int shown = std::max(visibleRowCount(), 1);
    if (row < first)
        verticalScrollBar()->setValue(row);
    else if (row >= first + shown)
        verticalScrollBar()->setValue(row - shown + 1);
}

// ---- texts ---------------------------------------------------------------------------------

QString DataGrid::cellText(int row, int column) const
{
    const int mc = modelColumn(column);
    if (!m_model || mc < 0)
        return {};
    const GridColumn& c = m_columns[static_cast<std::size_t>(column)];
    switch (c.displayFormat.kind) {
    case DisplayFormat::Kind::Numeric:
        if (const auto v = m_model->number(row, mc))
            return patternNumberText(*v, c.displayFormat.pattern);
        return m_model->fieldText(row, mc);
    case DisplayFormat::Kind::Text:
        return m_model->fieldText(row, mc);
    case DisplayFormat::Kind::FieldText:
        break;
    }
    return m_model->displayText(row, mc);
}

QString DataGrid::cellNote(int row, int column) const
{
    const int mc = modelColumn(column);
    if (!m_model || mc < 0)
        return {};
    return m_model->unreadableNote(row, mc);
}

// ---- painting ------------------------------------------------------------------------------

void DataGrid::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    const QPalette& pal = palette();
    const int width = viewport()->width();
    const int height = viewport()->height();
    p.fillRect(event->rect(), pal.color(QPalette::Window));

    const BlockLayout layout = shownLayout();
    const BlockLayout recordLayout = rowLayout();
    const BlockLayout footers = footerLayout();
    const int dx = -horizontalScrollBar()->value();
    const int titleH = titleHeight();
    const int rowH = rowHeight();
    const int footerH = footerHeight();
    const int rows = m_model ? m_model->rowCount() : 0;
    const int current = currentRow();
    const bool focused = hasFocus() || (m_editor && m_editor->hasFocus());
    const bool showCursor = focused || !m_hideSelection;
    const QColor highlight = pal.color(QPalette::Highlight);
    const QColor highlightText = pal.color(QPalette::HighlightedText);

    const auto visibleCell = [&](const QRect& r) { return r.width() > 0 && r.right() >= 0 && r.left() < width; };
    const auto drawLines = [&](const QRect& r) {
        p.setPen(kGridLineColor);
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    };

    // Records.
    const int markedCol = m_rowMarker ? markedColumn() : -1;
    p.save();
    p.setClipRect(0, titleH, width, std::max(0, height - titleH - footerH));
    for (int row = firstVisibleRow(); row < rows && rowH > 0; ++row) {
        const int top = titleH + (row - firstVisibleRow()) * rowH;
        if (top >= height - footerH)
            break;
        const bool selected = isRowSelected(row) && showCursor;
        const bool isCurrent = row == current && showCursor;
        for (int c = 0; c < columnCount(); ++c) {
            const QRect r = recordLayout.cellRect(c, top, rowH).translated(dx, 0);
            if (!visibleCell(r))
                continue;
            const GridColumn& col = m_columns[static_cast<std::size_t>(c)];
            QColor back = col.color.value_or(pal.color(QPalette::Base));
            QColor fore = pal.color(QPalette::Text);
            if (selected || (isCurrent && c == m_currentColumn)) {
                back = highlight;
                fore = highlightText;
            } else if (isCurrent) {
                back = blend(back, highlight, 0.18);
            }
            const QString text = cellText(row, c);
            // Only a cell that shows nothing can hold a value that is no number: the other
            // cells cost no second look at their field.
            const bool unreadable = text.isEmpty() && m_model && m_model->isUnreadable(row, modelColumn(c));
            if (unreadable && back != highlight)
                back = blend(back, unreadableCellColor(), 0.85);
            p.fillRect(r, back);
            if (unreadable)
                p.fillRect(r, QBrush(kUnreadableHatchColor, Qt::BDiagPattern));
            if (!text.isEmpty()) {
                p.setFont(col.font.value_or(font()));
                p.setPen(fore);
                const QRect inner = r.adjusted(kTextPadding, 0, -kTextPadding - 1, -1);
                const QString shown = (col.visualOptions & ElideCells)
                                          ? p.fontMetrics().elidedText(text, Qt::ElideRight, inner.width())
                                          : text;
                p.drawText(inner, cellFlags(col.alignment), shown);
            }
            if (c == markedCol && isRowMarked(row)) {
                // A red corner: seen over any row or column colour and the selection.
                const int side = std::min({r.height() / 2, r.width() / 2, fontMetrics().height() * 3 / 4});
                const QPoint corner = r.topLeft();
                const QPoint points[] = {corner, corner + QPoint(side, 0), corner + QPoint(0, side)};
                p.setPen(Qt::NoPen);
                p.setBrush(kLimitMarkColor);
                p.drawPolygon(points, 3);
                p.setBrush(Qt::NoBrush);
            }
            drawLines(r);
        }
    }
    p.restore();

    // Titles.
    p.setFont(font());
    for (int c = 0; c < columnCount(); ++c) {
        const QRect r = layout.cellRect(c, 0, titleH).translated(dx, 0);
        if (!visibleCell(r))
            continue;
        const GridColumn& col = m_columns[static_cast<std::size_t>(c)];
        p.fillRect(r, pal.color(QPalette::Button));
        p.setPen(pal.color(QPalette::ButtonText));
        const QRect inner = r.adjusted(kTextPadding, kTextPadding, kTextPadding - titleTextInset(col), -kTextPadding);
        if (col.visualOptions & WrapTitle)
            drawWrapped(p, inner, col.caption, Qt::AlignHCenter);
        else
            p.drawText(inner, Qt::AlignCenter, p.fontMetrics().elidedText(col.caption, Qt::ElideRight, inner.width()));
        drawSortMark(p, r, col.titleState, pal.color(QPalette::ButtonText));
        drawLines(r);
    }
    const int titleRight = std::min(width, layout.totalWidth() + dx);
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(0, titleH - 1, titleRight - 1, titleH - 1);

    // Footers.
    if (footerH > 0) {
        const int top = height - footerH;
        p.fillRect(QRect(0, top, width, footerH), pal.color(QPalette::Window));
        for (int c = 0; c < columnCount(); ++c) {
            const QRect r = footers.cellRect(c, top, footerH).translated(dx, 0);
            if (!visibleCell(r))
                continue;
            const GridColumn& col = m_columns[static_cast<std::size_t>(c)];
            p.fillRect(r, pal.color(QPalette::Button));
            p.setPen(pal.color(QPalette::ButtonText));
            // A summary such as "402,15/404,7/407,15" is worth more whole on two lines than
            // cut short on one: it wraps when the footer cell is tall enough.
            // The line may break after a "/" (a zero-width space marks the place), never
            // inside a number, where "1,\n28" would read as two numbers.
            const QRect inner = r.adjusted(kTextPadding, 0, -kTextPadding - 1, -1);
            QString breakable = col.footerText;
            breakable.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
            if (wrappedHeight(p.font(), breakable, inner.width()) <= inner.height())
                drawWrapped(p, inner, breakable, col.footerAlignment);
            else
                p.drawText(inner, cellFlags(col.footerAlignment),
                           p.fontMetrics().elidedText(col.footerText, Qt::ElideRight, inner.width()));
            drawLines(r);
        }
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(0, top, titleRight - 1, top);
    }
}

} // namespace views
