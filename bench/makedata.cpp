// Makes the benchmark folders: kuroeview-benchdata FOLDER.
//   FOLDER/photos  40 photos of 4000 x 3000 with fine detail (JPEG)
//   FOLDER/small   2,000 small BMP, ICO and GIF files
//   FOLDER/many    10,000 small BMP files
#include "picturewriters.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>

namespace {

// A landscape-like photo: sky gradient, hills, and per-pixel grain that
// JPEG has to work at, as in real camera pictures.
QImage Photo(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv(200 + random.bounded(20), 120, 240));
    sky.setColorAt(1, QColor::fromHsv(30 + random.bounded(40), 60, 200));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int layer = 0; layer < 5; ++layer) {
        QPainterPath hills(QPointF(0, height));
        const double base = height * (0.45 + layer * 0.1);
        for (int x = 0; x <= width; x += width / 40)
            hills.lineTo(x, base + std::sin(x * 0.002 * (layer + 1) + seed) * height * 0.08 + random.bounded(40));
        hills.lineTo(width, height);
        painter.fillPath(hills, QColor::fromHsv(80 + layer * 20 + random.bounded(30), 150, 160 - layer * 20));
    }
    for (int i = 0; i < 400; ++i)
        painter.fillRect(QRectF(random.bounded(width), random.bounded(height), 3 + random.bounded(60),
                                3 + random.bounded(60)),
                         QColor::fromHsv(random.bounded(360), random.bounded(255), random.bounded(255)));
    painter.end();
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(24)) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + grain, 0, 255), std::clamp(qGreen(p) + grain, 0, 255),
                           std::clamp(qBlue(p) + grain, 0, 255));
        }
    }
    return image;
}

QImage Small(int index)
{
    QImage image(16 + index % 48, 16 + index % 32, QImage::Format_ARGB32);
    image.fill(QColor::fromHsv(index * 37 % 360, 200, 220));
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.drawEllipse(image.rect().adjusted(2, 2, -3, -3));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kuroeview-benchdata FOLDER\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const char *name : {"photos", "small", "many"})
        root.mkpath(QLatin1String(name));
    for (int i = 0; i < 40; ++i) {
        const QString path = root.filePath(QStringLiteral("photos/photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        if (!QFile::exists(path))
            Photo(4000, 3000, 1000 + i).save(path, "JPEG", 90);
    }
    for (int i = 0; i < 2000; ++i) {
        const QImage image = Small(i);
        const QString base = root.filePath(QStringLiteral("small/s%1").arg(i, 4, 10, QLatin1Char('0')));
        switch (i % 3) {
        case 0: image.convertToFormat(QImage::Format_RGB32).save(base + QStringLiteral(".bmp"), "BMP"); break;
        case 1: PictureWriters::save(base + QStringLiteral(".ico"), PictureWriters::icon(image)); break;
        default: PictureWriters::save(base + QStringLiteral(".gif"), PictureWriters::gif(image)); break;
        }
    }
    for (int i = 0; i < 10000; ++i)
        Small(i).convertToFormat(QImage::Format_RGB32)
            .save(root.filePath(QStringLiteral("many/m%1.bmp").arg(i, 5, 10, QLatin1Char('0'))), "BMP");
    return 0;
}
