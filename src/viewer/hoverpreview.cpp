#include "viewer/hoverpreview.h"

#include "core/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "platform/eventloops.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/tot.h"

#include <QTimer>


HoverPreview::HoverPreview(const HoverParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_state(parts.state)
{
    connect(m_parts.Timer1, &QTimer::timeout, this, &HoverPreview::Timer1Tick);
}

HoverPreview::~HoverPreview() { delete m_box.data(); }

void HoverPreview::MovedOverThumbnail(int i, double x, double y)
{
    m_state.HoverIndex = static_cast<std::int16_t>(i);
    m_state.HoverY = static_cast<std::int32_t>(Twips::roundHalfEven(y));
    m_state.HoverX = static_cast<std::int32_t>(Twips::roundHalfEven(x));
    // Arming an armed timer keeps its count: the box is due 892 ms after
    // the first move, however long the pointer keeps moving.
    if (!m_parts.Timer1->isActive())
        m_parts.Timer1->start();
}

void HoverPreview::CancelHover()
{
    m_state.HoverIndex = -1;
    UnloadBox();
    m_parts.Timer1->stop();
}

void HoverPreview::UnloadBox()
{
    if (m_box)
        m_box->Unload();
}

void HoverPreview::Timer1Tick()
{
    // A tick that comes during this one's yield would make a second box.
    const EventLoops::OneAtATime once(m_ticking);
    if (!once.entered())
        return;
    PlatformContext::yield();
    // The pointer left the thumbnails meanwhile (onto the box it touched):
    // no box without a thumbnail.
    if (m_parts.mainWindow->isVisible() && m_state.PreviewShown == 0 && m_parts.BackPic->exists(m_state.HoverIndex)) {
        auto *box = new Tot(m_parts.mainWindow);
        m_box = box;
        connect(box, &Tot::unloaded, this, [this] {
            m_state.HoverIndex = -1;
            m_state.PreviewShown = 0;
        });
        connect(box, &Tot::timerTicked, this, [this, box] {
            if (m_parts.viewerShown && m_parts.viewerShown())
                box->Unload();
        });
        LoadBox(*box);
        box->show();
        m_parts.mainWindow->activateWindow();
    }
    m_parts.Timer1->stop();
}

void HoverPreview::LoadBox(Tot &box)
{
    Twips::setLeft(box.Pic1, 0);
    Twips::setTop(box.Pic1, 0);
    m_parts.mainWindow->activateWindow();
    m_state.PreviewShown = 1;
    const ThumbnailArea &area = *m_parts.BackPic;
    const int i = m_state.HoverIndex;
    if (area.exists(i)) {
        const QRectF cell = area.Lbl1(i).rect;
        const double top = m_state.HoverY + Twips::windowTop(m_parts.mainWindow) + Twips::top(m_parts.BackPic) + cell.top() + cell.height() + 250;
        const double left = m_state.HoverX + Twips::windowLeft(m_parts.mainWindow) + Twips::left(m_parts.BackPic) + cell.left() +
                            Twips::windowWidth(&box) / 2 - cell.width() + 100;
        Twips::setWindowPosition(&box, left, top);
    }
    if (i >= 0 && i < static_cast<int>(m_state.InfoList.size())) {
        box.setLineText(0, m_state.InfoList[i].NameText);
        box.setLineText(1, m_state.InfoList[i].SizeText);
    }
    if (box.Label1(0).width > box.Label1(1).width)
        box.setPic1Width(box.Label1(0).width + 300);
    else
        box.setPic1Width(box.Label1(1).width + 300);
    Twips::setWindowSize(&box, box.Pic1Width(), box.Pic1Height());
    m_parts.context.windows->setTopMost(&box, true);
}
