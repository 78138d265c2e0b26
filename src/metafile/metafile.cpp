#include "metafile/metafile.h"

#include "metafile/metafileplayer.h"

#include <QPainter>
#include <QPicture>
#include <QtEndian>

#include <cmath>

namespace {

constexpr quint32 PlaceableKey = 0x9AC6CDD7;
constexpr int PlaceableHeaderSize = 22;
constexpr int MetaHeaderSize = 18;

bool IsMetaHeader(const uchar *data)
{
    const quint16 type = qFromLittleEndian<quint16>(data);
    const quint16 headerWords = qFromLittleEndian<quint16>(data + 2);
    const quint16 version = qFromLittleEndian<quint16>(data + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

// A plain metafile (no placeable header) says nothing of its size. Its
// window is read in twips, the unit of the programs that write such files,
// when that makes it at least an inch across; a smaller window, or the
// drawing's own extent when it sets none, is read in screen pixels.
constexpr double PlainUnitTwips = 1.0;
constexpr double PixelTwips = 15.0;
constexpr double InchTwips = 1440.0;

} // namespace

bool Metafile::LooksLikeMetafile(const QByteArray &head)
{
    const auto *data = reinterpret_cast<const uchar *>(head.constData());
    if (head.size() >= 4 && qFromLittleEndian<quint32>(data) == PlaceableKey)
        return true;
    return head.size() >= 6 && IsMetaHeader(data);
}

std::optional<Metafile> Metafile::Parse(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    Metafile metafile;
    int offset = 0;
    std::optional<QRectF> bounds;
    double twipsPerUnit = PlainUnitTwips;
    if (bytes.size() >= 4 && qFromLittleEndian<quint32>(data) == PlaceableKey) {
        if (bytes.size() < PlaceableHeaderSize + MetaHeaderSize)
            return std::nullopt;
        const qint16 left = qFromLittleEndian<qint16>(data + 6);
        const qint16 top = qFromLittleEndian<qint16>(data + 8);
        const qint16 right = qFromLittleEndian<qint16>(data + 10);
        const qint16 bottom = qFromLittleEndian<qint16>(data + 12);
        const quint16 unitsPerInch = qFromLittleEndian<quint16>(data + 14);
        if (unitsPerInch == 0)
            return std::nullopt;
        bounds = QRectF(QPointF(left, top), QPointF(right, bottom)).normalized();
        twipsPerUnit = 1440.0 / unitsPerInch;
        offset = PlaceableHeaderSize;
    }
    if (bytes.size() < offset + MetaHeaderSize || !IsMetaHeader(data + offset))
        return std::nullopt;
    const quint16 headerWords = qFromLittleEndian<quint16>(data + offset + 2);
    metafile.m_frame.objectCount = qFromLittleEndian<quint16>(data + offset + 10);
    metafile.m_recordsOffset = offset + headerWords * 2;
    if (MetafilePlayer::CountRecords(bytes, metafile.m_recordsOffset) == 0)
        return std::nullopt;

    if (!bounds) {
        bounds = MetafilePlayer::FirstWindow(bytes, metafile.m_recordsOffset);
        if (bounds && std::max(std::abs(bounds->width()), std::abs(bounds->height())) < InchTwips)
            twipsPerUnit = PixelTwips;
        if (!bounds) {
            // No window: the drawing's own extent, measured in pixels.
            QPicture measure;
            QPainter painter(&measure);
            const QRectF unit(0, 0, 1, 1);
            MetafilePlayer(bytes, metafile.m_recordsOffset, metafile.m_frame.objectCount, unit, unit, painter).Play();
            painter.end();
            bounds = QRectF(measure.boundingRect());
            twipsPerUnit = PixelTwips;
        }
    }
    metafile.m_frame.logical = *bounds;
    metafile.m_widthTwips = std::abs(bounds->width()) * twipsPerUnit;
    metafile.m_heightTwips = std::abs(bounds->height()) * twipsPerUnit;
    if (!(metafile.m_widthTwips >= 1.0 && metafile.m_heightTwips >= 1.0) ||
        metafile.m_widthTwips > MaximumSideTwips || metafile.m_heightTwips > MaximumSideTwips)
        return std::nullopt;
    metafile.m_bytes = std::make_shared<const QByteArray>(bytes);
    return metafile;
}

QImage Metafile::Render(const QSize &size, const QRect &part) const
{
    const QRect area = part.isNull() ? QRect(QPoint(0, 0), size) : part.intersected(QRect(QPoint(0, 0), size));
    if (size.isEmpty() || area.isEmpty() || qint64(area.width()) * area.height() > RasterLimitPixels)
        return QImage();
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    Play(painter, size, area);
    painter.end();
    return image;
}

void Metafile::Play(QPainter &painter, const QSize &size, const QRect &part) const
{
    if (!m_bytes)
        return;
    painter.setClipRect(QRect(QPoint(0, 0), part.size()));
    const QRectF target(-part.x(), -part.y(), size.width(), size.height());
    MetafilePlayer(*m_bytes, m_recordsOffset, m_frame.objectCount, m_frame.logical, target, painter).Play();
}
