#include "viewer/full.h"

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

Full::Full(const FullScreenParts &parts) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_parts(parts)
{
    setWindowTitle(QStringLiteral("フルスクリーンビューア"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    img = new PictureBox(this);
    connect(img, &PictureBox::pressed, this, [this](Qt::MouseButton button, double x, double y) {
        AnchorX = static_cast<float>(x);
        AnchorY = static_cast<float>(y);
        PressGesture(button);
    });
    connect(img, &PictureBox::moved, this, &Full::Drag);
    connect(img, &PictureBox::doubleClicked, this, &Full::BackToThumbnails);
    Load();
}

void Full::Load()
{
    img->hide();
    m_parts.state.PressCount = 0;
    m_parts.windows.setTopMost(m_parts.viewer, true);
    Twips::place(img, Twips::left(img), Twips::top(img), Twips::width(m_parts.viewerImg),
                 Twips::height(m_parts.viewerImg));
    img->setPicture(m_parts.viewerImg->picture());
    img->show();
    m_parts.viewer->hide();
}

void Full::ShowOnScreen()
{
    QScreen *screen = m_parts.viewer->screen();
    if (screen)
        setGeometry(screen->geometry());
    showFullScreen();
    activateWindow();
    setFocus();
}

double Full::ScaleWidth() const { return Twips::fromPixelsX(width()); }
double Full::ScaleHeight() const { return Twips::fromPixelsY(height()); }

void Full::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    PrimgSetFULL::PlaceFullPicture(*this);
}

void Full::mousePressEvent(QMouseEvent *event) { PressGesture(event->button()); }

void Full::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        BackToThumbnails();
    else
        PressGesture(event->button());
}

void Full::wheelEvent(QWheelEvent *event)
{
    // A picture larger than the screen scrolls within the limits a drag has.
    event->accept();
    if (m_parts.state.Draggable != 1)
        return;
    const QPointF step = PictureBox::WheelStep(*event);
    const double lowestLeft = ScaleWidth() - Twips::width(img);
    if (lowestLeft <= 0 && step.x() != 0)
        Twips::setLeft(img, std::clamp(Twips::left(img) + step.x(), lowestLeft, 0.0));
    const double lowestTop = ScaleHeight() - Twips::height(img);
    if (lowestTop <= 0 && step.y() != 0)
        Twips::setTop(img, std::clamp(Twips::top(img) + step.y(), lowestTop, 0.0));
}

void Full::keyPressEvent(QKeyEvent *event)
{
    // Escape leaves full screen as the middle button does.
    if (event->key() == Qt::Key_Escape && !m_unloaded)
        m_parts.returnToViewer();
    else
        QWidget::keyPressEvent(event);
}

void Full::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager: back to the viewer, as a gesture would.
    event->ignore();
    if (m_unloaded)
        return;
    m_parts.returnToViewer();
}

void Full::PressGesture(Qt::MouseButton button)
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

void Full::Drag(Qt::MouseButtons buttons, double x, double y)
{
    if (m_parts.state.Draggable != 1 || buttons != Qt::LeftButton)
        return;
    if (x == AnchorX && y == AnchorY)
        return;
    const double newLeft = Twips::left(img) + (x - AnchorX);
    if (newLeft + Twips::width(img) >= ScaleWidth() && newLeft <= 0)
        Twips::setLeft(img, newLeft);
    const double newTop = Twips::top(img) + (y - AnchorY);
    if (newTop + Twips::height(img) >= ScaleHeight() && newTop <= 0)
        Twips::setTop(img, newTop);
}

void Full::BackToThumbnails()
{
    m_parts.backToThumbnails();
    Unload();
}

void Full::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    hide();
    EventLoops::releaseWhenOutermost(this);
}

namespace PrimgSetFULL {

void PlaceFullPicture(Full &full)
{
    PictureBox *img = full.img;
    Twips::setTop(img, full.ScaleHeight() / 2 - Twips::height(img) / 2);
    Twips::setLeft(img, full.ScaleWidth() / 2 - Twips::width(img) / 2);
    img->show();
    ProgramState &state = full.viewerState();
    state.Draggable = 0;
    img->setHandPointer(false);
    if (Twips::height(img) > full.ScaleHeight() || Twips::width(img) > full.ScaleWidth()) {
        state.Draggable = 1;
        img->setHandPointer(true);
    }
}

} // namespace PrimgSetFULL
