#include "export/table_export.h"

#include "document/column_catalogue.h"
#include "store/row_cursor.h"
#include "xls/xls_workbook.h"

namespace table_export {
namespace {

using document::CatalogueColumn;

// What the sheet takes from a record: a field, the sheet column and the record's block row
// it goes to, and whether it is written as text.
struct Placement {
    int field; // in the table's own numbering
    int column;
    int blockRow;
    bool text;
};

void setText(xls::XlsWorksheet& sheet, int column, int row, const QString& text)
{
    sheet.SetCell(column, row, xls::XlsValue::text(text));
}

void setNumber(xls::XlsWorksheet& sheet, int column, int row, const std::optional<double>& value)
{
    // An empty field reads as 0, and -0 is written as 0.
    const double v = value.value_or(0.0);
    sheet.SetCell(column, row, xls::XlsValue::real(v == 0.0 ? 0.0 : v));
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

// The sheet's columns from the catalogue: a column of its own starts a sheet column; its
// lines go below it in the same column.
std::vector<Placement> placements(const store::MeasurementTable& table)
{
    std::vector<Placement> out;
    int column = -1;
    for (const CatalogueColumn& c : document::columns(document::ColumnSet::Export)) {
        if (c.line == 0)
            ++column;
        if (*c.field == '\0')
            continue;
        const int field = table.table().requireField(c.field);
        const bool text = !store::isNumeric(table.table().fields()[static_cast<std::size_t>(field)].type);
        out.push_back({field, column, c.line == 0 ? 0 : c.line - 1, text});
    }
    return out;
}

} // namespace

const std::array<QString, kColumnCount>& headings()
{
    static const std::array<QString, kColumnCount> titles = [] {
        std::array<QString, kColumnCount> out;
        int column = 0;
        for (const CatalogueColumn& c : document::columns(document::ColumnSet::Export))
            if (c.line == 0 && column < kColumnCount)
                out[static_cast<std::size_t>(column++)] = QString::fromUtf8(c.caption);
        return out;
    }();
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

int fillWorkbook(const store::MeasurementTable& table, xls::XlsWorkbook& book)
{
    xls::XlsWorksheet* sheet = &addSheet(book);
    if (!table.isActive())
        return 0;
    const std::vector<Placement> fields = placements(table);
    const store::DbfTable& t = table.table();
    store::RowCursor rows(table);
    for (rows.first(); !rows.atEnd(); rows.next()) {
        const int k = rows.position();
        const RecordPlace place = recordPlace(k);
        if (place.sheet == book.SheetCount())
            sheet = &addSheet(book);
        const std::uint32_t rec = rows.record();
        for (const Placement& f : fields) {
            if (f.text)
                setText(*sheet, f.column, place.row + f.blockRow, t.text(rec, f.field));
            else
                setNumber(*sheet, f.column, place.row + f.blockRow, t.real(rec, f.field));
        }
    }
    return rows.count();
}

} // namespace table_export
