// The exported sheet as a reader sees it: its layout in the workbook model (styled headings,
// widths, frozen heading row, print settings), the same read back from the file by xlrd, and
// the file printed by LibreOffice: every heading word whole on the first page, the headings
// again on every page, landscape pages one page wide, 40 tests on at most four pages.
//
// To look at the printed pages, set KVEL_KEEP_EXPORT_PDF to a folder: the printing test
// copies the workbook and its PDFs there.

#include "export/column_fit.h"
#include "export/table_export.h"
#include "xls/biff_writer.h"
#include "xls/text_metrics.h"
#include "xls/xls_workbook.h"

#include "tests/store/store_test_support.h"
#include "tests/xls/biff_test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QLocale>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <set>

namespace {

using store::Field;
using store::MeasurementTable;
using store::test::Cells;
namespace metrics = xls::text_metrics;

// `count` penetrometer tests with values as the instrument gives them (forces in whole
// newtons, resistance in hundredths, modulus and angle in tenths, cohesion in ten-thousandths)
// and the odd comment.
std::vector<Cells> instrumentRows(int count)
{
    std::vector<Cells> rows;
    for (int k = 0; k < count; ++k) {
        Cells cells = {
            {Field::N, double(k + 1)},
            {Field::DATE, QStringLiteral("%1.%2.2024").arg(1 + k % 28, 2, 10, QLatin1Char('0')).arg(1 + k % 12, 2, 10, QLatin1Char('0'))},
            {Field::TIME, QStringLiteral("%1:%2").arg(8 + k % 12, 2, 10, QLatin1Char('0')).arg(k * 7 % 60, 2, 10, QLatin1Char('0'))},
            {Field::NB_TYPE, 0.0},
            {Field::P, double(800 + k * 37 % 1500)},
            {Field::R, (120 + k * 13 % 400) / 100.0},
            {Field::U, (95 + k * 31 % 600) / 10.0},
            {Field::P7, (80 + k % 20) / 100.0},
            {Field::H, (50 + k * 3 % 50) / 100.0},
            {Field::P6, (180 + k * 7 % 150) / 10.0},
            {Field::S, (120 + k * 11 % 900) / 10000.0},
        };
        const Field forces[] = {Field::P1, Field::P2, Field::P3, Field::P4, Field::P5};
        for (int i = 0; i < 5; ++i)
            cells.emplace_back(forces[i], double(700 + (k * 53 + i * 97) % 1700));
        if (k % 4 == 1)
            cells.emplace_back(Field::COMMENT, QStringLiteral("суглинок, точка %1").arg(k));
        rows.push_back(cells);
    }
    return rows;
}

class ExportLayoutTest : public store::test::StoreTest {
protected:
    // Exports `rows` (the first tab) to a workbook file; returns its path.
    QString exportRows(const std::vector<Cells>& rows, const QString& name = QStringLiteral("export.xls"))
    {
        const QString table = path(name + QStringLiteral(".db"));
        store::test::createTable(table, rows);
        MeasurementTable t;
        t.open(table);
        t.table().setFilter(store::kindFilter(store::kPenetrometerKind));
        t.table().refresh();
        m_book = std::make_unique<xls::XlsWorkbook>();
        table_export::fillWorkbook(t, *m_book);
        const QString file = path(name);
        xls::BiffWriter().save(*m_book, file);
        return file;
    }

    // Copies the file (or its PDF) where the developer asked to see them, its name after
    // `prefix`.
    static void keep(const QString& file, const QString& prefix)
    {
        const QByteArray folder = qgetenv("KVEL_KEEP_EXPORT_PDF");
        if (folder.isEmpty())
            return;
        const QString to = QString::fromLocal8Bit(folder) + QLatin1Char('/') + prefix + QFileInfo(file).fileName();
        QFile::remove(to);
        QFile::copy(file, to);
    }

    std::unique_ptr<xls::XlsWorkbook> m_book;
};

// The words of a heading, as a reader expects to find them on the page.
std::vector<QString> headingWords()
{
    std::vector<QString> words;
    for (const QString& heading : table_export::headings())
        for (const QString& word : heading.split(u' ', Qt::SkipEmptyParts))
            words.push_back(word);
    return words;
}

// The blank-separated tokens of a page's text.
std::multiset<QString> tokensOf(const QString& text)
{
    std::multiset<QString> tokens;
    for (const QString& t : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        tokens.insert(t);
    return tokens;
}

int advanceOf(const QString& text, bool bold)
{
    return metrics::textAdvance({reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())},
                                bold);
}

// What a sheet of the export must show: the headings styled, frozen and repeated on every
// page, landscape pages one page wide, every heading word and every value whole in its
// column (numbers as the shortest decimal that reads back as them, as Qt writes it, not as
// the export measures them), and a heading row tall enough for the headings' lines.
void expectReadableLayout(const xls::XlsWorksheet& sheet)
{
    SCOPED_TRACE(sheet.name().toStdString());
    EXPECT_EQ(sheet.frozenRows(), 1);
    EXPECT_EQ(sheet.frozenColumns(), 0);
    EXPECT_EQ(sheet.printTitleRows(), (xls::XlsRowSpan{0, 0}));
    const xls::XlsPageSetup& page = sheet.pageSetup();
    EXPECT_EQ(page.Orientation, xls::XlsPageSetup::kLandscape);
    EXPECT_TRUE(page.FitToPages);
    EXPECT_EQ(page.FitToPagesWide, 1);
    EXPECT_EQ(page.FitToPagesTall, 0);

    ASSERT_EQ(sheet.columnWidths().size(), std::size_t{table_export::kColumnCount});
    std::vector<int> room(table_export::kColumnCount);
    for (int c = 0; c < table_export::kColumnCount; ++c) {
        ASSERT_NE(sheet.columnWidth(c), nullptr) << "column " << c;
        room[static_cast<std::size_t>(c)] = metrics::textRoomIn(sheet.columnWidth(c)->Width);
    }
    int lines = 1;
    for (int i = 0; i < sheet.cellCount(); ++i) {
        const xls::XlsCell cell = sheet.cellAt(i);
        const int space = room[static_cast<std::size_t>(cell.left())];
        SCOPED_TRACE(testing::Message() << "row " << cell.top() << ", column " << cell.left());
        if (cell.top() == 0) {
            ASSERT_NE(cell.range(), nullptr);
            const xls::XlsCellStyle& style = cell.style();
            EXPECT_TRUE(style.Font.Style.Bold);
            EXPECT_TRUE(style.WrapText);
            EXPECT_EQ(style.HorizontalAlignment, xls::XlsHorizontal::Center);
            const QString heading = cell.value().toText();
            for (const QString& word : heading.split(u' '))
                EXPECT_LE(advanceOf(word, true), space) << word.toStdString();
            lines = std::max(lines, metrics::wrappedLines(
                                        {reinterpret_cast<const char16_t*>(heading.utf16()), std::size_t(heading.size())},
                                        true, space));
            continue;
        }
        EXPECT_TRUE(cell.isPlain());
        const QString shown = cell.cellKind() == xls::XlsCellKind::Number
                                  ? QString::number(cell.number(), 'f', QLocale::FloatingPointShortest)
                                  : cell.value().toText();
        if (shown.size() <= table_export::ColumnFit::kMaxValueDigits / 2) {
            EXPECT_LE(advanceOf(shown, false), space) << shown.toStdString();
        }
    }
    const int height = sheet.rowHeight(0) ? sheet.rowHeight(0)->Height : xls::XlsWorksheet::kDefaultRowHeight;
    EXPECT_EQ(height, lines * xls::XlsWorksheet::kDefaultRowHeight);
}

TEST_F(ExportLayoutTest, EverySheetIsLaidOutForReadingAndPrinting)
{
    struct Case {
        const char* what;
        std::vector<Cells> rows;
    };
    std::vector<Cells> wide = instrumentRows(3);
    wide[1].emplace_back(Field::COMMENT, QStringLiteral("Песок мелкий, влажный; \"кавычки\" и ёЁ"));
    wide[2][0].second = 123456.0;  // N
    wide[2][5].second = -0.0625;   // R
    const Case cases[] = {
        {"no records: the headings alone", {}},
        {"three tests", instrumentRows(3)},
        {"wide values", wide},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        exportRows(c.rows);
        ASSERT_EQ(m_book->sheetCount(), 1);
        expectReadableLayout(m_book->sheet(0));
        // Two of the headings take two lines.
        EXPECT_EQ(m_book->sheet(0).rowHeight(0)->Height, 2 * xls::XlsWorksheet::kDefaultRowHeight);
    }
}

// A full sheet and one record more: both sheets are laid out, each for its own values.
TEST_F(ExportLayoutTest, AFurtherSheetIsLaidOutForItsOwnValues)
{
    const QString file = path(QStringLiteral("big.db"));
    MeasurementTable::create(file);
    MeasurementTable t;
    t.open(file);
    const int count = table_export::kRecordsPerSheet + 1;
    t.table().beginBatch();
    for (int k = 0; k < count; ++k) {
        Cells cells = {{Field::N, double(k + 1)}, {Field::NB_TYPE, 0.0}, {Field::DATE, QStringLiteral("01.02.2024")}};
        if (k == count - 1)
            cells.emplace_back(Field::COMMENT, QStringLiteral("последняя точка участка у дороги"));
        store::test::appendRow(t, cells);
    }
    t.table().endBatch();
    xls::XlsWorkbook book;
    table_export::fillWorkbook(t, book);
    ASSERT_EQ(book.sheetCount(), 2);
    expectReadableLayout(book.sheet(0));
    expectReadableLayout(book.sheet(1));
    const int comment = table_export::kCommentColumn;
    EXPECT_GT(book.sheet(1).columnWidth(comment)->Width, book.sheet(0).columnWidth(comment)->Width);
}

// xlrd reads the layout back from the file: widths, the frozen heading row, the rows
// printed on every page, the headings' bold font and alignment.
TEST_F(ExportLayoutTest, XlrdReadsTheLayout)
{
    const QString file = exportRows(instrumentRows(5));
    const xls::test::OracleResult read = xls::test::readWithXlrd(file);
    if (!read.skipReason.empty())
        GTEST_SKIP() << read.skipReason;
    ASSERT_TRUE(read.failure.empty()) << read.failure;
    const QJsonObject& json = *read.json;
    EXPECT_EQ(json.value("log").toString(), QString()) << "xlrd warned";
    const QJsonObject got = json.value("sheets").toArray().at(0).toObject();
    const xls::XlsWorksheet& sheet = m_book->sheet(0);

    const QJsonObject widths = got.value("widths").toObject();
    ASSERT_EQ(widths.size(), table_export::kColumnCount);
    for (int c = 0; c < table_export::kColumnCount; ++c)
        EXPECT_EQ(widths.value(QString::number(c)).toArray().at(0).toInt(), sheet.columnWidth(c)->Width) << c;
    // Frozen: one row above the split, no column; the rows below scroll from row 1; the
    // cursor in the lower pane.
    EXPECT_EQ(got.value("frozen").toArray(), (QJsonArray{1, 1, 0, 1, 0, 2}));
    EXPECT_EQ(got.value("heights").toObject().value(QStringLiteral("0")).toInt(), sheet.rowHeight(0)->Height);
    EXPECT_EQ(json.value("names").toArray(),
              (QJsonArray{QJsonArray{QStringLiteral("Print_Titles"), true, 0, QJsonArray{0, 0, 1, 0, 256}}}));

    // The headings: bold (weight 700), centred, wrapped; the values regular (400), general.
    const QJsonObject cells = got.value("cells").toObject();
    const QJsonArray xfs = json.value("xf_styles").toArray();
    const QJsonArray fonts = json.value("font_styles").toArray();
    struct Expected {
        const char* cell;
        int weight, horizontal, wrapped;
    };
    for (const Expected& e : {Expected{"0,0", 700, 2, 1}, Expected{"0,11", 700, 2, 1}, Expected{"1,0", 400, 0, 0},
                              Expected{"1,1", 400, 0, 0}, Expected{"2,10", 400, 0, 0}}) {
        SCOPED_TRACE(e.cell);
        const QJsonArray style = xfs.at(cells.value(QLatin1String(e.cell)).toArray().at(2).toInt()).toArray();
        EXPECT_EQ(fonts.at(style.at(0).toInt()).toArray().at(0).toInt(), e.weight);
        EXPECT_EQ(style.at(1).toInt(), e.horizontal);
        EXPECT_EQ(style.at(3).toInt(), e.wrapped);
    }
}

// The fonts LibreOffice prints with: those of the machine (Arial or a font made to the same
// widths, such as Liberation Sans, where one is installed), or a wider sans serif font in
// place of Arial, as on a machine that has none of them.
struct Fonts {
    const char* name;
    const char* onlyFolder; // nullptr: the machine's fonts
};

class ExportPrintTest : public ExportLayoutTest, public ::testing::WithParamInterface<Fonts> {};

TEST_P(ExportPrintTest, FortyTestsPrintOnFewLandscapePagesWithWholeHeadings)
{
    QString onlyFonts;
    if (GetParam().onlyFolder) {
        onlyFonts = QString::fromUtf8(GetParam().onlyFolder);
        if (!QFileInfo(onlyFonts).isDir())
            GTEST_SKIP() << "no font folder " << GetParam().onlyFolder;
    }
    const int tests = 40;
    const std::vector<Cells> rows = instrumentRows(tests);
    const QString file = exportRows(rows, QStringLiteral("сорок.xls"));
    const QString prefix = QString::fromUtf8(GetParam().name) + QLatin1Char('_');
    keep(file, prefix);
    const xls::test::PdfResult printed = xls::test::printWithLibreOffice(file, path(QString()), onlyFonts);
    if (!printed.skipReason.empty())
        GTEST_SKIP() << printed.skipReason;
    ASSERT_TRUE(printed.failure.empty()) << printed.failure;
    keep(printed.pdfPath, prefix);
    const std::vector<xls::test::PdfPage>& pages = *printed.pages;

    ASSERT_GE(pages.size(), 1u);
    EXPECT_LE(pages.size(), 4u) << "40 tests on " << pages.size() << " pages";
    for (std::size_t p = 0; p < pages.size(); ++p) {
        SCOPED_TRACE(testing::Message() << "page " << p + 1);
        EXPECT_GT(pages[p].width, pages[p].height) << "landscape";
        // The heading row is printed again at the top of every page.
        const std::multiset<QString> tokens = tokensOf(pages[p].text);
        for (const QString& word : headingWords())
            EXPECT_TRUE(tokens.count(word) > 0) << "heading word \"" << word.toStdString() << "\" is not whole";
    }
    // Every date and time of the first page stands whole, apart from its neighbours.
    const std::multiset<QString> first = tokensOf(pages[0].text);
    int dates = 0;
    for (const Cells& row : rows) {
        const QString date = std::get<QString>(row[1].second);
        const QString time = std::get<QString>(row[2].second);
        if (first.count(date) + first.count(time) > 0) {
            ++dates;
            EXPECT_GT(first.count(date), 0u) << date.toStdString();
            EXPECT_GT(first.count(time), 0u) << time.toStdString();
        }
    }
    EXPECT_GE(dates, 1) << "no test's date on the first page:\n" << pages[0].text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Fonts, ExportPrintTest,
                         ::testing::Values(Fonts{"installed", nullptr},
                                           Fonts{"dejavu_for_arial", "/usr/share/fonts/truetype/dejavu"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
