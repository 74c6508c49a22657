// The export's sheet layout, checked through the workbook model on small tables made here:
// headings, where each record's values stand, texts and numbers, blank fields, the kind
// filter of each tab, and further sheets once one is full.

#include "export/table_export.h"
#include "xls/xls_workbook.h"

#include "tests/store/store_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <utility>

namespace {

using store::Field;
using store::MeasurementTable;
using store::test::Blank;
using store::test::Cell;
using store::test::Cells;
using xls::XlsCell;
using xls::XlsCellKind;
using xls::XlsWorksheet;

// What the user expects where: column and row within a record's block, and the field.
struct Place {
    int column;
    int blockRow;
    Field field;
    bool text;
};
const Place kLayout[] = {
    {0, 0, Field::N, false},     {1, 0, Field::DATE, true},   {2, 0, Field::TIME, true},
    {3, 0, Field::P, false},     {4, 0, Field::R, false},     {5, 0, Field::U, false},
    {6, 0, Field::P7, false},    {7, 0, Field::H, false},     {8, 0, Field::P6, false},
    {9, 0, Field::S, false},     {10, 0, Field::P1, false},   {10, 1, Field::P2, false},
    {10, 2, Field::P3, false},   {10, 3, Field::P4, false},   {10, 4, Field::P5, false},
    {11, 0, Field::COMMENT, true},
};
const char* const kHeadings[] = {
    "N", "Дата", "Время", "Fср. Ср. усилие пенетрации, Н", "P, Сопротивление пенетрации, МПа",
    "E, Модуль упругости, МПа", "K, Коэфициент уплотнения", "I, Индекс влажности",
    "f, Угол внутреннего трения, град", "C, Удельное сцепление грунта, МПа",
    "F, Усилие пенетрации, Н", "Примечание",
};

// Every field of row `k` different from every other, so that a value in the wrong place
// shows. Press rows leave the penetrometer-only fields empty.
Cells rowCells(int k, int kind)
{
    Cells cells = {
        {Field::N, double(k + 1)},
        {Field::DATE, QStringLiteral("%1.03.2024").arg(k + 1, 2, 10, QLatin1Char('0'))},
        {Field::TIME, QStringLiteral("10:%1").arg(k, 2, 10, QLatin1Char('0'))},
        {Field::NB_TYPE, double(kind)},
        {Field::P, 100.5 + k},
        {Field::R, 2.25 + k},
        {Field::COMMENT, QStringLiteral("участок №%1").arg(k)},
    };
    if (kind == store::kPenetrometerKind) {
        const Field more[] = {Field::U, Field::P7, Field::H, Field::P6, Field::S, Field::P1,
                              Field::P2, Field::P3, Field::P4, Field::P5};
        for (Field f : more)
            cells.emplace_back(f, 1000.0 * static_cast<int>(f) + k + 0.125);
    }
    return cells;
}

std::optional<Cell> cellOf(const Cells& cells, Field f)
{
    for (const auto& [field, value] : cells)
        if (field == f)
            return value;
    return std::nullopt;
}

using CellMap = std::map<std::pair<int, int>, XlsCell>; // (column, row)

// Every cell of the sheet, plain or range, read as it is (reading does not turn plain cells
// into ranges).
CellMap cellsOf(const XlsWorksheet& sheet)
{
    CellMap map;
    for (int i = 0; i < sheet.cellCount(); ++i) {
        const XlsCell c = sheet.cellAt(i);
        EXPECT_TRUE(c.isSingleCell());
        EXPECT_TRUE(map.emplace(std::make_pair(c.left(), c.top()), c).second);
    }
    return map;
}

void expectHeadings(const CellMap& cells)
{
    for (int column = 0; column < 12; ++column) {
        const auto it = cells.find({column, 0});
        ASSERT_NE(it, cells.end()) << "no heading in column " << column;
        EXPECT_EQ(it->second.cellKind(), XlsCellKind::Text);
        EXPECT_EQ(it->second.value().toText(), QString::fromUtf8(kHeadings[column]));
    }
}

// The cells the record made from `row` fills: every text field, and the numbers it holds.
std::size_t cellCount(const Cells& row)
{
    std::size_t n = 0;
    for (const Place& p : kLayout) {
        const std::optional<Cell> given = cellOf(row, p.field);
        n += p.text || (given && std::holds_alternative<double>(*given)) ? 1 : 0;
    }
    return n;
}

// The block of the record made from `row` stands at sheet row `top`.
void expectRecord(const CellMap& cells, int top, const Cells& row)
{
    for (const Place& p : kLayout) {
        SCOPED_TRACE(testing::Message() << "column " << p.column << ", block row " << p.blockRow);
        const auto it = cells.find({p.column, top + p.blockRow});
        const std::optional<Cell> given = cellOf(row, p.field);
        if (!p.text && !(given && std::holds_alternative<double>(*given))) {
            EXPECT_EQ(it, cells.end()) << "a missing number is no cell";
            continue;
        }
        ASSERT_NE(it, cells.end());
        const XlsCell& range = it->second;
        if (p.text) {
            EXPECT_EQ(range.cellKind(), XlsCellKind::Text);
            EXPECT_EQ(range.value().type(), xls::XlsValue::Type::Text);
            const QString want = given && std::holds_alternative<QString>(*given)
                                     ? std::get<QString>(*given) : QString();
            EXPECT_EQ(range.value().toText(), want);
        } else {
            EXPECT_EQ(range.cellKind(), XlsCellKind::Number);
            EXPECT_DOUBLE_EQ(range.value().toDouble(), std::get<double>(*given));
        }
        // Every cell keeps the default style.
        EXPECT_EQ(range.style().Font, xls::XlsFont{});
        EXPECT_TRUE(range.style().Format.isEmpty());
    }
}

class TableExportTest : public store::test::StoreTest {
protected:
    // A table of `rows`, open, with `filter` set ("" for none).
    void openTable(const std::vector<Cells>& rows, const std::string& filter)
    {
        const QString file = path(QStringLiteral("t.db"));
        store::test::createTable(file, rows);
        m_table.open(file);
        if (!filter.empty())
            m_table.table().setFilter(filter);
        m_table.table().refresh();
    }

    MeasurementTable m_table;
    xls::XlsWorkbook m_book;
};

TEST_F(TableExportTest, ShownKindInFiveRowBlocks)
{
    const int pen = store::kPenetrometerKind, press = store::kPressKind;
    const std::vector<Cells> rows = {rowCells(0, pen), rowCells(1, press), rowCells(2, pen),
                                     rowCells(3, press), rowCells(4, pen)};
    struct Case {
        const char* what;
        std::string filter;
        std::vector<int> exported; // indexes into rows, in sheet order
    };
    const Case cases[] = {
        {"first tab", store::kindFilter(pen), {0, 2, 4}},
        {"second tab: press rows in the same columns, empty reals give no cell", store::kindFilter(press), {1, 3}},
        {"no kind filter yet: every row", "", {0, 1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeasurementTable table;
        const QString file = path(QStringLiteral("t.db"));
        store::test::createTable(file, rows);
        table.open(file);
        table.table().setFilter(c.filter);
        table.table().refresh();
        table.table().last();
        const int userRow = table.table().position();
        xls::XlsWorkbook book;

        EXPECT_EQ(table_export::fillWorkbook(table, book), static_cast<int>(c.exported.size()));
        ASSERT_EQ(book.sheetCount(), 1);
        const XlsWorksheet& sheet = book.sheet(0);
        EXPECT_EQ(sheet.name(), QStringLiteral("ВРТ-ТК5"));
        const CellMap cells = cellsOf(sheet);
        std::size_t filled = 12;
        for (const int k : c.exported)
            filled += cellCount(rows[static_cast<std::size_t>(k)]);
        EXPECT_EQ(cells.size(), filled) << "no other cells";
        expectHeadings(cells);
        for (std::size_t k = 0; k < c.exported.size(); ++k)
            expectRecord(cells, 1 + 5 * static_cast<int>(k), rows[static_cast<std::size_t>(c.exported[k])]);
        // The last row with a cell: a press test's block has no forces under its first row.
        EXPECT_EQ(sheet.usedBottom(), std::max_element(cells.begin(), cells.end(), [](const auto& a, const auto& b) {
                                          return a.first.second < b.first.second;
                                      })->first.second);
        EXPECT_GE(sheet.usedBottom(), 5 * static_cast<int>(c.exported.size()) - 4);
        EXPECT_EQ(sheet.usedRight(), 11);
        // The export walks with a cursor of its own: the user's row stays.
        EXPECT_EQ(table.table().position(), userRow);
        table.table().first();
        xls::XlsWorkbook again;
        table_export::fillWorkbook(table, again);
        EXPECT_EQ(table.table().position(), 0);
        table.close();
    }
}

// A missing number is no cell: 0 is a real value (a K or a force) that a reader must not
// find where nothing was measured. A stored -0 is still written as 0.
TEST_F(TableExportTest, BlankFieldsGiveEmptyTextsAndNoNumbers)
{
    openTable({{{Field::N, 7.0}, {Field::DATE, QStringLiteral("01.02.2024")}, {Field::TIME, Blank{}},
                {Field::NB_TYPE, 0.0}, {Field::P1, -0.0}}},
              store::kindFilter(0));
    table_export::fillWorkbook(m_table, m_book);
    const CellMap cells = cellsOf(m_book.sheet(0));
    const XlsCell& time = cells.at({2, 1});
    EXPECT_EQ(time.cellKind(), XlsCellKind::Text); // an empty text: the writer's blank cell
    EXPECT_TRUE(time.value().toText().isEmpty());
    EXPECT_TRUE(cells.at({11, 1}).value().toText().isEmpty());
    for (const auto& [column, row] : {std::pair{3, 1}, {6, 1}, {9, 1}, {10, 2}, {10, 5}})
        EXPECT_FALSE(cells.contains({column, row})) << "column " << column << " row " << row;
    const XlsCell& zero = cells.at({10, 1});
    EXPECT_EQ(zero.cellKind(), XlsCellKind::Number);
    EXPECT_EQ(zero.value().toDouble(), 0.0);
    EXPECT_FALSE(std::signbit(zero.value().toDouble()));
}

TEST_F(TableExportTest, EmptyViewGivesTheHeadingsOnly)
{
    openTable({rowCells(0, store::kPenetrometerKind)}, store::kindFilter(store::kPressKind));
    EXPECT_EQ(table_export::fillWorkbook(m_table, m_book), 0);
    ASSERT_EQ(m_book.sheetCount(), 1);
    const CellMap cells = cellsOf(m_book.sheet(0));
    EXPECT_EQ(cells.size(), 12u);
    expectHeadings(cells);
    EXPECT_EQ(m_book.sheet(0).usedBottom(), 0);
}

TEST(TableExportPlaces, RecordsFillASheetThenTheNext)
{
    struct Case {
        int k;
        int sheet;
        int row;
    };
    // 13,107 records of five rows fill rows 1 to 65,535 of a sheet.
    const Case cases[] = {{0, 0, 1}, {1, 0, 6}, {13106, 0, 65531}, {13107, 1, 1}, {13108, 1, 6},
                          {26214, 2, 1}};
    for (const Case& c : cases) {
        const auto place = table_export::recordPlace(c.k);
        EXPECT_EQ(place.sheet, c.sheet) << c.k;
        EXPECT_EQ(place.row, c.row) << c.k;
        EXPECT_LE(place.row + 4, 65535);
    }
    EXPECT_EQ(table_export::sheetName(0), QStringLiteral("ВРТ-ТК5"));
    EXPECT_EQ(table_export::sheetName(1), QStringLiteral("ВРТ-ТК5 (2)"));
    EXPECT_EQ(table_export::sheetName(2), QStringLiteral("ВРТ-ТК5 (3)"));
}

// A full sheet and one record more: the second sheet has its own headings and the last record.
TEST_F(TableExportTest, FullSheetContinuesOnASecondSheet)
{
    const QString file = path(QStringLiteral("big.db"));
    MeasurementTable::create(file);
    m_table.open(file);
    const int count = 13107 + 1;
    m_table.table().beginBatch();
    for (int k = 0; k < count; ++k)
        store::test::appendRow(m_table, {{Field::N, double(k + 1)}, {Field::NB_TYPE, 0.0}, {Field::P5, double(k)}});
    m_table.table().endBatch();
    m_table.table().setFilter(store::kindFilter(0));
    m_table.table().refresh();

    EXPECT_EQ(table_export::fillWorkbook(m_table, m_book), count);
    ASSERT_EQ(m_book.sheetCount(), 2);
    const XlsWorksheet& first = m_book.sheet(0);
    const XlsWorksheet& second = m_book.sheet(1);
    EXPECT_EQ(first.usedBottom(), 65535);
    // Each record fills its N, its fifth force and its three texts; the other numbers are empty.
    EXPECT_EQ(first.cellCount(), 12 + 5 * 13107);
    EXPECT_EQ(second.name(), QStringLiteral("ВРТ-ТК5 (2)"));
    const CellMap cells = cellsOf(second);
    EXPECT_EQ(cells.size(), 12u + 5u);
    expectHeadings(cells);
    EXPECT_EQ(cells.at({0, 1}).value().toDouble(), double(count));
    EXPECT_EQ(cells.at({10, 5}).value().toDouble(), double(count - 1));
    // The last record of the first sheet ends on its last row.
    EXPECT_EQ(first.rangeAt(first.cellCount() - 1).top(), 65535);
    EXPECT_EQ(first.rangeAt(first.cellCount() - 1).value().toDouble(), double(13106));
}

} // namespace
