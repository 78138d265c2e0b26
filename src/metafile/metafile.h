#pragma once

#include "metafile/drawing.h"

#include <QByteArray>
#include <QImage>
#include <QRect>

#include <memory>
#include <optional>

class QPainter;

// A Windows metafile (WMF), placeable ("Aldus" header) or plain: a vector
// picture that is drawn again at whatever size it is shown. Parse() checks
// the header and the record chain against the bytes that are really there;
// Render() plays the records onto a raster with antialiasing. Every length,
// count and index read from the file is checked before it is used, so a
// damaged file ends its playback early or loses single records, never more.
class Metafile : public Drawing
{
public:
    // nullopt when the bytes are no metafile, hold no record, or give a
    // natural size that is zero or absurd.
    static std::optional<Metafile> Parse(const QByteArray &bytes);
    // True when the bytes begin like a metafile (placeable key or header).
    static bool LooksLikeMetafile(const QByteArray &head);

    // Natural size in twips.
    double widthTwips() const { return m_widthTwips; }
    double heightTwips() const { return m_heightTwips; }

    // The whole picture drawn into size pixels; with part, only that part
    // of it (pixels of the whole). An empty image when the raster would be
    // larger than RasterLimitPixels.
    QImage Render(const QSize &size, const QRect &part = QRect()) const override;

    static constexpr qint64 RasterLimitPixels = 16LL * 1024 * 1024;
    // Sides beyond this (200 inches) are no picture anyone drew.
    static constexpr double MaximumSideTwips = 200.0 * 1440.0;

    // The record stream after the headers, and the logical frame that maps
    // onto the rendered raster.
    struct Frame
    {
        QRectF logical;
        int objectCount = 0;
    };

private:
    Metafile() = default;
    void Play(QPainter &painter, const QSize &size, const QRect &part) const;

    std::shared_ptr<const QByteArray> m_bytes;
    int m_recordsOffset = 0;
    Frame m_frame;
    double m_widthTwips = 0.0;
    double m_heightTwips = 0.0;

    friend class MetafilePlayer;
};
