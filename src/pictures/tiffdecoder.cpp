#include "pictures/tiffdecoder.h"

#include "pictures/decodebudget.h"

#include <QTransform>
#include <QtEndian>

#include <cstdarg>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

namespace TiffDecoder {

namespace {

// No single buffer libtiff allocates may be larger: a malformed file that
// claims gigabytes of strip is refused there.
constexpr tmsize_t MaximumSingleAllocation = 64LL * 1024 * 1024;

int Quiet(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct TiffClose
{
    void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};
using Tiff = std::unique_ptr<TIFF, TiffClose>;

Tiff Open(int descriptor)
{
    // libtiff closes the descriptor it reads: it gets a copy of its own,
    // and reads it (never maps it: a file on a share that goes away would
    // end the process).
    const int own = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    ::lseek(own, 0, SEEK_SET);
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (!options) {
        ::close(own);
        return nullptr;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, MaximumSingleAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF *tiff = TIFFFdOpenExt(own, "picture", "rm", options);
    TIFFOpenOptionsFree(options);
    if (!tiff)
        ::close(own);
    return Tiff(tiff);
}

struct Header
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples = 1;
    uint16_t bits = 1;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
};

std::optional<Header> ReadHeader(TIFF *tiff)
{
    Header header;
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &header.width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &header.height) ||
        header.width == 0 || header.height == 0 || header.width > (1u << 20) || header.height > (1u << 20))
        return std::nullopt;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &header.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &header.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &header.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &header.orientation);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &header.sampleFormat);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &header.photometric))
        header.photometric = header.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (header.samples == 0 || header.bits == 0 || header.bits > 16 || header.orientation < 1 || header.orientation > 8)
        return std::nullopt;
    return header;
}

QSize UprightSize(const Header &header)
{
    const QSize stored(int(header.width), int(header.height));
    return header.orientation >= 5 ? stored.transposed() : stored;
}

QImage Upright(const QImage &image, int orientation)
{
    const QTransform quarter = QTransform().rotate(90);
    switch (orientation) {
    case 2: return image.mirrored(true, false);
    case 3: return image.mirrored(true, true);
    case 4: return image.mirrored(false, true);
    case 5: return image.mirrored(false, true).transformed(quarter);
    case 6: return image.transformed(quarter);
    case 7: return image.mirrored(true, false).transformed(quarter);
    case 8: return image.transformed(QTransform().rotate(270));
    default: return image;
    }
}

// The picture as stored (row 0 the first stored row), through libtiff's
// RGBA interface, which reads every photometric of 1 to 16 bits per sample
// but no other depth.
std::optional<QImage> ReadRgba(TIFF *tiff, const Header &header)
{
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff, message))
        return std::nullopt;
    TIFFRGBAImage reader{};
    if (!TIFFRGBAImageBegin(&reader, tiff, 0, message))
        return std::nullopt;
    // As stored: the turning is done below, for every orientation alike.
    reader.req_orientation = reader.orientation;
    QImage image(int(header.width), int(header.height), QImage::Format_RGBA8888_Premultiplied);
    bool read = !image.isNull() &&
                TIFFRGBAImageGet(&reader, reinterpret_cast<uint32_t *>(image.bits()), header.width, header.height);
    TIFFRGBAImageEnd(&reader);
    if (!read)
        return std::nullopt;
    // Its words hold red in their lowest byte, which is the first in memory
    // only on a little-endian machine.
    if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN) {
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<uint32_t *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qbswap(line[x]);
        }
    }
    return image;
}

// Sample i of a row of samples of a depth: 8 and 16 bits as they are (16 in
// the machine's order, as libtiff gives them), others packed from the most
// significant bit.
uint32_t SampleAt(const uint8_t *row, qsizetype i, int bits)
{
    if (bits == 8)
        return row[i];
    if (bits == 16)
        return reinterpret_cast<const uint16_t *>(row)[i];
    const qsizetype first = i * bits;
    uint32_t value = 0;
    for (int b = 0; b < bits; ++b) {
        const qsizetype bit = first + b;
        value = (value << 1) | ((row[bit >> 3] >> (7 - (bit & 7))) & 1u);
    }
    return value;
}

// Grey and RGB pictures of the depths libtiff's RGBA interface does not
// take (10, 12 or 14 bits), stored in strips, read row by row.
std::optional<QImage> ReadSamples(TIFF *tiff, const Header &header, const std::atomic<bool> *cancelled)
{
    const bool grey = header.photometric == PHOTOMETRIC_MINISBLACK || header.photometric == PHOTOMETRIC_MINISWHITE;
    const bool rgb = header.photometric == PHOTOMETRIC_RGB && header.samples >= 3;
    if ((!grey && !rgb) || TIFFIsTiled(tiff) || header.sampleFormat != SAMPLEFORMAT_UINT)
        return std::nullopt;
    const tmsize_t lineBytes = TIFFScanlineSize(tiff);
    if (lineBytes <= 0 || lineBytes > MaximumSingleAllocation)
        return std::nullopt;
    std::vector<uint8_t> line(size_t(lineBytes) + 4, 0);
    QImage image(int(header.width), int(header.height), QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    image.fill(Qt::black);
    const uint32_t maximum = (1u << header.bits) - 1;
    const auto eight = [&](uint32_t value) { return int(std::min(value, maximum) * 255u / maximum); };
    const bool separate = header.planar == PLANARCONFIG_SEPARATE;
    const int channels = grey ? 1 : 3;
    // Separate planes are read one after another, each row by row.
    for (int plane = 0; plane < (separate ? channels : 1); ++plane) {
        for (uint32_t y = 0; y < header.height; ++y) {
            if (y % 64 == 0 && cancelled && cancelled->load())
                return std::nullopt;
            if (TIFFReadScanline(tiff, line.data(), y, uint16_t(plane)) < 0)
                return y > 0 ? std::optional<QImage>(image) : std::nullopt;
            auto *out = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
            for (uint32_t x = 0; x < header.width; ++x) {
                if (grey) {
                    int value = eight(SampleAt(line.data(), qsizetype(x) * (separate ? 1 : header.samples), header.bits));
                    if (header.photometric == PHOTOMETRIC_MINISWHITE)
                        value = 255 - value;
                    out[x] = qRgb(value, value, value);
                } else if (separate) {
                    const int value = eight(SampleAt(line.data(), x, header.bits));
                    const QRgb was = out[x];
                    out[x] = qRgb(plane == 0 ? value : qRed(was), plane == 1 ? value : qGreen(was),
                                  plane == 2 ? value : qBlue(was));
                } else {
                    const qsizetype at = qsizetype(x) * header.samples;
                    out[x] = qRgb(eight(SampleAt(line.data(), at, header.bits)), eight(SampleAt(line.data(), at + 1, header.bits)),
                                  eight(SampleAt(line.data(), at + 2, header.bits)));
                }
            }
        }
    }
    return image;
}

QColorSpace ColourSpaceOf(TIFF *tiff)
{
    uint32_t length = 0;
    void *profile = nullptr;
    if (!TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &profile) || !profile || length == 0 || length > 4 * 1024 * 1024)
        return QColorSpace();
    return QColorSpace::fromIccProfile(QByteArray(static_cast<const char *>(profile), qsizetype(length)));
}

} // namespace

bool LooksLikeTiff(const QByteArray &head)
{
    return head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4)) ||
           head.startsWith(QByteArray("II+\0", 4)) || head.startsWith(QByteArray("MM\0+", 4));
}

std::optional<QSize> NaturalSize(int descriptor)
{
    const Tiff tiff = Open(descriptor);
    const std::optional<Header> header = tiff ? ReadHeader(tiff.get()) : std::nullopt;
    if (!header)
        return std::nullopt;
    return UprightSize(*header);
}

std::optional<Decoded> Decode(int descriptor, const std::atomic<bool> *cancelled)
{
    const Tiff tiff = Open(descriptor);
    const std::optional<Header> header = tiff ? ReadHeader(tiff.get()) : std::nullopt;
    if (!header)
        return std::nullopt;
    // The picture (twice while it is turned), and libtiff's buffer of one
    // strip or tile of each plane, as the header gives them.
    const tmsize_t chunk = TIFFIsTiled(tiff.get()) ? TIFFTileSize(tiff.get()) : TIFFStripSize(tiff.get());
    if (chunk <= 0 || chunk > MaximumSingleAllocation)
        return std::nullopt;
    const qint64 planes = header->planar == PLANARCONFIG_SEPARATE ? header->samples : 1;
    const qint64 picture = qint64(header->width) * header->height * 4;
    const qint64 cost = picture * (header->orientation == 1 ? 1 : 2) + qint64(chunk) * planes * 2 + 1024 * 1024;
    if (cost > DecodeBudget::Bytes)
        return std::nullopt;
    std::optional<DecodeBudget::Reservation> reservation = DecodeBudget::Reserve(cost, cancelled);
    if (!reservation || (cancelled && cancelled->load()))
        return std::nullopt;
    const bool usual = header->bits == 1 || header->bits == 2 || header->bits == 4 || header->bits == 8 || header->bits == 16;
    std::optional<QImage> stored = usual ? ReadRgba(tiff.get(), *header) : std::nullopt;
    if (!stored)
        stored = ReadSamples(tiff.get(), *header, cancelled);
    if (!stored)
        return std::nullopt;
    Decoded decoded;
    decoded.image = Upright(*stored, header->orientation);
    decoded.natural = UprightSize(*header);
    decoded.colourSpace = ColourSpaceOf(tiff.get());
    return decoded;
}

} // namespace TiffDecoder
