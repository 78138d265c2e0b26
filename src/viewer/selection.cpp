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
#include <QPromise>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
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

int Selection::StepTarget(int from, ThumbnailArea::Step step, int count, int columns, int rows)
{
    if (count <= 0)
        return -1;
    // With nothing selected, any step starts at the first thumbnail.
    if (from < 0 || from >= count)
        return step == ThumbnailArea::Step::Last ? count - 1 : 0;
    columns = std::max(1, columns);
    const int page = columns * std::max(1, rows);
    int to = from;
    switch (step) {
    case ThumbnailArea::Step::Left: to = from - 1; break;
    case ThumbnailArea::Step::Right: to = from + 1; break;
    case ThumbnailArea::Step::Up: to = from - columns; break;
    case ThumbnailArea::Step::Down: to = from + columns < count ? from + columns : from; break;
    case ThumbnailArea::Step::PageUp: to = from - page; break;
    case ThumbnailArea::Step::PageDown: to = from + page; break;
    case ThumbnailArea::Step::First: to = 0; break;
    case ThumbnailArea::Step::Last: to = count - 1; break;
    }
    if (step == ThumbnailArea::Step::Up && to < 0)
        to = from;
    return std::clamp(to, 0, count - 1);
}

void Selection::StepSelection(ThumbnailArea::Step step)
{
    const int count = std::min<int>(m_state.ThumbCount, m_parts.shownFiles()->count());
    const int to = StepTarget(m_parts.window.SelectedIndex, step, count, m_state.GridShape[0],
                              m_parts.rowsInView ? m_parts.rowsInView() : 1);
    if (to < 0)
        return;
    if (m_parts.showCell)
        m_parts.showCell(to);
    m_parts.thumbnailArea->setCurrent(to);
    if (to != m_parts.window.SelectedIndex)
        ThumbnailClicked(to);
}

void Selection::ThumbnailClicked(int i)
{
    m_parts.thumbnailArea->setCurrent(i);
    const std::uint64_t click = ++m_clicks;
    ++m_loading;
    PlatformContext::yield();
    // A click handled during this one's yield came later: it has the last
    // word, and this one selects nothing over it.
    if (click == m_clicks) {
        m_parts.openAction->setEnabled(true);
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
    if (!viewer()) {
        m_viewer = new ViewerWindow(m_parts.mainWindow, m_parts.context, m_state);
        connect(m_viewer, &ViewerWindow::stepRequested, this, &Selection::StepViewer);
        connect(m_viewer, &ViewerWindow::unloaded, this, &Selection::ViewerClosed);
    }
    return *m_viewer;
}

std::optional<Picture> Selection::ViewerPicture(const FileList::Listing &files, int i)
{
    const QByteArray source = files.nativePath(i);
    if (source.isEmpty())
        return std::nullopt;
    const auto ahead = m_ahead.find(i);
    if (ahead != m_ahead.end()) {
        const Ahead taken = std::move(ahead->second);
        m_ahead.erase(ahead);
        std::optional<Picture> picture = BackgroundWork::resultWithEvents(taken.picture, std::optional<Picture>());
        if (picture || !taken.tooLarge->load())
            return picture;
    }
    return BackgroundWork::resultWithEvents(QtConcurrent::run(&BackgroundWork::pool(), [source] {
        PictureLoader::Options options;
        options.cancelled = &BackgroundWork::abandoned();
        return PictureLoader::Load(source, options);
    }), std::optional<Picture>());
}

void Selection::DecodeAhead(const FileList::Listing &files, int i, int direction)
{
    const int count = std::min<int>(m_state.ThumbCount, files.count());
    // The next two the way the steps go (a large photo can take longer to
    // decode than a person looks at one), and the one behind.
    const int wanted[] = {i + direction, i + 2 * direction, i - direction};
    for (auto it = m_ahead.begin(); it != m_ahead.end();) {
        if (std::find(std::begin(wanted), std::end(wanted), it->first) == std::end(wanted)) {
            it->second.cancelled->store(true);
            it = m_ahead.erase(it);
        } else {
            ++it;
        }
    }
    for (const int j : wanted) {
        if (j < 0 || j >= count || m_ahead.count(j))
            continue;
        Ahead ahead{std::make_shared<std::atomic<bool>>(false), std::make_shared<std::atomic<bool>>(false), {}};
        const QByteArray source = files.nativePath(j);
        const double perPixelX = Twips::perPixelX();
        const double perPixelY = Twips::perPixelY();
        ahead.picture = QtConcurrent::run(&BackgroundWork::pool(), [=, cancelled = ahead.cancelled, tooLarge = ahead.tooLarge]()
                                                                       -> std::optional<Picture> {
            // A picture of more than a few dozen megapixels is not held ahead:
            // two of them would take the memory the decodes share.
            const std::optional<QSizeF> natural = PictureLoader::NaturalSize(source, perPixelX, perPixelY);
            if (!natural || natural->width() / perPixelX * natural->height() / perPixelY * 4 > AheadLimitBytes) {
                tooLarge->store(true);
                return std::nullopt;
            }
            PictureLoader::Options options;
            options.cancelled = cancelled.get();
            if (cancelled->load() || BackgroundWork::abandoned().load())
                return std::nullopt;
            return PictureLoader::Load(source, options);
        });
        m_ahead.emplace(j, std::move(ahead));
    }
}

void Selection::KeepAhead(int i, const Picture &picture)
{
    if (i < 0 || m_ahead.count(i) || picture.image.isNull() || picture.image.sizeInBytes() > AheadLimitBytes)
        return;
    QPromise<std::optional<Picture>> ready;
    ready.start();
    ready.addResult(std::optional<Picture>(picture));
    ready.finish();
    m_ahead.emplace(i, Ahead{std::make_shared<std::atomic<bool>>(false), std::make_shared<std::atomic<bool>>(false), ready.future()});
}

void Selection::DropAhead()
{
    for (auto &[index, ahead] : m_ahead)
        ahead.cancelled->store(true);
    m_ahead.clear();
}

void Selection::StepViewer(ViewerStep step)
{
    const std::shared_ptr<const FileList::Listing> files = m_parts.shownFiles();
    const int count = std::min<int>(m_state.ThumbCount, files->count());
    if (!viewer() || count <= 0 || m_viewerResets != Resets() || m_viewerIndex < 0)
        return;
    const int from = m_stepping ? m_stepWanted : m_viewerIndex;
    int to = from;
    switch (step) {
    case ViewerStep::Next: to = std::min(from + 1, count - 1); break;
    case ViewerStep::Previous: to = std::max(from - 1, 0); break;
    case ViewerStep::First: to = 0; break;
    case ViewerStep::Last: to = count - 1; break;
    }
    if (to == from)
        return;
    // The latest key is the one shown; a step under way takes it up.
    m_stepWanted = to;
    if (m_stepping)
        return;
    m_stepping = true;
    for (;;) {
        const int index = m_stepWanted;
        std::optional<Picture> picture = ViewerPicture(*files, index);
        if (m_stepWanted != index)
            continue;
        ViewerWindow *shown = viewer();
        if (!shown || m_viewerResets != Resets() || EventLoops::ending())
            break;
        shown->ResetZoom();
        const bool fullScreen = shown->fullScreen() && !shown->fullScreen()->isUnloaded();
        const QString name = files->entries.at(index);
        if (m_viewerWhole)
            KeepAhead(m_viewerIndex, shown->Pic);
        m_viewerWhole = picture.has_value();
        ShowViewer(picture ? name : name + QStringLiteral(" （読み込めない画像です）"), files->windowsPath(index),
                   picture ? std::move(*picture) : Picture(),
                   !fullScreen);
        if (!viewer())
            break;
        const int direction = index > m_viewerIndex ? 1 : -1;
        m_viewerIndex = index;
        if (fullScreen)
            shown->PictureChanged();
        DecodeAhead(*files, index, direction);
        if (m_stepWanted == index)
            break;
    }
    m_stepping = false;
}

void Selection::EntriesMoved(const std::vector<int> &placeOf, std::uint32_t before)
{
    // A step under way holds the files it started with: it ends with them.
    if (!viewer() || m_stepping || m_viewerResets != before || m_viewerIndex < 0 || size_t(m_viewerIndex) >= placeOf.size())
        return;
    const int now = placeOf[size_t(m_viewerIndex)];
    if (now < 0)
        return;
    DropAhead();
    m_viewerIndex = now;
    m_viewerOpenedIndex = m_viewerOpenedIndex >= 0 && size_t(m_viewerOpenedIndex) < placeOf.size()
                              ? placeOf[size_t(m_viewerOpenedIndex)]
                              : -1;
    m_viewerResets = Resets();
}

void Selection::ViewerClosed()
{
    DropAhead();
    const int index = std::exchange(m_viewerIndex, -1);
    const std::uint32_t resets = m_viewerResets;
    // Only a viewer that stepped to another picture moves the selection.
    if (index < 0 || index == m_viewerOpenedIndex || resets != Resets() || index == m_parts.window.SelectedIndex)
        return;
    // Once the viewer's own steps are done, the thumbnails select the picture
    // it showed last, as a click on it does.
    QTimer::singleShot(0, this, [this, index, resets] {
        if (resets != Resets() || EventLoops::ending() || viewer())
            return;
        if (m_parts.showCell)
            m_parts.showCell(index);
        ThumbnailClicked(index);
    });
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
        // A picture whose whole decode takes long shows at once as the preview
        // held it, at its natural size, and sharpens when it is read.
        const bool soft = TakesLongWhole(held) && m_parts.chosenPicturePath == m_parts.shownFiles()->windowsPath(index);
        std::uint64_t softShow = 0;
        if (soft) {
            m_viewerWhole = false;
            ShowViewer(caption, m_parts.chosenPicturePath, held);
            if (viewer()) {
                m_viewerIndex = index;
                m_viewerOpenedIndex = index;
                m_viewerResets = Resets();
                softShow = m_viewerShows;
            }
        }
        std::optional<Picture> picture = LoadForViewer(held);
        if (request != m_openRequests)
            continue;
        if (m_openResets != Resets() || EventLoops::ending())
            break;
        if (soft) {
            // Unless the viewer was closed or went to another picture meanwhile;
            // its zoom, place and full screen stay as they are.
            ViewerWindow *shown = viewer();
            if (shown && softShow != 0 && m_viewerShows == softShow) {
                if (picture) {
                    m_viewerWhole = true;
                    shown->Pic = std::move(*picture);
                    shown->setWindowTitle(TitleFor(caption, shown->Pic));
                    shown->pictureBox->setPicture(shown->Pic);
                    shown->PictureChanged();
                }
                DecodeAhead(*m_parts.shownFiles(), index, 1);
            }
            break;
        }
        // A picture that cannot be read whole is shown as the preview held it.
        m_viewerWhole = picture.has_value();
        // The properties are those of the picture shown.
        ShowViewer(caption, picture ? m_parts.shownFiles()->windowsPath(index) : m_parts.chosenPicturePath,
                   picture ? std::move(*picture) : held);
        if (viewer()) {
            m_viewerIndex = index;
            m_viewerOpenedIndex = index;
            m_viewerResets = Resets();
            DecodeAhead(*m_parts.shownFiles(), index, 1);
        }
        break;
    }
    m_openingViewer = false;
    SetWaitPointer(false);
}

bool Selection::TakesLongWhole(const Picture &held)
{
    if (!held.reduced || held.source.isEmpty() || held.mayAnimate)
        return false;
    // The preview came from the file's own small copy (a HEIF thumbnail:
    // HEIF decodes nothing smaller than the whole), or it has many pixels.
    const double pixels = held.widthTwips / Twips::perPixelX() * held.heightTwips / Twips::perPixelY();
    return held.fromEmbeddedCopy || pixels >= SoftFirstPixels;
}

QString Selection::TitleFor(const QString &caption, const Picture &picture)
{
    // A camera's RAW file is shown by the preview it embeds; the title says when that has fewer pixels.
    const QSize sensor = picture.sensorPixels;
    if (sensor.isEmpty() || picture.reduced)
        return caption;
    return caption + QStringLiteral(" （埋め込みプレビュー %1×%2、センサー %3×%4）")
                         .arg(picture.image.width())
                         .arg(picture.image.height())
                         .arg(sensor.width())
                         .arg(sensor.height());
}

void Selection::ShowViewer(const QString &caption, const QString &windowsPath, Picture picture, bool showWindow)
{
    ViewerWindow &viewer = ReferViewer();
    ++m_viewerShows;
    viewer.Pic = std::move(picture);
    viewer.setShownPath(windowsPath);
    viewer.setWindowTitle(TitleFor(caption, viewer.Pic));
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
    viewer.PlayFrames();
    PlatformContext::yield();
    if (showWindow && m_viewer && !m_viewer->isUnloaded() && !EventLoops::ending()) {
        viewer.show();
        m_parts.mainWindow->hide();
        emit viewerShown();
    }
}
