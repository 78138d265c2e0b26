// Makes the benchmark folders: kuroeview-benchdata FOLDER [SET...] (every set
// when none is named).
//   FOLDER/photos   40 photos of 4000 x 3000 with fine detail (baseline JPEG)
//   FOLDER/camera   40 photos as cameras write them: 24 MP, half progressive,
//                   half with an EXIF thumbnail, some turned (orientation 6, 8)
//   FOLDER/small    2,000 small BMP, ICO and GIF files
//   FOLDER/many     10,000 small BMP files
//   FOLDER/phone   40 HEIC photos of 12 MP with their thumbnails, as phones
//                  write them (through heif-enc, libheif-examples)
//   FOLDER/raw     40 camera DNGs: a 24 MP Bayer mosaic, a full-size JPEG
//                  preview and a small thumbnail, some turned
//   FOLDER/web     200 PNG, WebP and AVIF pictures of 1 to 4 MP
//   FOLDER/photos1000
//                   1,000 names linking to the 40 photos (made with them), a
//                   phone's year of photos that takes no room
//   FOLDER/tiny50k, FOLDER/tiny100k
//                   50,000 and 100,000 tiny BMP, ICO and GIF pictures (hard
//                   links to a few files, so that they take no room)
#include "jpegwriter.h"
#include "picturewriters.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRandomGenerator>

#include <cmath>
#include <functional>
#include <string_view>
#include <cstdio>
#include <unistd.h>

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

// A camera's 24 MP photo, written row by row from a small photo scaled up
// with grain, as the camera stored it (turned pictures lie on their side).
bool CameraPhoto(const QString &path, int index)
{
    const bool turned = index % 5 == 3;
    const int width = 6000;
    const int height = 4000;
    const QImage small = Photo(600, 400, 5000 + index);
    JpegWriter::Options options;
    options.progressive = index % 2 == 1;
    options.quality = 90;
    if (index % 4 < 2)
        options.exifThumbnail = small.scaled(160, 107, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (turned)
        options.orientation = index % 10 == 3 ? 6 : 8;
    QRandomGenerator random(index);
    return JpegWriter::write(path, width, height, [&](int y, uchar *rgb) {
        const QRgb *line = reinterpret_cast<const QRgb *>(small.constScanLine(y * small.height() / height));
        for (int x = 0; x < width; ++x, rgb += 3) {
            const QRgb p = line[x * small.width() / width];
            const int grain = int(random.bounded(16)) - 8;
            rgb[0] = uchar(std::clamp(qRed(p) + grain, 0, 255));
            rgb[1] = uchar(std::clamp(qGreen(p) + grain, 0, 255));
            rgb[2] = uchar(std::clamp(qBlue(p) + grain, 0, 255));
        }
    }, options);
}

// A camera's DNG of the same kind: the 24 MP Bayer mosaic of 12 bits, a
// full-size JPEG preview and a 256-pixel thumbnail (turned ones lie on their side).
bool CameraRaw(const QString &path, int index, const QDir &root)
{
    const int width = 6000;
    const int height = 4000;
    const QImage small = Photo(600, 400, 6000 + index);
    const QString preview = root.filePath(QStringLiteral("sources/raw-preview.jpg"));
    root.mkpath(QStringLiteral("sources"));
    JpegWriter::Options options;
    options.quality = 90;
    QRandomGenerator grain(index);
    const auto pixel = [&](int x, int y) { return small.pixel(x * small.width() / width, y * small.height() / height); };
    if (!JpegWriter::write(preview, width, height, [&](int y, uchar *rgb) {
            for (int x = 0; x < width; ++x, rgb += 3) {
                const QRgb p = pixel(x, y);
                const int g = int(grain.bounded(16)) - 8;
                rgb[0] = uchar(std::clamp(qRed(p) + g, 0, 255));
                rgb[1] = uchar(std::clamp(qGreen(p) + g, 0, 255));
                rgb[2] = uchar(std::clamp(qBlue(p) + g, 0, 255));
            }
        }, options))
        return false;
    QFile jpeg(preview);
    if (!jpeg.open(QIODevice::ReadOnly))
        return false;
    PictureWriters::Dng dng;
    dng.width = width;
    dng.height = height;
    dng.previewJpeg = jpeg.readAll();
    dng.previewSize = QSize(width, height);
    dng.thumbnail = small.scaled(256, 171, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    dng.orientation = index % 5 == 3 ? (index % 10 == 3 ? 6 : 8) : 1;
    // RGGB: red on even rows' even columns, blue on odd rows' odd columns.
    dng.rows = [&](int y, quint16 *row) {
        for (int x = 0; x < width; ++x) {
            const QRgb p = pixel(x, y);
            const int value = (y % 2 == 0 ? (x % 2 == 0 ? qRed(p) : qGreen(p)) : (x % 2 == 0 ? qGreen(p) : qBlue(p)));
            row[x] = quint16(std::clamp(value * 16 + int(grain.bounded(64)) - 32, 0, 4095));
        }
    };
    return PictureWriters::save(path, PictureWriters::dng(dng));
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

void SaveSmall(const QImage &image, const QString &base, int kind)
{
    switch (kind % 3) {
    case 0: image.convertToFormat(QImage::Format_RGB32).save(base + QStringLiteral(".bmp"), "BMP"); break;
    case 1: PictureWriters::save(base + QStringLiteral(".ico"), PictureWriters::icon(image)); break;
    default: PictureWriters::save(base + QStringLiteral(".gif"), PictureWriters::gif(image)); break;
    }
}

// count names linking to a few small pictures of each kind.
void LinkedFolder(const QDir &root, const QString &name, int count)
{
    const QString folder = root.filePath(name);
    if (QDir(folder).exists() && QDir(folder).count() >= uint(count) + 2)
        return;
    QDir(folder).removeRecursively();
    root.mkpath(name);
    root.mkpath(QStringLiteral("sources"));
    const char *suffixes[] = {".bmp", ".ico", ".gif"};
    for (int kind = 0; kind < 3; ++kind)
        SaveSmall(Small(kind * 7), root.filePath(QStringLiteral("sources/source%1").arg(kind)), kind);
    for (int i = 0; i < count; ++i) {
        const int kind = i % 3;
        const QByteArray source = QFile::encodeName(root.filePath(QStringLiteral("sources/source%1%2").arg(kind).arg(QLatin1String(suffixes[kind]))));
        const QByteArray target = QFile::encodeName(QStringLiteral("%1/t%2%3").arg(folder).arg(i, 6, 10, QLatin1Char('0')).arg(QLatin1String(suffixes[kind])));
        if (::link(source.constData(), target.constData()) != 0)
            std::perror(target.constData());
    }
}

// Writes a picture through heif-enc: a HEIC with a 320-pixel thumbnail, or an AVIF.
bool HeifEncode(const QImage &image, const QString &path, bool avif, const QDir &root)
{
    const QString source = root.filePath(QStringLiteral("sources/heif-source.png"));
    root.mkpath(QStringLiteral("sources"));
    if (!image.save(source, "PNG"))
        return false;
    const QStringList arguments = avif ? QStringList{"-A", "-q", "60", "-o", path, source}
                                       : QStringList{"-q", "60", "-t", "320", "-o", path, source};
    QProcess encoder;
    encoder.start(QStringLiteral("heif-enc"), arguments);
    return encoder.waitForFinished(300000) && encoder.exitStatus() == QProcess::NormalExit && encoder.exitCode() == 0;
}

// count files in folder named prefix + number + suffix, made from a few
// distinct pictures (encoding them is slow) and copies of those.
void CopiedSet(const QDir &root, const QString &folder, int count, int distinct, const QString &prefix,
               const QString &suffix, const std::function<bool(const QString &, int)> &make)
{
    root.mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QString path = root.filePath(QStringLiteral("%1/%2%3%4").arg(folder, prefix).arg(i, 4, 10, QLatin1Char('0')).arg(suffix));
        if (QFile::exists(path))
            continue;
        const bool made = i < distinct
                              ? make(path, i)
                              : QFile::copy(root.filePath(QStringLiteral("%1/%2%3%4").arg(folder, prefix).arg(i % distinct, 4, 10, QLatin1Char('0')).arg(suffix)), path);
        if (!made)
            std::fprintf(stderr, "could not make %s\n", qPrintable(path));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kuroeview-benchdata FOLDER [SET...]\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    QStringList sets;
    for (int i = 2; i < argc; ++i)
        sets << QString::fromLocal8Bit(argv[i]);
    const auto wanted = [&](const char *set) { return sets.isEmpty() || sets.contains(QLatin1String(set)); };
    for (const char *name : {"photos", "camera", "small", "many"})
        if (wanted(name) || (wanted("photos1000") && name == std::string_view("photos")))
            root.mkpath(QLatin1String(name));
    for (int i = 0; i < 40 && (wanted("photos") || wanted("photos1000") || wanted("camera")); ++i) {
        const QString path = root.filePath(QStringLiteral("photos/photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        if ((wanted("photos") || wanted("photos1000")) && !QFile::exists(path))
            Photo(4000, 3000, 1000 + i).save(path, "JPEG", 90);
        const QString camera = root.filePath(QStringLiteral("camera/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        if (wanted("camera") && !QFile::exists(camera) && !CameraPhoto(camera, i))
            std::perror(qPrintable(camera));
    }
    for (int i = 0; i < 2000 && wanted("small"); ++i) {
        const QString base = root.filePath(QStringLiteral("small/s%1").arg(i, 4, 10, QLatin1Char('0')));
        if (!QFile::exists(base + QStringLiteral(".bmp")) && !QFile::exists(base + QStringLiteral(".ico")) &&
            !QFile::exists(base + QStringLiteral(".gif")))
            SaveSmall(Small(i), base, i);
    }
    for (int i = 0; i < 10000 && wanted("many"); ++i) {
        const QString path = root.filePath(QStringLiteral("many/m%1.bmp").arg(i, 5, 10, QLatin1Char('0')));
        if (!QFile::exists(path))
            Small(i).convertToFormat(QImage::Format_RGB32).save(path, "BMP");
    }
    // Phone photos of 4032 x 3024, and web pictures of 1 to 4 MP.
    if (wanted("phone"))
        CopiedSet(root, QStringLiteral("phone"), 40, 4, QStringLiteral("IMG_"), QStringLiteral(".HEIC"),
                  [&](const QString &path, int i) { return HeifEncode(Photo(4032, 3024, 7000 + i), path, false, root); });
    // Camera DNGs of 24 MP with full-size previews.
    if (wanted("raw"))
        CopiedSet(root, QStringLiteral("raw"), 40, 40, QStringLiteral("DSC_"), QStringLiteral(".dng"),
                  [&](const QString &path, int i) { return CameraRaw(path, i, root); });
    const auto webSize = [](int i) { return QSize(1200 + (i % 5) * 200, 900 + (i % 7) * 150); };
    if (wanted("web")) {
        CopiedSet(root, QStringLiteral("web"), 70, 70, QStringLiteral("png"), QStringLiteral(".png"),
                  [&](const QString &path, int i) { return Photo(webSize(i).width(), webSize(i).height(), 8000 + i).save(path, "PNG"); });
        CopiedSet(root, QStringLiteral("web"), 70, 70, QStringLiteral("webp"), QStringLiteral(".webp"),
                  [&](const QString &path, int i) { return Photo(webSize(i).width(), webSize(i).height(), 8100 + i).save(path, "WEBP", 80); });
        CopiedSet(root, QStringLiteral("web"), 60, 4, QStringLiteral("avif"), QStringLiteral(".avif"),
                  [&](const QString &path, int i) { return HeifEncode(Photo(webSize(i).width() * 3 / 2, webSize(i).height() * 3 / 2, 8200 + i), path, true, root); });
    }
    // 100,000 names of eight photos of 544 x 408, for large cells (not in the default sets).
    if (sets.contains(QLatin1String("medium100k"))) {
        root.mkpath(QStringLiteral("medium100k"));
        root.mkpath(QStringLiteral("sources"));
        for (int i = 0; i < 8; ++i) {
            const QString source = root.filePath(QStringLiteral("sources/medium%1.jpg").arg(i));
            if (!QFile::exists(source))
                Photo(544, 408, 9000 + i).save(source, "JPEG", 85);
        }
        for (int i = 0; i < 100000; ++i) {
            const QByteArray source = QFile::encodeName(root.filePath(QStringLiteral("sources/medium%1.jpg").arg(i % 8)));
            const QByteArray target = QFile::encodeName(root.filePath(QStringLiteral("medium100k/m%1.jpg").arg(i, 6, 10, QLatin1Char('0'))));
            if (!QFile::exists(QString::fromLocal8Bit(target)) && ::link(source.constData(), target.constData()) != 0)
                std::perror(target.constData());
        }
    }
    if (wanted("photos1000")) {
        root.mkpath(QStringLiteral("photos1000"));
        for (int i = 0; i < 1000; ++i) {
            const QByteArray source = QFile::encodeName(root.filePath(QStringLiteral("photos/photo%1.jpg").arg(i % 40, 2, 10, QLatin1Char('0'))));
            const QByteArray target = QFile::encodeName(root.filePath(QStringLiteral("photos1000/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
            if (!QFile::exists(QString::fromLocal8Bit(target)) && ::link(source.constData(), target.constData()) != 0)
                std::perror(target.constData());
        }
    }
    if (wanted("tiny50k"))
        LinkedFolder(root, QStringLiteral("tiny50k"), 50000);
    if (wanted("tiny100k"))
        LinkedFolder(root, QStringLiteral("tiny100k"), 100000);
    return 0;
}
