#pragma once

#include "reports/report_design.h"
#include "reports/report_layout.h"

#include <QRectF>
#include <QString>

#include <memory>
#include <vector>

class QPainter;

namespace reports {

class ReportDataSet;

// One cell of a prepared page: which cell of the design, where its band went, and the text
// its expression gave.
struct PreparedCell {
    const ReportCell* cell = nullptr; // owned by the report's design
    double bandTop = 0;
    QString text;
    bool marked = false; // a test below a limit: painted with the report's red mark

    QRectF rect() const { return {cell->left, bandTop + cell->top, cell->width, cell->height}; }
};

// A page after the rows that paints itself (the charts page) over the page's free area:
// between the margins at the sides and at the top, and the page footer below. The page still
// gets its footer, and counts in every page's "Стр. … из …".
class PageDrawing {
public:
    virtual ~PageDrawing() = default;
    // `area` is the free area in the painter's device coordinates; `designSize` is its size
    // in 1/96 inch, the size the drawing lays itself out at.
    virtual void paint(QPainter& painter, const QRectF& area, const QSizeF& designSize) const = 0;
};

struct PreparedPage {
    std::vector<PreparedCell> cells;
    std::shared_ptr<const PageDrawing> drawing; // a page of `appended` below; null on the others
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
// nothing. Each drawing of `appended` gets a page of its own after the rows. The data set's
// marks mark the data band's cells of its field, and its title note goes under the title (the
// report's design is then a copy with one more title cell).
PreparedReport prepareReport(std::shared_ptr<const ReportDesign> design, ReportDataSet& data,
                             const std::vector<std::shared_ptr<const PageDrawing>>& appended = {});

// The free area of a page that a PageDrawing fills, in 1/96 inch from the paper's corner.
QRectF drawingArea(const ReportDesign& design);

} // namespace reports
