#pragma once

#include <QImage>
#include <QString>

namespace desktop {

// The picture of an SVG file on a transparent square of size × size pixels, or a null image
// when the file cannot be read as SVG.
QImage renderIcon(const QString& svgFile, int size);

} // namespace desktop
