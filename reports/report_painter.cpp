#include "reports/report_painter.h"

#include "export/replacing_write.h"
#include "platform/file_io.h"
#include "store/store_error.h"

#include <QFont>
#include <QPageLayout>
#include <QPageRanges>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextLayout>

#include <algorithm>
#include <map>

namespace reports {
namespace {

// Text keeps this distance from a cell's side lines.
constexpr double kTextPadding = 2;
// Frame lines are one design unit wide, as on the screen.
constexpr double kFrameWidth = 1;

QPageLayout pageLayoutOf(const ReportDesign& design)
{
    return QPageLayout(QPageSize(QPageSize::A4),
                       design.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

QFont fontOf(const CellFont& f)
{
    QFont font(f.family);
    // Where Arial is missing, a sans serif of the same widths comes next; the narrow
    // DejaVu is last but one, since the plain DejaVu is so much wider than Arial that the
    // captions would break inside their words.
    font.setFamilies({f.family, QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(f.pointSize);
    font.setBold(f.bold);
    return font;
}

Qt::Alignment alignmentOf(HAlign align)
{
    switch (align) {
    case HAlign::Left: return Qt::AlignLeft;
    case HAlign::Right: return Qt::AlignRight;
    case HAlign::Center: break;
    }
    return Qt::AlignHCenter;
}

// Lays the text out in lines as wide as the box (less its padding), breaking between words
// and inside a word only when the word alone is wider than the box, then draws the lines
// centred vertically; a text too big for its box is cut at the box's edges.
void drawCellText(QPainter& painter, const QRectF& box, const PreparedCell& at, const QFont& font, double scale)
{
    if (at.text.isEmpty())
        return;
    const ReportCell& cell = *at.cell;
    QTextLayout layout(at.text, font, painter.device());
    QTextOption option(alignmentOf(cell.align));
    option.setWrapMode(cell.wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    const double padding = kTextPadding * scale;
    const double lineWidth = std::max(1.0, box.width() - 2 * padding);
    double height = 0;
    bool overflows = false;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, height));
        height += line.height();
        overflows = overflows || line.naturalTextWidth() > lineWidth;
    }
    layout.endLayout();
    overflows = overflows || height > box.height();
    const QPointF origin(box.left() + padding, box.top() + (box.height() - height) / 2);
    // Only text that would spill out of its box is clipped: a clip path for every cell
    // makes the pages' content half as long again.
    if (!overflows) {
        layout.draw(&painter, origin);
        return;
    }
    painter.save();
    painter.setClipRect(box, Qt::IntersectClip);
    layout.draw(&painter, origin);
    painter.restore();
}

} // namespace

void setPageLayout(QPagedPaintDevice& device, const ReportDesign& design)
{
    device.setPageLayout(pageLayoutOf(design));
}

void setPageLayout(QPrinter& printer, const ReportDesign& design)
{
    printer.setFullPage(true);
    printer.setPageLayout(pageLayoutOf(design));
}

void paintPage(QPainter& painter, const PreparedReport& report, int page)
{
    if (page < 0 || page >= report.pageCount())
        return;
    const double sx = painter.device()->logicalDpiX() / 96.0;
    const double sy = painter.device()->logicalDpiY() / 96.0;
    QPen pen(Qt::black);
    pen.setWidthF(kFrameWidth * sx);
    // The data band's cells come back on every row: resolve each cell's font once a page.
    std::map<const ReportCell*, QFont> fonts;
    for (const PreparedCell& cell : report.pages[static_cast<std::size_t>(page)].cells) {
        const QRectF r = cell.rect();
        const QRectF box(r.left() * sx, r.top() * sy, r.width() * sx, r.height() * sy);
        auto font = fonts.find(cell.cell);
        if (font == fonts.end())
            font = fonts.emplace(cell.cell, QFont(fontOf(cell.cell->font), painter.device())).first;
        if (cell.marked) {
            // A test below a limit: a red corner, as the grid marks it, seen on paper in
            // black and white too.
            const double side = std::min({box.width() / 2, box.height() / 2, 10.0 * sx});
            const QPointF corner = box.topLeft();
            const QPointF points[] = {corner, corner + QPointF(side, 0), corner + QPointF(0, side)};
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0xD0, 0x10, 0x10));
            painter.drawPolygon(points, 3);
            painter.setBrush(Qt::NoBrush);
        }
        painter.setPen(pen);
        drawCellText(painter, box, cell, font->second, sx);
        if (cell.cell->frame) {
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(box);
        }
    }
    if (const auto& drawing = report.pages[static_cast<std::size_t>(page)].drawing; drawing && report.design) {
        const QRectF area = drawingArea(*report.design);
        painter.save();
        drawing->paint(painter, QRectF(area.left() * sx, area.top() * sy, area.width() * sx, area.height() * sy),
                       area.size());
        painter.restore();
    }
}

bool paintPages(QPagedPaintDevice& device, const PreparedReport& report, const std::vector<int>& pages)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    bool first = true;
    for (int page : pages) {
        // A page the device refuses would leave a report without its rest: a failure.
        if (!first && !device.newPage()) {
            painter.end();
            return false;
        }
        first = false;
        paintPage(painter, report, page);
    }
    return painter.end();
}

std::vector<int> pagesToPrint(const QPrinter& printer, int pageCount, int current)
{
    std::vector<int> chosen;
    switch (printer.printRange()) {
    case QPrinter::CurrentPage:
        if (current >= 0 && current < pageCount)
            chosen.push_back(current);
        break;
    case QPrinter::PageRange:
        for (const QPageRanges::Range& range : printer.pageRanges().toRangeList())
            for (int p = std::max(range.from, 1); p <= std::min(range.to, pageCount); ++p)
                chosen.push_back(p - 1);
        break;
    default:
        for (int p = 0; p < pageCount; ++p)
            chosen.push_back(p);
        break;
    }
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    if (copies == 1)
        return chosen;
    std::vector<int> out;
    out.reserve(chosen.size() * static_cast<std::size_t>(copies));
    if (printer.collateCopies()) {
        for (int c = 0; c < copies; ++c)
            out.insert(out.end(), chosen.begin(), chosen.end());
    } else {
        for (int page : chosen)
            out.insert(out.end(), static_cast<std::size_t>(copies), page);
    }
    return out;
}

bool writePdf(const PreparedReport& report, QIODevice& device)
{
    if (!report.design)
        return false;
    QPdfWriter writer(&device);
    writer.setResolution(300);
    writer.setCreator(QStringLiteral("ВРТ-ТК5"));
    writer.setTitle(report.design->name);
    setPageLayout(writer, *report.design);
    std::vector<int> all(static_cast<std::size_t>(report.pageCount()));
    for (int p = 0; p < report.pageCount(); ++p)
        all[static_cast<std::size_t>(p)] = p;
    return paintPages(writer, report, all);
}

void writePdfFile(const PreparedReport& report, const QString& path)
{
    // Written beside the file and moved into place: a failure leaves the old file as it was.
    // The writer goes through the file layer, so a write the disk refuses is seen even though
    // the PDF writer itself does not look at what its writes returned.
    table_export::writeReplacing(path, [&report](platform::File& file) {
        table_export::FileDevice device(file);
        const bool painted = writePdf(report, device);
        device.throwIfFailed();
        if (!painted)
            throw store::StoreError(store::StoreError::Code::Io, "документ PDF не создан");
    });
}

} // namespace reports
