#include "archive_test_support.h"

#include <QSqlQuery>

#include <ostream>

namespace archive::test {

using store::Field;

Cells penetrometerRow(double n, const QString& time, double serial, double force, const QString& comment)
{
    return {{Field::N, n},
            {Field::DATE, QStringLiteral("01.05.2026")},
            {Field::TIME, time},
            {Field::DEV_TYPE, 5.0},
            {Field::SERIAL, serial},
            {Field::NB_TYPE, 0.0},
            {Field::COMMENT, comment},
            {Field::P1, 100 + force},
            {Field::P2, 200 + force},
            {Field::P3, 300 + force},
            {Field::P4, 400 + force},
            {Field::P5, 500 + force},
            {Field::P7, 0.95},
            {Field::U, 40.0}};
}

Cells pressRow(double n, const QString& time, double serial)
{
    return {{Field::N, n},
            {Field::DATE, QStringLiteral("02.05.2026")},
            {Field::TIME, time},
            {Field::DEV_TYPE, 5.0},
            {Field::SERIAL, serial},
            {Field::NB_TYPE, 1.0},
            {Field::COMMENT, QStringLiteral("150")},
            {Field::K, 0.98},
            {Field::U, 55.0}};
}

QVariant scalar(Archive& archive, const QString& sql)
{
    QSqlQuery query(archive.database());
    if (!query.exec(sql) || !query.next())
        return {};
    return query.value(0);
}

Counts counts(Archive& archive)
{
    return {count(archive, QStringLiteral("SELECT COUNT(*) FROM tests")),
            count(archive, QStringLiteral("SELECT COUNT(*) FROM placements WHERE present = 1")),
            count(archive, QStringLiteral("SELECT COUNT(*) FROM placements WHERE present = 0")),
            count(archive, QStringLiteral("SELECT COUNT(*) FROM changes"))};
}

void PrintTo(const Counts& c, std::ostream* os)
{
    *os << "{tests " << c.tests << ", present " << c.present << ", gone " << c.gone << ", changes " << c.changes << "}";
}

} // namespace archive::test
