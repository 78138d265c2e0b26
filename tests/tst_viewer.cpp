#include "widgets/commandtoolbar.h"
#include "app/mainwindow.h"
#include "core/programstate.h"
#include "widgets/statuspanels.h"
#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "platform/twips.h"
#include "picturewriters.h"
#include "sandbox.h"
#include "core/mainwindowstate.h"
#include "viewer/viewerwindow.h"
#include "viewer/fullscreenview.h"
#include "viewer/hoverpreview.h"
#include "widgets/picturebox.h"
#include "viewer/viewerzoom.h"
#include "viewer/selection.h"
#include "viewer/hoverbox.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>
#include <QMenu>
#include <QScreen>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

// A main window showing the pictures of C:\pics.
struct Viewing
{
    explicit Viewing(Sandbox &sandbox) : form(*sandbox.context, state)
    {
        form.Load();
        form.fileList->setPath(QStringLiteral("C:\\pics"));
    }
    ~Viewing() { flushDeletes(); }

    static void flushDeletes() { FreeClosedWindows(); }

    QPoint cellCentre(int i) const
    {
        const QRectF cell = form.thumbnailArea->cellAt(i).rect;
        return Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).center();
    }
    QPoint cellCorner(int i) const { return cellCentre(i) - QPoint(20, 20); }
    void click(int i) { QTest::mouseClick(form.thumbnailArea, Qt::LeftButton, {}, cellCentre(i)); }
    void doubleClick(int i)
    {
        click(i);
        QTest::mouseDClick(form.thumbnailArea, Qt::LeftButton, {}, cellCentre(i));
        QTest::mouseRelease(form.thumbnailArea, Qt::LeftButton, {}, cellCentre(i));
    }
    ViewerWindow *viewer() const { return form.selection()->viewer(); }
    // Rests the pointer on a thumbnail, coming from outside the window.
    void hoverOver(int i)
    {
        QTest::mouseMove(&form, QPoint(form.width() - 1, form.height() - 1));
        QTest::mouseMove(form.thumbnailArea, cellCentre(i));
    }

    ProgramState state;
    MainWindow form;
};

void writeBitmap(Sandbox &sandbox, const QString &name, int width, int height, QColor colour = Qt::darkCyan)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    sandbox.makeFolder(QStringLiteral("c/pics"));
    QVERIFY(image.save(sandbox.onC(QStringLiteral("pics/") + name), "BMP"));
}

Picture pictureOfTwips(double width, double height)
{
    Picture picture;
    picture.image = QImage(std::max(1, int(width / 15)), std::max(1, int(height / 15)), QImage::Format_RGB32);
    picture.image.fill(Qt::darkMagenta);
    picture.widthTwips = width;
    picture.heightTwips = height;
    return picture;
}

// Opens the viewer on a picture of the given natural size in twips, as the
// open command does with what the last click loaded.
ViewerWindow *openOn(Viewing &viewing, double width, double height)
{
    viewing.form.chosenPicture = pictureOfTwips(width, height);
    viewing.form.selection()->OpenViewer(0);
    return viewing.viewer();
}

} // namespace

class ViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void previewSizes_data();
    void previewSizes();
    void clickHighlightsAndPreviews();
    void reclickingTheSelectionDoesNothing();
    void viewerOpensAroundThePicture();
    void viewerBars();
    void zoomingInStepsToFiveTimes();
    void zoomingOutStepsToOneFifth();
    void zoomBoxesAndNaturalSize();
    void maximisedViewerKeepsItsSize();
    void pictureAsWideAsTheViewFits();
    void pointerJumpArithmetic();
    void viewerPressGestures();
    void viewerDragLimits();
    void fullScreenGestures();
    void fullScreenDragLimits();
    void doubleClickInFullScreenReturnsToThumbnails();
    void closeAllEndsAtOnce();
    void unreadableFileIsNamedInTheCaption();
    void doubleClickDuringTheLoadWaitsForThePicture();
    void metafileIsRedrawnAtEveryZoom();
    void hoverBoxIsDueAfterTheFirstMove();
    void hoverBoxClosesOnEveryCancel();
    void hoverBoxStaysOnTheScreen();
    void hoverBoxClosesWhenTheViewerShows();
    void backFromFullScreenTheViewerDecidesDragging();
    void noHoverBoxWithoutAThumbnail();
    void statusPanelsAndTheScrollBarCancelTheHover();
    void aClickIsAPressAndAReleaseOnOneCell();
    void theViewerStaysInsideTheWorkArea();
    void theWheelScrollsALargePicture();
    void escapeLeavesFullScreen();
    void thePreviewFollowsItsBox();
    void theSelectionRunsWithoutTheMainWindow();
};

void ViewerTest::previewSizes_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<QSizeF>("shown");
    QTest::newRow("2600 x 1300 natural") << 2600.0 << 1300.0 << QSizeF(2600, 1300);
    QTest::newRow("2601 x 100 scaled") << 2601.0 << 100.0 << QSizeF(2600, 100 * 2600.0 / 2601.0);
    QTest::newRow("5200 square halved") << 5200.0 << 5200.0 << QSizeF(2600, 2600);
    QTest::newRow("tall") << 1000.0 << 5200.0 << QSizeF(500, 2600);
}

void ViewerTest::previewSizes()
{
    // The preview shows pictures up to 2600 twips as they are, larger ones with the longer side at 2600.
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(QSizeF, shown);
    Sandbox sandbox;
    writeBitmap(sandbox, "bad.bmp", 1, 1);
    sandbox.writeFile("c/pics/bad.bmp", "not a picture");
    Viewing viewing(sandbox);
    // The file cannot be read, so the preview shows the picture held before.
    viewing.form.chosenPicture = pictureOfTwips(width, height);
    viewing.click(0);
    PictureBox *preview = viewing.form.previewPicture;
    QCOMPARE(QSizeF(Twips::width(preview), Twips::height(preview)), shown);
    QVERIFY(preview->isVisible());
    const QLabel *box = viewing.form.previewPane;
    QCOMPARE(Twips::left(preview) + Twips::width(preview) / 2, Twips::left(box) + Twips::width(box) / 2);
    QCOMPARE(Twips::top(preview) + Twips::height(preview) / 2, Twips::top(box) + Twips::height(box) / 2);
}

void ViewerTest::clickHighlightsAndPreviews()
{
    // A click turns the cell dark blue, the others grey, loads the picture and enables the open command.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 40, 30, Qt::red);
    writeBitmap(sandbox, "b.bmp", 20, 60, Qt::green);
    Viewing viewing(sandbox);
    QVERIFY(!viewing.form.openAction->isEnabled());
    viewing.click(0);
    viewing.click(1);
    QCOMPARE(viewing.form.window.SelectedIndex, std::int16_t(1));
    QCOMPARE(viewing.form.thumbnailArea->cellAt(0).background, QColor(192, 192, 192));
    QCOMPARE(viewing.form.thumbnailArea->cellAt(1).background, QColor(0, 0, 128));
    QCOMPARE(viewing.form.chosenPicture.image.pixelColor(0, 0), QColor(Qt::green));
    QCOMPARE(QSizeF(Twips::width(viewing.form.previewPicture), Twips::height(viewing.form.previewPicture)), QSizeF(300, 900));
    QVERIFY(viewing.form.openAction->isEnabled());
    QVERIFY(viewing.form.toolbar->isButtonEnabled(4));
    QVERIFY(!viewing.form.waitLabel->isVisible());
    QCOMPARE(viewing.form.cursor().shape(), Qt::ArrowCursor);
}

void ViewerTest::reclickingTheSelectionDoesNothing()
{
    // Clicking the selected thumbnail again neither reloads the file nor touches the cells.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 40, 30, Qt::red);
    writeBitmap(sandbox, "b.bmp", 40, 30, Qt::blue);
    Viewing viewing(sandbox);
    viewing.click(0);
    writeBitmap(sandbox, "a.bmp", 40, 30, Qt::yellow);
    viewing.form.thumbnailArea->cellAt(1).background = Qt::magenta;
    viewing.click(0);
    QCOMPARE(viewing.form.chosenPicture.image.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(viewing.form.thumbnailArea->cellAt(1).background, QColor(Qt::magenta));
}

void ViewerTest::viewerOpensAroundThePicture()
{
    // A double click opens the viewer titled with the bare name, at least 6800 x 3000, the main window hidden.
    Sandbox sandbox;
    writeBitmap(sandbox, "icon.bmp", 16, 16);
    writeBitmap(sandbox, "wide.bmp", 800, 600);
    Viewing viewing(sandbox);
    viewing.doubleClick(0);
    ViewerWindow *viewer = viewing.viewer();
    QVERIFY(viewer && viewer->isVisible());
    QVERIFY(!viewing.form.isVisible());
    QCOMPARE(viewer->windowTitle(), QStringLiteral("icon.bmp"));
    QCOMPARE(viewer->Width(), 6800.0);
    QCOMPARE(viewer->Height(), 3000.0);
    QCOMPARE(Twips::width(viewer->pictureBox), 240.0);
    QCOMPARE(Twips::left(viewer->pictureBox), 6800 / 2 - 120 - 50.0);
    QCOMPARE(viewing.state.ZoomLevel, std::int16_t(5));
    QVERIFY(!viewer->toolbar->isButtonEnabled(5));
    QVERIFY(!viewer->naturalSizeAction->isEnabled());

    viewer->Unload();
    QVERIFY(viewing.form.isVisible());
    QVERIFY(!viewing.viewer());
    Viewing::flushDeletes();

    viewing.doubleClick(1);
    viewer = viewing.viewer();
    QVERIFY(viewer);
    QCOMPARE(viewer->windowTitle(), QStringLiteral("wide.bmp"));
    QCOMPARE(viewer->Width(), 12100.0);
    QCOMPARE(viewer->Height(), 9000 + Twips::height(viewer->statusLine) + Twips::height(viewer->toolbar) + 705);
    const QRect screen = viewer->screen()->geometry();
    QCOMPARE(viewer->Left(), (Twips::fromPixelsX(screen.width()) - 12100) / 2);
    QCOMPARE(viewer->Top(), (Twips::fromPixelsY(screen.height()) - viewer->Height()) / 2);
}

void ViewerTest::viewerBars()
{
    // The toolbar sits at the top and the status bar at the bottom of the viewer's inner area.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 100, 100);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 1500, 1500);
    QVERIFY(viewer->statusLine->isVisible());
    QCOMPARE(viewer->statusLine->geometry().bottom(), viewer->centralWidget()->height() - 1);
    QCOMPARE(viewer->toolbar->geometry().top(), 0);
    const QImage shown = viewer->grab().toImage();
    QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() - 3), viewer->statusLine->palette().color(QPalette::Window));
    QCOMPARE(shown.pixelColor(2, shown.height() / 2), QColor(Qt::black));
}

namespace {

QSizeF boxOf(const QWidget *widget) { return QSizeF(Twips::width(widget), Twips::height(widget)); }

void clickButton(ViewerWindow *viewer, int position)
{
    QTest::mouseClick(viewer->toolbar->buttonWidget(position), Qt::LeftButton);
}

// Where the pointer goes for toolbar button k of this viewer.
QPoint expectedPointer(ViewerWindow *viewer, int k)
{
    const QRect button = viewer->toolbar->buttonWidget(k)->geometry();
    return ViewerZoom::PointerTarget(viewer->Left(), viewer->Top(), Twips::fromPixelsX(button.x()),
                                        Twips::fromPixelsY(button.y()), Twips::fromPixelsX(button.width()));
}

} // namespace

void ViewerTest::zoomingInStepsToFiveTimes()
{
    // Four zoom-ins give 2, 3, 4 and 5 times; then zoom-in is disabled and the pointer sits on zoom-out.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 1500, 900);
    const double factors[] = {2.0, 3.0, 4.0, 5.0};
    for (int step = 0; step < 4; ++step) {
        clickButton(viewer, 1);
        QCOMPARE(viewing.state.ZoomLevel, std::int16_t(4 - step));
        QCOMPARE(boxOf(viewer->pictureBox), QSizeF(1500 * factors[step], 900 * factors[step]));
        QVERIFY(viewer->toolbar->isButtonEnabled(5) && viewer->naturalSizeAction->isEnabled());
        QVERIFY(viewer->toolbar->isButtonEnabled(2) && viewer->zoomOutAction->isEnabled());
        if (step < 3)
            QCOMPARE(sandbox.windows->cursor, expectedPointer(viewer, 1));
    }
    QVERIFY(!viewer->toolbar->isButtonEnabled(1));
    QVERIFY(!viewer->zoomInAction->isEnabled());
    QCOMPARE(sandbox.windows->cursor, expectedPointer(viewer, 2));
    // The window was fitted around the box: 7500 + 100 wide.
    QCOMPARE(viewer->Width(), 7600.0);
    QCOMPARE(viewer->Height(), 4500 + Twips::height(viewer->statusLine) + Twips::height(viewer->toolbar) + 805);
}

void ViewerTest::zoomingOutStepsToOneFifth()
{
    // Four zoom-outs from the menu give 0.5, 0.3, 0.25, 0.2; then zoom-out is disabled, the pointer on zoom-in.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 6000, 3000);
    const double factors[] = {0.5, 0.3, 0.25, 0.2};
    for (int step = 0; step < 4; ++step) {
        viewer->zoomOutAction->trigger();
        QCOMPARE(viewing.state.ZoomLevel, std::int16_t(6 + step));
        QCOMPARE(boxOf(viewer->pictureBox), QSizeF(6000 * factors[step], 3000 * factors[step]));
        QVERIFY(viewer->zoomInAction->isEnabled());
    }
    QVERIFY(!viewer->toolbar->isButtonEnabled(2));
    QVERIFY(!viewer->zoomOutAction->isEnabled());
    QCOMPARE(sandbox.windows->cursor, expectedPointer(viewer, 1));
    QCOMPARE(viewer->Width(), 6800.0);
    QCOMPARE(viewer->Height(), 3000.0);
}

void ViewerTest::zoomBoxesAndNaturalSize()
{
    // 3000 x 2000 at level 6 is a 1500 x 1000 box; natural size from level 1 restores everything.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 3000, 2000);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomOut);
    QCOMPARE(boxOf(viewer->pictureBox), QSizeF(1500, 1000));
    QCOMPARE(viewer->Width(), 6800.0);
    QVERIFY(viewer->Height() >= 3000.0);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::NaturalSize);
    for (int step = 0; step < 4; ++step)
        ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomIn);
    QCOMPARE(viewing.state.ZoomLevel, std::int16_t(1));
    viewer->naturalSizeAction->trigger();
    QCOMPARE(viewing.state.ZoomLevel, std::int16_t(5));
    QCOMPARE(boxOf(viewer->pictureBox), QSizeF(3000, 2000));
    QVERIFY(viewer->toolbar->isButtonEnabled(1) && viewer->zoomInAction->isEnabled());
    QVERIFY(viewer->toolbar->isButtonEnabled(2) && viewer->zoomOutAction->isEnabled());
    QVERIFY(!viewer->toolbar->isButtonEnabled(5) && !viewer->naturalSizeAction->isEnabled());
    QVERIFY(viewer->pictureBox->isVisible());
    // Full screen leaves the level and the enabling alone.
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomIn);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::FullScreen);
    QCOMPARE(viewing.state.ZoomLevel, std::int16_t(4));
    QVERIFY(viewer->toolbar->isButtonEnabled(5) && viewer->toolbar->isButtonEnabled(1));
    QVERIFY(viewer->fullScreen());
}

void ViewerTest::maximisedViewerKeepsItsSize()
{
    // Zooming a maximised viewer changes the box and re-centres it, never the window.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 1500, 1500);
    viewer->showMaximized();
    QTRY_VERIFY(viewer->isMaximized());
    QTRY_COMPARE(viewer->frameGeometry(), viewer->screen()->availableGeometry());
    const QRect window = viewer->frameGeometry();
    clickButton(viewer, 1);
    QCOMPARE(viewer->frameGeometry(), window);
    QCOMPARE(boxOf(viewer->pictureBox), QSizeF(3000, 3000));
    QCOMPARE(Twips::left(viewer->pictureBox), viewer->Width() / 2 - 1500 - 50);
}

void ViewerTest::pictureAsWideAsTheViewFits()
{
    // A picture exactly as wide as the view fits: default pointer, not draggable; a wider window box does not.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 9000, 1500);
    QCOMPARE(viewer->Width() - 100, 9000.0);
    QCOMPARE(viewing.state.Draggable, std::int16_t(0));
    QVERIFY(!viewer->pictureBox->showsHandPointer());
    Twips::setWidth(viewer->pictureBox, 9015);
    ViewerZoom::PlacePicture(viewer->parts());
    QCOMPARE(viewing.state.Draggable, std::int16_t(1));
    QVERIFY(viewer->pictureBox->showsHandPointer());
    QCOMPARE(viewer->pictureBox->cursor().shape(), Qt::BitmapCursor);
}

void ViewerTest::pointerJumpArithmetic()
{
    // A viewer at (1500, 1200) and a button at (0, 30), 345 wide: the pointer goes to pixel (112, 135).
    QCOMPARE(ViewerZoom::PointerTarget(1500, 1200, 0, 30, 345), QPoint(112, 135));
}

void ViewerTest::viewerPressGestures()
{
    // Middle press, or a right press with the left held, switches to full screen; two right clicks do not.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 1500, 1500);
    QTest::mousePress(viewer->pictureBox, Qt::MiddleButton);
    QTest::mouseRelease(viewer->pictureBox, Qt::MiddleButton);
    QVERIFY(viewer->fullScreen() && viewer->fullScreen()->isVisible());
    QVERIFY(!viewer->isVisible());
    viewer->fullScreen()->Unload();
    viewer->show();

    QTest::mouseClick(viewer->pictureBackground, Qt::RightButton, {}, QPoint(2, 2));
    QTest::mouseClick(viewer->pictureBackground, Qt::RightButton, {}, QPoint(2, 2));
    QVERIFY(!viewer->fullScreen() || viewer->fullScreen()->isUnloaded());
    QVERIFY(viewer->isVisible());

    QTest::mousePress(viewer->pictureBox, Qt::LeftButton);
    QTest::mousePress(viewer->pictureBox, Qt::RightButton);
    QVERIFY(viewer->fullScreen() && !viewer->fullScreen()->isUnloaded());
    QVERIFY(!viewer->isVisible());
    QTest::mouseRelease(viewer->pictureBox, Qt::RightButton);
    QTest::mouseRelease(viewer->pictureBox, Qt::LeftButton);
}

void ViewerTest::viewerDragLimits()
{
    // A picture larger than the window follows the left button within the limits; right drags and
    // moves past an edge leave that direction unchanged.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 9000, 6000);
    Twips::setWindowSize(viewer, 4500, 4500);
    QTRY_COMPARE(viewing.state.Draggable, std::int16_t(1));
    PictureBox *pictureBox = viewer->pictureBox;
    QVERIFY(pictureBox->showsHandPointer());
    const double left = Twips::left(pictureBox);
    const double top = Twips::top(pictureBox);
    QTest::mousePress(pictureBox, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(pictureBox, QPoint(90, 95));
    QCOMPARE(Twips::left(pictureBox), left - 150);
    QCOMPARE(Twips::top(pictureBox), top - 75);
    // Far to the right pulls the left edge past 0: only the vertical part moves.
    QTest::mouseMove(pictureBox, QPoint(100 + 400, 100 + 4));
    QCOMPARE(Twips::left(pictureBox), left - 150);
    QCOMPARE(Twips::top(pictureBox), top - 75 + 60);
    QTest::mouseRelease(pictureBox, Qt::LeftButton, {}, QPoint(100 + 400, 100 + 4));
    // The right button drags nothing.
    QTest::mousePress(pictureBox, Qt::RightButton, {}, QPoint(100, 100));
    QTest::mouseMove(pictureBox, QPoint(80, 80));
    QCOMPARE(Twips::left(pictureBox), left - 150);
    QTest::mouseRelease(pictureBox, Qt::RightButton, {}, QPoint(80, 80));

    // A picture narrower than the window cannot move sideways.
    Twips::setWindowSize(viewer, 9300, 4500);
    QTRY_COMPARE(Twips::left(pictureBox), 9300 / 2 - 4500 - 50.0);
    QCOMPARE(viewing.state.Draggable, std::int16_t(1));
    QTest::mousePress(pictureBox, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(pictureBox, QPoint(99, 99));
    QCOMPARE(Twips::left(pictureBox), 9300 / 2 - 4500 - 50.0);
    QTest::mouseRelease(pictureBox, Qt::LeftButton, {}, QPoint(99, 99));
}

void ViewerTest::fullScreenGestures()
{
    // In full screen a left press and later a right press, two rights, or a middle press return to the viewer;
    // two left presses stay.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 1500, 1500);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomIn);
    const QRect window = viewer->frameGeometry();

    const auto enter = [&] {
        ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::FullScreen);
        FullScreenView *full = viewer->fullScreen();
        QVERIFY(full && full->isVisible() && !viewer->isVisible());
        QCOMPARE(full->geometry(), full->screen()->geometry());
        QCOMPARE(boxOf(full->pictureBox), QSizeF(3000, 3000));
        QCOMPARE(Twips::left(full->pictureBox), full->ScaleWidth() / 2 - 1500);
        QCOMPARE(viewing.state.Draggable, std::int16_t(0));
        sandbox.windows->calls.clear();
    };
    const auto backInViewer = [&] {
        QVERIFY(viewer->isVisible());
        QVERIFY(viewer->fullScreen()->isUnloaded());
        QCOMPARE(viewer->frameGeometry(), window);
        QCOMPARE(viewing.state.ZoomLevel, std::int16_t(4));
    };

    enter();
    FullScreenView *full = viewer->fullScreen();
    QTest::mouseClick(full, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(full->pictureBox, Qt::LeftButton);
    QVERIFY(!full->isUnloaded());
    QTest::mouseClick(full, Qt::RightButton, {}, QPoint(3, 3));
    backInViewer();

    enter();
    full = viewer->fullScreen();
    QTest::mouseClick(full, Qt::RightButton, {}, QPoint(3, 3));
    QVERIFY(!full->isUnloaded());
    QTest::mouseClick(full->pictureBox, Qt::RightButton);
    backInViewer();

    enter();
    QTest::mousePress(viewer->fullScreen(), Qt::MiddleButton, {}, QPoint(3, 3));
    QTest::mouseRelease(viewer->fullScreen(), Qt::MiddleButton, {}, QPoint(3, 3));
    backInViewer();
}

void ViewerTest::fullScreenDragLimits()
{
    // A picture wider than the screen but not taller moves sideways only, until an edge meets the screen's.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 12000, 3000);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomIn);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::FullScreen);
    FullScreenView *full = viewer->fullScreen();
    QCOMPARE(viewing.state.Draggable, std::int16_t(1));
    PictureBox *pictureBox = full->pictureBox;
    QVERIFY(pictureBox->showsHandPointer());
    const double left = Twips::left(pictureBox);
    const double top = Twips::top(pictureBox);
    QCOMPARE(left, full->ScaleWidth() / 2 - 12000);
    QTest::mousePress(pictureBox, Qt::LeftButton, {}, QPoint(300, 100));
    QTest::mouseMove(pictureBox, QPoint(310, 110));
    QCOMPARE(Twips::left(pictureBox), left + 150);
    QCOMPARE(Twips::top(pictureBox), top);
    // Pulling the left edge past the screen's left edge is refused.
    QTest::mouseMove(pictureBox, QPoint(300 + 300, 100));
    QCOMPARE(Twips::left(pictureBox), left + 150);
    QTest::mouseMove(pictureBox, QPoint(300 + 200 - 150 / 15 - 1, 100));
    QVERIFY(Twips::left(pictureBox) <= 0);
    QTest::mouseRelease(pictureBox, Qt::LeftButton);
}

void ViewerTest::doubleClickInFullScreenReturnsToThumbnails()
{
    // A double click in full screen shows the main window; neither the viewer nor the full screen remains.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    Viewing viewing(sandbox);
    viewing.doubleClick(0);
    QPointer<ViewerWindow> viewer = viewing.viewer();
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::FullScreen);
    QPointer<FullScreenView> full = viewer->fullScreen();
    QTest::mouseClick(full->pictureBox, Qt::LeftButton);
    QTest::mouseDClick(full->pictureBox, Qt::LeftButton);
    QTest::mouseRelease(viewing.form.thumbnailArea, Qt::LeftButton);
    QVERIFY(viewing.form.isVisible());
    QVERIFY(!viewing.viewer());
    Viewing::flushDeletes();
    QVERIFY(!viewer);
    QVERIFY(!full);

    // A double click in the viewer goes back the same way; the next viewer starts at level 5.
    viewing.doubleClick(0);
    viewer = viewing.viewer();
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomIn);
    QTest::mouseDClick(viewer->pictureBackground, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(viewing.form.thumbnailArea, Qt::LeftButton);
    QVERIFY(viewing.form.isVisible());
    Viewing::flushDeletes();
    QVERIFY(!viewer);
    viewing.form.openAction->trigger();
    QVERIFY(viewing.viewer());
    QCOMPARE(viewing.state.ZoomLevel, std::int16_t(5));
    QCOMPARE(viewing.viewer()->windowTitle(), QStringLiteral("a.bmp"));
}

void ViewerTest::closeAllEndsAtOnce()
{
    // "閉じる" ends the program at once, without the main window's shut-down; "サイルネームに戻る" goes back.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    Viewing viewing(sandbox);
    viewing.doubleClick(0);
    viewing.viewer()->closeAction->trigger();
    QVERIFY(viewing.form.isVisible());
    QVERIFY(!viewing.viewer());
    QVERIFY(sandbox.endCalls.isEmpty());

    viewing.doubleClick(0);
    viewing.viewer()->closeAllAction->trigger();
    QCOMPARE(sandbox.endCalls, QList<int>{0});
    QVERIFY(!viewing.form.isVisible());
}

void ViewerTest::unreadableFileIsNamedInTheCaption()
{
    // A file that cannot be read shows the picture held before, and the caption says so.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30, Qt::red);
    sandbox.writeFile("c/pics/b.bmp", "BM but nothing else");
    Viewing viewing(sandbox);
    viewing.doubleClick(1);
    QCOMPARE(viewing.viewer()->windowTitle(), QStringLiteral("b.bmp （読み込めない画像です）"));
    viewing.viewer()->Unload();
    viewing.click(0);
    viewing.doubleClick(1);
    QCOMPARE(viewing.viewer()->windowTitle(), QStringLiteral("b.bmp （読み込めない画像です。表示中: a.bmp）"));
    QCOMPARE(viewing.viewer()->pictureBox->picture().image.pixelColor(0, 0), QColor(Qt::red));
}

void ViewerTest::doubleClickDuringTheLoadWaitsForThePicture()
{
    // A double click handled while the click still loads its picture opens the viewer on that picture.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30, Qt::red);
    writeBitmap(sandbox, "b.bmp", 30, 30, Qt::blue);
    Viewing viewing(sandbox);
    const QPointF at = viewing.cellCentre(1);
    QCoreApplication::postEvent(viewing.form.thumbnailArea,
                                new QMouseEvent(QEvent::MouseButtonDblClick, at, viewing.form.thumbnailArea->mapToGlobal(at),
                                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    viewing.click(1);
    QVERIFY(viewing.viewer());
    QCOMPARE(viewing.viewer()->windowTitle(), QStringLiteral("b.bmp"));
    QCOMPARE(viewing.viewer()->pictureBox->picture().image.pixelColor(0, 0), QColor(Qt::blue));
}

void ViewerTest::metafileIsRedrawnAtEveryZoom()
{
    // A metafile zoomed five times is drawn again at that size: its edges stay sharp.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    QVERIFY(PictureWriters::save(sandbox.onC("pics/clip.wmf"),
                                 PictureWriters::metafileRectangle(600, 600, 1440, qRgb(0, 0, 0))));
    Viewing viewing(sandbox);
    QVERIFY(!viewing.form.thumbnailArea->pictureAt(0).undecodable);
    viewing.doubleClick(0);
    ViewerWindow *viewer = viewing.viewer();
    QVERIFY(viewer->Pic.drawing);
    for (int step = 0; step < 4; ++step)
        ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomIn);
    QCOMPARE(boxOf(viewer->pictureBox), QSizeF(3000, 3000));
    const QImage shown = viewer->pictureBox->grab().toImage();
    int greys = 0;
    for (int x = 0; x < shown.width() / 2; ++x) {
        const QColor colour = shown.pixelColor(x, shown.height() / 2);
        if (colour != QColor(Qt::white) && colour != QColor(Qt::black))
            ++greys;
    }
    QVERIFY(greys <= 1);
}

void ViewerTest::hoverBoxIsDueAfterTheFirstMove()
{
    // The box comes 892 ms after the first move, moves or not, 600 high and 300 wider than its longer line.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    Viewing viewing(sandbox);
    QCOMPARE(viewing.state.PreviewShown, std::int16_t(0));
    QVERIFY(!viewing.form.hover()->box());
    QElapsedTimer clock;
    clock.start();
    viewing.hoverOver(0);
    QCOMPARE(viewing.state.HoverIndex, std::int16_t(0));
    while (clock.elapsed() < 700) {
        QTest::mouseMove(viewing.form.thumbnailArea, viewing.cellCorner(0) + QPoint(clock.elapsed() % 20, 0));
        QTest::qWait(50);
    }
    QVERIFY(!viewing.form.hover()->box());
    QTRY_VERIFY_WITH_TIMEOUT(viewing.form.hover()->box(), 1000);
    QVERIFY(clock.elapsed() >= 850);
    QVERIFY(!viewing.form.hoverTimer->isActive());
    HoverBox *box = viewing.form.hover()->box();
    QCOMPARE(viewing.state.PreviewShown, std::int16_t(1));
    QCOMPARE(box->line(0).text, viewing.state.InfoList[0].NameText);
    QCOMPARE(box->line(1).text, viewing.state.InfoList[0].SizeText);
    QCOMPARE(Twips::windowHeight(box), 600.0);
    QCOMPARE(Twips::windowWidth(box), std::max(box->line(0).width, box->line(1).width) + 300);
    const QRectF cell = viewing.form.thumbnailArea->cellAt(0).rect;
    QCOMPARE(Twips::windowTop(box), viewing.state.HoverY + viewing.form.WindowTop() + Twips::top(viewing.form.thumbnailArea) +
                                         cell.top() + cell.height() + 250);
    QVERIFY(!box->isActiveWindow());
}

void ViewerTest::hoverBoxStaysOnTheScreen()
{
    // A thumbnail at the bottom right corner of the screen: its box lies inside the screen, above the thumbnail
    // rather than over the pointer.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    Viewing viewing(sandbox);
    const QRect screen = viewing.form.screen()->availableGeometry();
    const QPoint cell = viewing.form.thumbnailArea->mapTo(&viewing.form, viewing.cellCentre(0));
    viewing.form.move(screen.right() - cell.x() - 20, screen.bottom() - cell.y() - 20);
    QTRY_VERIFY(viewing.form.geometry().bottom() > screen.bottom());
    viewing.hoverOver(0);
    QTRY_VERIFY_WITH_TIMEOUT(viewing.form.hover()->box(), 2000);
    HoverBox *box = viewing.form.hover()->box();
    QVERIFY2(screen.contains(box->frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(box->x()).arg(box->y()).arg(box->width()).arg(box->height())));
    const QPoint pointer = viewing.form.thumbnailArea->mapToGlobal(viewing.cellCentre(0));
    QVERIFY(box->frameGeometry().bottom() < pointer.y());
}

void ViewerTest::hoverBoxClosesOnEveryCancel()
{
    // The box closes when the pointer touches it, leaves the thumbnails, another thumbnail is clicked
    // or the main window loses the focus.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    writeBitmap(sandbox, "b.bmp", 30, 30);
    Viewing viewing(sandbox);
    viewing.form.activateWindow();
    QTRY_VERIFY(viewing.form.isActiveWindow());
    const auto showBox = [&](int cell) {
        viewing.hoverOver(cell);
        if (!QTest::qWaitFor([&] { return viewing.form.hover()->box() != nullptr; }, 2000))
            return QPointer<HoverBox>();
        return QPointer<HoverBox>(viewing.form.hover()->box());
    };

    QPointer<HoverBox> box = showBox(0);
    QVERIFY(box);
    QMouseEvent touch(QEvent::MouseMove, QPointF(5, 5), box->face->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(box->face, &touch);
    QVERIFY(!box || box->isUnloaded());
    QCOMPARE(viewing.state.HoverIndex, std::int16_t(-1));
    QCOMPARE(viewing.state.PreviewShown, std::int16_t(0));

    box = showBox(0);
    QTest::mouseMove(viewing.form.thumbnailArea, QPoint(2, 2));
    QVERIFY(!box || box->isUnloaded());
    QVERIFY(!viewing.form.hoverTimer->isActive());

    box = showBox(0);
    viewing.click(0);
    QVERIFY(!box || box->isUnloaded());
    box = showBox(0);
    viewing.click(0);
    QVERIFY(box && !box->isUnloaded());
    viewing.click(1);
    QVERIFY(!box || box->isUnloaded());

    box = showBox(1);
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(!viewing.form.isActiveWindow());
    QVERIFY(!box || box->isUnloaded());
    QVERIFY(!viewing.form.hoverTimer->isActive());
}

void ViewerTest::hoverBoxClosesWhenTheViewerShows()
{
    // A box left over closes within moments of the viewer showing; with the viewer open no box comes.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    Viewing viewing(sandbox);
    viewing.hoverOver(0);
    QTRY_VERIFY_WITH_TIMEOUT(viewing.form.hover()->box(), 2000);
    QPointer<HoverBox> box = viewing.form.hover()->box();
    viewing.form.selection()->OpenViewer(0);
    viewing.form.show();
    QTRY_VERIFY_WITH_TIMEOUT(!box || box->isUnloaded(), 300);

    viewing.form.hide();
    viewing.form.hover()->MovedOverThumbnail(0, 10, 10);
    QTest::qWait(1000);
    QVERIFY(!viewing.form.hover()->box());
    QVERIFY(!viewing.form.hoverTimer->isActive());
}

void ViewerTest::backFromFullScreenTheViewerDecidesDragging()
{
    // A picture larger than the screen but smaller than the viewer is draggable in full screen only;
    // back in the viewer it is not, and shows the arrow.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 1500, 1500);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::FullScreen);
    FullScreenView *full = viewer->fullScreen();
    Twips::setWidth(full->pictureBox, full->ScaleWidth() * 2);
    FullScreenLayout::PlaceFullPicture(*full);
    QCOMPARE(viewing.state.Draggable, std::int16_t(1));
    QTest::mousePress(full, Qt::MiddleButton, {}, QPoint(3, 3));
    QTest::mouseRelease(full, Qt::MiddleButton, {}, QPoint(3, 3));
    QVERIFY(viewer->isVisible());
    QCOMPARE(viewing.state.Draggable, std::int16_t(0));
    QVERIFY(!viewer->pictureBox->showsHandPointer());
}

void ViewerTest::noHoverBoxWithoutAThumbnail()
{
    // The pointer moved over a thumbnail and then onto the box it touched: the next tick shows no box.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    Viewing viewing(sandbox);
    viewing.hoverOver(0);
    QTRY_VERIFY_WITH_TIMEOUT(viewing.form.hover()->box(), 2000);
    viewing.form.hover()->MovedOverThumbnail(0, 5, 5);
    QVERIFY(viewing.form.hoverTimer->isActive());
    viewing.form.hover()->box()->Unload();
    QCOMPARE(viewing.state.HoverIndex, std::int16_t(-1));
    viewing.form.hover()->HoverTimerTicked();
    QVERIFY(!viewing.form.hover()->box());
    QCOMPARE(viewing.state.PreviewShown, std::int16_t(0));
}

void ViewerTest::statusPanelsAndTheScrollBarCancelTheHover()
{
    // The pointer over a status panel, or the wheel on the scroll bar, closes the box like the other widgets.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    Viewing viewing(sandbox);
    for (QWidget *panel : viewing.form.statusPanels->findChildren<QWidget *>()) {
        viewing.hoverOver(0);
        QTRY_VERIFY_WITH_TIMEOUT(viewing.form.hover()->box(), 2000);
        QTest::mouseMove(panel, QPoint(2, 2));
        QVERIFY(!viewing.form.hover()->box());
    }
    viewing.hoverOver(0);
    QTRY_VERIFY_WITH_TIMEOUT(viewing.form.hover()->box(), 2000);
    QWheelEvent wheel(QPointF(3, 3), viewing.form.scrollBar->mapToGlobal(QPointF(3, 3)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewing.form.scrollBar, &wheel);
    QVERIFY(!viewing.form.hover()->box());
    QVERIFY(!viewing.form.hoverTimer->isActive());
}

void ViewerTest::aClickIsAPressAndAReleaseOnOneCell()
{
    // A press alone selects nothing, nor a press on one cell released on another; press and release on one cell do.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 30);
    writeBitmap(sandbox, "b.bmp", 30, 30);
    Viewing viewing(sandbox);
    QTest::mousePress(viewing.form.thumbnailArea, Qt::LeftButton, {}, viewing.cellCentre(0));
    QCOMPARE(viewing.form.window.SelectedIndex, std::int16_t(-1));
    QTest::mouseRelease(viewing.form.thumbnailArea, Qt::LeftButton, {}, viewing.cellCentre(1));
    QCOMPARE(viewing.form.window.SelectedIndex, std::int16_t(-1));
    QTest::mousePress(viewing.form.thumbnailArea, Qt::LeftButton, {}, viewing.cellCentre(1));
    QTest::mouseRelease(viewing.form.thumbnailArea, Qt::LeftButton, {}, viewing.cellCentre(1));
    QCOMPARE(viewing.form.window.SelectedIndex, std::int16_t(1));
}

void ViewerTest::theViewerStaysInsideTheWorkArea()
{
    // A photo larger than the screen opens a viewer no larger than the work area, title bar included, and
    // the picture is dragged within it; at every zoom step too, until the window fits around the picture.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    const QRect area = viewing.form.screen()->availableGeometry();
    ViewerWindow *viewer = openOn(viewing, 4000 * 15, 3000 * 15);
    const auto inside = [&] {
        const QMargins frame = Twips::expectedFrame(viewer, &viewing.form);
        const QRect outer = viewer->geometry().marginsAdded(frame);
        return area.contains(outer);
    };
    QVERIFY(inside());
    QCOMPARE(viewing.state.Draggable, std::int16_t(1));
    QVERIFY(viewer->pictureBox->showsHandPointer());
    for (int step = 0; step < 4; ++step) {
        ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomOut);
        QVERIFY(inside());
    }
    QCOMPARE(viewing.state.ZoomLevel, std::int16_t(9));
    QCOMPARE(viewing.state.Draggable, std::int16_t(0));
    QCOMPARE(viewer->Width(), 4000 * 15 * 0.2 + 100);

    // 800 x 600 zoomed to 2x is taller than the screen: it is no longer taken as fitting.
    viewer->Unload();
    Viewing::flushDeletes();
    viewer = openOn(viewing, 800 * 15, 600 * 15);
    QCOMPARE(viewing.state.Draggable, std::int16_t(0));
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::ZoomIn);
    QVERIFY(inside());
    QVERIFY(viewer->Height() <= Twips::fromPixelsY(area.height()));
    QCOMPARE(viewing.state.Draggable, std::int16_t(1));
}

void ViewerTest::theWheelScrollsALargePicture()
{
    // The wheel moves a draggable picture within the drag limits, sideways with Shift; a fitting one stays.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 3000 * 15, 2000 * 15);
    // Sent to the window the picture's wheel events reach (a sent event does not travel up).
    const auto turn = [&](int notches, Qt::KeyboardModifiers modifiers) {
        const QPoint at = viewer->rect().center();
        QWheelEvent wheel(at, viewer->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewer, &wheel);
    };
    const double top = Twips::top(viewer->pictureBox);
    const double left = Twips::left(viewer->pictureBox);
    turn(-1, Qt::NoModifier);
    QVERIFY(Twips::top(viewer->pictureBox) < top);
    QCOMPARE(Twips::left(viewer->pictureBox), left);
    turn(-1000, Qt::NoModifier);
    const double lowest = viewer->Height() - Twips::height(viewer->toolbar) - Twips::height(viewer->statusLine) - 250 -
                          Twips::height(viewer->pictureBox);
    QCOMPARE(Twips::top(viewer->pictureBox), lowest);
    turn(1000, Qt::NoModifier);
    QCOMPARE(Twips::top(viewer->pictureBox), Twips::height(viewer->toolbar) + 50);
    turn(1, Qt::ShiftModifier);
    QVERIFY(Twips::left(viewer->pictureBox) > left);
    turn(1000, Qt::ShiftModifier);
    QCOMPARE(Twips::left(viewer->pictureBox), 0.0);

    viewer->Unload();
    Viewing::flushDeletes();
    viewer = openOn(viewing, 1500, 1500);
    const QPointF before(Twips::left(viewer->pictureBox), Twips::top(viewer->pictureBox));
    turn(-3, Qt::NoModifier);
    QCOMPARE(QPointF(Twips::left(viewer->pictureBox), Twips::top(viewer->pictureBox)), before);
}

void ViewerTest::escapeLeavesFullScreen()
{
    // Escape in full screen returns to the viewer as the middle button does; the viewer's menus keep no keys
    // (its keys are its own, beside them).
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 10, 10);
    Viewing viewing(sandbox);
    ViewerWindow *viewer = openOn(viewing, 1500, 1500);
    ViewerZoom::ViewCommand(viewer->parts(), ViewerZoom::Command::FullScreen);
    QPointer<FullScreenView> full = viewer->fullScreen();
    QVERIFY(full && full->isVisible());
    QTest::keyClick(full, Qt::Key_Escape);
    QVERIFY(viewer->isVisible());
    QVERIFY(!full || full->isUnloaded());
    for (const QMenu *menu : {viewer->fileMenu, viewer->viewMenu})
        for (QAction *action : menu->actions())
            QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));
}

void ViewerTest::thePreviewFollowsItsBox()
{
    // The preview picture is centred in its box again whenever the window is laid out (maximised, resized).
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 40, 30);
    Viewing viewing(sandbox);
    viewing.click(0);
    QVERIFY(viewing.form.previewPicture->isVisible());
    viewing.form.resize(viewing.form.width() + 200, viewing.form.height() + 150);
    const QRect box = viewing.form.previewPane->geometry();
    QCOMPARE(viewing.form.previewPicture->geometry().center(), box.center());
}

void ViewerTest::theSelectionRunsWithoutTheMainWindow()
{
    // Selecting and opening need only the widgets and services they are handed.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 30, 20, Qt::darkRed);
    writeBitmap(sandbox, "b.bmp", 40, 10, Qt::darkGreen);
    QWidget mainWindow;
    ThumbnailArea area(&mainWindow);
    area.createElement(1);
    FileList files(sandbox.context->fileSystem);
    QVERIFY(files.setPath(QStringLiteral("C:\\pics")));
    PictureBox preview(&mainWindow);
    QLabel wait(&mainWindow);
    QAction open(QStringLiteral("選択された画像を開く"));
    open.setEnabled(false);
    QTimer delay;
    Picture held;
    QString heldPath;
    ProgramState state;
    state.ThumbCount = 2;
    MainWindowState window;
    HoverPreview hover(HoverParts{&mainWindow, &delay, &area, *sandbox.context, state, [] { return false; }});
    int centred = 0;
    Selection selection(SelectionParts{&mainWindow, &area, [&] { return files.listing(); }, &preview, &wait, &open, held, heldPath,
                                       *sandbox.context, state, window, hover, [&] { ++centred; }, {}, {}});
    mainWindow.show();
    selection.ThumbnailClicked(1);
    QCOMPARE(window.SelectedIndex, std::int16_t(1));
    QVERIFY(open.isEnabled());
    QCOMPARE(area.cellAt(1).background, ThumbnailArea::CellSelected);
    QCOMPARE(heldPath, QStringLiteral("C:\\pics\\b.bmp"));
    QCOMPARE(QSizeF(held.widthTwips, held.heightTwips), QSizeF(600, 150));
    QVERIFY(preview.hasPicture());
    QCOMPARE(centred, 1);
    selection.OpenViewer(1);
    ViewerWindow *viewer = selection.viewer();
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(viewer->windowTitle(), QStringLiteral("b.bmp"));
    QVERIFY(!mainWindow.isVisible());
    viewer->Unload();
    QVERIFY(mainWindow.isVisible());
    Viewing::flushDeletes();
}

QTEST_MAIN(ViewerTest)
#include "tst_viewer.moc"
