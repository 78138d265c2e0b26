#include "platform/metafileplayer.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QStringDecoder>
#include <QtEndian>

#include <cmath>
#include <numbers>

namespace {

// Record functions.
enum : int {
    RecordEof = 0x0000,
    RecordSaveDc = 0x001E,
    RecordRealizePalette = 0x0035,
    RecordCreatePalette = 0x00F7,
    RecordSetBkMode = 0x0102,
    RecordSetMapMode = 0x0103,
    RecordSetRop2 = 0x0104,
    RecordSetRelAbs = 0x0105,
    RecordSetPolyFillMode = 0x0106,
    RecordSetStretchBltMode = 0x0107,
    RecordSetTextCharExtra = 0x0108,
    RecordRestoreDc = 0x0127,
    RecordInvertRegion = 0x012A,
    RecordPaintRegion = 0x012B,
    RecordSelectClipRegion = 0x012C,
    RecordSelectObject = 0x012D,
    RecordSetTextAlign = 0x012E,
    RecordDibCreatePatternBrush = 0x0142,
    RecordDeleteObject = 0x01F0,
    RecordCreatePatternBrush = 0x01F9,
    RecordSetBkColor = 0x0201,
    RecordSetTextColor = 0x0209,
    RecordSetWindowOrg = 0x020B,
    RecordSetWindowExt = 0x020C,
    RecordSetViewportOrg = 0x020D,
    RecordSetViewportExt = 0x020E,
    RecordOffsetWindowOrg = 0x020F,
    RecordOffsetViewportOrg = 0x0211,
    RecordLineTo = 0x0213,
    RecordMoveTo = 0x0214,
    RecordOffsetClipRgn = 0x0220,
    RecordFillRegion = 0x0228,
    RecordSelectPalette = 0x0234,
    RecordCreatePenIndirect = 0x02FA,
    RecordCreateFontIndirect = 0x02FB,
    RecordCreateBrushIndirect = 0x02FC,
    RecordPolygon = 0x0324,
    RecordPolyline = 0x0325,
    RecordScaleWindowExt = 0x0410,
    RecordScaleViewportExt = 0x0412,
    RecordExcludeClipRect = 0x0415,
    RecordIntersectClipRect = 0x0416,
    RecordEllipse = 0x0418,
    RecordRectangle = 0x041B,
    RecordPatBlt = 0x061D,
    RecordSetPixel = 0x041F,
    RecordFrameRegion = 0x0429,
    RecordTextOut = 0x0521,
    RecordPolyPolygon = 0x0538,
    RecordRoundRect = 0x061C,
    RecordCreateRegion = 0x06FF,
    RecordArc = 0x0817,
    RecordPie = 0x081A,
    RecordChord = 0x0830,
    RecordExtTextOut = 0x0A32,
    RecordSetDibToDev = 0x0D33,
    RecordDibBitBlt = 0x0940,
    RecordDibStretchBlt = 0x0B41,
    RecordStretchDib = 0x0F43,
};

// Raster operations of the blit records.
constexpr quint32 RopSrcCopy = 0x00CC0020;
constexpr quint32 RopSrcAnd = 0x008800C6;
constexpr quint32 RopSrcPaint = 0x00EE0086;
constexpr quint32 RopSrcInvert = 0x00660046;
constexpr quint32 RopNotSrcCopy = 0x00330008;
constexpr quint32 RopPatCopy = 0x00F00021;
constexpr quint32 RopPatInvert = 0x005A0049;
constexpr quint32 RopDstInvert = 0x00550009;
constexpr quint32 RopBlackness = 0x00000042;
constexpr quint32 RopWhiteness = 0x00FF0062;

// Text drawn at this pixel size and scaled, so that any height works.
constexpr double NominalFontPixels = 64.0;

QColor ColourRef(quint32 value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }

} // namespace

// The parameters of one record: reads that fall outside them give 0 and
// mark the record as short, so that a handler can drop it.
class MetafilePlayer::Params
{
public:
    Params(const uchar *data, int size) : m_data(data), m_size(size) {}
    int size() const { return m_size; }
    bool has(int bytes) const { return bytes >= 0 && bytes <= m_size; }
    qint16 s16(int offset) const
    {
        return has(offset + 2) ? qFromLittleEndian<qint16>(m_data + offset) : qint16(0);
    }
    quint16 u16(int offset) const { return static_cast<quint16>(s16(offset)); }
    quint32 u32(int offset) const
    {
        return has(offset + 4) ? qFromLittleEndian<quint32>(m_data + offset) : 0u;
    }
    quint8 u8(int offset) const { return has(offset + 1) ? m_data[offset] : 0; }
    QByteArray bytes(int offset, int count) const
    {
        if (count <= 0 || offset < 0 || !has(offset) || count > m_size - offset)
            return QByteArray();
        return QByteArray(reinterpret_cast<const char *>(m_data + offset), count);
    }

private:
    const uchar *m_data;
    int m_size;
};

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

QTransform MetafilePlayer::Mapping() const
{
    const State &s = m_state;
    double scaleX = s.viewportExtent.width() / s.windowExtent.width();
    double scaleY = s.viewportExtent.height() / s.windowExtent.height();
    if (s.mapMode == 7) {
        // Isotropic: one unit is as long across as down.
        const double common = std::min(std::abs(scaleX), std::abs(scaleY));
        scaleX = std::copysign(common, scaleX);
        scaleY = std::copysign(common, scaleY);
    }
    QTransform logical;
    logical.translate(s.viewportOrigin.x(), s.viewportOrigin.y());
    logical.scale(scaleX, scaleY);
    logical.translate(-s.windowOrigin.x(), -s.windowOrigin.y());
    return logical * m_base;
}

QPointF MetafilePlayer::Map(double x, double y) const { return Mapping().map(QPointF(x, y)); }

QRectF MetafilePlayer::MapRect(double left, double top, double right, double bottom) const
{
    return QRectF(Map(left, top), Map(right, bottom)).normalized();
}

double MetafilePlayer::MapWidth(double logical) const
{
    const QTransform t = Mapping();
    return std::abs(logical * t.m11());
}

double MetafilePlayer::MapHeight(double logical) const
{
    const QTransform t = Mapping();
    return std::abs(logical * t.m22());
}

QPen MetafilePlayer::MakePen() const
{
    const Pen &pen = m_state.pen;
    const int style = pen.style & 0x0F;
    if (style == 5)
        return Qt::NoPen;
    const double limit = 4.0 * std::max(m_target.width(), m_target.height());
    QPen result(pen.colour, std::clamp(MapWidth(pen.width), 1.0, std::max(1.0, limit)));
    switch (style) {
    case 1: result.setStyle(Qt::DashLine); break;
    case 2: result.setStyle(Qt::DotLine); break;
    case 3: result.setStyle(Qt::DashDotLine); break;
    case 4: result.setStyle(Qt::DashDotDotLine); break;
    default: result.setStyle(Qt::SolidLine); break;
    }
    switch (pen.style & 0x0F00) {
    case 0x0100: result.setCapStyle(Qt::SquareCap); break;
    case 0x0200: result.setCapStyle(Qt::FlatCap); break;
    default: result.setCapStyle(Qt::RoundCap); break;
    }
    switch (pen.style & 0xF000) {
    case 0x1000: result.setJoinStyle(Qt::BevelJoin); break;
    case 0x2000: result.setJoinStyle(Qt::MiterJoin); break;
    default: result.setJoinStyle(Qt::RoundJoin); break;
    }
    return result;
}

QBrush MetafilePlayer::MakeBrush(const Brush &brush) const
{
    switch (brush.style) {
    case 1: return Qt::NoBrush;
    case 2: {
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(brush.colour, brush.hatch >= 0 && brush.hatch < 6 ? hatches[brush.hatch] : Qt::SolidPattern);
    }
    case 3:
    case 5:
    case 6:
        if (!brush.pattern.isNull())
            return QBrush(brush.pattern);
        return QBrush(brush.colour);
    default: return QBrush(brush.colour);
    }
}

void MetafilePlayer::ApplyRop2()
{
    switch (m_state.rop2) {
    case 7: m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    case 9: m_painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
    case 15: m_painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
    case 6: m_painter.setCompositionMode(QPainter::RasterOp_NotDestination); break;
    default: m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver); break;
    }
}

void MetafilePlayer::SetPainterState()
{
    if (m_state.clip)
        m_painter.setClipRegion(*m_state.clip);
    else
        m_painter.setClipping(false);
    ApplyRop2();
}

void MetafilePlayer::FillAndStroke(const QPainterPath &path, bool fill)
{
    if (m_state.rop2 == 11)
        return;
    SetPainterState();
    if (fill) {
        const Brush &brush = m_state.brush;
        if (brush.style == 2 && m_state.backgroundMode == 2)
            m_painter.fillPath(path, m_state.backgroundColour);
        QBrush made = MakeBrush(brush);
        if (m_state.rop2 == 1)
            made = QBrush(Qt::black);
        else if (m_state.rop2 == 16)
            made = QBrush(Qt::white);
        m_painter.fillPath(path, made);
    }
    StrokeOnly(path);
}

void MetafilePlayer::StrokeOnly(const QPainterPath &path)
{
    if (m_state.rop2 == 11)
        return;
    SetPainterState();
    QPen pen = MakePen();
    if (pen.style() == Qt::NoPen)
        return;
    if (m_state.rop2 == 1)
        pen.setColor(Qt::black);
    else if (m_state.rop2 == 16)
        pen.setColor(Qt::white);
    m_painter.strokePath(path, pen);
}

std::vector<QPointF> MetafilePlayer::ReadPoints(const Params &params, int offset, int count) const
{
    std::vector<QPointF> points;
    if (count <= 0 || !params.has(offset + count * 4))
        return points;
    const QTransform mapping = Mapping();
    points.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        points.push_back(mapping.map(QPointF(params.s16(offset + i * 4), params.s16(offset + i * 4 + 2))));
    return points;
}

void MetafilePlayer::CreateObject(Object object)
{
    for (Object &slot : m_objects) {
        if (std::holds_alternative<std::monostate>(slot)) {
            slot = std::move(object);
            return;
        }
    }
}

void MetafilePlayer::SelectObject(int index)
{
    if (index < 0 || index >= static_cast<int>(m_objects.size()))
        return;
    const Object &object = m_objects[static_cast<size_t>(index)];
    if (const auto *pen = std::get_if<Pen>(&object))
        m_state.pen = *pen;
    else if (const auto *brush = std::get_if<Brush>(&object))
        m_state.brush = *brush;
    else if (const auto *font = std::get_if<Font>(&object))
        m_state.font = *font;
    else if (const auto *palette = std::get_if<Palette>(&object))
        m_state.palette = *palette;
    else if (const auto *region = std::get_if<QRegion>(&object))
        m_state.clip = *region;
}

void MetafilePlayer::DeleteObject(int index)
{
    if (index >= 0 && index < static_cast<int>(m_objects.size()))
        m_objects[static_cast<size_t>(index)] = std::monostate();
}

void MetafilePlayer::ClipRectangle(const QRectF &rect, bool exclude)
{
    const QRegion area(rect.toAlignedRect());
    const QRegion current = m_state.clip.value_or(QRegion(m_target.toAlignedRect()));
    m_state.clip = exclude ? current.subtracted(area) : current.intersected(area);
}

std::optional<QRegion> MetafilePlayer::ReadRegion(const Params &params) const
{
    // Header: next in chain, type, count, size, scan count, max scan, bounds.
    if (!params.has(22))
        return std::nullopt;
    const int scans = params.s16(10);
    QRegion region;
    int offset = 22;
    int rectangles = 0;
    for (int scan = 0; scan < scans; ++scan) {
        if (!params.has(offset + 6))
            return std::nullopt;
        const int count = params.u16(offset);
        const double top = params.s16(offset + 2);
        const double bottom = params.s16(offset + 4);
        offset += 6;
        if (count % 2 != 0 || !params.has(offset + count * 2 + 2))
            return std::nullopt;
        // Every rectangle joins the region at a cost that grows with it;
        // past a few thousand the rest of a region is dropped.
        for (int pair = 0; pair < count / 2 && rectangles < MaximumRegionRectangles; ++pair, ++rectangles) {
            const double left = params.s16(offset + pair * 4);
            const double right = params.s16(offset + pair * 4 + 2);
            region += MapRect(left, top, right, bottom).toAlignedRect();
        }
        offset += count * 2 + 2;
    }
    return region;
}

void MetafilePlayer::ArcRecord(int function, const Params &params)
{
    if (!params.has(16))
        return;
    const QRectF box = MapRect(params.s16(14), params.s16(12), params.s16(10), params.s16(8));
    if (box.width() <= 0 || box.height() <= 0)
        return;
    const QPointF start = Map(params.s16(6), params.s16(4));
    const QPointF end = Map(params.s16(2), params.s16(0));
    const QPointF centre = box.center();
    // Angles on the screen, counter-clockwise from three o'clock.
    const auto angleOf = [&](const QPointF &point) {
        const double x = (point.x() - centre.x()) / box.width();
        const double y = (centre.y() - point.y()) / box.height();
        return std::atan2(y, x) * 180.0 / std::numbers::pi;
    };
    const double from = angleOf(start);
    double sweep = angleOf(end) - from;
    if (sweep <= 0)
        sweep += 360.0;
    QPainterPath path;
    if (function == RecordPie) {
        path.moveTo(centre);
        path.arcTo(box, from, sweep);
        path.closeSubpath();
        FillAndStroke(path, true);
    } else if (function == RecordChord) {
        path.arcMoveTo(box, from);
        path.arcTo(box, from, sweep);
        path.closeSubpath();
        FillAndStroke(path, true);
    } else {
        path.arcMoveTo(box, from);
        path.arcTo(box, from, sweep);
        StrokeOnly(path);
    }
}

QString MetafilePlayer::DecodeText(const QByteArray &text, std::vector<int> &byteOfCharacter) const
{
    const char *encoding = "windows-1252";
    switch (m_state.font.charset) {
    case 128: encoding = "Shift_JIS"; break;
    case 129: encoding = "CP949"; break;
    case 134: encoding = "GBK"; break;
    case 136: encoding = "Big5"; break;
    case 161: encoding = "windows-1253"; break;
    case 162: encoding = "windows-1254"; break;
    case 177: encoding = "windows-1255"; break;
    case 178: encoding = "windows-1256"; break;
    case 186: encoding = "windows-1257"; break;
    case 204: encoding = "windows-1251"; break;
    case 222: encoding = "windows-874"; break;
    case 238: encoding = "windows-1250"; break;
    default: break;
    }
    QStringDecoder decoder(encoding);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Latin1);
    // Decoded byte by byte so that each character knows where its bytes
    // begin (double-byte character sets take one advance per byte).
    QString result;
    byteOfCharacter.clear();
    for (int i = 0; i < text.size(); ++i) {
        const QString piece = decoder.decode(QByteArrayView(text.constData() + i, 1));
        for (const QChar c : piece) {
            result.append(c);
            byteOfCharacter.push_back(i);
        }
    }
    const QString rest = decoder.decode(QByteArrayView());
    for (const QChar c : rest) {
        result.append(c);
        byteOfCharacter.push_back(static_cast<int>(text.size()) - 1);
    }
    // The lead byte of a double-byte character gives no character of its
    // own; its character starts there.
    int previousEnd = 0;
    for (size_t i = 0; i < byteOfCharacter.size(); ++i) {
        const int last = byteOfCharacter[i];
        byteOfCharacter[i] = previousEnd;
        previousEnd = last + 1;
    }
    return result;
}

void MetafilePlayer::DrawText(double x, double y, const QByteArray &text, const std::vector<qint16> &dx, int options,
                              const QRectF &rectangle)
{
    if (m_state.rop2 == 11)
        return;
    const Font &font = m_state.font;
    const bool updatePosition = m_state.textAlign & 1;
    const QPointF anchor = updatePosition ? m_state.position : Map(x, y);
    double pixelSize = MapHeight(font.height == 0 ? 12.0 : std::abs(font.height));
    if (font.height > 0)
        pixelSize *= 0.8;
    if (!(pixelSize > 0.05) || pixelSize > 100000.0)
        return;

    std::vector<int> byteOf;
    const QString decoded = DecodeText(text, byteOf);
    QFont face(font.face.isEmpty() ? QStringLiteral("Sans Serif") : font.face);
    face.setPixelSize(static_cast<int>(NominalFontPixels));
    face.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight / 1, 100, 900)));
    face.setItalic(font.italic);
    face.setUnderline(font.underline);
    face.setStrikeOut(font.strikeOut);
    face.setHintingPreference(QFont::PreferNoHinting);
    if (font.charset == 128)
        face.setFamilies({face.family(), QStringLiteral("Noto Sans CJK JP")});
    const QFontMetricsF metrics(face);
    const double scale = pixelSize / NominalFontPixels;

    // Advance of each character, in device pixels.
    std::vector<double> advances(static_cast<size_t>(decoded.size()));
    for (int i = 0; i < decoded.size(); ++i) {
        if (!dx.empty()) {
            const int first = byteOf[static_cast<size_t>(i)];
            const int last = i + 1 < decoded.size() ? byteOf[static_cast<size_t>(i) + 1] : static_cast<int>(text.size());
            double sum = 0;
            for (int b = first; b < last && b < static_cast<int>(dx.size()); ++b)
                sum += dx[static_cast<size_t>(b)];
            advances[static_cast<size_t>(i)] = MapWidth(sum);
        } else {
            advances[static_cast<size_t>(i)] = metrics.horizontalAdvance(decoded[i]) * scale + MapWidth(m_state.charExtra);
        }
    }
    double total = 0;
    for (double advance : advances)
        total += advance;

    double startX = 0;
    switch (m_state.textAlign & 6) {
    case 2: startX = -total; break;
    case 6: startX = -total / 2; break;
    default: break;
    }
    double baseline = 0;
    switch (m_state.textAlign & 0x18) {
    case 8: baseline = -metrics.descent() * scale; break;
    case 0x18: baseline = 0; break;
    default: baseline = metrics.ascent() * scale; break;
    }

    SetPainterState();
    if (options & 0x2)
        m_painter.fillRect(rectangle, m_state.backgroundColour);
    m_painter.save();
    if (options & 0x4)
        m_painter.setClipRect(rectangle, m_state.clip ? Qt::IntersectClip : Qt::ReplaceClip);
    m_painter.translate(anchor);
    m_painter.rotate(-font.escapement / 10.0);
    if (m_state.backgroundMode == 2 && !(options & 0x2)) {
        m_painter.fillRect(QRectF(startX, baseline - metrics.ascent() * scale, total, metrics.height() * scale),
                           m_state.backgroundColour);
    }
    m_painter.scale(scale, scale);
    m_painter.setFont(face);
    m_painter.setPen(m_state.textColour);
    double penX = startX / scale;
    for (int i = 0; i < decoded.size(); ++i) {
        m_painter.drawText(QPointF(penX, baseline / scale), QString(decoded[i]));
        penX += advances[static_cast<size_t>(i)] / scale;
    }
    m_painter.restore();
    if (updatePosition)
        m_state.position = anchor + QPointF(startX + total, 0);
}

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

void MetafilePlayer::PlayRecord(int function, const Params &p)
{
    State &s = m_state;
    switch (function) {
    case RecordSaveDc:
        if (m_saved.size() < MaximumSavedStates)
            m_saved.push_back(s);
        break;
    case RecordRestoreDc: {
        const int which = p.s16(0);
        int target = which < 0 ? static_cast<int>(m_saved.size()) + which : which - 1;
        if (target >= 0 && target < static_cast<int>(m_saved.size())) {
            s = m_saved[static_cast<size_t>(target)];
            m_saved.resize(static_cast<size_t>(target));
        }
        break;
    }
    case RecordSetBkMode: s.backgroundMode = p.u16(0); break;
    case RecordSetMapMode: s.mapMode = p.u16(0); break;
    case RecordSetRop2: s.rop2 = p.u16(0); break;
    case RecordSetPolyFillMode: s.polyFillMode = p.u16(0); break;
    case RecordSetTextCharExtra: s.charExtra = p.s16(0); break;
    case RecordSetTextAlign: s.textAlign = p.u16(0); break;
    case RecordSetBkColor: s.backgroundColour = ColourRef(p.u32(0)); break;
    case RecordSetTextColor: s.textColour = ColourRef(p.u32(0)); break;
    case RecordSetWindowOrg:
        if (p.has(4))
            s.windowOrigin = QPointF(p.s16(2), p.s16(0));
        break;
    case RecordSetWindowExt:
        if (p.has(4) && p.s16(0) != 0 && p.s16(2) != 0)
            s.windowExtent = QSizeF(p.s16(2), p.s16(0));
        break;
    case RecordSetViewportOrg:
        if (p.has(4))
            s.viewportOrigin = QPointF(p.s16(2), p.s16(0));
        break;
    case RecordSetViewportExt:
        if (p.has(4) && p.s16(0) != 0 && p.s16(2) != 0)
            s.viewportExtent = QSizeF(p.s16(2), p.s16(0));
        break;
    case RecordOffsetWindowOrg:
        if (p.has(4))
            s.windowOrigin += QPointF(p.s16(2), p.s16(0));
        break;
    case RecordOffsetViewportOrg:
        if (p.has(4))
            s.viewportOrigin += QPointF(p.s16(2), p.s16(0));
        break;
    case RecordScaleWindowExt:
    case RecordScaleViewportExt: {
        if (!p.has(8) || p.s16(0) == 0 || p.s16(4) == 0)
            break;
        QSizeF &extent = function == RecordScaleWindowExt ? s.windowExtent : s.viewportExtent;
        const QSizeF scaled(extent.width() * p.s16(6) / p.s16(4), extent.height() * p.s16(2) / p.s16(0));
        if (scaled.width() != 0 && scaled.height() != 0)
            extent = scaled;
        break;
    }
    case RecordMoveTo:
        if (p.has(4))
            s.position = Map(p.s16(2), p.s16(0));
        break;
    case RecordLineTo:
        if (p.has(4)) {
            const QPointF to = Map(p.s16(2), p.s16(0));
            QPainterPath path(s.position);
            path.lineTo(to);
            StrokeOnly(path);
            s.position = to;
        }
        break;
    case RecordPolygon:
    case RecordPolyline: {
        const std::vector<QPointF> points = ReadPoints(p, 2, p.s16(0));
        if (points.size() < 2)
            break;
        QPainterPath path;
        path.setFillRule(s.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        path.addPolygon(QPolygonF(QList<QPointF>(points.begin(), points.end())));
        if (function == RecordPolygon) {
            path.closeSubpath();
            FillAndStroke(path, true);
        } else {
            StrokeOnly(path);
        }
        break;
    }
    case RecordPolyPolygon: {
        const int polygons = p.u16(0);
        if (polygons <= 0 || !p.has(2 + polygons * 2))
            break;
        QPainterPath path;
        path.setFillRule(s.polyFillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        int offset = 2 + polygons * 2;
        for (int i = 0; i < polygons; ++i) {
            const int count = p.u16(2 + i * 2);
            const std::vector<QPointF> points = ReadPoints(p, offset, count);
            if (points.size() != static_cast<size_t>(count))
                break;
            if (!points.empty()) {
                path.addPolygon(QPolygonF(QList<QPointF>(points.begin(), points.end())));
                path.closeSubpath();
            }
            offset += count * 4;
        }
        FillAndStroke(path, true);
        break;
    }
    case RecordRectangle:
    case RecordEllipse: {
        if (!p.has(8))
            break;
        const QRectF box = MapRect(p.s16(6), p.s16(4), p.s16(2), p.s16(0));
        QPainterPath path;
        if (function == RecordRectangle)
            path.addRect(box);
        else
            path.addEllipse(box);
        FillAndStroke(path, true);
        break;
    }
    case RecordRoundRect: {
        if (!p.has(12))
            break;
        const QRectF box = MapRect(p.s16(10), p.s16(8), p.s16(6), p.s16(4));
        QPainterPath path;
        path.addRoundedRect(box, MapWidth(p.s16(2)) / 2, MapHeight(p.s16(0)) / 2);
        FillAndStroke(path, true);
        break;
    }
    case RecordArc:
    case RecordPie:
    case RecordChord: ArcRecord(function, p); break;
    case RecordSetPixel:
        if (p.has(8)) {
            SetPainterState();
            const QPointF at = Map(p.s16(6), p.s16(4));
            m_painter.fillRect(QRectF(at, QSizeF(std::max(1.0, MapWidth(1)), std::max(1.0, MapHeight(1)))),
                               ColourRef(p.u32(0)));
        }
        break;
    case RecordTextOut: {
        const int length = p.s16(0);
        const int padded = length + (length & 1);
        if (length <= 0 || !p.has(2 + padded + 4))
            break;
        DrawText(p.s16(2 + padded + 2), p.s16(2 + padded), p.bytes(2, length), {}, 0, QRectF());
        break;
    }
    case RecordExtTextOut: {
        if (!p.has(8))
            break;
        const double y = p.s16(0);
        const double x = p.s16(2);
        const int length = p.s16(4);
        const int options = p.u16(6);
        int offset = 8;
        QRectF rectangle;
        if (options & 0x6) {
            if (!p.has(16))
                break;
            rectangle = MapRect(p.s16(8), p.s16(10), p.s16(12), p.s16(14));
            offset = 16;
        }
        if (length <= 0) {
            if (options & 0x2) {
                SetPainterState();
                m_painter.fillRect(rectangle, s.backgroundColour);
            }
            break;
        }
        const int padded = length + (length & 1);
        if (!p.has(offset + length))
            break;
        const QByteArray text = p.bytes(offset, length);
        std::vector<qint16> dx;
        if (p.has(offset + padded + length * 2)) {
            dx.reserve(static_cast<size_t>(length));
            for (int i = 0; i < length; ++i)
                dx.push_back(p.s16(offset + padded + i * 2));
        }
        DrawText(x, y, text, dx, options, rectangle);
        break;
    }
    case RecordCreatePenIndirect:
        if (p.has(10))
            CreateObject(Pen{p.u16(0), static_cast<double>(p.s16(2)), ColourRef(p.u32(6))});
        break;
    case RecordCreateBrushIndirect:
        if (p.has(8))
            CreateObject(Brush{p.u16(0), ColourRef(p.u32(2)), p.u16(6), QImage()});
        break;
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
    case RecordCreateFontIndirect: {
        if (!p.has(18))
            break;
        Font font;
        font.height = p.s16(0);
        font.escapement = p.s16(4);
        font.weight = p.s16(8);
        font.italic = p.u8(10);
        font.underline = p.u8(11);
        font.strikeOut = p.u8(12);
        font.charset = p.u8(13);
        const QByteArray name = p.bytes(18, std::min(32, p.size() - 18));
        const int end = name.indexOf('\0');
        const QByteArray bare = end >= 0 ? name.left(end) : name;
        QStringDecoder decoder(font.charset == 128 ? "Shift_JIS" : "windows-1252");
        font.face = decoder.isValid() ? decoder.decode(bare) : QString::fromLatin1(bare);
        CreateObject(font);
        break;
    }
    case RecordCreatePalette: {
        Palette palette;
        const int count = p.u16(2);
        for (int i = 0; i < count && p.has(4 + i * 4 + 4); ++i)
            palette.colours.emplace_back(p.u8(4 + i * 4), p.u8(5 + i * 4), p.u8(6 + i * 4));
        CreateObject(palette);
        break;
    }
    case RecordCreateRegion: {
        std::optional<QRegion> region = ReadRegion(p);
        CreateObject(region ? Object(*region) : Object(QRegion()));
        break;
    }
    case RecordSelectObject: SelectObject(p.u16(0)); break;
    case RecordSelectPalette: SelectObject(p.u16(0)); break;
    case RecordDeleteObject: DeleteObject(p.u16(0)); break;
    case RecordSelectClipRegion: {
        const int index = p.u16(0);
        if (index >= 0 && index < static_cast<int>(m_objects.size()) &&
            std::holds_alternative<QRegion>(m_objects[static_cast<size_t>(index)]))
            s.clip = std::get<QRegion>(m_objects[static_cast<size_t>(index)]);
        else
            s.clip.reset();
        break;
    }
    case RecordFillRegion:
    case RecordPaintRegion:
    case RecordFrameRegion:
    case RecordInvertRegion: {
        const int index = p.u16(0);
        if (index < 0 || index >= static_cast<int>(m_objects.size()))
            break;
        const auto *region = std::get_if<QRegion>(&m_objects[static_cast<size_t>(index)]);
        if (!region)
            break;
        QPainterPath path;
        path.addRegion(*region);
        SetPainterState();
        if (function == RecordInvertRegion) {
            m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
            m_painter.fillPath(path, Qt::white);
            m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        } else if (function == RecordFrameRegion) {
            m_painter.strokePath(path, QPen(MakeBrush(s.brush), 1));
        } else {
            Brush brush = s.brush;
            if (function == RecordFillRegion) {
                const int brushIndex = p.u16(2);
                if (brushIndex < static_cast<int>(m_objects.size()))
                    if (const auto *chosen = std::get_if<Brush>(&m_objects[static_cast<size_t>(brushIndex)]))
                        brush = *chosen;
            }
            m_painter.fillPath(path, MakeBrush(brush));
        }
        break;
    }
    case RecordOffsetClipRgn:
        if (p.has(4) && s.clip) {
            const QPointF shift = Map(p.s16(2), p.s16(0)) - Map(0, 0);
            s.clip->translate(shift.toPoint());
        }
        break;
    case RecordExcludeClipRect:
    case RecordIntersectClipRect:
        if (p.has(8))
            ClipRectangle(MapRect(p.s16(6), p.s16(4), p.s16(2), p.s16(0)), function == RecordExcludeClipRect);
        break;
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
    default: break;
    }
}
