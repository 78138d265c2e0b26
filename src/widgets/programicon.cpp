#include "widgets/programicon.h"

#include <QPainter>
#include <QPolygonF>

#include <vector>

namespace ProgramIcon {

namespace {

constexpr double Side = 256.0;

struct Shape
{
    enum Kind { RoundedRectangle, Ellipse, Polygon } kind;
    QColor fill;
    QPolygonF points; // two corners for a rectangle or an ellipse's box
    double radius = 0.0;
};

Shape Box(double x, double y, double width, double height, QColor fill, double radius = 0.0)
{
    return Shape{Shape::RoundedRectangle, fill, QPolygonF({QPointF(x, y), QPointF(x + width, y + height)}), radius};
}

Shape Round(double x, double y, double width, double height, QColor fill)
{
    return Shape{Shape::Ellipse, fill, QPolygonF({QPointF(x, y), QPointF(x + width, y + height)}), 0.0};
}

Shape Outline(std::initializer_list<QPointF> points, QColor fill)
{
    return Shape{Shape::Polygon, fill, QPolygonF(points), 0.0};
}

// A small landscape in the cell at (x, y).
void Landscape(std::vector<Shape> &shapes, double x, double y, QColor sky, QColor land, QColor sun)
{
    shapes.push_back(Box(x + 12, y + 12, 70, 56, sky));
    shapes.push_back(Outline({{x + 12, y + 68}, {x + 36, y + 36}, {x + 54, y + 56}, {x + 64, y + 46}, {x + 82, y + 68}},
                             land));
    shapes.push_back(Round(x + 58, y + 18, 16, 16, sun));
}

const std::vector<Shape> &Shapes()
{
    static const std::vector<Shape> shapes = [] {
        std::vector<Shape> all;
        all.push_back(Box(0, 0, Side, Side, QColor(47, 79, 111), 40));
        const QColor grey(192, 192, 192);
        all.push_back(Box(28, 30, 94, 80, QColor(0, 0, 128)));
        all.push_back(Box(134, 30, 94, 80, grey));
        all.push_back(Box(28, 146, 94, 80, grey));
        all.push_back(Box(134, 146, 94, 80, grey));
        Landscape(all, 28, 30, QColor(168, 208, 255), QColor(40, 150, 40), QColor(255, 200, 0));
        Landscape(all, 134, 30, QColor(255, 216, 160), QColor(192, 80, 48), QColor(255, 255, 255));
        Landscape(all, 28, 146, QColor(208, 232, 255), QColor(32, 96, 192), QColor(255, 230, 120));
        Landscape(all, 134, 146, QColor(232, 232, 232), QColor(120, 120, 120), QColor(220, 40, 60));
        return all;
    }();
    return shapes;
}

} // namespace

QImage image(int size)
{
    QImage picture(size, size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / Side, size / Side);
    painter.setPen(Qt::NoPen);
    for (const Shape &shape : Shapes()) {
        painter.setBrush(shape.fill);
        const QRectF box(shape.points.value(0), shape.points.value(1));
        switch (shape.kind) {
        case Shape::RoundedRectangle: painter.drawRoundedRect(box, shape.radius, shape.radius); break;
        case Shape::Ellipse: painter.drawEllipse(box); break;
        case Shape::Polygon: painter.drawPolygon(shape.points); break;
        }
    }
    return picture;
}

QIcon icon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(image(size)));
    return icon;
}

QByteArray svg()
{
    QByteArray text = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                                        "viewBox=\"0 0 256 256\">\n");
    for (const Shape &shape : Shapes()) {
        const QByteArray fill = shape.fill.name().toLatin1();
        const QRectF box(shape.points.value(0), shape.points.value(1));
        switch (shape.kind) {
        case Shape::RoundedRectangle:
            text += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"%6\"/>\n")
                        .arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height()).arg(shape.radius)
                        .arg(QString::fromLatin1(fill)).toLatin1();
            break;
        case Shape::Ellipse:
            text += QStringLiteral("  <ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"%4\" fill=\"%5\"/>\n")
                        .arg(box.center().x()).arg(box.center().y()).arg(box.width() / 2).arg(box.height() / 2)
                        .arg(QString::fromLatin1(fill)).toLatin1();
            break;
        case Shape::Polygon: {
            QStringList points;
            for (const QPointF &point : shape.points)
                points.append(QStringLiteral("%1,%2").arg(point.x()).arg(point.y()));
            text += QStringLiteral("  <polygon points=\"%1\" fill=\"%2\"/>\n")
                        .arg(points.join(QLatin1Char(' ')), QString::fromLatin1(fill)).toLatin1();
            break;
        }
        }
    }
    return text + "</svg>\n";
}

} // namespace ProgramIcon
