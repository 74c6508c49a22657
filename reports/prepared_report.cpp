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

} // namespace

PreparedReport prepareReport(std::shared_ptr<const ReportDesign> design, ReportDataSet& data)
{
    PreparedReport report;
    report.design = design;
    if (!design || !data.isActive())
        return report;

    // First pass: placement only.
    const std::vector<LayoutPage> layout = layoutPages(*design, data.rowCount());
    const int pageCount = static_cast<int>(layout.size());

    // Second pass: the texts. Bands other than the data band read the first row, which is
    // where the walk stands when the title is printed.
    report.pages.reserve(layout.size());
    for (int p = 0; p < pageCount; ++p) {
        PreparedPage page;
        for (const PlacedBand& placed : layout[static_cast<std::size_t>(p)].bands) {
            const ReportBand& band = bandOf(*design, placed.kind);
            const Context at{data, placed.kind == BandKind::Data ? placed.row : 0, p + 1, pageCount};
            for (const ReportCell& cell : band.cells)
                page.cells.push_back({&cell, placed.top, evaluate(cell, at)});
        }
        report.pages.push_back(std::move(page));
    }
    return report;
}

} // namespace reports
