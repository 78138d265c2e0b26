#include "app/mainwindow.h"
#include "catalogue/thumbnailarea.h"
#include "core/programstate.h"
#include "files/filelist.h"
#include "files/nativefile.h"
#include "pictures/sharedthumbnails.h"
#include "loadedwindow.h"
#include "sandbox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Browser : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    // The colour in the middle of thumbnail i.
    QColor cellColour(int i) const
    {
        const QImage picture = form.thumbnailArea->pictureAt(i).picture.convertToFormat(QImage::Format_RGB32);
        return picture.isNull() ? QColor() : picture.pixelColor(picture.width() / 2, picture.height() / 2);
    }
};

QImage Filled(int width, int height, const QColor &colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QString CachePath(Sandbox &sandbox, const QString &subfolder, const QString &relative)
{
    const QByteArray uri = SharedThumbnails::UriOf(QFile::encodeName(sandbox.path(relative)));
    return sandbox.context->thumbnailCache + QLatin1Char('/') + subfolder + QLatin1Char('/') +
           QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + QStringLiteral(".png");
}

// A thumbnail as a file manager writes it, for the file at relative.
bool WriteStandardThumbnail(Sandbox &sandbox, const QString &relative, QImage thumbnail, qint64 modified)
{
    const QString path = CachePath(sandbox, QStringLiteral("normal"), relative);
    QDir().mkpath(QFileInfo(path).path());
    thumbnail.setText(QStringLiteral("Thumb::URI"),
                      QString::fromUtf8(SharedThumbnails::UriOf(QFile::encodeName(sandbox.path(relative)))));
    thumbnail.setText(QStringLiteral("Thumb::MTime"), QString::number(modified));
    return QImageWriter(path, "png").write(thumbnail);
}

qint64 Modified(Sandbox &sandbox, const QString &relative)
{
    return *NativeFile::ModifiedSeconds(QFile::encodeName(sandbox.path(relative)));
}

bool IsRed(const QColor &colour) { return colour.red() > 180 && colour.blue() < 80; }
bool IsBlue(const QColor &colour) { return colour.blue() > 180 && colour.red() < 80; }

} // namespace

class SharedThumbnailsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void urisFromTheNamesBytes();
    void thumbnailsReadFromAFilledCache();
    void hostileThumbnailsCountAsNone();
    void thumbnailsKeptAsTheStandardSays();
    void largerCellsKeepTheLargerSizes();
    void filesThatCannotBeReadAreRecorded();
    void cellsTakeThePicturesSizeNotTheThumbnails();
    void aCacheThatCannotBeWrittenKeepsNothing();
};

void SharedThumbnailsTest::urisFromTheNamesBytes()
{
    // A file's URI is its path's bytes, percent-encoded where they are not plain.
    QCOMPARE(SharedThumbnails::UriOf("/home/me/My Pictures/caf\xc3\xa9 #1.jpg"),
             QByteArray("file:///home/me/My%20Pictures/caf%C3%A9%20%231.jpg"));
    QCOMPARE(SharedThumbnails::UriOf("/tmp/latin1-caf\xe9.png"), QByteArray("file:///tmp/latin1-caf%E9.png"));
}

void SharedThumbnailsTest::thumbnailsReadFromAFilledCache()
{
    // A valid thumbnail of the shared cache makes the cell, without a decode; one whose modification time is
    // no longer the file's is ignored.
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/pics");
    QVERIFY(Filled(300, 200, Qt::red).save(sandbox.onC("pics/a.png"), "PNG"));
    QVERIFY(Filled(300, 200, Qt::red).save(sandbox.onC("pics/b.png"), "PNG"));
    QVERIFY(WriteStandardThumbnail(sandbox, "c/pics/a.png", Filled(128, 85, Qt::blue), Modified(sandbox, "c/pics/a.png")));
    QVERIFY(WriteStandardThumbnail(sandbox, "c/pics/b.png", Filled(128, 85, Qt::blue), Modified(sandbox, "c/pics/b.png") - 60));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 2);
    QVERIFY2(IsBlue(browser.cellColour(0)), qPrintable(browser.cellColour(0).name()));
    QVERIFY2(IsRed(browser.cellColour(1)), qPrintable(browser.cellColour(1).name()));
    // Its shape is the picture's, to the thumbnail's own pixel.
    const QSizeF cached = browser.form.thumbnailArea->pictureAt(0).rect.size();
    const QSizeF decoded = browser.form.thumbnailArea->pictureAt(1).rect.size();
    QVERIFY(std::abs(cached.width() - decoded.width()) <= 15 && std::abs(cached.height() - decoded.height()) <= 15);
}

void SharedThumbnailsTest::hostileThumbnailsCountAsNone()
{
    // A cache PNG claiming an enormous size, a truncated one and one that is no PNG count as no thumbnail.
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/pics");
    for (const char *name : {"a.png", "b.png", "c.png"})
        QVERIFY(Filled(300, 200, Qt::red).save(sandbox.onC(QStringLiteral("pics/") + QLatin1String(name)), "PNG"));
    QVERIFY(WriteStandardThumbnail(sandbox, "c/pics/a.png", Filled(128, 85, Qt::blue), Modified(sandbox, "c/pics/a.png")));
    QFile huge(CachePath(sandbox, QStringLiteral("normal"), "c/pics/a.png"));
    QVERIFY(huge.open(QIODevice::ReadWrite));
    QByteArray bytes = huge.readAll();
    bytes[16] = 0x00, bytes[17] = 0x01, bytes[18] = 0x86, bytes[19] = 0xA0; // 100000 wide
    huge.seek(0);
    huge.write(bytes);
    huge.close();
    QVERIFY(WriteStandardThumbnail(sandbox, "c/pics/b.png", Filled(128, 85, Qt::blue), Modified(sandbox, "c/pics/b.png")));
    QFile::resize(CachePath(sandbox, QStringLiteral("normal"), "c/pics/b.png"), 60);
    QFile garbage(CachePath(sandbox, QStringLiteral("normal"), "c/pics/c.png"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(5000, '\x7f'));
    garbage.close();
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(IsRed(browser.cellColour(i)), qPrintable(QString::number(i)));
}

void SharedThumbnailsTest::thumbnailsKeptAsTheStandardSays()
{
    // A picture decoded for its cell leaves its "normal" thumbnail: at most 128 pixels, mode 0600, with the
    // file's URI, modification time and size and the program's name; the next visit reads it. Pictures no
    // larger than a thumbnail leave none.
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/pics");
    QVERIFY(Filled(300, 200, Qt::red).save(sandbox.onC("pics/big.png"), "PNG"));
    QVERIFY(Filled(40, 30, Qt::red).save(sandbox.onC("pics/small.png"), "PNG"));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 2);
    const QString kept = CachePath(sandbox, QStringLiteral("normal"), "c/pics/big.png");
    QTRY_VERIFY(QFile::exists(kept));
    QVERIFY(!QFile::exists(CachePath(sandbox, QStringLiteral("normal"), "c/pics/small.png")));
    struct stat info{};
    QCOMPARE(::stat(QFile::encodeName(kept).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 0777), 0600);
    const QImage thumbnail(kept, "png");
    QCOMPARE(thumbnail.size(), QSize(128, 85));
    QCOMPARE(thumbnail.text(QStringLiteral("Thumb::URI")).toUtf8(),
             SharedThumbnails::UriOf(QFile::encodeName(sandbox.onC("pics/big.png"))));
    QCOMPARE(thumbnail.text(QStringLiteral("Thumb::MTime")), QString::number(Modified(sandbox, "c/pics/big.png")));
    QCOMPARE(thumbnail.text(QStringLiteral("Thumb::Size")), QString::number(QFileInfo(sandbox.onC("pics/big.png")).size()));
    QVERIFY(thumbnail.text(QStringLiteral("Software")).startsWith(QLatin1String("KuRoEView")));
    const QStringList leftovers = QDir(QFileInfo(kept).path()).entryList(QDir::Files);
    QCOMPARE(leftovers.size(), 1);

    const SharedThumbnails cache(sandbox.context->thumbnailCache);
    QVERIFY(cache.Read(QFile::encodeName(sandbox.onC("pics/big.png")), Modified(sandbox, "c/pics/big.png"), 40));
    QVERIFY(!cache.Read(QFile::encodeName(sandbox.onC("pics/big.png")), Modified(sandbox, "c/pics/big.png") + 1, 40));
}

void SharedThumbnailsTest::largerCellsKeepTheLargerSizes()
{
    // Cells under 128 pixels keep "normal" thumbnails; larger ones the sizes up to the first that covers them
    // ("large" at least, "x-large" for 512-pixel cells of 256 on a HiDPI screen), each only from a picture
    // with more than the size before holds, never scaled up; a read takes the smallest size that covers it.
    QCOMPARE(SharedThumbnails::KeptSide(40), 128);
    QCOMPARE(SharedThumbnails::KeptSide(128), 256);
    QCOMPARE(SharedThumbnails::KeptSide(512), 512);
    QCOMPARE(SharedThumbnails::KeptSide(513), 1024);
    QCOMPARE(SharedThumbnails::KeptSide(4000), 1024);
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/pics");
    QVERIFY(Filled(800, 600, Qt::red).save(sandbox.onC("pics/photo.png"), "PNG"));
    QVERIFY(Filled(300, 200, Qt::blue).save(sandbox.onC("pics/small.png"), "PNG"));
    const SharedThumbnails cache(sandbox.context->thumbnailCache);
    const auto native = [&](const char *name) { return QFile::encodeName(sandbox.onC(QStringLiteral("pics/") + QLatin1String(name))); };
    cache.Write(native("photo.png"), Modified(sandbox, "c/pics/photo.png"), 1, Filled(800, 600, Qt::red), QSize(800, 600),
                SharedThumbnails::KeptSide(512));
    cache.Write(native("small.png"), Modified(sandbox, "c/pics/small.png"), 1, Filled(300, 200, Qt::blue), QSize(300, 200),
                SharedThumbnails::KeptSide(1024));
    const auto kept = [&](const char *folder, const char *name) {
        return QImage(CachePath(sandbox, QLatin1String(folder), QStringLiteral("c/pics/") + QLatin1String(name)), "png").size();
    };
    QCOMPARE(kept("normal", "photo.png"), QSize(128, 96));
    QCOMPARE(kept("large", "photo.png"), QSize(256, 192));
    QCOMPARE(kept("x-large", "photo.png"), QSize(512, 384));
    QVERIFY(kept("xx-large", "photo.png").isEmpty());
    QCOMPARE(kept("large", "small.png"), QSize(256, 170));
    QCOMPARE(kept("x-large", "small.png"), QSize(300, 200));
    QVERIFY(kept("xx-large", "small.png").isEmpty());
    const qint64 modified = Modified(sandbox, "c/pics/photo.png");
    QCOMPARE(cache.Read(native("photo.png"), modified, 100)->image.size(), QSize(128, 96));
    QCOMPARE(cache.Read(native("photo.png"), modified, 400)->image.size(), QSize(512, 384));
    QVERIFY(!cache.Read(native("photo.png"), modified, 600));
    QVERIFY(!cache.Read(native("photo.png"), modified, 1100));
}

void SharedThumbnailsTest::filesThatCannotBeReadAreRecorded()
{
    // A file that cannot be decoded is recorded under fail/ and skipped at the next visit, until it changes,
    // its state changes (its permissions) or the program's readers change.
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/pics");
    QVERIFY(sandbox.writeFile("c/pics/broken.jpg", QByteArray("\xff\xd8\xff\xe0") + " not really a photo"));
    const SharedThumbnails cache(sandbox.context->thumbnailCache);
    const QByteArray broken = QFile::encodeName(sandbox.onC("pics/broken.jpg"));
    const auto changed = [&] { return *NativeFile::ChangedNanoseconds(broken); };
    {
        Browser browser(sandbox);
        browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
        QVERIFY(browser.form.thumbnailArea->pictureAt(0).undecodable);
    }
    QTRY_VERIFY(cache.Failed(broken, Modified(sandbox, "c/pics/broken.jpg"), changed()));
    QVERIFY(!cache.Failed(broken, Modified(sandbox, "c/pics/broken.jpg") + 1, changed()));

    // A record made by readers other than this build's counts for nothing.
    const QString record = CachePath(sandbox, QStringLiteral("fail/kuroeview-1.0.0"), "c/pics/broken.jpg");
    QImage mark(record, "png");
    QVERIFY(!mark.isNull());
    QImage other = mark;
    other.setText(QStringLiteral("KuRoEView::Readers"), QStringLiteral("jpeg-turbo 2000000 bmp"));
    QVERIFY(other.save(record, "PNG"));
    QVERIFY(!cache.Failed(broken, Modified(sandbox, "c/pics/broken.jpg"), changed()));
    QVERIFY(mark.save(record, "PNG"));
    QVERIFY(cache.Failed(broken, Modified(sandbox, "c/pics/broken.jpg"), changed()));

    // Its permissions changed (its contents did not): it is tried again.
    QVERIFY(QFile::setPermissions(sandbox.onC("pics/broken.jpg"), QFileDevice::ReadOwner));
    QVERIFY(!cache.Failed(broken, Modified(sandbox, "c/pics/broken.jpg"), changed()));
}

void SharedThumbnailsTest::cellsTakeThePicturesSizeNotTheThumbnails()
{
    // A kept thumbnail makes the cell of the picture's own size: a 24 x 24 drawing gets the small cell its size
    // gives, not a full one for its 128-pixel thumbnail; a kept thumbnail of another shape than the picture is
    // made again rather than stretched.
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/pics");
    QVERIFY(sandbox.writeFile("c/pics/icon.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='24' height='24'>"
                                                 "<rect width='24' height='24' fill='red'/></svg>"));
    QVERIFY(Filled(300, 200, Qt::red).save(sandbox.onC("pics/wide.png"), "PNG"));
    QVERIFY(WriteStandardThumbnail(sandbox, "c/pics/icon.svg", Filled(128, 128, Qt::blue), Modified(sandbox, "c/pics/icon.svg")));
    QVERIFY(WriteStandardThumbnail(sandbox, "c/pics/wide.png", Filled(128, 128, Qt::blue), Modified(sandbox, "c/pics/wide.png")));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 2);
    QCOMPARE(browser.form.thumbnailArea->pictureAt(0).rect.size(), QSizeF(360, 360));
    QVERIFY2(IsBlue(browser.cellColour(0)), qPrintable(browser.cellColour(0).name()));
    QVERIFY2(IsRed(browser.cellColour(1)), qPrintable(browser.cellColour(1).name()));
    QCOMPARE(browser.form.thumbnailArea->pictureAt(1).rect.size(), QSizeF(600, 400));
}

void SharedThumbnailsTest::aCacheThatCannotBeWrittenKeepsNothing()
{
    // A cache folder that cannot be made (a file stands in its place) only means that nothing is kept.
    Sandbox sandbox;
    sandbox.useCache();
    sandbox.makeFolder("c/pics");
    QVERIFY(Filled(300, 200, Qt::red).save(sandbox.onC("pics/big.png"), "PNG"));
    QVERIFY(sandbox.writeFile("cache/thumbnails", "a file, not a folder"));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 1);
    QVERIFY(IsRed(browser.cellColour(0)));
    QVERIFY(QFileInfo(sandbox.path("cache/thumbnails")).isFile());
}

QTEST_MAIN(SharedThumbnailsTest)
#include "tst_sharedthumbnails.moc"
