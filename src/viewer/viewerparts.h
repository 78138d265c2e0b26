#pragma once

#include <functional>

class CommandToolbar;
class PictureBox;
class QAction;
class QMainWindow;
class QStatusBar;
class WindowServices;
struct Picture;
struct ProgramState;

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
