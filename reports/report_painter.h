#pragma once

#include "reports/prepared_report.h"

#include <QString>

#include <vector>

class QIODevice;
class QPagedPaintDevice;
class QPainter;
class QPrinter;

namespace reports {

// Paper A4 in the design's orientation and no margins, so that the device's origin is the
// paper's corner, where the design's lengths are measured from.
void setPageLayout(QPagedPaintDevice& device, const ReportDesign& design);
void setPageLayout(QPrinter& printer, const ReportDesign& design);

// Paints one prepared page (0-based) with a painter that is active on a paged device; the
// design's 1/96 inch is scaled to the device's resolution.
void paintPage(QPainter& painter, const PreparedReport& report, int page);

// Paints the listed pages (0-based), one device page each, starting on the device's current
// page. False when the painter could not start on the device or a page could not be added.
bool paintPages(QPagedPaintDevice& device, const PreparedReport& report, const std::vector<int>& pages);

// The pages a printer asks for after its print dialog: all, the current one, or the listed
// ranges, each as often as the copies ask when the printer cannot make copies itself (one
// copy after another when collated, each page repeated when not). `current` is 0-based.
std::vector<int> pagesToPrint(const QPrinter& printer, int pageCount, int current);

// The whole report as a PDF document into `device`. False when the painter could not start
// (no report, a device that is not open for writing); write failures are the device's to see.
bool writePdf(const PreparedReport& report, QIODevice& device);

// The whole report into a PDF file, written beside it and moved into place, so that a failure
// leaves the old file as it was. Throws StoreError (Io) naming the file and saying why.
void writePdfFile(const PreparedReport& report, const QString& path);

} // namespace reports
