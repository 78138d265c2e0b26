#pragma once

#include <QImage>
#include <QString>

#include <optional>

// A decoded picture and its natural size in twips.
struct Picture
{
    QImage image;
    double widthTwips = 0.0;
    double heightTwips = 0.0;
};

// The picture loader: bitmaps, icons, cursors, JPEG and GIF (first frame)
// through Qt's readers, with an allocation limit so that a file that claims
// a huge size fails instead of exhausting memory. nullopt when the file
// cannot be read or decoded.
namespace PictureLoader {

std::optional<Picture> Load(const QString &nativePath);

// Largest picture, in pixels, that the loader decodes.
constexpr int AllocationLimitMegabytes = 256;

} // namespace PictureLoader
