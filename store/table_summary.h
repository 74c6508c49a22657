#pragma once

#include "store/measurement_table.h"

#include <QLocale>
#include <QString>

#include <optional>
#include <span>

namespace store {

// Smallest, mean and largest P and R over a set of rows: the footers' summary.
struct TableSummary {
    double p_min = 0, p_avg = 0, p_max = 0;
    double r_min = 0, r_avg = 0, r_max = 0;
};

// The mean sum / n rounded to one decimal as trunc(m / 0.1 + 0.5) × 0.1, where 0.1 is the
// double nearest one tenth, and m = sum / n, the division by 0.1, the addition and the
// multiplication are each rounded to a 64-bit significand (ExtendedReal); trunc cuts toward
// zero; the result is rounded to a double. Because the double 0.1 lies a little above one
// tenth, halves do not all go up: 2.25 gives 2.2, 2.45 gives 2.5. The same on every compiler.
// The sum is the caller's, added up in double. n below 1 gives 0.
double roundMean(double sum, int n);

// The table summary over the rows that pass the table's filter, read with a cursor of its
// own (the table's cursor stays where it is). One row: its P three times and its R three
// times (an empty field reads 0). Two or more: the minimum, the rounded mean and the maximum
// over every row, an empty field counting as 0. No rows, or a closed table, give zeros.
TableSummary summarizeTable(const MeasurementTable& table);

// The P and R a grid keeps with a selected row, as they were when the row was selected.
struct SelectionValues {
    std::optional<double> p, r;
};

// Minimum, rounded mean and maximum over the selected rows, for a selection of two or more
// (a smaller one shows the table summary instead). An empty P or R counts as 0, as summarizeTable
// reads an empty field, so that the two summaries of the same rows agree. One row gives its
// own values, none gives zeros.
TableSummary selectionSummary(std::span<const SelectionValues> rows);

// The footer texts of the N, P and R columns.
struct FooterTexts {
    QString n; // the number of rows in the view, whatever the summary covers
    QString p; // min/mean/max of P
    QString r; // min/mean/max of R
};

// "min/mean/max" in the general number form with the locale's decimal separator, e.g.
// "10/11,7/13".
QString summaryText(double min, double mean, double max, const QLocale& locale = QLocale());
FooterTexts footerTexts(const TableSummary& summary, int rowsInView, const QLocale& locale = QLocale());

} // namespace store
