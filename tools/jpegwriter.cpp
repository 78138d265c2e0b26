#include "jpegwriter.h"

#include <QFile>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace JpegWriter {

namespace {

void putU16(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

void putU32(QByteArray &out, quint32 value)
{
    putU16(out, int(value & 0xffff));
    putU16(out, int(value >> 16));
}

void putEntry(QByteArray &out, int tag, int type, quint32 count, quint32 value)
{
    putU16(out, tag);
    putU16(out, type);
    putU32(out, count);
    putU32(out, value);
}

// "Exif\0\0" and a little-endian TIFF block: IFD0 with the orientation and
// the pointer to the EXIF IFD of the date taken, IFD1 pointing at the
// thumbnail's JPEG bytes.
QByteArray exifBlock(int orientation, const QByteArray &thumbnail, const QByteArray &dateTaken)
{
    QByteArray tiff("II*\0", 4);
    putU32(tiff, 8);
    const int ifd0Entries = (orientation > 0 ? 1 : 0) + (dateTaken.isEmpty() ? 0 : 1);
    const quint32 exifIfd = 8 + 2 + 12 * ifd0Entries + 4;
    const quint32 exifSize = dateTaken.isEmpty() ? 0 : 2 + 12 + 4 + 20;
    const quint32 ifd1 = exifIfd + exifSize;
    putU16(tiff, ifd0Entries);
    if (orientation > 0)
        putEntry(tiff, 0x0112, 3, 1, quint32(orientation));
    if (!dateTaken.isEmpty())
        putEntry(tiff, 0x8769, 4, 1, exifIfd);
    putU32(tiff, thumbnail.isEmpty() ? 0 : ifd1);
    if (!dateTaken.isEmpty()) {
        putU16(tiff, 1);
        putEntry(tiff, 0x9003, 2, 20, exifIfd + 2 + 12 + 4);
        putU32(tiff, 0);
        tiff.append(dateTaken.left(19).leftJustified(19, ' '));
        tiff.append('\0');
    }
    if (!thumbnail.isEmpty()) {
        const quint32 data = ifd1 + 2 + 12 * 3 + 4;
        putU16(tiff, 3);
        putEntry(tiff, 0x0103, 3, 1, 6);
        putEntry(tiff, 0x0201, 4, 1, data);
        putEntry(tiff, 0x0202, 4, 1, quint32(thumbnail.size()));
        putU32(tiff, 0);
        tiff.append(thumbnail);
    }
    return QByteArray("Exif\0\0", 6) + tiff;
}

bool compress(jpeg_compress_struct &cinfo, int width, int height, const RowSource &rows, const Options &options)
{
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (options.orientation > 0 || !options.exifThumbnail.isNull() || !options.dateTaken.isEmpty()) {
        const QByteArray thumbnail = options.exifThumbnail.isNull() ? QByteArray() : encode(options.exifThumbnail);
        const QByteArray block = exifBlock(options.orientation, thumbnail, options.dateTaken);
        if (block.size() > 65533)
            return false;
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(block.constData()),
                          static_cast<unsigned int>(block.size()));
    }
    std::vector<uchar> row(static_cast<size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        rows(int(cinfo.next_scanline), row.data());
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

bool write(const QString &path, int width, int height, const RowSource &rows, const Options &options)
{
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    const bool written = compress(cinfo, width, height, rows, options);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0 && written;
}

QByteArray encode(const QImage &source, const Options &options)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    const bool written = compress(cinfo, image.width(), image.height(), [&](int y, uchar *rgb) {
        std::copy_n(image.constScanLine(y), image.width() * 3, rgb);
    }, options);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes = written ? QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(size)) : QByteArray();
    std::free(buffer);
    return bytes;
}

QByteArray withClaimedSize(const QByteArray &jpeg, int width, int height)
{
    for (qsizetype i = 2; i + 9 < jpeg.size();) {
        if (uchar(jpeg[i]) != 0xff)
            return QByteArray();
        const uchar marker = uchar(jpeg[i + 1]);
        const int length = (uchar(jpeg[i + 2]) << 8) | uchar(jpeg[i + 3]);
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) {
            QByteArray patched = jpeg;
            patched[i + 5] = char(height >> 8);
            patched[i + 6] = char(height & 0xff);
            patched[i + 7] = char(width >> 8);
            patched[i + 8] = char(width & 0xff);
            return patched;
        }
        i += 2 + length;
    }
    return QByteArray();
}

} // namespace JpegWriter
