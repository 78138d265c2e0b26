#include "widgets/toolbarimages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void drawOpenPicture(QPainter &p)
{
    p.setPen(QColor(60, 60, 60));
    p.setBrush(QColor(170, 210, 255));
    p.drawRect(1, 2, 13, 11);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 150, 40));
    QPolygon hill;
    hill << QPoint(2, 12) << QPoint(6, 6) << QPoint(9, 10) << QPoint(11, 8) << QPoint(14, 12);
    p.drawPolygon(hill);
    p.setBrush(QColor(255, 200, 0));
    p.drawEllipse(QPoint(11, 5), 2, 2);
}

void drawSettings(QPainter &p)
{
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(2, 1, 11, 14);
    for (int row = 0; row < 3; ++row) {
        p.setBrush(row == 1 ? Qt::white : QColor(0, 128, 0));
        p.drawRect(4, 3 + row * 4, 2, 2);
        p.drawLine(8, 4 + row * 4, 11, 4 + row * 4);
    }
}

void drawReload(QPainter &p)
{
    p.setPen(QPen(QColor(0, 100, 200), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(3, 3, 10, 10), 30 * 16, 280 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 100, 200));
    QPolygon head;
    head << QPoint(10, 1) << QPoint(15, 5) << QPoint(9, 7);
    p.drawPolygon(head);
}

void drawHelp(QPainter &p)
{
    p.setPen(QColor(0, 0, 128));
    p.setBrush(QColor(255, 255, 200));
    p.drawEllipse(QRect(1, 1, 14, 14));
    QFont font = p.font();
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

void drawFavourites(QPainter &p)
{
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(255, 210, 40));
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? 7.0 : 3.0;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        star << QPointF(8 + radius * std::cos(angle), 8.5 + radius * std::sin(angle));
    }
    p.drawPolygon(star);
}

} // namespace

namespace ToolbarImages {

QIcon image(int number)
{
    void (*draw)(QPainter &) = nullptr;
    switch (number) {
    case 1: draw = drawOpenPicture; break;
    case 2: draw = drawSettings; break;
    case 3: draw = drawReload; break;
    case 5: draw = drawHelp; break;
    case 7: draw = drawFavourites; break;
    default: return QIcon();
    }
    return drawn(draw);
}

QIcon drawn(const std::function<void(QPainter &)> &draw)
{
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace ToolbarImages
