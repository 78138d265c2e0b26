#include "viewer/hoverbox.h"

#include "platform/eventloops.h"
#include "platform/twips.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

// The face of the box, painting both lines without clipping them to their
// nominal height.
class HoverBoxFace : public QWidget
{
public:
    HoverBoxFace(HoverBox &box, QWidget *parent) : QWidget(parent), m_box(box)
    {
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, HoverBox::background());
        colours.setColor(QPalette::WindowText, Qt::black);
        setPalette(colours);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        for (const HoverBox::Line &line : m_box.m_lines) {
            const QRect box = Twips::toPixels(line.left, line.top, line.width, line.height);
            painter.drawText(QRect(box.x(), box.y() - box.height(), std::max(box.width(), 1) + 4, box.height() * 3),
                             Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, line.text);
        }
    }

private:
    HoverBox &m_box;
};

HoverBox::HoverBox(QWidget *focusOwner)
    : UnloadingWindow<QWidget>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      m_focusOwner(focusOwner)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    QFont small = font();
    small.setPixelSize(12);
    setFont(small);
    face = new HoverBoxFace(*this, this);
    face->installEventFilter(this);
    m_lines[0].left = 165;
    m_lines[0].top = 90;
    m_lines[1].left = 165;
    m_lines[1].top = 300;
    Twips::place(face, 0, 0, 1185, 600);
    resize(Twips::toPixelsX(1785), Twips::toPixelsY(600));
    tickTimer = new QTimer(this);
    tickTimer->setInterval(10);
    connect(tickTimer, &QTimer::timeout, this, &HoverBox::timerTicked);
    tickTimer->start();
}

void HoverBox::setLineText(int index, const QString &text)
{
    Line &line = m_lines[index];
    line.text = text;
    line.width = Twips::fromPixelsX(face->fontMetrics().horizontalAdvance(text));
    face->update();
}

double HoverBox::faceWidth() const { return Twips::width(face); }
double HoverBox::faceHeight() const { return Twips::height(face); }
void HoverBox::setFaceWidth(double width) { Twips::setWidth(face, width); }

bool HoverBox::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        Unload();
        return true;
    case QEvent::FocusIn:
        if (m_focusOwner)
            m_focusOwner->activateWindow();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void HoverBox::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (m_focusOwner)
        m_focusOwner->activateWindow();
}

void HoverBox::Unloading()
{
    tickTimer->stop();
    hide();
    emit unloaded();
}
