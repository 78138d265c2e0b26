#include "viewer/viewerimages.h"

#include "widgets/toolbarimages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void drawMagnifier(QPainter &p)
{
    p.setPen(QPen(QColor(90, 60, 20), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14.5, 14.5));
    p.setPen(QPen(QColor(50, 50, 50), 1.2));
    p.setBrush(QColor(215, 235, 255));
    p.drawEllipse(QPointF(6.5, 6.5), 5.2, 5.2);
    p.setPen(QPen(QColor(0, 70, 160), 1.6));
}

void drawZoomIn(QPainter &p)
{
    drawMagnifier(p);
    p.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
    p.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
}

void drawZoomOut(QPainter &p)
{
    drawMagnifier(p);
    p.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
}

void drawFullScreen(QPainter &p)
{
    p.setPen(QColor(40, 40, 40));
    p.setBrush(Qt::black);
    p.drawRect(QRectF(1.5, 2.5, 13, 10));
    p.setPen(QPen(Qt::white, 1.2));
    for (const auto &[corner, inward] : {std::pair{QPointF(3.5, 4.5), QPointF(1, 1)},
                                         std::pair{QPointF(12.5, 4.5), QPointF(-1, 1)},
                                         std::pair{QPointF(3.5, 10.5), QPointF(1, -1)},
                                         std::pair{QPointF(12.5, 10.5), QPointF(-1, -1)}}) {
        p.drawLine(corner, corner + QPointF(inward.x() * 2.5, 0));
        p.drawLine(corner, corner + QPointF(0, inward.y() * 2));
    }
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.drawLine(QPointF(8, 13), QPointF(8, 15));
    p.drawLine(QPointF(5, 15), QPointF(11, 15));
}

void drawNaturalSize(QPainter &p)
{
    drawMagnifier(p);
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0, 70, 160));
    p.drawText(QRectF(1.5, 1.5, 10, 10), Qt::AlignCenter, QStringLiteral("1"));
}


} // namespace

namespace ViewerImages {

QIcon image(int number)
{
    switch (number) {
    case 1: return ToolbarImages::drawn(drawZoomIn);
    case 2: return ToolbarImages::drawn(drawZoomOut);
    case 3: return ToolbarImages::drawn(drawFullScreen);
    case 4: return ToolbarImages::drawn(drawNaturalSize);
    default: return QIcon();
    }
}
} // namespace ViewerImages
