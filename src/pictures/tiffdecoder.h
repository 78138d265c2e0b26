#pragma once

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QSize>

#include <atomic>
#include <optional>

// TIFF pictures through libtiff: the first page, turned upright by its
// orientation. Every allocation libtiff makes is bounded (no single one
// over the decoding budget), and what a decode needs (the picture, and
// libtiff's buffer of one strip or tile per plane) is worked out from the
// header and reserved from the budget before a pixel is read; a file whose
// header claims more is refused. Samples of 1 to 16 bits are read, 12-bit
// scans of scanners and cameras among them: the usual kinds through
// libtiff's RGBA interface, grey and RGB of other depths by the program.
namespace TiffDecoder {

bool LooksLikeTiff(const QByteArray &head);

struct Decoded
{
    QImage image;
    // Natural size of the picture, upright.
    QSize natural;
    // The colours' space where the file carries an ICC profile.
    QColorSpace colourSpace;
};

// The file at a native path, opened as the descriptor given (the caller
// keeps it). nullopt when it cannot be decoded, needs more than the budget
// or the decode is cancelled.
std::optional<Decoded> Decode(int descriptor, const std::atomic<bool> *cancelled);

// The natural size, upright, from the first page's header.
std::optional<QSize> NaturalSize(int descriptor);

} // namespace TiffDecoder
