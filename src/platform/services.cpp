#include "platform/services.h"

#include "platform/eventloops.h"

#include <QCursor>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPropertyAnimation>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>
#include <QWindow>

void DesktopMessageBox::show(QWidget *parent, const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(icon == Icon::Information ? QMessageBox::Information : QMessageBox::NoIcon, title, text,
                    QMessageBox::Ok, parent);
    // Modal as exec() makes it, in a loop of the program's own, which the
    // end of the program leaves (the box then goes unanswered).
    box.setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    box.show();
    EventLoops::wait(loop);
}

bool DesktopShell::openDocument(const QString &nativePath)
{
    if (!QFileInfo::exists(nativePath))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(nativePath));
}

bool DesktopShell::startProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

QString DesktopShell::findSystemInfoTool()
{
    for (const char *name : {"hardinfo2", "hardinfo", "gnome-system-monitor", "plasma-systemmonitor",
                             "ksysguard", "kinfocenter", "xfce4-taskmanager", "lxtask", "mate-system-monitor"}) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(name));
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

void DesktopWindowServices::setTopMost(QWidget *window, bool topMost)
{
    if (!window)
        return;
    // Changing the flag on the native window keeps the widget as it is;
    // QWidget::setWindowFlag would re-create (and hide) it.
    if (QWindow *handle = window->windowHandle())
        handle->setFlag(Qt::WindowStaysOnTopHint, topMost);
    else
        window->setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    if (window->isVisible())
        window->raise();
}

void DesktopWindowServices::animateWindow(QWidget *window, int milliseconds, std::uint32_t flags)
{
    if (!window)
        return;
    const bool hide = flags & AwHide;
    if (!hide && !window->isVisible()) {
        window->setWindowOpacity(0.0);
        window->show();
    }
    QPropertyAnimation animation(window, "windowOpacity");
    animation.setDuration(milliseconds);
    animation.setStartValue(hide ? 1.0 : 0.0);
    animation.setEndValue(hide ? 0.0 : 1.0);
    QEventLoop loop;
    QObject::connect(&animation, &QPropertyAnimation::finished, &loop, &QEventLoop::quit);
    animation.start();
    EventLoops::wait(loop, QEventLoop::ExcludeUserInputEvents);
    if (hide)
        window->hide();
    window->setWindowOpacity(1.0);
    if (!hide && (flags & AwActivate))
        window->activateWindow();
}

void DesktopWindowServices::setCursorPos(int x, int y) { QCursor::setPos(x, y); }
