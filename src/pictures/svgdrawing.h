#pragma once

#include "metafile/drawing.h"

#include <QByteArray>
#include <QSizeF>

#include <optional>

// An SVG document, drawn again at every size it is shown. What it is read
// from is checked first: the document must be well-formed XML whose entities
// expand within bounds (an entity bomb is refused), and every image it
// refers to outside itself is dropped, so that drawing it never reads
// another file nor asks the network.
class SvgDrawing : public Drawing
{
public:
    // nullopt when the bytes are no SVG document this program draws.
    static std::optional<SvgDrawing> Parse(const QByteArray &bytes);
    // True when the bytes begin like an SVG document.
    static bool LooksLikeSvg(const QByteArray &head);

    // Natural size in pixels (of 96 per inch): width and height, else the
    // view box, else 300 x 150 as a browser gives an image of no size.
    QSizeF naturalPixels() const { return m_natural; }

    QImage Render(const QSize &size, const QRect &part = QRect()) const override;

    // Largest document read.
    static constexpr qint64 LimitBytes = 16LL * 1024 * 1024;
    static constexpr qint64 RasterLimitPixels = 16LL * 1024 * 1024;

private:
    SvgDrawing() = default;

    QByteArray m_document;
    QSizeF m_natural;
};
