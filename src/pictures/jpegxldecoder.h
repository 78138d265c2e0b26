#pragma once

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QSize>

#include <atomic>
#include <optional>

// JPEG XL pictures through libjxl: the first frame, turned upright by the
// file's orientation, in 8-bit RGBA. Its size and what decoding it costs
// are read from the header before a pixel is decoded; a picture over the
// decoding budget is refused.
namespace JpegXlDecoder {

// True when the bytes begin like a JPEG XL codestream or container.
bool LooksLikeJxl(const QByteArray &head);

struct Decoded
{
    QImage image;
    // Natural size of the picture, upright (the image's own).
    QSize natural;
    // The colours' space of the pixels (sRGB unless the file keeps its own profile).
    QColorSpace colourSpace;
};

// nullopt when the bytes cannot be decoded, need more than the budget, or
// the decode is cancelled.
std::optional<Decoded> Decode(const QByteArray &bytes, const std::atomic<bool> *cancelled);

// The natural size, upright, from the header at the start of the bytes.
std::optional<QSize> NaturalSize(const QByteArray &head);

// What decoding a picture of that size costs, in bytes.
qint64 Cost(QSize size);

} // namespace JpegXlDecoder
