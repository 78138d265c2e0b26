#pragma once

#include "pictures/decodebudget.h"
#include "metafile/metafile.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// A decoded picture and its natural size in twips. Its image may be smaller
// than the natural size (decoded at a reduced scale for a small view, or to
// fit the decoding budget); it is drawn at the natural size all the same. A
// metafile or an SVG document keeps its description too (drawing), so that
// it can be drawn sharply at any size; its image is a rendering of bounded
// size.
struct Picture
{
    QImage image;
    double widthTwips = 0.0;
    double heightTwips = 0.0;
    std::shared_ptr<const Drawing> drawing;
    // The file it was read from (its native path), for a fuller decode later.
    QByteArray source;
    // The image has fewer pixels than the natural size.
    bool reduced = false;
    // The image is the small copy the file carries (a camera's EXIF copy, a
    // HEIF thumbnail), not a decode of the picture itself.
    bool fromEmbeddedCopy = false;
    // A camera's RAW file shown by the preview it embeds: the sensor's picture,
    // upright, when it has more pixels than the preview. Empty otherwise.
    QSize sensorPixels;
    // The file may hold several frames (a GIF, an animated WebP, an APNG, an
    // AVIF sequence); the image is its first.
    bool mayAnimate = false;
};

// The picture loader: JPEG through libjpeg-turbo (JpegDecoder), HEIF and
// AVIF through libheif (HeifDecoder), JPEG XL through libjxl (JpegXlDecoder),
// WebP through libwebp at the size wanted (WebpDecoder), bitmaps, icons,
// cursors, GIF and PNG (first frame) through Qt's readers, TIFF (first page) through
// libtiff (TiffDecoder), cameras' RAW files through LibRaw (RawDecoder), Windows metafiles through the program's own
// player and SVG through Qt SVG (SvgDrawing). Pictures whose file names a
// colour space come out in sRGB. Every decode is checked
// against the decoding budget from the header before a pixel is decoded; a
// file over it cannot be decoded. nullopt when the file cannot be read or
// decoded. Safe to call from any thread.
namespace PictureLoader {

struct Options
{
    // Turning true abandons the decode (its result is not wanted any more).
    const std::atomic<bool> *cancelled = nullptr;
    // A JPEG over the budget may give the small copy the camera stored.
    bool exifThumbnailAllowed = false;
};

// The picture at its natural size, or, where that needs more than the
// budget, at the largest reduced scale that fits.
std::optional<Picture> Load(const QByteArray &nativePath, const Options &options = Options());

// The size, in pixels, a picture of a natural size (twips) is wanted at.
using SizeWanted = std::function<QSize(double widthTwips, double heightTwips)>;

// Loads a picture for drawing at the size wanted: its natural size is the
// picture's own, but its image may be smaller, decoded straight at a reduced
// scale where the format allows it (JPEG). The screen's twips per pixel are
// given.
std::optional<Picture> LoadReduced(const QByteArray &nativePath, double twipsPerPixelX, double twipsPerPixelY,
                                   const SizeWanted &wanted, const Options &options = Options());

// The natural size of the picture (twips, upright), from its header where
// the format has one, without decoding it; nullopt when it cannot be told.
std::optional<QSizeF> NaturalSize(const QByteArray &nativePath, double twipsPerPixelX, double twipsPerPixelY);

// When the picture was taken, where its file says so (a camera's EXIF
// date), in seconds since 1970; nullopt otherwise.
std::optional<qint64> DateTaken(const QByteArray &nativePath);

// The readers of this build and the versions of their libraries, in one
// line: what a file that could not be read was tried with.
QString Readers();

// Largest picture Qt's readers are allowed to produce: the decoding budget.
constexpr int AllocationLimitMegabytes = static_cast<int>(DecodeBudget::Bytes / (1024 * 1024));
// Largest bitmap, icon or cursor file that the program's own readers take
// when Qt's refuse it.
constexpr qint64 FallbackLimitBytes = 64LL * 1024 * 1024;
// Largest HEIF, AVIF or JPEG XL file read (they are read whole).
constexpr qint64 WholeFileLimitBytes = 256LL * 1024 * 1024;
// Largest metafile read; larger ones are no clip art.
constexpr qint64 MetafileLimitBytes = 64LL * 1024 * 1024;
// The image kept with a metafile has at most this many pixels.
constexpr qint64 MetafileImagePixels = 1024LL * 1024;

} // namespace PictureLoader
