#include "desktop/icon_render.h"

#include <QBuffer>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

namespace desktop {

QImage renderPicture(const QString& svgFile, QSize size)
{
    QSvgRenderer renderer(svgFile);
    if (!renderer.isValid() || size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    // Stored PNGs carry straight alpha.
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage renderIcon(const QString& svgFile, int size)
{
    return renderPicture(svgFile, QSize(size, size));
}

QByteArray icoFile(const QList<QImage>& images)
{
    QList<QByteArray> pngs;
    for (const QImage& image : images) {
        if (image.isNull() || image.width() > 256 || image.height() > 256)
            return {};
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            return {};
        pngs << png;
    }
    if (pngs.isEmpty())
        return {};
    // ICONDIR, then one ICONDIRENTRY of 16 bytes per image, then the images; all little endian.
    const auto put16 = [](QByteArray& out, quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    const auto put32 = [](QByteArray& out, quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    QByteArray ico;
    put16(ico, 0);                   // reserved
    put16(ico, 1);                   // an icon, not a cursor
    put16(ico, quint16(pngs.size()));
    quint32 offset = 6 + 16 * quint32(pngs.size());
    for (qsizetype i = 0; i < pngs.size(); ++i) {
        const QImage& image = images[i];
        ico.append(char(image.width() == 256 ? 0 : image.width())); // 0 stands for 256
        ico.append(char(image.height() == 256 ? 0 : image.height()));
        ico.append(char(0)); // no palette
        ico.append(char(0)); // reserved
        put16(ico, 1);       // colour planes
        put16(ico, 32);      // bits per pixel
        put32(ico, quint32(pngs[i].size()));
        put32(ico, offset);
        offset += quint32(pngs[i].size());
    }
    for (const QByteArray& png : pngs)
        ico += png;
    return ico;
}

} // namespace desktop
