#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

// A JPEG writer on libjpeg-turbo that makes pictures of any size row by row
// (a 12000 x 9000 test photo never exists whole in memory), baseline or
// progressive, with the EXIF block a camera writes: an orientation and a
// small copy of the picture. For sample folders, tests and benchmark data.
namespace JpegWriter {

struct Options
{
    bool progressive = false;
    int quality = 85;
    // EXIF orientation 1 to 8; 0 writes no EXIF block unless a thumbnail is given.
    int orientation = 0;
    // Stored as the EXIF thumbnail when not null (itself as a small JPEG).
    QImage exifThumbnail;
    // The EXIF date the photo was taken ("yyyy:MM:dd HH:mm:ss"); none when empty.
    QByteArray dateTaken;
};

// Fills one row of width RGB triples for row y.
using RowSource = std::function<void(int y, uchar *rgb)>;

bool write(const QString &path, int width, int height, const RowSource &rows, const Options &options = Options());
QByteArray encode(const QImage &image, const Options &options = Options());

// The same JPEG claiming another size in its frame header: what a damaged
// or hostile file looks like. Empty when no frame header is found.
QByteArray withClaimedSize(const QByteArray &jpeg, int width, int height);

} // namespace JpegWriter
