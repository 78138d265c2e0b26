#pragma once

#include "pictures/pictureloader.h"
#include "viewer/fullscreenview.h"
#include "viewer/propertieswindow.h"
#include "viewer/viewerparts.h"
#include "viewer/viewerzoom.h"

#include "platform/unloadingwindow.h"

#include <QMainWindow>
#include <QPointer>

class AnimationPlayer;

class CommandToolbar;
class PictureBox;
class PlatformContext;
class QAction;
class QFrame;
class QMenu;
class QStatusBar;
struct ProgramState;

// The viewer window: one picture on black under a toolbar of zoom commands,
// draggable when it is larger than the window, with a full-screen view. It
// hides the main window while it is open and shows it again when it goes.
// A viewer that has been unloaded is gone: the next one starts afresh.
class ViewerWindow : public UnloadingWindow<QMainWindow>
{
    Q_OBJECT

public:
    // mainWindow is hidden while the viewer shows and comes back when it goes.
    ViewerWindow(QWidget *mainWindow, PlatformContext &context, ProgramState &state, QWidget *parent = nullptr);
    ~ViewerWindow() override;

    // Outer geometry in twips, and the inner (client) size below the menu.
    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    void setWidth(double width);
    void setHeight(double height);
    // Sets the outer size, no larger than the work area of the screen the
    // viewer is on, and keeps the window, title bar included, inside it:
    // a larger picture is then dragged within the window as the drag rule
    // allows. Where the sizes fit, they stand as given.
    void setOuterSize(double width, double height);
    double ScaleWidth() const;
    double ScaleHeight() const;


    // Hands the picture to a fresh full-screen window and hides the viewer.
    void ShowFullScreen();
    // The viewer's opening state again for another picture: natural size,
    // zoom commands enabled as when it was loaded.
    void ResetZoom();
    // A new picture in the viewer while the full screen shows: it shows it too.
    void PictureChanged();
    // The viewer again after full screen: the picture placed anew, so that
    // Draggable and the pointer are the viewer's and not the full screen's.
    void ReturnFromFullScreen();
    // Escape: out of full screen, else back to the thumbnails.
    void GoBack();
    // Plays Pic's frames, here and in the full screen, when its file is an
    // animation; what played before stops.
    void PlayFrames();
    AnimationPlayer *animation() const { return m_animation; }
    // The picture's file as the program names it ("C:\\folder\\name"), for its properties.
    void setShownPath(const QString &windowsPath) { m_shownPath = windowsPath; }
    // The プロパティ window of the picture shown (Alt+Enter, the ファイル menu).
    void ShowProperties();
    PropertiesWindow *properties() const { return m_properties; }
    FullScreenView *fullScreen() const { return m_full; }

    ProgramState &state() { return m_state; }
    PlatformContext &context() { return m_context; }
    // What the zoom commands and the placement work on.
    const ViewerParts &parts() const { return m_parts; }

    // The hidden holder of the full-size picture; its size is the natural size.
    Picture Pic;
    double PicWidth() const { return Pic.widthTwips; }
    double PicHeight() const { return Pic.heightTwips; }

    CommandToolbar *toolbar = nullptr;
    QStatusBar *statusLine = nullptr;
    QFrame *toolbarFrame = nullptr;
    PictureBox *pictureBackground = nullptr;
    PictureBox *pictureBox = nullptr;

    QMenu *fileMenu = nullptr;
    QAction *closeAction = nullptr;
    QAction *closeAllAction = nullptr;
    QAction *propertiesAction = nullptr;
    QMenu *viewMenu = nullptr;
    QAction *zoomInAction = nullptr;
    QAction *zoomOutAction = nullptr;
    QAction *naturalSizeAction = nullptr;
    QAction *fullScreenAction = nullptr;
    // Keys of the viewer beside its menus: the next, previous, first and
    // last picture of the folder.
    QAction *nextAction = nullptr;
    QAction *previousAction = nullptr;
    QAction *firstAction = nullptr;
    QAction *lastAction = nullptr;
    QAction *pauseAction = nullptr;

    // Pointer position inside the picture at the last press on it, in twips.
    float AnchorX = 0.0f;
    float AnchorY = 0.0f;

signals:
    void unloaded();
    void stepRequested(ViewerStep step);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    // The keys of the next and previous picture that a control of the
    // viewer let through (the toolbar keeps the arrows from the shortcuts).
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    // Closing the viewer (Unload): the main window comes back.
    void Unloading() override;

private:
    void buildWidgets();
    void buildMenus();
    void Load();
    void DockBars();
    void PressGesture(Qt::MouseButton button);
    void Released();
    void Drag(Qt::MouseButtons buttons, double x, double y);
    void ScrollPicture(double dx, double dy);
    void BackToThumbnails();
    // A view command from the toolbar or the menu.
    void RunCommand(ViewerZoom::Command command);

    QWidget *m_main;
    PlatformContext &m_context;
    ProgramState &m_state;
    ViewerParts m_parts;
    QPointer<FullScreenView> m_full;
    AnimationPlayer *m_animation = nullptr;
    QPointer<PropertiesWindow> m_properties;
    QString m_shownPath;
    bool m_centred = false;
    bool m_commandRunning = false;
    bool m_leaving = false;
};
