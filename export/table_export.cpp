#include "export/table_export.h"

#include "document/column_catalogue.h"
#include "export/column_fit.h"
#include "store/row_cursor.h"
#include "xls/xls_workbook.h"

namespace table_export {
namespace {

constexpr xls::XlsColor kLimitMarkColor = 0x000000FF; // red, as 0x00BBGGRR

using document::CatalogueColumn;

// Page margins in inches: narrow, to leave the records as much of each page as the printer
// allows; no header or footer is printed.
constexpr double kSideMargin = 0.4;
constexpr double kTopMargin = 0.4;
constexpr double kBottomMargin = 0.4;

// What the sheet takes from a record: a field, the sheet column and the record's block row
// it goes to, and whether it is written as text.
struct Placement {
    int field; // in the table's own numbering
    int column;
    int blockRow;
    bool text;
};

void setText(xls::XlsWorksheet& sheet, ColumnFit& fit, int column, int row, const QString& text)
{
    sheet.setCell(column, row, xls::XlsValue::text(text));
    fit.text(column, text);
}

void setNumber(xls::XlsWorksheet& sheet, ColumnFit& fit, int column, int row, const std::optional<double>& value)
{
    // A field with no value (never measured, or no number) stays an empty cell: 0 is a real
    // K or force, and a reader must not take the missing one for it. -0 is written as 0.
    if (!value)
        return;
    double v = *value;
    if (v == 0.0)
        v = 0.0;
    sheet.setCell(column, row, xls::XlsValue::real(v));
    fit.number(column, v);
}

// The sheet as it reads on screen and on paper: the headings bold, centred and wrapped, kept
// in view while the records scroll and printed again at the top of every page; landscape
// pages, the sheet scaled to one page across and as many pages down as it takes.
void setLayout(xls::XlsWorksheet& sheet)
{
    sheet.setFrozenPanes(1, 0);
    sheet.setPrintTitleRows(0, 0);
    xls::XlsPageSetup& page = sheet.pageSetup();
    page.Orientation = xls::XlsPageSetup::kLandscape;
    page.FitToPages = true;
    page.FitToPagesWide = 1;
    page.FitToPagesTall = 0;
    page.LeftMargin = page.RightMargin = kSideMargin;
    page.TopMargin = kTopMargin;
    page.BottomMargin = kBottomMargin;
}

// A new sheet with its heading row; `fit` starts afresh with the headings.
xls::XlsWorksheet& addSheet(xls::XlsWorkbook& book, ColumnFit& fit, const ExtraColumns& extra)
{
    xls::XlsWorksheet& sheet = book.addSheet();
    sheet.setName(sheetName(book.sheetCount() - 1));
    fit = ColumnFit(kColumnCount + extra.count());
    const auto& titles = headings();
    for (int column = 0; column < kColumnCount + extra.count(); ++column) {
        const QString& title = column < kColumnCount ? titles[static_cast<std::size_t>(column)]
                                                     : extra.headings[column - kColumnCount];
        xls::XlsRange& cell = sheet.range(column, 0, column, 0);
        cell.setValue(xls::XlsValue::text(title));
        cell.Font.Style.Bold = true;
        cell.WrapText = true;
        cell.HorizontalAlignment = xls::XlsHorizontal::Center;
        cell.VerticalAlignment = xls::XlsVertical::Center;
        fit.heading(column, title);
    }
    setLayout(sheet);
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

int fillWorkbook(const store::MeasurementTable& table, xls::XlsWorkbook& book, const document::Limits& limits,
                 const ExtraColumns& extra)
{
    ColumnFit fit(kColumnCount + extra.count());
    xls::XlsWorksheet* sheet = &addSheet(book, fit, extra);
    if (!table.isActive()) {
        fit.apply(*sheet, 0);
        return 0;
    }
    const std::vector<Placement> fields = placements(table);
    const store::DbfTable& t = table.table();
    store::RowCursor rows(table, store::RowCursor::Order::File);
    for (rows.first(); !rows.atEnd(); rows.next()) {
        const int k = rows.position();
        const RecordPlace place = recordPlace(k);
        if (place.sheet == book.sheetCount()) {
            fit.apply(*sheet, 0);
            sheet = &addSheet(book, fit, extra);
        }
        const std::uint32_t rec = rows.record();
        for (const Placement& f : fields) {
            if (f.text)
                setText(*sheet, fit, f.column, place.row + f.blockRow, t.text(rec, f.field));
            else
                setNumber(*sheet, fit, f.column, place.row + f.blockRow, t.real(rec, f.field));
        }
        if (extra.count() > 0) {
            const std::vector<ExtraColumns::Value> values = extra.values(rec);
            for (int i = 0; i < extra.count() && i < int(values.size()); ++i) {
                const ExtraColumns::Value& v = values[std::size_t(i)];
                if (const auto* text = std::get_if<QString>(&v))
                    setText(*sheet, fit, kColumnCount + i, place.row, *text);
                else if (const auto* number = std::get_if<double>(&v))
                    setNumber(*sheet, fit, kColumnCount + i, place.row, *number);
            }
        }
        // A test below a limit: its number in red and bold, a mark no other cell has.
        if (document::failsLimits(limits, table, rec)) {
            xls::XlsRange& number = sheet->range(0, place.row, 0, place.row);
            number.Font.Color = kLimitMarkColor;
            number.Font.Style.Bold = true;
        }
    }
    fit.apply(*sheet, 0);
    return rows.count();
}

} // namespace table_export
