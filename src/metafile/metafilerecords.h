#pragma once

// What the files of the metafile player share: the record functions, the
// raster operations and the reader of a record's parameters. Not for use
// outside the player.

#include <QByteArray>
#include <QColor>
#include <QtEndian>

namespace MetafileRecords {

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

inline QColor ColourRef(quint32 value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }

} // namespace

// The parameters of one record: reads that fall outside them give 0 and
// mark the record as short, so that a handler can drop it.
class MetafileParams
{
public:
    MetafileParams(const uchar *data, int size) : m_data(data), m_size(size) {}
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

using namespace MetafileRecords;
