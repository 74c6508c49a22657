#pragma once

// The charts page a report can end with: the current test's forces and the chosen figure over
// every row of the view, as the chart panel shows them when the report is prepared.

#include "reports/prepared_report.h"

#include "views/chart_data.h"

#include <memory>

namespace reports {

// A page drawing of the two charts of `snapshot`. The charts are drawn from the values the
// snapshot holds, so the preview shows the same page however often it is painted, whatever
// happens to the table meanwhile.
std::shared_ptr<const PageDrawing> chartPage(views::ChartSnapshot snapshot);

} // namespace reports
