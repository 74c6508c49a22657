#include "export/table_export.h"

#include "xls/xls_workbook.h"

namespace table_export {
namespace {

using store::Field;

// The values of a record's first row, columns 0 to 9, in column order.
struct ColumnField {
    Field field;
    bool text;
};
constexpr std::array<ColumnField, 10> kFirstRowFields = {{
    {Field::N, false},
    {Field::DATE, true},
    {Field::TIME, true},
    {Field::P, false},
    {Field::R, false},
    {Field::U, false},
    {Field::P7, false},
    {Field::H, false},
    {Field::P6, false},
    {Field::S, false},
}};
constexpr std::array<Field, kRowsPerRecord> kForces = {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5};

void setText(xls::XlsWorksheet& sheet, int column, int row, const QString& text)
{
    sheet.Ranges(column, row, column, row).SetValue(xls::XlsValue::text(text));
}

void setNumber(xls::XlsWorksheet& sheet, int column, int row, const std::optional<double>& value)
{
    // An empty field reads as 0, and -0 is written as 0.
    const double v = value.value_or(0.0);
    sheet.Ranges(column, row, column, row).SetValue(xls::XlsValue::real(v == 0.0 ? 0.0 : v));
}

xls::XlsWorksheet& addSheet(xls::XlsWorkbook& book)
{
    xls::XlsWorksheet& sheet = book.AddSheet();
    sheet.SetName(sheetName(book.SheetCount() - 1));
    const auto& titles = headings();
    for (int column = 0; column < kColumnCount; ++column)
        setText(sheet, column, 0, titles[static_cast<std::size_t>(column)]);
    return sheet;
}

void writeRecord(const store::MeasurementTable& table, xls::XlsWorksheet& sheet, int row)
{
    for (int column = 0; column < static_cast<int>(kFirstRowFields.size()); ++column) {
        const ColumnField& cf = kFirstRowFields[static_cast<std::size_t>(column)];
        if (cf.text)
            setText(sheet, column, row, table.text(cf.field));
        else
            setNumber(sheet, column, row, table.real(cf.field));
    }
    setNumber(sheet, kForceColumn, row, table.real(kForces[0]));
    setText(sheet, kCommentColumn, row, table.text(Field::COMMENT));
    for (int j = 1; j < kRowsPerRecord; ++j)
        setNumber(sheet, kForceColumn, row + j, table.real(kForces[static_cast<std::size_t>(j)]));
}

} // namespace

const std::array<QString, kColumnCount>& headings()
{
    static const std::array<QString, kColumnCount> titles = {
        QStringLiteral("N"),
        QStringLiteral("Дата"),
        QStringLiteral("Время"),
        QStringLiteral("Fср. Ср. усилие пенетрации, Н"),
        QStringLiteral("P, Сопротивление пенетрации, МПа"),
        QStringLiteral("E, Модуль упругости, МПа"),
        QStringLiteral("K, Коэфициент уплотнения"),
        QStringLiteral("I, Индекс влажности"),
        QStringLiteral("f, Угол внутреннего трения, град"),
        QStringLiteral("C, Удельное сцепление грунта, МПа"),
        QStringLiteral("F, Усилие пенетрации, Н"),
        QStringLiteral("Примечание"),
    };
    return titles;
}

QString sheetName(int index)
{
    const QString base = QStringLiteral("ВРТ-ТК5");
    return index == 0 ? base : QStringLiteral("%1 (%2)").arg(base).arg(index + 1);
}

RecordPlace recordPlace(int k)
{
    return {k / kRecordsPerSheet, 1 + (k % kRecordsPerSheet) * kRowsPerRecord};
}

int fillWorkbook(store::MeasurementTable& table, xls::XlsWorkbook& book)
{
    table.table().first();
    xls::XlsWorksheet* sheet = &addSheet(book);
    const int count = table.table().recordCount();
    for (int k = 0; k < count; ++k) {
        if (k > 0)
            table.table().next();
        const RecordPlace place = recordPlace(k);
        if (place.sheet == book.SheetCount())
            sheet = &addSheet(book);
        writeRecord(table, *sheet, place.row);
    }
    return count;
}

} // namespace table_export
