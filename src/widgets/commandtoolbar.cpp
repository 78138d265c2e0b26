#include "widgets/commandtoolbar.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

CommandToolbar::CommandToolbar(QWidget *parent) : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void CommandToolbar::addSeparatorPosition() { m_positions.append(addSeparator()); }

void CommandToolbar::addButtonPosition(const QIcon &icon, const QString &toolTip, const QString &accessibleName)
{
    const int position = positionCount() + 1;
    QAction *action = addAction(icon, QString());
    action->setToolTip(toolTip);
    if (QWidget *button = widgetForAction(action))
        button->setAccessibleName(toolTip.isEmpty() ? accessibleName : toolTip);
    connect(action, &QAction::triggered, this, [this, position] { Clicked(position); });
    m_positions.append(action);
}

void CommandToolbar::addMenuButtonPosition(const QIcon &icon, const QString &toolTip, const QStringList &entries)
{
    const int position = positionCount() + 1;
    auto *menu = new QMenu(this);
    for (int i = 0; i < entries.size(); ++i) {
        QAction *entry = menu->addAction(entries[i]);
        const int number = i + 1;
        connect(entry, &QAction::triggered, this, [this, position, number] { emit menuEntryClicked(position, number); });
    }
    QAction *action = addAction(icon, QString());
    action->setToolTip(toolTip);
    action->setMenu(menu);
    if (auto *button = qobject_cast<QToolButton *>(widgetForAction(action))) {
        button->setPopupMode(QToolButton::MenuButtonPopup);
        button->setAccessibleName(toolTip);
    }
    connect(action, &QAction::triggered, this, [this, position] { Clicked(position); });
    m_positions.append(action);
}

void CommandToolbar::Clicked(int position)
{
    if (QAction *command = m_commands.value(position))
        command->trigger();
    else
        emit buttonClicked(position);
}

void CommandToolbar::bindCommand(int position, QAction *command)
{
    QAction *button = action(position);
    if (!button || button->isSeparator() || !command)
        return;
    m_commands.insert(position, command);
    button->setEnabled(command->isEnabled());
    connect(command, &QAction::enabledChanged, button, &QAction::setEnabled);
}

QAction *CommandToolbar::action(int position) const
{
    return position >= 1 && position <= positionCount() ? m_positions[position - 1] : nullptr;
}

bool CommandToolbar::isSeparator(int position) const
{
    const QAction *a = action(position);
    return a && a->isSeparator();
}

QString CommandToolbar::toolTipOf(int position) const
{
    const QAction *a = action(position);
    return a && !a->isSeparator() ? a->toolTip() : QString();
}

void CommandToolbar::setButtonEnabled(int position, bool enabled)
{
    if (QAction *a = action(position))
        a->setEnabled(enabled);
}

bool CommandToolbar::isButtonEnabled(int position) const
{
    const QAction *a = action(position);
    return a && a->isEnabled();
}

QWidget *CommandToolbar::buttonWidget(int position) const
{
    QAction *a = action(position);
    return a && !a->isSeparator() ? widgetForAction(a) : nullptr;
}
