#include "views/svg_writer.h"

#include <QBuffer>
#include <QImage>
#include <QIODevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QTextItem>
#include <QXmlStreamWriter>

#include <cmath>

namespace views {

class SvgPaintEngine : public QPaintEngine {
public:
    SvgPaintEngine(QIODevice& out, QSize size, QString title)
        : QPaintEngine(AllFeatures), m_out(out), m_size(size), m_title(std::move(title))
    {
    }

    bool begin(QPaintDevice*) override
    {
        m_xml.setDevice(&m_out);
        m_xml.setAutoFormatting(true);
        m_xml.writeStartDocument();
        m_xml.writeStartElement(QStringLiteral("svg"));
        m_xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
        m_xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
        m_xml.writeAttribute(QStringLiteral("width"), QString::number(m_size.width()));
        m_xml.writeAttribute(QStringLiteral("height"), QString::number(m_size.height()));
        m_xml.writeAttribute(QStringLiteral("viewBox"),
                             QStringLiteral("0 0 %1 %2").arg(m_size.width()).arg(m_size.height()));
        if (!m_title.isEmpty())
            m_xml.writeTextElement(QStringLiteral("title"), m_title);
        return !m_xml.hasError();
    }

    bool end() override
    {
        m_xml.writeEndElement();
        m_xml.writeEndDocument();
        return !m_xml.hasError();
    }

    Type type() const override { return User; }

    void updateState(const QPaintEngineState& state) override
    {
        if (state.state() & DirtyPen)
            m_pen = state.pen();
        if (state.state() & DirtyBrush)
            m_brush = state.brush();
        if (state.state() & DirtyTransform)
            m_transform = state.transform();
        if (state.state() & DirtyFont)
            m_font = state.font();
        if (state.state() & DirtyOpacity)
            m_opacity = state.opacity();
    }

    void drawPath(const QPainterPath& path) override
    {
        if (path.isEmpty())
            return;
        m_xml.writeStartElement(QStringLiteral("path"));
        writeTransform();
        m_xml.writeAttribute(QStringLiteral("d"), pathData(path));
        writeFill(path.fillRule());
        writeStroke();
        m_xml.writeEndElement();
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override
    {
        if (count <= 0)
            return;
        QPainterPath path(points[0]);
        for (int i = 1; i < count; ++i)
            path.lineTo(points[i]);
        if (mode == PolylineMode) {
            const QBrush brush = m_brush;
            m_brush = Qt::NoBrush;
            drawPath(path);
            m_brush = brush;
            return;
        }
        path.closeSubpath();
        path.setFillRule(mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
        drawPath(path);
    }

    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override
    {
        QPolygonF polygon;
        for (int i = 0; i < count; ++i)
            polygon << QPointF(points[i]);
        drawPolygon(polygon.constData(), count, mode);
    }

    void drawRects(const QRectF* rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            QPainterPath path;
            path.addRect(rects[i]);
            drawPath(path);
        }
    }

    void drawRects(const QRect* rects, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QRectF r(rects[i]);
            drawRects(&r, 1);
        }
    }

    void drawLines(const QLineF* lines, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QPointF ends[2] = {lines[i].p1(), lines[i].p2()};
            drawPolygon(ends, 2, PolylineMode);
        }
    }

    void drawLines(const QLine* lines, int count) override
    {
        for (int i = 0; i < count; ++i) {
            const QLineF line(lines[i]);
            drawLines(&line, 1);
        }
    }

    void drawEllipse(const QRectF& rect) override
    {
        QPainterPath path;
        path.addEllipse(rect);
        drawPath(path);
    }

    void drawEllipse(const QRect& rect) override { drawEllipse(QRectF(rect)); }

    void drawTextItem(const QPointF& at, const QTextItem& item) override
    {
        const QFont font = item.font();
        m_xml.writeStartElement(QStringLiteral("text"));
        writeTransform();
        m_xml.writeAttribute(QStringLiteral("x"), number(at.x()));
        m_xml.writeAttribute(QStringLiteral("y"), number(at.y()));
        m_xml.writeAttribute(QStringLiteral("font-family"), font.family());
        const double pixels = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96.0 / 72.0;
        m_xml.writeAttribute(QStringLiteral("font-size"), number(pixels));
        if (font.bold())
            m_xml.writeAttribute(QStringLiteral("font-weight"), QStringLiteral("bold"));
        if (font.italic())
            m_xml.writeAttribute(QStringLiteral("font-style"), QStringLiteral("italic"));
        m_xml.writeAttribute(QStringLiteral("fill"), m_pen.color().name());
        writeOpacity(QStringLiteral("fill-opacity"), m_pen.color());
        m_xml.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
        m_xml.writeCharacters(item.text());
        m_xml.writeEndElement();
    }

    void drawPixmap(const QRectF& target, const QPixmap& pixmap, const QRectF& source) override
    {
        drawImage(target, pixmap.toImage(), source, Qt::AutoColor);
    }

    void drawImage(const QRectF& target, const QImage& image, const QRectF& source,
                   Qt::ImageConversionFlags) override
    {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.copy(source.toAlignedRect()).save(&buffer, "PNG");
        m_xml.writeStartElement(QStringLiteral("image"));
        writeTransform();
        m_xml.writeAttribute(QStringLiteral("x"), number(target.x()));
        m_xml.writeAttribute(QStringLiteral("y"), number(target.y()));
        m_xml.writeAttribute(QStringLiteral("width"), number(target.width()));
        m_xml.writeAttribute(QStringLiteral("height"), number(target.height()));
        m_xml.writeAttribute(QStringLiteral("preserveAspectRatio"), QStringLiteral("none"));
        m_xml.writeAttribute(QStringLiteral("href"), QStringLiteral("data:image/png;base64,") +
                                                         QString::fromLatin1(png.toBase64()));
        m_xml.writeEndElement();
    }

private:
    static QString number(double value) { return QString::number(value, 'g', 8); }

    void writeTransform()
    {
        if (m_transform.isIdentity())
            return;
        const QTransform& t = m_transform;
        m_xml.writeAttribute(QStringLiteral("transform"), QStringLiteral("matrix(%1 %2 %3 %4 %5 %6)")
                                                              .arg(number(t.m11()), number(t.m12()), number(t.m21()),
                                                                   number(t.m22()), number(t.dx()), number(t.dy())));
    }

    void writeOpacity(const QString& attribute, const QColor& colour)
    {
        const double alpha = colour.alphaF() * m_opacity;
        if (alpha < 1)
            m_xml.writeAttribute(attribute, number(alpha));
    }

    void writeFill(Qt::FillRule rule)
    {
        if (m_brush.style() == Qt::NoBrush) {
            m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("none"));
            return;
        }
        // Patterns and gradients come out in their colour: nothing painted here uses them.
        m_xml.writeAttribute(QStringLiteral("fill"), m_brush.color().name());
        writeOpacity(QStringLiteral("fill-opacity"), m_brush.color());
        if (rule == Qt::OddEvenFill)
            m_xml.writeAttribute(QStringLiteral("fill-rule"), QStringLiteral("evenodd"));
    }

    void writeStroke()
    {
        if (m_pen.style() == Qt::NoPen || m_pen.brush().style() == Qt::NoBrush) {
            m_xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("none"));
            return;
        }
        m_xml.writeAttribute(QStringLiteral("stroke"), m_pen.color().name());
        writeOpacity(QStringLiteral("stroke-opacity"), m_pen.color());
        const double width = m_pen.widthF() > 0 ? m_pen.widthF() : 1;
        m_xml.writeAttribute(QStringLiteral("stroke-width"), number(width));
        if (m_pen.isCosmetic())
            m_xml.writeAttribute(QStringLiteral("vector-effect"), QStringLiteral("non-scaling-stroke"));
        switch (m_pen.capStyle()) {
        case Qt::FlatCap:
            break; // SVG's own default, "butt"
        case Qt::RoundCap:
            m_xml.writeAttribute(QStringLiteral("stroke-linecap"), QStringLiteral("round"));
            break;
        default:
            m_xml.writeAttribute(QStringLiteral("stroke-linecap"), QStringLiteral("square"));
            break;
        }
        switch (m_pen.joinStyle()) {
        case Qt::RoundJoin:
            m_xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("round"));
            break;
        case Qt::MiterJoin:
        case Qt::SvgMiterJoin:
            m_xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("miter"));
            break;
        default:
            m_xml.writeAttribute(QStringLiteral("stroke-linejoin"), QStringLiteral("bevel"));
            break;
        }
        if (m_pen.style() != Qt::SolidLine) {
            // Qt's dashes are in widths of the pen; SVG's in lengths.
            QStringList dashes;
            for (double d : m_pen.dashPattern())
                dashes << number(d * width);
            if (!dashes.isEmpty())
                m_xml.writeAttribute(QStringLiteral("stroke-dasharray"), dashes.join(QLatin1Char(',')));
        }
    }

    static QString pathData(const QPainterPath& path)
    {
        QString d;
        d.reserve(path.elementCount() * 16);
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            switch (e.type) {
            case QPainterPath::MoveToElement:
                d += QLatin1Char('M');
                break;
            case QPainterPath::LineToElement:
                d += QLatin1Char('L');
                break;
            case QPainterPath::CurveToElement:
                d += QLatin1Char('C');
                break;
            case QPainterPath::CurveToDataElement:
                break;
            }
            d += number(e.x) + QLatin1Char(',') + number(e.y) + QLatin1Char(' ');
        }
        return d.trimmed();
    }

    QIODevice& m_out;
    QSize m_size;
    QString m_title;
    QXmlStreamWriter m_xml;
    QPen m_pen;
    QBrush m_brush;
    QTransform m_transform;
    QFont m_font;
    double m_opacity = 1;
};

SvgWriter::SvgWriter(QIODevice& out, QSize size, const QString& title)
    : m_size(size), m_engine(std::make_unique<SvgPaintEngine>(out, size, title))
{
}

SvgWriter::~SvgWriter() = default;

QPaintEngine* SvgWriter::paintEngine() const
{
    return m_engine.get();
}

int SvgWriter::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_size.width();
    case PdmHeight:
        return m_size.height();
    case PdmWidthMM:
        return qRound(m_size.width() * 25.4 / 96);
    case PdmHeightMM:
        return qRound(m_size.height() * 25.4 / 96);
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return 96;
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(metric);
    }
}

} // namespace views
