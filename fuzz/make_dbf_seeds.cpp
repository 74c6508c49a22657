// Writes the seed tables of fuzz_dbf_open into a folder: a measurement table with both kinds
// of rows, and a small three-field table with a deleted row. The committed seeds in
// fuzz/corpus/fuzz_dbf_open/ were made by this program; run it again if the layout changes.

#include "store/measurement_table.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    using store::Field;
    try {
        const QString measurement = dir.filePath(QStringLiteral("measurement.db"));
        QFile::remove(measurement);
        store::MeasurementTable::create(measurement);
        store::MeasurementTable m;
        m.open(measurement);
        m.table().append();
        m.setReal(Field::N, 1);
        m.setText(Field::DATE, QStringLiteral("31.01.2005"));
        m.setText(Field::TIME, QStringLiteral("12:30"));
        m.setReal(Field::DEV_TYPE, 4);
        m.setReal(Field::SERIAL, 1234);
        m.setReal(Field::NB_TYPE, store::kPenetrometerKind);
        m.setReal(Field::P, 250.5);
        m.setReal(Field::R, 1.25);
        m.setText(Field::COMMENT, QStringLiteral("Суглинок"));
        m.setReal(Field::P1, 240);
        m.table().post();
        m.table().append();
        m.setReal(Field::N, 2);
        m.setText(Field::DATE, QStringLiteral("01.12.2004"));
        m.setReal(Field::NB_TYPE, store::kPressKind);
        m.setReal(Field::P, -3);
        m.setText(Field::T, QStringLiteral("Сжатие"));
        m.table().post();
        m.close();

        const QString small = dir.filePath(QStringLiteral("small.db"));
        QFile::remove(small);
        store::DbfTable::create(small, {{"A", store::FieldType::Numeric, 6, 2},
                                        {"B", store::FieldType::Character, 5, 0},
                                        {"C", store::FieldType::Float, 4, 0}});
        store::DbfTable t;
        t.open(small);
        for (int i = 0; i < 3; ++i) {
            t.append();
            t.setReal(0, 10.25 * (2 - i));
            t.setText(1, QStringLiteral("яA%1").arg(i));
            if (i != 1)
                t.setReal(2, i);
            t.post();
        }
        t.first();
        t.next();
        t.deleteRecord();
    } catch (const store::StoreError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
