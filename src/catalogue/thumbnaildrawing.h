#pragma once

#include <QImage>
#include <QString>

// How a thumbnail is drawn, shared by the engine (which lays out its box in
// twips) and the workers (which draw it in device pixels).
namespace ThumbnailDrawing {

// The thumbnail of a picture of natural size W x H twips: unscaled up to
// 600 x 600, else scaled so that its longer side is 600.
// The longer side of a scaled thumbnail, in twips.
constexpr double LargestSide = 600.0;
struct ThumbnailSize
{
    double width;
    double height;
    bool scaled;
};
ThumbnailSize ThumbnailSizeFor(double width, double height);

// Colour-on-colour (fast) for names ending in JPG or BMP, halftone otherwise.
bool UsesColourOnColour(const QString &entry);

// Draws a picture at a thumbnail's pixel size with the mode for its name.
QImage DrawThumbnail(const QImage &picture, int width, int height, bool colourOnColour);

// The thumbnail as the catalogue keeps it: 16-bit colour (5-6-5), with an
// 8-bit alpha where it has transparency. A folder of 100,000 thumbnails
// then holds half the memory, and a cell drawn from it differs from the
// full-colour picture by a few levels at most.
QImage Compact(const QImage &thumbnail);

// A small copy of a picture (a kept thumbnail) has the picture's shape: its
// sides are the picture's scaled, to within a pixel.
bool SameShape(QSize copy, QSizeF natural);
// A copy is large enough to be drawn at the cell's pixel size.
bool LargeEnough(QSize copy, QSize cell);

} // namespace ThumbnailDrawing
