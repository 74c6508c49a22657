#include "reports/report_templates.h"

namespace reports {
namespace {

// What every template shares: the page margins, the title, the caption style and the
// "Стр. n из m" footer.
constexpr PageMargins kMargins{72, 25, 25, 25};
constexpr double kTitleHeight = 64;
constexpr double kCaptionHeight = 60;
constexpr double kFooterWidth = 202;
constexpr double kFooterHeight = 20;

struct Column {
    double left;
    double width;
    const char* caption;
    const char* field;
    ValueFormat format = ValueFormat::Plain;
    HAlign align = HAlign::Center;
};

ReportDesign baseDesign(const QString& name, bool landscape, const QString& instrument,
                        double titleWidth, double footerLeft)
{
    ReportDesign d;
    d.name = name;
    d.landscape = landscape;
    d.paper = landscape ? QSizeF(kA4LongSide, kA4ShortSide) : QSizeF(kA4ShortSide, kA4LongSide);
    d.margins = kMargins;

    ReportCell title;
    title.left = kMargins.left;
    title.width = titleWidth;
    title.height = kTitleHeight;
    title.font = {QStringLiteral("Arial"), 14, true};
    title.align = HAlign::Left;
    // The instrument word, two blanks, "№", a blank and the first row's serial number.
    title.pieces = {Piece::literal(instrument + QStringLiteral("  № ")), Piece::field(QStringLiteral("SERIAL"))};
    d.title.height = kTitleHeight;
    d.title.cells.push_back(title);

    ReportCell footer;
    footer.left = footerLeft;
    footer.width = kFooterWidth;
    footer.height = kFooterHeight;
    footer.font = {QStringLiteral("Arial"), 10, false};
    footer.align = HAlign::Right;
    footer.pieces = {Piece::literal(QStringLiteral("Стр. ")), Piece::pageNumber(),
                     Piece::literal(QStringLiteral(" из ")), Piece::pageCount()};
    d.pageFooter.height = kFooterHeight;
    d.pageFooter.cells.push_back(footer);

    d.pageHeader.height = kCaptionHeight;
    return d;
}

ReportCell boxed(double left, double top, double width, double height, CellFont font, HAlign align)
{
    ReportCell cell;
    cell.left = left;
    cell.top = top;
    cell.width = width;
    cell.height = height;
    cell.frame = true;
    cell.font = font;
    cell.align = align;
    return cell;
}

// A caption cell and a data cell for each column.
void addColumns(ReportDesign& d, std::initializer_list<Column> columns, double captionPoints,
                double rowHeight, double cellHeight)
{
    const CellFont caption{QStringLiteral("Arial"), captionPoints, true};
    const CellFont value{QStringLiteral("Arial"), 10, false};
    d.data.height = rowHeight;
    for (const Column& c : columns) {
        ReportCell head = boxed(c.left, 0, c.width, kCaptionHeight, caption, HAlign::Center);
        head.wrap = true;
        head.pieces = {Piece::literal(QString::fromUtf8(c.caption))};
        d.pageHeader.cells.push_back(head);

        ReportCell cell = boxed(c.left, 0, c.width, cellHeight, value, c.align);
        cell.pieces = {Piece::field(QString::fromLatin1(c.field), c.format)};
        d.data.cells.push_back(cell);
    }
}

} // namespace

std::shared_ptr<const ReportDesign> penetrometerDesign()
{
    ReportDesign d = baseDesign(QStringLiteral("Report1"), true, QStringLiteral("ВРТ-ТК5"), 295, 844);
    constexpr double kRowHeight = 95;
    constexpr double kCellHeight = 90;
    addColumns(d, {
        {71, 61, "N", "N"},
        {132, 80, "Дата", "DATE"},
        {212, 66, "Время", "TIME"},
        {353, 80, "Ср. усилие пенетрации, Н", "P", ValueFormat::Fixed2},
        {433, 97, "Сопротивление пенетрации, МПа", "R"},
        {530, 69, "Модуль упругости, МПа", "U"},
        {599, 73, "Коэфициент уплотнения", "P7"},
        {672, 69, "Индекс влажности", "H"},
        {741, 77, "Угол внутреннего трения, град", "P6"},
        {818, 73, "Удельное сцепление грунта, МПа", "S"},
        {890, 153, "Примечание", "COMMENT", ValueFormat::Plain, HAlign::Left},
    }, 8, kRowHeight, kCellHeight);

    // The five penetration forces stand one below the other in the fourth column.
    constexpr double kForceLeft = 278;
    constexpr double kForceWidth = 75;
    constexpr double kForceHeight = 18;
    ReportCell head = boxed(kForceLeft, 0, kForceWidth, kCaptionHeight,
                            {QStringLiteral("Arial"), 8, true}, HAlign::Center);
    head.wrap = true;
    head.pieces = {Piece::literal(QStringLiteral("Усилие пенетрации, Н"))};
    d.pageHeader.cells.insert(d.pageHeader.cells.begin() + 3, head);
    const char* forces[] = {"P1", "P2", "P3", "P4", "P5"};
    std::vector<ReportCell> forceCells;
    for (int i = 0; i < 5; ++i) {
        ReportCell cell = boxed(kForceLeft, i * kForceHeight, kForceWidth, kForceHeight,
                                {QStringLiteral("Arial"), 8, false}, HAlign::Center);
        cell.pieces = {Piece::field(QString::fromLatin1(forces[i]), ValueFormat::Fixed2)};
        forceCells.push_back(cell);
    }
    d.data.cells.insert(d.data.cells.begin() + 3, forceCells.begin(), forceCells.end());
    return std::make_shared<const ReportDesign>(std::move(d));
}

std::shared_ptr<const ReportDesign> plateTestDesign()
{
    ReportDesign d = baseDesign(QStringLiteral("Report3"), false, QStringLiteral("ДРУ-ТК5"), 295, 531);
    addColumns(d, {
        {72, 61, "N", "N"},
        {133, 80, "Дата", "DATE"},
        {213, 66, "Время", "TIME"},
        {279, 144, "P, кН", "P", ValueFormat::Fixed2},
        {423, 120, "Тип и размер пластины", "TYPE"},
        {543, 189, "Примечание", "COMMENT", ValueFormat::Plain, HAlign::Left},
    }, 12, 40, 40);
    return std::make_shared<const ReportDesign>(std::move(d));
}

std::shared_ptr<const ReportDesign> pressDesign()
{
    ReportDesign d = baseDesign(QStringLiteral("Report2"), false, QStringLiteral("ЛД-ТК5"), 333, 531);
    addColumns(d, {
        {72, 61, "N", "N"},
        {133, 80, "Дата", "DATE"},
        {213, 66, "Время", "TIME"},
        {279, 72, "P, Н", "P", ValueFormat::Decimal3},
        {351, 72, "R, МПа", "R", ValueFormat::Decimal3},
        {423, 72, "dН", "H", ValueFormat::Fixed2},
        {495, 104, "Вид испытаний", "T"},
        {599, 133, "Размер образца, мм", "COMMENT", ValueFormat::Plain, HAlign::Left},
    }, 12, 40, 40);
    return std::make_shared<const ReportDesign>(std::move(d));
}

} // namespace reports
