#include "widgets/reachablewindows.h"

#include "platform/eventloops.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

ReachableWindows::ReachableWindows(QWidget *mainWindow) : QObject(mainWindow), m_main(mainWindow)
{
    qApp->installEventFilter(this);
}

bool ReachableWindows::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide && !m_due && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->isWindow()) {
        m_due = true;
        QTimer::singleShot(0, this, &ReachableWindows::Check);
    }
    return false;
}

void ReachableWindows::Check()
{
    // A step that hides one window and shows another is not done before
    // control is back in the outermost loop.
    if (!EventLoops::atOutermost()) {
        QTimer::singleShot(50, this, &ReachableWindows::Check);
        return;
    }
    m_due = false;
    if (!m_main || EventLoops::ending())
        return;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = window->windowType();
        if (window->isVisible() && type != Qt::ToolTip && type != Qt::Popup)
            return;
    }
    m_main->show();
    m_main->activateWindow();
}
