// The metafile player's drawing records: lines, polylines, polygons,
// rectangles, ellipses, arcs, pies, chords, pixels and region fills.
#include "metafile/metafileplayer.h"

#include "metafile/metafilerecords.h"

#include <QPainter>

#include <cmath>
#include <numbers>

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

bool MetafilePlayer::PlayDrawingRecord(int function, const Params &p)
{
    State &s = m_state;
    switch (function) {
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
    default: return false;
    }
    return true;
}
