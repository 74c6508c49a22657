// Column widths and heading lines chosen from the headings and values of a sheet: headings on
// at most two lines, values on one, and the heading row as tall as its most lines.

#include "export/column_fit.h"
#include "xls/text_metrics.h"
#include "xls/xls_workbook.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

namespace {

using table_export::ColumnFit;
namespace metrics = xls::text_metrics;

int advanceOf(const QString& text, bool bold)
{
    return metrics::textAdvance({reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())},
                                bold);
}

// Whether `text` shows whole on one line of a column `width` wide.
bool fitsOnOneLine(const QString& text, bool bold, int width)
{
    return advanceOf(text, bold) <= metrics::textRoomIn(width);
}

TEST(ColumnFit, HeadingsAndValuesFitTheirColumns)
{
    struct Case {
        const char* what;
        QString heading;
        std::function<void(ColumnFit&)> values;
        int lines;
        std::vector<QString> whole; // texts that show whole on one line of the column (bold: the heading's)
    };
    const QString longHeading = QStringLiteral("C, Удельное сцепление грунта, МПа");
    const Case cases[] = {
        {"a one-word heading", QStringLiteral("Примечание"), [](ColumnFit&) {}, 1, {QStringLiteral("Примечание")}},
        {"a long heading on two lines", longHeading, [](ColumnFit& f) { f.number(0, 0.0123); }, 2,
         {QStringLiteral("C, Удельное сцепление"), QStringLiteral("грунта, МПа")}},
        {"a date wider than its heading", QStringLiteral("Дата"),
         [](ColumnFit& f) { f.text(0, u"28.12.2024"); f.text(0, u"1.1.2024"); }, 1, {QStringLiteral("28.12.2024")}},
        {"a number wider than its heading", QStringLiteral("N"),
         [](ColumnFit& f) { f.number(0, 7); f.number(0, -123456.25); f.number(0, 12); }, 1,
         {QStringLiteral("-123456.25")}},
        {"a value wide enough for the heading on one line", QStringLiteral("E, Модуль упругости, МПа"),
         [](ColumnFit& f) { f.text(0, u"Суглинок тугопластичный, пылеватый"); }, 1,
         {QStringLiteral("E, Модуль упругости, МПа")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ColumnFit fit(1);
        fit.heading(0, c.heading);
        c.values(fit);
        EXPECT_EQ(fit.headingLines(0), c.lines);
        for (std::size_t i = 0; i < c.whole.size(); ++i) {
            const bool bold = c.whole[i].size() <= c.heading.size() && c.heading.contains(c.whole[i]);
            EXPECT_TRUE(fitsOnOneLine(c.whole[i], bold, fit.width(0))) << c.whole[i].toStdString();
        }
        // Every word of the heading shows whole.
        for (const QString& word : c.heading.split(u' '))
            EXPECT_TRUE(fitsOnOneLine(word, true, fit.width(0))) << word.toStdString();
    }
}

// A heading on two lines takes no wider a column than its wider line needs: one digit less
// and it would take three.
TEST(ColumnFit, TwoLineHeadingsAreNoWiderThanTheyNeed)
{
    ColumnFit fit(1);
    fit.heading(0, QStringLiteral("f, Угол внутреннего трения, град"));
    EXPECT_EQ(fit.headingLines(0), 2);
    const int room = metrics::textRoomIn(fit.width(0) - 256 - ColumnFit::kGap);
    EXPECT_GT(metrics::wrappedLines(u"f, Угол внутреннего трения, град", true, room), 2);
}

// A long value makes its column no wider than kMaxValueDigits digits.
TEST(ColumnFit, ALongValueIsCapped)
{
    ColumnFit fit(2);
    fit.heading(0, QStringLiteral("Примечание"));
    fit.heading(1, QStringLiteral("N"));
    const QString comment(100, QChar(u'Ж'));
    fit.text(0, comment);
    EXPECT_FALSE(fitsOnOneLine(comment, false, fit.width(0)));
    EXPECT_TRUE(fitsOnOneLine(QString(ColumnFit::kMaxValueDigits, u'0'), false, fit.width(0)));
    EXPECT_FALSE(fitsOnOneLine(QString(ColumnFit::kMaxValueDigits + 2, u'0'), false, fit.width(0)));
    EXPECT_LT(fit.width(1), fit.width(0));
}

// apply() sets every column's width and makes the heading row as tall as its most lines; a
// heading row of one line keeps the default height.
TEST(ColumnFit, ApplySetsWidthsAndTheHeadingRowHeight)
{
    struct Case {
        std::vector<QString> headings;
        int height; // 0: none set
    };
    const Case cases[] = {
        {{QStringLiteral("N"), QStringLiteral("Дата")}, 0},
        {{QStringLiteral("N"), QStringLiteral("P, Сопротивление пенетрации, МПа")}, 2 * 255},
    };
    for (const Case& c : cases) {
        ColumnFit fit(static_cast<int>(c.headings.size()));
        for (std::size_t i = 0; i < c.headings.size(); ++i)
            fit.heading(static_cast<int>(i), c.headings[i]);
        xls::XlsWorkbook book;
        xls::XlsWorksheet& sheet = book.addSheet();
        fit.apply(sheet, 3);
        ASSERT_EQ(sheet.columnWidths().size(), c.headings.size());
        for (std::size_t i = 0; i < c.headings.size(); ++i)
            EXPECT_EQ(sheet.columnWidths()[i].Width, fit.width(static_cast<int>(i)));
        if (c.height == 0) {
            EXPECT_TRUE(sheet.rowHeights().empty());
        } else {
            EXPECT_EQ(sheet.rowHeights(), (std::vector<xls::XlsRowHeight>{{3, c.height}}));
        }
    }
}

} // namespace
