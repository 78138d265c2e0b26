#include "about/aboutbox.h"
#include "app/mainwindow.h"
#include "catalogue/stopbox.h"
#include "catalogue/thumbnailarea.h"
#include "core/programstate.h"
#include "favourites/commands.h"
#include "jpegwriter.h"
#include "platform/backgroundwork.h"
#include "pictures/decodebudget.h"
#include "files/filelist.h"
#include "pictures/pictureloader.h"
#include "platform/twips.h"
#include "loadedwindow.h"
#include "sandbox.h"
#include "settings/settingsdialog.h"
#include "tree/foldernavigation.h"
#include "tree/keyedtree.h"
#include "viewer/viewerwindow.h"
#include "viewer/selection.h"
#include "widgets/picturebox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include <functional>

namespace {

struct Browser : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    KeyedTree &tree() { return *form.treeView; }
    void click(const QString &key)
    {
        QTreeWidgetItem *item = tree().node(key);
        QVERIFY2(item, qPrintable(key));
        tree().scrollToItem(item);
        QTest::mouseClick(tree().viewport(), Qt::LeftButton, {}, tree().visualItemRect(item).center());
    }
};

// A photo with grain, so that decoding it takes the time a camera's does.
void WritePhoto(Sandbox &sandbox, const QString &relative, int width, int height, int shade = 0)
{
    JpegWriter::Options options;
    options.progressive = true;
    options.quality = 92;
    QVERIFY(JpegWriter::write(sandbox.path(relative), width, height, [=](int y, uchar *rgb) {
        quint32 noise = quint32(y) * 2654435761u;
        for (int x = 0; x < width; ++x, rgb += 3) {
            noise = noise * 1664525u + 1013904223u;
            rgb[0] = uchar(shade + (noise >> 26));
            rgb[1] = uchar((x * 255) / width);
            rgb[2] = uchar(noise >> 25);
        }
    }, options));
}

// Runs the scenario from an event of an event loop, as the program's
// handlers run from its main loop; windows closed in it are freed after.
void RunFromEventLoop(const std::function<void()> &scenario)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        scenario();
        loop.quit();
    });
    loop.exec();
    FreeClosedWindows();
}

// Calls action once, from the first timer event that comes while the
// program waits for a worker in a nested loop (deeper than the scenario's
// own loop) and ready() holds.
class DuringAWait : public QObject
{
public:
    DuringAWait(std::function<bool()> ready, std::function<void()> action)
        : m_ready(std::move(ready)), m_action(std::move(action))
    {
        m_poll.setInterval(1);
        connect(&m_poll, &QTimer::timeout, this, [this] {
            if (m_done || QThread::currentThread()->loopLevel() < 2 || !m_ready())
                return;
            m_done = true;
            m_poll.stop();
            m_action();
        });
        m_poll.start();
    }
    bool done() const { return m_done; }

private:
    std::function<bool()> m_ready;
    std::function<void()> m_action;
    QTimer m_poll;
    bool m_done = false;
};

StopBox *ShownStopBox()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<StopBox *>(window); box && box->isVisible())
            return box;
    return nullptr;
}

bool Decoding() { return DecodeBudget::InUse() > 0; }

// C:\photos with two photos of 12 MP, a.jpg and the redder b.jpg.
void WriteTwoPhotos(Sandbox &sandbox)
{
    sandbox.makeFolder("c/photos");
    WritePhoto(sandbox, "c/photos/a.jpg", 4000, 3000, 0);
    WritePhoto(sandbox, "c/photos/b.jpg", 4000, 3000, 90);
}

// C:\first with four photos that take a while, C:\second with three bitmaps.
void WriteTwoFolders(Sandbox &sandbox)
{
    sandbox.makeFolder("c/first");
    sandbox.makeFolder("c/second");
    for (int i = 0; i < 4; ++i)
        WritePhoto(sandbox, QStringLiteral("c/first/p%1.jpg").arg(i), 2400, 1800, i * 20);
    for (int i = 0; i < 3; ++i)
        WritePicture(sandbox, QStringLiteral("c/second/s%1.bmp").arg(i));
}

void storeFavourite(Sandbox &sandbox, const QString &path)
{
    sandbox.writeFile("config/VoDaRadezu.INI", QStringLiteral("[FAV]\nFAV0=%1\n[FAV2]\nCNT=0\n").arg(path).toUtf8());
}

} // namespace

class EventsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void stopWhileTheSettingsDialogOpensAFavourite();
    void aboutBoxClosedTwiceAtOnce();
    void viewerClosedDuringAZoomCommand();
    void secondStopGrowsTheAreaOnce();
    void folderClickAndSettingsBothHappen_data();
    void folderClickAndSettingsBothHappen();
    void redisplayWalksToTheEndWithRequestsWaiting();
    void twoDoubleClicksOpenTheSecond();
    void aLargePictureOpensAsItsPreviewThenSharpens();
    void aClickOvertakenByAnotherSelectsNothing();
    void aResetDropsAPendingDoubleClick();
    void openDuringAPreviewReadOpensThatPicture();
    void aClickOnADriveKeepsAWaitingFolderClick();
    void aDialogAskedForUnderAnotherIsLeftOut();
    void someWindowAlwaysShows();
    void cellsKeepTheirFilesAfterApply();
    void workersEndWhenTheProgramEnds();
};

void EventsTest::stopWhileTheSettingsDialogOpensAFavourite()
{
    // "中止" during the load a favourite opened from the settings dialog closes the dialog, which is freed only
    // after the opening has returned.
    Sandbox sandbox;
    sandbox.makeFolder("c/photos");
    for (int i = 0; i < 4; ++i)
        WritePhoto(sandbox, QStringLiteral("c/photos/p%1.jpg").arg(i), 2400, 1800, i * 20);
    storeFavourite(sandbox, QStringLiteral("C:\\photos"));
    Browser browser(sandbox);
    browser.form.settingsAction->trigger();
    QPointer<SettingsDialog> dialog = browser.form.commands()->settingsDialog();
    QVERIFY(dialog);
    bool opening = false;
    bool freedWhileOpening = false;
    connect(dialog, &QObject::destroyed, [&] { freedWhileOpening = opening; });
    DuringAWait stop([] { return ShownStopBox() && Decoding(); }, [] { ShownStopBox()->stopButton->click(); });
    RunFromEventLoop([&] {
        opening = true;
        dialog->favouriteButtons[2]->click();
        opening = false;
    });
    QVERIFY(stop.done());
    QVERIFY(!freedWhileOpening);
    QVERIFY(!dialog);
    QVERIFY(!browser.form.commands()->settingsDialog());
    QVERIFY(browser.form.isEnabled());
    QVERIFY(browser.state.ThumbCount < 4);
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\photos"));
}

void EventsTest::aboutBoxClosedTwiceAtOnce()
{
    // Escape pressed again while OK brings the main window back is left out: the main window grows back once,
    // and the box is freed only after its OK handler has returned.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.aboutAction->trigger();
    QPointer<AboutBox> box = browser.form.commands()->aboutBox();
    QVERIFY(box);
    bool closing = false;
    bool freedWhileClosing = false;
    connect(box, &QObject::destroyed, [&] { freedWhileClosing = closing; });
    sandbox.windows->calls.clear();
    RunFromEventLoop([&] {
        QCoreApplication::postEvent(box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        closing = true;
        box->okButton->click();
        closing = false;
    });
    QVERIFY(!freedWhileClosing);
    QVERIFY(!box);
    const auto growths = std::count_if(sandbox.windows->calls.cbegin(), sandbox.windows->calls.cend(), [&](const auto &call) {
        return call.what == QLatin1String("animate") && call.window == &browser.form;
    });
    QCOMPARE(growths, 1);
    QVERIFY(browser.form.isVisible());
    QVERIFY(browser.form.isEnabled());
}

void EventsTest::viewerClosedDuringAZoomCommand()
{
    // "サイルネームに戻る" handled while a zoom command yields: the command stops, and the viewer is freed only
    // after it has returned.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    WritePicture(sandbox, "c/pics/a.bmp");
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    browser.form.selection()->ThumbnailClicked(0);
    browser.form.selection()->ThumbnailDoubleClicked(0);
    QPointer<ViewerWindow> viewer = browser.form.selection()->viewer();
    QVERIFY(viewer);
    bool zooming = false;
    bool freedWhileZooming = false;
    connect(viewer, &QObject::destroyed, [&] { freedWhileZooming = zooming; });
    RunFromEventLoop([&] {
        QMetaObject::invokeMethod(viewer->closeAction, &QAction::trigger, Qt::QueuedConnection);
        zooming = true;
        viewer->zoomInAction->trigger();
        zooming = false;
    });
    QVERIFY(!freedWhileZooming);
    QVERIFY(!viewer);
    QCOMPARE(browser.state.ZoomLevel, std::int16_t(5));
    QVERIFY(browser.form.isVisible());
}

void EventsTest::secondStopGrowsTheAreaOnce()
{
    // A second "中止" handled while the first one yields grows the scroll range and the area once, not twice.
    Sandbox sandbox;
    sandbox.makeFolder("c/photos");
    for (int i = 0; i < 30; ++i)
        WritePhoto(sandbox, QStringLiteral("c/photos/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), 800, 600, i * 4);
    Browser browser(sandbox);
    ThumbnailArea &area = *browser.form.thumbnailArea;
    const double cellWidth = area.cellAt(0).rect.width();
    const auto columns = Twips::roundHalfEven(Twips::width(&area) / (cellWidth + 100));
    int maximum = -1;
    double height = 0;
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, [&] {
        StopBox *box = ShownStopBox();
        if (maximum >= 0 || !box || browser.state.ThumbCount == 0 || browser.state.ThumbCount % columns == 0)
            return;
        maximum = browser.form.scrollBar->maximum();
        height = Twips::height(&area);
        QMetaObject::invokeMethod(box->stopButton, &QPushButton::click, Qt::QueuedConnection);
        box->stopButton->click();
    });
    poll.start();
    browser.form.fileList->setPath(QStringLiteral("C:\\photos"));
    poll.stop();
    QVERIFY(maximum >= 0);
    QVERIFY(browser.state.ThumbCount < 30);
    QCOMPARE(browser.form.scrollBar->maximum(), maximum + 1);
    QCOMPARE(Twips::height(&area), height + area.cellAt(0).rect.height() + 90);
}

void EventsTest::folderClickAndSettingsBothHappen_data()
{
    QTest::addColumn<bool>("settingsFirst");
    QTest::newRow("folder click, then settings") << false;
    QTest::newRow("settings, then folder click") << true;
}

void EventsTest::folderClickAndSettingsBothHappen()
{
    // After "中止", a folder click and "環境設定" during the rest of the load, in either order: the folder is
    // shown and the tree names it, then the dialog opens over it.
    QFETCH(bool, settingsFirst);
    Sandbox sandbox;
    WriteTwoFolders(sandbox);
    Browser browser(sandbox);
    browser.tree().node(QStringLiteral("C:\\"))->setExpanded(true);
    DuringAWait act([] { return ShownStopBox() && Decoding(); }, [&] {
        ShownStopBox()->stopButton->click();
        if (settingsFirst)
            browser.form.settingsAction->trigger();
        browser.click(QStringLiteral("C:\\second"));
        if (!settingsFirst)
            browser.form.settingsAction->trigger();
    });
    RunFromEventLoop([&] { browser.click(QStringLiteral("C:\\first")); });
    QVERIFY(act.done());
    QTRY_VERIFY(browser.form.commands()->settingsDialog());
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\second"));
    QCOMPARE(browser.state.ThumbCount, 3);
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\second"));
    QVERIFY(!browser.form.isEnabled());
}

void EventsTest::redisplayWalksToTheEndWithRequestsWaiting()
{
    // A folder click that waits for the re-display's load does not cut its walk short: the folder four levels
    // down is selected again, and then the clicked folder is shown.
    Sandbox sandbox;
    sandbox.makeFolder("c/a/b/c/d");
    sandbox.makeFolder("c/x");
    for (int i = 0; i < 4; ++i)
        WritePhoto(sandbox, QStringLiteral("c/a/b/c/d/p%1.jpg").arg(i), 2400, 1800, i * 20);
    WritePicture(sandbox, "c/x/x.bmp");
    Browser browser(sandbox);
    const QString deep = QStringLiteral("C:\\a\\b\\c\\d");
    browser.form.navigation()->SelectPathInTree(deep);
    QCOMPARE(browser.tree().selectedKey(), deep);
    browser.form.fileList->setPath(deep);
    DuringAWait act([] { return ShownStopBox() && Decoding(); }, [&] {
        ShownStopBox()->stopButton->click();
        browser.click(QStringLiteral("C:\\x"));
    });
    QString walkedTo;
    RunFromEventLoop([&] {
        browser.form.redisplayAction->trigger();
        walkedTo = browser.tree().selectedKey();
    });
    QVERIFY(act.done());
    QCOMPARE(walkedTo, deep);
    QTRY_COMPARE(browser.form.fileList->path(), QStringLiteral("C:\\x"));
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\x"));
    QCOMPARE(browser.state.ThumbCount, 1);
}

void EventsTest::twoDoubleClicksOpenTheSecond()
{
    // A second double click while the first one's picture is read opens the viewer on the second picture.
    Sandbox sandbox;
    WriteTwoPhotos(sandbox);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\photos"));
    QCOMPARE(browser.state.ThumbCount, 2);
    Selection &selection = *browser.form.selection();
    bool clicked = false;
    DuringAWait second([&] { return clicked && Decoding(); }, [&] {
        selection.ThumbnailClicked(1);
        selection.ThumbnailDoubleClicked(1);
    });
    RunFromEventLoop([&] {
        selection.ThumbnailClicked(0);
        clicked = true;
        selection.ThumbnailDoubleClicked(0);
    });
    QVERIFY(second.done());
    ViewerWindow *viewer = selection.viewer();
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(viewer->windowTitle(), QStringLiteral("b.jpg"));
    QVERIFY(!viewer->Pic.reduced);
    QVERIFY(!browser.form.isVisible());
}

void EventsTest::aLargePictureOpensAsItsPreviewThenSharpens()
{
    // A double click on a photo of 12 MP shows the viewer at once with the preview's picture at the natural
    // size, then the whole picture in its place. Closed meanwhile, the viewer stays closed; stepped to the
    // next photo meanwhile, it shows that one, not the first one's late picture.
    Sandbox sandbox;
    WriteTwoPhotos(sandbox);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\photos"));
    Selection &selection = *browser.form.selection();
    std::vector<bool> shownReduced;
    connect(&selection, &Selection::viewerShown, [&] { shownReduced.push_back(selection.viewer()->Pic.reduced); });
    selection.ThumbnailClicked(0);
    selection.ThumbnailDoubleClicked(0);
    QCOMPARE(shownReduced, std::vector<bool>{true});
    ViewerWindow *viewer = selection.viewer();
    QVERIFY(viewer && viewer->isVisible());
    QVERIFY(!viewer->Pic.reduced);
    QCOMPARE(viewer->Pic.image.size(), QSize(4000, 3000));
    QCOMPARE(viewer->windowTitle(), QStringLiteral("a.jpg"));
    QCOMPARE(viewer->pictureBox->picture().image.size(), QSize(4000, 3000));
    viewer->Unload();
    FreeClosedWindows();

    for (const bool step : {false, true}) {
        selection.ThumbnailClicked(0);
        DuringAWait act([&] { return selection.viewer() && selection.viewer()->isVisible() && Decoding(); }, [&] {
            if (step)
                emit selection.viewer()->stepRequested(ViewerStep::Next);
            else
                selection.viewer()->closeAction->trigger();
        });
        RunFromEventLoop([&] { selection.ThumbnailDoubleClicked(0); });
        QVERIFY(act.done());
        if (!step) {
            QVERIFY(!selection.viewer());
            QVERIFY(browser.form.isVisible());
            continue;
        }
        viewer = selection.viewer();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->windowTitle(), QStringLiteral("b.jpg"));
        QCOMPARE(selection.viewerIndex(), 1);
        QVERIFY(!viewer->Pic.reduced);
        // b is the redder photo.
        QVERIFY(viewer->Pic.image.pixelColor(2000, 1500).red() >= 80);
        viewer->Unload();
        FreeClosedWindows();
    }
}

void EventsTest::aClickOvertakenByAnotherSelectsNothing()
{
    // A click on one cell and a double click on another that land together (the second handled during the
    // first one's yield): the second cell is selected and its own picture opens, under its own name.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    WritePicture(sandbox, "c/pics/a.bmp");
    WritePicture(sandbox, "c/pics/b.bmp");
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    Selection &selection = *browser.form.selection();
    RunFromEventLoop([&] {
        QTimer::singleShot(0, &selection, [&] {
            selection.ThumbnailClicked(1);
            selection.ThumbnailDoubleClicked(1);
        });
        selection.ThumbnailClicked(0);
    });
    QCOMPARE(browser.form.window.SelectedIndex, std::int16_t(1));
    QVERIFY(selection.viewer());
    QCOMPARE(selection.viewer()->windowTitle(), QStringLiteral("b.bmp"));
}

void EventsTest::aResetDropsAPendingDoubleClick()
{
    // F5 right after a double click whose click still reads its picture: no viewer opens on the old catalogue.
    Sandbox sandbox;
    sandbox.makeFolder("c/photos");
    WritePhoto(sandbox, "c/photos/a.jpg", 4000, 3000, 0);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\photos"));
    Selection &selection = *browser.form.selection();
    DuringAWait reset([] { return Decoding(); }, [&] {
        selection.ThumbnailDoubleClicked(0);
        browser.form.redisplayAction->trigger();
    });
    RunFromEventLoop([&] { selection.ThumbnailClicked(0); });
    QVERIFY(reset.done());
    QTest::qWait(0);
    QVERIFY(!selection.viewer());
    QVERIFY(browser.form.isVisible());
    QCOMPARE(browser.form.window.SelectedIndex, std::int16_t(-1));
}

void EventsTest::openDuringAPreviewReadOpensThatPicture()
{
    // Ctrl+O (or the toolbar's open button) while a click still reads its picture into the preview: the viewer
    // opens on that picture, under its own name, not on the one held before.
    Sandbox sandbox;
    WriteTwoPhotos(sandbox);
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\photos"));
    Selection &selection = *browser.form.selection();
    RunFromEventLoop([&] { selection.ThumbnailClicked(0); });
    QCOMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\photos\\a.jpg"));
    DuringAWait open([] { return Decoding(); }, [&] { browser.form.openAction->trigger(); });
    RunFromEventLoop([&] { selection.ThumbnailClicked(1); });
    QVERIFY(open.done());
    QTRY_VERIFY(selection.viewer() && selection.viewer()->isVisible());
    QCOMPARE(selection.viewer()->windowTitle(), QStringLiteral("b.jpg"));
    QCOMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\photos\\b.jpg"));
}

void EventsTest::aClickOnADriveKeepsAWaitingFolderClick()
{
    // A folder clicked while a load ends, then a drive (which shows no other folder): the folder is shown, and
    // the drive is the current node after it.
    Sandbox sandbox;
    WriteTwoFolders(sandbox);
    Browser browser(sandbox);
    browser.tree().node(QStringLiteral("C:\\"))->setExpanded(true);
    DuringAWait act([] { return ShownStopBox() && Decoding(); }, [&] {
        ShownStopBox()->stopButton->click();
        browser.click(QStringLiteral("C:\\second"));
        browser.click(QStringLiteral("C:\\"));
    });
    RunFromEventLoop([&] { browser.click(QStringLiteral("C:\\first")); });
    QVERIFY(act.done());
    QTRY_COMPARE(browser.form.fileList->path(), QStringLiteral("C:\\second"));
    QTRY_COMPARE(browser.state.ThumbCount, 3);
    QTRY_COMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\"));
}

void EventsTest::aDialogAskedForUnderAnotherIsLeftOut()
{
    // "環境設定" and then "バージョン情報" asked for while a load ends: the settings dialog opens, the About box
    // asked for under it is left out, and the main window stays disabled until the dialog closes.
    Sandbox sandbox;
    WriteTwoFolders(sandbox);
    Browser browser(sandbox);
    browser.tree().node(QStringLiteral("C:\\"))->setExpanded(true);
    DuringAWait act([] { return ShownStopBox() && Decoding(); }, [&] {
        ShownStopBox()->stopButton->click();
        browser.form.settingsAction->trigger();
        browser.form.aboutAction->trigger();
    });
    RunFromEventLoop([&] { browser.click(QStringLiteral("C:\\first")); });
    QVERIFY(act.done());
    QTRY_VERIFY(browser.form.commands()->settingsDialog());
    QTest::qWait(50);
    QVERIFY(!browser.form.commands()->aboutBox());
    QVERIFY(!browser.form.isEnabled());
    browser.form.commands()->settingsDialog()->Unload();
    QVERIFY(browser.form.isEnabled());
}

void EventsTest::someWindowAlwaysShows()
{
    // Whatever hides the program's windows, once the handlers have returned one shows: the viewer hidden while
    // the main window waits hidden brings the main window back.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    WritePicture(sandbox, "c/pics/a.bmp");
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    Selection &selection = *browser.form.selection();
    RunFromEventLoop([&] {
        selection.ThumbnailClicked(0);
        selection.ThumbnailDoubleClicked(0);
    });
    QTRY_VERIFY(selection.viewer() && selection.viewer()->isVisible());
    QVERIFY(!browser.form.isVisible());
    selection.viewer()->hide();
    QTRY_VERIFY(browser.form.isVisible());
}

void EventsTest::cellsKeepTheirFilesAfterApply()
{
    // After the settings dialog changes the listed types, the cells still stand for the files they show until
    // the next load: a click on the first cell previews its own file.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    WritePicture(sandbox, "c/pics/a.bmp");
    QImage gif(20, 20, QImage::Format_RGB32);
    gif.fill(Qt::blue);
    QVERIFY(gif.save(sandbox.onC("pics/b.png"), "PNG"));
    QVERIFY(QFile::rename(sandbox.onC("pics/b.png"), sandbox.onC("pics/b.gif")));
    Browser browser(sandbox);
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 2);
    browser.form.settingsAction->trigger();
    SettingsDialog *dialog = browser.form.commands()->settingsDialog();
    dialog->typeBoxes[1]->setChecked(false);
    dialog->dialogButtons[0]->click();
    QCOMPARE(browser.form.fileList->listCount(), 1);
    browser.form.selection()->ThumbnailClicked(0);
    QVERIFY(browser.form.chosenPicturePath.endsWith(QLatin1String("\\a.bmp")));
    browser.form.selection()->ThumbnailDoubleClicked(0);
    QVERIFY(browser.form.selection()->viewer());
    QCOMPARE(browser.form.selection()->viewer()->windowTitle(), QStringLiteral("a.bmp"));
}

void EventsTest::workersEndWhenTheProgramEnds()
{
    // At the end the decodes still running give up and their threads are joined within moments.
    Sandbox sandbox;
    sandbox.makeFolder("c/photos");
    WritePhoto(sandbox, "c/photos/huge.jpg", 6000, 4000, 0);
    const QByteArray native = QFile::encodeName(sandbox.onC("photos/huge.jpg"));
    QFuture<std::optional<Picture>> viewing = QtConcurrent::run(&BackgroundWork::pool(), [native] {
        PictureLoader::Options options;
        options.cancelled = &BackgroundWork::abandoned();
        return PictureLoader::Load(native, options);
    });
    QTRY_VERIFY(Decoding());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(BackgroundWork::finish(10000));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(viewing.isFinished());
    QCOMPARE(DecodeBudget::InUse(), 0);
}

QTEST_MAIN(EventsTest)
#include "tst_events.moc"
