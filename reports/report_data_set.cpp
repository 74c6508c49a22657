#include "reports/report_data_set.h"

#include "document/limits.h"

#include "store/dbf_table.h"
#include "store/number_text.h"

namespace reports {
namespace {

// Every format is written with a locale that has the comma.
const QLocale& commaLocale()
{
    static const QLocale locale(QLocale::Russian, QLocale::Russia);
    return locale;
}

} // namespace

QString formatNumber(double value, ValueFormat format)
{
    switch (format) {
    case ValueFormat::Plain:
        return store::generalNumberText(value, commaLocale());
    case ValueFormat::Fixed2:
        return store::patternNumberText(value, QStringLiteral("0.00"), commaLocale());
    case ValueFormat::Decimal3: {
        // ##0.###: round to three decimals first, then drop what the '#' marks leave out.
        QString text = store::patternNumberText(value, QStringLiteral("0.000"), commaLocale());
        const QChar comma = commaLocale().decimalPoint().front();
        while (text.endsWith(QLatin1Char('0')) && text.contains(comma))
            text.chop(1);
        if (text.endsWith(comma))
            text.chop(1);
        return text;
    }
    }
    return {};
}

bool ReportDataSet::isActive() const { return m_table.isActive(); }

int ReportDataSet::rowCount() const { return m_table.isActive() ? m_table.recordCount() : 0; }

QString ReportDataSet::value(int row, const QString& name, ValueFormat format) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const int field = m_table.fieldIndex(name.toStdString());
    if (field < 0)
        return {};
    const std::uint32_t rec = m_table.recordAt(row);
    if (m_table.isEmpty(rec, field))
        return {};
    const store::FieldDef& def = m_table.fields()[static_cast<std::size_t>(field)];
    if (!store::isNumeric(def.type))
        return m_table.text(rec, field);
    const auto number = m_table.real(rec, field);
    // A number field holding something that is no number is shown as it stands.
    return number ? formatNumber(*number, format) : m_table.text(rec, field);
}

void ReportDataSet::setMarks(RowMarker marker, const QString& field, const QString& note)
{
    m_marker = std::move(marker);
    m_markedField = field;
    m_titleNote = note;
}

void markTestsBelowLimits(ReportDataSet& data, const store::MeasurementTable& table, const document::Limits& limits)
{
    if (!limits.any())
        return;
    data.setMarks(
        [&table, limits](int row) {
            const store::DbfTable& t = table.table();
            return table.isActive() && row >= 0 && row < t.recordCount()
                && document::failsLimits(limits, table, t.recordAt(row));
        },
        QStringLiteral("N"),
        QStringLiteral("Нормативы: %1 (испытания ниже норматива отмечены красным уголком в столбце N)")
            .arg(document::limitsText(limits)));
}

} // namespace reports
