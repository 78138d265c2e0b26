#pragma once

#include <QMargins>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <cstdint>

// Window coordinates in this program are twips (1/1440 inch). Twips turns
// them into pixels of the screen the window lives on and back, rounding like
// the rest of the program: halves go to the even neighbour.
namespace Twips {

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
std::int64_t roundHalfEven(double value);

// Twips per pixel of the primary screen: 1440 / logical DPI (15 at 96 DPI).
double perPixelX();
double perPixelY();

// Overrides the screen's ratio; 0 restores it. Tests use it to pin 15.
void setPerPixelOverride(double twipsPerPixel);

int toPixelsX(double twips);
int toPixelsY(double twips);
double fromPixelsX(int pixels);
double fromPixelsY(int pixels);

QRect toPixels(double left, double top, double width, double height);

} // namespace Twips

class QWidget;

// Widget geometry kept in twips. place() remembers the exact twips values on
// the widget, so what the program reads back is what it set, not a
// pixel-rounded copy.
namespace Twips {

// Moves and sizes a widget; false (and nothing changes) for a negative size.
bool place(QWidget *widget, double left, double top, double width, double height);
bool setLeft(QWidget *widget, double left);
bool setTop(QWidget *widget, double top);
bool setWidth(QWidget *widget, double width);
bool setHeight(QWidget *widget, double height);

double left(const QWidget *widget);
double top(const QWidget *widget);
double width(const QWidget *widget);
double height(const QWidget *widget);

} // namespace Twips

// Outer geometry of a top-level window (frame included), in twips. Values set
// here are read back exactly as long as the window still has the pixel
// geometry they produced; after the user moved or sized it, the pixels count.
namespace Twips {

bool setWindowSize(QWidget *window, double width, double height);
// The same for a window of fixed size: no maximising, no resize grip.
bool setFixedWindowSize(QWidget *window, double width, double height);
bool setWindowPosition(QWidget *window, double left, double top);

// A window gets its frame when it is first shown; this gives it again the
// outer size last set, now that the frame is known.
void settleWindowFrame(QWidget *window);

// Top-left corner, in twips, of the screen a window is on: the corner the
// program's placement formulas measure from ((0, 0) with a single screen).
QPointF screenCorner(const QWidget *window);

// Frame (title bar and borders) a window has or, before it was ever shown
// and framed, the frame a shown window of the program has: what its outer
// size will be.
QMargins expectedFrame(const QWidget *window, const QWidget *framedReference);

// Moves a window, its frame included, into the work area of the screen the
// reference window is on (QScreen::availableGeometry), as little as it
// takes; a window larger than the area keeps its top-left corner inside.
// The program places every window it places by its own formulas, and then
// through this: a formula never puts a title bar out of reach.
void keepInsideWorkArea(QWidget *window, const QWidget *reference);
// The work area of the reference window's screen, in twips.
QRectF workArea(const QWidget *reference);

double windowLeft(const QWidget *window);
double windowTop(const QWidget *window);
double windowWidth(const QWidget *window);
double windowHeight(const QWidget *window);

} // namespace Twips
