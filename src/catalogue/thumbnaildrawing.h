#pragma once

#include <QImage>
#include <QString>

// How a thumbnail is drawn, shared by the engine (which lays out its box in
// twips) and the workers (which draw it in device pixels).
namespace ThumbnailDrawing {

// The thumbnail of a picture of natural size W x H twips: unscaled up to
// side x side, else scaled so that its longer side is side (600 twips for
// the program's own cells, larger for the larger sizes people choose).
// The longer side of a scaled thumbnail at the first size, in twips.
constexpr double LargestSide = 600.0;
struct ThumbnailSize
{
    double width;
    double height;
    bool scaled;
};
ThumbnailSize ThumbnailSizeFor(double width, double height, double side = LargestSide);

// The screen a thumbnail is drawn for: twips per pixel, the screen's pixel
// density, and the longer side of the cells' thumbnails in twips.
struct Scale
{
    double perPixelX = 15.0;
    double perPixelY = 15.0;
    double ratio = 1.0;
    double side = LargestSide;
};
// The device pixels of the thumbnail of a picture of W x H twips: its
// twips rounded to pixels as the screen rounds them, times the density.
QSize PixelsOf(const Scale &scale, double width, double height);

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
