#include "reports/report_layout.h"

#include <algorithm>
#include <cmath>

namespace reports {
namespace {

double paperHeight(const ReportDesign& tpl) { return tpl.paper.height(); }

// The lowest line a data band may reach: the top of the page footer.
double dataLimit(const ReportDesign& tpl)
{
    return paperHeight(tpl) - tpl.margins.bottom - tpl.pageFooter.height;
}

double firstDataTop(const ReportDesign& tpl, bool firstPage)
{
    return tpl.margins.top + (firstPage ? tpl.title.height : 0) + tpl.pageHeader.height;
}

// Bands that fit between `top` and the footer. A tiny tolerance keeps a band that ends
// exactly on the footer's edge from being pushed off by rounding of the A4 size.
int fitting(const ReportDesign& tpl, double top)
{
    if (tpl.data.height <= 0)
        return 0;
    const double room = dataLimit(tpl) - top;
    return std::max(0, static_cast<int>(std::floor(room / tpl.data.height + 1e-9)));
}

} // namespace

int rowsOnFirstPage(const ReportDesign& tpl) { return fitting(tpl, firstDataTop(tpl, true)); }
int rowsOnLaterPage(const ReportDesign& tpl) { return fitting(tpl, firstDataTop(tpl, false)); }

std::vector<LayoutPage> layoutPages(const ReportDesign& tpl, int rows)
{
    std::vector<LayoutPage> pages;
    const double footerTop = dataLimit(tpl);
    int row = 0;
    do {
        const bool first = pages.empty();
        LayoutPage page;
        double y = tpl.margins.top;
        if (first) {
            page.bands.push_back({BandKind::Title, y, -1});
            y += tpl.title.height;
        }
        page.bands.push_back({BandKind::PageHeader, y, -1});
        y += tpl.pageHeader.height;
        // At least one row per page, so that a band taller than the page cannot loop forever.
        int onPage = std::max(1, fitting(tpl, y));
        for (; row < rows && onPage > 0; ++row, --onPage) {
            page.bands.push_back({BandKind::Data, y, row});
            y += tpl.data.height;
        }
        page.bands.push_back({BandKind::PageFooter, footerTop, -1});
        pages.push_back(std::move(page));
    } while (row < rows);
    return pages;
}

} // namespace reports
