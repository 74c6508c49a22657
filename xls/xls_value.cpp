#include "xls/xls_value.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace xls {

XlsValue XlsValue::null() { return {Type::Null, 0, 0.0}; }
XlsValue XlsValue::int16(std::int16_t v) { return {Type::Int16, v, 0.0}; }
XlsValue XlsValue::int32(std::int32_t v) { return {Type::Int32, v, 0.0}; }
XlsValue XlsValue::single(float v) { return {Type::Single, 0, static_cast<double>(v)}; }
XlsValue XlsValue::real(double v) { return {Type::Double, 0, v}; }
XlsValue XlsValue::currency(std::int64_t tenThousandths) { return {Type::Currency, tenThousandths, 0.0}; }
XlsValue XlsValue::byte(std::uint8_t v) { return {Type::Byte, v, 0.0}; }
XlsValue XlsValue::date(double days) { return {Type::Date, 0, days}; }
XlsValue XlsValue::boolean(bool v) { return {Type::Boolean, v ? 1 : 0, 0.0}; }
XlsValue XlsValue::int8(std::int8_t v) { return {Type::Int8, v, 0.0}; }
XlsValue XlsValue::uint16(std::uint16_t v) { return {Type::UInt16, v, 0.0}; }
XlsValue XlsValue::uint32(std::uint32_t v) { return {Type::UInt32, v, 0.0}; }
XlsValue XlsValue::int64(std::int64_t v) { return {Type::Int64, v, 0.0}; }
XlsValue XlsValue::uint64(std::uint64_t v) { return {Type::UInt64, static_cast<std::int64_t>(v), 0.0}; }

XlsValue XlsValue::text(const QString& v)
{
    XlsValue value(Type::Text, 0, 0.0);
    value.m_text = v;
    return value;
}

XlsValue XlsValue::wideText(const QString& v)
{
    XlsValue value(Type::WideText, 0, 0.0);
    value.m_text = v;
    return value;
}

bool XlsValue::isNumber() const noexcept
{
    switch (m_type) {
    case Type::Int16:
    case Type::Int32:
    case Type::Single:
    case Type::Double:
    case Type::Currency:
    case Type::Byte:
        return true;
    default:
        return false;
    }
}

double XlsValue::toDouble() const noexcept
{
    switch (m_type) {
    case Type::Int16:
    case Type::Int32:
    case Type::Byte:
        return static_cast<double>(m_int);
    case Type::Single:
    case Type::Double:
        return m_real;
    case Type::Currency:
        return static_cast<double>(m_int) / 10000.0;
    default:
        return 0.0;
    }
}

QString XlsValue::toText() const
{
    switch (m_type) {
    case Type::Empty:
    case Type::Null:
        return {};
    case Type::Text:
    case Type::WideText:
        return m_text;
    case Type::Boolean:
        return m_int ? QStringLiteral("True") : QStringLiteral("False");
    case Type::UInt64:
        return QString::number(static_cast<std::uint64_t>(m_int));
    case Type::Single:
    case Type::Double:
        return QString::number(m_real, 'g', m_type == Type::Single ? 7 : 15);
    case Type::Currency:
        return QString::number(toDouble(), 'f', 4);
    case Type::Date: {
        // Day 0 is 30.12.1899; the time of day is the fraction, shown only when there is one.
        const double whole = std::floor(m_real);
        const QDate day = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
        const int ms = static_cast<int>(std::lround((m_real - whole) * 86400000.0));
        QString text = day.toString(QStringLiteral("dd.MM.yyyy"));
        if (ms > 0 && ms < 86400000)
            text += QLatin1Char(' ') + QTime::fromMSecsSinceStartOfDay(ms).toString(QStringLiteral("hh:mm:ss"));
        return text;
    }
    default:
        return QString::number(m_int);
    }
}

} // namespace xls
