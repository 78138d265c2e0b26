#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>
#include <optional>

// The frames of an animated picture (GIF, WebP, APNG, AVIF sequence), read
// one at a time as they play, never all at once: each frame comes out as
// the whole picture looks once it is drawn (its place on the canvas, its
// blending and what the frame before it left). A source is used by one
// thread at a time.
namespace Frames {

struct Frame
{
    QImage image;
    // How long it shows, in milliseconds, with very short delays clamped as browsers do.
    int delayMs = 100;
};

class Source
{
public:
    virtual ~Source() = default;
    // The canvas, the picture's natural size.
    virtual QSize size() const = 0;
    // The frames of one play; 0 when the file does not say.
    virtual int frameCount() const = 0;
    // The next frame; after the last the first again, as often as the file
    // asks to be played; nullopt when it has played out or cannot be read on.
    virtual std::optional<Frame> next() = 0;
};

// True when a file that begins so may hold several frames: a GIF, a WebP
// marked animated, a PNG with an animation control before its data, an
// AVIF sequence. Only these are opened to be played.
bool MayAnimate(const QByteArray &head);

// The frames of the file when it holds more than one and its canvas fits the
// decoding budget twice over; nullptr otherwise.
std::unique_ptr<Source> Open(const QByteArray &nativePath);

// A delay of 10 ms or less shows for 100 ms, as browsers show it.
int ClampedDelay(int milliseconds);

} // namespace Frames
