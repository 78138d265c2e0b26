#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Whatever closes or hides the program's windows, one stays for the person
// to go on with (or close): when a window has hidden and control is back in
// the outermost event loop, and no window of the program shows while the
// program is not ending, the main window shows again. Windows hide and
// show in many orders while events land in the middle of steps; this holds
// whatever the order.
class ReachableWindows : public QObject
{
    Q_OBJECT

public:
    explicit ReachableWindows(QWidget *mainWindow);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Check();

    QPointer<QWidget> m_main;
    bool m_due = false;
};
