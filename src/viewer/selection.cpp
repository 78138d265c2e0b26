#include "viewer/selection.h"

#include "widgets/commandtoolbar.h"
#include "core/mainwindowstate.h"
#include "core/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "platform/backgroundwork.h"
#include "platform/eventloops.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"
#include "viewer/viewerwindow.h"
#include "viewer/hoverpreview.h"
#include "widgets/picturebox.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QtConcurrent>

#include <cmath>
#include <utility>

Selection::Selection(const SelectionParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_state(parts.state), m_hover(parts.hover)
{
}

Selection::~Selection() { delete m_viewer.data(); }

ViewerWindow *Selection::viewer() const { return m_viewer && !m_viewer->isUnloaded() ? m_viewer.data() : nullptr; }

void Selection::SetWaitPointer(bool wait)
{
    for (QWidget *widget : {m_parts.mainWindow, static_cast<QWidget *>(m_parts.thumbnailArea)}) {
        if (wait)
            widget->setCursor(Qt::WaitCursor);
        else
            widget->unsetCursor();
    }
}

std::uint32_t Selection::Resets() const { return m_parts.window.CatalogueResets; }

void Selection::ThumbnailClicked(int i)
{
    const std::uint64_t click = ++m_clicks;
    ++m_loading;
    PlatformContext::yield();
    // A click handled during this one's yield came later: it has the last
    // word, and this one selects nothing over it.
    if (click == m_clicks) {
        m_parts.openAction->setEnabled(true);
        m_parts.toolbar->setButtonEnabled(4, true);
        if (i != m_parts.window.SelectedIndex) {
            SetWaitPointer(true);
            m_parts.window.SelectedIndex = static_cast<std::int16_t>(i);
            m_parts.previewPicture->clear();
            ShowSelectedPicture(i);
            m_parts.previewPicture->show();
        }
    }
    // A double click that arrived while the click was still at work opens
    // the viewer now, on the picture the click loaded, unless the catalogue
    // was reset meanwhile.
    if (--m_loading == 0 && m_pendingOpen >= 0) {
        const int pending = std::exchange(m_pendingOpen, -1);
        if (m_pendingResets == Resets())
            ThumbnailDoubleClicked(pending);
    }
}

void Selection::ShowSelectedPicture(int i)
{
    const std::uint32_t resets = Resets();
    m_hover.UnloadBox();
    m_parts.waitLabel->show();
    m_parts.waitLabel->raise();
    PlatformContext::yield();

    ThumbnailArea &area = *m_parts.thumbnailArea;
    for (int j = 0; j < m_state.ThumbCount && area.exists(j); ++j)
        area.cellAt(j).background = ThumbnailArea::CellGrey;
    if (area.exists(i))
        area.cellAt(i).background = ThumbnailArea::CellSelected;
    area.update();
    PlatformContext::yield();

    const std::shared_ptr<const FileList::Listing> files = m_parts.shownFiles();
    if (i >= 0 && i < files->count()) {
        const QByteArray native = files->nativePath(i);
        std::optional<Picture> picture;
        if (!native.isEmpty())
            picture = LoadForPreview(native);
        if (m_parts.window.SelectedIndex != i || Resets() != resets) {
            // Another click, or a new catalogue, came while the picture was
            // read; this one is no longer wanted.
            m_parts.waitLabel->hide();
            SetWaitPointer(false);
            return;
        }
        if (picture) {
            m_parts.chosenPicture = std::move(*picture);
            m_parts.chosenPicturePath = files->windowsPath(i);
        }
    }
    PlatformContext::yield();
    m_parts.waitLabel->hide();

    PictureBox *preview = m_parts.previewPicture;
    preview->setPicture(m_parts.chosenPicture);
    const QSizeF shown = PreviewSize(m_parts.chosenPicture.widthTwips, m_parts.chosenPicture.heightTwips);
    Twips::setWidth(preview, shown.width());
    Twips::setHeight(preview, shown.height());
    m_parts.centrePreview();
    preview->raise();
    PlatformContext::yield();
    SetWaitPointer(false);
}

QSizeF Selection::PreviewSize(double width, double height)
{
    if (width <= PreviewLimit && height <= PreviewLimit)
        return QSizeF(width, height);
    const double r = width >= height ? PreviewLimit / width : PreviewLimit / height;
    return QSizeF(r * width, r * height);
}

std::optional<Picture> Selection::LoadForPreview(const QByteArray &nativePath)
{
    // Decoded off the window thread at the size the pane shows, while the
    // window's events run.
    const double perPixelX = Twips::perPixelX();
    const double perPixelY = Twips::perPixelY();
    const double ratio = m_parts.previewPicture->devicePixelRatioF();
    const PictureLoader::SizeWanted wanted = [=](double width, double height) {
        const QSizeF shown = PreviewSize(width, height);
        return QSize(std::max(1, static_cast<int>(std::ceil(shown.width() / perPixelX * ratio))),
                     std::max(1, static_cast<int>(std::ceil(shown.height() / perPixelY * ratio))));
    };
    return BackgroundWork::resultWithEvents(QtConcurrent::run(&BackgroundWork::pool(), [=] {
        PictureLoader::Options options;
        options.cancelled = &BackgroundWork::abandoned();
        return PictureLoader::LoadReduced(nativePath, perPixelX, perPixelY, wanted, options);
    }));
}

std::optional<Picture> Selection::LoadForViewer(const Picture &held)
{
    if (!held.reduced || held.source.isEmpty())
        return held;
    const QByteArray source = held.source;
    return BackgroundWork::resultWithEvents(QtConcurrent::run(&BackgroundWork::pool(), [source] {
        PictureLoader::Options options;
        options.cancelled = &BackgroundWork::abandoned();
        return PictureLoader::Load(source, options);
    }));
}

void Selection::ThumbnailDoubleClicked(int i)
{
    const std::uint32_t resets = Resets();
    if (m_loading > 0) {
        m_pendingOpen = i;
        m_pendingResets = resets;
        return;
    }
    PlatformContext::yield();
    SetWaitPointer(true);
    PlatformContext::yield();
    RequestViewer(i, resets);
}

ViewerWindow &Selection::ReferViewer()
{
    if (!viewer())
        m_viewer = new ViewerWindow(m_parts.mainWindow, m_parts.context, m_state);
    return *m_viewer;
}

QString Selection::CaptionFor(int i) const
{
    const QString &held = m_parts.chosenPicturePath;
    const QString heldName = held.mid(held.lastIndexOf(QLatin1Char('\\')) + 1);
    const std::shared_ptr<const FileList::Listing> files = m_parts.shownFiles();
    if (i < 0 || i >= files->count())
        return heldName;
    const QString name = files->entries.at(i);
    if (held == files->windowsPath(i))
        return name;
    // The file could not be read and the viewer shows the picture held
    // before; the caption says so instead of passing it off as this file.
    if (held.isEmpty())
        return name + QStringLiteral(" （読み込めない画像です）");
    return name + QStringLiteral(" （読み込めない画像です。表示中: %1）").arg(heldName);
}

void Selection::OpenViewer(int i)
{
    // As a double click: while a click still reads its picture, the viewer
    // opens once that picture is read.
    if (m_loading > 0) {
        m_pendingOpen = i;
        m_pendingResets = Resets();
        return;
    }
    RequestViewer(i, Resets());
}

void Selection::RequestViewer(int i, std::uint32_t resets)
{
    // The latest request is the one shown; an open under way takes it up
    // when its picture is read.
    m_openWanted = i;
    m_openResets = resets;
    ++m_openRequests;
    if (m_openingViewer)
        return;
    m_openingViewer = true;
    for (;;) {
        const std::uint64_t request = m_openRequests;
        const int index = m_openWanted;
        PlatformContext::yield();
        if (request != m_openRequests)
            continue;
        if (m_openResets != Resets())
            break;
        // The preview holds a picture decoded for its small pane; the viewer
        // gets the picture at its natural size (or the largest scale the
        // decoding budget allows), read while the window's events run.
        const QString caption = CaptionFor(index);
        const Picture held = m_parts.chosenPicture;
        std::optional<Picture> picture = LoadForViewer(held);
        if (request != m_openRequests)
            continue;
        if (m_openResets != Resets() || EventLoops::ending())
            break;
        // A picture that cannot be read whole is shown as the preview held it.
        ShowViewer(caption, picture ? std::move(*picture) : held);
        break;
    }
    m_openingViewer = false;
    SetWaitPointer(false);
}

void Selection::ShowViewer(const QString &caption, Picture picture)
{
    ViewerWindow &viewer = ReferViewer();
    viewer.Pic = std::move(picture);
    viewer.setWindowTitle(caption);
    Twips::setHeight(viewer.pictureBox, viewer.PicHeight());
    Twips::setWidth(viewer.pictureBox, viewer.PicWidth());
    double height = Twips::height(viewer.pictureBox) + Twips::height(viewer.statusLine) + Twips::height(viewer.toolbar) + 405 + 100 + 200;
    if (height <= 3000)
        height = 3000;
    double width = Twips::width(viewer.pictureBox) + 100;
    if (width <= 6800)
        width = 6800;
    viewer.setOuterSize(width, height);
    Twips::setLeft(viewer.pictureBox, viewer.Width() / 2 - Twips::width(viewer.pictureBox) / 2 - 50);
    viewer.pictureBox->setPicture(viewer.Pic);
    PlatformContext::yield();
    if (m_viewer && !m_viewer->isUnloaded() && !EventLoops::ending()) {
        viewer.show();
        m_parts.mainWindow->hide();
    }
}
