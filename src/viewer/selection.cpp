#include "viewer/selection.h"

#include "app/commandtoolbar.h"
#include "app/form1.h"
#include "app/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "platform/filelist.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/form3.h"
#include "viewer/hoverpreview.h"
#include "viewer/picturebox.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>

Selection::Selection(Form1 &mainWindow, ProgramState &state, HoverPreview &hover, QObject *parent)
    : QObject(parent), m_main(mainWindow), m_state(state), m_hover(hover)
{
}

Selection::~Selection() { delete m_viewer.data(); }

Form3 *Selection::viewer() const { return m_viewer && !m_viewer->isUnloaded() ? m_viewer.data() : nullptr; }

void Selection::SetWaitPointer(bool wait)
{
    for (QWidget *widget : {static_cast<QWidget *>(&m_main), static_cast<QWidget *>(m_main.BackPic)}) {
        if (wait)
            widget->setCursor(Qt::WaitCursor);
        else
            widget->unsetCursor();
    }
}

void Selection::ThumbnailClicked(int i)
{
    ++m_loading;
    PlatformContext::yield();
    m_main.pv->setEnabled(true);
    m_main.Tbar->setButtonEnabled(4, true);
    if (i != m_main.window.SelectedIndex) {
        SetWaitPointer(true);
        m_main.window.SelectedIndex = static_cast<std::int16_t>(i);
        m_main.Image2->clear();
        ShowSelectedPicture(i);
        m_main.Image2->show();
    }
    // A double click that arrived while the click was still at work opens
    // the viewer now, on the picture the click loaded.
    if (--m_loading == 0 && m_pendingOpen >= 0) {
        const int pending = m_pendingOpen;
        m_pendingOpen = -1;
        ThumbnailDoubleClicked(pending);
    }
}

void Selection::ShowSelectedPicture(int i)
{
    m_hover.UnloadBox();
    m_main.Label1->show();
    m_main.Label1->raise();
    PlatformContext::yield();

    ThumbnailArea &area = *m_main.BackPic;
    for (int j = 0; j < m_state.ThumbCount && area.exists(j); ++j)
        area.Lbl1(j).background = ThumbnailArea::CellGrey;
    if (area.exists(i))
        area.Lbl1(i).background = ThumbnailArea::CellSelected;
    area.update();
    PlatformContext::yield();

    if (i >= 0 && i < m_main.File1->listCount()) {
        const QString name = m_main.File1->list(i);
        const auto native = m_main.context().fileSystem.toNative(m_main.File1->path() + QLatin1Char('\\') + name);
        if (native) {
            if (auto picture = PictureLoader::Load(*native)) {
                m_main.pictemp = std::move(*picture);
                m_main.pictempPath = m_main.File1->path() + QLatin1Char('\\') + name;
            }
        }
    }
    PlatformContext::yield();
    m_main.Label1->hide();

    const double w = m_main.pictemp.widthTwips;
    const double h = m_main.pictemp.heightTwips;
    PictureBox *preview = m_main.Image2;
    preview->setPicture(m_main.pictemp);
    if (w > PreviewLimit || h > PreviewLimit) {
        const double r = w >= h ? PreviewLimit / w : PreviewLimit / h;
        Twips::setWidth(preview, r * w);
        Twips::setHeight(preview, r * h);
    } else {
        Twips::setWidth(preview, w);
        Twips::setHeight(preview, h);
    }
    const QLabel *box = m_main.Lblp;
    Twips::setTop(preview, Twips::top(box) + Twips::height(box) / 2 - Twips::height(preview) / 2);
    Twips::setLeft(preview, Twips::left(box) + Twips::width(box) / 2 - Twips::width(preview) / 2);
    preview->raise();
    PlatformContext::yield();
    SetWaitPointer(false);
}

void Selection::ThumbnailDoubleClicked(int i)
{
    if (m_loading > 0) {
        m_pendingOpen = i;
        return;
    }
    PlatformContext::yield();
    SetWaitPointer(true);
    PlatformContext::yield();
    OpenViewer(i);
}

Form3 &Selection::ReferViewer()
{
    if (!viewer())
        m_viewer = new Form3(m_main, m_state);
    return *m_viewer;
}

QString Selection::CaptionFor(int i) const
{
    const QString &held = m_main.pictempPath;
    const QString heldName = held.mid(held.lastIndexOf(QLatin1Char('\\')) + 1);
    if (i < 0 || i >= m_main.File1->listCount())
        return heldName;
    const QString name = m_main.File1->list(i);
    if (held == m_main.File1->path() + QLatin1Char('\\') + name)
        return name;
    // The file could not be read and the viewer shows the picture held
    // before; the caption says so instead of passing it off as this file.
    if (held.isEmpty())
        return name + QStringLiteral(" （読み込めない画像です）");
    return name + QStringLiteral(" （読み込めない画像です。表示中: %1）").arg(heldName);
}

void Selection::OpenViewer(int i)
{
    PlatformContext::yield();
    Form3 &viewer = ReferViewer();
    viewer.Pic = m_main.pictemp;
    viewer.setWindowTitle(CaptionFor(i));
    Twips::setHeight(viewer.img, viewer.PicHeight());
    Twips::setWidth(viewer.img, viewer.PicWidth());
    double height = Twips::height(viewer.img) + Twips::height(viewer.StBar) + Twips::height(viewer.Tlb) + 405 + 100 + 200;
    if (height <= 3000)
        height = 3000;
    viewer.setHeight(height);
    double width = Twips::width(viewer.img) + 100;
    if (width <= 6800)
        width = 6800;
    viewer.setWidth(width);
    Twips::setLeft(viewer.img, viewer.Width() / 2 - Twips::width(viewer.img) / 2 - 50);
    viewer.img->setPicture(viewer.Pic);
    PlatformContext::yield();
    if (m_viewer && !m_viewer->isUnloaded()) {
        viewer.show();
        m_main.hide();
    }
    SetWaitPointer(false);
}
