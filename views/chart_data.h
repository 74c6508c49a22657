#pragma once

// What the charts of the tests show, read from the view of the measurement table: the five
// forces of one test and one figure (R, E or K) over every row of the view, in the view's
// order. No widgets and no chart objects here: the chart panel, the saved picture and the
// report's charts page are all drawn from these values.

#include "document/limits.h"
#include "store/measurement_table.h"

#include <QString>

#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

namespace views {

// The figures the chart of all tests can show, one at a time.
enum class ChartMeasure { R, E, K };
inline constexpr std::array<ChartMeasure, 3> kChartMeasures = {ChartMeasure::R, ChartMeasure::E, ChartMeasure::K};

// The field a figure is kept in for rows of `kind`: R in R, E in U, K in P7 for penetrometer
// rows and in K for press rows.
store::Field measureField(ChartMeasure measure, int kind);
// The figure's letter as the settings keep it ("R", "E", "K"), and back (R for anything else).
QString measureKey(ChartMeasure measure);
ChartMeasure measureFromKey(const QString& key);
// The caption of the figure's column in the grid that shows rows of `kind`, on one line, so
// that the chart names the figure as the grid does.
QString measureCaption(ChartMeasure measure, int kind);

// An empty field. The charts leave a gap there: an empty value is no value, not a zero.
inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
inline bool hasValue(double value) noexcept { return !std::isnan(value); }

// A number as the charts label it: at most three decimals, trailing zeros dropped, the
// locale's decimal separator ("1234,5", "0,953").
QString chartNumberText(double value);

inline constexpr int kPushes = 5;

// The penetration forces of one test, in push order, with the test's mean force.
struct TestForces {
    int position = -1; // the test's row in the view; -1 when there is no current test
    QString title;     // "N 12, 01.02.2024 08:00"
    std::array<double, kPushes> forces{kNoValue, kNoValue, kNoValue, kNoValue, kNoValue};
    double mean = kNoValue; // P

    bool hasForces() const;
};

// One figure over every row of the view, in the view's order.
struct MeasureSeries {
    ChartMeasure measure = ChartMeasure::R;
    int kind = store::kPenetrometerKind;
    QString caption;
    std::vector<double> values; // one per row of the view; kNoValue where the field is empty
    int count = 0;              // values present
    // Over the values present; kNoValue when there are none.
    double min = kNoValue;
    double mean = kNoValue;
    double max = kNoValue;
    // Rows below the limit of this figure's own measure (view positions, ascending), and
    // that limit (K or E; kNoValue when it has none or none is set).
    std::vector<int> failing;
    double limit = kNoValue;
};

// A stretch of neighbouring rows that all have a value: first and last position.
struct ValueRun {
    int first = 0;
    int last = 0;
    int length() const noexcept { return last - first + 1; }
};
// The stretches of present values, left to right. A line joins the points of one stretch
// only, so that an empty value breaks it.
std::vector<ValueRun> valueRuns(std::span<const double> values);

// The forces of the view's row at `position` (no test, when the position is outside the
// view). Read by record number: the table's cursor stays where it is.
TestForces readForces(const store::MeasurementTable& table, int position);
// The figure over the rows of the view, shown as rows of `kind`.
MeasureSeries readMeasure(const store::MeasurementTable& table, ChartMeasure measure, int kind);
// Notes in `series` the limit of its own measure and the rows of the view below it.
void markLimits(MeasureSeries& series, const document::Limits& limits);

// What the two charts show at one moment, with the grid's marks: everything the panel, a
// saved picture and the report's charts page need, so that they draw the same charts.
struct ChartSnapshot {
    TestForces forces;
    MeasureSeries tests;
    std::vector<int> selected; // view positions of the selected rows, ascending
    int current = -1;          // view position of the current row
};

// The figure over the rows of the view with the tests below `limits` marked: what the panel
// draws and what a report without the panel draws.
MeasureSeries readTests(const store::MeasurementTable& table, ChartMeasure measure, int kind,
                        const document::Limits& limits);
// The charts of the rows of `kind` in view with the row at `current` as the current test and
// none selected, as a report made without the window shows them.
ChartSnapshot chartSnapshot(const store::MeasurementTable& table, ChartMeasure measure, int kind,
                            const document::Limits& limits, int current);

} // namespace views
