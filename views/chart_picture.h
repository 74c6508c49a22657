#pragma once

// The two charts of the tests as a picture: painted into any painter (a page of the report,
// an image) or written into a PNG, SVG or PDF file. The charts are built afresh from a
// snapshot, whatever the panel on the screen shows or hides.

#include "views/chart_builder.h"
#include "views/chart_data.h"

#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

namespace views {

enum class ChartFileFormat { Png, Svg, Pdf };

// The format a file's extension names; nullopt for any other extension.
std::optional<ChartFileFormat> chartFormatOf(const QString& path);
// The extension of a format, without the dot.
QString chartSuffix(ChartFileFormat format);

// Whether the charts stand side by side (the forces on the left, a third of the width) in an
// area of this size; otherwise the forces stand above the tests, in two fifths of the height.
bool chartsSideBySide(const QSizeF& area);

// Paints both charts into `target` of the painter. They are laid out as on a screen of
// `layoutSize` pixels and scaled to the target, so that texts keep their proportion on a
// device of any resolution.
void paintCharts(QPainter& painter, const QRectF& target, const QSizeF& layoutSize, const ChartSnapshot& snapshot,
                 const ChartStyle& style = {});

// Writes both charts into a file of `size` pixels (a PDF page of that size at 96 pixels to
// the inch). The file is replaced only when the whole picture was written. Returns an empty
// text when it was, and why not otherwise.
QString writeCharts(const QString& path, ChartFileFormat format, const ChartSnapshot& snapshot, QSize size,
                    const ChartStyle& style = {});

} // namespace views
