// The workbook model: sheet names, the range list (order, overlap removal, the tallest range
// and the used area), values and cell kinds, and the trimming of names.

#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace xls {
namespace {

using Bounds = std::tuple<int, int, int, int>; // left, top, right, bottom

Bounds boundsOf(const XlsRange& r)
{
    return {r.left(), r.top(), r.right(), r.bottom()};
}

std::vector<Bounds> rangeList(const XlsWorksheet& sheet)
{
    std::vector<Bounds> list;
    for (int i = 0; i < sheet.cellCount(); ++i)
        list.push_back(boundsOf(sheet.rangeAt(i)));
    return list;
}

// What the list must satisfy after any sequence of calls.
void expectListInvariants(const XlsWorksheet& sheet)
{
    int tallest = 0;
    for (int i = 0; i < sheet.cellCount(); ++i) {
        const XlsRange& a = sheet.rangeAt(i);
        tallest = std::max(tallest, a.bottom() - a.top() + 1);
        if (i > 0) {
            EXPECT_LE(sheet.rangeAt(i - 1).top(), a.top()) << "list not ordered at " << i;
        }
        for (int j = i + 1; j < sheet.cellCount(); ++j) {
            const XlsRange& b = sheet.rangeAt(j);
            const bool overlap = a.left() <= b.right() && b.left() <= a.right() &&
                                 a.top() <= b.bottom() && b.top() <= a.bottom();
            EXPECT_FALSE(overlap) << "ranges " << i << " and " << j << " overlap";
        }
        EXPECT_EQ(a.worksheet(), &sheet);
    }
    EXPECT_GE(sheet.maxRangeHeight(), tallest);
}

TEST(WorkbookModel, NewWorkbookAndSheet)
{
    XlsWorkbook book;
    EXPECT_EQ(book.userName(), QStringLiteral("Korvane"));
    EXPECT_EQ(book.sheetCount(), 0);
    XlsWorksheet& sheet = book.addSheet();
    EXPECT_EQ(sheet.name(), QStringLiteral("Sheet1"));
    EXPECT_EQ(sheet.index(), 0);
    EXPECT_EQ(sheet.workbook(), &book);
    EXPECT_EQ(sheet.cellCount(), 0);
    EXPECT_EQ(sheet.maxRangeHeight(), 0);
    EXPECT_EQ(std::make_tuple(sheet.usedLeft(), sheet.usedTop(), sheet.usedRight(), sheet.usedBottom()),
              std::make_tuple(-1, -1, -1, -1));
    EXPECT_EQ(sheet.columnWidth(0), nullptr);
    EXPECT_TRUE(sheet.columnWidths().empty());
    EXPECT_FALSE(sheet.printTitleRows().has_value());
    EXPECT_TRUE(sheet.rowHeights().empty());
    EXPECT_EQ(sheet.rowHeight(0), nullptr);
    EXPECT_FALSE(sheet.hasFrozenPanes());
    EXPECT_EQ(std::make_pair(sheet.frozenRows(), sheet.frozenColumns()), std::make_pair(0, 0));
    EXPECT_FALSE(sheet.pageSetup().FitToPages);
    EXPECT_EQ(sheet.pageSetup().Orientation, XlsPageSetup::kPortrait);
}

// Heights set in any order come out one per row, ordered by row; setting a row again
// replaces its height; what no file can hold is refused and changes nothing.
TEST(WorkbookModel, RowHeightsOnePerRowInRowOrder)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    sheet.setRowHeight(7, 400);
    sheet.setRowHeight(0, 510);
    sheet.setRowHeight(70000, 300); // beyond what a file holds: the writer refuses it, not the model
    sheet.setRowHeight(7, XlsWorksheet::kMaxRowHeight);
    sheet.setRowHeight(3, XlsWorksheet::kMinRowHeight);
    const std::vector<XlsRowHeight> expected = {{0, 510}, {3, 2}, {7, 8192}, {70000, 300}};
    EXPECT_EQ(sheet.rowHeights(), expected);
    ASSERT_NE(sheet.rowHeight(3), nullptr);
    EXPECT_EQ(sheet.rowHeight(3)->Height, 2);
    EXPECT_EQ(sheet.rowHeight(4), nullptr);

    struct Case {
        const char* what;
        std::int32_t row;
        int height;
        XlsError::Code code;
    };
    const Case cases[] = {
        {"negative row", -1, 300, XlsError::Code::BadRange},
        {"height below 2 twips", 1, 1, XlsError::Code::BadArgument},
        {"height above 8192 twips", 1, 8193, XlsError::Code::BadArgument},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            sheet.setRowHeight(c.row, c.height);
            ADD_FAILURE() << "no error";
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), c.code);
        }
        EXPECT_EQ(sheet.rowHeights(), expected);
    }
}

TEST(WorkbookModel, FrozenPanes)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    sheet.setFrozenPanes(1, 0);
    EXPECT_TRUE(sheet.hasFrozenPanes());
    EXPECT_EQ(std::make_pair(sheet.frozenRows(), sheet.frozenColumns()), std::make_pair(1, 0));
    sheet.setFrozenPanes(0, 2);
    EXPECT_TRUE(sheet.hasFrozenPanes());
    for (const auto& [rows, columns] : {std::pair{-1, 0}, std::pair{0, -1}}) {
        try {
            sheet.setFrozenPanes(rows, columns);
            ADD_FAILURE() << "no error for " << rows << ", " << columns;
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), XlsError::Code::BadRange);
        }
    }
    EXPECT_EQ(std::make_pair(sheet.frozenRows(), sheet.frozenColumns()), std::make_pair(0, 2));
    sheet.setFrozenPanes(0, 0);
    EXPECT_FALSE(sheet.hasFrozenPanes());
}

// Widths set in any order come out one per column, ordered by column; setting a column again
// replaces its width.
TEST(WorkbookModel, ColumnWidthsOnePerColumnInColumnOrder)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    sheet.setColumnWidth(5, 2560);
    sheet.setColumnWidth(0, 0);
    sheet.setColumnWidth(300, 100); // beyond what a file holds: the writer refuses it, not the model
    sheet.setColumnWidth(2, 512);
    sheet.setColumnWidth(5, XlsWorksheet::kMaxColumnWidth);
    const std::vector<XlsColumnWidth> expected = {{0, 0}, {2, 512}, {5, 0xFFFF}, {300, 100}};
    EXPECT_EQ(sheet.columnWidths(), expected);
    ASSERT_NE(sheet.columnWidth(2), nullptr);
    EXPECT_EQ(sheet.columnWidth(2)->Width, 512);
    EXPECT_EQ(sheet.columnWidth(1), nullptr);
    EXPECT_EQ(sheet.columnWidth(6), nullptr);
}

TEST(WorkbookModel, ColumnWidthsRefuseWhatNoFileCanHold)
{
    struct Case {
        const char* what;
        std::int32_t column;
        int width;
        XlsError::Code code;
    };
    const Case cases[] = {
        {"negative column", -1, 256, XlsError::Code::BadRange},
        {"negative width", 0, -1, XlsError::Code::BadArgument},
        {"width beyond 16 bits", 0, 0x10000, XlsError::Code::BadArgument},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        XlsWorksheet& sheet = book.addSheet();
        sheet.setColumnWidth(3, 700);
        try {
            sheet.setColumnWidth(c.column, c.width);
            ADD_FAILURE() << "no error";
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), c.code);
        }
        EXPECT_EQ(sheet.columnWidths(), (std::vector<XlsColumnWidth>{{3, 700}})); // unchanged
    }
}

TEST(WorkbookModel, PrintTitleRows)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    sheet.setPrintTitleRows(0, 0);
    EXPECT_EQ(sheet.printTitleRows(), (XlsRowSpan{0, 0}));
    sheet.setPrintTitleRows(2, 4);
    EXPECT_EQ(sheet.printTitleRows(), (XlsRowSpan{2, 4}));
    for (const auto& [first, last] : {std::pair{-1, 0}, std::pair{3, 2}}) {
        try {
            sheet.setPrintTitleRows(first, last);
            ADD_FAILURE() << "no error for rows " << first << ".." << last;
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), XlsError::Code::BadRange);
        }
    }
    EXPECT_EQ(sheet.printTitleRows(), (XlsRowSpan{2, 4}));
}

TEST(WorkbookModel, DefaultSheetNames)
{
    struct Case {
        const char* what;
        std::vector<QString> renameTo; // names given to the sheets added before, in order
        QString expected;              // name of the next sheet added
    };
    const Case cases[] = {
        {"first sheet", {}, "Sheet1"},
        {"second sheet", {"Sheet1"}, "Sheet2"},
        {"only sheet is sheet2 in lower case", {"sheet2"}, "Sheet3"},
        {"taken names are skipped in turn", {"x", "Sheet4", "sheet5"}, "Sheet6"},
        {"lower numbers are not reused", {"a", "b"}, "Sheet3"},
        {"Sheet1 taken does not matter from the second position on", {"Sheet1", "Sheet1"}, "Sheet3"},
        {"a longer name is not the same name", {"Sheet22"}, "Sheet2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        for (const QString& name : c.renameTo)
            book.addSheet().setName(name);
        const XlsWorksheet& added = book.addSheet();
        EXPECT_EQ(added.name(), c.expected);
        EXPECT_EQ(added.index(), book.sheetCount() - 1);
    }
}

TEST(WorkbookModel, ClearDestroysEverySheet)
{
    XlsWorkbook book;
    book.addSheet().range(0, 0, 0, 0).setValue(XlsValue::real(1));
    book.addSheet();
    book.clear();
    EXPECT_EQ(book.sheetCount(), 0);
    EXPECT_EQ(book.addSheet().name(), QStringLiteral("Sheet1"));
}

TEST(WorkbookModel, NameTrimming)
{
    const QString forty = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd");
    struct Case {
        const char* what;
        QString given;
        QString sheetName; // after setName (31 kept)
        QString userName;  // after setUserName (66 kept)
    };
    const Case cases[] = {
        {"40 characters", forty, forty.left(31), forty},
        {"blanks at both ends", "  Лист 1 ", "Лист 1", "Лист 1"},
        {"control characters at both ends", "\t\r\nИмя\x01\x1f", "Имя", "Имя"},
        {"blanks inside stay", " a  b ", "a  b", "a  b"},
        {"only blanks", "   ", "", ""},
        // The cut comes first: the blank that ends up last after the cut goes too.
        {"cut, then trimmed", QString(30, u'x') + QStringLiteral(" y"), QString(30, u'x'),
         QString(30, u'x') + QStringLiteral(" y")},
        {"leading blanks count towards the limit", QString(30, u' ') + QStringLiteral("abc"),
         QStringLiteral("a"), QStringLiteral("abc")},
        {"70 characters", QString(70, u'Ж'), QString(31, u'Ж'), QString(66, u'Ж')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        XlsWorksheet& sheet = book.addSheet();
        sheet.setName(c.given);
        EXPECT_EQ(sheet.name(), c.sheetName);
        book.setUserName(c.given);
        EXPECT_EQ(book.userName(), c.userName);
    }
}

TEST(WorkbookModel, SameBoundsGiveTheSameRangeWithItsValue)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    XlsRange& first = sheet.range(2, 3, 2, 3);
    first.setValue(XlsValue::text(QStringLiteral("ВРТ")));
    first.HorizontalAlignment = 3;
    XlsRange& again = sheet.range(2, 3, 2, 3);
    EXPECT_EQ(&first, &again);
    EXPECT_EQ(again.value().toText(), QStringLiteral("ВРТ"));
    EXPECT_EQ(again.HorizontalAlignment, 3);
    EXPECT_EQ(sheet.cellCount(), 1);
}

TEST(WorkbookModel, RangeListOrderAndOverlaps)
{
    struct Case {
        const char* what;
        std::vector<Bounds> calls;
        std::vector<Bounds> list; // the range list afterwards
        int maxHeight;
    };
    const Case cases[] = {
        {"rows added 5, 1, 3 end up 1, 3, 5",
         {{0, 5, 0, 5}, {0, 1, 0, 1}, {0, 3, 0, 3}},
         {{0, 1, 0, 1}, {0, 3, 0, 3}, {0, 5, 0, 5}}, 1},
        {"a wide range removes the cell it covers and keeps the one beside",
         {{1, 0, 1, 0}, {5, 0, 5, 0}, {0, 0, 3, 0}},
         {{5, 0, 5, 0}, {0, 0, 3, 0}}, 1},
        {"same top row: order of adding, whatever the column",
         {{7, 2, 7, 2}, {0, 2, 0, 2}, {3, 2, 3, 2}},
         {{7, 2, 7, 2}, {0, 2, 0, 2}, {3, 2, 3, 2}}, 1},
        {"a new range with the same top row follows those there and precedes lower ones",
         {{0, 1, 0, 1}, {0, 4, 0, 4}, {2, 1, 2, 1}},
         {{0, 1, 0, 1}, {2, 1, 2, 1}, {0, 4, 0, 4}}, 1},
        {"a tall range above reaches the new cell and is removed",
         {{0, 0, 0, 9}, {1, 5, 1, 5}, {0, 7, 0, 7}},
         {{1, 5, 1, 5}, {0, 7, 0, 7}}, 1},
        {"touching bounds count as overlap, adjacent ones do not",
         {{0, 0, 1, 1}, {2, 0, 2, 1}, {1, 1, 1, 2}},
         {{2, 0, 2, 1}, {1, 1, 1, 2}}, 2},
        {"a tall range keeps the maximum while nothing is removed",
         {{0, 0, 0, 3}, {1, 0, 1, 0}},
         {{0, 0, 0, 3}, {1, 0, 1, 0}}, 4},
        {"removing recomputes the maximum from what is left",
         {{0, 0, 0, 3}, {1, 0, 1, 1}, {0, 2, 0, 2}},
         {{1, 0, 1, 1}, {0, 2, 0, 2}}, 2},
        {"a new range that covers several removes them all",
         {{0, 0, 0, 0}, {1, 1, 1, 1}, {2, 2, 2, 2}, {5, 1, 5, 1}, {0, 0, 2, 2}},
         {{0, 0, 2, 2}, {5, 1, 5, 1}}, 3},
        {"a range below everything is appended",
         {{0, 0, 0, 0}, {0, 100, 3, 100}},
         {{0, 0, 0, 0}, {0, 100, 3, 100}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        XlsWorksheet& sheet = book.addSheet();
        for (const auto& [l, t, r, b] : c.calls) {
            const XlsRange& got = sheet.range(l, t, r, b);
            EXPECT_EQ(boundsOf(got), Bounds(l, t, r, b));
            expectListInvariants(sheet);
        }
        EXPECT_EQ(rangeList(sheet), c.list);
        EXPECT_EQ(sheet.maxRangeHeight(), c.maxHeight);
    }
}

TEST(WorkbookModel, UsedAreaGrowsAndNeverShrinks)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    const auto used = [&sheet] {
        return std::make_tuple(sheet.usedLeft(), sheet.usedTop(), sheet.usedRight(), sheet.usedBottom());
    };
    sheet.range(3, 4, 3, 4);
    EXPECT_EQ(used(), std::make_tuple(3, 4, 3, 4));
    sheet.range(1, 6, 2, 8);
    EXPECT_EQ(used(), std::make_tuple(1, 4, 3, 8));
    // Replacing both ranges by a small one leaves the area as it was.
    sheet.range(0, 0, 5, 10);
    sheet.range(2, 2, 2, 2);
    EXPECT_EQ(sheet.cellCount(), 1);
    EXPECT_EQ(used(), std::make_tuple(0, 0, 5, 10));
    // Asking for an existing range counts too (it lies inside, so nothing changes).
    sheet.range(2, 2, 2, 2);
    EXPECT_EQ(used(), std::make_tuple(0, 0, 5, 10));
}

TEST(WorkbookModel, BadBoundsAreRefused)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    const Bounds bad[] = {{-1, 0, 0, 0}, {0, -1, 0, 0}, {2, 0, 1, 0}, {0, 2, 0, 1}};
    for (const auto& [l, t, r, b] : bad) {
        try {
            sheet.range(l, t, r, b);
            ADD_FAILURE() << "accepted " << l << "," << t << "," << r << "," << b;
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), XlsError::Code::BadRange);
        }
    }
    EXPECT_EQ(sheet.cellCount(), 0);
    EXPECT_EQ(sheet.usedLeft(), -1);
}

// Many calls in a scrambled order against a plain model of the rules: each new range drops
// every range it overlaps and the list stays sorted by top row, stable among equal tops.
TEST(WorkbookModel, RangesAgreeWithAPlainModel)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    std::vector<Bounds> model;
    unsigned seed = 12345;
    const auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % n);
    };
    for (int call = 0; call < 2000; ++call) {
        const int l = next(12), t = next(40);
        const int r = l + (next(5) == 0 ? next(3) : 0), b = t + (next(5) == 0 ? next(4) : 0);
        const Bounds want{l, t, r, b};
        sheet.range(l, t, r, b);
        if (std::find(model.begin(), model.end(), want) == model.end()) {
            std::erase_if(model, [&](const Bounds& x) {
                const auto& [xl, xt, xr, xb] = x;
                return xl <= r && l <= xr && xt <= b && t <= xb;
            });
            const auto at = std::find_if(model.begin(), model.end(),
                                         [t](const Bounds& x) { return std::get<1>(x) > t; });
            model.insert(at, want);
        }
        ASSERT_EQ(rangeList(sheet), model) << "after call " << call;
    }
    expectListInvariants(sheet);
}

TEST(WorkbookModel, SetValueAndCellKinds)
{
    struct Case {
        const char* what;
        XlsValue given;
        XlsValue::Type storedType;
        XlsCellKind kind;
    };
    const Case cases[] = {
        {"empty", XlsValue(), XlsValue::Type::Empty, XlsCellKind::Text},
        {"null", XlsValue::null(), XlsValue::Type::Null, XlsCellKind::Text},
        {"16-bit integer", XlsValue::int16(-5), XlsValue::Type::Int16, XlsCellKind::Number},
        {"32-bit integer", XlsValue::int32(70000), XlsValue::Type::Int32, XlsCellKind::Number},
        {"single", XlsValue::single(1.5f), XlsValue::Type::Single, XlsCellKind::Number},
        {"double", XlsValue::real(2.25), XlsValue::Type::Double, XlsCellKind::Number},
        {"currency", XlsValue::currency(12345), XlsValue::Type::Currency, XlsCellKind::Number},
        {"byte", XlsValue::byte(200), XlsValue::Type::Byte, XlsCellKind::Number},
        {"boolean", XlsValue::boolean(true), XlsValue::Type::Boolean, XlsCellKind::Text},
        {"date", XlsValue::date(45000.5), XlsValue::Type::Date, XlsCellKind::Text},
        {"64-bit integer", XlsValue::int64(1), XlsValue::Type::Int64, XlsCellKind::Text},
        {"8-bit integer", XlsValue::int8(1), XlsValue::Type::Int8, XlsCellKind::Text},
        {"unsigned 16-bit", XlsValue::uint16(1), XlsValue::Type::UInt16, XlsCellKind::Text},
        {"unsigned 32-bit", XlsValue::uint32(1), XlsValue::Type::UInt32, XlsCellKind::Text},
        {"unsigned 64-bit", XlsValue::uint64(1), XlsValue::Type::UInt64, XlsCellKind::Text},
        {"8-bit text", XlsValue::text(QStringLiteral("а")), XlsValue::Type::Text, XlsCellKind::Text},
        {"wide text becomes 8-bit text", XlsValue::wideText(QStringLiteral("а")), XlsValue::Type::Text,
         XlsCellKind::Text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        XlsRange& range = book.addSheet().range(0, 0, 0, 0);
        range.setValue(c.given);
        EXPECT_EQ(range.value().type(), c.storedType);
        EXPECT_EQ(range.cellKind(), c.kind);
        if (c.kind == XlsCellKind::Number) {
            EXPECT_EQ(range.value().toDouble(), c.given.toDouble());
        }
    }
}

TEST(WorkbookModel, NumbersAndTextsOfValues)
{
    EXPECT_EQ(XlsValue::currency(12345).toDouble(), 1.2345);
    EXPECT_EQ(XlsValue::single(0.1f).toDouble(), static_cast<double>(0.1f));
    EXPECT_EQ(XlsValue::boolean(false).toText(), QStringLiteral("False"));
    EXPECT_EQ(XlsValue::int64(-9000000000).toText(), QStringLiteral("-9000000000"));
    EXPECT_EQ(XlsValue::uint64(18446744073709551615ull).toText(), QStringLiteral("18446744073709551615"));
    EXPECT_EQ(XlsValue::date(2.0).toText(), QStringLiteral("01.01.1900"));
    EXPECT_EQ(XlsValue::date(2.75).toText(), QStringLiteral("01.01.1900 18:00:00"));
    EXPECT_EQ(XlsValue::null().toText(), QString());
}

TEST(WorkbookModel, TextLineBreaks)
{
    struct Case {
        QString given;
        QString stored;
    };
    const Case cases[] = {
        {"a\r\nb", "a\nb"},
        {"a\rb", "a\rb"},
        {"a\nb", "a\nb"},
        {"\r\n\r\n", "\n\n"},
        {"a\r\r\nb", "a\r\nb"},
        {"", ""},
    };
    for (const Case& c : cases) {
        for (const XlsValue& v : {XlsValue::text(c.given), XlsValue::wideText(c.given)}) {
            XlsWorkbook book;
            XlsRange& range = book.addSheet().range(0, 0, 0, 0);
            range.setValue(v);
            EXPECT_EQ(range.value().toText(), c.stored) << c.given.toStdString();
        }
    }
}

TEST(WorkbookModel, DefaultStyleOfARange)
{
    XlsWorkbook book;
    const XlsRange& range = book.addSheet().range(0, 0, 0, 0);
    EXPECT_EQ(range.Font.Name, QStringLiteral("Arial"));
    EXPECT_EQ(range.Font.Size, 10);
    EXPECT_EQ(range.Font.Color, kXlsBlack);
    EXPECT_EQ(range.Font.Style, XlsFontStyle{});
    EXPECT_EQ(range.Font.Charset, 1);
    EXPECT_EQ(range.Font.Pitch, XlsFontPitch::Default);
    EXPECT_EQ(range.HorizontalAlignment, 0);
    EXPECT_EQ(range.VerticalAlignment, 2);
    EXPECT_FALSE(range.WrapText);
    EXPECT_TRUE(range.Format.isEmpty());
    EXPECT_EQ(range.FillPattern, 0);
    for (int i = 0; i < XlsBorders::kCount; ++i)
        EXPECT_EQ(range.Borders[i].LineStyle, 0);
    EXPECT_TRUE(range.value().isEmpty());
    const XlsPageSetup& setup = range.worksheet()->pageSetup();
    EXPECT_EQ(setup.LeftMargin, 2.0);
    EXPECT_EQ(setup.TopMargin, 2.5);
    EXPECT_EQ(setup.PaperSize, 9);
    EXPECT_EQ(setup.Zoom, 100);
    EXPECT_EQ(setup.FitToPagesWide, 1);
}

TEST(WorkbookModel, FirstRangeFromFindsTheFirstRangeAtOrBelowARow)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    for (int row : {0, 0, 2, 5, 5, 9})
        sheet.range(sheet.cellCount(), row, sheet.cellCount(), row);
    const std::pair<int, int> cases[] = {{-3, 0}, {0, 0}, {1, 2}, {2, 2}, {3, 3}, {5, 3}, {6, 5}, {9, 5}, {10, 6}};
    for (const auto& [row, index] : cases)
        EXPECT_EQ(sheet.firstCellFrom(row), index) << "row " << row;
}

} // namespace
} // namespace xls
