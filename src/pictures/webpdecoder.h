#pragma once

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QSize>

#include <atomic>
#include <functional>
#include <optional>

// WebP pictures through libwebp: a still picture decoded straight at the
// size wanted (libwebp scales while it decodes), an animated one's first
// frame. The size comes from the header, and what decoding costs is
// reserved from the decoding budget before a pixel is decoded; a picture
// over the budget is refused.
namespace WebpDecoder {

bool LooksLikeWebp(const QByteArray &head);

struct Decoded
{
    QImage image;
    QSize natural;
    // The colours' space where the file carries a profile.
    QColorSpace colourSpace;
};

// The natural size from the header alone (the first few dozen bytes).
std::optional<QSize> NaturalSize(const QByteArray &head);

// atLeast: the size wanted for the natural size; no function for the natural size.
std::optional<Decoded> Decode(const QByteArray &bytes, const std::function<QSize(QSize natural)> &atLeast,
                              const std::atomic<bool> *cancelled);

} // namespace WebpDecoder
