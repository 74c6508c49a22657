#pragma once

#include "reports/report_design.h"

#include <memory>

namespace reports {

// The program's three printed reports.
std::shared_ptr<const ReportDesign> penetrometerDesign(); // Report1, A4 landscape
std::shared_ptr<const ReportDesign> pressDesign();        // Report2, A4 portrait
std::shared_ptr<const ReportDesign> plateTestDesign();    // Report3, A4 portrait

// The instrument type whose penetrometer rows print as the plate-test report.
inline constexpr int kPlateTestDevice = 13;

// Which report prints the rows shown: the press report for press rows, the plate-test report
// for penetrometer rows of a plate-test instrument, the penetrometer report otherwise.
enum class ReportKind { Penetrometer, Press, PlateTest };
ReportKind reportFor(bool pressRows, int deviceType);
std::shared_ptr<const ReportDesign> designOf(ReportKind kind);

// The design with `line` under its title, on the first page (the site the reported tests
// share: "Объект: …; участок: …"). The design itself when the line is empty.
std::shared_ptr<const ReportDesign> withSubtitle(std::shared_ptr<const ReportDesign> design, const QString& line);

} // namespace reports
