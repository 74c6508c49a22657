// Files written by BiffWriter, read back by independent readers: python3-xlrd (its warnings
// count as failures) with python3-olefile for the streams of the compound document, and
// LibreOffice converting to CSV. A test skips itself when a reader is not installed.

#include "biff_test_support.h"

#include "xls/biff_writer.h"
#include "xls/xls_workbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace xls::test {
namespace {

// xlrd's cell types.
constexpr int kXlrdEmpty = 0;
constexpr int kXlrdText = 1;
constexpr int kXlrdNumber = 2;
constexpr int kXlrdBlank = 6;

void put(XlsWorksheet& sheet, int column, int row, const XlsValue& value)
{
    sheet.range(column, row, column, row).setValue(value);
}

// Rows like those of the table export: a heading, then per record a row of numbers and
// texts and five more rows in columns 10 and 11.
void fillLikeTheExport(XlsWorksheet& sheet, int records)
{
    const char* headings[] = {"№", "Дата", "Время", "P, кгс", "R, МПа", "E, МПа", "Kупл",
                              "W, %", "φ, град", "C, кПа", "P1..P5", "Примечание"};
    for (int c = 0; c < 12; ++c)
        put(sheet, c, 0, XlsValue::text(QString::fromUtf8(headings[c])));
    for (int n = 0; n < records; ++n) {
        const int row = 1 + 6 * n;
        put(sheet, 0, row, XlsValue::int32(n + 1));
        put(sheet, 1, row, XlsValue::text(QStringLiteral("%1.03.2024").arg(1 + n % 28, 2, 10, QLatin1Char('0'))));
        put(sheet, 2, row, n % 3 ? XlsValue::text(QStringLiteral("12:%1").arg(n % 60, 2, 10, QLatin1Char('0')))
                                 : XlsValue::text(QString()));
        for (int c = 3; c <= 9; ++c)
            put(sheet, c, row, XlsValue::real(n * 0.5 + c / 4.0));
        for (int k = 0; k < 5; ++k)
            put(sheet, 10, row + k, XlsValue::real(10.5 + k + n));
        put(sheet, 11, row, XlsValue::text(n % 2 ? QStringLiteral("суглинок, \"влажный\"") : QString()));
    }
}

struct OracleCase {
    const char* name;
    std::function<void(XlsWorkbook&)> fill;
};

std::vector<OracleCase> oracleCases()
{
    return {
        {"a sheet without ranges", [](XlsWorkbook& b) { b.addSheet(); }},
        {"the export's layout, Cyrillic texts", [](XlsWorkbook& b) {
             fillLikeTheExport(b.addSheet(), 20);
             b.sheet(0).setName(QStringLiteral("ВРТ-ТК5"));
             b.setUserName(QStringLiteral("Пользователь"));
         }},
        {"two sheets", [](XlsWorkbook& b) {
             fillLikeTheExport(b.addSheet(), 2);
             XlsWorksheet& second = b.addSheet();
             second.setName(QString(31, u'Ж'));
             put(second, 3, 4, XlsValue::text(QStringLiteral("второй лист")));
         }},
        {"merged ranges, blanks and an empty text", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             s.range(0, 0, 2, 1).setValue(XlsValue::real(5));
             s.range(3, 0, 3, 3).setValue(XlsValue::text(QStringLiteral("столбик")));
             s.range(0, 2, 1, 2);
             put(s, 4, 4, XlsValue::text(QString()));
             put(s, 5, 6, XlsValue::boolean(true));
         }},
        {"a 5000-character text and 1000 short ones", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             QString text;
             for (int i = 0; i < 5000; ++i)
                 text += QChar(u'А' + i % 32);
             put(s, 0, 0, XlsValue::text(text));
             for (int i = 0; i < 1000; ++i)
                 put(s, 1 + i % 5, 1 + i / 5, XlsValue::text(QStringLiteral("текст %1").arg(i)));
         }},
        {"33 rows, one of them without cells", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             for (int r = 0; r < 34; ++r)
                 if (r != 20)
                     put(s, r % 3, r, XlsValue::real(r * 1.5));
         }},
        {"a tall range across row blocks beside single cells", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             s.range(2, 1, 3, 70).setValue(XlsValue::text(QStringLiteral("высокая")));
             for (int r = 0; r < 75; r += 3)
                 put(s, r % 2 ? 0 : 5, r, XlsValue::real(r));
             s.range(6, 30, 6, 34).setValue(XlsValue::real(-0.0));
         }},
        {"a coloured bold font", [](XlsWorkbook& b) {
             XlsRange& r = b.addSheet().range(1, 1, 1, 1);
             r.setValue(XlsValue::text(QStringLiteral("цвет")));
             r.Font.Color = 0x00030201;
             r.Font.Style.Bold = true;
             r.Format = QStringLiteral("0.000");
         }},
        {"1025 merged ranges", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             for (int i = 0; i < 1025; ++i)
                 s.range(0, i, 1, i).setValue(XlsValue::real(i));
         }},
        {"column widths, one of them hidden", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             fillLikeTheExport(s, 3);
             for (int c = 0; c < 3; ++c)
                 s.setColumnWidth(c, 4 * 256);
             s.setColumnWidth(5, 0);
             s.setColumnWidth(11, 30 * 256 + 128);
             s.setColumnWidth(255, 1);
         }},
        {"rows repeated on the pages of two sheets out of three", [](XlsWorkbook& b) {
             fillLikeTheExport(b.addSheet(), 12);
             b.sheet(0).setPrintTitleRows(0, 0);
             put(b.addSheet(), 1, 1, XlsValue::real(2));
             XlsWorksheet& third = b.addSheet();
             third.setName(QStringLiteral("Третий лист"));
             fillLikeTheExport(third, 4);
             third.setPrintTitleRows(1, 6);
             third.setColumnWidth(11, 40 * 256);
         }},
        {"a frozen heading row, bold wrapped centred headings, printed fitted and landscape", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             fillLikeTheExport(s, 6);
             for (int c = 0; c < 12; ++c) {
                 XlsRange& heading = s.range(c, 0, c, 0);
                 heading.Font.Style.Bold = true;
                 heading.WrapText = true;
                 heading.HorizontalAlignment = XlsHorizontal::Center;
                 heading.VerticalAlignment = XlsVertical::Center;
                 s.setColumnWidth(c, 2000 + 100 * c);
             }
             s.setRowHeight(0, 2 * XlsWorksheet::kDefaultRowHeight);
             s.setFrozenPanes(1, 0);
             s.setPrintTitleRows(0, 0);
             s.pageSetup().Orientation = XlsPageSetup::kLandscape;
             s.pageSetup().FitToPages = true;
             s.pageSetup().FitToPagesTall = 0;
         }},
        {"two frozen rows and a column, a tall row further down", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             fillLikeTheExport(s, 3);
             s.setFrozenPanes(2, 1);
             s.setRowHeight(5, 800);
             XlsRange& left = s.range(2, 7, 2, 7);
             left.HorizontalAlignment = XlsHorizontal::Left;
             left.VerticalAlignment = XlsVertical::Top;
             b.addSheet().setFrozenPanes(0, 3);
         }},
        {"the last row and column", [](XlsWorkbook& b) {
             XlsWorksheet& s = b.addSheet();
             put(s, 0, 0, XlsValue::real(1));
             put(s, 255, 65535, XlsValue::real(2));
         }},
    };
}

// JSON as one line of text, so that a failure shows what was read.
template <typename Json>
std::string compact(const Json& json)
{
    return QJsonDocument(json).toJson(QJsonDocument::Compact).toStdString();
}

// Checks what xlrd read against the model.
void expectReadAsModelled(const XlsWorkbook& book, const QJsonObject& read)
{
    EXPECT_EQ(read.value("log").toString(), QString()) << "xlrd warned";
    EXPECT_EQ(read.value("streams").toArray(), QJsonArray{QStringLiteral("Workbook")});
    EXPECT_EQ(read.value("user").toString(), book.userName().left(54));
    const QJsonArray sheets = read.value("sheets").toArray();
    ASSERT_EQ(sheets.size(), book.sheetCount());
    for (int s = 0; s < book.sheetCount(); ++s) {
        const XlsWorksheet& sheet = book.sheet(s);
        const QJsonObject got = sheets[s].toObject();
        SCOPED_TRACE(sheet.name().toStdString());
        EXPECT_EQ(got.value("name").toString(), sheet.name());
        EXPECT_EQ(got.value("nrows").toInt(), sheet.usedBottom() + 1);
        EXPECT_EQ(got.value("ncols").toInt(), sheet.usedRight() + 1);
        const QJsonObject cells = got.value("cells").toObject();
        auto cellAt = [&](int row, int column) {
            const QJsonValue cell = cells.value(QStringLiteral("%1,%2").arg(row).arg(column));
            return cell.isUndefined() ? QJsonArray{kXlrdEmpty} : cell.toArray();
        };
        QJsonArray merged;
        int covered = 0;
        for (int i = 0; i < sheet.cellCount(); ++i) {
            const XlsRange& r = sheet.rangeAt(i);
            covered += (r.right() - r.left() + 1) * (r.bottom() - r.top() + 1);
            const QJsonArray topLeft = cellAt(r.top(), r.left());
            const QString where = QStringLiteral("row %1 column %2").arg(r.top()).arg(r.left());
            if (r.cellKind() == XlsCellKind::Number) {
                EXPECT_EQ(topLeft.at(0).toInt(), kXlrdNumber) << where.toStdString();
                EXPECT_EQ(topLeft.at(1).toDouble(), r.value().toDouble()) << where.toStdString();
            } else if (r.value().toText().isEmpty()) {
                EXPECT_EQ(topLeft.at(0).toInt(), kXlrdBlank) << where.toStdString();
            } else {
                EXPECT_EQ(topLeft.at(0).toInt(), kXlrdText) << where.toStdString();
                EXPECT_EQ(topLeft.at(1).toString(), r.value().toText()) << where.toStdString();
            }
            for (int row = r.top(); row <= r.bottom(); ++row) {
                for (int col = r.left(); col <= r.right(); ++col) {
                    if (row != r.top() || col != r.left()) {
                        EXPECT_EQ(cellAt(row, col).at(0).toInt(), kXlrdBlank) << row << "," << col;
                    }
                }
            }
            if (!r.isSingleCell())
                merged.append(QJsonArray{r.top(), r.bottom() + 1, r.left(), r.right() + 1});
        }
        // Every other cell of the sheet is empty.
        EXPECT_EQ(cells.size(), covered);
        EXPECT_EQ(got.value("merged").toArray(), merged);

        QJsonObject widths;
        for (const XlsColumnWidth& w : sheet.columnWidths())
            widths.insert(QString::number(w.Index), QJsonArray{w.Width, w.Width == 0 ? 1 : 0});
        EXPECT_EQ(compact(got.value("widths").toObject()), compact(widths));

        // Heights of their own, for the rows that have a ROW record (the used area's).
        QJsonObject heights;
        for (const XlsRowHeight& h : sheet.rowHeights())
            if (h.Index >= sheet.usedTop() && h.Index <= sheet.usedBottom() && h.Height != XlsWorksheet::kDefaultRowHeight)
                heights.insert(QString::number(h.Index), h.Height);
        EXPECT_EQ(compact(got.value("heights").toObject()), compact(heights));

        // Frozen panes: the rows above and the columns left of the split, the first row and
        // column that scroll, and the cursor's pane, the one that scrolls both ways
        // (0 bottom right, 1 top right, 2 bottom left).
        const int rows = sheet.frozenRows(), columns = sheet.frozenColumns();
        const int active = rows > 0 && columns > 0 ? 0 : rows > 0 ? 2 : 1;
        const QJsonArray frozen = sheet.hasFrozenPanes() ? QJsonArray{1, rows, columns, rows, columns, active}
                                                         : QJsonArray{0, 0, 0, 0, 0, 0};
        EXPECT_EQ(compact(got.value("frozen").toArray()), compact(frozen));

        // Each range's style as its cell format and font carry it.
        const QJsonArray xfs = read.value("xf_styles").toArray();
        const QJsonArray fonts = read.value("font_styles").toArray();
        for (int i = 0; i < sheet.cellCount(); ++i) {
            const XlsRange& r = sheet.rangeAt(i);
            SCOPED_TRACE(testing::Message() << "range at row " << r.top() << ", column " << r.left());
            const int xf = cellAt(r.top(), r.left()).at(2).toInt();
            ASSERT_LT(xf, xfs.size());
            const QJsonArray style = xfs[xf].toArray();
            EXPECT_EQ(style.at(1).toInt(), r.HorizontalAlignment);
            EXPECT_EQ(style.at(2).toInt(), r.VerticalAlignment);
            EXPECT_EQ(style.at(3).toInt(), r.WrapText ? 1 : 0);
            const QJsonArray font = fonts.at(style.at(0).toInt()).toArray();
            EXPECT_EQ(font.at(0).toInt(), r.Font.Style.Bold ? 700 : 400);
            EXPECT_EQ(font.at(1).toInt(), r.Font.Style.Bold ? 1 : 0);
            EXPECT_EQ(font.at(2).toString(), r.Font.Name);
        }
    }

    // One built-in Print_Titles per sheet that repeats rows, scoped to that sheet, covering
    // the rows across every column.
    QJsonArray names;
    for (int s = 0; s < book.sheetCount(); ++s) {
        if (const std::optional<XlsRowSpan>& rows = book.sheet(s).printTitleRows())
            names.append(QJsonArray{QStringLiteral("Print_Titles"), true, s,
                                    QJsonArray{s, rows->First, rows->Last + 1, 0, 256}});
    }
    EXPECT_EQ(compact(read.value("names").toArray()), compact(names));
}

TEST(BiffOracle, XlrdReadsEveryFileAsModelled)
{
    QTemporaryDir dir;
    int n = 0;
    for (const OracleCase& c : oracleCases()) {
        SCOPED_TRACE(c.name);
        XlsWorkbook book;
        c.fill(book);
        const QString file = dir.filePath(QStringLiteral("case%1.xls").arg(++n));
        BiffWriter writer;
        writer.save(book, file);
        const OracleResult read = readWithXlrd(file);
        if (!read.skipReason.empty())
            GTEST_SKIP() << read.skipReason;
        ASSERT_TRUE(read.failure.empty()) << read.failure;
        expectReadAsModelled(book, *read.json);
    }
}

// The cells of an exported sheet as LibreOffice converts them to CSV.
TEST(BiffOracle, LibreOfficeReadsTheExportedLayout)
{
    QTemporaryDir dir;
    XlsWorkbook book;
    XlsWorksheet& sheet = book.addSheet();
    sheet.setName(QStringLiteral("ВРТ-ТК5"));
    fillLikeTheExport(sheet, 40);
    const QString file = dir.filePath(QStringLiteral("экспорт.xls"));
    BiffWriter writer;
    writer.save(book, file);
    EXPECT_TRUE(readsCleanly(file));

    const CsvResult csv = convertWithLibreOffice(file, dir.path());
    if (!csv.skipReason.empty())
        GTEST_SKIP() << csv.skipReason;
    ASSERT_TRUE(csv.failure.empty()) << csv.failure;
    const std::vector<std::vector<QString>>& rows = *csv.rows;
    ASSERT_EQ(static_cast<int>(rows.size()), sheet.usedBottom() + 1);
    for (int r = 0; r <= sheet.usedBottom(); ++r) {
        std::vector<QString> expected(12);
        std::vector<bool> isNumber(12, false);
        for (int i = 0; i < sheet.cellCount(); ++i) {
            const XlsRange& range = sheet.rangeAt(i);
            if (range.top() != r)
                continue;
            isNumber[range.left()] = range.cellKind() == XlsCellKind::Number;
            expected[range.left()] = isNumber[range.left()] ? QString::number(range.value().toDouble())
                                                            : range.value().toText();
        }
        std::vector<QString> got = rows[r];
        got.resize(12);
        for (int c = 0; c < 12; ++c) {
            if (isNumber[c]) {
                QString text = got[c];
                EXPECT_DOUBLE_EQ(text.replace(u',', u'.').toDouble(), expected[c].toDouble())
                    << "row " << r << " column " << c << ": " << got[c].toStdString();
            } else {
                EXPECT_EQ(got[c], expected[c]) << "row " << r << " column " << c;
            }
        }
    }
}

} // namespace
} // namespace xls::test
