#include "archive/test_values.h"

#include <QDate>

#include <charconv>
#include <cmath>

namespace archive {

using store::Field;

int TestValues::kind() const
{
    const std::optional<double> kind = number(Field::NB_TYPE);
    return kind && std::isfinite(*kind) && std::abs(*kind) < 1e9 ? int(std::lround(*kind)) : -1;
}

bool isTextField(Field f)
{
    return store::measurementFields()[static_cast<std::size_t>(f)].type == store::FieldType::Character;
}

QString fieldColumn(Field f)
{
    return QStringLiteral("f_") + QString::fromLatin1(store::fieldName(f)).toLower();
}

TestValues readRecord(const store::MeasurementTable& table, std::uint32_t record)
{
    TestValues values;
    const store::DbfTable& t = table.table();
    for (int i = 0; i < store::kFieldCount; ++i) {
        const auto f = static_cast<Field>(i);
        const int column = table.column(f);
        if (isTextField(f))
            values.texts[std::size_t(i)] = t.text(record, column);
        else
            values.numbers[std::size_t(i)] = t.real(record, column);
    }
    return values;
}

QByteArray numberText(double value)
{
    if (value == 0)
        value = 0; // -0 is 0
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, int(result.ptr - buffer));
}

QByteArray identityOf(const TestValues& values)
{
    QByteArray key;
    key.reserve(96);
    const auto number = [&](Field f) {
        if (const auto v = values.number(f))
            key += numberText(*v);
        key += '|';
    };
    // Texts with the separator in them are escaped, so that no two rows share a key by
    // accident of where a '|' stands.
    const auto text = [&](Field f) {
        QByteArray bytes = values.text(f).trimmed().toUtf8();
        bytes.replace('\\', "\\\\").replace('|', "\\|");
        key += bytes;
        key += '|';
    };
    number(Field::DEV_TYPE);
    number(Field::SERIAL);
    key += QByteArray::number(values.kind());
    key += '|';
    text(Field::DATE);
    text(Field::TIME);
    number(Field::P1);
    number(Field::P2);
    number(Field::P3);
    number(Field::P4);
    number(Field::P5);
    key.chop(1);
    return key;
}

QString isoDay(const QString& date)
{
    // By hand: QDate::fromString reads its format anew on every call, and this runs for
    // every test added.
    const QString text = date.trimmed();
    int part[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int at = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('.')) {
            if (++at > 2)
                return {};
        } else if (c.isDigit() && c.unicode() < 128) {
            part[at] = part[at] * 10 + (c.unicode() - '0');
            if (++digits[at] > 4)
                return {};
        } else {
            return {};
        }
    }
    if (at != 2 || digits[0] == 0 || digits[0] > 2 || digits[1] == 0 || digits[1] > 2 || digits[2] != 4)
        return {};
    const QDate day(part[2], part[1], part[0]);
    return day.isValid() ? day.toString(Qt::ISODate) : QString();
}

} // namespace archive
