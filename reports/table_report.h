#pragma once

// The report of the rows a document shows, made the same way for the window's preview and
// print and for the command line's PDF.

#include "reports/prepared_report.h"
#include "reports/report_templates.h"

#include <memory>
#include <vector>

namespace document {
class MeasurementDocument;
}

namespace reports {

// Which report prints the rows in view: the press report for press rows, the plate-test
// report for penetrometer rows of a plate-test instrument, the penetrometer report otherwise.
ReportKind reportKindOf(const document::MeasurementDocument& document);

// Runs `design` over the rows in view, with the tests below the document's limits marked,
// then gives each drawing of `appended` a page of its own. Empty when no table is open.
PreparedReport prepareTableReport(std::shared_ptr<const ReportDesign> design, document::MeasurementDocument& document,
                                  const std::vector<std::shared_ptr<const PageDrawing>>& appended);

} // namespace reports
