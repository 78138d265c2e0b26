// Makes a folder of sample pictures, one of each type the program lists:
// kuroeview-samples FOLDER
#include "picturewriters.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTextStream>

namespace {

QImage scene(int width, int height, QColor sky, QColor ground, bool transparent = false)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(transparent ? Qt::transparent : sky);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (!transparent) {
        painter.setBrush(ground);
        painter.drawRect(0, height * 2 / 3, width, height - height * 2 / 3);
    }
    painter.setBrush(QColor(255, 200, 0));
    painter.drawEllipse(QPointF(width * 0.7, height * 0.3), width * 0.15, width * 0.15);
    painter.setBrush(QColor(200, 30, 30));
    painter.drawRect(QRectF(width * 0.15, height * 0.45, width * 0.3, height * 0.3));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: kuroeview-samples FOLDER\n";
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        err << "cannot create " << folder.path() << "\n";
        return 1;
    }
    bool ok = true;
    ok &= scene(640, 480, QColor(120, 180, 255), QColor(60, 160, 60)).save(folder.filePath(QStringLiteral("photo.jpg")), "JPG", 90);
    ok &= scene(320, 200, QColor(255, 240, 200), QColor(160, 110, 60)).convertToFormat(QImage::Format_RGB888).save(folder.filePath(QStringLiteral("landscape.bmp")), "BMP");
    // The sun going down, in eight frames of 0.15 s.
    QList<QImage> frames;
    for (int i = 0; i < 8; ++i) {
        QImage frame = scene(200, 300, QColor(230, 230 - i * 12, 255 - i * 20), QColor(90, 90, 200));
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 120 + i * 10, 0));
        painter.drawEllipse(QPointF(40 + i * 15, 40 + i * 20), 18, 18);
        frames << frame;
    }
    ok &= PictureWriters::save(folder.filePath(QStringLiteral("animation.gif")), PictureWriters::animatedGif(frames, 150));
    // A camera's RAW: its mosaic, a full-size JPEG preview and a small thumbnail.
    const QImage shot = scene(600, 400, QColor(150, 200, 250), QColor(80, 150, 70)).convertToFormat(QImage::Format_RGB32);
    QByteArray preview;
    {
        QBuffer buffer(&preview);
        buffer.open(QIODevice::WriteOnly);
        ok &= shot.save(&buffer, "JPG", 90);
    }
    PictureWriters::Dng raw;
    raw.width = shot.width();
    raw.height = shot.height();
    raw.rows = [&](int y, quint16 *row) {
        const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x)
            row[x] = quint16(16 * (y % 2 == 0 ? (x % 2 == 0 ? qRed(line[x]) : qGreen(line[x]))
                                              : (x % 2 == 0 ? qGreen(line[x]) : qBlue(line[x]))));
    };
    raw.previewJpeg = preview;
    raw.previewSize = shot.size();
    raw.thumbnail = shot.scaled(150, 100, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    ok &= PictureWriters::save(folder.filePath(QStringLiteral("camera.dng")), PictureWriters::dng(raw));
    ok &= PictureWriters::save(folder.filePath(QStringLiteral("star.ico")),
                               PictureWriters::icon(scene(32, 32, Qt::white, Qt::white, true)));
    ok &= PictureWriters::save(folder.filePath(QStringLiteral("pointer.cur")),
                               PictureWriters::cursor(scene(32, 32, Qt::white, Qt::white, true), 1, 1));
    ok &= PictureWriters::save(folder.filePath(QStringLiteral("clipart.wmf")),
                               PictureWriters::metafileRectangle(2880, 1440, 1440, qRgb(0, 120, 200)));
    // The pictures of today: a camera JPEG named .jpeg, a screenshot, a web picture, a scan, an icon.
    ok &= scene(480, 360, QColor(200, 220, 255), QColor(90, 140, 60)).save(folder.filePath(QStringLiteral("camera.jpeg")), "JPG", 90);
    ok &= scene(400, 250, QColor(240, 240, 240), QColor(60, 60, 70)).save(folder.filePath(QStringLiteral("screenshot.png")), "PNG");
    ok &= scene(300, 300, QColor(255, 220, 230), QColor(200, 80, 120)).save(folder.filePath(QStringLiteral("web.webp")), "WEBP", 85);
    ok &= scene(360, 480, QColor(250, 250, 235), QColor(120, 110, 90)).save(folder.filePath(QStringLiteral("scan.tif")), "TIFF");
    QFile icon(folder.filePath(QStringLiteral("icon.svg")));
    ok &= icon.open(QIODevice::WriteOnly) &&
          icon.write("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"96\" height=\"96\" viewBox=\"0 0 96 96\">"
                     "<circle cx=\"48\" cy=\"48\" r=\"40\" fill=\"#ffc800\"/>"
                     "<rect x=\"24\" y=\"40\" width=\"48\" height=\"16\" rx=\"8\" fill=\"#c81e1e\"/></svg>\n") > 0;
    if (!ok) {
        err << "could not write every sample to " << folder.path() << "\n";
        return 1;
    }
    return 0;
}
