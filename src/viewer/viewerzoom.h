#pragma once

#include <QPoint>

#include <array>
#include <cstdint>

struct ViewerParts;

// The viewer's commands and placement: the nine zoom steps, fitting the
// window around the picture, centring the picture and deciding whether it
// can be dragged.
namespace ViewerZoom {

// Scale of each zoom step 1 to 9 (index 0 unused); 5 is natural size.
constexpr std::array<double, 10> ZoomFactor{0.0, 5.0, 4.0, 3.0, 2.0, 1.0, 0.5, 0.3, 0.25, 0.2};

// Runs view command n: 1 zoom in, 2 zoom out, 3 full screen, 5 natural size;
// any other number does nothing but the enabling of the natural-size command.
void ViewCommand(const ViewerParts &viewer, std::int16_t n);
// Resizes the (not maximised) viewer around the picture's current box.
void FitViewerWindow(const ViewerParts &viewer);
// Centres the picture and sets Draggable and the picture's pointer.
void PlacePicture(const ViewerParts &viewer);
// Moves the mouse pointer onto toolbar button k.
void MovePointerToButton(const ViewerParts &viewer, int k);
// The screen pixel the pointer is sent to for a button at (left, top) of the
// given width within the toolbar of a viewer whose outer corner is at
// (viewerLeft, viewerTop), all in twips; 800 twips allow for frame and menu.
QPoint PointerTarget(double viewerLeft, double viewerTop, double buttonLeft, double buttonTop, double buttonWidth);

} // namespace ViewerZoom
