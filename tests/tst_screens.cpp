#include "about/aboutbox.h"
#include "app/mainwindow.h"
#include "core/programstate.h"
#include "favourites/commands.h"
#include "files/filelist.h"
#include "platform/twips.h"
#include "sandbox.h"
#include "settings/settingsdialog.h"
#include "viewer/viewerwindow.h"
#include "viewer/fullscreenview.h"
#include "viewer/selection.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

// Runs on two offscreen screens side by side (tests/screens/two-screens.json).
class ScreensTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void windowsOpenOnTheMainWindowsScreen();
};

void ScreensTest::windowsOpenOnTheMainWindowsScreen()
{
    // With the main window on the right-hand screen, the dialog, the About box, the viewer and the
    // full screen open on that screen, placed as on a single screen from its corner.
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        QSKIP("needs the two-screen offscreen configuration");
    QScreen *right = screens[1];
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    QImage picture(60, 40, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QVERIFY(picture.save(sandbox.onC("pics/a.bmp"), "BMP"));
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    form.move(right->geometry().topLeft() + QPoint(200, 100));
    QTRY_COMPARE(form.screen(), right);
    const QPointF corner(Twips::fromPixelsX(right->geometry().x()), Twips::fromPixelsY(right->geometry().y()));

    form.settingsAction->trigger();
    SettingsDialog *dialog = form.commands()->settingsDialog();
    QCOMPARE(Twips::windowLeft(dialog), corner.x() + (form.WindowWidth() - dialog->Width()) / 2);
    QVERIFY(right->geometry().contains(dialog->frameGeometry().center()));
    dialog->dialogButtons[1]->click();

    sandbox.poseAs(1, 4, 0);
    form.aboutAction->trigger();
    AboutBox *about = form.commands()->aboutBox();
    QVERIFY(right->geometry().contains(about->frameGeometry().topLeft()));
    about->okButton->click();

    form.fileList->setPath(QStringLiteral("C:\\pics"));
    form.chosenPicture = Picture();
    form.selection()->ThumbnailClicked(0);
    form.selection()->OpenViewer(0);
    ViewerWindow *viewer = form.selection()->viewer();
    QVERIFY(right->geometry().contains(viewer->frameGeometry().center()));
    viewer->ShowFullScreen();
    QCOMPARE(viewer->fullScreen()->geometry(), right->geometry());
    viewer->fullScreen()->Unload();
    viewer->Unload();
    FreeClosedWindows();
}

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"
