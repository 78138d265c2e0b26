#include "pictures/bitmapfallback.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace BitmapFallback {

namespace {

constexpr int FileHeaderSize = 14;
constexpr int V4HeaderSize = 108;

// Reads and writes outside the bytes give 0 and do nothing.
quint32 Read32(const QByteArray &bytes, qsizetype at)
{
    if (at < 0 || at > bytes.size() - 4)
        return 0;
    uchar raw[4];
    std::memcpy(raw, bytes.constData() + at, sizeof raw);
    return qFromLittleEndian<quint32>(raw);
}

quint16 Read16(const QByteArray &bytes, qsizetype at)
{
    if (at < 0 || at > bytes.size() - 2)
        return 0;
    uchar raw[2];
    std::memcpy(raw, bytes.constData() + at, sizeof raw);
    return qFromLittleEndian<quint16>(raw);
}

void Write32(QByteArray &bytes, qsizetype at, quint32 value)
{
    if (at >= 0 && at <= bytes.size() - 4)
        qToLittleEndian<quint32>(value, reinterpret_cast<uchar *>(bytes.data()) + at);
}

std::optional<QImage> DecodeWithQt(QByteArray file, const char *format)
{
    QBuffer buffer(&file);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > MaximumPixels)
        return std::nullopt;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    return image;
}

// A bitmap file made of a device-independent bitmap whose header, colour
// table and pixels follow each other.
QByteArray BitmapFile(const QByteArray &header, const QByteArray &table, const QByteArray &pixels)
{
    QByteArray file(FileHeaderSize, '\0');
    file[0] = 'B';
    file[1] = 'M';
    Write32(file, 2, static_cast<quint32>(FileHeaderSize + header.size() + table.size() + pixels.size()));
    Write32(file, 10, static_cast<quint32>(FileHeaderSize + header.size() + table.size()));
    return file + header + table + pixels;
}

} // namespace

std::optional<QImage> ReadBmp(const QByteArray &file)
{
    if (file.size() < FileHeaderSize + 56 || !file.startsWith("BM"))
        return std::nullopt;
    const quint32 headerSize = Read32(file, FileHeaderSize);
    if (headerSize != 52 && headerSize != 56)
        return std::nullopt;
    const quint32 pixelsAt = Read32(file, 10);
    if (pixelsAt < FileHeaderSize + headerSize || pixelsAt > quint32(file.size()))
        return std::nullopt;
    // The 52- and 56-byte headers are the 40-byte header followed by the
    // colour masks: the start of the version 4 header, which Qt reads.
    QByteArray header = file.mid(FileHeaderSize, headerSize);
    Write32(header, 0, V4HeaderSize);
    header.append(QByteArray(V4HeaderSize - header.size(), '\0'));
    const QByteArray table = file.mid(FileHeaderSize + headerSize, pixelsAt - FileHeaderSize - headerSize);
    QByteArray pixels = file.mid(pixelsAt);
    const qint32 height = static_cast<qint32>(Read32(header, 8));
    const qint64 width = static_cast<qint32>(Read32(header, 4));
    const int bitCount = Read16(header, 14);
    const quint32 compression = Read32(header, 16);
    if (height < 0 && height != INT32_MIN && (compression == 0 || compression == 3) && width > 0 && bitCount > 0) {
        // Qt takes top-down rows only with some headers: turn them over.
        const qint64 rows = -qint64(height);
        const qint64 stride = ((width * bitCount + 31) / 32) * 4;
        if (stride * rows > pixels.size() || width * rows > MaximumPixels)
            return std::nullopt;
        QByteArray upright(stride * rows, '\0');
        for (qint64 row = 0; row < rows; ++row)
            std::memcpy(upright.data() + row * stride, pixels.constData() + (rows - 1 - row) * stride, stride);
        pixels = upright;
        Write32(header, 8, static_cast<quint32>(rows));
    }
    return DecodeWithQt(BitmapFile(header, table, pixels), "BMP");
}

std::optional<QImage> ReadIcon(const QByteArray &file)
{
    if (file.size() < 6 || Read16(file, 0) != 0 || (Read16(file, 2) != 1 && Read16(file, 2) != 2))
        return std::nullopt;
    const int count = Read16(file, 4);
    if (count == 0 || file.size() < 6 + qsizetype(count) * 16)
        return std::nullopt;
    std::optional<QImage> best;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + qsizetype(i) * 16;
        const quint32 offset = Read32(file, entry + 12);
        if (offset >= quint32(file.size()))
            continue;
        // Writers get the length wrong now and then; the bytes that are
        // there count.
        const quint32 available = quint32(file.size()) - offset;
        quint32 length = std::min(Read32(file, entry + 8), available);
        if (length < 40)
            length = available;
        const QByteArray data = file.mid(offset, length);
        std::optional<QImage> image;
        if (data.startsWith("\x89PNG"))
            image = DecodeWithQt(data, "PNG");
        else if (Read32(data, 0) == 40)
            image = [&]() -> std::optional<QImage> {
                const qint32 width = static_cast<qint32>(Read32(data, 4));
                const qint32 doubled = static_cast<qint32>(Read32(data, 8));
                const int bitCount = Read16(data, 14);
                const quint32 compression = Read32(data, 16);
                const int height = doubled / 2;
                if (width <= 0 || height <= 0 || qint64(width) * height > MaximumPixels || compression != 0)
                    return std::nullopt;
                if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
                    return std::nullopt;
                const quint32 used = Read32(data, 32);
                const qint64 entries = bitCount <= 8 ? (used != 0 && used < (1u << bitCount) ? used : (1 << bitCount)) : 0;
                const qint64 stride = ((qint64(width) * bitCount + 31) / 32) * 4;
                const qint64 maskStride = ((qint64(width) + 31) / 32) * 4;
                const qint64 tableAt = 40;
                const qint64 pixelsAt = tableAt + entries * 4;
                const qint64 maskAt = pixelsAt + stride * height;
                if (maskAt > data.size())
                    return std::nullopt;
                QByteArray header = data.left(40);
                Write32(header, 8, static_cast<quint32>(height));
                std::optional<QImage> colour =
                    DecodeWithQt(BitmapFile(header, data.mid(tableAt, entries * 4), data.mid(pixelsAt, stride * height)), "BMP");
                if (!colour)
                    return std::nullopt;
                QImage result = colour->convertToFormat(QImage::Format_ARGB32);
                if (result.size() != QSize(width, height))
                    return std::nullopt;
                const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
                bool hasAlpha = false;
                if (bitCount == 32) {
                    for (int y = 0; y < height && !hasAlpha; ++y)
                        for (int x = 0; x < width && !hasAlpha; ++x)
                            hasAlpha = bytes[pixelsAt + (height - 1 - y) * stride + x * 4 + 3] != 0;
                }
                for (int y = 0; y < height; ++y) {
                    auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
                    for (int x = 0; x < width; ++x) {
                        if (hasAlpha) {
                            const uchar alpha = bytes[pixelsAt + (height - 1 - y) * stride + x * 4 + 3];
                            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), alpha);
                        } else if (maskAt + maskStride * height <= data.size()) {
                            const uchar maskByte = bytes[maskAt + (height - 1 - y) * maskStride + x / 8];
                            if (maskByte & (0x80 >> (x % 8)))
                                line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), 0);
                        }
                    }
                }
                return result;
            }();
        if (image && (!best || qint64(image->width()) * image->height() > qint64(best->width()) * best->height()))
            best = image;
    }
    return best;
}

} // namespace BitmapFallback
