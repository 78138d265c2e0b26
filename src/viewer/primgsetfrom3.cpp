#include "viewer/primgsetfrom3.h"

#include "widgets/commandtoolbar.h"
#include "core/programstate.h"
#include "platform/pictureloader.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/viewerparts.h"
#include "widgets/picturebox.h"

#include <QAction>
#include <QMainWindow>
#include <QStatusBar>

namespace PrimgSetFrom3 {

namespace {

void SetZoomedBox(const ViewerParts &viewer, double factor)
{
    Twips::setHeight(viewer.img, viewer.Pic->heightTwips * factor);
    Twips::setWidth(viewer.img, viewer.Pic->widthTwips * factor);
}

void ZoomIn(const ViewerParts &viewer)
{
    ProgramState &state = viewer.state;
    viewer.img->hide();
    --state.ZoomLevel;
    viewer.Tlb->setButtonEnabled(2, true);
    viewer.SmlV->setEnabled(true);
    if (state.ZoomLevel >= 1 && state.ZoomLevel <= 9)
        SetZoomedBox(viewer, ZoomFactor[state.ZoomLevel]);
    FitViewerWindow(viewer);
    PlacePicture(viewer);
    viewer.img->show();
    int target = 1;
    if (state.ZoomLevel == 1) {
        viewer.Tlb->setButtonEnabled(1, false);
        viewer.BigV->setEnabled(false);
        PlatformContext::yield();
        target = 2;
    }
    MovePointerToButton(viewer, target);
}

void ZoomOut(const ViewerParts &viewer)
{
    ProgramState &state = viewer.state;
    viewer.img->hide();
    ++state.ZoomLevel;
    viewer.Tlb->setButtonEnabled(1, true);
    viewer.BigV->setEnabled(true);
    if (state.ZoomLevel >= 1 && state.ZoomLevel <= 9)
        SetZoomedBox(viewer, ZoomFactor[state.ZoomLevel]);
    FitViewerWindow(viewer);
    PlacePicture(viewer);
    viewer.img->show();
    int target = 2;
    if (state.ZoomLevel == 9) {
        PlatformContext::yield();
        viewer.Tlb->setButtonEnabled(2, false);
        viewer.SmlV->setEnabled(false);
        target = 1;
    }
    MovePointerToButton(viewer, target);
}

void NaturalSize(const ViewerParts &viewer)
{
    viewer.Tlb->setButtonEnabled(2, true);
    viewer.Tlb->setButtonEnabled(1, true);
    viewer.SmlV->setEnabled(true);
    viewer.BigV->setEnabled(true);
    viewer.img->hide();
    SetZoomedBox(viewer, 1.0);
    viewer.img->setPicture(*viewer.Pic);
    viewer.state.ZoomLevel = 5;
    FitViewerWindow(viewer);
    PlacePicture(viewer);
}

} // namespace

void ViewCommand(const ViewerParts &viewer, std::int16_t n)
{
    PlatformContext::yield();
    if (viewer.unloaded())
        return;
    switch (n) {
    case 1: ZoomIn(viewer); break;
    case 2: ZoomOut(viewer); break;
    case 3: viewer.showFullScreen(); break;
    case 5: NaturalSize(viewer); break;
    default: break;
    }
    const bool natural = viewer.state.ZoomLevel == 5;
    viewer.Tlb->setButtonEnabled(5, !natural);
    viewer.DefV->setEnabled(!natural);
}

void FitViewerWindow(const ViewerParts &viewer)
{
    if (viewer.window->isMaximized())
        return;
    // Resized in one step with painting held back, so that the window never
    // shows a half-fitted state and keeps its place on the screen.
    viewer.window->setUpdatesEnabled(false);
    double height = Twips::height(viewer.img) + Twips::height(viewer.StBar) + Twips::height(viewer.Tlb) + 405 + 300 + 100;
    if (height <= 3000)
        height = 3000;
    double width = Twips::width(viewer.img) + 100;
    if (width <= 6800)
        width = 6800;
    viewer.setOuterSize(width, height);
    viewer.window->setUpdatesEnabled(true);
}

void PlacePicture(const ViewerParts &viewer)
{
    ProgramState &state = viewer.state;
    const double viewHeight = Twips::fromPixelsY(viewer.window->centralWidget()->height()) - Twips::height(viewer.StBar) - Twips::height(viewer.Tlb);
    const double viewWidth = Twips::windowWidth(viewer.window) - 100;
    const double boxHeight = Twips::height(viewer.img);
    const double boxWidth = Twips::width(viewer.img);
    const bool fits = !(boxHeight > viewHeight || boxWidth > viewWidth);
    viewer.img->setHandPointer(!fits);
    viewer.img->hide();
    PlatformContext::yield();
    if (viewer.unloaded())
        return;
    Twips::setLeft(viewer.img, Twips::windowWidth(viewer.window) / 2 - boxWidth / 2 - 50);
    Twips::setTop(viewer.img, Twips::height(viewer.Tlb) + Twips::windowHeight(viewer.window) / 2 -
                                  (boxHeight + Twips::height(viewer.Tlb) + Twips::height(viewer.StBar) + 240 + 400) / 2);
    viewer.img->show();
    state.Draggable = fits ? 0 : 1;
}

void MovePointerToButton(const ViewerParts &viewer, int k)
{
    const QWidget *button = viewer.Tlb->buttonWidget(k);
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

} // namespace PrimgSetFrom3
