#pragma once

#include "platform/metafile.h"

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// A decoded picture and its natural size in twips. A metafile keeps its
// records too, so that it can be drawn sharply at any size; its image is a
// rendering of bounded size.
struct Picture
{
    QImage image;
    double widthTwips = 0.0;
    double heightTwips = 0.0;
    std::shared_ptr<const Metafile> metafile;
};

// The picture loader: bitmaps, icons, cursors, JPEG and GIF (first frame)
// through Qt's readers, with an allocation limit so that a file that claims
// a huge size fails instead of exhausting memory, and Windows metafiles
// through the program's own player. nullopt when the file cannot be read or
// decoded.
namespace PictureLoader {

std::optional<Picture> Load(const QString &nativePath);

// The size, in pixels, a picture of a natural size (twips) is wanted at.
using SizeWanted = std::function<QSize(double widthTwips, double heightTwips)>;

// Loads a picture for drawing at the size wanted: its natural size is the
// picture's own, but its image may be smaller, decoded straight at a reduced
// scale where the format allows it (JPEG). Safe to call from any thread:
// the screen's twips per pixel are given.
std::optional<Picture> LoadReduced(const QString &nativePath, double twipsPerPixelX, double twipsPerPixelY,
                                   const SizeWanted &wanted);

// Largest picture, in pixels, that the loader decodes.
constexpr int AllocationLimitMegabytes = 256;
// Largest bitmap, icon or cursor file that the program's own readers take
// when Qt's refuse it.
constexpr qint64 FallbackLimitBytes = 64LL * 1024 * 1024;
// Largest metafile read; larger ones are no clip art.
constexpr qint64 MetafileLimitBytes = 64LL * 1024 * 1024;
// The image kept with a metafile has at most this many pixels.
constexpr qint64 MetafileImagePixels = 1024LL * 1024;

} // namespace PictureLoader
