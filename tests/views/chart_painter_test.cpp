// The charts' own drawing: the painter puts each series where its values say, in its colour,
// and the SVG writer turns what is painted into a well-formed document of the size asked,
// with texts as text (Cyrillic and markup characters intact) and shapes in their colours.

#include "views/chart.h"
#include "views/chart_painter.h"
#include "views/svg_writer.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>
#include <vector>

namespace views {
namespace {

// ---- the painter --------------------------------------------------------------------------

Chart testChart()
{
    Chart chart;
    chart.setTitle(QStringLiteral("Проба"));
    QFont font;
    font.setPixelSize(12);
    chart.setFont(font);
    ChartAxis& x = chart.axisX();
    x.title = QStringLiteral("Строка таблицы");
    x.min = 0.5;
    x.max = 10.5;
    for (int i = 1; i <= 10; ++i)
        x.ticks.push_back(i);
    x.format = 'f';
    x.precision = 0;
    ChartAxis& y = chart.axisY();
    y.min = 0;
    y.max = 10;
    y.ticks = {0, 2.5, 5, 7.5, 10};
    return chart;
}

struct PaintCase {
    const char* name;
    ChartSeriesKind kind;
    QList<QPointF> points;
    QPointF probe; // a value where the series must have painted its colour
};

TEST(ChartPainter, EachSeriesIsPaintedWhereItsValuesStandInItsColour)
{
    const QColor colour(220, 20, 200);
    const PaintCase cases[] = {
        {"a point", ChartSeriesKind::Points, {{3, 7}}, {3, 7}},
        {"a point at the plot's corner", ChartSeriesKind::Points, {{1, 0}}, {1, 0}},
        {"a line, between its points", ChartSeriesKind::Line, {{2, 2}, {8, 8}}, {5, 5}},
        {"a level, across the plot", ChartSeriesKind::Level, {{0.5, 4}, {10.5, 4}}, {9.7, 4}},
    };
    for (const PaintCase& c : cases) {
        SCOPED_TRACE(c.name);
        Chart chart = testChart();
        ChartSeries series;
        series.objectName = QStringLiteral("Probe");
        series.name = QStringLiteral("проба");
        series.kind = c.kind;
        series.pen = QPen(colour, 3);
        series.markerSize = 9;
        series.markerFill = colour;
        series.points = c.points;
        chart.addSeries(series);
        QImage image(640, 400, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::gray);
        const ChartPainter painter(chart, QRectF(image.rect()));
        {
            QPainter p(&image);
            painter.paint(p);
        }
        const QPoint at = painter.positionOf(c.probe).toPoint();
        ASSERT_TRUE(painter.plotArea().adjusted(-1, -1, 1, 1).contains(at)) << at.x() << "," << at.y();
        EXPECT_EQ(image.pixelColor(at), colour) << at.x() << "," << at.y();
        // Elsewhere on the plot the card is white, and round it the picture is as it was.
        // (Between the grid's lines.)
        const QPoint away = painter.positionOf({c.probe.x() < 5 ? 8.5 : 1.5, c.probe.y() < 5 ? 8.75 : 1.25}).toPoint();
        EXPECT_EQ(image.pixelColor(away), QColor(Qt::white));
        EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::gray));
        EXPECT_TRUE(painter.background().contains(painter.plotArea()));
    }
}

// A line of far more points than pixels is thinned before it is stroked: its highs and lows
// must stay, and nothing may be drawn past them.
TEST(ChartPainter, ALongLineKeepsItsExtremes)
{
    const QColor colour(31, 119, 180);
    Chart chart = testChart();
    ChartSeries series;
    series.kind = ChartSeriesKind::Line;
    series.pen = QPen(colour, 1.5);
    constexpr int kPoints = 6000;
    for (int i = 0; i < kPoints; ++i)
        series.points << QPointF(1 + 9.0 * i / kPoints, i % 2 ? 8 : 2);
    chart.addSeries(series);
    QImage image(640, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::gray);
    const ChartPainter painter(chart, QRectF(image.rect()));
    {
        QPainter p(&image);
        painter.paint(p);
    }
    for (double x : {2.0, 5.5, 9.0}) {
        SCOPED_TRACE(x);
        for (double y : {2.0, 5.0, 8.0})
            EXPECT_EQ(image.pixelColor(painter.positionOf({x, y}).toPoint()), colour) << y;
        // (Off the grid's lines.)
        for (double y : {1.0, 9.0})
            EXPECT_EQ(image.pixelColor(painter.positionOf({x + 0.3, y + 0.2}).toPoint()), QColor(Qt::white)) << y;
    }
}

TEST(ChartPainter, PositionsAndValuesAreInverse)
{
    const Chart chart = testChart();
    const ChartPainter painter(chart, QRectF(10, 20, 500, 300));
    const QRectF plot = painter.plotArea();
    EXPECT_EQ(painter.positionOf({0.5, 0}), plot.bottomLeft());
    EXPECT_EQ(painter.positionOf({10.5, 10}), plot.topRight());
    for (const QPointF value : {QPointF(1, 1), QPointF(4.25, 9.5), QPointF(10, 0.1)}) {
        const QPointF back = painter.valueAt(painter.positionOf(value));
        EXPECT_NEAR(back.x(), value.x(), 1e-9);
        EXPECT_NEAR(back.y(), value.y(), 1e-9);
    }
}

// A chart squeezed under the grid gives up its legend and its axes' titles before its plot.
TEST(ChartPainter, ASqueezedChartKeepsRoomForItsPlot)
{
    Chart chart = testChart();
    chart.axisY().title = QStringLiteral("F, Н");
    for (const char* name : {"Values", "Mean", "Minimum", "Maximum"}) {
        ChartSeries s;
        s.objectName = QString::fromLatin1(name);
        s.name = QStringLiteral("наиб. 1,5");
        chart.addSeries(s);
    }
    const double line = QFontMetricsF(chart.font()).height();
    for (const double height : {120.0, 160.0, 400.0}) {
        const ChartPainter painter(chart, QRectF(0, 0, 600, height));
        SCOPED_TRACE(height);
        EXPECT_GE(painter.plotArea().height(), 2 * line);
        EXPECT_TRUE(painter.background().contains(painter.plotArea()));
    }
}

TEST(ChartPainter, AxisLabelsUseTheLocalesSeparatorAndNoGrouping)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    ChartAxis values; // 'g', 4 digits
    values.min = -1;
    values.max = 20000;
    ChartAxis rows;
    rows.format = 'f';
    rows.precision = 0;
    rows.max = 20000;
    const std::vector<std::tuple<const ChartAxis*, double, const char*>> cases = {
        {&values, 1.5, "1,5"}, {&values, 1500, "1500"}, {&values, 0.0005, "0,0005"}, {&values, 1e-14, "0"}, {&values, -0.25, "-0,25"},
        {&rows, 13107, "13107"}, {&rows, 5, "5"},
    };
    for (const auto& [axis, value, text] : cases)
        EXPECT_EQ(axisLabelText(*axis, value), QString::fromUtf8(text)) << value;
    QLocale::setDefault(before);
}

// ---- the SVG writer -----------------------------------------------------------------------

struct SvgElement {
    QString name;
    std::map<QString, QString> attributes;
    QString text;
};

// The elements of a document in order; fails the test when it is not well-formed.
std::vector<SvgElement> parse(const QByteArray& bytes)
{
    std::vector<SvgElement> elements;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        SvgElement e{xml.name().toString(), {{QStringLiteral("namespace"), xml.namespaceUri().toString()}}, {}};
        for (const QXmlStreamAttribute& a : xml.attributes())
            e.attributes[a.qualifiedName().toString()] = a.value().toString();
        if (e.name == QLatin1String("text") || e.name == QLatin1String("title"))
            e.text = xml.readElementText();
        elements.push_back(e);
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
    return elements;
}

QByteArray written(QSize size, const QString& title, const std::function<void(QPainter&)>& paint)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    SvgWriter svg(buffer, size, title);
    QPainter painter;
    EXPECT_TRUE(painter.begin(&svg));
    paint(painter);
    EXPECT_TRUE(painter.end());
    return bytes;
}

TEST(SvgWriter, DocumentHasTheSizeAndViewBoxAsked)
{
    for (const QSize size : {QSize(900, 600), QSize(1, 1), QSize(4000, 250)}) {
        const QByteArray bytes = written(size, QStringLiteral("Графики испытаний"), [](QPainter&) {});
        ASSERT_TRUE(bytes.startsWith("<?xml"));
        const std::vector<SvgElement> elements = parse(bytes);
        ASSERT_GE(elements.size(), 2u);
        const SvgElement& svg = elements.front();
        EXPECT_EQ(svg.name, QStringLiteral("svg"));
        EXPECT_EQ(svg.attributes.at(QStringLiteral("namespace")), QStringLiteral("http://www.w3.org/2000/svg"));
        EXPECT_EQ(svg.attributes.at(QStringLiteral("width")), QString::number(size.width()));
        EXPECT_EQ(svg.attributes.at(QStringLiteral("height")), QString::number(size.height()));
        EXPECT_EQ(svg.attributes.at(QStringLiteral("viewBox")),
                  QStringLiteral("0 0 %1 %2").arg(size.width()).arg(size.height()));
        EXPECT_EQ(elements[1].name, QStringLiteral("title"));
        EXPECT_EQ(elements[1].text, QStringLiteral("Графики испытаний"));
    }
}

TEST(SvgWriter, TextKeepsCyrillicAndMarkupCharacters)
{
    const QString texts[] = {
        QStringLiteral("Усилия пенетрации, Н"),
        QStringLiteral("Fср < 5 & > 2 \"кавычки\" 'апостроф'"),
        QStringLiteral("</text><svg>"),
    };
    const QByteArray bytes = written(QSize(400, 200), {}, [&](QPainter& p) {
        QFont font;
        font.setPixelSize(13);
        p.setFont(font);
        p.setPen(QColor(0x40, 0x40, 0x44));
        int y = 30;
        for (const QString& t : texts) {
            p.drawText(QPointF(10, y), t);
            y += 40;
        }
    });
    QString read;
    for (const SvgElement& e : parse(bytes))
        if (e.name == QLatin1String("text")) {
            read += e.text;
            EXPECT_EQ(e.attributes.at(QStringLiteral("fill")), QStringLiteral("#404044"));
            EXPECT_EQ(e.attributes.at(QStringLiteral("font-size")), QStringLiteral("13"));
        }
    EXPECT_EQ(read, texts[0] + texts[1] + texts[2]);
    // Cyrillic as UTF-8, not as character references; markup escaped.
    EXPECT_TRUE(bytes.contains(QStringLiteral("пенетрации").toUtf8()));
    EXPECT_TRUE(bytes.contains("&lt;/text&gt;"));
    EXPECT_FALSE(bytes.contains("</text><svg>"));
}

TEST(SvgWriter, ShapesCarryTheirPenBrushAndTransform)
{
    const QByteArray bytes = written(QSize(300, 300), {}, [](QPainter& p) {
        p.fillRect(QRectF(0, 0, 300, 300), Qt::white);
        QPen dashed(QColor(44, 160, 44), 1.5, Qt::DashLine);
        p.setPen(dashed);
        p.drawLine(QPointF(10, 50), QPointF(290, 50));
        p.scale(2, 2);
        p.setPen(QPen(QColor(208, 16, 16), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(10, 10, 20, 20));
    });
    const std::vector<SvgElement> elements = parse(bytes);
    std::vector<const SvgElement*> paths;
    for (const SvgElement& e : elements)
        if (e.name == QLatin1String("path"))
            paths.push_back(&e);
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0]->attributes.at(QStringLiteral("fill")), QStringLiteral("#ffffff"));
    EXPECT_EQ(paths[0]->attributes.at(QStringLiteral("stroke")), QStringLiteral("none"));
    EXPECT_EQ(paths[1]->attributes.at(QStringLiteral("stroke")), QStringLiteral("#2ca02c"));
    EXPECT_EQ(paths[1]->attributes.at(QStringLiteral("stroke-width")), QStringLiteral("1.5"));
    EXPECT_EQ(paths[1]->attributes.at(QStringLiteral("stroke-dasharray")), QStringLiteral("6,3"));
    EXPECT_EQ(paths[1]->attributes.at(QStringLiteral("d")), QStringLiteral("M10,50 L290,50"));
    EXPECT_EQ(paths[2]->attributes.at(QStringLiteral("stroke")), QStringLiteral("#d01010"));
    EXPECT_EQ(paths[2]->attributes.at(QStringLiteral("fill")), QStringLiteral("none"));
    EXPECT_EQ(paths[2]->attributes.at(QStringLiteral("transform")), QStringLiteral("matrix(2 0 0 2 0 0)"));
}

} // namespace
} // namespace views
