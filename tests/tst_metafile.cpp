#include "picturewriters.h"
#include "metafile/metafile.h"
#include "metafile/metafileplayer.h"
#include "pictures/pictureloader.h"
#include "platform/twips.h"
#include "sandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QStringEncoder>
#include <QTest>
#include <QtEndian>

namespace {

// A metafile made record by record, for the cases no real file shows.
class MetafileBuilder
{
public:
    MetafileBuilder &record(int function, std::initializer_list<int> words)
    {
        put32(static_cast<quint32>(3 + words.size()));
        put16(function);
        for (int word : words)
            put16(word);
        return *this;
    }
    MetafileBuilder &raw(const QByteArray &bytes)
    {
        m_records += bytes;
        return *this;
    }
    // With the placeable header of a box of width x height units at unitsPerInch.
    QByteArray placeable(int width, int height, int unitsPerInch = 1440, int objects = 8) const
    {
        QByteArray out;
        const int header[10] = {0xCDD7, 0x9AC6, 0, 0, 0, width, height, unitsPerInch, 0, 0};
        int checksum = 0;
        for (int word : header) {
            checksum ^= word;
            append16(out, word);
        }
        append16(out, checksum);
        return out + plain(objects);
    }
    QByteArray plain(int objects = 8) const
    {
        QByteArray out;
        append16(out, 1);
        append16(out, 9);
        append16(out, 0x0300);
        append32(out, static_cast<quint32>(9 + m_records.size() / 2 + 3));
        append16(out, objects);
        append32(out, 16);
        append16(out, 0);
        out += m_records;
        append32(out, 3);
        append16(out, 0);
        return out;
    }

private:
    static void append16(QByteArray &out, int value)
    {
        char bytes[2];
        qToLittleEndian<quint16>(static_cast<quint16>(value), bytes);
        out.append(bytes, 2);
    }
    static void append32(QByteArray &out, quint32 value)
    {
        char bytes[4];
        qToLittleEndian<quint32>(value, bytes);
        out.append(bytes, 4);
    }
    void put16(int value) { append16(m_records, value); }
    void put32(quint32 value) { append32(m_records, value); }
    QByteArray m_records;
};

// Red, as CreateBrushIndirect wants it: style 0, colour 0x0000FF, hatch 0.
MetafileBuilder &redBrushRectangle(MetafileBuilder &builder, int left, int top, int right, int bottom)
{
    return builder.record(0x02FC, {0, 0x00FF, 0x0000, 0})
        .record(0x012D, {0})
        .record(0x02FA, {5, 0, 0, 0, 0})
        .record(0x012D, {1})
        .record(0x041B, {bottom, right, top, left});
}

bool hasColour(const QImage &image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                return true;
    return false;
}

QStringList corpusFiles(const QString &folder)
{
    QStringList files;
    QDirIterator it(QStringLiteral(KUROEVIEW_CORPUS_DIR "/wmf/") + folder, {QStringLiteral("*.wmf")}, QDir::Files);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}

} // namespace

class MetafileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Twips::setPerPixelOverride(15); }
    void placeableSizeIsTheBoxPerInch();
    void plainSizeComesFromTheWindowOrTheDrawing();
    void zeroOrAbsurdSizesAreRefused();
    void validCorpusFilesDraw();
    void malformedCorpusFilesFailOrStopCleanly();
    void brokenRecordChainsEndThePlay();
    void badCountsAndIndicesSkipTheirRecord();
    void deepSaveNestingIsBounded();
    void rendersStaySharpWhenLarge();
    void partsMatchTheWhole();
    void japaneseTextIsDecoded();
};

void MetafileTest::placeableSizeIsTheBoxPerInch()
{
    // A placeable box of 2880 x 1440 units at 1440 per inch is 2 x 1 inches: 2880 x 1440 twips.
    const QByteArray bytes = PictureWriters::metafileRectangle(2880, 1440, 1440, qRgb(255, 0, 0));
    const auto metafile = Metafile::Parse(bytes);
    QVERIFY(metafile);
    QCOMPARE(metafile->widthTwips(), 2880.0);
    QCOMPARE(metafile->heightTwips(), 1440.0);
    const auto coarse = Metafile::Parse(PictureWriters::metafileRectangle(300, 150, 100, qRgb(0, 0, 255)));
    QCOMPARE(coarse->widthTwips(), 4320.0);
    QCOMPARE(coarse->heightTwips(), 2160.0);
    const QImage image = metafile->Render(QSize(200, 100));
    QCOMPARE(image.pixelColor(100, 50), QColor(255, 0, 0));
    QCOMPARE(image.pixelColor(10, 10), QColor(Qt::white));
}

void MetafileTest::plainSizeComesFromTheWindowOrTheDrawing()
{
    // A plain file's window an inch or more across is in twips, a smaller one in pixels;
    // without a window the drawing's extent in pixels is its size.
    MetafileBuilder wide;
    wide.record(0x020B, {0, 0}).record(0x020C, {1440, 2880});
    redBrushRectangle(wide, 0, 0, 2880, 1440);
    auto metafile = Metafile::Parse(wide.plain());
    QVERIFY(metafile);
    QCOMPARE(metafile->widthTwips(), 2880.0);

    MetafileBuilder small;
    small.record(0x020C, {100, 200});
    redBrushRectangle(small, 0, 0, 200, 100);
    metafile = Metafile::Parse(small.plain());
    QCOMPARE(metafile->widthTwips(), 200 * 15.0);
    QCOMPARE(metafile->heightTwips(), 100 * 15.0);

    MetafileBuilder none;
    redBrushRectangle(none, 10, 20, 110, 70);
    metafile = Metafile::Parse(none.plain());
    QVERIFY(metafile);
    QVERIFY(std::abs(metafile->widthTwips() - 100 * 15.0) <= 30);
    QVERIFY(std::abs(metafile->heightTwips() - 50 * 15.0) <= 30);
    QVERIFY(hasColour(metafile->Render(QSize(100, 50)), qRgb(255, 0, 0)));
}

void MetafileTest::zeroOrAbsurdSizesAreRefused()
{
    // A zero box, a zero unit, a box of hundreds of inches and a file of no records are no pictures.
    MetafileBuilder drawing;
    redBrushRectangle(drawing, 0, 0, 10, 10);
    QVERIFY(!Metafile::Parse(drawing.placeable(0, 100)));
    QVERIFY(!Metafile::Parse(drawing.placeable(100, 100, 0)));
    QVERIFY(!Metafile::Parse(drawing.placeable(30000, 30000, 1)));
    QVERIFY(!Metafile::Parse(MetafileBuilder().placeable(100, 100)));
    QVERIFY(!Metafile::Parse(QByteArray()));
    QVERIFY(!Metafile::Parse(QByteArray(17, '\x01')));
}

void MetafileTest::validCorpusFilesDraw()
{
    // Every valid metafile of the corpus loads at its size and draws something, quickly.
    const QStringList files = corpusFiles(QStringLiteral("valid"));
    if (files.isEmpty())
        QSKIP("the picture corpus is not here");
    // Drawn white on white, or drawn with nothing at all.
    const QStringList blankByDesign{"poi_empty-polygon-close.wmf", "wmfjs_empty.wmf"};
    for (const QString &path : files) {
        const QString name = QFileInfo(path).fileName();
        QElapsedTimer clock;
        clock.start();
        const auto picture = PictureLoader::Load(QFile::encodeName(path));
        QVERIFY2(picture && picture->drawing, qPrintable(name));
        QVERIFY2(picture->widthTwips >= 15 && picture->heightTwips >= 15, qPrintable(name));
        const QImage thumbnail = picture->drawing->Render(QSize(120, 120));
        QVERIFY2(!thumbnail.isNull(), qPrintable(name));
        if (!blankByDesign.contains(name))
            QVERIFY2(!IsBlank(picture->image), qPrintable(name));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(name));
    }
    const auto eg = PictureLoader::Load(KUROEVIEW_CORPUS_DIR "/wmf/valid/libwmf_Eg.wmf");
    QCOMPARE(eg->widthTwips, 9000.0);
    QCOMPARE(eg->heightTwips, 4493.0);
}

void MetafileTest::malformedCorpusFilesFailOrStopCleanly()
{
    // Damaged metafiles give no picture, or the part that is there.
    const QStringList files = corpusFiles(QStringLiteral("malformed"));
    if (files.isEmpty())
        QSKIP("the picture corpus is not here");
    for (const QString &path : files) {
        const QString name = QFileInfo(path).fileName();
        const auto picture = PictureLoader::Load(QFile::encodeName(path));
        if (name.startsWith(QLatin1String("derived_truncated_no_eof")))
            QVERIFY2(picture && !IsBlank(picture->image), qPrintable(name));
        if (name.contains(QLatin1String("header")) || name.contains(QLatin1String("zero_byte")) ||
            name.contains(QLatin1String("not_a_wmf")))
            QVERIFY2(!picture, qPrintable(name));
    }
}

void MetafileTest::brokenRecordChainsEndThePlay()
{
    // A record of size 0, or one running past the end, ends the play; what came before stays.
    MetafileBuilder zero;
    redBrushRectangle(zero, 0, 0, 100, 100);
    zero.raw(QByteArray("\0\0\0\0\x1b\x04", 6));
    redBrushRectangle(zero, 0, 0, 50, 50);
    auto metafile = Metafile::Parse(zero.placeable(100, 100));
    QVERIFY(metafile);
    QVERIFY(hasColour(metafile->Render(QSize(50, 50)), qRgb(255, 0, 0)));

    MetafileBuilder past;
    redBrushRectangle(past, 0, 0, 100, 100);
    past.raw(QByteArray("\xff\xff\xff\x7f\x24\x03", 6));
    metafile = Metafile::Parse(past.placeable(100, 100));
    QVERIFY(metafile);
    QVERIFY(hasColour(metafile->Render(QSize(50, 50)), qRgb(255, 0, 0)));

    // A first record that does not fit leaves nothing to draw.
    MetafileBuilder nothing;
    nothing.raw(QByteArray("\x40\0\0\0\x1b\x04", 6));
    QVERIFY(!Metafile::Parse(nothing.placeable(100, 100)));
}

void MetafileTest::badCountsAndIndicesSkipTheirRecord()
{
    // Point counts beyond the record, object indices beyond the table, DIBs that lie about their
    // size and zero extents lose their record only.
    MetafileBuilder builder;
    builder.record(0x0324, {30000, 0, 0, 10, 10})          // Polygon claiming 30000 points
        .record(0x0538, {3, 5, 5})                         // PolyPolygon with counts and no points
        .record(0x012D, {60000})                           // SelectObject far outside the table
        .record(0x01F0, {65535})                           // DeleteObject likewise
        .record(0x020C, {0, 0})                            // SetWindowExt 0 x 0
        .record(0x0F43, {0x0020, 0x00CC, 0, 4, 4, 0, 0, 10, 10, 0, 0, 40, 0, 4000, 0, 4000, 0, 1, 24})
        .record(0x0A32, {0, 0, 200, 0});                   // ExtTextOut of 200 bytes that are not there
    redBrushRectangle(builder, 0, 0, 100, 100);
    const auto metafile = Metafile::Parse(builder.placeable(100, 100, 1440, 2));
    QVERIFY(metafile);
    QVERIFY(hasColour(metafile->Render(QSize(40, 40)), qRgb(255, 0, 0)));
}

void MetafileTest::deepSaveNestingIsBounded()
{
    // Thousands of SaveDC and RestoreDC records, and restores of states never saved, play safely.
    MetafileBuilder builder;
    for (int i = 0; i < 5000; ++i)
        builder.record(0x001E, {});
    builder.record(0x0127, {static_cast<int>(static_cast<quint16>(-30000))});
    builder.record(0x0127, {20000});
    for (int i = 0; i < 5000; ++i)
        builder.record(0x0127, {0xFFFF});
    redBrushRectangle(builder, 0, 0, 100, 100);
    const auto metafile = Metafile::Parse(builder.placeable(100, 100));
    QVERIFY(metafile);
    QVERIFY(hasColour(metafile->Render(QSize(40, 40)), qRgb(255, 0, 0)));
}

void MetafileTest::rendersStaySharpWhenLarge()
{
    // Drawn again at 20 times its size, a rectangle's edge stays one pixel wide, not a blur.
    const auto metafile = Metafile::Parse(PictureWriters::metafileRectangle(400, 400, 1440, qRgb(0, 0, 0)));
    const QImage large = metafile->Render(QSize(2000, 2000));
    int greys = 0;
    for (int x = 400; x < 600; ++x) {
        const QColor colour = large.pixelColor(x, 1000);
        if (colour != QColor(Qt::white) && colour != QColor(Qt::black))
            ++greys;
    }
    QVERIFY(greys <= 1);
    QVERIFY(metafile->Render(QSize(8000, 8000)).isNull() == (8000LL * 8000 > Metafile::RasterLimitPixels));
}

void MetafileTest::partsMatchTheWhole()
{
    // A part drawn on its own equals the same part of the whole drawing.
    const auto metafile = Metafile::Parse(PictureWriters::metafileRectangle(400, 200, 1440, qRgb(0, 128, 0)));
    const QImage whole = metafile->Render(QSize(400, 200));
    const QRect part(90, 40, 60, 50);
    QCOMPARE(metafile->Render(QSize(400, 200), part), whole.copy(part));
}

void MetafileTest::japaneseTextIsDecoded()
{
    // Text in a Shift_JIS font is drawn as the characters it encodes.
    MetafileBuilder builder;
    builder.record(0x020C, {400, 1600});
    QByteArray font(50, '\0');
    qToLittleEndian<qint16>(-200, font.data());
    font[8] = char(0x90);
    font[9] = 0x01;
    font[13] = char(128);
    QByteArray record;
    record.append("\x1c\0\0\0\xfb\x02", 6);
    record.append(font);
    builder.raw(record);
    builder.record(0x012D, {0});
    const QByteArray text = QStringEncoder("Shift_JIS").encode(QStringLiteral("日本"));
    QCOMPARE(text.size(), 4);
    builder.record(0x0521, {4, static_cast<quint8>(text[0]) | static_cast<quint8>(text[1]) << 8,
                            static_cast<quint8>(text[2]) | static_cast<quint8>(text[3]) << 8, 100, 100});
    const auto metafile = Metafile::Parse(builder.plain());
    QVERIFY(metafile);
    const QImage drawn = metafile->Render(QSize(400, 100));
    QVERIFY(!IsBlank(drawn));
}

QTEST_MAIN(MetafileTest)
#include "tst_metafile.moc"
