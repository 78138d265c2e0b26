#include "app/mainwindow.h"
#include "core/programstate.h"
#include "widgets/statuspanels.h"
#include "catalogue/catalogue.h"
#include "catalogue/stopbox.h"
#include "core/loadgate.h"
#include "catalogue/thumbnailarea.h"
#include "catalogue/thumbnaildrawing.h"
#include "catalogue/thumbnailprefetch.h"
#include "jpegwriter.h"
#include "memorywatch.h"
#include "pictures/decodebudget.h"
#include "files/filelist.h"
#include "pictures/jpegdecoder.h"
#include "pictures/pictureloader.h"
#include "platform/twips.h"
#include "sandbox.h"
#include "tree/keyedtree.h"
#include "viewer/viewerwindow.h"
#include "widgets/picturebox.h"
#include "viewer/selection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <QApplication>

#include <algorithm>
#include <thread>

namespace {

constexpr qint64 MB = 1024 * 1024;

struct Browser
{
    explicit Browser(Sandbox &sandbox) : form(*sandbox.context, state) { form.Load(); }
    ~Browser() { FreeClosedWindows(); }
    ProgramState state;
    MainWindow form;
};

// Left half red, right half blue: a picture whose own pixels can be told.
// Grain makes it cost what a photo costs to decode.
void RedBlueRow(int width, int y, bool grain, uchar *rgb)
{
    quint32 noise = quint32(y) * 2654435761u;
    for (int x = 0; x < width; ++x, rgb += 3) {
        const bool left = x < width / 2;
        noise = noise * 1664525u + 1013904223u;
        const int jitter = grain ? int(noise >> 27) - 16 : 0;
        rgb[0] = uchar((left ? 200 : 30) + jitter);
        rgb[1] = uchar(30 + jitter);
        rgb[2] = uchar((left ? 30 : 200) + jitter);
    }
}

bool WriteRedBlue(const QString &path, int width, int height, bool progressive = false, bool grain = false)
{
    JpegWriter::Options options;
    options.progressive = progressive;
    options.quality = grain ? 90 : 60;
    return JpegWriter::write(path, width, height,
                             [=](int y, uchar *rgb) { RedBlueRow(width, y, grain, rgb); }, options);
}

// A small real progressive JPEG whose frame header claims another size.
QByteArray ClaimingJpeg(int width, int height, const JpegWriter::Options &extra = JpegWriter::Options())
{
    QImage small(64, 64, QImage::Format_RGB32);
    small.fill(QColor(30, 140, 60));
    JpegWriter::Options options = extra;
    options.progressive = true;
    return JpegWriter::withClaimedSize(JpegWriter::encode(small, options), width, height);
}

bool IsRedBlue(const QImage &image)
{
    if (image.isNull())
        return false;
    const QColor left = image.pixelColor(image.width() / 4, image.height() / 2);
    const QColor right = image.pixelColor(image.width() * 3 / 4, image.height() / 2);
    return left.red() > 150 && left.blue() < 80 && right.blue() > 150 && right.red() < 80;
}

QPoint CellCentre(const MainWindow &form, int i)
{
    const QRectF cell = form.thumbnailArea->cellAt(i).rect;
    return Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).center();
}

qint64 Median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// The stop box of the running load, when it is shown.
StopBox *ShownStopBox()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<StopBox *>(window); box && box->isVisible())
            return box;
    return nullptr;
}

} // namespace

class DecodingTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void workingMemoryFollowsTheHeader();
    void pictureBombsAreRefusedQuicklyAndSmall_data();
    void pictureBombsAreRefusedQuicklyAndSmall();
    void aBombWithACameraThumbnailShowsTheThumbnail();
    void largePhotosPreviewAndOpenInTheViewer();
    void decodesSideBySideShareTheBudget();
    void stopDuringASlowDecodeAnswersAtOnce();
    void aFolderChosenRightAfterStopIsShown();
    void theStopBoxClosedByTheWindowManagerStops();
    void requestsWaitForTheLoadAndTheLatestFolderWins();
    void cameraPhotosThumbnailFromThePhotoNeverItsCopy();
    void compactThumbnailsLookLikeFullColour();
};

void DecodingTest::workingMemoryFollowsTheHeader()
{
    // A progressive file needs its whole coefficient array at any scale; a baseline one only rows and output.
    Sandbox sandbox;
    const QByteArray progressive = QFile::encodeName(sandbox.path("progressive.jpg"));
    const QByteArray baseline = QFile::encodeName(sandbox.path("baseline.jpg"));
    QVERIFY(sandbox.writeFile("progressive.jpg", ClaimingJpeg(64000, 64000)));
    QImage small(64, 64, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QVERIFY(sandbox.writeFile("baseline.jpg", JpegWriter::withClaimedSize(JpegWriter::encode(small), 64000, 64000)));
    QVERIFY(*JpegDecoder::WorkingMemory(progressive, 1) > DecodeBudget::Bytes);
    QVERIFY(*JpegDecoder::WorkingMemory(baseline, 1) < DecodeBudget::Bytes);
    QVERIFY(*JpegDecoder::WorkingMemory(baseline, 8) > DecodeBudget::Bytes);
    QVERIFY(*JpegDecoder::WorkingMemory(progressive, 1) > *JpegDecoder::WorkingMemory(baseline, 1) * 10);
}

void DecodingTest::pictureBombsAreRefusedQuicklyAndSmall_data()
{
    QTest::addColumn<int>("side");
    QTest::newRow("64000 x 64000 in 1 KB") << 64000;
    QTest::newRow("30000 x 30000") << 30000;
}

void DecodingTest::pictureBombsAreRefusedQuicklyAndSmall()
{
    // A progressive JPEG claiming a huge size is refused from its header by thumbnail, preview and viewer.
    QFETCH(int, side);
    MemoryWatch memory;
    memory.setDoing(QStringLiteral("reading a JPEG that claims %1 x %1").arg(side));
    Sandbox sandbox;
    sandbox.makeFolder("c/bombs");
    QVERIFY(sandbox.writeFile("c/bombs/bomb.jpg", ClaimingJpeg(side, side)));
    Browser browser(sandbox);
    MemoryWatch::resetPeak();
    const qint64 before = MemoryWatch::residentBytes();
    QElapsedTimer clock;
    clock.start();
    browser.form.fileList->setPath(QStringLiteral("C:\\bombs"));
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(browser.state.ThumbCount, 1);
    QVERIFY(browser.form.thumbnailArea->pictureAt(0).undecodable);

    clock.restart();
    QTest::mouseClick(browser.form.thumbnailArea, Qt::LeftButton, {}, CellCentre(browser.form, 0));
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!browser.form.previewPicture->hasPicture());
    clock.restart();
    browser.form.selection()->ThumbnailDoubleClicked(0);
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(MemoryWatch::peakBytes() - before < 600 * MB);
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void DecodingTest::aBombWithACameraThumbnailShowsTheThumbnail()
{
    // Over the budget but carrying a camera thumbnail of the same shape: the cell shows that thumbnail.
    Sandbox sandbox;
    sandbox.makeFolder("c/camera");
    QImage thumbnail(160, 160, QImage::Format_RGB32);
    thumbnail.fill(QColor(200, 40, 40));
    JpegWriter::Options options;
    options.exifThumbnail = thumbnail;
    QVERIFY(sandbox.writeFile("c/camera/square.jpg", ClaimingJpeg(64000, 64000, options)));
    options.exifThumbnail = thumbnail.scaled(160, 90);
    QVERIFY(sandbox.writeFile("c/camera/wide thumbnail.jpg", ClaimingJpeg(64000, 64000, options)));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\camera"));
    QCOMPARE(browser.state.ThumbCount, 2);
    const ThumbnailArea::Image &square = browser.form.thumbnailArea->pictureAt(0);
    QVERIFY(!square.undecodable);
    QCOMPARE(square.rect.size(), QSizeF(600, 600));
    QVERIFY(square.picture.pixelColor(square.picture.width() / 2, square.picture.height() / 2).red() > 150);
    // A small copy of another shape is no stand-in.
    QVERIFY(browser.form.thumbnailArea->pictureAt(1).undecodable);
}

void DecodingTest::largePhotosPreviewAndOpenInTheViewer()
{
    // Honest large photos are shown: the preview at its pane's size, the viewer whole or at the largest scale that fits.
    MemoryWatch memory;
    Sandbox sandbox;
    sandbox.makeFolder("c/large");
    memory.setDoing(QStringLiteral("writing the large test photos"));
    QVERIFY(WriteRedBlue(sandbox.onC("large/a 12000x9000.jpg"), 12000, 9000));
    QVERIFY(WriteRedBlue(sandbox.onC("large/b 16000x12000.jpg"), 16000, 12000));
    Browser browser(sandbox);
    memory.setDoing(QStringLiteral("loading the large photos"));
    browser.form.fileList->setPath(QStringLiteral("C:\\large"));
    QCOMPARE(browser.state.ThumbCount, 2);

    const struct
    {
        QSize natural;
        QSize decoded;
    } expected[] = {{QSize(12000, 9000), QSize(12000, 9000)}, {QSize(16000, 12000), QSize(12000, 9000)}};
    for (int i = 0; i < 2; ++i) {
        memory.setDoing(QStringLiteral("showing ") + browser.form.fileList->list(i));
        QVERIFY(IsRedBlue(browser.form.thumbnailArea->pictureAt(i).picture));
        QTest::mouseClick(browser.form.thumbnailArea, Qt::LeftButton, {}, CellCentre(browser.form, i));
        const Picture &held = browser.form.chosenPicture;
        QCOMPARE(QSizeF(held.widthTwips, held.heightTwips), QSizeF(expected[i].natural * 15));
        QVERIFY(held.reduced);
        QCOMPARE(held.image.width(), expected[i].natural.width() / 8);
        QVERIFY(IsRedBlue(held.image));
        QVERIFY(browser.form.previewPicture->hasPicture());

        browser.form.selection()->ThumbnailDoubleClicked(i);
        ViewerWindow *viewer = browser.form.selection()->viewer();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), browser.form.fileList->list(i));
        QCOMPARE(viewer->Pic.image.size(), expected[i].decoded);
        QCOMPARE(QSizeF(viewer->PicWidth(), viewer->PicHeight()), QSizeF(expected[i].natural * 15));
        QVERIFY(IsRedBlue(viewer->Pic.image));
        viewer->Unload();
        FreeClosedWindows();
    }
    QCOMPARE(DecodeBudget::InUse(), 0);
}

void DecodingTest::decodesSideBySideShareTheBudget()
{
    // Reservations that together pass the budget wait for each other; one larger than it is refused.
    QVERIFY(!DecodeBudget::Reserve(DecodeBudget::Bytes + 1));
    auto first = DecodeBudget::Reserve(DecodeBudget::Bytes * 3 / 4);
    QVERIFY(first);
    std::atomic<bool> cancelled{false};
    std::thread cancel([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cancelled = true;
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!DecodeBudget::Reserve(DecodeBudget::Bytes / 2, &cancelled));
    QVERIFY(clock.elapsed() >= 40);
    cancel.join();
    std::thread giveBack([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        first.reset();
    });
    QVERIFY(DecodeBudget::Reserve(DecodeBudget::Bytes / 2));
    giveBack.join();
    QCOMPARE(DecodeBudget::InUse(), 0);
}

void DecodingTest::stopDuringASlowDecodeAnswersAtOnce()
{
    // "中止" is answered while a large photo decodes; the load still finishes the file in hand.
    Sandbox sandbox;
    sandbox.makeFolder("c/photos");
    QVERIFY(WriteRedBlue(sandbox.onC("photos/a slow.jpg"), 6000, 4000, false, true));
    for (int i = 0; i < 5; ++i)
        WritePicture(sandbox, QStringLiteral("c/photos/b%1.bmp").arg(i));
    Browser browser(sandbox);
    QList<qint64> answers;
    for (int round = 0; round < 5; ++round) {
        browser.form.fileList->setPath(QStringLiteral("C:\\"));
        qint64 answered = -1;
        QElapsedTimer due;
        QTimer poll;
        poll.setInterval(1);
        connect(&poll, &QTimer::timeout, [&] {
            StopBox *box = ShownStopBox();
            if (!box || browser.state.ThumbCount != 0 || DecodeBudget::InUse() == 0 || due.isValid())
                return;
            // The user clicks 20 ms into the decode; the answer counts from then.
            due.start();
            QTimer::singleShot(20, Qt::PreciseTimer, box, [&, box] {
                QTest::mouseClick(box->stopButton, Qt::LeftButton);
                if (!box->isVisible())
                    answered = due.elapsed() - 20;
            });
        });
        poll.start();
        browser.form.fileList->setPath(QStringLiteral("C:\\photos"));
        poll.stop();
        QVERIFY(answered >= 0);
        answers.append(answered);
        QCOMPARE(browser.state.ThumbCount, 1);
        QVERIFY(IsRedBlue(browser.form.thumbnailArea->pictureAt(0).picture));
    }
    qInfo("stop answered %lld ms after the click (median of %lld)", Median(answers), qint64(answers.size()));
    QVERIFY(Median(answers) < 1000);
}

void DecodingTest::aFolderChosenRightAfterStopIsShown()
{
    // A tree click between "中止" and the end of the file in hand waits for the load and then shows that folder.
    Sandbox sandbox;
    sandbox.makeFolder("c/first");
    sandbox.makeFolder("c/second");
    QVERIFY(WriteRedBlue(sandbox.onC("first/a slow.jpg"), 4000, 3000, true, true));
    for (int i = 0; i < 6; ++i)
        WritePicture(sandbox, QStringLiteral("c/first/f%1.bmp").arg(i));
    for (int i = 0; i < 3; ++i)
        WritePicture(sandbox, QStringLiteral("c/second/s%1.bmp").arg(i));
    Browser browser(sandbox);
    KeyedTree &tree = *browser.form.treeView;
    tree.node(QStringLiteral("C:\\"))->setExpanded(true);
    QTreeWidgetItem *second = tree.node(QStringLiteral("C:\\second"));
    QVERIFY(second);
    tree.scrollToItem(second);

    bool clicked = false;
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, [&] {
        StopBox *box = ShownStopBox();
        if (clicked || !box || browser.state.ThumbCount != 0)
            return;
        clicked = true;
        QTest::mouseClick(box->stopButton, Qt::LeftButton);
        QVERIFY(browser.form.isEnabled());
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(second).center());
    });
    poll.start();
    browser.form.fileList->setPath(QStringLiteral("C:\\first"));
    poll.stop();
    QVERIFY(clicked);
    QTRY_COMPARE(browser.form.fileList->path(), QStringLiteral("C:\\second"));
    QTRY_COMPARE(browser.state.ThumbCount, 3);
    QCOMPARE(browser.state.FileCount, 3);
    QCOMPARE(browser.form.thumbnailArea->count(), 3);
    for (int k = 0; k < 3; ++k)
        QCOMPARE(browser.state.InfoList[k].NameText, QStringLiteral("ﾌｧｲﾙ名: s%1.bmp").arg(k));
    QCOMPARE(browser.form.statusPanels->panelText(1), QStringLiteral("画像数 3ファイル"));
    QCOMPARE(browser.form.statusPanels->panelText(2), QStringLiteral(" 完了"));
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\second"));
    QCOMPARE(tree.imageKey(QStringLiteral("C:\\second")), QStringLiteral("Fopen"));
}

void DecodingTest::theStopBoxClosedByTheWindowManagerStops()
{
    // Closing the stop box from its frame is the same as "中止".
    Sandbox sandbox;
    sandbox.makeFolder("c/many");
    for (int i = 0; i < 12; ++i)
        WritePicture(sandbox, QStringLiteral("c/many/m%1.bmp").arg(i, 2, 10, QLatin1Char('0')));
    Browser browser(sandbox);
    bool closed = false;
    QTimer poll;
    poll.setInterval(0);
    connect(&poll, &QTimer::timeout, [&] {
        if (StopBox *box = ShownStopBox(); box && !closed && browser.state.ThumbCount == 2) {
            closed = true;
            box->close();
        }
    });
    poll.start();
    browser.form.fileList->setPath(QStringLiteral("C:\\many"));
    poll.stop();
    QVERIFY(closed);
    QVERIFY(browser.state.ThumbCount < 12);
    QCOMPARE(browser.state.LoadFlag, std::int16_t(0));
    QVERIFY(browser.form.isEnabled());
    QVERIFY(!browser.state.StopRequest);
}

void DecodingTest::requestsWaitForTheLoadAndTheLatestFolderWins()
{
    // During a load folder requests wait and only the last runs; tree steps all run, in order; dialogs
    // open after them, in order, whenever they were asked for.
    LoadGate gate;
    QStringList ran;
    gate.whenIdle(LoadGate::Kind::Folder, [&] { ran << "now"; });
    QCOMPARE(ran, QStringList{"now"});
    gate.setLoading(true);
    gate.whenIdle(LoadGate::Kind::Folder, [&] { ran << "A"; });
    gate.whenIdle(LoadGate::Kind::InOrder, [&] { ran << "open"; });
    gate.whenIdle(LoadGate::Kind::Dialog, [&] { ran << "settings"; });
    gate.whenIdle(LoadGate::Kind::Folder, [&] { ran << "B"; });
    gate.whenIdle(LoadGate::Kind::Dialog, [&] { ran << "about"; });
    gate.whenIdle(LoadGate::Kind::InOrder, [&] { ran << "close"; });
    QCoreApplication::processEvents();
    QCOMPARE(ran, QStringList{"now"});
    gate.setLoading(false);
    QCOMPARE(ran, QStringList{"now"});
    QTRY_COMPARE(ran, (QStringList{"now", "open", "B", "close", "settings", "about"}));
}

void DecodingTest::cameraPhotosThumbnailFromThePhotoNeverItsCopy()
{
    // A camera's small copy never makes the thumbnail of a photo that can be decoded, whatever it shows: the
    // photo's own pixels do, at 1/8 scale. A progressive photo's thumbnail, from its first (DC) scans only,
    // looks like the whole photo drawn small.
    Sandbox sandbox;
    const int width = 1600;
    const int height = 1200;
    const auto write = [&](const QString &name, bool progressive, QImage copy) {
        JpegWriter::Options options;
        options.progressive = progressive;
        options.exifThumbnail = copy;
        return JpegWriter::write(sandbox.path(name), width, height,
                                 [=](int y, uchar *rgb) { RedBlueRow(width, y, true, rgb); }, options);
    };
    QImage same(160, 120, QImage::Format_RGB32);
    same.fill(QColor(30, 30, 200));
    QPainter(&same).fillRect(0, 0, 80, 120, QColor(200, 30, 30));
    QImage green(160, 120, QImage::Format_RGB32);
    green.fill(QColor(20, 200, 20));
    QVERIFY(write("copy.jpg", false, same));
    QVERIFY(write("other picture.jpg", false, green));
    QVERIFY(write("progressive other picture.jpg", true, green));
    QVERIFY(write("progressive.jpg", true, QImage()));
    const auto fromCopy = [&](const QString &name) {
        JpegDecoder::Request request;
        request.exifThumbnailAllowed = true;
        request.atLeast = [](QSize) { return QSize(40, 30); };
        const JpegDecoder::Result result = JpegDecoder::DecodeFile(QFile::encodeName(sandbox.path(name)), request);
        return result.decoded && result.decoded->fromExifThumbnail;
    };
    const auto thumbnail = [&](const QString &name) {
        return ThumbnailPrefetch::Make(QFile::encodeName(sandbox.path(name)), name, {}).thumbnail;
    };
    for (const char *name : {"copy.jpg", "other picture.jpg", "progressive other picture.jpg"}) {
        QVERIFY2(!fromCopy(name), qPrintable(name));
        QVERIFY2(IsRedBlue(thumbnail(name)), qPrintable(name));
    }

    const QImage quick = thumbnail("progressive.jpg").convertToFormat(QImage::Format_RGB32);
    const QImage whole = ThumbnailDrawing::DrawThumbnail(QImage(sandbox.path("progressive.jpg")), quick.width(),
                                                         quick.height(), true);
    double difference = 0;
    for (int y = 0; y < quick.height(); ++y)
        for (int x = 0; x < quick.width(); ++x) {
            const QColor a = quick.pixelColor(x, y);
            const QColor b = whole.pixelColor(x, y);
            difference += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
        }
    QVERIFY2(difference / (quick.width() * quick.height() * 3) < 10, qPrintable(QString::number(difference)));
}

void DecodingTest::compactThumbnailsLookLikeFullColour()
{
    // Thumbnails kept in 16-bit colour (with 8-bit alpha where transparent) differ from full colour by a few levels.
    QImage photo(40, 30, QImage::Format_RGB32);
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            photo.setPixel(x, y, qRgb(x * 6, y * 8, 255 - x * 3));
    for (int y = 4; y < 28; ++y)
        for (int x = 4; x < 28; ++x)
            icon.setPixel(x, y, qRgba(x * 8, 200, y * 8, 64 + x * 5));
    for (const QImage &full : {photo, icon}) {
        const QImage compact = ThumbnailDrawing::Compact(full);
        QVERIFY(compact.depth() <= 24);
        QCOMPARE(compact.hasAlphaChannel(), full.hasAlphaChannel());
        // Compared as drawn on a cell.
        const auto onCell = [](const QImage &image) {
            QImage cell(image.size(), QImage::Format_RGB32);
            cell.fill(ThumbnailArea::CellGrey);
            QPainter(&cell).drawImage(0, 0, image);
            return cell;
        };
        const QImage a = onCell(full);
        const QImage b = onCell(compact);
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y);
                const QRgb q = b.pixel(x, y);
                QVERIFY(std::abs(qRed(p) - qRed(q)) <= 8 && std::abs(qGreen(p) - qGreen(q)) <= 8 &&
                        std::abs(qBlue(p) - qBlue(q)) <= 8);
            }
    }
}

QTEST_MAIN(DecodingTest)
#include "tst_decoding.moc"
