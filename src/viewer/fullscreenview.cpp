#include "viewer/fullscreenview.h"

#include "platform/eventloops.h"
#include "core/programstate.h"
#include "platform/services.h"
#include "platform/twips.h"
#include "widgets/picturebox.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>

FullScreenView::FullScreenView(const FullScreenParts &parts) : UnloadingWindow<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint), m_parts(parts)
{
    setWindowTitle(QStringLiteral("フルスクリーンビューア"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    pictureBox = new PictureBox(this);
    connect(pictureBox, &PictureBox::pressed, this, [this](Qt::MouseButton button, double x, double y) {
        AnchorX = static_cast<float>(x);
        AnchorY = static_cast<float>(y);
        PressGesture(button);
    });
    connect(pictureBox, &PictureBox::moved, this, &FullScreenView::Drag);
    connect(pictureBox, &PictureBox::doubleClicked, this, &FullScreenView::BackToThumbnails);
    Load();
}

void FullScreenView::Load()
{
    pictureBox->hide();
    m_parts.state.PressCount = 0;
    m_parts.windows.setTopMost(m_parts.viewer, true);
    Twips::place(pictureBox, Twips::left(pictureBox), Twips::top(pictureBox), Twips::width(m_parts.viewerPicture),
                 Twips::height(m_parts.viewerPicture));
    pictureBox->setPicture(m_parts.viewerPicture->picture());
    pictureBox->show();
    m_parts.viewer->hide();
}

void FullScreenView::TakeViewerPicture()
{
    Twips::setWidth(pictureBox, Twips::width(m_parts.viewerPicture));
    Twips::setHeight(pictureBox, Twips::height(m_parts.viewerPicture));
    pictureBox->setPicture(m_parts.viewerPicture->picture());
    FullScreenLayout::PlaceFullPicture(*this);
}

void FullScreenView::ShowOnScreen()
{
    QScreen *screen = m_parts.viewer->screen();
    if (screen)
        setGeometry(screen->geometry());
    showFullScreen();
    activateWindow();
    setFocus();
}

double FullScreenView::ScaleWidth() const { return Twips::fromPixelsX(width()); }
double FullScreenView::ScaleHeight() const { return Twips::fromPixelsY(height()); }

void FullScreenView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FullScreenLayout::PlaceFullPicture(*this);
}

void FullScreenView::mousePressEvent(QMouseEvent *event) { PressGesture(event->button()); }

void FullScreenView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        BackToThumbnails();
    else
        PressGesture(event->button());
}

void FullScreenView::wheelEvent(QWheelEvent *event)
{
    // A picture larger than the screen scrolls within the limits a drag has.
    event->accept();
    if (m_parts.state.Draggable != 1)
        return;
    const QPointF step = PictureBox::WheelStep(*event);
    const double lowestLeft = ScaleWidth() - Twips::width(pictureBox);
    if (lowestLeft <= 0 && step.x() != 0)
        Twips::setLeft(pictureBox, std::clamp(Twips::left(pictureBox) + step.x(), lowestLeft, 0.0));
    const double lowestTop = ScaleHeight() - Twips::height(pictureBox);
    if (lowestTop <= 0 && step.y() != 0)
        Twips::setTop(pictureBox, std::clamp(Twips::top(pictureBox) + step.y(), lowestTop, 0.0));
}

void FullScreenView::keyPressEvent(QKeyEvent *event)
{
    // Escape leaves full screen as the middle button does; the viewer's keys
    // of the next and previous picture, and P of an animation, work here too.
    ViewerStep step;
    if (event->key() == Qt::Key_Escape) {
        if (!isUnloaded() && !event->isAutoRepeat())
            m_parts.returnToViewer();
    } else if (event->key() == Qt::Key_P) {
        if (m_parts.pause && !isUnloaded() && !event->isAutoRepeat())
            m_parts.pause();
    } else if (ViewerStepOfKey(event->key(), step)) {
        if (m_parts.step && !isUnloaded())
            m_parts.step(step);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void FullScreenView::CloseRequested() { m_parts.returnToViewer(); }

void FullScreenView::PressGesture(Qt::MouseButton button)
{
    ProgramState &state = m_parts.state;
    if (button == Qt::MiddleButton) {
        m_parts.returnToViewer();
        return;
    }
    if (button == Qt::LeftButton)
        state.PressCount = 1;
    else if (button == Qt::RightButton)
        ++state.PressCount;
    if (state.PressCount == 2)
        m_parts.returnToViewer();
}

void FullScreenView::Drag(Qt::MouseButtons buttons, double x, double y)
{
    if (m_parts.state.Draggable != 1 || buttons != Qt::LeftButton)
        return;
    if (x == AnchorX && y == AnchorY)
        return;
    const double newLeft = Twips::left(pictureBox) + (x - AnchorX);
    if (newLeft + Twips::width(pictureBox) >= ScaleWidth() && newLeft <= 0)
        Twips::setLeft(pictureBox, newLeft);
    const double newTop = Twips::top(pictureBox) + (y - AnchorY);
    if (newTop + Twips::height(pictureBox) >= ScaleHeight() && newTop <= 0)
        Twips::setTop(pictureBox, newTop);
}

void FullScreenView::BackToThumbnails()
{
    m_parts.backToThumbnails();
    Unload();
}

namespace FullScreenLayout {

void PlaceFullPicture(FullScreenView &full)
{
    PictureBox *pictureBox = full.pictureBox;
    Twips::setTop(pictureBox, full.ScaleHeight() / 2 - Twips::height(pictureBox) / 2);
    Twips::setLeft(pictureBox, full.ScaleWidth() / 2 - Twips::width(pictureBox) / 2);
    pictureBox->show();
    ProgramState &state = full.viewerState();
    state.Draggable = 0;
    pictureBox->setHandPointer(false);
    if (Twips::height(pictureBox) > full.ScaleHeight() || Twips::width(pictureBox) > full.ScaleWidth()) {
        state.Draggable = 1;
        pictureBox->setHandPointer(true);
    }
}

} // namespace FullScreenLayout
