#include "bench_tables.h"

#include "store/measurement_table.h"

#include <QDate>

#include <cmath>
#include <random>

namespace bench {

using store::Field;
using store::MeasurementTable;

void writeFieldWorkTable(const QString& path, int rows, unsigned seed)
{
    std::mt19937 rng(seed);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto whole = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto rounded = [](double v, double step) { return std::round(v / step) * step; };
    const qint64 firstDay = QDate(2000, 1, 1).toJulianDay();
    const qint64 lastDay = QDate(2010, 12, 31).toJulianDay();
    const QString comments[] = {QString(), QStringLiteral("Суглинок тугопластичный"), QStringLiteral("Песок мелкий, влажный"),
                                QStringLiteral("Глина твёрдая, слой №2"), QStringLiteral("Насыпной грунт")};

    MeasurementTable::create(path);
    MeasurementTable t;
    t.open(path);
    for (int i = 0; i < rows; ++i) {
        const bool press = whole(0, 9) < 3;
        const QDate date = QDate::fromJulianDay(std::uniform_int_distribution<qint64>(firstDay, lastDay)(rng));
        t.table().append();
        t.setReal(Field::N, i + 1);
        t.setText(Field::DATE, date.toString(QStringLiteral("dd.MM.yyyy")));
        t.setText(Field::TIME, QStringLiteral("%1:%2").arg(whole(7, 19), 2, 10, QLatin1Char('0')).arg(whole(0, 59), 2, 10, QLatin1Char('0')));
        t.setReal(Field::SERIAL, 1000 + whole(0, 20));
        t.setReal(Field::P, rounded(uniform(50, 3000), 0.1));
        t.setReal(Field::R, rounded(uniform(0.1, 30), 0.001));
        if (!press) {
            t.setReal(Field::DEV_TYPE, 4);
            t.setReal(Field::NB_TYPE, store::kPenetrometerKind);
            t.setText(Field::COMMENT, comments[whole(0, 4)]);
            t.setReal(Field::H, rounded(uniform(0, 1), 0.01));
            t.setReal(Field::U, rounded(uniform(1, 60), 0.1));
            t.setReal(Field::S, rounded(uniform(0, 0.1), 0.001));
            for (Field f : {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5})
                t.setReal(f, whole(40, 3100));
            t.setReal(Field::P6, rounded(uniform(10, 40), 0.1));
            t.setReal(Field::P7, rounded(uniform(0.8, 1), 0.01));
        } else {
            const bool plate = whole(0, 4) == 0;
            t.setReal(Field::DEV_TYPE, plate ? 13 : 4);
            t.setReal(Field::NB_TYPE, store::kPressKind);
            t.setText(Field::COMMENT, QStringLiteral("100x100x100"));
            t.setText(Field::T, plate ? QStringLiteral("Штамп") : QStringLiteral("Сжатие"));
            if (plate)
                t.setText(Field::TYPE, QStringLiteral("Плита 300 мм"));
            t.setReal(Field::H, rounded(uniform(0, 5), 0.01));
        }
        t.table().post();
    }
}


} // namespace bench
