#pragma once

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QSize>

#include <atomic>
#include <functional>
#include <optional>

// HEIF pictures (HEIC photos of phones) and AVIF pictures through libheif:
// the primary image, with the file's rotation, mirroring and crop applied.
// What decoding costs is worked out from the header before anything is
// decoded; a picture over the decoding budget is stood in for by a
// thumbnail the file carries when its shape is the same, else refused. A
// thumbnail of the same shape that is large enough for the size wanted
// serves instead of the picture. An animated AVIF, which libheif does not
// read, gives its first frame through libavif.
namespace HeifDecoder {

// True when the bytes begin with a file-type box of a HEIF or AVIF brand.
bool LooksLikeHeif(const QByteArray &head);

struct Decoded
{
    QImage image;
    // Natural size of the picture, as shown.
    QSize natural;
    // The colours' space where the file names one (an ICC profile, Display P3).
    QColorSpace colourSpace;
    bool fromThumbnail = false;
};

// atLeast: the size wanted for the natural size; no function for the picture
// itself. nullopt when the bytes cannot be decoded or need more than the budget.
std::optional<Decoded> Decode(const QByteArray &bytes, const std::function<QSize(QSize natural)> &atLeast,
                              const std::atomic<bool> *cancelled);

// The natural size of the primary picture, as shown, from the file's boxes
// alone; nullopt when libheif cannot tell.
std::optional<QSize> NaturalSize(const QByteArray &bytes);

// What decoding a picture of that size costs, in bytes.
qint64 Cost(QSize size);

} // namespace HeifDecoder
