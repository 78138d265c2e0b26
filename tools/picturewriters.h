#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Writers for the picture formats the program reads and Qt cannot save:
// GIF (uncompressed LZW codes), CUR (an icon directory of type 2) and a
// small placeable WMF. Used to make sample folders and test pictures.
namespace PictureWriters {

QByteArray gif(const QImage &image);
QByteArray cursor(const QImage &image, int hotspotX = 0, int hotspotY = 0);
QByteArray icon(const QImage &image);
// A placeable metafile of width x height units at unitsPerInch, filled with
// one rectangle of the given colour on a white background.
QByteArray metafileRectangle(int width, int height, int unitsPerInch, QRgb colour);

bool save(const QString &path, const QByteArray &bytes);

} // namespace PictureWriters
