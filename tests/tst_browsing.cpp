#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "loadedwindow.h"
#include "platform/twips.h"
#include "slowpaths.h"
#include "tree/keyedtree.h"
#include "viewer/fullscreenview.h"
#include "viewer/selection.h"
#include "viewer/viewerwindow.h"
#include "widgets/commandtoolbar.h"
#include "widgets/picturebox.h"
#include "widgets/statuspanels.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>

namespace {

struct Browser : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    ThumbnailArea &area() { return *form.thumbnailArea; }
    QPoint cellCentre(int i)
    {
        const QRectF cell = area().cellAt(i).rect;
        return Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).center();
    }
    void click(int i) { QTest::mouseClick(&area(), Qt::LeftButton, {}, cellCentre(i)); }
    void key(int key, QWidget *to = nullptr) { QTest::keyClick(to ? to : &area(), Qt::Key(key)); }
    int selected() const { return form.window.SelectedIndex; }
    ViewerWindow *viewer() const { return form.selection()->viewer(); }
    // Presses a key in the viewer and waits for the picture of that name.
    void viewerKey(int key, const QString &title)
    {
        QTest::keyClick(viewer(), Qt::Key(key));
        QTRY_COMPARE(viewer()->windowTitle(), title);
    }
};

// Bitmaps of a distinct colour each, named p00.bmp, p01.bmp, ...
void WritePictures(Sandbox &sandbox, const QString &folder, int count, int width = 40, int height = 30)
{
    sandbox.makeFolder(QStringLiteral("c/") + folder);
    for (int i = 0; i < count; ++i) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 37) % 360, 200, 220));
        QVERIFY(image.save(sandbox.onC(QStringLiteral("%1/p%2.bmp").arg(folder).arg(i, 2, 10, QLatin1Char('0'))), "BMP"));
    }
}

QString Name(int i) { return QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0')); }

} // namespace

class BrowsingTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void stepsThroughTheGrid_data();
    void stepsThroughTheGrid();
    void keysWalkTheThumbnails();
    void theViewerStepsThroughTheFolder();
    void stepsInFullScreen();
    void theNextPictureIsDecodedAhead();
};

void BrowsingTest::stepsThroughTheGrid_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("to");
    // 25 thumbnails in rows of 7, 3 rows in view.
    using Step = ThumbnailArea::Step;
    QTest::newRow("nothing selected, right") << -1 << int(Step::Right) << 0;
    QTest::newRow("nothing selected, end") << -1 << int(Step::Last) << 24;
    QTest::newRow("right") << 3 << int(Step::Right) << 4;
    QTest::newRow("left at the first") << 0 << int(Step::Left) << 0;
    QTest::newRow("right at the last") << 24 << int(Step::Right) << 24;
    QTest::newRow("down") << 3 << int(Step::Down) << 10;
    QTest::newRow("down from the last full row stays") << 20 << int(Step::Down) << 20;
    QTest::newRow("down onto the last row") << 17 << int(Step::Down) << 24;
    QTest::newRow("up from the first row stays") << 5 << int(Step::Up) << 5;
    QTest::newRow("page down") << 2 << int(Step::PageDown) << 23;
    QTest::newRow("page down past the end") << 10 << int(Step::PageDown) << 24;
    QTest::newRow("page up") << 23 << int(Step::PageUp) << 2;
    QTest::newRow("home") << 13 << int(Step::First) << 0;
}

void BrowsingTest::stepsThroughTheGrid()
{
    // Where each key of the thumbnails takes the selection.
    QFETCH(int, from);
    QFETCH(int, step);
    QFETCH(int, to);
    QCOMPARE(Selection::StepTarget(from, ThumbnailArea::Step(step), 25, 7, 3), to);
}

void BrowsingTest::keysWalkTheThumbnails()
{
    // After a click the thumbnails have the keyboard: the arrows select the next cell and the one below, as a
    // click does (the preview follows), End and Home go to the last and first, scrolling them into view; Tab
    // comes from the tree; Enter opens the viewer on the selection.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 150);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 150);
    const int columns = browser.state.GridShape[0];
    QVERIFY(columns > 1);
    browser.click(0);
    QTRY_VERIFY(browser.area().hasFocus());
    QCOMPARE(browser.area().current(), 0);
    browser.key(Qt::Key_Right);
    QCOMPARE(browser.selected(), 1);
    QCOMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\pics\\") + Name(1));
    browser.key(Qt::Key_Down);
    QCOMPARE(browser.selected(), 1 + columns);
    QCOMPARE(browser.area().current(), 1 + columns);
    QCOMPARE(browser.form.thumbnailArea->cellAt(1 + columns).background, ThumbnailArea::CellSelected);
    browser.key(Qt::Key_End);
    QCOMPARE(browser.selected(), 149);
    QScrollBar &scroll = *browser.form.scrollBar;
    QVERIFY(scroll.value() > 0);
    const int shownAt = browser.area().mapTo(browser.form.client, browser.cellCentre(149)).y();
    QVERIFY2(shownAt > browser.form.toolbar->geometry().bottom() && shownAt < browser.form.statusPanels->y(),
             qPrintable(QString::number(shownAt)));
    browser.key(Qt::Key_Home);
    QCOMPARE(browser.selected(), 0);
    QCOMPARE(scroll.value(), 0);

    browser.form.treeView->setFocus();
    QTest::keyClick(browser.form.treeView, Qt::Key_Tab);
    QVERIFY(browser.area().hasFocus());
    browser.key(Qt::Key_Return);
    QTRY_VERIFY(browser.viewer() && browser.viewer()->isVisible());
    QCOMPARE(browser.viewer()->windowTitle(), Name(0));
}

void BrowsingTest::theViewerStepsThroughTheFolder()
{
    // In the viewer, Right shows the next picture as a double click opens one (its name, its size, the zoom
    // back at the natural size), Left the one before, End and Home the last and first; Escape goes back to the
    // thumbnails, whose selection and preview are then on the picture shown last.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 5, 40, 30);
    QImage wide(200, 50, QImage::Format_RGB32);
    wide.fill(Qt::darkGreen);
    QVERIFY(wide.save(sandbox.onC("pics/p02.bmp"), "BMP"));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    browser.click(0);
    QTest::mouseDClick(&browser.area(), Qt::LeftButton, {}, browser.cellCentre(0));
    QTRY_VERIFY(browser.viewer() && browser.viewer()->isVisible());
    ViewerWindow *viewer = browser.viewer();
    QCOMPARE(viewer->windowTitle(), Name(0));
    browser.viewerKey(Qt::Key_Right, Name(1));
    QTest::keyClick(viewer, Qt::Key_Plus);
    QTRY_COMPARE(browser.state.ZoomLevel, std::int16_t(4));
    browser.viewerKey(Qt::Key_Space, Name(2));
    QCOMPARE(browser.state.ZoomLevel, std::int16_t(5));
    QCOMPARE(viewer->PicWidth(), 200 * 15.0);
    QCOMPARE(Twips::width(viewer->pictureBox), 200 * 15.0);
    QVERIFY(!viewer->naturalSizeAction->isEnabled());
    browser.viewerKey(Qt::Key_Left, Name(1));
    browser.viewerKey(Qt::Key_End, Name(4));
    QTest::keyClick(viewer, Qt::Key_Right);
    QTest::qWait(50);
    QCOMPARE(viewer->windowTitle(), Name(4));
    browser.viewerKey(Qt::Key_Home, Name(0));
    browser.viewerKey(Qt::Key_PageDown, Name(1));
    browser.viewerKey(Qt::Key_Down, Name(2));
    QVERIFY(!browser.form.isVisible());

    QTest::keyClick(viewer, Qt::Key_Escape);
    QTRY_VERIFY(browser.form.isVisible());
    QTRY_VERIFY(!browser.viewer());
    QTRY_COMPARE(browser.selected(), 2);
    QTRY_COMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\pics\\") + Name(2));
}

void BrowsingTest::stepsInFullScreen()
{
    // In full screen the keys step through the folder too, the full-screen view showing each picture.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 3, 40, 30);
    QImage tall(30, 90, QImage::Format_RGB32);
    tall.fill(Qt::darkRed);
    QVERIFY(tall.save(sandbox.onC("pics/p01.bmp"), "BMP"));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    browser.click(0);
    QTest::mouseDClick(&browser.area(), Qt::LeftButton, {}, browser.cellCentre(0));
    QTRY_VERIFY(browser.viewer() && browser.viewer()->isVisible());
    ViewerWindow *viewer = browser.viewer();
    viewer->fullScreenAction->trigger();
    QTRY_VERIFY(viewer->fullScreen() && viewer->fullScreen()->isVisible());
    FullScreenView *full = viewer->fullScreen();
    QTest::keyClick(full, Qt::Key_Right);
    QTRY_COMPARE(viewer->windowTitle(), Name(1));
    QCOMPARE(Twips::height(full->pictureBox), 90 * 15.0);
    QVERIFY(full->isVisible());
    QVERIFY(!viewer->isVisible());
    QCOMPARE(full->pictureBox->picture().image.pixelColor(10, 10), QColor(Qt::darkRed));
}

void BrowsingTest::theNextPictureIsDecodedAhead()
{
    // While a picture shows, the one after it is decoded: a step to it takes no decode of its own, even where
    // reading the file is slow.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 3, 400, 300);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    SlowPaths slow;
    slow.slow(QFile::encodeName(sandbox.onC("pics/") + Name(1)), NativeFile::Asked::Open, 600);
    browser.click(0);
    QTest::mouseDClick(&browser.area(), Qt::LeftButton, {}, browser.cellCentre(0));
    QTRY_VERIFY(browser.viewer() && browser.viewer()->isVisible());
    // Its header, then its pixels: two slow opens, then the picture is held.
    QTRY_VERIFY(slow.asked(QFile::encodeName(sandbox.onC("pics/") + Name(1)), NativeFile::Asked::Open) >= 2);
    QTest::qWait(900);
    QElapsedTimer clock;
    clock.start();
    browser.viewerKey(Qt::Key_Right, Name(1));
    QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
}

QTEST_MAIN(BrowsingTest)
#include "tst_browsing.moc"
