#pragma once

// Shared by the report tests: small measurement tables made in the test, a report rendered
// to PDF, and its text read back by poppler's pdftotext.

#include "reports/report_design.h"
#include "store/measurement_table.h"

#include "../store/store_test_support.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace reports::test {

using store::test::Blank;
using store::test::Cells;

// A penetrometer row (kind 0) numbered `n` with the given serial number, date and extra cells.
Cells penetrometerRow(int n, double serial, const QString& date, Cells extra = {});
// A press row (kind 1).
Cells pressRow(int n, double serial, const QString& date, Cells extra = {});

// Text of a PDF page (1-based; 0 = every page) as `pdftotext -layout` gives it. With a crop
// box (in 1/96 inch from the paper's corner) only the text inside the box.
QString pdfText(const QString& pdf, int page = 0);
QString pdfTextIn(const QString& pdf, int page, double left, double top, double width, double height);
int pdfPageCount(const QString& pdf);

// Runs of blanks and line breaks made one blank, ends trimmed.
QString simplified(const QString& text);

// pdftotext and pdftoppm are on the machine.
bool popplerAvailable();

} // namespace reports::test
