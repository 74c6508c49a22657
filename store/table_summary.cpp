#include "store/table_summary.h"

#include "store/extended_real.h"
#include "store/number_text.h"
#include "store/row_cursor.h"

namespace store {

namespace {

// Smallest, largest and sum of one field, started from the first row's value.
class Range {
public:
    explicit Range(double first) : m_min(first), m_max(first), m_sum(first) {}

    void add(double v)
    {
        if (v < m_min)
            m_min = v;
        if (v > m_max)
            m_max = v;
        m_sum += v;
    }

    double min() const { return m_min; }
    double max() const { return m_max; }
    double sum() const { return m_sum; }

private:
    double m_min, m_max, m_sum;
};

TableSummary summaryOf(const Range& p, const Range& r, int n)
{
    return {p.min(), roundMean(p.sum(), n), p.max(), r.min(), roundMean(r.sum(), n), r.max()};
}

TableSummary repeated(double p, double r)
{
    return {p, p, p, r, r, r};
}

} // namespace

double roundMean(double sum, int n)
{
    if (n < 1)
        return 0;
    // Every step in the 64-bit significand, as the expression is evaluated on an x87 unit;
    // the mean itself is not stored as a double in between.
    const ExtendedReal tenth = ExtendedReal::fromDouble(0.1);
    const ExtendedReal mean = ExtendedReal::fromDouble(sum) / ExtendedReal::fromInteger(n);
    const ExtendedReal tenths = (mean / tenth + ExtendedReal::fromDouble(0.5)).truncated();
    return (tenths * tenth).toDouble();
}

TableSummary summarizeTable(const MeasurementTable& table)
{
    RowCursor rows(table);
    const int n = rows.count();
    if (n == 0)
        return {};
    // An empty field reads 0, as it shows in the footer of an empty table.
    auto value = [&](Field f) { return rows.real(f).value_or(0.0); };
    if (n < 2)
        return repeated(value(Field::P), value(Field::R));
    Range p(value(Field::P));
    Range r(value(Field::R));
    for (rows.next(); !rows.atEnd(); rows.next()) {
        p.add(value(Field::P));
        r.add(value(Field::R));
    }
    return summaryOf(p, r, n);
}

TableSummary selectionSummary(std::span<const SelectionValues> rows)
{
    if (rows.empty())
        return {};
    const auto p0 = rows.front().p.value_or(0.0);
    const auto r0 = rows.front().r.value_or(0.0);
    if (rows.size() == 1)
        return repeated(p0, r0);
    Range p(p0);
    Range r(r0);
    for (const SelectionValues& row : rows.subspan(1)) {
        p.add(row.p.value_or(0.0));
        r.add(row.r.value_or(0.0));
    }
    return summaryOf(p, r, static_cast<int>(rows.size()));
}

QString summaryText(double min, double mean, double max, const QLocale& locale)
{
    const QChar slash = QLatin1Char('/');
    return generalNumberText(min, locale) + slash + generalNumberText(mean, locale) + slash +
           generalNumberText(max, locale);
}

FooterTexts footerTexts(const TableSummary& s, int rowsInView, const QLocale& locale)
{
    return {QString::number(rowsInView), summaryText(s.p_min, s.p_avg, s.p_max, locale),
            summaryText(s.r_min, s.r_avg, s.r_max, locale)};
}

} // namespace store
