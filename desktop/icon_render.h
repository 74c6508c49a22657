#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace desktop {

// The picture of an SVG file on a transparent area of `size` pixels, or a null image when
// the file cannot be read as SVG.
QImage renderPicture(const QString& svgFile, QSize size);
// The same on a square of size × size pixels.
QImage renderIcon(const QString& svgFile, int size);

// A Windows icon file holding each image as PNG (the form Windows reads since Vista), the
// smallest first. Images larger than 256 pixels cannot stand in an icon: an empty result.
QByteArray icoFile(const QList<QImage>& images);

} // namespace desktop
