// Widths of texts and numbers in Arial, the font of the cells this program writes, and the
// column widths and wrapped lines worked out from them.

#include "xls/text_metrics.h"

#include <QLocale>
#include <QString>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace xls::text_metrics {
namespace {

std::u16string_view view(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

int advanceOf(const char* utf8, bool bold = false)
{
    return textAdvance(view(QString::fromUtf8(utf8)), bold);
}

// Column widths count in digits: every digit, regular and bold, is one unit wide.
TEST(TextMetrics, DigitsAreTheUnitOfColumnWidths)
{
    for (bool bold : {false, true}) {
        for (char16_t d = u'0'; d <= u'9'; ++d)
            EXPECT_EQ(charAdvance(d, bold), kDigitAdvance) << char(d) << (bold ? " bold" : "");
        EXPECT_EQ(advanceOf("2024", bold), 4 * kDigitAdvance);
    }
}

// Every character the tables hold has a width up to kMaxCharAdvance, which one of them
// reaches; a character they lack counts as that widest one.
TEST(TextMetrics, EveryCharacterIsAtMostTheWidest)
{
    int widest = 0;
    for (bool bold : {false, true}) {
        for (const auto& [first, last] : {std::pair{0x20, 0x7E}, std::pair{0xA0, 0xFF}, std::pair{0x400, 0x45F}}) {
            for (int c = first; c <= last; ++c) {
                const int a = charAdvance(static_cast<char16_t>(c), bold);
                EXPECT_GT(a, 0) << std::hex << c;
                EXPECT_LE(a, kMaxCharAdvance) << std::hex << c;
                widest = std::max(widest, a);
            }
        }
    }
    // The signs besides those blocks: dashes, '№', the ellipsis, quotation marks.
    for (bool bold : {false, true})
        for (char16_t c : {u'\u2013', u'\u2014', u'\u2116', u'\u2026', u'\u201C', u'\u201D', u'\u201E'})
            widest = std::max(widest, charAdvance(c, bold));
    EXPECT_EQ(widest, kMaxCharAdvance);
    for (char16_t c : {u'\u4E2D', u'\u2603', u'\uFFFD'})
        EXPECT_EQ(charAdvance(c, false), kUnknownAdvance) << std::hex << int(c);
}

// Bold letters are wider than regular ones, the blank and the digits are not; a text is as
// wide as its characters together.
TEST(TextMetrics, BoldWidensLettersOnly)
{
    EXPECT_GT(advanceOf("Сопротивление", true), advanceOf("Сопротивление"));
    EXPECT_GT(advanceOf("Modulus", true), advanceOf("Modulus"));
    EXPECT_EQ(charAdvance(u' ', true), charAdvance(u' ', false));
    EXPECT_EQ(advanceOf("P, МПа"), advanceOf("P,") + advanceOf(" ") + advanceOf("МПа"));
    EXPECT_EQ(advanceOf(""), 0);
}

// A number is as wide as the shortest decimal that reads back as it, as Qt writes it: the
// same width whichever way it is worked out.
TEST(TextMetrics, NumbersAreAsWideAsTheirShortestDecimal)
{
    std::vector<double> values = {1, -1, 0.5, 2.25, 10, 100.5, 1234.5678, 0.0001, 0.0123, 65535, 8999999.5,
                                  123456.789, 9000001.25, 42e6, 0.123456789};
    // Values as the instrument's fields hold them: whole newtons, tenths, hundredths,
    // ten-thousandths, either sign.
    for (int k = 0; k < 3000; ++k) {
        const double v = (k * 7919 % 200003) / std::pow(10.0, k % 5);
        values.push_back(k % 3 ? v : -v);
    }
    for (double v : values) {
        QString text = QString::number(v, 'f', QLocale::FloatingPointShortest);
        SCOPED_TRACE(text.toStdString());
        ASSERT_LE(text.remove(u'-').remove(u'.').size(), kMaxGeneralDigits);
        EXPECT_EQ(generalNumberAdvance(v), advanceOf(QString::number(v, 'f', QLocale::FloatingPointShortest).toUtf8()));
    }
}

// What the General format shows of zero, of numbers with more digits than it shows, and of
// numbers it writes with an exponent.
TEST(TextMetrics, NumbersTheGeneralFormatShortens)
{
    struct Case {
        double value;
        const char* shown; // as wide as this
    };
    const Case cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {0.1 + 0.2, "0.3"},                      // 0.30000000000000004, shown rounded
        {1.0 / 3.0, "0.3333333333"},             // eleven digits
        {-2.0 / 3.0, "-0.6666666667"},
        {123456789.123456, "123456789.12"},
        {1e20, "1E+20"},
        {1.5e-12, "1.5E+12"},                    // '+' is the wider sign
        {1234567890123.0, "12345678901"},        // about as wide as 1.23457E+12
        {-1.234567891234e25, "-1.23456789E+25"},  // eleven digits with the exponent's two
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(generalNumberAdvance(c.value), advanceOf(c.shown));
    }
}

// A text fits whole in the width made for it, and the room of a width is the longest text
// made to fit it; wider texts need wider columns, and the column has room for padding.
TEST(TextMetrics, ColumnWidthsFitTheirText)
{
    int previous = 0;
    for (int advance = 0; advance <= 60 * kDigitAdvance; advance += 97) {
        const int width = columnWidthFor(advance);
        EXPECT_GE(textRoomIn(width), advance);
        EXPECT_LT(textRoomIn(width - 1), advance == 0 ? 1 : advance);
        EXPECT_GE(width, previous);
        // The text in digits, and at least the padding besides.
        EXPECT_GE(width, advance * 256 / kDigitAdvance + 256);
        previous = width;
    }
    for (int width = 256; width < 40 * 256; width += 61)
        EXPECT_LE(columnWidthFor(textRoomIn(width)), width) << width;
}

// A wrapped text breaks at blanks into as few lines as fit the room; a word longer than the
// room takes a line of its own.
TEST(TextMetrics, WrappedLinesBreakAtBlanks)
{
    const QString heading = QStringLiteral("P, Сопротивление пенетрации, МПа");
    const int firstLine = advanceOf("P, Сопротивление", true);
    const int secondLine = advanceOf("пенетрации, МПа", true);
    const int twoLines = std::max(firstLine, secondLine);
    struct Case {
        const char* what;
        QString text;
        int room;
        int lines;
    };
    const Case cases[] = {
        {"empty", QString(), 0, 1},
        {"one word in no room", QStringLiteral("Дата"), 0, 1},
        {"all on one line", heading, advanceOf("P, Сопротивление пенетрации, МПа", true), 1},
        {"one unit short of one line", heading, advanceOf("P, Сопротивление пенетрации, МПа", true) - 1, 2},
        {"two lines", heading, twoLines, 2},
        {"one unit short of two lines", heading, twoLines - 1, 3},
        {"every word alone", heading, advanceOf("Сопротивление", true), 4},
        {"runs of blanks count as one", QStringLiteral("  a   b  "), advanceOf("a b", true), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(wrappedLines(view(c.text), true, c.room), c.lines);
    }
}

} // namespace
} // namespace xls::text_metrics
