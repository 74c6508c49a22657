#include "views/chart_data.h"

#include <cmath>

#include "views/number_text.h"

#include "document/column_catalogue.h"
#include "store/row_cursor.h"

#include <algorithm>

namespace views {

store::Field measureField(ChartMeasure measure, int kind)
{
    switch (measure) {
    case ChartMeasure::E:
        return store::Field::U;
    case ChartMeasure::K:
        // The press tab shows its compaction coefficient from K; penetrometer tests keep
        // theirs in P7, which the decoder fills.
        return kind == store::kPressKind ? store::Field::K : store::Field::P7;
    case ChartMeasure::R:
        break;
    }
    return store::Field::R;
}

QString measureKey(ChartMeasure measure)
{
    switch (measure) {
    case ChartMeasure::E:
        return QStringLiteral("E");
    case ChartMeasure::K:
        return QStringLiteral("K");
    case ChartMeasure::R:
        break;
    }
    return QStringLiteral("R");
}

ChartMeasure measureFromKey(const QString& key)
{
    for (ChartMeasure m : kChartMeasures)
        if (key.compare(measureKey(m), Qt::CaseInsensitive) == 0)
            return m;
    return ChartMeasure::R;
}

QString measureCaption(ChartMeasure measure, int kind)
{
    const char* field = store::fieldName(measureField(measure, kind));
    const auto set = kind == store::kPressKind ? document::ColumnSet::Grid2 : document::ColumnSet::Grid1;
    for (const document::CatalogueColumn& column : document::columns(set))
        if (qstrcmp(column.field, field) == 0)
            return QString::fromUtf8(column.caption).simplified();
    return QString::fromLatin1(field);
}

QString chartNumberText(double value)
{
    if (!hasValue(value))
        return {};
    // Three decimals are more than any figure of a test carries, and a mean needs no more.
    return generalNumberText(std::round(value * 1000.0) / 1000.0);
}

bool TestForces::hasForces() const
{
    return std::any_of(forces.begin(), forces.end(), hasValue);
}

std::vector<ValueRun> valueRuns(std::span<const double> values)
{
    std::vector<ValueRun> runs;
    const int n = static_cast<int>(values.size());
    for (int i = 0; i < n;) {
        if (!hasValue(values[static_cast<std::size_t>(i)])) {
            ++i;
            continue;
        }
        ValueRun run{i, i};
        while (run.last + 1 < n && hasValue(values[static_cast<std::size_t>(run.last + 1)]))
            ++run.last;
        runs.push_back(run);
        i = run.last + 1;
    }
    return runs;
}

namespace {

double valueOf(const store::MeasurementTable& table, std::uint32_t record, store::Field field)
{
    double value;
    return table.table().readReal(record, table.column(field), value) ? value : kNoValue;
}

} // namespace

TestForces readForces(const store::MeasurementTable& table, int position)
{
    TestForces test;
    if (!table.isActive() || position < 0 || position >= table.table().recordCount())
        return test;
    const std::uint32_t record = table.table().recordAt(position);
    test.position = position;
    static constexpr std::array<store::Field, kPushes> kForces = {
        store::Field::P1, store::Field::P2, store::Field::P3, store::Field::P4, store::Field::P5};
    for (std::size_t i = 0; i < kForces.size(); ++i)
        test.forces[i] = valueOf(table, record, kForces[i]);
    test.mean = valueOf(table, record, store::Field::P);

    const double number = valueOf(table, record, store::Field::N);
    const QString date = table.table().text(record, table.column(store::Field::DATE)).trimmed();
    const QString time = table.table().text(record, table.column(store::Field::TIME)).trimmed();
    QStringList parts;
    if (hasValue(number))
        parts << QStringLiteral("N %1").arg(generalNumberText(number));
    const QString when = (date + QLatin1Char(' ') + time).trimmed();
    if (!when.isEmpty())
        parts << when;
    test.title = parts.join(QStringLiteral(", "));
    return test;
}

MeasureSeries readMeasure(const store::MeasurementTable& table, ChartMeasure measure, int kind)
{
    MeasureSeries series;
    series.measure = measure;
    series.kind = kind;
    series.caption = measureCaption(measure, kind);
    if (!table.isActive())
        return series;
    const store::DbfTable& dbf = table.table();
    const int column = table.column(measureField(measure, kind));
    const std::vector<std::uint32_t>& view = dbf.view();
    series.values.resize(view.size());
    double sum = 0;
    double lo = 0;
    double hi = 0;
    int count = 0;
    for (std::size_t i = 0; i < view.size(); ++i) {
        double value;
        if (!dbf.readReal(view[i], column, value)) {
            series.values[i] = kNoValue;
            continue;
        }
        series.values[i] = value;
        lo = count == 0 ? value : std::min(lo, value);
        hi = count == 0 ? value : std::max(hi, value);
        sum += value;
        ++count;
    }
    series.count = count;
    if (count > 0) {
        series.min = lo;
        series.max = hi;
        series.mean = sum / count;
    }
    return series;
}

void markLimits(MeasureSeries& series, const document::Limits& limits)
{
    series.failing.clear();
    series.limit = kNoValue;
    const std::optional<double> limit = series.measure == ChartMeasure::K ? limits.minK
        : series.measure == ChartMeasure::E                           ? limits.minE
                                                                      : std::nullopt;
    if (!limit)
        return;
    series.limit = *limit;
    // Only what this figure shows is judged: a test at K = 0,97 that fails E is no mark on
    // the K chart, and the R chart, which has no limit, marks none.
    for (std::size_t i = 0; i < series.values.size(); ++i)
        if (!std::isnan(series.values[i]) && series.values[i] < *limit)
            series.failing.push_back(static_cast<int>(i));
}

MeasureSeries readTests(const store::MeasurementTable& table, ChartMeasure measure, int kind,
                        const document::Limits& limits)
{
    MeasureSeries series = readMeasure(table, measure, kind);
    markLimits(series, limits);
    return series;
}

ChartSnapshot chartSnapshot(const store::MeasurementTable& table, ChartMeasure measure, int kind,
                            const document::Limits& limits, int current)
{
    ChartSnapshot snapshot;
    snapshot.tests = readTests(table, measure, kind, limits);
    snapshot.current = current;
    snapshot.forces = readForces(table, current);
    return snapshot;
}

} // namespace views
