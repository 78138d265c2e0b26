#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

// A picture kept as its description (a Windows metafile, an SVG document)
// and drawn again at whatever size it is shown, so that it stays sharp when
// zoomed. Safe to render from any thread.
class Drawing
{
public:
    virtual ~Drawing() = default;

    // The whole picture drawn into size pixels; with part, only that part
    // of it (pixels of the whole). An empty image when it cannot be drawn
    // at that size.
    virtual QImage Render(const QSize &size, const QRect &part = QRect()) const = 0;
};
