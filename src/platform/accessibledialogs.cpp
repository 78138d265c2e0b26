#include "platform/accessibledialogs.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

#include <mutex>

namespace AccessibleDialogs {

namespace {

const char *const DialogProperty = "kuroeviewDialog";

QAccessibleInterface *DialogFactory(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget || !widget->isWindow() || !widget->property(DialogProperty).toBool())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Dialog);
}

} // namespace

void MarkAsDialog(QWidget *window)
{
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(DialogFactory); });
    window->setProperty(DialogProperty, true);
}

} // namespace AccessibleDialogs
