#include "platform/twips.h"

#include <QApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {

namespace {
double overrideRatio = 0.0;

double ratioFor(bool horizontal)
{
    if (overrideRatio > 0.0)
        return overrideRatio;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 15.0;
    const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    if (dpi <= 0.0)
        return 15.0;
    return 1440.0 / dpi;
}
} // namespace

std::int64_t roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<std::int64_t>(std::nearbyint(value));
}

double perPixelX() { return ratioFor(true); }
double perPixelY() { return ratioFor(false); }

void setPerPixelOverride(double twipsPerPixel) { overrideRatio = twipsPerPixel; }

int toPixelsX(double twips) { return static_cast<int>(roundHalfEven(twips / perPixelX())); }
int toPixelsY(double twips) { return static_cast<int>(roundHalfEven(twips / perPixelY())); }
double fromPixelsX(int pixels) { return pixels * perPixelX(); }
double fromPixelsY(int pixels) { return pixels * perPixelY(); }

QRect toPixels(double left, double top, double width, double height)
{
    return QRect(toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height));
}

} // namespace Twips

#include <QRectF>
#include <QVariant>
#include <QWidget>

namespace Twips {

namespace {
const char *const GeometryProperty = "kuroeview_twips";

QRectF stored(const QWidget *widget)
{
    const QVariant value = widget->property(GeometryProperty);
    if (value.isValid())
        return value.toRectF();
    const QRect pixels = widget->geometry();
    return QRectF(fromPixelsX(pixels.x()), fromPixelsY(pixels.y()), fromPixelsX(pixels.width()),
                  fromPixelsY(pixels.height()));
}
} // namespace

bool place(QWidget *widget, double left, double top, double width, double height)
{
    if (!widget || width < 0.0 || height < 0.0 || !std::isfinite(left + top + width + height))
        return false;
    widget->setProperty(GeometryProperty, QRectF(left, top, width, height));
    widget->setGeometry(toPixels(left, top, width, height));
    return true;
}

bool setLeft(QWidget *widget, double value)
{
    const QRectF r = stored(widget);
    return place(widget, value, r.y(), r.width(), r.height());
}

bool setTop(QWidget *widget, double value)
{
    const QRectF r = stored(widget);
    return place(widget, r.x(), value, r.width(), r.height());
}

bool setWidth(QWidget *widget, double value)
{
    const QRectF r = stored(widget);
    return place(widget, r.x(), r.y(), value, r.height());
}

bool setHeight(QWidget *widget, double value)
{
    const QRectF r = stored(widget);
    return place(widget, r.x(), r.y(), r.width(), value);
}

double left(const QWidget *widget) { return stored(widget).x(); }
double top(const QWidget *widget) { return stored(widget).y(); }
double width(const QWidget *widget) { return stored(widget).width(); }
double height(const QWidget *widget) { return stored(widget).height(); }

} // namespace Twips

namespace Twips {

namespace {
const char *const WindowProperty = "kuroeviewWindowTwips";

// The exact value when the pixels still say what it produced, else the pixels.
double exactOr(double stored, int storedPixels, int pixels, double perPixel)
{
    return storedPixels == pixels ? stored : pixels * perPixel;
}

// A Wayland compositor that draws the windows' frames itself (sway, KDE's)
// never says how large they are, and places the windows itself (centred on
// their contents, as sway does): a title bar's height is assumed above and
// below, so that a window sized to the screen keeps its title bar on it.
bool FramedByAnUnseenCompositor(const QWidget *window)
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && window->isWindow() &&
           !(window->windowFlags() & Qt::FramelessWindowHint) && window->windowType() != Qt::ToolTip &&
           window->windowType() != Qt::Popup && !window->isFullScreen() && !window->isMaximized();
}
const QMargins UnseenCompositorFrame(4, 36, 4, 36);

// The frame a window has now; none before the window manager framed it.
QMargins frameOf(const QWidget *window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    return frame.isNull() && FramedByAnUnseenCompositor(window) ? UnseenCompositorFrame : frame;
}

QRectF storedWindow(const QWidget *window)
{
    const QVariant value = window->property(WindowProperty);
    // A window not framed yet counts with the frame it is going to get.
    const QRect frame = frameOf(window).isNull() ? window->geometry().marginsAdded(expectedFrame(window, nullptr))
                                                 : window->geometry().marginsAdded(frameOf(window));
    if (!value.isValid())
        return QRectF(fromPixelsX(frame.x()), fromPixelsY(frame.y()), fromPixelsX(frame.width()),
                      fromPixelsY(frame.height()));
    const QRectF twips = value.toRectF();
    return QRectF(exactOr(twips.x(), toPixelsX(twips.x()), frame.x(), perPixelX()),
                  exactOr(twips.y(), toPixelsY(twips.y()), frame.y(), perPixelY()),
                  exactOr(twips.width(), toPixelsX(twips.width()), frame.width(), perPixelX()),
                  exactOr(twips.height(), toPixelsY(twips.height()), frame.height(), perPixelY()));
}
} // namespace

const char *const SettlerProperty = "kuroeviewFrameSettler";
const char *const FixedProperty = "kuroeviewFixedSize";

void resizeClient(QWidget *window, const QSize &size)
{
    if (window->property(FixedProperty).toBool())
        window->setFixedSize(size);
    else
        window->resize(size);
}

const char *const FrameUsedProperty = "kuroeviewFrameUsed";

// Gives a window its outer size again once the window manager has framed
// it (which happens some time after it is shown), if the frame it got is
// not the one its inner size was made for, and keeps it on the screen.
class FrameSettler : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Move && type != QEvent::Resize)
            return false;
        auto *window = static_cast<QWidget *>(watched);
        const QMargins frame = frameOf(window);
        if (type == QEvent::Show || !frame.isNull()) {
            if (frame != window->property(FrameUsedProperty).value<QMargins>() && !window->isMaximized() &&
                !window->isFullScreen()) {
                settleWindowFrame(window);
                keepInsideWorkArea(window, window);
            }
        }
        if (!frame.isNull()) {
            watched->removeEventFilter(this);
            watched->setProperty(SettlerProperty, false);
            deleteLater();
        }
        return false;
    }
};

bool setWindowSize(QWidget *window, double width, double height)
{
    if (!window || width < 0.0 || height < 0.0 || !std::isfinite(width + height))
        return false;
    if (frameOf(window).isNull() && !window->property(SettlerProperty).toBool()) {
        window->setProperty(SettlerProperty, true);
        window->installEventFilter(new FrameSettler(window));
    }
    QRectF twips = storedWindow(window);
    twips.setSize(QSizeF(width, height));
    window->setProperty(WindowProperty, twips);
    const QMargins frame = expectedFrame(window, nullptr);
    window->setProperty(FrameUsedProperty, QVariant::fromValue(frame));
    resizeClient(window, QSize(std::max(0, toPixelsX(width) - frame.left() - frame.right()),
                               std::max(0, toPixelsY(height) - frame.top() - frame.bottom())));
    return true;
}

bool setFixedWindowSize(QWidget *window, double width, double height)
{
    if (!window)
        return false;
    window->setProperty(FixedProperty, true);
    return setWindowSize(window, width, height);
}

void settleWindowFrame(QWidget *window)
{
    const QVariant value = window ? window->property(WindowProperty) : QVariant();
    if (!value.isValid())
        return;
    const QSizeF twips = value.toRectF().size();
    const QMargins frame = expectedFrame(window, nullptr);
    window->setProperty(FrameUsedProperty, QVariant::fromValue(frame));
    resizeClient(window, QSize(std::max(0, toPixelsX(twips.width()) - frame.left() - frame.right()),
                               std::max(0, toPixelsY(twips.height()) - frame.top() - frame.bottom())));
}

bool setWindowPosition(QWidget *window, double left, double top)
{
    if (!window || !std::isfinite(left + top))
        return false;
    QRectF twips = storedWindow(window);
    twips.moveTopLeft(QPointF(left, top));
    window->setProperty(WindowProperty, twips);
    const QPoint corner(toPixelsX(left), toPixelsY(top));
    const QMargins expected = expectedFrame(window, nullptr);
    if (frameOf(window).isNull() && !expected.isNull()) {
        // Not framed yet: the inner area is placed where the frame to come
        // leaves it, as window managers place a window by its inner area.
        window->setGeometry(QRect(corner + QPoint(expected.left(), expected.top()), window->size()));
    } else {
        window->move(corner);
    }
    return true;
}

QPointF screenCorner(const QWidget *window)
{
    const QScreen *screen = window ? window->screen() : nullptr;
    if (!screen)
        return QPointF();
    const QPoint corner = screen->geometry().topLeft();
    return QPointF(fromPixelsX(corner.x()), fromPixelsY(corner.y()));
}

QMargins expectedFrame(const QWidget *window, const QWidget *framedReference)
{
    const QMargins own = frameOf(window);
    if (!own.isNull() || (window->windowFlags() & Qt::FramelessWindowHint) || window->windowType() == Qt::ToolTip)
        return own;
    if (framedReference)
        return frameOf(framedReference);
    // Not framed yet: the window manager frames it as it framed the
    // program's other windows.
    for (const QWidget *other : QApplication::topLevelWidgets()) {
        if (other == window || !other->isVisible() || (other->windowFlags() & Qt::FramelessWindowHint) ||
            other->isMaximized() || other->isFullScreen())
            continue;
        const QMargins theirs = frameOf(other);
        if (!theirs.isNull())
            return theirs;
    }
    return own;
}

void keepInsideWorkArea(QWidget *window, const QWidget *reference)
{
    const QScreen *screen = reference ? reference->screen() : window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins frame = expectedFrame(window, reference);
    const QRectF twips = storedWindow(window);
    const QRect outer(QPoint(toPixelsX(twips.x()), toPixelsY(twips.y())),
                      window->size() + QSize(frame.left() + frame.right(), frame.top() + frame.bottom()));
    QPoint corner = outer.topLeft();
    corner.setX(std::max(area.left(), std::min(corner.x(), area.right() + 1 - outer.width())));
    corner.setY(std::max(area.top(), std::min(corner.y(), area.bottom() + 1 - outer.height())));
    if (corner != outer.topLeft())
        setWindowPosition(window, fromPixelsX(corner.x()), fromPixelsY(corner.y()));
}

QRectF workArea(const QWidget *reference)
{
    const QScreen *screen = reference ? reference->screen() : nullptr;
    if (!screen)
        return QRectF();
    const QRect area = screen->availableGeometry();
    return QRectF(fromPixelsX(area.x()), fromPixelsY(area.y()), fromPixelsX(area.width()), fromPixelsY(area.height()));
}

double windowLeft(const QWidget *window) { return storedWindow(window).x(); }
double windowTop(const QWidget *window) { return storedWindow(window).y(); }
double windowWidth(const QWidget *window) { return storedWindow(window).width(); }
double windowHeight(const QWidget *window) { return storedWindow(window).height(); }

} // namespace Twips
