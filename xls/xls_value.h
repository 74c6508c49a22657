#pragma once

#include <QString>

#include <cstdint>

namespace xls {

// The value of a range: a tagged value of one of the types a cell can be given. The type
// decides how the writer stores the cell (see XlsRange::cellKind): the numeric types below
// are written as numbers, every other type as text.
//
// Texts are held as Unicode. The program's own texts are Windows-1251 and decode into it
// without loss, so the 8-bit and the wide text of a value are one and the same text here;
// XlsRange::setValue stores both as Type::Text.
class XlsValue {
public:
    enum class Type {
        Empty,
        Null,
        // Written as numbers.
        Int16,
        Int32,
        Single,
        Double,
        Currency, // fixed point, 4 decimals
        Byte,
        // Written as text.
        Date,     // days since 30.12.1899, the fraction being the time of day
        Boolean,
        Text,     // 8-bit text
        WideText,
        Int8,
        UInt16,
        UInt32,
        Int64,
        UInt64,
    };

    XlsValue() = default; // Empty

    static XlsValue null();
    static XlsValue int16(std::int16_t v);
    static XlsValue int32(std::int32_t v);
    static XlsValue single(float v);
    static XlsValue real(double v);
    // A currency value given in units of 1/10000.
    static XlsValue currency(std::int64_t tenThousandths);
    static XlsValue byte(std::uint8_t v);
    static XlsValue date(double days);
    static XlsValue boolean(bool v);
    static XlsValue text(const QString& v);
    static XlsValue wideText(const QString& v);
    static XlsValue int8(std::int8_t v);
    static XlsValue uint16(std::uint16_t v);
    static XlsValue uint32(std::uint32_t v);
    static XlsValue int64(std::int64_t v);
    static XlsValue uint64(std::uint64_t v);

    Type type() const noexcept { return m_type; }
    bool isEmpty() const noexcept { return m_type == Type::Empty; }
    // True for the types written as numbers.
    bool isNumber() const noexcept;
    bool isText() const noexcept { return m_type == Type::Text || m_type == Type::WideText; }

    // The value as the number a cell stores (0 for the types that are not numbers).
    double toDouble() const noexcept;
    // The value as the text a cell stores: the text itself, an empty text for Empty and
    // Null, and for the other types their usual text form ("True"/"False", dd.mm.yyyy
    // [hh:mm:ss], decimal digits).
    QString toText() const;

    bool operator==(const XlsValue& other) const = default;

private:
    XlsValue(Type type, std::int64_t i, double d) : m_type(type), m_int(i), m_real(d) {}

    Type m_type = Type::Empty;
    std::int64_t m_int = 0;   // integer types, Boolean, Currency (scaled), UInt64 (bits)
    double m_real = 0.0;      // Single, Double, Date
    QString m_text;           // Text, WideText
};

} // namespace xls
