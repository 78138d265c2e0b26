// The metafile player's state and objects: mapping (window and viewport
// records), saved states, modes and colours, pens, brushes, palettes,
// regions and clipping.
#include "metafile/metafileplayer.h"

#include "metafile/metafilerecords.h"

#include <QPainter>

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

bool MetafilePlayer::PlayStateRecord(int function, const Params &p)
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
    case RecordCreatePenIndirect:
        if (p.has(10))
            CreateObject(Pen{p.u16(0), static_cast<double>(p.s16(2)), ColourRef(p.u32(6))});
        break;
    case RecordCreateBrushIndirect:
        if (p.has(8))
            CreateObject(Brush{p.u16(0), ColourRef(p.u32(2)), p.u16(6), QImage()});
        break;
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
    default: return false;
    }
    return true;
}
