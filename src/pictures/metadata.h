#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <vector>

// What a picture file holds beside its pixels, for the プロパティ window:
// the file's facts, the picture's format, colour profile and frames, and
// what the camera recorded (make, model, lens, exposure, date, position),
// read with exiv2 from JPEG, TIFF, RAW, HEIF/AVIF/CR3, PNG, WebP and GIF.
// Safe to call from any thread once Initialise has run.
namespace Metadata {

// Sets exiv2 up for reading on several threads (its XMP parser under a
// lock, the ISO media formats turned on); called once, before any thread
// reads metadata.
void Initialise();

struct Field
{
    QString label;
    QString value;
};

struct Section
{
    QString title;
    std::vector<Field> fields;
};

struct Shown
{
    // The file as the program names it: its name and folder ("C:\...").
    QString name;
    QString folder;
    // The picture's pixels as shown, and a RAW's sensor when it is larger.
    QSize pixels;
    QSize sensor;
};

// The sections ファイル, 画像 and (when the file has any) カメラ. A file exiv2
// cannot read gives the first two; nothing read can throw.
std::vector<Section> Read(const QByteArray &nativePath, const Shown &shown);

// The sections as plain text, a label and its value on each line.
QString AsText(const std::vector<Section> &sections);

} // namespace Metadata
