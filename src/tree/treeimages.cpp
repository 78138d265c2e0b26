#include "tree/treeimages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

using Draw = void (*)(QPainter &);

void folder(QPainter &p, bool open)
{
    p.setPen(QColor(128, 96, 0));
    p.setBrush(QColor(230, 190, 60));
    p.drawRect(1, 4, 13, 10);
    p.drawRect(1, 2, 5, 2);
    if (open) {
        p.setBrush(QColor(255, 225, 120));
        QPolygon front;
        front << QPoint(3, 7) << QPoint(15, 7) << QPoint(13, 14) << QPoint(1, 14);
        p.drawPolygon(front);
    }
}

void drive(QPainter &p, const QColor &light)
{
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(1, 6, 14, 6);
    p.setBrush(QColor(150, 150, 150));
    p.drawRect(1, 10, 14, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawRect(11, 8, 2, 1);
}

void drawHdd(QPainter &p) { drive(p, QColor(0, 200, 0)); }

void drawFloppy(QPainter &p)
{
    p.setPen(QColor(0, 0, 64));
    p.setBrush(QColor(40, 40, 140));
    p.drawRect(2, 1, 12, 14);
    p.setBrush(QColor(220, 220, 220));
    p.drawRect(4, 1, 8, 5);
    p.setBrush(Qt::white);
    p.drawRect(4, 9, 8, 6);
}

void drawCdrom(QPainter &p)
{
    drive(p, QColor(255, 160, 0));
    p.setPen(QColor(80, 80, 80));
    p.setBrush(QColor(230, 230, 255));
    p.drawEllipse(QPoint(8, 5), 5, 4);
    p.setBrush(QColor(192, 192, 192));
    p.drawEllipse(QPoint(8, 5), 1, 1);
}

void drawRemote(QPainter &p)
{
    drive(p, QColor(0, 200, 0));
    p.setPen(QPen(QColor(0, 0, 160), 2));
    p.drawLine(8, 12, 8, 15);
    p.drawLine(3, 15, 13, 15);
}

void drawRemovable(QPainter &p)
{
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(60, 110, 200));
    p.drawRect(4, 5, 8, 10);
    p.setBrush(QColor(220, 220, 220));
    p.drawRect(5, 1, 6, 4);
}

void monitor(QPainter &p, const QColor &screen)
{
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(210, 210, 210));
    p.drawRect(1, 1, 14, 10);
    p.setBrush(screen);
    p.drawRect(3, 3, 10, 6);
    p.setBrush(QColor(160, 160, 160));
    p.drawRect(5, 12, 6, 2);
}

void drawDesktop(QPainter &p) { monitor(p, QColor(0, 128, 128)); }

void drawDocuments(QPainter &p)
{
    folder(p, false);
    p.setPen(QColor(64, 64, 64));
    p.setBrush(Qt::white);
    p.drawRect(5, 1, 7, 9);
    p.drawLine(7, 4, 10, 4);
    p.drawLine(7, 6, 10, 6);
}

void drawComputer(QPainter &p)
{
    monitor(p, QColor(0, 0, 160));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(2, 13, 12, 2);
}

void drawFolderClosed(QPainter &p) { folder(p, false); }
void drawFolderOpen(QPainter &p) { folder(p, true); }

struct Image
{
    const char *key;
    Draw draw;
};

const Image images[] = {
    {"HDD", drawHdd},       {"FLOPPY", drawFloppy},  {"CDROM", drawCdrom},          {"REMO", drawRemote},
    {"ROOT", drawDesktop},  {"MyDoc", drawDocuments}, {"MyCom", drawComputer},       {"Fclose", drawFolderClosed},
    {"Fopen", drawFolderOpen}, {"RMB", drawRemovable},
};

} // namespace

namespace TreeImages {

QStringList keys()
{
    QStringList list;
    for (const Image &image : images)
        list.append(QLatin1String(image.key));
    return list;
}

QHash<QString, QIcon> make()
{
    QHash<QString, QIcon> icons;
    for (const Image &image : images) {
        QIcon icon;
        for (int scale : {1, 2}) {
            QPixmap pixmap(16 * scale, 16 * scale);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.scale(scale, scale);
            image.draw(painter);
            painter.end();
            icon.addPixmap(pixmap);
        }
        icons.insert(QLatin1String(image.key), icon);
    }
    return icons;
}

} // namespace TreeImages
