#include "metafile/metafileplayer.h"

#include "metafile/metafilerecords.h"

#include <QPainter>

#include <algorithm>

MetafilePlayer::MetafilePlayer(const QByteArray &bytes, int recordsOffset, int objectCount, const QRectF &frame,
                               const QRectF &target, QPainter &painter)
    : m_bytes(bytes), m_offset(recordsOffset), m_frame(frame), m_target(target), m_painter(painter),
      m_objects(static_cast<size_t>(std::clamp(objectCount, 0, 65535)))
{
    m_base.translate(target.x(), target.y());
    m_base.scale(target.width() / frame.width(), target.height() / frame.height());
    m_base.translate(-frame.x(), -frame.y());
    m_state.windowOrigin = frame.topLeft();
    m_state.windowExtent = frame.size();
    m_state.viewportOrigin = frame.topLeft();
    m_state.viewportExtent = frame.size();
}

namespace {

// Walks the record chain: calls visit(function, params, size) for each
// record until the end record, a record that does not fit, or the budget.
template<typename Visit>
void WalkRecords(const QByteArray &bytes, int offset, Visit visit)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 total = bytes.size();
    qint64 position = offset;
    while (position + 6 <= total) {
        const quint32 words = qFromLittleEndian<quint32>(data + position);
        const int function = qFromLittleEndian<quint16>(data + position + 4);
        if (words < 3 || qint64(words) * 2 > total - position)
            return;
        if (function == 0)
            return;
        if (!visit(function, data + position + 6, static_cast<int>(qint64(words) * 2 - 6)))
            return;
        position += qint64(words) * 2;
    }
}

} // namespace

std::optional<QRectF> MetafilePlayer::FirstWindow(const QByteArray &bytes, int recordsOffset)
{
    std::optional<QPointF> origin;
    std::optional<QSizeF> extent;
    WalkRecords(bytes, recordsOffset, [&](int function, const uchar *data, int size) {
        const Params params(data, size);
        if (function == RecordSetWindowOrg && params.has(4) && !origin)
            origin = QPointF(params.s16(2), params.s16(0));
        else if (function == RecordSetWindowExt && params.has(4) && !extent)
            extent = QSizeF(params.s16(2), params.s16(0));
        return !(origin && extent);
    });
    if (!extent || extent->width() == 0 || extent->height() == 0)
        return std::nullopt;
    return QRectF(origin.value_or(QPointF()), *extent);
}

int MetafilePlayer::CountRecords(const QByteArray &bytes, int recordsOffset)
{
    int count = 0;
    WalkRecords(bytes, recordsOffset, [&](int, const uchar *, int) {
        ++count;
        return true;
    });
    return count;
}

void MetafilePlayer::Play()
{
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform);
    m_painter.setRenderHint(QPainter::TextAntialiasing);
    WalkRecords(m_bytes, m_offset, [this](int function, const uchar *data, int size) {
        PlayRecord(function, Params(data, size));
        return true;
    });
    m_painter.restore();
}

void MetafilePlayer::PlayRecord(int function, const Params &params)
{
    // Each family of records is played in its own file; unknown records
    // (escapes among them) are skipped by their size.
    PlayStateRecord(function, params) || PlayDrawingRecord(function, params) || PlayTextRecord(function, params) ||
        PlayBitmapRecord(function, params);
}
