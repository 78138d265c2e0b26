#include "viewer/hoverpreview.h"

#include "core/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "platform/eventloops.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/hoverbox.h"

#include <QTimer>


HoverPreview::HoverPreview(const HoverParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_state(parts.state)
{
    connect(m_parts.hoverTimer, &QTimer::timeout, this, &HoverPreview::HoverTimerTicked);
}

HoverPreview::~HoverPreview() { delete m_box.data(); }

void HoverPreview::MovedOverThumbnail(int i, double x, double y)
{
    m_state.HoverIndex = static_cast<std::int16_t>(i);
    m_state.HoverY = static_cast<std::int32_t>(Twips::roundHalfEven(y));
    m_state.HoverX = static_cast<std::int32_t>(Twips::roundHalfEven(x));
    // Arming an armed timer keeps its count: the box is due 892 ms after
    // the first move, however long the pointer keeps moving.
    if (!m_parts.hoverTimer->isActive())
        m_parts.hoverTimer->start();
}

void HoverPreview::CancelHover()
{
    m_state.HoverIndex = -1;
    UnloadBox();
    m_parts.hoverTimer->stop();
}

void HoverPreview::UnloadBox()
{
    if (m_box)
        m_box->Unload();
}

void HoverPreview::HoverTimerTicked()
{
    // A tick that comes during this one's yield would make a second box.
    const EventLoops::OneAtATime once(m_ticking);
    if (!once.entered())
        return;
    PlatformContext::yield();
    // The pointer left the thumbnails meanwhile (onto the box it touched):
    // no box without a thumbnail.
    if (m_parts.mainWindow->isVisible() && m_state.PreviewShown == 0 && m_parts.thumbnailArea->exists(m_state.HoverIndex)) {
        auto *box = new HoverBox(m_parts.mainWindow);
        m_box = box;
        connect(box, &HoverBox::unloaded, this, [this] {
            m_state.HoverIndex = -1;
            m_state.PreviewShown = 0;
        });
        connect(box, &HoverBox::timerTicked, this, [this, box] {
            if (m_parts.viewerShown && m_parts.viewerShown())
                box->Unload();
        });
        LoadBox(*box);
        box->show();
        m_parts.mainWindow->activateWindow();
    }
    m_parts.hoverTimer->stop();
}

void HoverPreview::LoadBox(HoverBox &box)
{
    Twips::setLeft(box.face, 0);
    Twips::setTop(box.face, 0);
    m_parts.mainWindow->activateWindow();
    m_state.PreviewShown = 1;
    const ThumbnailArea &area = *m_parts.thumbnailArea;
    const int i = m_state.HoverIndex;
    if (area.exists(i)) {
        const QRectF cell = area.cellAt(i).rect;
        const double top = m_state.HoverY + Twips::windowTop(m_parts.mainWindow) + Twips::top(m_parts.thumbnailArea) + cell.top() + cell.height() + 250;
        const double left = m_state.HoverX + Twips::windowLeft(m_parts.mainWindow) + Twips::left(m_parts.thumbnailArea) + cell.left() +
                            Twips::windowWidth(&box) / 2 - cell.width() + 100;
        Twips::setWindowPosition(&box, left, top);
    }
    if (i >= 0 && i < static_cast<int>(m_state.InfoList.size())) {
        box.setLineText(0, m_state.InfoList[i].NameText);
        box.setLineText(1, m_state.InfoList[i].SizeText);
    }
    if (box.line(0).width > box.line(1).width)
        box.setFaceWidth(box.line(0).width + 300);
    else
        box.setFaceWidth(box.line(1).width + 300);
    Twips::setWindowSize(&box, box.faceWidth(), box.faceHeight());
    // Near the bottom of the screen the box goes above the cell, and near
    // its edges it stays inside it.
    const QRectF screen = Twips::workArea(m_parts.mainWindow);
    if (area.exists(i) && screen.isValid() && Twips::windowTop(&box) + Twips::windowHeight(&box) > screen.bottom()) {
        const double pointerTop = Twips::windowTop(&box) - area.cellAt(i).rect.height() - 250;
        Twips::setWindowPosition(&box, Twips::windowLeft(&box), pointerTop - Twips::windowHeight(&box) - 250);
    }
    Twips::keepInsideWorkArea(&box, m_parts.mainWindow);
    m_parts.context.windows->setTopMost(&box, true);
}
