// The three reports printed to PDF and read back by poppler: the title with its serial
// number, every caption in its box, the formatted values, the order of a sorted view, the
// captions on every page and the page footer.

#include "document/limits.h"
#include "reports/prepared_report.h"
#include "reports/report_data_set.h"
#include "reports/report_painter.h"
#include "reports/report_templates.h"

#include "report_test_support.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPageRanges>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>

namespace reports {
namespace {

using store::Field;
using store::test::StoreTest;
using test::pdfText;
using test::pdfTextIn;
using test::simplified;

class PdfTest : public StoreTest {
protected:
    void SetUp() override
    {
        if (!test::popplerAvailable())
            GTEST_SKIP() << "poppler-utils (pdftotext) not installed";
    }

    // Writes `rows`, opens the table on `kind` (optionally sorted) and prints `design`.
    QString render(const std::shared_ptr<const ReportDesign>& design, const std::vector<test::Cells>& rows,
                   int kind, std::optional<std::pair<Field, bool>> sort = std::nullopt,
                   const document::Limits& limits = {})
    {
        store::test::createTable(path("t.db"), rows);
        store::MeasurementTable table;
        table.open(path("t.db"));
        table.table().setFilter(store::kindFilter(kind));
        table.table().refresh();
        if (sort) {
            table.addSortTag(store::kTab1, sort->first, sort->second);
            table.table().setIndexName(store::kTab1);
        }
        ReportDataSet data(table.table());
        markTestsBelowLimits(data, table, limits);
        report = prepareReport(design, data);
        const QString pdf = path(design->name + QStringLiteral(".pdf"));
        EXPECT_NO_THROW(writePdfFile(report, pdf));
        // To look at the pages: KVEL_KEEP_PDF=<folder> keeps a copy of each report there.
        if (const QString keep = qEnvironmentVariable("KVEL_KEEP_PDF"); !keep.isEmpty()) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            const QString name = QString::fromLatin1(info->name()).replace(QLatin1Char('/'), QLatin1Char('_'));
            QFile::remove(keep + QLatin1Char('/') + name + QStringLiteral(".pdf"));
            QFile::copy(pdf, keep + QLatin1Char('/') + name + QStringLiteral(".pdf"));
        }
        return pdf;
    }

    // The text inside a cell of the design's band placed at `bandTop` on `page`.
    QString cellText(const QString& pdf, int page, const ReportCell& cell, double bandTop)
    {
        return simplified(pdfTextIn(pdf, page, cell.left, bandTop + cell.top, cell.width, cell.height));
    }

    PreparedReport report;
};

// Captions and the rows under them, with one value of each format.
struct TemplateCase {
    const char* name;
    std::shared_ptr<const ReportDesign> (*make)();
    int kind;
    const char* title;
    std::vector<const char*> captions;
    std::vector<std::pair<const char*, const char*>> values; // field → text in its data cell
};

const TemplateCase kTemplates[] = {
    {"Report1", penetrometerDesign, store::kPenetrometerKind, "ВРТ-ТК5 № 4321",
     {"N", "Дата", "Время", "Усилие пенетрации, Н", "Ср. усилие пенетрации, Н",
      "Сопротивление пенетрации, МПа", "Модуль упругости, МПа", "Коэфициент уплотнения",
      "Индекс влажности", "Угол внутреннего трения, град", "Удельное сцепление грунта, МПа",
      "Примечание"},
     {{"N", "1"}, {"DATE", "01.02.2024"}, {"P", "1234,50"}, {"R", "0,125"}, {"U", "12,5"},
      {"P7", "0,9"}, {"H", "3"}, {"P6", "27"}, {"S", "0,031"}, {"COMMENT", "суглинок"},
      {"P1", "1"}, {"P3", "3,25"}, {"P5", "1500"}}},
    {"Report3", plateTestDesign, store::kPenetrometerKind, "ДРУ-ТК5 № 4321",
     {"N", "Дата", "Время", "P, кН", "Тип и размер пластины", "Примечание"},
     {{"N", "1"}, {"P", "1234,50"}, {"TYPE", "D300"}, {"COMMENT", "суглинок"}}},
    {"Report2", pressDesign, store::kPressKind, "ЛД-ТК5 № 4321",
     {"N", "Дата", "Время", "P, Н", "R, МПа", "dН", "Вид испытаний", "Размер образца, мм"},
     {{"N", "1"}, {"P", "1234,5"}, {"R", "0,125"}, {"H", "3,00"}, {"T", "сжатие"},
      {"COMMENT", "50x50"}}},
};

class TemplatePdfTest : public PdfTest, public ::testing::WithParamInterface<TemplateCase> {};

TEST_P(TemplatePdfTest, TitleCaptionsAndValuesInTheirBoxes)
{
    const TemplateCase& c = GetParam();
    const test::Cells values = {
        {Field::P, 1234.5}, {Field::R, 0.125}, {Field::U, 12.5}, {Field::P7, 0.9}, {Field::H, 3.0},
        {Field::P6, 27.0}, {Field::S, 0.031}, {Field::COMMENT, QStringLiteral("суглинок")},
        {Field::TYPE, QStringLiteral("D300")}, {Field::T, QStringLiteral("сжатие")},
        {Field::P1, 1.0}, {Field::P3, 3.25}, {Field::P5, 1500.0},
    };
    test::Cells first = values;
    if (c.kind == store::kPressKind)
        std::erase_if(first, [](const auto& f) { return f.first == Field::COMMENT; }),
            first.push_back({Field::COMMENT, QStringLiteral("50x50")});
    const auto row = c.kind == store::kPressKind ? test::pressRow(1, 4321, QStringLiteral("01.02.2024"), first)
                                                 : test::penetrometerRow(1, 4321, QStringLiteral("01.02.2024"), first);
    // A second row with another serial number and empty fields: the title keeps the first's.
    const auto second = c.kind == store::kPressKind ? test::pressRow(2, 999, QStringLiteral("02.02.2024"))
                                                    : test::penetrometerRow(2, 999, QStringLiteral("02.02.2024"));
    const auto design = c.make();
    const QString pdf = render(design, {row, second}, c.kind);
    ASSERT_EQ(test::pdfPageCount(pdf), 1);

    const ReportDesign& d = *design;
    EXPECT_EQ(cellText(pdf, 1, d.title.cells[0], d.margins.top), QString::fromUtf8(c.title));
    const double headerTop = d.margins.top + d.title.height;
    ASSERT_EQ(d.pageHeader.cells.size(), c.captions.size());
    for (std::size_t i = 0; i < c.captions.size(); ++i)
        EXPECT_EQ(cellText(pdf, 1, d.pageHeader.cells[i], headerTop), QString::fromUtf8(c.captions[i]))
            << "caption " << i;

    const double rowTop = headerTop + d.pageHeader.height;
    const auto cellOf = [&](const char* field) -> const ReportCell* {
        for (const ReportCell& cell : d.data.cells)
            if (cell.pieces.size() == 1 && cell.pieces[0].text == QLatin1String(field))
                return &cell;
        return nullptr;
    };
    for (const auto& [field, text] : c.values) {
        const ReportCell* cell = cellOf(field);
        ASSERT_NE(cell, nullptr) << field;
        EXPECT_EQ(cellText(pdf, 1, *cell, rowTop), QString::fromUtf8(text)) << field;
    }
    // The second row's empty value fields print as empty cells.
    EXPECT_EQ(cellText(pdf, 1, *cellOf("P"), rowTop + d.data.height), QString());
    EXPECT_EQ(cellText(pdf, 1, *cellOf("N"), rowTop + d.data.height), QStringLiteral("2"));

    // The footer, right-aligned at the bottom of the page.
    const ReportCell& footer = d.pageFooter.cells[0];
    EXPECT_EQ(cellText(pdf, 1, footer, d.paper.height() - d.margins.bottom - footer.height),
              QStringLiteral("Стр. 1 из 1"));
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplatePdfTest, ::testing::ValuesIn(kTemplates),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PdfTest, ASortedViewPrintsInItsOrderAndTheTitleShowsItsTopRow)
{
    // Stored in date order with serial numbers that tell the rows apart; sorted by DATE
    // descending the last row stands first.
    std::vector<test::Cells> rows;
    const char* dates[] = {"05.01.2024", "28.12.2023", "11.03.2024", "01.02.2024"};
    for (int i = 0; i < 4; ++i)
        rows.push_back(test::penetrometerRow(i + 1, 100 + i, QString::fromLatin1(dates[i])));
    const QString pdf = render(penetrometerDesign(), rows, store::kPenetrometerKind,
                               std::make_pair(Field::DATE, true));
    const QString text = pdfText(pdf, 1);
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("ВРТ-ТК5\\s+№\\s+102\\b")))) << text.toStdString();
    const QStringList expected = {"11.03.2024", "01.02.2024", "05.01.2024", "28.12.2023"};
    qsizetype at = -1;
    for (const QString& date : expected) {
        const qsizetype next = text.indexOf(date);
        EXPECT_GT(next, at) << date.toStdString();
        at = next;
    }
}

TEST_F(PdfTest, LimitsAreNamedUnderTheTitleAndTheTestsBelowThemMarked)
{
    // K (P7) and E (U): row 1 below K, row 2 fine, row 3 below E, row 4 with nothing to judge.
    const std::vector<test::Cells> rows = {
        test::penetrometerRow(1, 7, QStringLiteral("01.03.2024"), {{Field::P7, 0.90}, {Field::U, 25.0}}),
        test::penetrometerRow(2, 7, QStringLiteral("02.03.2024"), {{Field::P7, 0.99}, {Field::U, 30.0}}),
        test::penetrometerRow(3, 7, QStringLiteral("03.03.2024"), {{Field::P7, 0.98}, {Field::U, 15.0}}),
        test::penetrometerRow(4, 7, QStringLiteral("04.03.2024")),
    };
    const QString pdf = render(penetrometerDesign(), rows, store::kPenetrometerKind, std::nullopt, {0.95, 20.0});
    const QString text = simplified(pdfText(pdf, 1));
    // In the program's number format, whatever the test machine's language.
    const QString note = QStringLiteral("Нормативы: K ≥ %1; E ≥ 20 МПа").arg(QLocale().toString(0.95));
    EXPECT_TRUE(text.contains(note)) << text.toStdString();

    // The N cells of rows 1 and 3 are marked, no other cell.
    std::vector<QString> marked;
    for (const PreparedCell& cell : report.pages.at(0).cells)
        if (cell.marked)
            marked.push_back(cell.text);
    EXPECT_EQ(marked, (std::vector<QString>{QStringLiteral("1"), QStringLiteral("3")}));

    // Painted: a red corner in a marked cell, none in the others.
    QImage page(report.design->paper.toSize(), QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        paintPage(painter, report, 0);
    }
    for (const PreparedCell& cell : report.pages.at(0).cells) {
        if (cell.cell->pieces.size() != 1 || cell.cell->pieces[0].text != QLatin1String("N"))
            continue;
        const QColor corner = page.pixelColor(cell.rect().topLeft().toPoint() + QPoint(2, 2));
        EXPECT_EQ(corner.red() > 150 && corner.green() < 80, cell.marked) << cell.text.toStdString();
    }

    // Without limits, neither note nor marks.
    const QString plain = render(penetrometerDesign(), rows, store::kPenetrometerKind);
    EXPECT_FALSE(pdfText(plain, 1).contains(QStringLiteral("Нормативы")));
    for (const PreparedCell& cell : report.pages.at(0).cells)
        EXPECT_FALSE(cell.marked);
}

TEST_F(PdfTest, TheSiteLineAndTheLimitsNoteStandApartUnderTheTitle)
{
    const std::vector<test::Cells> rows = {
        test::penetrometerRow(1, 7, QStringLiteral("01.03.2024"), {{Field::P7, 0.90}}),
        test::penetrometerRow(2, 7, QStringLiteral("02.03.2024"), {{Field::P7, 0.99}}),
    };
    const QString site = QStringLiteral("Объект: М-4 «Дон»; участок: 2; слой: песок");
    for (const std::shared_ptr<const ReportDesign>& base : {penetrometerDesign(), pressDesign(), plateTestDesign()}) {
        const QString pdf = render(withSubtitle(base, site), rows, store::kPenetrometerKind, std::nullopt, {0.95, {}});
        const QString text = simplified(pdfText(pdf, 1));
        EXPECT_TRUE(text.contains(site)) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Нормативы:"))) << text.toStdString();
        // The title's cells do not overlap: the instrument's name, the site, the note.
        std::vector<QRectF> title;
        for (const PreparedCell& cell : report.pages.at(0).cells)
            if (cell.text == site || cell.text.startsWith(QStringLiteral("Нормативы")))
                title.push_back(cell.rect());
        ASSERT_EQ(title.size(), 2u) << base->name.toStdString();
        EXPECT_FALSE(title[0].intersects(title[1])) << base->name.toStdString();
        // The first row still comes after the title band.
        const auto firstRow = std::find_if(report.pages.at(0).cells.begin(), report.pages.at(0).cells.end(),
                                           [](const PreparedCell& c) { return c.text == QLatin1String("1"); });
        ASSERT_NE(firstRow, report.pages.at(0).cells.end());
        EXPECT_GE(firstRow->rect().top(), title[1].bottom() - 0.5);
    }
    // No line, no change.
    const std::shared_ptr<const ReportDesign> plain = penetrometerDesign();
    EXPECT_EQ(withSubtitle(plain, QString()), plain);
}

TEST_F(PdfTest, ThreePagesRepeatTheCaptionsAndCountThePages)
{
    std::vector<test::Cells> rows;
    for (int i = 1; i <= 15; ++i) // six rows a page: 6 + 6 + 3
        rows.push_back(test::penetrometerRow(i, 7, QStringLiteral("01.02.2024"), {{Field::P, i * 1.5}}));
    const auto design = penetrometerDesign();
    const QString pdf = render(design, rows, store::kPenetrometerKind);
    ASSERT_EQ(test::pdfPageCount(pdf), 3);
    const ReportDesign& d = *design;
    const ReportCell& footer = d.pageFooter.cells[0];
    const double footerTop = d.paper.height() - d.margins.bottom - footer.height;
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        // Below the title on the first page, at the top margin after it.
        const double headerTop = d.margins.top + (page == 1 ? d.title.height : 0);
        for (const ReportCell& caption : d.pageHeader.cells)
            EXPECT_EQ(cellText(pdf, page, caption, headerTop), caption.pieces[0].text);
        EXPECT_EQ(cellText(pdf, page, footer, footerTop), QStringLiteral("Стр. %1 из 3").arg(page));
        // The title only once.
        EXPECT_EQ(pdfText(pdf, page).contains(QStringLiteral("ВРТ-ТК5")), page == 1);
    }
    // Page 2 carries rows 7 to 12, and its last line is the footer at the right.
    const QString second = pdfText(pdf, 2);
    EXPECT_TRUE(second.contains(QStringLiteral("10,50"))); // P of row 7
    EXPECT_FALSE(second.contains(QStringLiteral("9,00")));  // P of row 6
    const QStringList lines = second.trimmed().split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.last().trimmed() == QStringLiteral("Стр. 2 из 3")) << lines.last().toStdString();
    EXPECT_GT(lines.last().indexOf(QStringLiteral("Стр.")), 100) << "footer not at the right";
}

TEST_F(PdfTest, AnEmptyViewStillPrintsItsCaptions)
{
    const auto design = pressDesign();
    const QString pdf = render(design, {test::penetrometerRow(1, 5, QStringLiteral("01.01.2024"))},
                               store::kPressKind);
    ASSERT_EQ(test::pdfPageCount(pdf), 1);
    const ReportDesign& d = *design;
    EXPECT_EQ(cellText(pdf, 1, d.title.cells[0], d.margins.top), QStringLiteral("ЛД-ТК5 №"));
    for (const ReportCell& caption : d.pageHeader.cells)
        EXPECT_EQ(cellText(pdf, 1, caption, d.margins.top + d.title.height), caption.pieces[0].text);
    EXPECT_TRUE(simplified(pdfText(pdf)).endsWith(QStringLiteral("Стр. 1 из 1")));
}

// The pages a print dialog's choices send to the printer. A PDF printer makes no copies of
// its own, so the copies are the report's to repeat.
struct PrintChoice {
    const char* name;
    QPrinter::PrintRange range;
    const char* pages; // for a page range
    int copies;
    bool collate;
    std::vector<int> sent; // 0-based
};

const PrintChoice kPrintChoices[] = {
    {"all", QPrinter::AllPages, "", 1, true, {0, 1, 2}},
    {"range", QPrinter::PageRange, "2-3", 1, true, {1, 2}},
    {"list", QPrinter::PageRange, "1,3", 1, true, {0, 2}},
    {"beyond the end", QPrinter::PageRange, "3-9", 1, true, {2}},
    {"current", QPrinter::CurrentPage, "", 1, true, {1}},
    {"collated copies", QPrinter::AllPages, "", 2, true, {0, 1, 2, 0, 1, 2}},
    {"uncollated copies", QPrinter::AllPages, "", 2, false, {0, 0, 1, 1, 2, 2}},
    {"range twice", QPrinter::PageRange, "2", 2, true, {1, 1}},
};

class PrintChoiceTest : public ::testing::TestWithParam<PrintChoice> {};

TEST_P(PrintChoiceTest, PagesSent)
{
    const PrintChoice& c = GetParam();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    ASSERT_FALSE(printer.supportsMultipleCopies());
    printer.setPrintRange(c.range);
    if (c.range == QPrinter::PageRange)
        printer.setPageRanges(QPageRanges::fromString(QString::fromLatin1(c.pages)));
    printer.setCopyCount(c.copies);
    printer.setCollateCopies(c.collate);
    EXPECT_EQ(pagesToPrint(printer, 3, 1), c.sent);
}

INSTANTIATE_TEST_SUITE_P(Choices, PrintChoiceTest, ::testing::ValuesIn(kPrintChoices),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

} // namespace
} // namespace reports

int main(int argc, char** argv)
{
    // Fonts need a GUI application; the tests need no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The plain form follows the system's separator: make it a comma, as on a Russian system.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
