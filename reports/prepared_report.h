#pragma once

#include "reports/report_design.h"
#include "reports/report_layout.h"

#include <QRectF>
#include <QString>

#include <memory>
#include <vector>

namespace reports {

class ReportDataSet;

// One cell of a prepared page: which cell of the design, where its band went, and the text
// its expression gave.
struct PreparedCell {
    const ReportCell* cell = nullptr; // owned by the report's design
    double bandTop = 0;
    QString text;

    QRectF rect() const { return {cell->left, bandTop + cell->top, cell->width, cell->height}; }
};

struct PreparedPage {
    std::vector<PreparedCell> cells;
};

// The pages of one run of a design over a data set, with every text worked out: what the
// preview shows and the printer prints.
struct PreparedReport {
    std::shared_ptr<const ReportDesign> design;
    std::vector<PreparedPage> pages;

    int pageCount() const noexcept { return static_cast<int>(pages.size()); }
    bool isEmpty() const noexcept { return pages.empty(); }
};

// Two passes: the first lays the bands out (and so counts the pages), the second evaluates
// every cell, the page-count expression included. The rows are walked from the first to the
// last of the view; the title is evaluated on the first row. An inactive data set prepares
// nothing.
PreparedReport prepareReport(std::shared_ptr<const ReportDesign> design, ReportDataSet& data);

} // namespace reports
