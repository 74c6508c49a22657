#include "document/column_catalogue.h"

#include <array>

namespace document {
namespace {

using F = CellFormat;

// clang-format off
constexpr CatalogueColumn kGrid1[] = {
    {"N", "N", F::General, 22},
    {"DATE", "Дата", F::General, 38},
    {"TIME", "Время", F::General, 37},
    {"", "F, Усилие пенетрации, Н", F::General, 97},
    {"P1", "№1", F::General, 97, 1},
    {"P2", "№2", F::General, 97, 2},
    {"P3", "№3 ", F::General, 97, 3},
    {"P4", "№4", F::General, 97, 4},
    {"P5", "№5", F::General, 97, 5},
    {"P", "Fср.  Ср. усилие пенетрации, Н", F::General, 76},
    {"R", "P, Сопротивление пенетрации, МПа", F::General, 52},
    {"U", "E, Модуль упругости, МПа", F::General, 63},
    {"P7", "K, Коэфициент уплотнения", F::General, 53, 0, 1},
    {"H", "I, Индекс влажности", F::Fixed2, 53, 0, 2},
    {"P6", "f, Угол внутреннего трения, град", F::General, 53, 0, 3},
    {"S", "C, Удельное сцепление грунта, МПа", F::Fixed4, 78, 0, 4},
    {"COMMENT", "Примечание", F::Text, 51},
};

// The penetrometer tab with one line per test: the forces side by side, as in the CSV.
constexpr CatalogueColumn kGrid1ForcesInRow[] = {
    {"N", "N", F::General, 22},
    {"DATE", "Дата", F::General, 52},
    {"TIME", "Время", F::General, 32},
    {"P1", "F1, Н", F::General, 32},
    {"P2", "F2, Н", F::General, 32},
    {"P3", "F3, Н", F::General, 32},
    {"P4", "F4, Н", F::General, 32},
    {"P5", "F5, Н", F::General, 32},
    {"P", "Fср.  Ср. усилие пенетрации, Н", F::General, 50},
    {"R", "P, Сопротивление пенетрации, МПа", F::General, 50},
    {"U", "E, Модуль упругости, МПа", F::General, 48},
    {"P7", "K, Коэфициент уплотнения", F::General, 46, 0, 1},
    {"H", "I, Индекс влажности", F::Fixed2, 42, 0, 2},
    {"P6", "f, Угол внутреннего трения, град", F::General, 46, 0, 3},
    {"S", "C, Удельное сцепление грунта, МПа", F::Fixed4, 54, 0, 4},
    {"COMMENT", "Примечание", F::Text, 70},
};

constexpr CatalogueColumn kGrid2[] = {
    {"N", "N", F::General, 21},
    {"DATE", "Дата", F::General, 47, 0, 1},
    {"TIME", "Время", F::General, 33},
    {"", "Усилие Пенетрации, Н", F::General, 75},
    {"", "№1", F::General, 75, 1},
    {"", "№2", F::General, 75, 2},
    {"", "№3", F::General, 75, 3},
    {"", "№4", F::General, 75, 4},
    {"", "№5", F::General, 75, 5},
    {"P", "Среднее усилие пенетрпции, Н", F::Fixed2, 39, 0, 0, true},
    {"R", "Сопротивление пенетрации, МПа", F::General, 41},
    {"U", "Модуль упругости,  МПа", F::General, 63},
    {"K", "Коэфициент уплотнения", F::General, 37, 0, 1},
    {"G", "Угол внутреннего трения", F::General, 38, 0, 2},
    {"S", "Удельное сцепление грунта, МПа", F::General, 40, 0, 3},
    {"COMMENT", "Размер образца, мм", F::General, 124, 0, 4, true},
    {"T", "Вид испытаний", F::General, 116},
};

// Texts go in as text cells, numbers as numbers (the field's type decides); the forces stand
// one below the other in the column of their heading.
constexpr CatalogueColumn kExport[] = {
    {"N", "N"},
    {"DATE", "Дата"},
    {"TIME", "Время"},
    {"P", "Fср. Ср. усилие пенетрации, Н"},
    {"R", "P, Сопротивление пенетрации, МПа"},
    {"U", "E, Модуль упругости, МПа"},
    {"P7", "K, Коэфициент уплотнения"},
    {"H", "I, Индекс влажности"},
    {"P6", "f, Угол внутреннего трения, град"},
    {"S", "C, Удельное сцепление грунта, МПа"},
    {"", "F, Усилие пенетрации, Н"},
    {"P1", "", F::General, 0, 1},
    {"P2", "", F::General, 0, 2},
    {"P3", "", F::General, 0, 3},
    {"P4", "", F::General, 0, 4},
    {"P5", "", F::General, 0, 5},
    {"COMMENT", "Примечание"},
};

constexpr CatalogueColumn kPenetrometerReport[] = {
    {"N", "N", F::General, 61, 0, 0, false, 71},
    {"DATE", "Дата", F::General, 80, 0, 0, false, 132},
    {"TIME", "Время", F::General, 66, 0, 0, false, 212},
    {"", "Усилие пенетрации, Н", F::General, 75, 0, 0, false, 278},
    {"P1", "", F::General, 75, 1, 0, false, 278},
    {"P2", "", F::General, 75, 2, 0, false, 278},
    {"P3", "", F::General, 75, 3, 0, false, 278},
    {"P4", "", F::General, 75, 4, 0, false, 278},
    {"P5", "", F::General, 75, 5, 0, false, 278},
    {"P", "Ср. усилие пенетрации, Н", F::Fixed2, 80, 0, 0, false, 353},
    {"R", "Сопротивление пенетрации, МПа", F::General, 97, 0, 0, false, 433},
    {"U", "Модуль упругости, МПа", F::General, 69, 0, 0, false, 530},
    {"P7", "Коэфициент уплотнения", F::General, 73, 0, 0, false, 599},
    {"H", "Индекс влажности", F::General, 69, 0, 0, false, 672},
    {"P6", "Угол внутреннего трения, град", F::General, 77, 0, 0, false, 741},
    {"S", "Удельное сцепление грунта, МПа", F::General, 73, 0, 0, false, 818},
    {"COMMENT", "Примечание", F::General, 153, 0, 0, false, 890, true},
};

constexpr CatalogueColumn kPressReport[] = {
    {"N", "N", F::General, 61, 0, 0, false, 72},
    {"DATE", "Дата", F::General, 80, 0, 0, false, 133},
    {"TIME", "Время", F::General, 66, 0, 0, false, 213},
    {"P", "P, Н", F::Decimal3, 72, 0, 0, false, 279},
    {"R", "R, МПа", F::Decimal3, 72, 0, 0, false, 351},
    {"H", "dН", F::Fixed2, 72, 0, 0, false, 423},
    {"T", "Вид испытаний", F::General, 104, 0, 0, false, 495},
    {"COMMENT", "Размер образца, мм", F::General, 133, 0, 0, false, 599, true},
};

constexpr CatalogueColumn kPlateTestReport[] = {
    {"N", "N", F::General, 61, 0, 0, false, 72},
    {"DATE", "Дата", F::General, 80, 0, 0, false, 133},
    {"TIME", "Время", F::General, 66, 0, 0, false, 213},
    {"P", "P, кН", F::Fixed2, 144, 0, 0, false, 279},
    {"TYPE", "Тип и размер пластины", F::General, 120, 0, 0, false, 423},
    {"COMMENT", "Примечание", F::General, 189, 0, 0, false, 543, true},
};
// clang-format on

} // namespace

std::span<const CatalogueColumn> columns(ColumnSet set)
{
    switch (set) {
    case ColumnSet::Grid1:
        return kGrid1;
    case ColumnSet::Grid1ForcesInRow:
        return kGrid1ForcesInRow;
    case ColumnSet::Grid2:
        return kGrid2;
    case ColumnSet::Export:
        return kExport;
    case ColumnSet::PenetrometerReport:
        return kPenetrometerReport;
    case ColumnSet::PressReport:
        return kPressReport;
    case ColumnSet::PlateTestReport:
        return kPlateTestReport;
    }
    return {};
}

QString fieldTextPattern(const QString& field)
{
    return field.compare(QLatin1String("G"), Qt::CaseInsensitive) == 0 ? QStringLiteral("0.0") : QString();
}

} // namespace document
