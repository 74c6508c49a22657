#include "reports/report_templates.h"

#include "document/column_catalogue.h"

namespace reports {
namespace {

// What every template shares: the page margins, the title, the caption style and the
// "Стр. n из m" footer.
constexpr PageMargins kMargins{72, 25, 25, 25};
constexpr double kTitleHeight = 64;
constexpr double kCaptionHeight = 60;
constexpr double kFooterWidth = 202;
constexpr double kFooterHeight = 20;

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

ValueFormat valueFormat(document::CellFormat format)
{
    switch (format) {
    case document::CellFormat::Fixed2:
        return ValueFormat::Fixed2;
    case document::CellFormat::Decimal3:
        return ValueFormat::Decimal3;
    default:
        return ValueFormat::Plain;
    }
}

// A caption cell and a data cell for each column of the set. A column's lines (the five
// forces) stand one below the other in its data cell, each `lineHeight` high, in the font of
// the captions but not bold.
void addColumns(ReportDesign& d, document::ColumnSet set, double captionPoints, double rowHeight,
                double cellHeight, double lineHeight = 0)
{
    const CellFont caption{QStringLiteral("Arial"), captionPoints, true};
    const CellFont value{QStringLiteral("Arial"), 10, false};
    const CellFont lineValue{QStringLiteral("Arial"), captionPoints, false};
    d.data.height = rowHeight;
    for (const document::CatalogueColumn& c : document::columns(set)) {
        const HAlign align = c.alignLeft ? HAlign::Left : HAlign::Center;
        if (c.line == 0) {
            ReportCell head = boxed(c.left, 0, c.width, kCaptionHeight, caption, HAlign::Center);
            head.wrap = true;
            head.pieces = {Piece::literal(QString::fromUtf8(c.caption))};
            d.pageHeader.cells.push_back(head);
        }
        if (*c.field == '\0')
            continue;
        ReportCell cell = c.line == 0 ? boxed(c.left, 0, c.width, cellHeight, value, align)
                                      : boxed(c.left, (c.line - 1) * lineHeight, c.width, lineHeight, lineValue, align);
        cell.pieces = {Piece::field(QString::fromLatin1(c.field), valueFormat(c.format))};
        d.data.cells.push_back(cell);
    }
}

} // namespace

std::shared_ptr<const ReportDesign> penetrometerDesign()
{
    ReportDesign d = baseDesign(QStringLiteral("Report1"), true, QStringLiteral("ВРТ-ТК5"), 295, 844);
    // The five penetration forces stand one below the other in the fourth column.
    addColumns(d, document::ColumnSet::PenetrometerReport, 8, 95, 90, 18);
    return std::make_shared<const ReportDesign>(std::move(d));
}

std::shared_ptr<const ReportDesign> plateTestDesign()
{
    ReportDesign d = baseDesign(QStringLiteral("Report3"), false, QStringLiteral("ДРУ-ТК5"), 295, 531);
    addColumns(d, document::ColumnSet::PlateTestReport, 12, 40, 40);
    return std::make_shared<const ReportDesign>(std::move(d));
}

std::shared_ptr<const ReportDesign> pressDesign()
{
    ReportDesign d = baseDesign(QStringLiteral("Report2"), false, QStringLiteral("ЛД-ТК5"), 333, 531);
    addColumns(d, document::ColumnSet::PressReport, 12, 40, 40);
    return std::make_shared<const ReportDesign>(std::move(d));
}

ReportKind reportFor(bool pressRows, int deviceType)
{
    if (pressRows)
        return ReportKind::Press;
    return deviceType == kPlateTestDevice ? ReportKind::PlateTest : ReportKind::Penetrometer;
}

std::shared_ptr<const ReportDesign> designOf(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Press:
        return pressDesign();
    case ReportKind::PlateTest:
        return plateTestDesign();
    case ReportKind::Penetrometer:
        break;
    }
    return penetrometerDesign();
}

std::shared_ptr<const ReportDesign> withSubtitle(std::shared_ptr<const ReportDesign> design, const QString& line)
{
    if (line.isEmpty() || !design)
        return design;
    // In the lower part of the title band, under the instrument's name, where the limits'
    // note goes otherwise; the band grows by a line, and that note goes under this one.
    constexpr double kLineHeight = 20;
    constexpr double kNoteHeight = 18;
    auto copy = std::make_shared<ReportDesign>(*design);
    ReportCell subtitle;
    subtitle.left = copy->margins.left;
    subtitle.top = copy->title.height - kNoteHeight;
    subtitle.width = copy->paper.width() - copy->margins.left - copy->margins.right;
    subtitle.height = kLineHeight;
    subtitle.font = {QStringLiteral("Arial"), 11, false};
    subtitle.align = HAlign::Left;
    subtitle.pieces = {Piece::literal(line)};
    copy->title.cells.push_back(subtitle);
    copy->title.height += kLineHeight;
    return copy;
}

} // namespace reports
