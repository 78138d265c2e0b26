#include "app/mainwindow.h"
#include "catalogue/thumbnailarea.h"
#include "core/picturetypes.h"
#include "core/programstate.h"
#include "memorywatch.h"
#include "jpegwriter.h"
#include "picturewriters.h"
#include "files/filelist.h"
#include "pictures/jpegdecoder.h"
#include "pictures/pictureloader.h"
#include "pictures/frames.h"
#include "pictures/metadata.h"
#include "platform/twips.h"
#include "pictures/rawdecoder.h"
#include "viewer/animationplayer.h"
#include "loadedwindow.h"
#include "sandbox.h"
#include "files/nativefile.h"
#include "pictures/sharedthumbnails.h"
#include "viewer/viewerwindow.h"
#include "viewer/selection.h"
#include "widgets/picturebox.h"

#include <QColorSpace>
#include <QDir>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QCryptographicHash>
#include <QTest>
#include <QUrl>
#include <QtEndian>

#include <array>
#include <cstdio>
#include <functional>
#include <vector>

#include <exiv2/exiv2.hpp>
#include <tiffio.h>

namespace {

using Browser = LoadedWindow;

QImage Sample(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 200));
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, QColor(220, 60, 30));
    return image;
}

bool Save(const QImage &image, const QString &path, const char *format)
{
    QImageWriter writer(path, format);
    return writer.write(image);
}

QString Corpus(const QString &relative)
{
    const QString path = QStringLiteral(KUROEVIEW_CORPUS_DIR "/") + relative;
    return QFile::exists(path) ? path : QString();
}

// An animated GIF of frames side x side drawn at spread places on a canvas of width x height, each of one
// colour, that plays for ever. Its codes stay three bits wide (a clear code after every two pixels), so
// the file stays small whatever the canvas.
QByteArray AnimatedGif(int width, int height, int frames, int side)
{
    QByteArray gif("GIF89a");
    const auto u16 = [&](int value) {
        gif.append(char(value & 0xff));
        gif.append(char((value >> 8) & 0xff));
    };
    u16(width);
    u16(height);
    gif.append("\x80\x00\x00", 3);
    gif.append("\xff\x00\x00\x00\x00\xff", 6);
    gif.append("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int f = 0; f < frames; ++f) {
        gif.append("\x21\xf9\x04\x04", 4);
        u16(2);
        gif.append("\x00\x00", 2);
        gif.append(char(0x2c));
        u16((f * 731) % (width - side));
        u16((f * 593) % (height - side));
        u16(side);
        u16(side);
        gif.append(char(0));
        gif.append(char(2));
        QByteArray data;
        quint32 bits = 0;
        int count = 0;
        const auto code = [&](int value) {
            bits |= quint32(value) << count;
            count += 3;
            while (count >= 8) {
                data.append(char(bits & 0xff));
                bits >>= 8;
                count -= 8;
            }
        };
        code(4);
        for (int pixel = 0; pixel < side * side; pixel += 2) {
            code(f % 2);
            code(f % 2);
            code(4);
        }
        code(5);
        if (count > 0)
            data.append(char(bits & 0xff));
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            gif.append(char(block.size()));
            gif.append(block);
        }
        gif.append(char(0));
    }
    gif.append(char(0x3b));
    return gif;
}

quint32 Crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A real small PNG whose header claims width x height.
QByteArray ClaimingPng(quint32 width, quint32 height)
{
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        Sample(8, 8).save(&buffer, "PNG");
    }
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    qToBigEndian(Crc32(png.mid(12, 17)), png.data() + 29);
    return png;
}

// A real small little-endian TIFF whose first page claims width x height.
QByteArray ClaimingTiff(quint32 width, quint32 height)
{
    QByteArray tiff;
    {
        QBuffer buffer(&tiff);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "TIFF");
        writer.write(Sample(8, 8));
    }
    if (!tiff.startsWith("II*"))
        return QByteArray();
    const quint32 directory = qFromLittleEndian<quint32>(tiff.constData() + 4);
    const quint16 entries = qFromLittleEndian<quint16>(tiff.constData() + directory);
    for (int i = 0; i < entries; ++i) {
        char *entry = tiff.data() + directory + 2 + i * 12;
        const quint16 tag = qFromLittleEndian<quint16>(entry);
        if (tag == 256 || tag == 257) {
            qToLittleEndian<quint16>(4, entry + 2);
            qToLittleEndian<quint32>(1, entry + 4);
            qToLittleEndian<quint32>(tag == 256 ? width : height, entry + 8);
        }
    }
    return tiff;
}

// A small TIFF whose tiles claim to be a million pixels square (terabytes each).
QByteArray HugeTileTiff()
{
    QByteArray tiff("II*\0", 4);
    const auto add = [&](auto value) {
        char bytes[sizeof(value)];
        qToLittleEndian(value, bytes);
        tiff.append(bytes, sizeof(value));
    };
    add(quint32(8));
    const QList<std::array<quint32, 3>> entries{{256, 4, 8}, {257, 4, 8}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1},
                                                {277, 3, 1}, {322, 4, 1u << 20}, {323, 4, 1u << 20}, {324, 4, 200},
                                                {325, 4, 64}};
    add(quint16(entries.size()));
    for (const auto &[tag, type, value] : entries) {
        add(quint16(tag));
        add(quint16(type));
        add(quint32(1));
        if (type == 3) {
            add(quint16(value));
            add(quint16(0));
        } else {
            add(value);
        }
    }
    add(quint32(0));
    tiff.append(QByteArray(300 - tiff.size(), '\x55'));
    return tiff;
}

// A TIFF of 12-bit samples (grey, or RGB), as scanners and cameras write them.
bool Write12BitTiff(const QString &path, int width, int height, bool rgb, const std::function<QRgb(int, int)> &pixel)
{
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return false;
    const int samples = rgb ? 3 : 1;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(12));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(samples));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(8));
    bool written = true;
    std::vector<uint8_t> line(size_t(width * samples * 12 + 7) / 8);
    for (int y = 0; y < height && written; ++y) {
        std::fill(line.begin(), line.end(), 0);
        for (int x = 0; x < width; ++x) {
            const QRgb colour = pixel(x, y);
            const int values[3] = {qRed(colour), qGreen(colour), qBlue(colour)};
            for (int c = 0; c < samples; ++c) {
                const uint32_t sample = uint32_t(values[c]) * 4095 / 255;
                const size_t bit = size_t(x * samples + c) * 12;
                for (int b = 0; b < 12; ++b)
                    if (sample & (1u << (11 - b)))
                        line[(bit + b) / 8] |= uint8_t(0x80 >> ((bit + b) % 8));
            }
        }
        written = TIFFWriteScanline(tiff, line.data(), uint32_t(y), 0) >= 0;
    }
    TIFFClose(tiff);
    return written;
}

// A lossless WebP header of the largest size the format allows.
QByteArray LargestWebp()
{
    QByteArray stream("\x2f", 1);
    const quint32 bits = 16383u | (16383u << 14);
    char packed[4];
    qToLittleEndian(bits, packed);
    stream.append(packed, 4);
    stream.append(QByteArray(64, '\0'));
    QByteArray chunk = "VP8L";
    char size[4];
    qToLittleEndian(quint32(stream.size()), size);
    chunk.append(size, 4).append(stream);
    QByteArray riff = "RIFF";
    qToLittleEndian(quint32(4 + chunk.size()), size);
    return riff.append(size, 4).append("WEBP").append(chunk);
}

// Entities that would expand to billions of characters.
QByteArray EntityBomb()
{
    QByteArray svg = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY a \"aaaaaaaaaaaaaaaaaaaa\">\n";
    for (int level = 1; level < 10; ++level) {
        svg += "<!ENTITY " + QByteArray(1, char('a' + level)) + " \"";
        for (int i = 0; i < 10; ++i)
            svg += "&" + QByteArray(1, char('a' + level - 1)) + ";";
        svg += "\">\n";
    }
    return svg + "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"><text>&j;</text></svg>\n";
}

} // namespace

class FormatsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void todaysPicturesBesideABitmap();
    void anOlderSettingsFileKeepsItsPattern();
    void bombsAreUndecodableWithinTheBudget();
    void twelveBitTiffsAreRead();
    void svgReadsNothingOutsideItself();
    void svgIsDrawnAgainAtEverySize();
    void wideGamutColoursComeOutInSrgb();
    void anEditedPhotoNeverShowsItsOldCopy();
    void camerasRawFilesShowTheirPreviews();
    void aSmallCellIsMadeFromTheCamerasThumbnail();
    void animationsPlayFrameByFrame();
    void aLargeAnimationPlaysWithinItsMemoryBound();
    void propertiesShowWhatTheCameraRecorded();
};

void FormatsTest::todaysPicturesBesideABitmap()
{
    // With no settings file, PNG, WebP, TIFF, HEIC, AVIF, JPEG XL, SVG and a JPEG named .jpeg each get a cell
    // with their own picture beside a BMP, and open in the viewer under their own name.
    Sandbox sandbox;
    sandbox.makeFolder("c/today");
    WritePicture(sandbox, "c/today/a.bmp");
    QStringList names{"a.bmp"};
    const auto add = [&](const QString &name, bool written) {
        QVERIFY2(written, qPrintable(name));
        names << name;
    };
    add("b.png", Save(Sample(300, 200), sandbox.onC("today/b.png"), "PNG"));
    add("c.webp", Save(Sample(300, 200), sandbox.onC("today/c.webp"), "WEBP"));
    add("d.tif", Save(Sample(300, 200), sandbox.onC("today/d.tif"), "TIFF"));
    add("e.jpeg", Save(Sample(300, 200), sandbox.onC("today/e.jpeg"), "JPEG"));
    add("f.svg", sandbox.writeFile("c/today/f.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"120\" height=\"60\">"
                                                    "<rect width=\"120\" height=\"60\" fill=\"#c03020\"/></svg>"));
    for (const auto &[relative, name] : {std::pair{"heif/valid/libheif_example.heic", "g.heic"},
                                         std::pair{"avif/valid/libavif_draw_points_idat.avif", "h.avif"},
                                         std::pair{"jxl/valid/jxlrs_basic.jxl", "i.jxl"}}) {
        const QString source = Corpus(QLatin1String(relative));
        if (!source.isEmpty())
            add(QLatin1String(name), QFile::copy(source, sandbox.onC(QStringLiteral("today/") + QLatin1String(name))));
    }
    Browser browser(sandbox);
    QCOMPARE(browser.form.fileList->pattern(), PictureTypes::DefaultPattern());
    browser.form.fileList->setPath(QStringLiteral("C:\\today"));
    QCOMPARE(browser.state.ThumbCount, int(names.size()));
    for (int i = 0; i < browser.state.ThumbCount; ++i) {
        const QString name = browser.form.fileList->list(i);
        QCOMPARE(name, names[i]);
        QVERIFY2(!browser.form.thumbnailArea->pictureAt(i).undecodable, qPrintable(name));
        QVERIFY2(!browser.form.thumbnailArea->pictureAt(i).picture.isNull(), qPrintable(name));
        browser.form.selection()->ThumbnailClicked(i);
        browser.form.selection()->ThumbnailDoubleClicked(i);
        ViewerWindow *viewer = browser.form.selection()->viewer();
        QVERIFY2(viewer, qPrintable(name));
        QCOMPARE(viewer->windowTitle(), name);
        viewer->Unload();
        FreeClosedWindows();
    }
}

void FormatsTest::anOlderSettingsFileKeepsItsPattern()
{
    // A settings file written by an older copy keeps its pattern until the dialog applies; the new boxes read
    // as ticked there.
    Sandbox sandbox;
    sandbox.writeFile("config/VoDaRadezu.INI", "[PATT]\nTYPE=*ICO;*BMP\n[CHKBOX]\nTYPE0=1\nTYPE1=1\nTYPE2=0\n");
    sandbox.makeFolder("c/today");
    WritePicture(sandbox, "c/today/a.bmp");
    QVERIFY(Save(Sample(30, 20), sandbox.onC("today/b.png"), "PNG"));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\today"));
    QCOMPARE(browser.state.ThumbCount, 1);
}

void FormatsTest::bombsAreUndecodableWithinTheBudget()
{
    // Files whose headers claim enormous pictures, and an SVG of entities that expand without bound, show the
    // undecodable mark in their cell, quickly and within the memory bound.
    Sandbox sandbox;
    sandbox.makeFolder("c/bombs");
    QVERIFY(sandbox.writeFile("c/bombs/a.png", ClaimingPng(100000, 100000)));
    const QByteArray tiff = ClaimingTiff(100000, 100000);
    QVERIFY(!tiff.isEmpty());
    QVERIFY(sandbox.writeFile("c/bombs/b.tif", tiff));
    QVERIFY(sandbox.writeFile("c/bombs/c.webp", LargestWebp()));
    QVERIFY(sandbox.writeFile("c/bombs/d.svg", EntityBomb()));
    QVERIFY(sandbox.writeFile("c/bombs/e.tif", HugeTileTiff()));
    MemoryWatch memory;
    memory.setDoing(QStringLiteral("loading the bombs"));
    MemoryWatch::resetPeak();
    const qint64 before = MemoryWatch::peakBytes();
    Browser browser(sandbox);
    QElapsedTimer clock;
    clock.start();
    browser.form.fileList->setPath(QStringLiteral("C:\\bombs"));
    QCOMPARE(browser.state.ThumbCount, 5);
    for (int i = 0; i < 5; ++i)
        QVERIFY2(browser.form.thumbnailArea->pictureAt(i).undecodable, qPrintable(browser.form.fileList->list(i)));
    QVERIFY(clock.elapsed() < 10000);
    QVERIFY(MemoryWatch::peakBytes() - before < 600LL * 1024 * 1024);
}

void FormatsTest::twelveBitTiffsAreRead()
{
    // TIFFs of 12-bit samples, grey and RGB, turned upright by their orientation where they have one.
    Sandbox sandbox;
    sandbox.makeFolder("c/scans");
    const auto gradient = [](int x, int) { return qRgb(x * 255 / 63, x * 255 / 63, x * 255 / 63); };
    const auto halves = [](int x, int) { return x < 32 ? qRgb(220, 40, 30) : qRgb(30, 60, 210); };
    QVERIFY(Write12BitTiff(sandbox.onC("scans/grey.tif"), 64, 48, false, gradient));
    QVERIFY(Write12BitTiff(sandbox.onC("scans/colour.tif"), 64, 48, true, halves));
    const std::optional<Picture> grey = PictureLoader::Load(QFile::encodeName(sandbox.onC("scans/grey.tif")));
    QVERIFY(grey);
    QCOMPARE(grey->image.size(), QSize(64, 48));
    QVERIFY(std::abs(qGray(grey->image.pixel(0, 10)) - 0) <= 2);
    QVERIFY(std::abs(qGray(grey->image.pixel(63, 10)) - 255) <= 2);
    QVERIFY(std::abs(qGray(grey->image.pixel(32, 10)) - 129) <= 3);
    const std::optional<Picture> colour = PictureLoader::Load(QFile::encodeName(sandbox.onC("scans/colour.tif")));
    QVERIFY(colour);
    const QColor left = colour->image.pixelColor(5, 5);
    const QColor right = colour->image.pixelColor(60, 5);
    QVERIFY2(std::abs(left.red() - 220) <= 2 && std::abs(left.blue() - 30) <= 2, qPrintable(left.name()));
    QVERIFY2(std::abs(right.red() - 30) <= 2 && std::abs(right.blue() - 210) <= 2, qPrintable(right.name()));
    QCOMPARE(*PictureLoader::NaturalSize(QFile::encodeName(sandbox.onC("scans/colour.tif")), 15, 15), QSizeF(960, 720));
}

void FormatsTest::svgReadsNothingOutsideItself()
{
    // An SVG that refers to a picture beside it draws without it: the program reads no other file for it.
    Sandbox sandbox;
    sandbox.makeFolder("c/svg");
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    QVERIFY(red.save(sandbox.onC("svg/secret.png"), "PNG"));
    const QByteArray document = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                                "width=\"40\" height=\"40\"><rect width=\"40\" height=\"40\" fill=\"white\"/>"
                                "<image x=\"0\" y=\"0\" width=\"40\" height=\"40\" xlink:href=\"secret.png\"/>"
                                "<image x=\"0\" y=\"0\" width=\"40\" height=\"40\" xlink:href=\"" +
                                QUrl::fromLocalFile(sandbox.onC("svg/secret.png")).toEncoded() + "\"/></svg>";
    QVERIFY(sandbox.writeFile("c/svg/refers.svg", document));
    QDir::setCurrent(sandbox.onC("svg"));
    const std::optional<Picture> picture = PictureLoader::Load(QFile::encodeName(sandbox.onC("svg/refers.svg")));
    QVERIFY(picture && picture->drawing);
    const QImage drawn = picture->image.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(drawn.pixelColor(20, 20), QColor(Qt::white));
}

void FormatsTest::svgIsDrawnAgainAtEverySize()
{
    // An SVG keeps its description: its natural size comes from the document, and a larger rendering is drawn
    // anew, with sharp edges, not stretched from the small one.
    Sandbox sandbox;
    sandbox.makeFolder("c/svg");
    QVERIFY(sandbox.writeFile("c/svg/half.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\" "
                                                 "width=\"20\" height=\"20\"><rect width=\"5\" height=\"10\" fill=\"black\"/></svg>"));
    const std::optional<Picture> picture = PictureLoader::Load(QFile::encodeName(sandbox.onC("svg/half.svg")));
    QVERIFY(picture && picture->drawing);
    QCOMPARE(QSizeF(picture->widthTwips, picture->heightTwips), QSizeF(20 * 15.0, 20 * 15.0));
    const QImage large = picture->drawing->Render(QSize(400, 400)).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(qAlpha(large.pixel(198, 200)), 255);
    QCOMPARE(qAlpha(large.pixel(202, 200)), 0);
}

void FormatsTest::wideGamutColoursComeOutInSrgb()
{
    // A picture whose file carries a Display P3 profile is shown converted to sRGB.
    Sandbox sandbox;
    sandbox.makeFolder("c/colours");
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(QColor(60, 170, 90));
    image.setColorSpace(QColorSpace::DisplayP3);
    QVERIFY(image.save(sandbox.onC("colours/p3.png"), "PNG"));
    const std::optional<Picture> picture = PictureLoader::Load(QFile::encodeName(sandbox.onC("colours/p3.png")));
    QVERIFY(picture);
    const QColor expected = QColorSpace(QColorSpace::DisplayP3).transformationToColorSpace(QColorSpace::SRgb)
                                .map(QColor(60, 170, 90));
    const QColor shown = picture->image.pixelColor(8, 8);
    QVERIFY2(std::abs(shown.red() - expected.red()) <= 2 && std::abs(shown.green() - expected.green()) <= 2 &&
                 std::abs(shown.blue() - expected.blue()) <= 2,
             qPrintable(QStringLiteral("%1 %2 %3").arg(shown.red()).arg(shown.green()).arg(shown.blue())));
    QVERIFY(shown != QColor(60, 170, 90));
}

void FormatsTest::anEditedPhotoNeverShowsItsOldCopy()
{
    // A camera photo whose lower right quarter was blacked out by a tool that kept its EXIF block (the copy
    // there still shows the quarter): the cell shows the black quarter, and so does the thumbnail kept in the
    // desktop's cache, made anew where an earlier version of the program kept one from the copy. A JPEG with a
    // Display P3 profile comes out in sRGB too.
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/photos");
    const int width = 3000, height = 2000;
    const auto rows = [&](bool redacted) {
        return [=](int y, uchar *rgb) {
            for (int x = 0; x < width; ++x, rgb += 3) {
                const bool hidden = redacted && x >= width / 2 && y >= height / 2;
                rgb[0] = hidden ? 0 : uchar(200 - x * 120 / width);
                rgb[1] = hidden ? 0 : uchar(180);
                rgb[2] = hidden ? 0 : uchar(60 + y * 120 / height);
            }
        };
    };
    QImage copy(160, 107, QImage::Format_RGB32);
    for (int y = 0; y < copy.height(); ++y)
        for (int x = 0; x < copy.width(); ++x)
            copy.setPixel(x, y, qRgb(200 - x * 120 / copy.width(), 180, 60 + y * 120 / copy.height()));
    JpegWriter::Options options;
    options.exifThumbnail = copy;
    const auto lowerRightIsBlack = [](const QImage &image) {
        const QColor hidden = image.pixelColor(image.width() * 3 / 4, image.height() * 3 / 4);
        const QColor shown = image.pixelColor(image.width() / 4, image.height() / 4);
        return hidden.lightness() < 30 && shown.lightness() > 80;
    };
    const QStringList names{QStringLiteral("progressive.jpg"), QStringLiteral("baseline.jpg")};
    for (const bool progressive : {true, false}) {
        options.progressive = progressive;
        QVERIFY(JpegWriter::write(sandbox.onC("photos/" + names[progressive ? 0 : 1]), width, height, rows(true), options));
    }
    // What an earlier version kept of the baseline photo: a thumbnail of the copy, marked only with its name.
    const QByteArray baseline = QFile::encodeName(sandbox.onC("photos/baseline.jpg"));
    QImage stale = copy.scaled(128, 85);
    stale.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(SharedThumbnails::UriOf(baseline)));
    stale.setText(QStringLiteral("Thumb::MTime"), QString::number(*NativeFile::ModifiedSeconds(baseline)));
    stale.setText(QStringLiteral("Software"), QStringLiteral("KuRoEView 1.0.0"));
    const QString stalePath = sandbox.context->thumbnailCache + QStringLiteral("/normal/") +
                              QString::fromLatin1(QCryptographicHash::hash(SharedThumbnails::UriOf(baseline),
                                                                           QCryptographicHash::Md5).toHex()) +
                              QStringLiteral(".png");
    QDir().mkpath(QFileInfo(stalePath).path());
    QVERIFY(stale.save(stalePath, "PNG"));

    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\photos"));
    QCOMPARE(browser.state.ThumbCount, 2);
    const SharedThumbnails cache(sandbox.context->thumbnailCache);
    for (int i = 0; i < 2; ++i) {
        const QImage cell = browser.form.thumbnailArea->pictureAt(i).picture.convertToFormat(QImage::Format_RGB32);
        QVERIFY2(lowerRightIsBlack(cell), qPrintable(browser.form.fileList->list(i)));
        const QByteArray native = QFile::encodeName(sandbox.onC("photos/" + browser.form.fileList->list(i)));
        std::optional<SharedThumbnails::Found> kept;
        QTRY_VERIFY((kept = cache.Read(native, *NativeFile::ModifiedSeconds(native), 64)).has_value());
        QVERIFY2(lowerRightIsBlack(kept->image), qPrintable(browser.form.fileList->list(i)));
    }

    QImage p3(16, 16, QImage::Format_RGB32);
    p3.fill(QColor(60, 170, 90));
    p3.setColorSpace(QColorSpace::DisplayP3);
    QVERIFY(p3.save(sandbox.onC("photos/p3.jpg"), "JPEG", 100));
    const std::optional<Picture> picture = PictureLoader::Load(QFile::encodeName(sandbox.onC("photos/p3.jpg")));
    QVERIFY(picture);
    const QColor expected = QColorSpace(QColorSpace::DisplayP3).transformationToColorSpace(QColorSpace::SRgb)
                                .map(QColor(60, 170, 90));
    const QColor shown = picture->image.pixelColor(8, 8);
    QVERIFY2(std::abs(shown.green() - expected.green()) <= 4 && std::abs(shown.red() - expected.red()) <= 4,
             qPrintable(shown.name() + QLatin1Char(' ') + expected.name()));
}

QTEST_MAIN(FormatsTest)
#include "tst_formats.moc"

void FormatsTest::camerasRawFilesShowTheirPreviews()
{
    // RAW files show the largest preview their camera embedded (a JPEG, a bitmap), and the viewer's title says
    // when it has fewer pixels than the sensor; a RAW without a preview is developed, turned upright. The
    // table of types lists them with their own box and in the default pattern; a JPEG named .nef is a JPEG.
    struct Raw
    {
        const char *relative;
        const char *name;
        QSize natural;
        QSize sensor;
    };
    const Raw raws[] = {
        {"raw/synthetic/pidng__RGGB_12bit_uncompressed_3008x2000_jpeg-preview.dng", "a.dng", {1504, 1000}, {3008, 2000}},
        {"raw/synthetic/pidng__GRBG_8bit_uncompressed_640x480_rgb-thumb.dng", "b.DNG", {160, 120}, {640, 480}},
        {"raw/synthetic/pidng__BGGR_10bit_uncompressed_orient6_1600x1200.dng", "c.dng", {1200, 1600}, {}},
        {"raw/malformed/metadata-extractor-images__Issue_247-1_jpeg-named-nef.nef", "d.nef", {}, {}},
    };
    Sandbox sandbox;
    sandbox.makeFolder("c/camera");
    for (const Raw &raw : raws) {
        const QString source = Corpus(QLatin1String(raw.relative));
        if (source.isEmpty())
            QSKIP("the picture corpus is not here");
        QVERIFY(QFile::copy(source, sandbox.onC(QStringLiteral("camera/") + QLatin1String(raw.name))));
    }
    QVERIFY(PictureTypes::DefaultPattern().contains(QLatin1String(";*.nef;")));
    QCOMPARE(QString::fromUtf8(PictureTypes::All()[13].caption), QStringLiteral("　RAWファイル"));
    QCOMPARE(PictureTypes::ReaderForName("IMG_0001.CR2"), PictureTypes::Reader::raw);
    QCOMPARE(PictureTypes::ReaderForName("scan.tif"), PictureTypes::Reader::content);

    MemoryWatch memory;
    memory.setDoing(QStringLiteral("showing RAW files"));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\camera"));
    QCOMPARE(browser.state.ThumbCount, 4);
    for (int i = 0; i < 4; ++i) {
        const Raw &raw = raws[i];
        const QString name = QLatin1String(raw.name);
        QCOMPARE(browser.form.fileList->list(i), name);
        const QByteArray native = QFile::encodeName(sandbox.onC(QStringLiteral("camera/") + name));
        QVERIFY2(!browser.form.thumbnailArea->pictureAt(i).undecodable, raw.name);
        const std::optional<Picture> picture = PictureLoader::Load(native);
        QVERIFY2(picture, raw.name);
        QVERIFY2(!IsBlank(picture->image), raw.name);
        if (raw.natural.isValid()) {
            QCOMPARE(picture->image.size(), raw.natural);
            QCOMPARE(*PictureLoader::NaturalSize(native, 15, 15), QSizeF(raw.natural * 15));
        }
        QCOMPARE(picture->sensorPixels, raw.sensor);
        browser.form.selection()->ThumbnailClicked(i);
        browser.form.selection()->ThumbnailDoubleClicked(i);
        ViewerWindow *viewer = browser.form.selection()->viewer();
        QVERIFY2(viewer, raw.name);
        const QString note = raw.sensor.isEmpty() ? QString()
                                                  : QStringLiteral(" （埋め込みプレビュー %1×%2、センサー %3×%4）")
                                                        .arg(raw.natural.width())
                                                        .arg(raw.natural.height())
                                                        .arg(raw.sensor.width())
                                                        .arg(raw.sensor.height());
        QCOMPARE(viewer->windowTitle(), name + note);
        viewer->Unload();
        FreeClosedWindows();
    }
    // The JPEG preview carries a red banner across its middle.
    const std::optional<Picture> preview = PictureLoader::Load(QFile::encodeName(sandbox.onC("camera/a.dng")));
    const QColor banner = preview->image.pixelColor(preview->image.width() / 2, 410);
    QVERIFY2(banner.red() > 150 && banner.green() < 100, qPrintable(banner.name()));
    // A thumbnail-sized decode of the preview reads it at a reduced scale.
    const std::optional<Picture> small = PictureLoader::LoadReduced(QFile::encodeName(sandbox.onC("camera/a.dng")), 15, 15,
                                                                    [](double, double) { return QSize(96, 64); });
    QVERIFY(small && small->reduced && small->image.width() < 1504 && small->image.width() >= 96);
    // A RAW whose name is no UTF-8 is read by its very bytes.
    QFile original(sandbox.onC("camera/a.dng"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    const QByteArray latin1 = QFile::encodeName(sandbox.onC("camera")) + "/caf\xe9.dng";
    std::FILE *copy = std::fopen(latin1.constData(), "wb");
    QVERIFY(copy);
    QCOMPARE(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), copy), size_t(bytes.size()));
    std::fclose(copy);
    const std::optional<Picture> named = PictureLoader::Load(latin1);
    QVERIFY(named && named->image.size() == QSize(1504, 1000));
    const QString dated = Corpus(QStringLiteral("raw/real/exiftool__Nikon.nef"));
    if (!dated.isEmpty())
        QVERIFY(PictureLoader::DateTaken(QFile::encodeName(dated)).has_value());
}

void FormatsTest::aSmallCellIsMadeFromTheCamerasThumbnail()
{
    // A DNG as cameras write it: a red full-size JPEG preview and a blue thumbnail. A small cell is made from
    // the thumbnail, turned as the preview is; the viewer shows the preview. A thumbnail of another shape
    // (with a camera's black bars) is passed over.
    Sandbox sandbox;
    sandbox.makeFolder("c/camera");
    const auto solid = [](QSize size, QColor colour) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    };
    const auto write = [&](const char *name, QImage thumbnail, int orientation) {
        PictureWriters::Dng dng;
        dng.width = 600;
        dng.height = 400;
        dng.rows = [](int, quint16 *row) { std::fill(row, row + 600, quint16(2000)); };
        dng.previewJpeg = JpegWriter::encode(solid(QSize(600, 400), Qt::red));
        dng.previewSize = QSize(600, 400);
        dng.thumbnail = thumbnail;
        dng.orientation = orientation;
        return PictureWriters::save(sandbox.onC(QStringLiteral("camera/") + QLatin1String(name)), PictureWriters::dng(dng));
    };
    QVERIFY(write("a.dng", solid(QSize(150, 100), Qt::blue), 1));
    QVERIFY(write("b.dng", solid(QSize(150, 100), Qt::blue), 6));
    QVERIFY(write("c.dng", solid(QSize(160, 120), Qt::green), 1));
    const auto isColour = [](const QImage &image, QColor colour) {
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        return std::abs(centre.red() - colour.red()) < 40 && std::abs(centre.green() - colour.green()) < 40 &&
               std::abs(centre.blue() - colour.blue()) < 40;
    };
    struct Case
    {
        const char *name;
        QSize cell;
        QColor colour;
        QSize natural;
    };
    for (const Case &test : {Case{"a.dng", QSize(150, 100), Qt::blue, QSize(600, 400)},
                             Case{"b.dng", QSize(100, 150), Qt::blue, QSize(400, 600)},
                             Case{"c.dng", QSize(150, 100), Qt::red, QSize(600, 400)}}) {
        const QByteArray native = QFile::encodeName(sandbox.onC(QStringLiteral("camera/") + QLatin1String(test.name)));
        const std::optional<Picture> cell = PictureLoader::LoadReduced(native, 15, 15, [&](double, double) {
            return test.cell.scaled(60, 60, Qt::KeepAspectRatio);
        });
        QVERIFY2(cell && isColour(cell->image, test.colour), test.name);
        QVERIFY2(cell->image.width() >= 40 && (cell->image.width() > cell->image.height()) == (test.natural.width() > test.natural.height()),
                 test.name);
        QCOMPARE(QSizeF(cell->widthTwips, cell->heightTwips), QSizeF(test.natural * 15));
        const std::optional<Picture> whole = PictureLoader::Load(native);
        QVERIFY2(whole && isColour(whole->image, Qt::red) && whole->image.size() == test.natural, test.name);
    }
    // A thumbnail larger than a cell asks for is no help: the preview is decoded at a reduced scale.
    const std::optional<Picture> large = PictureLoader::LoadReduced(QFile::encodeName(sandbox.onC("camera/a.dng")), 15, 15,
                                                                    [](double, double) { return QSize(300, 200); });
    QVERIFY(large && isColour(large->image, Qt::red));
}

void FormatsTest::animationsPlayFrameByFrame()
{
    // GIF, WebP, APNG and AVIF sequences give their frames one at a time with their own delays (10 ms and
    // less shown for 100 ms), drawn whole on the canvas, and play on past their last frame as their files
    // ask; stills give no frames. In the viewer the frames play, here and in the full screen.
    struct Animation
    {
        const char *relative;
        QSize size;
        std::vector<int> delays;
    };
    const Animation animations[] = {
        {"animated/anim_gif_480x360_24f_varied-delays.gif", {480, 360}, {100, 200, 50, 500, 1000, 100, 150, 300, 100}},
        {"animated/anim_webp_400x300_16f_alpha_varied-delays.webp", {400, 300}, {80, 160, 40, 320, 640, 1000, 120, 240}},
        {"animated/anim_apng_320x240_12f_alpha_varied-delays.png", {320, 240}, {100, 300, 50, 700, 200, 1000, 100}},
        {"animated/anim_avif_320x240_10f_varied-delays.avif", {320, 240}, {100, 400, 33, 800, 200, 1000, 66, 500}},
    };
    MemoryWatch memory;
    for (const Animation &animation : animations) {
        const QString path = Corpus(QLatin1String(animation.relative));
        if (path.isEmpty())
            QSKIP("the picture corpus is not here");
        memory.setDoing(QStringLiteral("playing ") + path);
        const std::unique_ptr<Frames::Source> source = Frames::Open(QFile::encodeName(path));
        QVERIFY2(source, animation.relative);
        QCOMPARE(source->size(), animation.size);
        QImage previous;
        int changes = 0;
        for (std::size_t i = 0; i < 30; ++i) {
            const std::optional<Frames::Frame> frame = source->next();
            QVERIFY2(frame, qPrintable(QStringLiteral("%1: frame %2").arg(QLatin1String(animation.relative)).arg(i)));
            QCOMPARE(frame->image.size(), animation.size);
            if (i < animation.delays.size())
                QVERIFY2(std::abs(frame->delayMs - animation.delays[i]) <= 1,
                         qPrintable(QStringLiteral("%1: frame %2 shows %3 ms").arg(QLatin1String(animation.relative)).arg(i).arg(frame->delayMs)));
            changes += !previous.isNull() && frame->image != previous;
            previous = frame->image;
        }
        QVERIFY2(changes >= 20, animation.relative);
    }
    for (const char *still : {"gif/valid/pillow_hopper.gif", "png/valid/pillow_exif_imagemagick_orientation.png",
                              "webp/malformed/derived_truncated_random_lossy.webp", "avif/malformed/derived_truncated_colors-animated-8bpc.avif",
                              "png/malformed/pillow_syntax_num_frames_zero.png"}) {
        const QString path = Corpus(QLatin1String(still));
        if (path.isEmpty())
            continue;
        const std::unique_ptr<Frames::Source> source = Frames::Open(QFile::encodeName(path));
        // A still has no frames to play; a damaged animation plays what can be read and then stops.
        for (int i = 0; source && i < 100 && source->next(); ++i) {
        }
    }
    QVERIFY(!Frames::Open(QFile::encodeName(Corpus(QStringLiteral("gif/valid/pillow_hopper.gif")))));

    Sandbox sandbox;
    sandbox.makeFolder("c/motion");
    QVERIFY(QFile::copy(Corpus(QLatin1String(animations[0].relative)), sandbox.onC("motion/a.gif")));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\motion"));
    QCOMPARE(browser.state.ThumbCount, 1);
    const QImage cell = browser.form.thumbnailArea->pictureAt(0).picture;
    browser.form.selection()->ThumbnailClicked(0);
    browser.form.selection()->ThumbnailDoubleClicked(0);
    ViewerWindow *viewer = browser.form.selection()->viewer();
    QVERIFY(viewer);
    const QImage first = viewer->pictureBox->picture().image;
    QTRY_VERIFY_WITH_TIMEOUT(viewer->animation()->framesShown() >= 3, 20000);
    QVERIFY(viewer->pictureBox->picture().image != first);
    QCOMPARE(viewer->pictureBox->picture().widthTwips, first.width() * Twips::perPixelX());
    viewer->ShowFullScreen();
    QVERIFY(viewer->fullScreen());
    const int before = viewer->animation()->framesShown();
    QTRY_VERIFY_WITH_TIMEOUT(viewer->animation()->framesShown() >= before + 2, 20000);
    QCOMPARE(viewer->fullScreen()->pictureBox->picture().image, viewer->Pic.image);
    // P holds the frame shown, and plays on.
    QTest::keyClick(viewer->fullScreen(), Qt::Key_P);
    QVERIFY(viewer->animation()->paused());
    const int held = viewer->animation()->framesShown();
    QTest::keyClick(viewer->fullScreen(), Qt::Key_P);
    QVERIFY(!viewer->animation()->paused());
    QTRY_VERIFY_WITH_TIMEOUT(viewer->animation()->framesShown() > held, 20000);
    // The cell keeps the first frame.
    QCOMPARE(browser.form.thumbnailArea->pictureAt(0).picture, cell);
    // Closed, it plays no more: a frame still being decoded is dropped when it comes.
    viewer->Unload();
    QCOMPARE(viewer->animation()->framesShown(), 0);
    FreeClosedWindows();
}

void FormatsTest::aLargeAnimationPlaysWithinItsMemoryBound()
{
    // A 4000 x 3000 GIF of 50 frames would take 2.4 GB decoded whole; played, it takes less than 300 MB
    // (twice that under AddressSanitizer, whose shadow counts too).
    Sandbox sandbox;
    QVERIFY(sandbox.writeFile("c/large.gif", AnimatedGif(4000, 3000, 50, 100)));
    const QByteArray path = QFile::encodeName(sandbox.onC("large.gif"));
    MemoryWatch memory;
    memory.setDoing(QStringLiteral("playing a 4000 x 3000 GIF of 50 frames"));
    const qint64 bound = 300LL * 1024 * 1024 * (MemoryWatch::defaultBound() / (2LL * 1024 * 1024 * 1024));
    MemoryWatch::resetPeak();
    const qint64 before = MemoryWatch::residentBytes();
    const std::unique_ptr<Frames::Source> source = Frames::Open(path);
    QVERIFY(source);
    QCOMPARE(source->size(), QSize(4000, 3000));
    QImage shown;
    for (int i = 0; i < 60; ++i) {
        std::optional<Frames::Frame> frame = source->next();
        QVERIFY2(frame, qPrintable(QString::number(i)));
        QCOMPARE(frame->delayMs, 20);
        // The frame's own square, in its colour, on what the frames before left.
        const int f = i % 50;
        const QRgb colour = frame->image.pixel((f * 731) % 3900 + 50, (f * 593) % 2900 + 50);
        QCOMPARE(colour, f % 2 ? qRgb(0, 0, 255) : qRgb(255, 0, 0));
        shown = std::move(frame->image);
    }
    qInfo("a 4000 x 3000 GIF of 50 frames played: %lld MB at the peak", (MemoryWatch::peakBytes() - before) / (1024 * 1024));
    QVERIFY2(MemoryWatch::peakBytes() - before < bound,
             qPrintable(QStringLiteral("%1 MB").arg((MemoryWatch::peakBytes() - before) / (1024 * 1024))));
}

void FormatsTest::propertiesShowWhatTheCameraRecorded()
{
    // The viewer's プロパティ shows the file, the picture and what the camera recorded: of a camera JPEG and of a
    // phone's DNG. Damaged files give what can be read.
    Sandbox sandbox;
    sandbox.makeFolder("c/camera");
    const QString photo = sandbox.onC("camera/a.jpg");
    QVERIFY(Save(Sample(300, 200), photo, "JPEG"));
    {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(QFile::encodeName(photo).toStdString());
        image->readMetadata();
        Exiv2::ExifData &exif = image->exifData();
        exif["Exif.Image.Make"] = "Canon";
        exif["Exif.Image.Model"] = "Canon EOS R5";
        exif["Exif.Photo.LensModel"] = "RF24-70mm F2.8 L IS USM";
        exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
        exif["Exif.Photo.FNumber"] = Exiv2::URational(28, 10);
        exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(400);
        exif["Exif.Photo.FocalLength"] = Exiv2::URational(50, 1);
        exif["Exif.Photo.DateTimeOriginal"] = "2024:05:01 10:20:30";
        exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
        exif["Exif.GPSInfo.GPSLatitude"] = "35/1 39/1 3096/100";
        exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
        exif["Exif.GPSInfo.GPSLongitude"] = "139/1 44/1 4344/100";
        image->writeMetadata();
    }
    const QString dng = Corpus(QStringLiteral("raw/real/exiv2__IMG_1361.dng"));
    if (!dng.isEmpty())
        QVERIFY(QFile::copy(dng, sandbox.onC("camera/b.dng")));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\camera"));
    browser.form.selection()->ThumbnailClicked(0);
    browser.form.selection()->ThumbnailDoubleClicked(0);
    ViewerWindow *viewer = browser.form.selection()->viewer();
    QVERIFY(viewer);
    QCOMPARE(viewer->propertiesAction->text(), QStringLiteral("プロパティ(&R)"));
    viewer->propertiesAction->trigger();
    QVERIFY(viewer->properties());
    QCOMPARE(viewer->properties()->windowTitle(), QStringLiteral("プロパティ"));
    QTRY_VERIFY_WITH_TIMEOUT(viewer->properties()->isRead(), 20000);
    const QString text = viewer->properties()->text();
    for (const QString &line : {QStringLiteral("名前：a.jpg"), QStringLiteral("形式：JPEG"), QStringLiteral("ピクセル数：300 × 200"),
                                QStringLiteral("フレーム数：1"), QStringLiteral("メーカー：Canon"), QStringLiteral("機種：Canon EOS R5"),
                                QStringLiteral("レンズ：RF24-70mm F2.8 L IS USM"), QStringLiteral("露出時間：1/250 s"),
                                QStringLiteral("絞り値：F2.8"), QStringLiteral("ISO感度：400"), QStringLiteral("焦点距離：50.0 mm"),
                                QStringLiteral("撮影日時：2024/05/01 10:20:30"), QStringLiteral("位置：35.658600, 139.745400")})
        QVERIFY2(text.contains(line), qPrintable(line + QStringLiteral("\n---\n") + text));
    QVERIFY(text.contains(QStringLiteral("フォルダ：C:\\")));
    QVERIFY(text.contains(QStringLiteral("サイズ：")) && text.contains(QStringLiteral("更新日時：")));
    if (!dng.isEmpty()) {
        viewer->nextAction->trigger();
        QTRY_COMPARE(viewer->windowTitle().left(5), QStringLiteral("b.dng"));
        viewer->propertiesAction->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(viewer->properties() && viewer->properties()->isRead(), 20000);
        const QString raw = viewer->properties()->text();
        QVERIFY2(raw.contains(QStringLiteral("名前：b.dng")) && raw.contains(QStringLiteral("形式：RAW")) &&
                     raw.contains(QStringLiteral("メーカー：Apple")) && raw.contains(QStringLiteral("機種：iPhone")),
                 qPrintable(raw));
    }
    viewer->Unload();
    QVERIFY(!viewer->properties() || !viewer->properties()->isVisible());
    FreeClosedWindows();

    MemoryWatch memory;
    QFile manifest(QStringLiteral(KUROEVIEW_CORPUS_DIR "/MANIFEST.tsv"));
    QVERIFY(manifest.open(QIODevice::ReadOnly));
    for (const QByteArray &line : manifest.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 5 || fields[0] == "path" || (fields[4] != "malformed" && !fields[0].startsWith("raw/")))
            continue;
        const QString path = QStringLiteral(KUROEVIEW_CORPUS_DIR "/") + QString::fromUtf8(fields[0]);
        memory.setDoing(QStringLiteral("reading the properties of ") + path);
        const std::vector<Metadata::Section> sections = Metadata::Read(QFile::encodeName(path), Metadata::Shown{});
        QVERIFY2(sections.size() >= 2, qPrintable(path));
    }
}
