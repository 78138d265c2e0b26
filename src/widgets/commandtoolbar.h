#pragma once

#include <QHash>
#include <QToolBar>

class QAction;
class QToolButton;

// A toolbar of numbered positions (from 1, left to right): buttons with an
// image and a tooltip, separators, and buttons with a drop-down menu. A
// button bound to a command (the QAction the menus and keys share) runs it;
// another reports its position; a drop-down entry reports its number.
class CommandToolbar : public QToolBar
{
    Q_OBJECT

public:
    explicit CommandToolbar(QWidget *parent = nullptr);

    void addSeparatorPosition();
    // The button is heard by its tooltip, or by accessibleName where it has none.
    void addButtonPosition(const QIcon &icon, const QString &toolTip, const QString &accessibleName = QString());
    // A button with a drop-down menu whose entries are numbered from 1.
    void addMenuButtonPosition(const QIcon &icon, const QString &toolTip, const QStringList &entries);

    int positionCount() const { return static_cast<int>(m_positions.size()); }
    bool isSeparator(int position) const;
    QString toolTipOf(int position) const;
    void setButtonEnabled(int position, bool enabled);
    // The button at position runs the window's command: a click triggers it
    // (buttonClicked is not sent), and the button is enabled as it is.
    void bindCommand(int position, QAction *command);
    bool isButtonEnabled(int position) const;
    // The button's widget, for geometry and tests; nullptr for separators.
    QWidget *buttonWidget(int position) const;
    QAction *action(int position) const;

signals:
    void buttonClicked(int position);
    void menuEntryClicked(int position, int entry);

private:
    void Clicked(int position);

    QList<QAction *> m_positions;
    QHash<int, QAction *> m_commands;
};
