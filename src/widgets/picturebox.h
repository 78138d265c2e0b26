#pragma once

#include "pictures/pictureloader.h"

#include <QPointF>
#include <QWidget>

class QWheelEvent;

// An image control: shows its picture stretched to its own box, smoothly,
// and reports mouse presses, releases, moves and double clicks with the
// pointer position in twips relative to its top-left corner. Without a
// picture it draws nothing and its container shows through.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

    void setPicture(const Picture &picture);
    const Picture &picture() const { return m_picture; }
    bool hasPicture() const { return !m_picture.image.isNull(); }
    void clear();

    // How far, in twips, a wheel turn moves a picture: the desktop's lines
    // per notch, sideways with Shift or a sideways wheel.
    static QPointF WheelStep(const QWheelEvent &event);

    // Pointer style: the hand when true, the default arrow otherwise.
    void setHandPointer(bool hand);
    bool showsHandPointer() const { return m_hand; }

signals:
    void pressed(Qt::MouseButton button, double x, double y);
    void released(Qt::MouseButton button);
    void moved(Qt::MouseButtons buttons, double x, double y);
    void doubleClicked(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    const QImage &scaledFor(const QSize &devicePixels);

    Picture m_picture;
    QImage m_scaled;
    bool m_hand = false;
};
