#include "reports/table_report.h"

#include "document/measurement_document.h"
#include "reports/report_data_set.h"

namespace reports {

ReportKind reportKindOf(const document::MeasurementDocument& document)
{
    return reportFor(document.kind() == store::kPressKind, document.deviceType());
}

PreparedReport prepareTableReport(std::shared_ptr<const ReportDesign> design, document::MeasurementDocument& document,
                                  const std::vector<std::shared_ptr<const PageDrawing>>& appended)
{
    // The report reads the rows by their place in the view: the grid's current row and
    // scroll position stay as the user left them.
    ReportDataSet data(document.table().table());
    markTestsBelowLimits(data, document.table(), document.limits());
    return prepareReport(std::move(design), data, appended);
}

} // namespace reports
