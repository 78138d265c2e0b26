#include "viewer/viewerzoom.h"

#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "pictures/pictureloader.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/viewerparts.h"
#include "widgets/picturebox.h"

#include <QAction>
#include <QMainWindow>
#include <QStatusBar>

namespace ViewerZoom {

namespace {

void SetZoomedBox(const ViewerParts &viewer, double factor)
{
    Twips::setHeight(viewer.pictureBox, viewer.Pic->heightTwips * factor);
    Twips::setWidth(viewer.pictureBox, viewer.Pic->widthTwips * factor);
}

void ZoomIn(const ViewerParts &viewer)
{
    ProgramState &state = viewer.state;
    viewer.pictureBox->hide();
    --state.ZoomLevel;
    viewer.zoomOutAction->setEnabled(true);
    if (state.ZoomLevel >= 1 && state.ZoomLevel <= 9)
        SetZoomedBox(viewer, ZoomFactor[state.ZoomLevel]);
    FitViewerWindow(viewer);
    PlacePicture(viewer);
    viewer.pictureBox->show();
    Command target = Command::ZoomIn;
    if (state.ZoomLevel == 1) {
        viewer.zoomInAction->setEnabled(false);
        PlatformContext::yield();
        target = Command::ZoomOut;
    }
    MovePointerToButton(viewer, target);
}

void ZoomOut(const ViewerParts &viewer)
{
    ProgramState &state = viewer.state;
    viewer.pictureBox->hide();
    ++state.ZoomLevel;
    viewer.zoomInAction->setEnabled(true);
    if (state.ZoomLevel >= 1 && state.ZoomLevel <= 9)
        SetZoomedBox(viewer, ZoomFactor[state.ZoomLevel]);
    FitViewerWindow(viewer);
    PlacePicture(viewer);
    viewer.pictureBox->show();
    Command target = Command::ZoomOut;
    if (state.ZoomLevel == 9) {
        PlatformContext::yield();
        viewer.zoomOutAction->setEnabled(false);
        target = Command::ZoomIn;
    }
    MovePointerToButton(viewer, target);
}

void NaturalSize(const ViewerParts &viewer)
{
    viewer.zoomOutAction->setEnabled(true);
    viewer.zoomInAction->setEnabled(true);
    viewer.pictureBox->hide();
    SetZoomedBox(viewer, 1.0);
    viewer.pictureBox->setPicture(*viewer.Pic);
    viewer.state.ZoomLevel = 5;
    FitViewerWindow(viewer);
    PlacePicture(viewer);
}

} // namespace

void ViewCommand(const ViewerParts &viewer, Command command)
{
    PlatformContext::yield();
    if (viewer.unloaded())
        return;
    switch (command) {
    case Command::ZoomIn: ZoomIn(viewer); break;
    case Command::ZoomOut: ZoomOut(viewer); break;
    case Command::FullScreen: viewer.showFullScreen(); break;
    case Command::NaturalSize: NaturalSize(viewer); break;
    }
    viewer.naturalSizeAction->setEnabled(viewer.state.ZoomLevel != 5);
}

void FitViewerWindow(const ViewerParts &viewer)
{
    if (viewer.window->isMaximized())
        return;
    // Resized in one step with painting held back, so that the window never
    // shows a half-fitted state and keeps its place on the screen.
    viewer.window->setUpdatesEnabled(false);
    double height = Twips::height(viewer.pictureBox) + Twips::height(viewer.statusLine) + Twips::height(viewer.toolbar) + 405 + 300 + 100;
    if (height <= 3000)
        height = 3000;
    double width = Twips::width(viewer.pictureBox) + 100;
    if (width <= 6800)
        width = 6800;
    viewer.setOuterSize(width, height);
    viewer.window->setUpdatesEnabled(true);
}

void PlacePicture(const ViewerParts &viewer)
{
    ProgramState &state = viewer.state;
    const double viewHeight = Twips::fromPixelsY(viewer.window->centralWidget()->height()) - Twips::height(viewer.statusLine) - Twips::height(viewer.toolbar);
    const double viewWidth = Twips::windowWidth(viewer.window) - 100;
    const double boxHeight = Twips::height(viewer.pictureBox);
    const double boxWidth = Twips::width(viewer.pictureBox);
    const bool fits = !(boxHeight > viewHeight || boxWidth > viewWidth);
    viewer.pictureBox->setHandPointer(!fits);
    viewer.pictureBox->hide();
    PlatformContext::yield();
    if (viewer.unloaded())
        return;
    Twips::setLeft(viewer.pictureBox, Twips::windowWidth(viewer.window) / 2 - boxWidth / 2 - 50);
    Twips::setTop(viewer.pictureBox, Twips::height(viewer.toolbar) + Twips::windowHeight(viewer.window) / 2 -
                                  (boxHeight + Twips::height(viewer.toolbar) + Twips::height(viewer.statusLine) + 240 + 400) / 2);
    viewer.pictureBox->show();
    state.Draggable = fits ? 0 : 1;
}

void MovePointerToButton(const ViewerParts &viewer, Command command)
{
    const QWidget *button = viewer.toolbar->buttonWidget(int(command));
    if (!button)
        return;
    const QRect geometry = button->geometry();
    const QPoint target = PointerTarget(Twips::windowLeft(viewer.window), Twips::windowTop(viewer.window), Twips::fromPixelsX(geometry.x()),
                                        Twips::fromPixelsY(geometry.y()), Twips::fromPixelsX(geometry.width()));
    viewer.windows.setCursorPos(target.x(), target.y());
}

QPoint PointerTarget(double viewerLeft, double viewerTop, double buttonLeft, double buttonTop, double buttonWidth)
{
    const double x = (viewerLeft + buttonLeft + buttonWidth / 2) / Twips::perPixelX();
    const double y = (viewerTop + buttonTop + 800) / Twips::perPixelY();
    return QPoint(static_cast<int>(Twips::roundHalfEven(x)), static_cast<int>(Twips::roundHalfEven(y)));
}

} // namespace ViewerZoom
