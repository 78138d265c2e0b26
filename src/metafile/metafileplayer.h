#pragma once

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QTransform>

#include <optional>
#include <variant>
#include <vector>

class MetafileParams;
class QPainter;

// Plays the records of a metafile onto a painter. The logical frame given
// at construction is drawn into the painter's device rectangle target; the
// file's own window and viewport records change that mapping as they come.
//
// The records are played by family, one file each:
//   metafileplayer.cpp   the record walk, Play, the header queries
//   metafilestate.cpp    SaveDC/RestoreDC, modes and colours, window and
//                        viewport, MoveTo, pens, brushes, palettes, regions,
//                        object selection and deletion, clipping
//   metafiledrawing.cpp  LineTo, Polyline, Polygon, PolyPolygon, Rectangle,
//                        RoundRect, Ellipse, Arc, Pie, Chord, SetPixel,
//                        region fills
//   metafiletext.cpp     CreateFontIndirect, TextOut, ExtTextOut
//   metafilebitmaps.cpp  pattern brushes, PatBlt, DIBBitBlt, DIBStretchBlt,
//                        StretchDIB, SetDIBitsToDevice
class MetafilePlayer
{
public:
    MetafilePlayer(const QByteArray &bytes, int recordsOffset, int objectCount, const QRectF &frame,
                   const QRectF &target, QPainter &painter);

    // Plays until the end record, the end of the bytes, or the record budget.
    void Play();

    // The first window origin and extent the records set, if any.
    static std::optional<QRectF> FirstWindow(const QByteArray &bytes, int recordsOffset);
    // Number of records before the end; 0 when the chain is broken at once.
    static int CountRecords(const QByteArray &bytes, int recordsOffset);

    // Nesting of SaveDC beyond this is ignored.
    static constexpr int MaximumSavedStates = 256;
    // Bitmaps inside a metafile larger than this are not drawn.
    static constexpr qint64 MaximumDibPixels = 16LL * 1024 * 1024;
    // Rectangles of one region beyond this are dropped.
    static constexpr int MaximumRegionRectangles = 4096;

private:
    struct Pen
    {
        int style = 0;
        double width = 0;
        QColor colour = Qt::black;
    };
    struct Brush
    {
        int style = 0;
        QColor colour = Qt::white;
        int hatch = 0;
        QImage pattern;
    };
    struct Font
    {
        double height = 0;
        double escapement = 0;
        int weight = 400;
        bool italic = false;
        bool underline = false;
        bool strikeOut = false;
        int charset = 0;
        QString face;
    };
    struct Palette
    {
        std::vector<QColor> colours;
    };
    using Object = std::variant<std::monostate, Pen, Brush, Font, Palette, QRegion>;

    struct State
    {
        QPointF windowOrigin;
        QSizeF windowExtent;
        QPointF viewportOrigin;
        QSizeF viewportExtent;
        int mapMode = 8;
        Pen pen;
        Brush brush;
        Font font;
        Palette palette;
        QColor textColour = Qt::black;
        QColor backgroundColour = Qt::white;
        int backgroundMode = 2;
        int textAlign = 0;
        int polyFillMode = 1;
        int rop2 = 13;
        double charExtra = 0;
        QPointF position;
        std::optional<QRegion> clip;
    };

    using Params = MetafileParams;

    void PlayRecord(int function, const Params &params);
    // Each plays its family's record; false for a record of another family.
    bool PlayStateRecord(int function, const Params &params);
    bool PlayDrawingRecord(int function, const Params &params);
    bool PlayTextRecord(int function, const Params &params);
    bool PlayBitmapRecord(int function, const Params &params);
    void SetPainterState();
    QTransform Mapping() const;
    QPointF Map(double x, double y) const;
    QRectF MapRect(double left, double top, double right, double bottom) const;
    double MapWidth(double logical) const;
    double MapHeight(double logical) const;
    QPen MakePen() const;
    QBrush MakeBrush(const Brush &brush) const;
    void ApplyRop2();
    void FillAndStroke(const QPainterPath &path, bool fill);
    void StrokeOnly(const QPainterPath &path);
    std::vector<QPointF> ReadPoints(const Params &params, int offset, int count) const;
    void CreateObject(Object object);
    void SelectObject(int index);
    void DeleteObject(int index);
    void ArcRecord(int function, const Params &params);
    void DrawText(double x, double y, const QByteArray &text, const std::vector<qint16> &dx, int options,
                  const QRectF &rectangle);
    QString DecodeText(const QByteArray &text, std::vector<int> &byteOfCharacter) const;
    QImage ReadDib(const Params &params, int offset, int colourUsage) const;
    void DrawDib(const QImage &image, const QRectF &source, const QRectF &target, quint32 rop);
    void PatternBlit(const QRectF &target, quint32 rop);
    void ClipRectangle(const QRectF &rect, bool exclude);
    std::optional<QRegion> ReadRegion(const Params &params) const;

    const QByteArray &m_bytes;
    int m_offset;
    QRectF m_frame;
    QRectF m_target;
    QPainter &m_painter;
    QTransform m_base;
    State m_state;
    std::vector<State> m_saved;
    std::vector<Object> m_objects;
};
