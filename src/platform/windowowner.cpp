#include "platform/windowowner.h"

#include <QWidget>
#include <QWindow>

namespace WindowOwner {

void SetOwner(QWidget *window, QWidget *owner)
{
    if (!window || !owner)
        return;
    // The native windows exist from here on, so that the owner is known
    // to the window system before the window is first shown.
    window->winId();
    owner->winId();
    if (QWindow *handle = window->windowHandle())
        handle->setTransientParent(owner->windowHandle());
}

} // namespace WindowOwner
