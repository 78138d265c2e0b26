#include "widgets/statuspanels.h"

#include <QHBoxLayout>
#include <QLabel>

StatusPanels::StatusPanels(QWidget *parent) : QFrame(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panels[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_panels[i]->setTextFormat(Qt::PlainText);
        layout->addWidget(m_panels[i], i == 0 ? 1 : 2);
    }
}

QLabel *StatusPanels::label(int panel) const
{
    return panel == 1 || panel == 2 ? m_panels[panel - 1] : nullptr;
}

QString StatusPanels::panelText(int panel) const
{
    const QLabel *l = label(panel);
    return l ? l->text() : QString();
}

void StatusPanels::setPanelText(int panel, const QString &text)
{
    if (QLabel *l = label(panel))
        l->setText(text);
}

Qt::Alignment StatusPanels::panelAlignment(int panel) const
{
    const QLabel *l = label(panel);
    return l ? (l->alignment() & Qt::AlignHorizontal_Mask) : Qt::Alignment();
}

void StatusPanels::setPanelAlignment(int panel, Qt::Alignment alignment)
{
    if (QLabel *l = label(panel))
        l->setAlignment((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
}
