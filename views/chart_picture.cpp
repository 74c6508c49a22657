#include "views/chart_picture.h"

#include "views/chart_painter.h"
#include "views/svg_writer.h"

#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <cmath>

namespace views {
namespace {

const QString kPictureTitle = QStringLiteral("Графики испытаний");

// The two charts laid out at `size`, as the panel lays them out.
class ChartPair {
public:
    ChartPair(const QSizeF& size, const ChartSnapshot& snapshot, const ChartStyle& style) : m_size(size)
    {
        buildForcesChart(m_forces, snapshot.forces, style);
        buildTestsChart(m_tests, snapshot.tests, snapshot.selected, snapshot.current, style);
        if (chartsSideBySide(size)) {
            const double w = std::round(size.width() / 3);
            m_forcesArea = QRectF(0, 0, w, size.height());
            m_testsArea = QRectF(w, 0, size.width() - w, size.height());
        } else {
            const double h = std::round(size.height() * 2 / 5);
            m_forcesArea = QRectF(0, 0, size.width(), h);
            m_testsArea = QRectF(0, h, size.width(), size.height() - h);
        }
    }

    // Paints both into `target`, scaled from the size they were laid out at.
    void render(QPainter& painter, const QRectF& target) const
    {
        painter.save();
        painter.translate(target.topLeft());
        painter.scale(target.width() / m_size.width(), target.height() / m_size.height());
        ChartPainter(m_forces, m_forcesArea).paint(painter);
        ChartPainter(m_tests, m_testsArea).paint(painter);
        painter.restore();
    }

private:
    QSizeF m_size;
    Chart m_forces;
    Chart m_tests;
    QRectF m_forcesArea;
    QRectF m_testsArea;
};

// Runs `paint` on a painter over the device: false, with the reason in `error`, when the
// painter could not start or finish there.
template <typename Paint>
bool paintInto(QPaintDevice& device, Paint&& paint, QString& error)
{
    QPainter painter;
    if (!painter.begin(&device)) {
        error = QStringLiteral("не удалось начать рисунок");
        return false;
    }
    paint(painter);
    if (!painter.end()) {
        error = QStringLiteral("не удалось закончить рисунок");
        return false;
    }
    return true;
}

} // namespace

std::optional<ChartFileFormat> chartFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (ChartFileFormat format : {ChartFileFormat::Png, ChartFileFormat::Svg, ChartFileFormat::Pdf})
        if (suffix == chartSuffix(format))
            return format;
    return std::nullopt;
}

QString chartSuffix(ChartFileFormat format)
{
    switch (format) {
    case ChartFileFormat::Svg:
        return QStringLiteral("svg");
    case ChartFileFormat::Pdf:
        return QStringLiteral("pdf");
    case ChartFileFormat::Png:
        break;
    }
    return QStringLiteral("png");
}

bool chartsSideBySide(const QSizeF& area)
{
    return area.width() >= 1.6 * area.height();
}

void paintCharts(QPainter& painter, const QRectF& target, const QSizeF& layoutSize, const ChartSnapshot& snapshot,
                 const ChartStyle& style)
{
    if (target.isEmpty() || layoutSize.isEmpty())
        return;
    ChartPair charts(layoutSize, snapshot, style);
    charts.render(painter, target);
}

QString writeCharts(const QString& path, ChartFileFormat format, const ChartSnapshot& snapshot, QSize size,
                    const ChartStyle& style)
{
    if (size.isEmpty())
        return QStringLiteral("пустой размер рисунка");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    ChartPair charts(QSizeF(size), snapshot, style);
    QString error;
    bool painted = false;
    switch (format) {
    case ChartFileFormat::Png: {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        painted = paintInto(image, [&](QPainter& p) { charts.render(p, QRectF(image.rect())); }, error);
        if (painted && !image.save(&file, "PNG")) {
            painted = false;
            error = file.errorString();
        }
        break;
    }
    case ChartFileFormat::Svg: {
        SvgWriter svg(file, size, kPictureTitle);
        painted = paintInto(svg, [&](QPainter& p) { charts.render(p, QRectF(QPointF(0, 0), QSizeF(size))); }, error);
        break;
    }
    case ChartFileFormat::Pdf: {
        QPdfWriter pdf(&file);
        pdf.setTitle(kPictureTitle);
        pdf.setCreator(QStringLiteral("ВРТ-ТК5"));
        pdf.setResolution(300);
        // A page as big as the picture: 96 pixels to the inch, 72 points to the inch.
        pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        painted = paintInto(pdf, [&](QPainter& p) { charts.render(p, QRectF(0, 0, pdf.width(), pdf.height())); }, error);
        break;
    }
    }
    if (!painted) {
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace views
