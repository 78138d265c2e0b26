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

// The viewer's commands, numbered as their toolbar buttons stand.
enum class Command : std::int16_t { ZoomIn = 1, ZoomOut = 2, FullScreen = 3, NaturalSize = 5 };

// Runs a view command; afterwards the natural-size command is enabled
// unless the picture is at its natural size.
void ViewCommand(const ViewerParts &viewer, Command command);
// Moves the mouse pointer onto the toolbar button of a command.
void MovePointerToButton(const ViewerParts &viewer, Command command);
// Resizes the (not maximised) viewer around the picture's current box.
void FitViewerWindow(const ViewerParts &viewer);
// Centres the picture and sets Draggable and the picture's pointer.
void PlacePicture(const ViewerParts &viewer);
// The screen pixel the pointer is sent to for a button at (left, top) of the
// given width within the toolbar of a viewer whose outer corner is at
// (viewerLeft, viewerTop), all in twips; 800 twips allow for frame and menu.
QPoint PointerTarget(double viewerLeft, double viewerTop, double buttonLeft, double buttonTop, double buttonWidth);

} // namespace ViewerZoom
