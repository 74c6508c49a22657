// The .xlsx writer on small workbooks made here: each file is read back with openpyxl and
// compared with the model it came from (values, styles, merged ranges, widths, heights,
// panes, print settings), and with the .xls of the same model as xlrd reads it. Then the
// models it must refuse, and the targets it must not write or must replace whole.

#include "xls/biff_writer.h"
#include "xls/xls_error.h"
#include "xls/xls_workbook.h"
#include "xls/xlsx_writer.h"

#include "biff_test_support.h"
#include "xlsx_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using xls::XlsCell;
using xls::XlsCellKind;
using xls::XlsCellStyle;
using xls::XlsColor;
using xls::XlsError;
using xls::XlsRange;
using xls::XlsValue;
using xls::XlsWorkbook;
using xls::XlsWorksheet;
using xls::test::readWithOpenpyxl;

// ---- what the model says the file must show ---------------------------------------------

// A colour 0x00BBGGRR as openpyxl writes it, "FFRRGGBB"; system colours as the .xls resolves
// them (every foreground one black).
QJsonValue colorName(XlsColor color)
{
    if (color & xls::kXlsSystemColorFlag)
        color = 0;
    return QStringLiteral("FF%1%2%3")
        .arg(color & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((color >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((color >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

// The .xlsx names of the .xls fill patterns and line styles, by their .xls numbers.
const char* const kPatterns[] = {nullptr, "solid", "mediumGray", "darkGray", "lightGray", "darkHorizontal",
                                 "darkVertical", "darkDown", "darkUp", "darkGrid", "darkTrellis",
                                 "lightHorizontal", "lightVertical", "lightDown", "lightUp", "lightGrid",
                                 "lightTrellis", "gray125", "gray0625"};
const char* const kLines[] = {nullptr, "thin", "medium", "dashed", "dotted", "thick", "double", "hair",
                              "mediumDashed", "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot",
                              "slantDashDot"};

QJsonValue sideOf(const xls::XlsBorder& b)
{
    if (b.LineStyle == 0)
        return QJsonValue();
    return QJsonArray{QString::fromLatin1(kLines[b.LineStyle]), colorName(b.Color)};
}

void expectStyle(const XlsCellStyle& s, const QJsonObject& y)
{
    const QJsonArray font = y.value("font").toArray();
    EXPECT_EQ(font.at(0).toString(), s.Font.Name);
    EXPECT_EQ(font.at(1).toDouble(), s.Font.Size);
    EXPECT_EQ(font.at(2).toBool(), s.Font.Style.Bold);
    EXPECT_EQ(font.at(3).toBool(), s.Font.Style.Italic);
    EXPECT_EQ(font.at(4), s.Font.Style.Underline ? QJsonValue(QStringLiteral("single")) : QJsonValue());
    EXPECT_EQ(font.at(5).toBool(), s.Font.Style.StrikeOut);
    EXPECT_EQ(font.at(6), colorName(s.Font.Color));

    const QJsonArray align = y.value("align").toArray();
    EXPECT_EQ(align.at(0), xls::test::horizontalName(s.HorizontalAlignment));
    const QJsonValue vertical = align.at(1).isNull() ? QJsonValue(QStringLiteral("bottom")) : align.at(1);
    EXPECT_EQ(vertical, xls::test::verticalName(s.VerticalAlignment));
    EXPECT_EQ(align.at(2).toBool(), s.WrapText);
    // Both formats number rotations alike: 1..90 up, 91..180 down, 255 stacked.
    EXPECT_EQ(align.at(3).toInt(), s.Rotation);

    const QJsonArray fill = y.value("fill").toArray();
    if (s.FillPattern == 0) {
        EXPECT_TRUE(fill.at(0).isNull()) << fill.at(0).toString().toStdString();
    } else {
        EXPECT_EQ(fill.at(0).toString(), QString::fromLatin1(kPatterns[s.FillPattern]));
        EXPECT_EQ(fill.at(1), colorName(s.ForegroundFillColor)) << "foreground";
        EXPECT_EQ(fill.at(2), colorName(s.BackgroundFillColor)) << "background";
    }

    const QJsonArray borders = y.value("borders").toArray();
    EXPECT_EQ(borders.at(0), sideOf(s.Borders[xls::XlsBorders::kLeft])) << "left";
    EXPECT_EQ(borders.at(1), sideOf(s.Borders[xls::XlsBorders::kRight])) << "right";
    EXPECT_EQ(borders.at(2), sideOf(s.Borders[xls::XlsBorders::kTop])) << "top";
    EXPECT_EQ(borders.at(3), sideOf(s.Borders[xls::XlsBorders::kBottom])) << "bottom";
    const xls::XlsBorder& up = s.Borders[xls::XlsBorders::kDiagonalUp];
    const xls::XlsBorder& down = s.Borders[xls::XlsBorders::kDiagonalDown];
    EXPECT_EQ(borders.at(4), sideOf(up.LineStyle ? up : down)) << "diagonal";
    EXPECT_EQ(borders.at(5).toBool(), up.LineStyle != 0) << "diagonal up";
    EXPECT_EQ(borders.at(6).toBool(), down.LineStyle != 0) << "diagonal down";

    EXPECT_EQ(y.value("format").toString(), s.Format.isEmpty() ? QStringLiteral("General") : s.Format);
}

// A text as a cell of the file holds it: at most 32,767 characters.
QString cellText(const QString& text)
{
    QString out;
    int chars = 0;
    for (qsizetype i = 0; i < text.size() && chars < 32767; ++chars) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        out += text.mid(i, n);
        i += n;
    }
    return out;
}

void expectCells(const XlsWorksheet& sheet, const QJsonObject& ys)
{
    const QJsonObject cells = ys.value("cells").toObject();
    std::set<QString> seen;
    std::vector<std::array<int, 4>> merged;
    for (int i = 0; i < sheet.cellCount(); ++i) {
        const XlsCell c = sheet.cellAt(i);
        const QString key = QStringLiteral("%1,%2").arg(c.top()).arg(c.left());
        SCOPED_TRACE("cell " + key.toStdString());
        seen.insert(key);
        if (!c.isSingleCell())
            merged.push_back({c.top(), c.bottom(), c.left(), c.right()});
        ASSERT_TRUE(cells.contains(key));
        const QJsonArray y = cells.value(key).toArray();
        if (c.cellKind() == XlsCellKind::Number) {
            EXPECT_EQ(y.at(0).toString(), QStringLiteral("n"));
            const double want = c.number() == 0.0 ? 0.0 : c.number();
            EXPECT_TRUE(xls::test::sameNumber(y.at(1).toDouble(), want)) << y.at(1).toDouble() << " vs " << want;
            const QString raw = ys.value("raw_numbers").toObject().value(key).toString();
            EXPECT_FALSE(raw.startsWith(QStringLiteral("-0")) && want == 0.0) << "written as " << raw.toStdString();
        } else {
            const QString text = c.range() ? c.range()->value().toText() : QString::fromStdU16String(std::u16string(c.plainText()));
            if (text.isEmpty()) {
                EXPECT_EQ(y.at(0).toString(), QStringLiteral("blank"));
            } else {
                EXPECT_EQ(y.at(0).toString(), QStringLiteral("s"));
                EXPECT_EQ(y.at(1).toString(), cellText(text));
            }
        }
        expectStyle(c.style(), y.at(2).toObject());
    }
    for (auto it = cells.begin(); it != cells.end(); ++it)
        EXPECT_TRUE(seen.count(it.key())) << "a cell the model does not have: " << it.key().toStdString();
    EXPECT_EQ(xls::test::sortedRanges(std::move(merged)), ys.value("merged").toArray());
}

void expectLayout(const XlsWorksheet& sheet, const QJsonObject& ys)
{
    const QJsonObject widths = ys.value("widths").toObject();
    EXPECT_EQ(widths.size(), static_cast<qsizetype>(sheet.columnWidths().size()));
    for (const xls::XlsColumnWidth& w : sheet.columnWidths()) {
        SCOPED_TRACE(testing::Message() << "column " << w.Index << ", width " << w.Width);
        const QJsonArray y = widths.value(QString::number(w.Index)).toArray();
        ASSERT_FALSE(y.isEmpty());
        EXPECT_EQ(y.at(1).toBool(), w.Width == 0) << "hidden";
        EXPECT_EQ(xls::test::columnPixels(y.at(0).toDouble()), xls::test::columnPixels(w.Width / 256.0));
    }

    EXPECT_EQ(ys.value("default_height").toDouble(), 12.75);
    const QJsonObject heights = ys.value("heights").toObject();
    for (auto it = heights.begin(); it != heights.end(); ++it) {
        const xls::XlsRowHeight* own = sheet.rowHeight(it.key().toInt());
        const bool used = own && own->Index >= sheet.usedTop() && own->Index <= sheet.usedBottom();
        EXPECT_EQ(it.value().toDouble(), used ? own->Height / 20.0 : 12.75) << "row " << it.key().toStdString();
    }
    for (const xls::XlsRowHeight& h : sheet.rowHeights()) {
        if (h.Index >= sheet.usedTop() && h.Index <= sheet.usedBottom()) {
            EXPECT_TRUE(heights.contains(QString::number(h.Index))) << "row " << h.Index;
        }
    }

    EXPECT_EQ(ys.value("freeze"), sheet.hasFrozenPanes()
                                      ? QJsonValue(xls::test::cellName(sheet.frozenRows(), sheet.frozenColumns()))
                                      : QJsonValue());
    const auto& titles = sheet.printTitleRows();
    EXPECT_EQ(ys.value("print_titles"),
              titles ? QJsonValue(QStringLiteral("$%1:$%2").arg(titles->First + 1).arg(titles->Last + 1)) : QJsonValue());

    const xls::XlsPageSetup& ps = sheet.pageSetup();
    const QJsonObject page = ys.value("page").toObject();
    EXPECT_EQ(page.value("orientation").toString(),
              ps.Orientation == xls::XlsPageSetup::kLandscape ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    EXPECT_EQ(page.value("paper").toInt(), ps.PaperSize);
    EXPECT_EQ(page.value("fit").toBool(), ps.FitToPages);
    if (ps.FitToPages) {
        // An absent count is Excel's default, 1.
        EXPECT_EQ(page.value("fit_width").toInt(1), ps.FitToPagesWide);
        EXPECT_EQ(page.value("fit_height").toInt(1), ps.FitToPagesTall);
    } else {
        EXPECT_EQ(page.value("scale").toInt(100), ps.Zoom);
    }
    const QJsonArray margins = page.value("margins").toArray();
    EXPECT_EQ(margins.at(0).toDouble(), ps.LeftMargin);
    EXPECT_EQ(margins.at(1).toDouble(), ps.RightMargin);
    EXPECT_EQ(margins.at(2).toDouble(), ps.TopMargin);
    EXPECT_EQ(margins.at(3).toDouble(), ps.BottomMargin);
    EXPECT_EQ(margins.at(4).toDouble(), ps.HeaderMargin > 0 ? ps.HeaderMargin : 0.3);
    EXPECT_EQ(margins.at(5).toDouble(), ps.FooterMargin > 0 ? ps.FooterMargin : 0.3);
    const auto part = [](const QString& s) { return s.isEmpty() ? QJsonValue() : QJsonValue(s); };
    EXPECT_EQ(page.value("header").toArray(),
              (QJsonArray{part(ps.LeftHeader), part(ps.CenterHeader), part(ps.RightHeader)}));
    EXPECT_EQ(page.value("footer").toArray(),
              (QJsonArray{part(ps.LeftFooter), part(ps.CenterFooter), part(ps.RightFooter)}));
    if (ps.FirstPageNumber != 1) {
        EXPECT_EQ(page.value("first_page").toInt(), ps.FirstPageNumber);
        EXPECT_TRUE(page.value("use_first_page").toBool());
    } else {
        EXPECT_FALSE(page.value("use_first_page").toBool());
    }
    EXPECT_EQ(page.value("order").toString() == QStringLiteral("overThenDown"), ps.Order == 1);
    EXPECT_EQ(page.value("grid").toBool(), ps.PrintGridLines);
    EXPECT_EQ(page.value("headings").toBool(), ps.PrintHeadings);
    EXPECT_EQ(page.value("hcenter").toBool(), ps.CenterHorizontally);
    EXPECT_EQ(page.value("vcenter").toBool(), ps.CenterVertically);
}

void expectModel(const XlsWorkbook& book, const QJsonObject& y)
{
    EXPECT_EQ(y.value("warnings").toArray(), QJsonArray{}) << "openpyxl warned";
    EXPECT_EQ(y.value("creator").toString(), book.userName());
    const QJsonArray sheets = y.value("sheets").toArray();
    ASSERT_EQ(sheets.size(), book.sheetCount());
    for (int s = 0; s < book.sheetCount(); ++s) {
        const XlsWorksheet& sheet = book.sheet(s);
        SCOPED_TRACE("sheet " + sheet.name().toStdString());
        const QJsonObject ys = sheets.at(s).toObject();
        EXPECT_EQ(ys.value("name").toString(), sheet.name());
        EXPECT_EQ(ys.value("selected").toBool(), s == 0);
        expectCells(sheet, ys);
        expectLayout(sheet, ys);
    }
}

// ---- the workbooks ------------------------------------------------------------------------

XlsRange& range(XlsWorksheet& sheet, int left, int top, int right, int bottom, const XlsValue& value)
{
    XlsRange& r = sheet.range(left, top, right, bottom);
    r.setValue(value);
    return r;
}

XlsRange& cell(XlsWorksheet& sheet, int column, int row, const XlsValue& value)
{
    return range(sheet, column, row, column, row, value);
}

void severalSheets(XlsWorkbook& book)
{
    book.setUserName(QStringLiteral("Полевая партия №3"));
    XlsWorksheet& first = book.addSheet();
    first.setName(QStringLiteral("Данные"));
    first.setCell(0, 0, XlsValue::text(QStringLiteral("N")));
    first.setCell(1, 0, XlsValue::real(1));
    book.addSheet(); // "Sheet2", empty
    XlsWorksheet& third = book.addSheet();
    third.setName(QStringLiteral("ВРТ-ТК5 (3)"));
    third.setCell(2, 4, XlsValue::real(-2.5));
}

void texts(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    const QString values[] = {
        QStringLiteral("Сопротивление пенетрации, МПа"),
        QStringLiteral("ёЁ №1 — «кавычки»"),
        QStringLiteral("a & b < c > d \"e\" 'f'"),
        QStringLiteral("строка 1\nстрока 2"),
        QStringLiteral("таб\tулятор"),
        QStringLiteral("  пробелы по краям  "),
        QString::fromUtf8("знак вне BMP: \xF0\x9F\x99\x82"),
        QStringLiteral("управляющий знак \u0001 и код _x0041_ как он есть, _x005F_ и _x12_"),
    };
    int row = 0;
    for (const QString& v : values)
        s.setCell(0, row++, XlsValue::text(v));
    cell(s, 1, 0, XlsValue::wideText(QStringLiteral("широкий текст в диапазоне")));
}

void longText(XlsWorkbook& book)
{
    // More than a cell of the .xlsx holds: the first 32,767 characters stay.
    XlsWorksheet& s = book.addSheet();
    s.setCell(0, 0, XlsValue::text(QString(40000, u'ж')));
}

void numbers(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    const double plain[] = {0.0, -0.0, -17.25, 123456.789, 1e-300, 1.7e308, 2.45, 1.0 / 3.0};
    int row = 0;
    for (double v : plain)
        s.setCell(0, row++, XlsValue::real(v));
    // Ranges of the other value types: numbers, or the text the .xls writes for them.
    const XlsValue values[] = {
        XlsValue::int16(-32768), XlsValue::int32(2147483647), XlsValue::currency(123456789),
        XlsValue::byte(255), XlsValue::single(0.1f), XlsValue::date(45366.5), XlsValue::boolean(true),
        XlsValue::int64(-9007199254740993LL), XlsValue::uint64(18446744073709551615ULL), XlsValue::null(),
    };
    row = 0;
    for (const XlsValue& v : values)
        cell(s, 1, row++, v);
}

void blanks(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    // Plain cells: an empty text between two values.
    s.setCell(0, 0, XlsValue::real(1));
    s.setCell(1, 0, XlsValue::text(QString()));
    s.setCell(2, 0, XlsValue::text(QStringLiteral("после пустой")));
    // A bold range without a value, and one holding an empty text.
    cell(s, 0, 1, XlsValue()).Font.Style.Bold = true;
    cell(s, 1, 1, XlsValue::text(QString())).WrapText = true;
}

void styles(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    XlsRange& heading = cell(s, 0, 0, XlsValue::text(QStringLiteral("Заголовок")));
    heading.Font.Style.Bold = true;
    heading.WrapText = true;
    heading.HorizontalAlignment = xls::XlsHorizontal::Center;
    heading.VerticalAlignment = xls::XlsVertical::Center;

    XlsRange& font = cell(s, 1, 0, XlsValue::text(QStringLiteral("шрифт")));
    font.Font.Name = QStringLiteral("Times New Roman");
    font.Font.Size = 14;
    font.Font.Color = 0x00FF0000; // blue, as 0x00BBGGRR
    font.Font.Style = {false, true, true, true};

    XlsRange& red = cell(s, 2, 0, XlsValue::real(0.5));
    red.Font.Color = 0x000000FF;
    red.Font.Style.Bold = true;
    cell(s, 3, 0, XlsValue::real(1)).Font.Color = xls::kXlsSystemColorFlag | 8; // window text

    XlsRange& solid = cell(s, 0, 1, XlsValue::text(QStringLiteral("заливка")));
    solid.FillPattern = 1;
    solid.ForegroundFillColor = 0x0000FFFF; // yellow
    solid.BackgroundFillColor = 0x00C0C0C0;
    XlsRange& pattern = cell(s, 1, 1, XlsValue::real(2));
    pattern.FillPattern = 4; // 25 % grey
    pattern.ForegroundFillColor = 0x00008000;
    pattern.BackgroundFillColor = 0x00FFFFFF;
    XlsRange& blackFill = cell(s, 2, 1, XlsValue());
    blackFill.FillPattern = 1; // black on black: 0 is a colour here

    XlsRange& boxed = cell(s, 0, 2, XlsValue::text(QStringLiteral("рамка")));
    boxed.Borders[xls::XlsBorders::kLeft] = {0x00000000, 1};
    boxed.Borders[xls::XlsBorders::kRight] = {0x000000FF, 2};
    boxed.Borders[xls::XlsBorders::kTop] = {0x00FF0000, 3};
    boxed.Borders[xls::XlsBorders::kBottom] = {0x0000FF00, 6};
    XlsRange& crossed = cell(s, 1, 2, XlsValue());
    crossed.Borders[xls::XlsBorders::kDiagonalUp] = {0x00808080, 7};
    crossed.Borders[xls::XlsBorders::kDiagonalDown] = {0x00808080, 7};
    cell(s, 2, 2, XlsValue()).Borders[xls::XlsBorders::kDiagonalDown] = {0, 13};

    const std::uint8_t rotations[] = {45, 90, 135, 180, 255};
    int column = 0;
    for (std::uint8_t r : rotations)
        cell(s, column++, 3, XlsValue::text(QStringLiteral("поворот"))).Rotation = r;

    const std::uint8_t horizontals[] = {xls::XlsHorizontal::Left, xls::XlsHorizontal::Right, xls::XlsHorizontal::Fill,
                                        xls::XlsHorizontal::Justify, xls::XlsHorizontal::CenterAcrossSelection};
    column = 0;
    for (std::uint8_t h : horizontals)
        cell(s, column++, 4, XlsValue::text(QStringLiteral("ровно"))).HorizontalAlignment = h;
    cell(s, 0, 5, XlsValue::text(QStringLiteral("верх"))).VerticalAlignment = xls::XlsVertical::Top;
    cell(s, 1, 5, XlsValue::text(QStringLiteral("по высоте"))).VerticalAlignment = xls::XlsVertical::Justify;

    cell(s, 0, 6, XlsValue::real(1234.5)).Format = QStringLiteral("0.00");
    cell(s, 1, 6, XlsValue::real(1234.5)).Format = QStringLiteral("#,##0.00\"р.\";\\-#,##0.00\"р.\"");
}

void mergedRanges(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    XlsRange& title = range(s, 0, 0, 2, 1, XlsValue::text(QStringLiteral("Объединённый заголовок")));
    title.HorizontalAlignment = xls::XlsHorizontal::Center;
    title.Font.Style.Bold = true;
    range(s, 3, 0, 5, 0, XlsValue::real(42.5)).Format = QStringLiteral("0.0");
    // A tall empty range, with cells to its right in the rows it covers.
    XlsRange& tall = range(s, 0, 2, 0, 4, XlsValue());
    tall.FillPattern = 1;
    tall.ForegroundFillColor = 0x00CCFFCC;
    for (int row = 2; row <= 4; ++row)
        s.setCell(1, row, XlsValue::real(row));
    s.setRowHeight(1, 400);
    s.setRowHeight(3, 500);
}

void rowMadeRightToLeft(XlsWorkbook& book)
{
    // Entries of one row stand in the list in the order they were made, not by column.
    XlsWorksheet& s = book.addSheet();
    cell(s, 5, 0, XlsValue::text(QStringLiteral("справа")));
    cell(s, 2, 0, XlsValue::real(2)).Font.Style.Italic = true;
    cell(s, 0, 0, XlsValue::text(QStringLiteral("слева")));
    s.setCell(1, 1, XlsValue::real(11));
    cell(s, 0, 1, XlsValue::real(10));
}

void layout(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 7; ++column)
            if (row != 4) // a row without cells, with a height of its own
                s.setCell(column, row, XlsValue::real(row * 10 + column));
    const int widths[] = {0, 256, 3 * 256, 2340, 12 * 256 + 100, 30000};
    int column = 0;
    for (int w : widths)
        s.setColumnWidth(column++, w);
    s.setRowHeight(0, 2 * XlsWorksheet::kDefaultRowHeight);
    s.setRowHeight(3, 600);
    s.setRowHeight(4, 700);
    s.setRowHeight(50, 900); // outside the used area: the .xls writes no height for it
    s.setFrozenPanes(2, 1);
    s.setPrintTitleRows(0, 1);
    xls::XlsPageSetup& ps = s.pageSetup();
    ps.PaperSize = 8; // A3
    ps.Zoom = 75;
    ps.LeftMargin = 0.25;
    ps.RightMargin = 0.5;
    ps.TopMargin = 1.0;
    ps.BottomMargin = 0.75;
    ps.HeaderMargin = 0.2;
    ps.FooterMargin = 0.35;
    ps.LeftHeader = QStringLiteral("Участок");
    ps.RightHeader = QStringLiteral("&D");
    ps.CenterFooter = QStringLiteral("Страница &P из &N");
    ps.FirstPageNumber = 3;
    ps.Order = 1;
    ps.PrintGridLines = true;
    ps.PrintHeadings = true;
    ps.CenterHorizontally = true;
    ps.CenterVertically = true;
}

void fitToPages(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    s.setCell(0, 0, XlsValue::real(1));
    xls::XlsPageSetup& ps = s.pageSetup();
    ps.Orientation = xls::XlsPageSetup::kLandscape;
    ps.FitToPages = true;
    ps.FitToPagesWide = 2;
    ps.FitToPagesTall = 3;
    XlsWorksheet& wide = book.addSheet();
    wide.setCell(0, 0, XlsValue::real(2));
    wide.pageSetup().FitToPages = true;
    wide.pageSetup().FitToPagesWide = 1;
    wide.pageSetup().FitToPagesTall = 0;
}

void beyondTheXlsLimits(XlsWorkbook& book)
{
    XlsWorksheet& s = book.addSheet();
    s.setCell(300, 100000, XlsValue::text(QStringLiteral("далеко")));
    s.setCell(xls::XlsxWriter::kMaxColumn, xls::XlsxWriter::kMaxRow, XlsValue::real(7));
    s.setColumnWidth(300, 20 * 256);
}

class XlsxWriterTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
};

TEST_F(XlsxWriterTest, WritesWhatTheModelHolds)
{
    struct Case {
        const char* what;
        std::function<void(XlsWorkbook&)> build;
        bool asXls; // the .xls can hold it too: compare the two files
    };
    const Case cases[] = {
        {"several sheets, one empty", severalSheets, true},
        {"texts beyond ASCII, line breaks, XML characters", texts, true},
        {"a text longer than a cell holds", longText, false},
        {"numbers, and the other value types", numbers, true},
        {"blank cells, plain and styled", blanks, true},
        {"styles", styles, true},
        {"merged ranges", mergedRanges, true},
        {"a row whose cells were made right to left", rowMadeRightToLeft, true},
        {"widths, heights, panes, print titles, page setup", layout, true},
        {"fit to pages", fitToPages, true},
        {"rows and columns beyond an .xls", beyondTheXlsLimits, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        c.build(book);
        const QString file = path(QStringLiteral("case%1.xlsx").arg(n));
        xls::XlsxWriter().save(book, file);
        const xls::test::XlsxResult read = readWithOpenpyxl(file);
        if (!read.skipReason.empty())
            GTEST_SKIP() << read.skipReason;
        ASSERT_TRUE(read.failure.empty()) << read.failure;
        expectModel(book, *read.json);
        if (c.asXls) {
            const QString xls = path(QStringLiteral("case%1.xls").arg(n));
            xls::BiffWriter().save(book, xls);
            const xls::test::OracleResult old = xls::test::readWithXlrd(xls);
            if (old.skipReason.empty()) {
                ASSERT_TRUE(old.failure.empty()) << old.failure;
                EXPECT_TRUE(xls::test::sameAsXls(*old.json, *read.json));
            }
        }
        ++n;
    }
}

TEST_F(XlsxWriterTest, PlainCellsStayPlain)
{
    XlsWorkbook book;
    XlsWorksheet& s = book.addSheet();
    s.setCell(0, 0, XlsValue::real(1));
    s.setCell(1, 0, XlsValue::text(QStringLiteral("текст")));
    s.setCell(2, 0, XlsValue::text(QString()));
    cell(s, 0, 1, XlsValue::real(2)).Font.Style.Bold = true;
    xls::XlsxWriter().save(book, path(QStringLiteral("plain.xlsx")));
    ASSERT_EQ(s.cellCount(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(s.cellAt(i).isPlain()) << "entry " << i;
    EXPECT_FALSE(s.cellAt(3).isPlain());
}

TEST_F(XlsxWriterTest, AWorkbookWithoutSheetsGetsOneEmptySheet)
{
    XlsWorkbook book;
    const QString file = path(QStringLiteral("empty.xlsx"));
    xls::XlsxWriter().save(book, file);
    const xls::test::XlsxResult read = readWithOpenpyxl(file);
    if (!read.skipReason.empty())
        GTEST_SKIP() << read.skipReason;
    ASSERT_TRUE(read.failure.empty()) << read.failure;
    const QJsonArray sheets = read.json->value("sheets").toArray();
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets.at(0).toObject().value("name").toString(), QStringLiteral("Sheet1"));
    EXPECT_TRUE(sheets.at(0).toObject().value("cells").toObject().isEmpty());
}

TEST_F(XlsxWriterTest, RefusesWhatTheFormatCannotHoldBeforeWriting)
{
    struct Case {
        const char* what;
        std::function<void(XlsWorkbook&)> build;
        XlsError::Code code;
    };
    const auto named = [](const QStringList& names) {
        return [names](XlsWorkbook& book) {
            for (const QString& name : names)
                book.addSheet().setName(name);
        };
    };
    const Case cases[] = {
        {"a number that is not finite",
         [](XlsWorkbook& b) { b.addSheet().setCell(0, 0, XlsValue::real(std::numeric_limits<double>::quiet_NaN())); },
         XlsError::Code::BadValue},
        {"an infinite number in a range",
         [](XlsWorkbook& b) { cell(b.addSheet(), 1, 1, XlsValue::real(-std::numeric_limits<double>::infinity())); },
         XlsError::Code::BadValue},
        {"a sheet name with a colon", named({QStringLiteral("Участок: 1")}), XlsError::Code::BadArgument},
        {"a sheet name with brackets", named({QStringLiteral("[1]")}), XlsError::Code::BadArgument},
        {"a sheet name with a slash", named({QStringLiteral("1/2")}), XlsError::Code::BadArgument},
        {"a sheet name in apostrophes", named({QStringLiteral("'Лист'")}), XlsError::Code::BadArgument},
        {"an empty sheet name", named({QStringLiteral("   ")}), XlsError::Code::BadArgument},
        {"two sheet names alike regardless of case", named({QStringLiteral("Лист"), QStringLiteral("ЛИСТ")}),
         XlsError::Code::BadArgument},
        {"a row beyond the last",
         [](XlsWorkbook& b) { b.addSheet().setCell(0, xls::XlsxWriter::kMaxRow + 1, XlsValue::real(1)); },
         XlsError::Code::TooManyRows},
        {"a column beyond the last",
         [](XlsWorkbook& b) { b.addSheet().setCell(xls::XlsxWriter::kMaxColumn + 1, 0, XlsValue::real(1)); },
         XlsError::Code::TooManyColumns},
        {"a width beyond the last column",
         [](XlsWorkbook& b) { b.addSheet().setColumnWidth(xls::XlsxWriter::kMaxColumn + 1, 256); },
         XlsError::Code::TooManyColumns},
        {"print titles beyond the last row",
         [](XlsWorkbook& b) { b.addSheet().setPrintTitleRows(0, xls::XlsxWriter::kMaxRow + 1); },
         XlsError::Code::TooManyRows},
        {"every row frozen",
         [](XlsWorkbook& b) { b.addSheet().setFrozenPanes(xls::XlsxWriter::kMaxRow + 1, 0); },
         XlsError::Code::TooManyRows},
    };
    const QString file = path(QStringLiteral("old.xlsx"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the file that was there");
        old.close();
        XlsWorkbook book;
        c.build(book);
        try {
            xls::XlsxWriter().save(book, file);
            ADD_FAILURE() << "saved";
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            EXPECT_NE(std::string(e.what()).find("нельзя записать в файл Excel"), std::string::npos) << e.what();
        }
        EXPECT_EQ(entries(), QStringList{QStringLiteral("old.xlsx")}) << "nothing new beside the file";
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("the file that was there"));
        old.close();
    }
}

TEST_F(XlsxWriterTest, TargetsThatCannotBeWrittenLeaveNothingBehind)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("folder")));
    struct Case {
        const char* what;
        QString target;
        XlsError::Code code;
    };
    const Case cases[] = {
        {"a folder that does not exist", path(QStringLiteral("missing/книга.xlsx")), XlsError::Code::CreateFile},
        {"a folder as the target", path(QStringLiteral("folder")), XlsError::Code::NotReplaceable},
        {"no name", QString(), XlsError::Code::CreateFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XlsWorkbook book;
        book.addSheet().setCell(0, 0, XlsValue::real(1));
        try {
            xls::XlsxWriter().save(book, c.target);
            ADD_FAILURE() << "saved";
        } catch (const XlsError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            if (!c.target.isEmpty()) {
                EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QFileInfo(c.target).fileName()), -1)
                    << "names the file: " << e.what();
            }
        }
        EXPECT_EQ(entries(), QStringList{QStringLiteral("folder")});
        EXPECT_TRUE(QFileInfo(path(QStringLiteral("folder"))).isDir());
        EXPECT_TRUE(QDir(path(QStringLiteral("folder"))).isEmpty());
    }
}

TEST_F(XlsxWriterTest, ReplacesAnExistingFileWhole)
{
    const QString file = path(QStringLiteral("книга.xlsx"));
    XlsWorkbook big;
    XlsWorksheet& s = big.addSheet();
    for (int row = 0; row < 500; ++row)
        s.setCell(0, row, XlsValue::text(QStringLiteral("строка %1 большой книги").arg(row)));
    big.addSheet();
    xls::XlsxWriter().save(big, file);
    const qint64 bigSize = QFileInfo(file).size();
#ifndef _WIN32
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
#endif

    XlsWorkbook small;
    small.addSheet().setCell(1, 1, XlsValue::real(5));
    xls::XlsxWriter().save(small, file);

    EXPECT_LT(QFileInfo(file).size(), bigSize);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("книга.xlsx")}) << "no temporary file left";
#ifndef _WIN32 // POSIX modes; Windows keeps a file's rights in its ACL, which the file layer copies
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the file keeps its access rights";
#endif
    const xls::test::XlsxResult read = readWithOpenpyxl(file);
    if (!read.skipReason.empty())
        GTEST_SKIP() << read.skipReason;
    ASSERT_TRUE(read.failure.empty()) << read.failure;
    expectModel(small, *read.json);
}

TEST_F(XlsxWriterTest, WritesThroughASymbolicLink)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows; the file layer's tests cover them there";
#endif
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("real")));
    const QString real = path(QStringLiteral("real/книга.xlsx"));
    const QString link = path(QStringLiteral("ссылка.xlsx"));
    QFile f(real);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
    f.close();
    ASSERT_TRUE(QFile::link(real, link));

    XlsWorkbook book;
    book.addSheet().setCell(0, 0, XlsValue::text(QStringLiteral("через ссылку")));
    xls::XlsxWriter().save(book, link);

    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QDir(path(QStringLiteral("real"))).entryList(QDir::Files), QStringList{QStringLiteral("книга.xlsx")});
    const xls::test::XlsxResult read = readWithOpenpyxl(real);
    if (!read.skipReason.empty())
        GTEST_SKIP() << read.skipReason;
    ASSERT_TRUE(read.failure.empty()) << read.failure;
    expectModel(book, *read.json);
}

} // namespace
