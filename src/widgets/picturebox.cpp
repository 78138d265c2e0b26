#include "widgets/picturebox.h"

#include "platform/twips.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

// An open hand seen from the back, fingers up, 32 x 32 at scale 1.
QPainterPath handOutline()
{
    QPainterPath hand;
    hand.addRoundedRect(QRectF(8, 14, 15, 13), 5, 5);
    const double fingerTops[] = {5, 3, 4, 7};
    for (int i = 0; i < 4; ++i)
        hand.addRoundedRect(QRectF(8.5 + i * 3.6, fingerTops[i], 3.6, 16 - fingerTops[i] + 4), 1.8, 1.8);
    QPainterPath thumb;
    thumb.moveTo(9, 22);
    thumb.lineTo(4, 15.5);
    thumb.quadTo(3, 13, 5.5, 13.5);
    thumb.lineTo(10, 18);
    thumb.closeSubpath();
    return hand.united(thumb).simplified();
}

// The hand-shaped pointer shown over a picture that can be dragged.
QCursor HandCursor()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::white);
    painter.drawPath(handOutline());
    painter.setPen(QPen(QColor(90, 90, 90), 0.8));
    for (int i = 1; i < 4; ++i)
        painter.drawLine(QPointF(8.5 + i * 3.6, 11), QPointF(8.5 + i * 3.6, 17));
    painter.end();
    return QCursor(pixmap, 15, 15);
}

// Boxes up to this many device pixels keep a scaled copy of the picture;
// larger ones (a big picture zoomed in) draw the exposed part straight from
// the picture, so that zooming never allocates more than the screen shows.
constexpr qint64 ScaledCopyLimit = 4096LL * 4096LL;
} // namespace

PictureBox::PictureBox(QWidget *parent) : QWidget(parent) {}

void PictureBox::setPicture(const Picture &picture)
{
    m_picture = picture;
    m_scaled = QImage();
    update();
}

void PictureBox::clear() { setPicture(Picture()); }

void PictureBox::setHandPointer(bool hand)
{
    m_hand = hand;
    if (hand)
        setCursor(HandCursor());
    else
        unsetCursor();
}

const QImage &PictureBox::scaledFor(const QSize &devicePixels)
{
    const QImage &image = m_picture.image;
    if (m_picture.drawing) {
        // A drawing (metafile, SVG) is drawn again at the box's size, never stretched.
        if (m_scaled.size() != devicePixels)
            m_scaled = m_picture.drawing->Render(devicePixels);
        return m_scaled;
    }
    if (devicePixels == image.size())
        return image;
    if (m_scaled.size() != devicePixels)
        m_scaled = image.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return m_scaled;
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    const QImage &image = m_picture.image;
    if (image.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    const double ratio = devicePixelRatioF();
    const QSize devicePixels(qRound(width() * ratio), qRound(height() * ratio));
    const QRect exposed = event->rect().intersected(rect());
    // A reduced picture (the preview's, shown while the whole is read) is
    // drawn part by part: a scaled copy of it would cost more than it saves.
    if (qint64(devicePixels.width()) * devicePixels.height() <= ScaledCopyLimit &&
        (m_picture.drawing || !m_picture.reduced || devicePixels == image.size())) {
        const QImage &scaled = scaledFor(devicePixels);
        const QRectF source(exposed.x() * double(scaled.width()) / width(),
                            exposed.y() * double(scaled.height()) / height(),
                            exposed.width() * double(scaled.width()) / width(),
                            exposed.height() * double(scaled.height()) / height());
        painter.drawImage(QRectF(exposed), scaled, source);
        return;
    }
    m_scaled = QImage();
    if (m_picture.drawing) {
        const QRect part(QPoint(qRound(exposed.x() * ratio), qRound(exposed.y() * ratio)),
                         QSize(qRound(exposed.width() * ratio), qRound(exposed.height() * ratio)));
        QImage drawn = m_picture.drawing->Render(devicePixels, part);
        drawn.setDevicePixelRatio(ratio);
        painter.drawImage(exposed.topLeft(), drawn);
        return;
    }
    const double scaleX = double(image.width()) / width();
    const double scaleY = double(image.height()) / height();
    const QRectF source(exposed.x() * scaleX, exposed.y() * scaleY, exposed.width() * scaleX,
                        exposed.height() * scaleY);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(exposed), image, source);
}

QPointF PictureBox::WheelStep(const QWheelEvent &event)
{
    constexpr double PixelsPerLine = 20.0;
    QPointF notches = QPointF(event.angleDelta()) / 120.0;
    if (event.modifiers() & Qt::ShiftModifier)
        notches = QPointF(notches.y(), notches.x());
    const double pixels = QApplication::wheelScrollLines() * PixelsPerLine;
    return QPointF(notches.x() * pixels * Twips::perPixelX(), notches.y() * pixels * Twips::perPixelY());
}

void PictureBox::mousePressEvent(QMouseEvent *event)
{
    const QPointF at = event->position();
    emit pressed(event->button(), at.x() * Twips::perPixelX(), at.y() * Twips::perPixelY());
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event) { emit released(event->button()); }

void PictureBox::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF at = event->position();
    emit moved(event->buttons(), at.x() * Twips::perPixelX(), at.y() * Twips::perPixelY());
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Only the left button double-clicks; a quick second press of another
    // button is an ordinary press.
    if (event->button() == Qt::LeftButton)
        emit doubleClicked(event->button());
    else
        mousePressEvent(event);
}
