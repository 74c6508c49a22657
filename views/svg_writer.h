#pragma once

// A paint device that writes what is painted on it as an SVG document: paths with their pen
// and brush, texts as text (so that the file can be searched and its words copied), images
// as embedded PNG. The charts' SVG files are painted by the same code as the screen, so they
// show exactly what the screen does.
//
// Clipping is not written: whatever is painted here draws inside its own area.

#include <QPaintDevice>
#include <QSize>
#include <QString>

#include <memory>

class QIODevice;

namespace views {

class SvgPaintEngine;

class SvgWriter : public QPaintDevice {
public:
    // A document of `size` pixels (its width, height and view box), 96 of them to the inch.
    SvgWriter(QIODevice& out, QSize size, const QString& title = {});
    ~SvgWriter() override;

    QPaintEngine* paintEngine() const override;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize m_size;
    std::unique_ptr<SvgPaintEngine> m_engine;
};

} // namespace views
