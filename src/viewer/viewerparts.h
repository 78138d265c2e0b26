#pragma once

#include <Qt>

#include <functional>

class CommandToolbar;
class PictureBox;
class QAction;
class QMainWindow;
class QStatusBar;
class WindowServices;
struct Picture;
struct ProgramState;

// The pictures of the folder a key of the viewer (or the full screen) steps to.
enum class ViewerStep { Next, Previous, First, Last };
// The step a key of the viewer asks for (the keypad's alike), if any: Right,
// Down, Page Down and Space the next picture; Left, Up, Page Up and
// Backspace the previous; Home and End the first and last.
inline bool ViewerStepOfKey(int key, ViewerStep &step)
{
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_PageDown:
    case Qt::Key_Space: step = ViewerStep::Next; return true;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
    case Qt::Key_Backspace: step = ViewerStep::Previous; return true;
    case Qt::Key_Home: step = ViewerStep::First; return true;
    case Qt::Key_End: step = ViewerStep::Last; return true;
    default: return false;
    }
}

// What the viewer's commands and placement (ViewerZoom) work on: the
// viewer window's widgets and what it can be asked to do.
struct ViewerParts
{
    // The viewer window; its outer geometry and inner height place the picture.
    QMainWindow *window;
    CommandToolbar *toolbar;
    QStatusBar *statusLine;
    PictureBox *pictureBox;
    QAction *zoomInAction;
    QAction *zoomOutAction;
    QAction *naturalSizeAction;
    // The hidden holder of the full-size picture.
    const Picture *Pic;
    ProgramState &state;
    WindowServices &windows;
    // The viewer was closed (a command that yielded stops there).
    std::function<bool()> unloaded;
    std::function<void()> showFullScreen;
    // The viewer's outer size, kept within the work area.
    std::function<void(double width, double height)> setOuterSize;
};
