#pragma once

#include <QFrame>

class QLabel;

// The status bar: two sunken text panels, numbered 1 and 2, each with
// its own text and alignment.
class StatusPanels : public QFrame
{
    Q_OBJECT

public:
    explicit StatusPanels(QWidget *parent = nullptr);

    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    Qt::Alignment panelAlignment(int panel) const;
    void setPanelAlignment(int panel, Qt::Alignment alignment);

private:
    QLabel *label(int panel) const;
    QLabel *m_panels[2];
};
