#include "viewer/viewerimages.h"

#include "app/toolbarimages.h"

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

// An open hand seen from the back, fingers up, 32 x 32 at scale 1.
QPainterPath handOutline()
{
    QPainterPath hand;
    hand.addRoundedRect(QRectF(8, 14, 15, 13), 5, 5);
    const double fingerTops[] = {5, 3, 4, 7};
    for (int i = 0; i < 4; ++i)
        hand.addRoundedRect(QRectF(8.5 + i * 3.6, fingerTops[i], 3.6, 16 - fingerTops[i] + 4), 1.8, 1.8);
    QPainterPath thumb;
    thumb.moveTo(9, 22);
    thumb.lineTo(4, 15.5);
    thumb.quadTo(3, 13, 5.5, 13.5);
    thumb.lineTo(10, 18);
    thumb.closeSubpath();
    return hand.united(thumb).simplified();
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

QCursor handCursor()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::white);
    painter.drawPath(handOutline());
    painter.setPen(QPen(QColor(90, 90, 90), 0.8));
    for (int i = 1; i < 4; ++i)
        painter.drawLine(QPointF(8.5 + i * 3.6, 11), QPointF(8.5 + i * 3.6, 17));
    painter.end();
    return QCursor(pixmap, 15, 15);
}

} // namespace ViewerImages
