#pragma once

// The two charts of the tests, built from their values into Chart models. The panel, a
// saved picture and the report's charts page all build their charts here, so that they show
// the same thing.
//
// Every series has an object name, so that whoever reads a chart (the tests, the update of
// the marks) finds its parts without counting them:
//   forces chart: "Forces" (a line through neighbouring forces; one per stretch without an
//                 empty force), "LoneForces" (forces with an empty one on either side), "MeanForce";
//   tests chart:  "Values" (a line through neighbouring rows with a value; one per stretch),
//                 "LoneValues" (points without a line: values with no neighbour to join, or
//                 every value when there are too many stretches), "Minimum", "Mean",
//                 "Maximum", "Selected", "Current".
// On both, x is a place in order: the push number 1…5, or the row's number in the view 1…n.

#include "views/chart.h"
#include "views/chart_data.h"

#include <span>


namespace views {

struct ChartStyle {
    // Text of titles, labels and legends, in pixels of the chart: a chart painted onto paper
    // or into a file keeps the proportions it has on the screen.
    int fontPixels = 12;
};

// Beyond this many stretches of values the tests chart draws the values as points without
// lines: a line series apiece would cost more than the chart is worth, and at that density
// a line between neighbours tells nothing that the points do not.
inline constexpr int kMaxValueLines = 300;
// Up to this many rows the values' lines also mark each row's point.
inline constexpr int kMaxMarkedPoints = 150;

// Replaces whatever the chart showed with the forces of one test and its mean force.
void buildForcesChart(Chart& chart, const TestForces& test, const ChartStyle& style);
// Replaces whatever the chart showed with the figure over all rows, its smallest, mean and
// largest value, and the marks.
void buildTestsChart(Chart& chart, const MeasureSeries& series, std::span<const int> selected, int current,
                     const ChartStyle& style);
// Only the marks of a built tests chart: the selected rows and the current row.
void setTestsMarks(Chart& chart, const MeasureSeries& series, std::span<const int> selected, int current);

// The view position a point of the tests chart stands for (x = position + 1), or -1 when x
// is outside the rows.
int positionAtX(double x, int rows);

} // namespace views
