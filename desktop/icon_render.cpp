#include "desktop/icon_render.h"

#include <QPainter>
#include <QSvgRenderer>

namespace desktop {

QImage renderIcon(const QString& svgFile, int size)
{
    QSvgRenderer renderer(svgFile);
    if (!renderer.isValid() || size <= 0)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    // Stored PNGs carry straight alpha.
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace desktop
