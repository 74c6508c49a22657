#pragma once

#include "reports/report_design.h"

#include <vector>

namespace reports {

// Where the bands of a report go, worked out from the template's geometry and the number of
// data rows alone: no fonts, no device, nothing painted. This is the first pass; its page
// count is what the page-count expression prints in the second.

enum class BandKind { Title, PageHeader, Data, PageFooter };

struct PlacedBand {
    BandKind kind = BandKind::Data;
    double top = 0; // from the paper's top edge, 1/96 inch
    int row = -1;   // position in the view for a data band
};

struct LayoutPage {
    std::vector<PlacedBand> bands; // in painting order
};

// Pages for `rows` data rows. Data bands follow one another below the page header and go to
// a new page where the next one would run into the page footer. There is always at least
// one page, so an empty view still prints its title, captions and footer. A data band taller
// than a whole page would never fit: it is put on a page of its own rather than looping.
std::vector<LayoutPage> layoutPages(const ReportDesign& tpl, int rows);

// How many data bands fit on the first page and on each page after it.
int rowsOnFirstPage(const ReportDesign& tpl);
int rowsOnLaterPage(const ReportDesign& tpl);

} // namespace reports
