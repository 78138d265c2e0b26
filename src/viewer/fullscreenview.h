#pragma once

#include "platform/unloadingwindow.h"
#include "viewer/viewerparts.h"

#include <QWidget>

#include <functional>

class PictureBox;
class WindowServices;
struct ProgramState;

// What the full-screen view takes from the viewer.
struct FullScreenParts
{
    // The viewer window: hidden while the full screen shows, made top-most.
    QWidget *viewer;
    // The viewer's picture, at the size it shows it.
    const PictureBox *viewerPicture;
    ProgramState &state;
    WindowServices &windows;
    // Back to the viewer (the gestures, Escape), or to the thumbnails (a
    // double click): the viewer shows the main window and unloads itself.
    std::function<void()> returnToViewer;
    std::function<void()> backToThumbnails;
    // The keys of the next, previous, first and last picture.
    std::function<void(ViewerStep step)> step;
    // The key that pauses an animation and plays it on.
    std::function<void()> pause;
};

// The full-screen view: the viewer's picture at the viewer's zoom, alone and
// centred on a black screen, draggable when larger than the screen. A
// gesture (middle press, or a right press after a left or right one) goes
// back to the viewer; a double click goes back to the thumbnails.
class FullScreenView : public UnloadingWindow<QWidget>
{
    Q_OBJECT

public:
    explicit FullScreenView(const FullScreenParts &parts);

    // Covers the screen the viewer is on and shows the window.
    void ShowOnScreen();
    // The viewer's picture, at the size it shows it, placed anew.
    void TakeViewerPicture();

    ProgramState &viewerState() { return m_parts.state; }
    double ScaleWidth() const;
    double ScaleHeight() const;

    PictureBox *pictureBox = nullptr;
    float AnchorX = 0.0f;
    float AnchorY = 0.0f;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // Closed by the window manager: back to the viewer, as a gesture would.
    void CloseRequested() override;

private:
    void Load();
    void PressGesture(Qt::MouseButton button);
    void Drag(Qt::MouseButtons buttons, double x, double y);
    void BackToThumbnails();

    FullScreenParts m_parts;
};

namespace FullScreenLayout {
// Centres the picture on the window and sets Draggable and the pointer.
void PlaceFullPicture(FullScreenView &full);
} // namespace FullScreenLayout
