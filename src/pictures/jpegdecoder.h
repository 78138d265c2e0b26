#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>

// JPEG pictures through libjpeg-turbo's own interface, so that what a decode
// costs is known from the header before a pixel is decoded: the header tells
// the size, the components and their sampling, and whether the file is
// progressive (a progressive file needs its whole coefficient array, however
// small it is drawn). A decode that would need more than the decoding budget
// is refused; one that fits reserves its memory from the budget first.
//
// Pictures come out upright by their EXIF orientation, and are decoded at
// the smallest DCT scale (1/8 to 8/8) that still gives the size asked for;
// at 1/8, of a progressive file only its first (DC) scans are read. What
// comes out is the picture as it is now: the small copy a camera stores in
// the EXIF block is never taken for it (tools that edit a photo keep that
// copy as it was), except for a picture no decode could afford at all.
// A file cut short gives what was there, the rest in the neutral grey that
// missing data decodes to.
namespace JpegDecoder {

bool LooksLikeJpeg(const QByteArray &head);

struct Request
{
    // Upright size wanted at least, in pixels, for the picture's upright
    // natural size; no function (or an empty size): the natural size, or the
    // largest reduced scale that fits the budget.
    std::function<QSize(QSize natural)> atLeast;
    // A picture too costly to decode at any scale may be stood in for by
    // the small copy the camera stored with it (EXIF thumbnail) when its
    // shape is the same.
    bool exifThumbnailAllowed = false;
    // Turning true stops the decode at the next rows.
    const std::atomic<bool> *cancelled = nullptr;
};

struct Decoded
{
    QImage image;
    // Natural size of the picture, upright.
    QSize natural;
    bool fromExifThumbnail = false;
    // The ICC profile the file carries (empty when none): its colours' space.
    QByteArray iccProfile;
};

struct Result
{
    // Empty when the picture could not be decoded.
    std::optional<Decoded> decoded;
    // It needs more than the whole budget (a file no decoder should try),
    // or the request was cancelled.
    bool overBudget = false;
    bool cancelled = false;
};

// The JPEG file at a native path (its bytes), or a JPEG held in memory.
Result DecodeFile(const QByteArray &nativePath, const Request &request);
Result DecodeBytes(const QByteArray &bytes, const Request &request);

// The natural size of the picture, upright, from its header alone.
std::optional<QSize> NaturalSize(const QByteArray &nativePath);
std::optional<QSize> NaturalSizeOfBytes(const QByteArray &bytes);

// When the camera took the photo (its EXIF date, read as UTC), in seconds
// since 1970; nullopt when the file names none.
std::optional<qint64> DateTaken(const QByteArray &nativePath);

// What decoding the file at scale/8 needs, in bytes (tests and the
// benchmark read it); nullopt when the header cannot be read.
std::optional<qint64> WorkingMemory(const QByteArray &nativePath, int scale);

} // namespace JpegDecoder
