// The metafile player's bitmaps and raster operations: device-independent
// bitmaps (checked against their record), pattern brushes, PatBlt and the
// blits with their raster operations.
#include "metafile/metafileplayer.h"

#include "metafile/metafilerecords.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

QImage MetafilePlayer::ReadDib(const Params &params, int offset, int colourUsage) const
{
    const QByteArray dib = params.bytes(offset, params.size() - offset);
    if (dib.size() < 12)
        return QImage();
    const auto *data = reinterpret_cast<const uchar *>(dib.constData());
    const quint32 headerSize = qFromLittleEndian<quint32>(data);
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    quint32 compression = 0;
    quint32 coloursUsed = 0;
    int entrySize = 4;
    if (headerSize == 12) {
        width = qFromLittleEndian<quint16>(data + 4);
        height = qFromLittleEndian<quint16>(data + 6);
        bitCount = qFromLittleEndian<quint16>(data + 10);
        entrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 124 && dib.size() >= qint64(headerSize)) {
        width = qFromLittleEndian<qint32>(data + 4);
        height = qFromLittleEndian<qint32>(data + 8);
        bitCount = qFromLittleEndian<quint16>(data + 14);
        compression = qFromLittleEndian<quint32>(data + 16);
        coloursUsed = qFromLittleEndian<quint32>(data + 32);
    } else {
        return QImage();
    }
    const qint64 rows = std::abs(height);
    if (width <= 0 || rows == 0 || width > 32768 || rows > 32768 || width * rows > MaximumDibPixels)
        return QImage();
    if (compression == 4 || compression == 5) {
        // A JPEG or PNG picture stands where the pixels would be; only that
        // format is tried, and only at a size the header could stand for.
        QByteArray embedded = dib.mid(headerSize);
        QBuffer buffer(&embedded);
        QImageReader reader(&buffer, compression == 4 ? "JPEG" : "PNG");
        const QSize size = reader.size();
        if (!size.isValid() || qint64(size.width()) * size.height() > MaximumDibPixels)
            return QImage();
        QImage image;
        reader.read(&image);
        return image;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return QImage();
    qint64 entries = coloursUsed != 0 ? coloursUsed : (bitCount <= 8 ? (1 << bitCount) : 0);
    if (bitCount <= 8)
        entries = std::min<qint64>(entries, 1 << bitCount);
    else if (entries > 256)
        return QImage();
    const int masks = (headerSize == 40 && compression == 3) ? 12 : 0;

    // The colour table, as RGB quads; palette indices take the selected
    // palette's colours.
    QByteArray table;
    qint64 tableBytes = 0;
    if (colourUsage == 1) {
        tableBytes = entries * 2;
        if (headerSize + masks + tableBytes > dib.size())
            return QImage();
        for (qint64 i = 0; i < entries; ++i) {
            const int index = qFromLittleEndian<quint16>(data + headerSize + masks + i * 2);
            const QColor colour = index < static_cast<int>(m_state.palette.colours.size())
                                      ? m_state.palette.colours[static_cast<size_t>(index)]
                                      : QColor(index & 0xFF, index & 0xFF, index & 0xFF);
            table.append(char(colour.blue())).append(char(colour.green())).append(char(colour.red())).append('\0');
        }
    } else {
        tableBytes = entries * entrySize;
        if (headerSize + masks + tableBytes > dib.size())
            return QImage();
        table = dib.mid(headerSize + masks, tableBytes);
    }
    const qint64 pixelsAt = headerSize + masks + tableBytes;
    const QByteArray pixels = dib.mid(pixelsAt);
    if (compression == 0 || compression == 3) {
        const qint64 stride = ((width * bitCount + 31) / 32) * 4;
        if (stride * rows > pixels.size())
            return QImage();
    }

    QByteArray file("BM");
    const QByteArray header = dib.left(headerSize + masks);
    const qint32 dataOffset = static_cast<qint32>(14 + header.size() + table.size());
    const qint32 fileSize = static_cast<qint32>(dataOffset + pixels.size());
    char number[4];
    qToLittleEndian<qint32>(fileSize, number);
    file.append(number, 4);
    file.append(4, '\0');
    qToLittleEndian<qint32>(dataOffset, number);
    file.append(number, 4);
    file.append(header);
    file.append(table);
    file.append(pixels);
    QBuffer buffer(&file);
    QImageReader reader(&buffer, "BMP");
    QImage image;
    reader.read(&image);
    return image;
}

void MetafilePlayer::DrawDib(const QImage &image, const QRectF &source, const QRectF &target, quint32 rop)
{
    if (image.isNull() || target.width() == 0 || target.height() == 0)
        return;
    SetPainterState();
    QImage picture = image;
    if (rop == RopNotSrcCopy) {
        picture = picture.convertToFormat(QImage::Format_RGB32);
        picture.invertPixels();
    }
    switch (rop) {
    case RopSrcAnd: m_painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
    case RopSrcPaint: m_painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
    case RopSrcInvert: m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    default: m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver); break;
    }
    QRectF to = target;
    bool mirrorX = false;
    bool mirrorY = false;
    if (to.width() < 0) {
        to = QRectF(to.right(), to.top(), -to.width(), to.height());
        mirrorX = true;
    }
    if (to.height() < 0) {
        to = QRectF(to.left(), to.bottom(), to.width(), -to.height());
        mirrorY = true;
    }
    if (mirrorX || mirrorY)
        picture = picture.mirrored(mirrorX, mirrorY);
    const QRectF from = source.isValid() ? source.intersected(QRectF(picture.rect())) : QRectF(picture.rect());
    if (from.isEmpty())
        return;
    m_painter.drawImage(to, picture, from);
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MetafilePlayer::PatternBlit(const QRectF &target, quint32 rop)
{
    SetPainterState();
    switch (rop) {
    case RopBlackness: m_painter.fillRect(target, Qt::black); break;
    case RopWhiteness: m_painter.fillRect(target, Qt::white); break;
    case RopDstInvert:
        m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        m_painter.fillRect(target, Qt::white);
        break;
    case RopPatInvert:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        m_painter.fillRect(target, MakeBrush(m_state.brush));
        break;
    case RopPatCopy:
    default: m_painter.fillRect(target, MakeBrush(m_state.brush)); break;
    }
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

bool MetafilePlayer::PlayBitmapRecord(int function, const Params &p)
{
    switch (function) {
    case RecordDibCreatePatternBrush: {
        Brush brush;
        brush.style = 5;
        brush.pattern = p.has(4) ? ReadDib(p, 4, p.u16(2)) : QImage();
        CreateObject(brush);
        break;
    }
    case RecordCreatePatternBrush: {
        Brush brush;
        brush.style = 3;
        brush.colour = Qt::gray;
        CreateObject(brush);
        break;
    }
    case RecordPatBlt:
        if (p.has(12))
            PatternBlit(MapRect(p.s16(10), p.s16(8), p.s16(10) + p.s16(6), p.s16(8) + p.s16(4)), p.u32(0));
        break;
    case RecordDibBitBlt: {
        if (!p.has(16))
            break;
        const quint32 rop = p.u32(0);
        // Without a bitmap the record only paints with the brush.
        if (p.size() == 18) {
            PatternBlit(MapRect(p.s16(16), p.s16(14), p.s16(16) + p.s16(12), p.s16(14) + p.s16(10)), rop);
            break;
        }
        const QImage image = ReadDib(p, 16, 0);
        const int width = p.s16(10);
        const int height = p.s16(8);
        const QPointF at = Map(p.s16(14), p.s16(12));
        const QPointF far = Map(p.s16(14) + width, p.s16(12) + height);
        QRectF source(p.s16(6), p.s16(4), width, height);
        if (!image.isNull())
            source.moveTop(image.height() - source.top() - source.height());
        DrawDib(image, source, QRectF(at, far), rop);
        break;
    }
    case RecordDibStretchBlt:
    case RecordStretchDib: {
        const int shift = function == RecordStretchDib ? 2 : 0;
        if (!p.has(20 + shift))
            break;
        const quint32 rop = p.u32(0);
        const QImage image = ReadDib(p, 20 + shift, function == RecordStretchDib ? p.u16(4) : 0);
        const int sourceHeight = p.s16(4 + shift);
        const int sourceWidth = p.s16(6 + shift);
        QRectF source(p.s16(10 + shift), p.s16(8 + shift), sourceWidth, sourceHeight);
        if (!image.isNull())
            source.moveTop(image.height() - source.top() - source.height());
        const int destinationHeight = p.s16(12 + shift);
        const int destinationWidth = p.s16(14 + shift);
        const double y = p.s16(16 + shift);
        const double x = p.s16(18 + shift);
        DrawDib(image, source, QRectF(Map(x, y), Map(x + destinationWidth, y + destinationHeight)), rop);
        break;
    }
    case RecordSetDibToDev: {
        if (!p.has(18))
            break;
        const QImage image = ReadDib(p, 18, p.u16(0));
        const int height = p.s16(10);
        const int width = p.s16(12);
        const double y = p.s16(14);
        const double x = p.s16(16);
        DrawDib(image, QRectF(), QRectF(Map(x, y), Map(x + width, y + height)), RopSrcCopy);
        break;
    }
    
    default: return false;
    }
    return true;
}
