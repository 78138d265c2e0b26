#include "app/cellmenu.h"
#include "catalogue/catalogue.h"
#include "catalogue/picturekeeper.h"
#include "catalogue/thumbnailarea.h"
#include "catalogue/viewchoices.h"
#include "core/programstate.h"
#include "jpegwriter.h"
#include "files/filelist.h"
#include "files/nativefile.h"
#include "loadedwindow.h"
#include "platform/twips.h"
#include "slowpaths.h"
#include "tree/keyedtree.h"
#include "viewer/fullscreenview.h"
#include "viewer/propertieswindow.h"
#include "viewer/selection.h"
#include "viewer/viewerwindow.h"
#include "widgets/commandtoolbar.h"
#include "widgets/picturebox.h"
#include "widgets/statuspanels.h"

#include <QAccessible>
#include <QAction>
#include <QBuffer>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMimeData>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <sys/time.h>

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
    // Clicks the first cell and double-clicks it, as a person opens the viewer.
    bool openViewer()
    {
        click(0);
        QTest::mouseDClick(&area(), Qt::LeftButton, {}, cellCentre(0));
        return QTest::qWaitFor([this] { return viewer() && viewer()->isVisible(); });
    }
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
    void aCellsMenuActsOnItsPicture();
    void theFolderFollowsItsFiles();
    void aRenameKeepsTheThumbnail();
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void stepsThroughTheGrid_data();
    void stepsThroughTheGrid();
    void keysWalkTheThumbnails();
    void screenReadersHearEachThumbnail();
    void theViewerStepsThroughTheFolder();
    void stepsInFullScreen();
    void theNextPictureIsDecodedAhead();
    void stepsDecodeAheadTheWayTheyGo();
    void namesWithNumbers_data();
    void namesWithNumbers();
    void ordersRearrangeTheCellsWithoutADecode();
    void largerThumbnails();
    void largeCellsHoldBoundedMemory();
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
    QVERIFY(browser.openViewer());
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
    // Right at the last picture changes nothing.
    QTest::keyClick(viewer, Qt::Key_Right);
    QCoreApplication::processEvents();
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
    QVERIFY(browser.openViewer());
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

    // A held Escape goes back one window: its repeats do not leave full screen (nor, as the viewer's Escape
    // does not repeat, the viewer after it).
    QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(full, &repeated);
    QVERIFY(full->isVisible());
    QVERIFY(!viewer->findChild<QAction *>(QStringLiteral("backKeys"))->autoRepeat());
    QTest::keyClick(full, Qt::Key_Escape);
    QTRY_VERIFY(viewer->isVisible());
    QVERIFY(!viewer->fullScreen() || viewer->fullScreen()->isUnloaded());
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
    QVERIFY(browser.openViewer());
    // Its header, then its pixels: two slow opens, then the picture is held.
    QTRY_VERIFY(slow.asked(QFile::encodeName(sandbox.onC("pics/") + Name(1)), NativeFile::Asked::Open) >= 2);
    QTest::qWait(900);
    QElapsedTimer clock;
    clock.start();
    browser.viewerKey(Qt::Key_Right, Name(1));
    QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
}

void BrowsingTest::screenReadersHearEachThumbnail()
{
    // To a screen reader the thumbnails are a list of their cells, each named by its file's name and size,
    // selected as its cell is and focused where the keyboard is; the items go with their cells.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 5);
    WritePictures(sandbox, "two", 2);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&browser.area());
    QVERIFY(list);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->text(QAccessible::Name), QStringLiteral("サムネイル"));
    QCOMPARE(list->childCount(), 5);
    QAccessibleInterface *third = list->child(2);
    QVERIFY(third && third->isValid());
    QCOMPARE(third->role(), QAccessible::ListItem);
    QVERIFY2(third->text(QAccessible::Name).contains(Name(2)), qPrintable(third->text(QAccessible::Name)));
    QVERIFY(third->text(QAccessible::Name).contains(QStringLiteral("ﾌｧｲﾙｻｲｽﾞ: ")));
    QCOMPARE(list->indexOfChild(third), 2);
    QCOMPARE(third->parent(), list);
    QVERIFY(!third->state().selected);
    const QRect cell = third->rect();
    QCOMPARE(list->childAt(cell.center().x(), cell.center().y()), third);

    browser.click(2);
    QTRY_VERIFY(browser.area().hasFocus());
    QVERIFY(third->state().selected);
    QVERIFY(third->state().focused);
    QCOMPARE(list->focusChild(), third);
    browser.key(Qt::Key_Right);
    QVERIFY(!third->state().selected);
    QVERIFY(list->child(3)->state().focused);

    // Another folder: fewer items, and those of the cells gone are no longer valid.
    browser.form.fileList->setPath(QStringLiteral("C:\\two"));
    QCOMPARE(browser.state.ThumbCount, 2);
    QCOMPARE(list->childCount(), 2);
    QVERIFY(!list->child(3));
    QVERIFY(list->child(1)->text(QAccessible::Name).contains(Name(1)));
}

void BrowsingTest::stepsDecodeAheadTheWayTheyGo()
{
    // Stepping on decodes the next two pictures the way the steps go; the picture left behind is kept, so that a
    // step back reads nothing again.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 6, 400, 300);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    SlowPaths counted;
    const auto opens = [&](int i) {
        return counted.asked(QFile::encodeName(sandbox.onC("pics/") + Name(i)), NativeFile::Asked::Open);
    };
    QVERIFY(browser.openViewer());
    QTRY_VERIFY(opens(2) > 0);
    browser.viewerKey(Qt::Key_Right, Name(1));
    QTRY_VERIFY(opens(3) > 0);
    QCOMPARE(opens(4), 0);
    browser.viewerKey(Qt::Key_Right, Name(2));
    QTRY_VERIFY(opens(4) > 0);
    const int readOne = opens(1);
    const int readZero = opens(0);
    browser.viewerKey(Qt::Key_Left, Name(1));
    // Going back: the one before is read now, the one just left is kept.
    QTRY_VERIFY(opens(0) > readZero);
    QCOMPARE(opens(1), readOne);
    browser.viewerKey(Qt::Key_Right, Name(2));
    QCOMPARE(browser.viewer()->pictureBox->picture().image.size(), QSize(400, 300));
}

void BrowsingTest::namesWithNumbers_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("before");
    QTest::newRow("2 before 10") << "img2.jpg" << "img10.jpg" << true;
    QTest::newRow("10 after 9") << "img10.jpg" << "img9.jpg" << false;
    QTest::newRow("leading zeros count as the number") << "img007.jpg" << "img8.jpg" << true;
    QTest::newRow("letters without regard to case") << "B1.jpg" << "a2.jpg" << false;
    QTest::newRow("a prefix first") << "img" << "img1" << true;
    QTest::newRow("the same") << "img1.jpg" << "img1.jpg" << false;
    QTest::newRow("numbers longer than any integer") << "x99999999999999999999.jpg" << "x100000000000000000000.jpg" << true;
}

void BrowsingTest::namesWithNumbers()
{
    // The order of names with numbers in them: the numbers as numbers.
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, before);
    QCOMPARE(FileList::NaturalLess(first, second), before);
}

void BrowsingTest::ordersRearrangeTheCellsWithoutADecode()
{
    // Each order of the 表示 menu puts the loaded cells in its order without a decode (no picture is opened
    // again), the selection staying on its picture; the choice is kept in the settings file and read at the
    // next start, whose load lists the files in that order.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    const QStringList names{"img10.jpg", "img2.jpg", "img1.jpg", "a.bmp"};
    const QList<int> lengths{3, 1, 4, 2};
    const QList<qint64> modified{4000, 1000, 3000, 2000};
    const QList<QByteArray> taken{"2020:01:03 10:00:00", "2021:05:01 08:00:00", "2019:12:31 23:59:59", QByteArray()};
    for (int i = 0; i < names.size(); ++i) {
        const QString path = sandbox.onC("pics/" + names[i]);
        if (names[i].endsWith(QLatin1String(".jpg"))) {
            JpegWriter::Options options;
            options.dateTaken = taken[i];
            QVERIFY(JpegWriter::write(path, 40 * lengths[i], 30, [&](int, uchar *rgb) {
                std::fill(rgb, rgb + 40 * lengths[i] * 3, uchar(60 * i));
            }, options));
        } else {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(Qt::red);
            QVERIFY(image.save(path, "BMP"));
        }
        const struct timeval times[2] = {{time_t(modified[i]), 0}, {time_t(modified[i]), 0}};
        QCOMPARE(::utimes(QFile::encodeName(path).constData(), times), 0);
    }
    {
        Browser browser(sandbox);
        browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
        QCOMPARE(browser.state.ThumbCount, 4);
        const auto shown = [&] {
            QStringList order;
            const auto files = browser.form.catalogue()->shownFiles();
            for (int i = 0; i < files->count(); ++i)
                order.append(files->entries.at(i));
            return order;
        };
        const auto cellsFollow = [&] {
            // The cell of each file shows that file's picture: its width is the picture's.
            const auto files = browser.form.catalogue()->shownFiles();
            for (int i = 0; i < files->count(); ++i) {
                const int k = names.indexOf(files->entries.at(i));
                const double width = k == 3 ? 40 : 40 * lengths[k];
                if (std::abs(browser.area().pictureAt(i).rect.width() - std::min(width * 15, 600.0)) > 1)
                    return false;
                if (browser.state.InfoList[size_t(i)].NameText != QStringLiteral("ﾌｧｲﾙ名: ") + files->entries.at(i))
                    return false;
            }
            return true;
        };
        QCOMPARE(shown(), (QStringList{"a.bmp", "img1.jpg", "img10.jpg", "img2.jpg"}));
        browser.click(2);
        QCOMPARE(browser.selected(), 2);
        // The pictures themselves move: each keeps its image, never made again.
        QHash<QString, qint64> images;
        for (int i = 0; i < 4; ++i)
            images.insert(shown().at(i), browser.area().pictureAt(i).picture.cacheKey());
        const auto sameImages = [&] {
            for (int i = 0; i < 4; ++i)
                if (images.value(shown().at(i)) != browser.area().pictureAt(i).picture.cacheKey())
                    return false;
            return true;
        };
        const auto choose = [&](const QString &name) {
            for (QAction *action : browser.form.viewChoices()->orderMenu->actions())
                if (action->objectName() == name)
                    action->trigger();
        };
        choose(QStringLiteral("orderNATURAL"));
        QTRY_COMPARE(shown(), (QStringList{"a.bmp", "img1.jpg", "img2.jpg", "img10.jpg"}));
        QVERIFY(cellsFollow());
        QVERIFY(sameImages());
        QCOMPARE(browser.selected(), 3);
        choose(QStringLiteral("orderSIZE"));
        const auto bySize = [&] {
            const QStringList order = shown();
            for (int i = 1; i < order.size(); ++i)
                if (QFileInfo(sandbox.onC("pics/" + order[i - 1])).size() > QFileInfo(sandbox.onC("pics/" + order[i])).size())
                    return false;
            return true;
        };
        QTRY_VERIFY(bySize());
        QVERIFY(cellsFollow());
        choose(QStringLiteral("orderMODIFIED"));
        QTRY_COMPARE(shown(), (QStringList{"img2.jpg", "a.bmp", "img1.jpg", "img10.jpg"}));
        QVERIFY(cellsFollow());
        choose(QStringLiteral("orderTAKEN"));
        QTRY_COMPARE(shown(), (QStringList{"a.bmp", "img1.jpg", "img10.jpg", "img2.jpg"}));
        choose(QStringLiteral("orderReverse"));
        QTRY_COMPARE(shown(), (QStringList{"img2.jpg", "img10.jpg", "img1.jpg", "a.bmp"}));
        choose(QStringLiteral("orderTYPE"));
        QTRY_COMPARE(shown(), (QStringList{"img2.jpg", "img10.jpg", "img1.jpg", "a.bmp"}));
        QVERIFY(cellsFollow());
        QCOMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\pics\\img10.jpg"));
        QCOMPARE(browser.selected(), 1);
        QVERIFY(sameImages());
    }
    // The next start lists the files in the order chosen.
    Browser again(sandbox);
    again.form.fileList->setPath(QStringLiteral("C:\\pics"));
    const auto files = again.form.catalogue()->shownFiles();
    QCOMPARE(files->entries, (QStringList{"img2.jpg", "img10.jpg", "img1.jpg", "a.bmp"}));
}

void BrowsingTest::largerThumbnails()
{
    // Ctrl+Plus, Ctrl+wheel over the thumbnails and Ctrl+Minus step through the sizes: the cells and their
    // pictures grow (drawn at the pixels they show), the first size being the program's own; cells larger than
    // the shared cache's "normal" thumbnails keep "large" ones there too; the size is kept for the next start.
    Sandbox sandbox;
    sandbox.useCache();
    WritePictures(sandbox, "pics", 6, 400, 300);
    QDir large(sandbox.path("cache/thumbnails/large"));
    {
        Browser browser(sandbox);
        browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
        QCOMPARE(browser.state.ThumbCount, 6);
        QCOMPARE(browser.area().cellAt(0).rect.size(), QSizeF(795, 750));
        QCOMPARE(browser.area().pictureAt(5).picture.size(), QSize(40, 30));
        QVERIFY(large.entryList(QDir::Files).isEmpty());
        // The keys of the main window's menus, with the window active (as the stop box leaves it on a desktop).
        const auto ctrl = [&](Qt::Key key) {
            browser.form.activateWindow();
            QTRY_VERIFY(browser.form.isActiveWindow());
            QTest::keyClick(&browser.form, key, Qt::ControlModifier);
        };
        ctrl(Qt::Key_Plus);
        QTRY_COMPARE(browser.area().pictureAt(5).picture.size(), QSize(96, 72));
        QCOMPARE(browser.state.ThumbCount, 6);
        QCOMPARE(browser.area().cellAt(0).rect.size(), QSizeF(96 * 15 + 195, 96 * 15 + 150));
        QCOMPARE(browser.area().pictureAt(5).rect.size(), QSizeF(96 * 15, 72 * 15));
        QVERIFY(large.entryList(QDir::Files).isEmpty());

        const QPointF at = browser.cellCentre(0);
        QWheelEvent wheel(at, browser.area().mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&browser.area(), &wheel);
        QTRY_COMPARE(browser.area().pictureAt(5).picture.size(), QSize(128, 96));
        // The grid has fewer columns at the larger size, and a click still finds its cell.
        QVERIFY(browser.state.GridShape[0] < 10);
        browser.click(4);
        QCOMPARE(browser.selected(), 4);

        // The selection, its preview and the keyboard stay on their picture at the next size.
        QTRY_VERIFY(browser.area().hasFocus());
        ctrl(Qt::Key_Plus);
        QTRY_COMPARE(browser.area().pictureAt(5).picture.size(), QSize(256, 192));
        QTRY_COMPARE(browser.selected(), 4);
        QCOMPARE(browser.area().cellAt(4).background, ThumbnailArea::CellSelected);
        QCOMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\pics\\") + Name(4));
        QVERIFY(browser.form.previewPicture->isVisible());
        QVERIFY(browser.area().hasFocus());
        QCOMPARE(large.entryList(QDir::Files).size(), 6);
        // The largest size stays the largest.
        ctrl(Qt::Key_Equal);
        QCOMPARE(browser.area().cellAt(0).rect.width(), 256 * 15 + 195);
        ctrl(Qt::Key_Minus);
        QTRY_COMPARE(browser.area().pictureAt(5).picture.size(), QSize(128, 96));
    }
    Browser again(sandbox);
    again.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(again.area().pictureAt(0).picture.size(), QSize(128, 96));
    QVERIFY(again.form.viewChoices()->sizeActions.at(2)->isChecked());
    QFile settings(sandbox.settingsPath());
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().contains("SIZE=128"));
}

void BrowsingTest::largeCellsHoldBoundedMemory()
{
    // The pictures of large cells hold no more than the memory they are given: those far from the view are let
    // go as the load goes on, and read back (from the shared cache) when the view comes near them again, each
    // the picture of its own file.
    Sandbox sandbox;
    sandbox.useCache();
    WritePictures(sandbox, "pics", 90, 400, 300);
    Browser browser(sandbox);
    PictureKeeper &keeper = browser.form.catalogue()->keeper();
    const qint64 kept = 2 << 20;
    keeper.setKeptBytes(kept);
    browser.form.viewChoices()->sizeActions.at(3)->trigger();
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QTRY_COMPARE(browser.state.ThumbCount, 90);
    QCOMPARE(browser.area().thumbnailSide(), 256 * 15.0);
    const auto held = [&] {
        int count = 0;
        for (int i = 0; i < 90; ++i)
            count += browser.area().pictureAt(i).picture.isNull() ? 0 : 1;
        return count;
    };
    const qint64 each = browser.area().pictureAt(89).picture.sizeInBytes();
    QVERIFY(each >= 256 * 192 * 2);
    QVERIFY2(held() <= kept / each + 1, qPrintable(QString::number(held())));
    QVERIFY(keeper.heldBytes() <= kept);
    QVERIFY(browser.area().pictureAt(0).paged);

    // The view is back at the top: its cells are read back.
    const auto shows = [&](int i) {
        const QImage &picture = browser.area().pictureAt(i).picture;
        return !picture.isNull() && !browser.area().pictureAt(i).paged &&
               QColor(picture.pixel(100, 80)).hue() == QColor::fromHsv((i * 37) % 360, 200, 220).hue();
    };
    QTRY_VERIFY(shows(0));
    QTRY_VERIFY(shows(browser.state.GridShape[0]));
    QVERIFY(keeper.readBack() > 0);
    browser.click(0);
    browser.key(Qt::Key_End);
    QTRY_VERIFY(shows(89));
    browser.key(Qt::Key_Home);
    QTRY_VERIFY(shows(1));
    QVERIFY2(held() <= kept / each + 1, qPrintable(QString::number(held())));
}

QTEST_MAIN(BrowsingTest)
void BrowsingTest::aCellsMenuActsOnItsPicture()
{
    // The right button on a cell selects it and opens its menu, which lists the desktop's applications for the
    // type (the default first) and starts one on the file; Shift+F10 opens it for the keyboard's cell.
    // Ctrl+C gives the file as a URI list and, asked for, its picture; パスをコピー gives its path; プロパティ
    // its properties. Delete moves the selected file to the trash and the folder is read again without it, the
    // next picture selected in its place; Ctrl+Z puts it back. A file gone meanwhile is said, and nothing is trashed.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 3);
    // A viewer of the desktop's that writes down what it was given, the default for bitmaps.
    QVERIFY(sandbox.writeFile("record.sh", "#!/bin/sh\necho \"$@\" > '" + QFile::encodeName(sandbox.path("recorded.part")) +
                                               "'\nmv '" + QFile::encodeName(sandbox.path("recorded.part")) + "' '" +
                                               QFile::encodeName(sandbox.path("recorded.txt")) + "'\n"));
    QVERIFY(QFile::setPermissions(sandbox.path("record.sh"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QVERIFY(sandbox.makeFolder("data/applications"));
    QVERIFY(sandbox.writeFile("data/applications/kuroeview-test-viewer.desktop",
                              "[Desktop Entry]\nType=Application\nName=Test Viewer\nExec=" + QFile::encodeName(sandbox.path("record.sh")) +
                                  " %U\nMimeType=image/bmp;\n"));
    QVERIFY(sandbox.writeFile("data/applications/mimeinfo.cache", "[MIME Cache]\nimage/bmp=kuroeview-test-viewer.desktop;\n"));
    QVERIFY(sandbox.writeFile("config/mimeapps.list", "[Default Applications]\nimage/bmp=kuroeview-test-viewer.desktop\n"));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 3);
    CellMenu &menu = *browser.form.cellMenu();

    QContextMenuEvent right(QContextMenuEvent::Mouse, browser.cellCentre(1), browser.area().mapToGlobal(browser.cellCentre(1)));
    QCoreApplication::sendEvent(&browser.area(), &right);
    QCOMPARE(browser.selected(), 1);
    QTRY_VERIFY(menu.menu()->isVisible());
    const QList<QAction *> applications = menu.openWithMenu()->actions();
    QVERIFY(!applications.isEmpty());
    QCOMPARE(applications.first()->text(), QStringLiteral("Test Viewer（既定）"));
    menu.menu()->hide();
    applications.first()->trigger();
    const QByteArray uri = NativeFile::UriOf(QFile::encodeName(sandbox.onC("pics/p01.bmp")));
    // GIO hands a local file's URI to the application as its path.
    QTRY_COMPARE_WITH_TIMEOUT(sandbox.readFile("recorded.txt").trimmed(), QFile::encodeName(sandbox.onC("pics/p01.bmp")), 20000);

    menu.copyAction->trigger();
    const QMimeData *copied = QApplication::clipboard()->mimeData();
    QVERIFY(copied);
    QCOMPARE(copied->urls(), QList<QUrl>{QUrl::fromEncoded(uri)});
    QVERIFY(copied->hasImage());
    QCOMPARE(qvariant_cast<QImage>(copied->imageData()).size(), QSize(40, 30));
    menu.copyPathAction->trigger();
    QCOMPARE(QApplication::clipboard()->text(), sandbox.onC("pics/p01.bmp"));
    menu.propertiesAction->trigger();
    QVERIFY(menu.properties() && menu.properties()->isVisible());
    QTRY_VERIFY(menu.properties()->isRead());
    QVERIFY(menu.properties()->text().contains(QStringLiteral("p01.bmp")));
    menu.properties()->close();

    browser.form.activateWindow();
    QTRY_VERIFY(browser.form.isActiveWindow());
    browser.click(0);
    QTRY_VERIFY(browser.area().hasFocus());
    QTest::keyClick(&browser.area(), Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(menu.menu()->isVisible());
    QCOMPARE(browser.selected(), 0);
    menu.menu()->hide();

    browser.form.activateWindow();
    QTRY_VERIFY(browser.form.isActiveWindow());
    browser.click(1);
    QTRY_VERIFY(browser.area().hasFocus());
    QTest::keyClick(&browser.area(), Qt::Key_Delete);
    QTRY_COMPARE(browser.form.catalogue()->shownFiles()->entries, (QStringList{Name(0), Name(2)}));
    QTRY_COMPARE(browser.state.ThumbCount, 2);
    QVERIFY(!QFile::exists(sandbox.onC("pics/p01.bmp")));
    QVERIFY(QFile::exists(sandbox.path("data/Trash/files/p01.bmp")));
    QVERIFY(QFile::exists(sandbox.path("data/Trash/info/p01.bmp.trashinfo")));
    // The next picture is selected in its place.
    QTRY_COMPARE(browser.selected(), 1);
    QCOMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\pics\\") + Name(2));
    QVERIFY(browser.area().hasFocus());
    browser.click(0);
    QTRY_VERIFY(browser.area().hasFocus());
    QTest::keyClick(&browser.area(), Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(browser.state.ThumbCount, 3);
    QVERIFY(QFile::exists(sandbox.onC("pics/p01.bmp")));
    QVERIFY(!QFile::exists(sandbox.path("data/Trash/info/p01.bmp.trashinfo")));

    browser.click(2);
    QTRY_VERIFY(browser.area().hasFocus());
    QVERIFY(QFile::remove(sandbox.onC("pics/p02.bmp")));
    QTest::keyClick(&browser.area(), Qt::Key_Delete);
    QCOMPARE(sandbox.messages->shown.size(), 1);
    QVERIFY(sandbox.messages->shown.first().text.startsWith(QStringLiteral("ごみ箱に移動できませんでした。")));
    QVERIFY(!QFile::exists(sandbox.path("data/Trash/info/p02.bmp.trashinfo")));
}

void BrowsingTest::theFolderFollowsItsFiles()
{
    // What other programs do to the folder shows without F5 and without a load: a file removed loses its cell, a
    // file copied in takes its place once it is complete (one still being written waits), a file rewritten shows
    // its new picture. The other cells keep their pictures, the selection stays on its picture and the scroll
    // where it was.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 150);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 150);
    browser.click(0);
    QTRY_VERIFY(browser.area().hasFocus());
    browser.key(Qt::Key_End);
    QCOMPARE(browser.selected(), 149);
    const QScrollBar &scroll = *browser.form.scrollBar;
    const int scrolled = scroll.value();
    QVERIFY(scrolled > 0);
    const auto entries = [&] { return browser.form.catalogue()->shownFiles()->entries; };
    const QString chosen = entries().at(149);
    const qint64 chosenPicture = browser.area().pictureAt(149).picture.cacheKey();
    const qint64 lastButOne = browser.area().pictureAt(148).picture.cacheKey();

    QVERIFY(QFile::remove(sandbox.onC("pics/p10.bmp")));
    QTRY_COMPARE(browser.state.ThumbCount, 149);
    QVERIFY(!entries().contains(QStringLiteral("p10.bmp")));
    QCOMPARE(entries().at(browser.selected()), chosen);
    QCOMPARE(browser.area().pictureAt(browser.selected()).picture.cacheKey(), chosenPicture);
    QCOMPARE(browser.area().pictureAt(browser.selected() - 1).picture.cacheKey(), lastButOne);
    QCOMPARE(browser.area().cellAt(browser.selected()).background, ThumbnailArea::CellSelected);
    QCOMPARE(scroll.value(), scrolled);
    QCOMPARE(browser.form.statusPanels->panelText(1), QStringLiteral("画像数 149ファイル"));

    // "part.bmp" is still being written when "new.bmp" comes whole.
    QImage red(50, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    QByteArray bitmap;
    {
        QBuffer buffer(&bitmap);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(red.save(&buffer, "BMP"));
    }
    QFile part(sandbox.onC("pics/part.bmp"));
    QVERIFY(part.open(QIODevice::WriteOnly));
    QCOMPARE(part.write(bitmap.left(bitmap.size() / 2)), bitmap.size() / 2);
    QVERIFY(part.flush());
    QVERIFY(red.save(sandbox.onC("pics/new.bmp"), "BMP"));
    QTRY_VERIFY(entries().contains(QStringLiteral("new.bmp")));
    QVERIFY(!entries().contains(QStringLiteral("part.bmp")));
    QCOMPARE(browser.state.ThumbCount, 150);
    QCOMPARE(entries().at(browser.selected()), chosen);
    QCOMPARE(part.write(bitmap.mid(bitmap.size() / 2)), bitmap.size() - bitmap.size() / 2);
    part.close();
    QTRY_VERIFY(entries().contains(QStringLiteral("part.bmp")));
    QCOMPARE(browser.state.ThumbCount, 151);
    // The new cells near the view get their pictures and texts.
    const int partAt = int(entries().indexOf(QStringLiteral("part.bmp")));
    QTRY_VERIFY(!browser.area().pictureAt(partAt).picture.isNull());
    QCOMPARE(browser.area().pictureAt(partAt).picture.pixelColor(5, 5), QColor(Qt::red));
    QVERIFY(!browser.area().pictureAt(partAt).undecodable);
    QCOMPARE(browser.state.InfoList.at(size_t(partAt)).NameText, QStringLiteral("ﾌｧｲﾙ名: part.bmp"));
    QVERIFY(browser.state.InfoList.at(size_t(partAt)).SizeText.endsWith(QStringLiteral("KB")));

    // The selected file rewritten by another program.
    QImage blue(40, 30, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QVERIFY(blue.save(sandbox.onC(QStringLiteral("pics/") + chosen), "BMP"));
    QTRY_COMPARE(browser.area().pictureAt(browser.selected()).picture.pixelColor(5, 5), QColor(Qt::blue));
    QCOMPARE(entries().at(browser.selected()), chosen);
    QCOMPARE(browser.state.ThumbCount, 151);
}

void BrowsingTest::aRenameKeepsTheThumbnail()
{
    // F2 asks for the selected file's new name, its name without the ending chosen. The file is renamed, its cell
    // keeps its thumbnail and its selection, moved to the new name's place. A name taken, a name with "/" and a
    // file gone meanwhile are said, and no file changes.
    Sandbox sandbox;
    WritePictures(sandbox, "pics", 3);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 3);
    CellMenu &menu = *browser.form.cellMenu();
    const auto entries = [&] { return browser.form.catalogue()->shownFiles()->entries; };
    const auto renameTo = [&](const QString &name) {
        browser.form.activateWindow();
        QTRY_VERIFY(browser.area().hasFocus());
        QTest::keyClick(&browser.area(), Qt::Key_F2);
        QTRY_VERIFY(menu.renameDialog() && menu.renameDialog()->isVisible());
        menu.renameDialog()->setTextValue(name);
        menu.renameDialog()->accept();
    };

    browser.click(0);
    QTRY_VERIFY(browser.area().hasFocus());
    const qint64 picture = browser.area().pictureAt(0).picture.cacheKey();
    QTest::keyClick(&browser.area(), Qt::Key_F2);
    QTRY_VERIFY(menu.renameDialog() && menu.renameDialog()->isVisible());
    QLineEdit *edit = menu.renameDialog()->findChild<QLineEdit *>();
    QVERIFY(edit);
    QCOMPARE(edit->text(), Name(0));
    QCOMPARE(edit->selectedText(), QStringLiteral("p00"));
    menu.renameDialog()->reject();
    renameTo(QStringLiteral("秋.bmp"));
    QTRY_COMPARE(entries(), (QStringList{Name(1), Name(2), QStringLiteral("秋.bmp")}));
    QVERIFY(QFile::exists(sandbox.onC("pics/秋.bmp")));
    QVERIFY(!QFile::exists(sandbox.onC("pics/") + Name(0)));
    QTRY_COMPARE(browser.selected(), 2);
    QCOMPARE(browser.area().pictureAt(2).picture.cacheKey(), picture);
    QCOMPARE(browser.state.InfoList.at(2).NameText, QStringLiteral("ﾌｧｲﾙ名: 秋.bmp"));
    QTRY_COMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\pics\\秋.bmp"));
    QCOMPARE(browser.form.focusWidget(), &browser.area());

    const QByteArray before = sandbox.readFile(QStringLiteral("c/pics/") + Name(1));
    renameTo(Name(1));
    QTRY_COMPARE(sandbox.messages->shown.size(), 1);
    QVERIFY(sandbox.messages->shown.last().text.contains(QStringLiteral("同じ名前のファイルがすでにあります。")));
    QCOMPARE(sandbox.readFile(QStringLiteral("c/pics/") + Name(1)), before);
    QVERIFY(QFile::exists(sandbox.onC("pics/秋.bmp")));

    browser.form.activateWindow();
    QTRY_VERIFY(browser.form.isActiveWindow());
    browser.click(2);
    QTRY_VERIFY(browser.area().hasFocus());
    renameTo(QStringLiteral("a/b.bmp"));
    QTRY_COMPARE(sandbox.messages->shown.size(), 2);
    QVERIFY(sandbox.messages->shown.last().text.contains(QStringLiteral("「/」")));

    browser.form.activateWindow();
    QTRY_VERIFY(browser.form.isActiveWindow());
    browser.click(0);
    QTRY_VERIFY(browser.area().hasFocus());
    QTest::keyClick(&browser.area(), Qt::Key_F2);
    QTRY_VERIFY(menu.renameDialog() && menu.renameDialog()->isVisible());
    QVERIFY(QFile::remove(sandbox.onC("pics/") + Name(1)));
    menu.renameDialog()->setTextValue(QStringLiteral("late.bmp"));
    menu.renameDialog()->accept();
    QTRY_COMPARE(sandbox.messages->shown.size(), 3);
    QVERIFY(!QFile::exists(sandbox.onC("pics/late.bmp")));
    QCOMPARE(QDir(sandbox.onC("pics")).entryList(QDir::Files).size(), 2);
}

#include "tst_browsing.moc"
