// Plain cells: what setCell keeps without a range of its own. Every sequence of calls must
// leave the sheet as the same calls through range().setValue() would (the same list, the
// same used area, the same file), and a plain cell must turn into a real range wherever one
// is asked for.

#include "biff_test_support.h"

#include "xls/biff_writer.h"
#include "xls/xls_error.h"
#include "xls/xls_workbook.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <variant>
#include <vector>

namespace xls::test {
namespace {

using Bounds = std::tuple<int, int, int, int>; // left, top, right, bottom

// One call on a sheet: setCell(left, top, value), or range(bounds) (its value left alone).
struct Call {
    enum What { Set, Range } what;
    Bounds bounds;
    XlsValue value;
};
Call set(int column, int row, const XlsValue& value)
{
    return {Call::Set, {column, row, column, row}, value};
}
Call range(int l, int t, int r, int b)
{
    return {Call::Range, {l, t, r, b}, {}};
}

// One entry of the list as read through cellAt(), which leaves plain cells plain.
struct Entry {
    Bounds bounds;
    XlsValue value;
    bool plain;
    bool operator==(const Entry&) const = default;
};
void PrintTo(const Entry& e, std::ostream* os)
{
    const auto& [l, t, r, b] = e.bounds;
    *os << "(" << l << "," << t << "," << r << "," << b << ") " << e.value.toText().toStdString()
        << " type " << static_cast<int>(e.value.type()) << (e.plain ? " plain" : " range");
}

std::vector<Entry> entriesOf(const XlsWorksheet& sheet)
{
    std::vector<Entry> list;
    for (int i = 0; i < sheet.cellCount(); ++i) {
        const XlsCell c = sheet.cellAt(i);
        list.push_back({{c.left(), c.top(), c.right(), c.bottom()}, c.value(), c.isPlain()});
    }
    return list;
}

// The same list with every entry counted as a range: what the calls through ranges give.
std::vector<Entry> asRanges(std::vector<Entry> list)
{
    for (Entry& e : list)
        e.plain = false;
    return list;
}

std::tuple<int, int, int, int> usedArea(const XlsWorksheet& sheet)
{
    return {sheet.usedLeft(), sheet.usedTop(), sheet.usedRight(), sheet.usedBottom()};
}

// Makes the calls on `sheet`; with `throughRanges` a setCell becomes range().setValue().
void play(XlsWorksheet& sheet, const std::vector<Call>& calls, bool throughRanges)
{
    for (const Call& c : calls) {
        const auto& [l, t, r, b] = c.bounds;
        if (c.what == Call::Range)
            sheet.range(l, t, r, b);
        else if (throughRanges)
            sheet.range(l, t, r, b).setValue(c.value);
        else
            sheet.setCell(l, t, c.value);
    }
}

const XlsValue kText = XlsValue::text(QStringLiteral("ВРТ"));

TEST(PlainCells, SetCellDoesWhatRangesDoesWithoutRanges)
{
    struct Case {
        const char* what;
        std::vector<Call> calls;
        std::vector<Entry> list; // read through cellAt() afterwards
        int maxHeight;
    };
    const Case cases[] = {
        {"cells in row order are appended as plain cells",
         {set(0, 0, kText), set(1, 0, XlsValue::real(1.5)), set(0, 1, XlsValue::real(2))},
         {{{0, 0, 0, 0}, kText, true}, {{1, 0, 1, 0}, XlsValue::real(1.5), true}, {{0, 1, 0, 1}, XlsValue::real(2), true}},
         1},
        {"a cell above the last one goes where its range would go",
         {set(0, 1, XlsValue::real(1)), set(1, 2, XlsValue::real(2)), set(1, 1, XlsValue::real(3))},
         {{{0, 1, 0, 1}, XlsValue::real(1), true}, {{1, 1, 1, 1}, XlsValue::real(3), true}, {{1, 2, 1, 2}, XlsValue::real(2), true}},
         1},
        {"same row, column to the left: order of setting, as for ranges",
         {set(5, 0, XlsValue::real(1)), set(2, 0, kText)},
         {{{5, 0, 5, 0}, XlsValue::real(1), true}, {{2, 0, 2, 0}, kText, true}},
         1},
        {"setting a cell again replaces its value in its place",
         {set(0, 0, XlsValue::real(1)), set(1, 0, XlsValue::real(2)), set(0, 0, kText)},
         {{{0, 0, 0, 0}, kText, true}, {{1, 0, 1, 0}, XlsValue::real(2), true}},
         1},
        {"asking for a plain cell's range gives that cell as a range, in its place",
         {set(0, 0, XlsValue::real(1)), set(1, 0, kText), range(0, 0, 0, 0)},
         {{{0, 0, 0, 0}, XlsValue::real(1), false}, {{1, 0, 1, 0}, kText, true}},
         1},
        {"a merged range removes the plain cells it covers",
         {set(0, 0, XlsValue::real(1)), set(1, 0, XlsValue::real(2)), set(2, 0, XlsValue::real(3)),
          set(0, 1, XlsValue::real(4)), range(0, 0, 1, 1)},
         {{{2, 0, 2, 0}, XlsValue::real(3), true}, {{0, 0, 1, 1}, XlsValue(), false}},
         2},
        {"a cell set on a range stays a range",
         {range(3, 3, 3, 3), set(3, 3, kText)},
         {{{3, 3, 3, 3}, kText, false}},
         1},
        {"a cell inside a merged range removes it",
         {range(0, 0, 2, 2), set(1, 1, XlsValue::real(5))},
         {{{1, 1, 1, 1}, XlsValue::real(5), true}},
         1},
        {"values a plain cell cannot hold get a range",
         {set(0, 0, XlsValue::int32(7)), set(1, 0, XlsValue()), set(2, 0, XlsValue::date(2.0))},
         {{{0, 0, 0, 0}, XlsValue::int32(7), false}, {{1, 0, 1, 0}, XlsValue(), false},
          {{2, 0, 2, 0}, XlsValue::date(2.0), false}},
         1},
        {"a wide text is kept as text, its CR LF as LF",
         {set(0, 0, XlsValue::wideText(QStringLiteral("a\r\nb\r\r\nc\r")))},
         {{{0, 0, 0, 0}, XlsValue::text(QStringLiteral("a\nb\r\nc\r")), true}},
         1},
        {"right of a tall range in its last row and below it: appended",
         {range(0, 0, 0, 3), set(1, 3, XlsValue::real(1)), set(0, 4, XlsValue::real(2))},
         {{{0, 0, 0, 3}, XlsValue(), false}, {{1, 3, 1, 3}, XlsValue::real(1), true},
          {{0, 4, 0, 4}, XlsValue::real(2), true}},
         4},
        {"beside a tall range above its last row: placed by its row, not appended",
         {range(0, 0, 1, 3), set(5, 2, XlsValue::real(1)), set(5, 1, XlsValue::real(2))},
         {{{0, 0, 1, 3}, XlsValue(), false}, {{5, 1, 5, 1}, XlsValue::real(2), true},
          {{5, 2, 5, 2}, XlsValue::real(1), true}},
         4},
        {"a cell within a tall range's rows removes the range",
         {range(0, 0, 1, 3), set(5, 2, XlsValue::real(1)), set(1, 3, kText)},
         {{{5, 2, 5, 2}, XlsValue::real(1), true}, {{1, 3, 1, 3}, kText, true}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        XlsWorksheet& sheet = book.addSheet();
        XlsWorksheet& reference = book.addSheet();
        play(sheet, c.calls, false);
        play(reference, c.calls, true);
        EXPECT_EQ(entriesOf(sheet), c.list);
        EXPECT_EQ(asRanges(entriesOf(sheet)), entriesOf(reference));
        EXPECT_EQ(sheet.maxRangeHeight(), c.maxHeight);
        EXPECT_EQ(usedArea(sheet), usedArea(reference));
        EXPECT_EQ(sheet.cellCount(), static_cast<int>(c.list.size()));
    }
}

TEST(PlainCells, UsedAreaGrowsWithPlainCellsAndNeverShrinks)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    EXPECT_EQ(usedArea(sheet), std::make_tuple(-1, -1, -1, -1));
    sheet.setCell(3, 4, XlsValue::real(1));
    EXPECT_EQ(usedArea(sheet), std::make_tuple(3, 4, 3, 4));
    sheet.setCell(1, 6, kText);
    EXPECT_EQ(usedArea(sheet), std::make_tuple(1, 4, 3, 6));
    // A merged range over both, then a cell inside it that removes it: the area stays.
    sheet.range(0, 0, 5, 10);
    sheet.setCell(2, 2, XlsValue::real(2));
    EXPECT_EQ(sheet.cellCount(), 1);
    EXPECT_EQ(usedArea(sheet), std::make_tuple(0, 0, 5, 10));
}

TEST(PlainCells, NegativeCellsAreRefused)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    for (const auto& [column, row] : {std::pair{-1, 0}, std::pair{0, -1}}) {
        try {
            sheet.setCell(column, row, XlsValue::real(1));
            ADD_FAILURE() << "accepted " << column << "," << row;
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), XlsError::Code::BadRange);
        }
    }
    EXPECT_EQ(sheet.cellCount(), 0);
    EXPECT_EQ(sheet.usedLeft(), -1);
}

// rangeAt(i) hands out a real range for a plain cell: styling it sticks, and the cells around
// it stay plain.
TEST(PlainCells, RangeOfAPlainCellIsARealRangeInItsPlace)
{
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    sheet.setCell(0, 0, XlsValue::real(1));
    sheet.setCell(1, 0, kText);
    sheet.setCell(2, 0, XlsValue::real(3));
    XlsRange& middle = sheet.rangeAt(1);
    EXPECT_EQ(middle.value(), kText);
    EXPECT_EQ(std::make_tuple(middle.left(), middle.top(), middle.right(), middle.bottom()),
              std::make_tuple(1, 0, 1, 0));
    EXPECT_EQ(middle.worksheet(), &sheet);
    middle.Font.Style.Bold = true;
    EXPECT_EQ(&sheet.rangeAt(1), &middle);
    EXPECT_EQ(&sheet.range(1, 0, 1, 0), &middle);
    EXPECT_TRUE(sheet.cellAt(1).style().Font.Style.Bold);
    EXPECT_FALSE(sheet.cellAt(1).isPlain());
    EXPECT_TRUE(sheet.cellAt(0).isPlain());
    EXPECT_TRUE(sheet.cellAt(2).isPlain());
    EXPECT_EQ(sheet.cellCount(), 3);
    // A value set on it later keeps the style.
    sheet.setCell(1, 0, XlsValue::real(9));
    EXPECT_EQ(middle.value(), XlsValue::real(9));
    EXPECT_TRUE(middle.Font.Style.Bold);
    EXPECT_THROW(sheet.rangeAt(3), std::out_of_range);
}

// Random calls, setCell and range() mixed, against the same calls through ranges alone: the
// lists agree after every call, and the files written from both are the same bytes.
TEST(PlainCells, MixedCallsGiveTheListAndFileOfRangesAlone)
{
    unsigned seed = 2024;
    const auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % n);
    };
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        XlsWorkbook plainBook, rangeBook;
        XlsWorksheet& sheet = plainBook.addSheet();
        XlsWorksheet& reference = rangeBook.addSheet();
        int row = 0, column = 0;
        for (int call = 0; call < 300; ++call) {
            // Mostly the next cell in row order, as the export sets them; now and then a cell
            // elsewhere or a range, some of them styled.
            const int kind = next(20);
            if (kind < 14) {
                if (++column > 11 || next(6) == 0) {
                    column = next(3);
                    row += 1 + next(2);
                }
                const XlsValue value = next(3) == 0 ? XlsValue::text(next(4) ? QStringLiteral("t%1").arg(call) : QString())
                                                    : XlsValue::real(call * 0.5 - 20);
                sheet.setCell(column, row, value);
                reference.range(column, row, column, row).setValue(value);
            } else if (kind < 18) {
                const int c = next(14), r = std::max(0, row - next(6));
                const XlsValue value = next(2) ? XlsValue::real(-call) : XlsValue::text(QStringLiteral("x%1").arg(call));
                sheet.setCell(c, r, value);
                reference.range(c, r, c, r).setValue(value);
            } else {
                const int l = next(12), t = std::max(0, row - next(6));
                const int r = l + next(3), b = t + next(3);
                XlsRange& mine = sheet.range(l, t, r, b);
                XlsRange& theirs = reference.range(l, t, r, b);
                if (next(2)) {
                    mine.HorizontalAlignment = theirs.HorizontalAlignment = 2;
                    mine.Font.Style.Italic = theirs.Font.Style.Italic = true;
                }
            }
            ASSERT_EQ(asRanges(entriesOf(sheet)), entriesOf(reference)) << "after call " << call;
            ASSERT_EQ(usedArea(sheet), usedArea(reference));
            ASSERT_GE(sheet.maxRangeHeight(), 1);
        }
        BiffWriter writer;
        EXPECT_TRUE(sameBytes(writer.buildStream(plainBook), writer.buildStream(rangeBook)));
    }
}

// Cells set in row order over several row blocks, with texts: the file is what single-cell
// ranges give, and no plain cell became a range on the way.
TEST(PlainCells, AppendedCellsWriteAsSingleCellRanges)
{
    XlsWorkbook plainBook, rangeBook;
    XlsWorksheet& sheet = plainBook.addSheet();
    XlsWorksheet& reference = rangeBook.addSheet();
    for (int r = 0; r < 100; ++r)
        for (int c = 0; c < 4; ++c) {
            const XlsValue value = c == 1 ? XlsValue::text(r % 5 ? QStringLiteral("строка %1").arg(r) : QString())
                                          : XlsValue::real(r * 4 + c);
            sheet.setCell(c, r, value);
            reference.range(c, r, c, r).setValue(value);
        }
    BiffWriter writer;
    EXPECT_TRUE(sameBytes(writer.buildStream(plainBook), writer.buildStream(rangeBook)));
    for (int i = 0; i < sheet.cellCount(); ++i)
        ASSERT_TRUE(sheet.cellAt(i).isPlain()) << "entry " << i;
}

} // namespace
} // namespace xls::test
