#include "reports/prepared_report.h"

#include "reports/report_data_set.h"

namespace reports {
namespace {

const ReportBand& bandOf(const ReportDesign& design, BandKind kind)
{
    switch (kind) {
    case BandKind::Title: return design.title;
    case BandKind::PageHeader: return design.pageHeader;
    case BandKind::Data: return design.data;
    case BandKind::PageFooter: return design.pageFooter;
    }
    return design.data;
}

struct Context {
    const ReportDataSet& data;
    int row;       // the data set's current row for field pieces
    int page;      // 1-based
    int pageCount;
};

QString evaluate(const ReportCell& cell, const Context& at)
{
    QString text;
    for (const Piece& piece : cell.pieces) {
        switch (piece.kind) {
        case Piece::Kind::Text: text += piece.text; break;
        case Piece::Kind::Field: text += at.data.value(at.row, piece.text, piece.format); break;
        case Piece::Kind::PageNumber: text += QString::number(at.page); break;
        case Piece::Kind::PageCount: text += QString::number(at.pageCount); break;
        }
    }
    return text;
}

bool showsField(const ReportCell& cell, const QString& field)
{
    return !field.isEmpty() && cell.pieces.size() == 1 && cell.pieces.front().kind == Piece::Kind::Field
        && cell.pieces.front().text == field;
}

// The design with `note` in a line of its own in the lower part of the title band, under the
// instrument's name, across the page.
std::shared_ptr<const ReportDesign> withTitleNote(const ReportDesign& design, const QString& note)
{
    auto copy = std::make_shared<ReportDesign>(design);
    if (copy->title.cells.empty())
        return copy;
    const ReportCell& title = copy->title.cells.front();
    ReportCell cell;
    cell.left = title.left;
    cell.height = 18;
    cell.top = copy->title.height - cell.height;
    cell.width = copy->paper.width() - copy->margins.right - title.left;
    cell.font = {title.font.family, 10, false};
    cell.align = HAlign::Left;
    cell.pieces = {Piece::literal(note)};
    copy->title.cells.push_back(cell);
    return copy;
}

} // namespace

PreparedReport prepareReport(std::shared_ptr<const ReportDesign> design, ReportDataSet& data,
                             const std::vector<std::shared_ptr<const PageDrawing>>& appended)
{
    PreparedReport report;
    if (design && !data.titleNote().isEmpty())
        design = withTitleNote(*design, data.titleNote());
    report.design = design;
    if (!design || !data.isActive())
        return report;

    // First pass: placement only.
    const std::vector<LayoutPage> layout = layoutPages(*design, data.rowCount());
    const int pageCount = static_cast<int>(layout.size() + appended.size());

    // Second pass: the texts. Bands other than the data band read the first row, which is
    // where the walk stands when the title is printed.
    report.pages.reserve(static_cast<std::size_t>(pageCount));
    for (int p = 0; p < static_cast<int>(layout.size()); ++p) {
        PreparedPage page;
        for (const PlacedBand& placed : layout[static_cast<std::size_t>(p)].bands) {
            const ReportBand& band = bandOf(*design, placed.kind);
            const Context at{data, placed.kind == BandKind::Data ? placed.row : 0, p + 1, pageCount};
            const bool markedRow = placed.kind == BandKind::Data && data.isMarked(placed.row);
            for (const ReportCell& cell : band.cells)
                page.cells.push_back({&cell, placed.top, evaluate(cell, at), markedRow && showsField(cell, data.markedField())});
        }
        report.pages.push_back(std::move(page));
    }
    // The drawn pages have only their page footer: the numbering goes on through them.
    const double footerTop = design->paper.height() - design->margins.bottom - design->pageFooter.height;
    for (const std::shared_ptr<const PageDrawing>& drawing : appended) {
        PreparedPage page;
        page.drawing = drawing;
        const Context at{data, 0, static_cast<int>(report.pages.size()) + 1, pageCount};
        for (const ReportCell& cell : design->pageFooter.cells)
            page.cells.push_back({&cell, footerTop, evaluate(cell, at)});
        report.pages.push_back(std::move(page));
    }
    return report;
}

QRectF drawingArea(const ReportDesign& design)
{
    const PageMargins& m = design.margins;
    const double footerTop = design.paper.height() - m.bottom - design.pageFooter.height;
    return QRectF(m.left, m.top, design.paper.width() - m.left - m.right, footerTop - m.top);
}

} // namespace reports
