#include "viewer/tot.h"

#include "platform/eventloops.h"
#include "platform/twips.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

// The face of the box, painting both lines without clipping them to their
// nominal height.
class TotFace : public QWidget
{
public:
    TotFace(Tot &box, QWidget *parent) : QWidget(parent), m_box(box)
    {
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, Tot::background());
        colours.setColor(QPalette::WindowText, Qt::black);
        setPalette(colours);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        for (const Tot::Line &line : m_box.m_lines) {
            const QRect box = Twips::toPixels(line.left, line.top, line.width, line.height);
            painter.drawText(QRect(box.x(), box.y() - box.height(), std::max(box.width(), 1) + 4, box.height() * 3),
                             Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, line.text);
        }
    }

private:
    Tot &m_box;
};

Tot::Tot(QWidget *focusOwner)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      m_focusOwner(focusOwner)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    QFont face = font();
    face.setPixelSize(12);
    setFont(face);
    Pic1 = new TotFace(*this, this);
    Pic1->installEventFilter(this);
    m_lines[0].left = 165;
    m_lines[0].top = 90;
    m_lines[1].left = 165;
    m_lines[1].top = 300;
    Twips::place(Pic1, 0, 0, 1185, 600);
    resize(Twips::toPixelsX(1785), Twips::toPixelsY(600));
    Timer1 = new QTimer(this);
    Timer1->setInterval(10);
    connect(Timer1, &QTimer::timeout, this, &Tot::timerTicked);
    Timer1->start();
}

void Tot::setLineText(int index, const QString &text)
{
    Line &line = m_lines[index];
    line.text = text;
    line.width = Twips::fromPixelsX(Pic1->fontMetrics().horizontalAdvance(text));
    Pic1->update();
}

double Tot::Pic1Width() const { return Twips::width(Pic1); }
double Tot::Pic1Height() const { return Twips::height(Pic1); }
void Tot::setPic1Width(double width) { Twips::setWidth(Pic1, width); }

bool Tot::eventFilter(QObject *watched, QEvent *event)
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

void Tot::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (m_focusOwner)
        m_focusOwner->activateWindow();
}

void Tot::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    Timer1->stop();
    hide();
    emit unloaded();
    EventLoops::releaseWhenOutermost(this);
}
