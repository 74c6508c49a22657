#include "reports/chart_page.h"

#include "views/chart_picture.h"

namespace reports {
namespace {

// Texts of 13 pixels at 96 to the inch: the 10 points of the report's rows.
constexpr int kPrintedFontPixels = 13;

class ChartPage : public PageDrawing {
public:
    explicit ChartPage(views::ChartSnapshot snapshot) : m_snapshot(std::move(snapshot)) {}

    void paint(QPainter& painter, const QRectF& area, const QSizeF& designSize) const override
    {
        views::ChartStyle style;
        style.fontPixels = kPrintedFontPixels;
        views::paintCharts(painter, area, designSize, m_snapshot, style);
    }

private:
    views::ChartSnapshot m_snapshot;
};

} // namespace

std::shared_ptr<const PageDrawing> chartPage(views::ChartSnapshot snapshot)
{
    return std::make_shared<ChartPage>(std::move(snapshot));
}

} // namespace reports
