#include "document/limits.h"

#include "settings/program_settings.h"
#include "store/row_cursor.h"

#include <QLocale>

namespace document {
namespace {

const QString kKeyK = QStringLiteral("Limit_K");
const QString kKeyE = QStringLiteral("Limit_E");

void writeNumber(QSettings& settings, const QString& key, const std::optional<double>& value)
{
    if (value)
        settings.setValue(key, QString::number(*value, 'g', 17));
    else
        settings.remove(key);
}

bool below(const std::optional<double>& value, const std::optional<double>& minimum)
{
    return value && minimum && *value < *minimum;
}

// The K and E of a test: a press test keeps its K in K, a penetrometer test in P7.
struct Judged {
    std::optional<double> k;
    std::optional<double> e;
};

Judged judged(const store::MeasurementTable& table, std::uint32_t record)
{
    const store::DbfTable& t = table.table();
    const auto real = [&](store::Field f) { return t.real(record, table.column(f)); };
    const bool press = real(store::Field::NB_TYPE).value_or(0) == store::kPressKind;
    return {real(press ? store::Field::K : store::Field::P7), real(store::Field::U)};
}

} // namespace

Limits readLimits(const QSettings& settings)
{
    // A value that is not a finite number ("nan", "inf" typed into the file) is no limit.
    return {settings::readNumber(settings, kKeyK), settings::readNumber(settings, kKeyE)};
}

void writeLimits(QSettings& settings, const Limits& limits)
{
    writeNumber(settings, kKeyK, limits.minK);
    writeNumber(settings, kKeyE, limits.minE);
}

bool failsLimits(const Limits& limits, const store::MeasurementTable& table, std::uint32_t record)
{
    if (!limits.any() || !table.isActive())
        return false;
    const Judged test = judged(table, record);
    return below(test.k, limits.minK) || below(test.e, limits.minE);
}

QStringList limitFailures(const Limits& limits, const store::MeasurementTable& table, std::uint32_t record)
{
    QStringList out;
    if (!limits.any() || !table.isActive())
        return out;
    const Judged test = judged(table, record);
    const QLocale comma(QLocale::Russian, QLocale::Russia);
    const auto number = [&comma](double v) {
        QString text = comma.toString(v, 'g', 15);
        text.remove(comma.groupSeparator());
        return text;
    };
    if (below(test.k, limits.minK))
        out << QStringLiteral("K = %1 < %2").arg(number(*test.k), number(*limits.minK));
    if (below(test.e, limits.minE))
        out << QStringLiteral("E = %1 < %2 МПа").arg(number(*test.e), number(*limits.minE));
    return out;
}

int failingRows(const Limits& limits, const store::MeasurementTable& table)
{
    if (!limits.any())
        return 0;
    int count = 0;
    store::RowCursor rows(table);
    for (rows.first(); !rows.atEnd(); rows.next())
        count += failsLimits(limits, table, rows.record()) ? 1 : 0;
    return count;
}

QString limitsText(const Limits& limits)
{
    const QLocale locale;
    QStringList parts;
    if (limits.minK)
        parts << QStringLiteral("K ≥ %1").arg(locale.toString(*limits.minK, 'g', 15));
    if (limits.minE)
        parts << QStringLiteral("E ≥ %1 МПа").arg(locale.toString(*limits.minE, 'g', 15));
    return parts.join(QStringLiteral("; "));
}

} // namespace document
