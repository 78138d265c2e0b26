#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>

// Writers for the picture formats the program reads and Qt cannot save:
// GIF, still and animated (uncompressed LZW codes), CUR (an icon directory of type 2) and a
// small placeable WMF, and a camera's DNG. Used to make sample folders, test
// pictures and benchmark data.
namespace PictureWriters {

QByteArray gif(const QImage &image);
// Frames of one size, each shown for the delay, looping for ever.
QByteArray animatedGif(const QList<QImage> &frames, int delayMilliseconds);
QByteArray cursor(const QImage &image, int hotspotX = 0, int hotspotY = 0);
QByteArray icon(const QImage &image);
// A placeable metafile of width x height units at unitsPerInch, filled with
// one rectangle of the given colour on a white background.
QByteArray metafileRectangle(int width, int height, int unitsPerInch, QRgb colour);

// A DNG as cameras and converters write it: a small RGB thumbnail in the
// first directory, the Bayer mosaic (RGGB, 16-bit samples of 12 bits) and a
// full-size JPEG preview in two sub-directories.
struct Dng
{
    // The sensor's stored size; rows fills width samples of row y.
    int width = 0;
    int height = 0;
    std::function<void(int y, quint16 *row)> rows;
    // The preview as a JPEG of the sensor's stored shape; none when empty.
    QByteArray previewJpeg;
    QSize previewSize;
    // Stored uncompressed in the first directory; none when null.
    QImage thumbnail;
    // The TIFF orientation, 1 to 8.
    int orientation = 1;
    QByteArray model = "KuRoE Bench 24";
};
QByteArray dng(const Dng &picture);

bool save(const QString &path, const QByteArray &bytes);

} // namespace PictureWriters
