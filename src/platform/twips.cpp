#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>

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
