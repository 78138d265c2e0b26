#include "catalogue/thumbnailengine.h"

#include "core/programstate.h"
#include "widgets/statuspanels.h"
#include "core/winver.h"
#include "catalogue/stopbox.h"
#include "core/loadgate.h"
#include "catalogue/sizetext.h"
#include "catalogue/thumbnaildrawing.h"
#include "catalogue/picturekeeper.h"
#include "catalogue/thumbnailarea.h"
#include "platform/eventloops.h"
#include "files/filelist.h"
#include "files/nativefile.h"
#include "pictures/pictureloader.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"

#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>

#include <cmath>
#include <memory>

namespace {
constexpr double CellGap = ThumbnailArea::CellGap;
} // namespace

ThumbnailEngine::ThumbnailEngine(const CatalogueParts &parts, PictureKeeper &keeper)
    : m_parts(parts), m_state(parts.state), m_context(parts.context), m_keeper(keeper)
{
}

std::int16_t ThumbnailEngine::ColumnsFor(double areaWidth, double cellWidth, double scrollBarWidth)
{
    return static_cast<std::int16_t>(Twips::roundHalfEven((areaWidth - cellWidth + scrollBarWidth) / (cellWidth + 100)));
}

std::int16_t ThumbnailEngine::PerScreenFor(std::int16_t columns, double areaHeight, double cellHeight)
{
    return static_cast<std::int16_t>(Twips::roundHalfEven(columns * (areaHeight / (cellHeight + 100))));
}

void ThumbnailEngine::ComputeGridShape()
{
    const QRectF &cell = m_parts.thumbnailArea->cellAt(0).rect;
    m_state.GridShape[0] = ColumnsFor(Twips::width(m_parts.thumbnailArea), cell.width(), Twips::width(m_parts.scrollBar));
    m_state.GridShape[1] = PerScreenFor(m_state.GridShape[0], m_state.AreaHeight, cell.height());
}

void ThumbnailEngine::PlaceCell(int k)
{
    ThumbnailArea &area = *m_parts.thumbnailArea;
    const QRectF previous = area.cellAt(k - 1).rect;
    QRectF &cell = area.cellAt(k).rect;
    cell.moveTo(previous.left() + previous.width() + CellGap, previous.top());
    area.cellAt(k).visible = true;
    if (ColumnCounter == m_state.GridShape[0]) {
        cell.moveTo(CellGap, previous.top() + previous.height() + CellGap);
        ColumnCounter = 0;
    }
    area.updateElement(k);
}

void ThumbnailEngine::CentreImage(int k)
{
    ThumbnailArea &area = *m_parts.thumbnailArea;
    const QRectF cell = area.cellAt(k).rect;
    QRectF &image = area.pictureAt(k).rect;
    image.moveTop(cell.top() + cell.height() / 2 - image.height() / 2);
    image.moveLeft(cell.left() + cell.width() / 2 - image.width() / 2);
    area.cellAt(k).visible = true;
    area.pictureAt(k).visible = true;
    area.updateElement(k);
}

void ThumbnailEngine::GrowRow(int k)
{
    const std::int16_t columns = m_state.GridShape[0];
    if (k == 0 || columns <= 0 || k + 1 <= m_state.GridShape[1] || (k + 1) % columns != 0)
        return;
    ++ExtraRows;
    m_parts.scrollBar->show();
    Twips::setHeight(m_parts.thumbnailArea, Twips::height(m_parts.thumbnailArea) + m_parts.thumbnailArea->cellAt(0).rect.height() + CellGap);
    m_parts.scrollBar->setMaximum(ExtraRows);
    m_state.SavedScroll = static_cast<std::int16_t>(m_parts.scrollBar->value());
    m_parts.scrollBar->setValue(m_parts.scrollBar->value() + 1);
    if (GetPlatformName(m_context) == QLatin1String("Windows 95") && m_state.SavedScroll < m_parts.scrollBar->value()) {
        m_state.SavedScroll = 0;
        for (int j = FirstHeldIndex; j < FirstHeldIndex + columns; ++j)
            if (m_parts.thumbnailArea->exists(j))
                m_parts.thumbnailArea->pictureAt(j).picture = QImage();
        FirstHeldIndex = static_cast<std::int16_t>(FirstHeldIndex + columns);
    }
}

void ThumbnailEngine::FinalRow()
{
    const std::int16_t columns = m_state.GridShape[0];
    if (m_state.ThumbCount == 0 || m_state.ThumbCount < m_state.GridShape[1] || columns <= 0 ||
        m_state.ThumbCount % columns == 0)
        return;
    ++ExtraRows;
    Twips::setHeight(m_parts.thumbnailArea, Twips::height(m_parts.thumbnailArea) + m_parts.thumbnailArea->cellAt(0).rect.height() + CellGap);
    m_parts.scrollBar->setMaximum(ExtraRows);
    m_parts.scrollBar->setValue(m_parts.scrollBar->value() + 1);
    if (GetPlatformName(m_context) == QLatin1String("Windows 95"))
        m_state.SavedScroll = static_cast<std::int16_t>(m_parts.scrollBar->value());
}

void ThumbnailEngine::Regrow(int count)
{
    // The rows GrowRow and FinalRow add in a load of count files.
    const int columns = m_state.GridShape[0];
    const int perScreen = m_state.GridShape[1];
    int extra = 0;
    if (columns > 0) {
        const int lower = std::max(perScreen, 1);
        if (count > lower)
            extra = count / columns - lower / columns;
        const bool grown = extra > 0;
        if (count > 0 && count >= perScreen && count % columns != 0)
            ++extra;
        m_parts.scrollBar->setVisible(grown);
    }
    ExtraRows = static_cast<std::int16_t>(extra);
    Twips::setHeight(m_parts.thumbnailArea, m_state.AreaHeight + extra * (m_parts.thumbnailArea->cellAt(0).rect.height() + CellGap));
    m_parts.scrollBar->setMaximum(extra);
}

void ThumbnailEngine::MakeThumbnail(int i, int k, const QString &entry)
{
    // Decoded ahead on the worker threads while earlier files were placed.
    const ThumbnailPrefetch::Made made = m_prefetch->Take(i);

    m_state.InfoList.resize(i + 1);

    m_stopBox->fileLabel->setText(entry);
    EventLoops::yieldForFrame();
    m_stopBox->workingLabel->setVisible(i % 2 == 1);

    if (made.decoded && ThumbnailDrawing::UsesColourOnColour(entry))
        EventLoops::yieldForFrame();
    // Taken after the yields: the area's records may have moved meanwhile.
    m_parts.thumbnailArea->placePicture(k, made.thumbnail, QSizeF(made.widthTwips, made.heightTwips), made.decoded);

    m_state.InfoList.resize(k + 1);
    m_state.InfoList[k] = ThumbInfoFor(entry, made.length);

    if (GetPlatformName(m_context) == QLatin1String("Windows 95"))
        WriteCacheFile(k);
}

void ThumbnailEngine::WriteCacheFile(int k)
{
    m_state.TempPath = m_context.tempPath().left(127);
    const QString folder = m_state.TempPath + QStringLiteral("\\KRUtemp");
    m_context.fileSystem.makeFolder(folder);
    const auto native = m_context.fileSystem.toNative(folder + QStringLiteral("\\img%1.tmp").arg(k));
    const QImage &picture = m_parts.thumbnailArea->pictureAt(k).picture;
    QFile file;
    if (!native || !NativeFile::Open(file, *native, QIODevice::WriteOnly))
        return;
    if (picture.isNull()) {
        // An undecodable file still gets its cache file: an empty bitmap.
        QImage empty(1, 1, QImage::Format_RGB32);
        empty.fill(ThumbnailArea::CellGrey);
        empty.save(&file, "BMP");
        return;
    }
    // A bitmap file has no transparency: the thumbnail is kept as it shows,
    // over its cell's grey.
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(ThumbnailArea::CellGrey);
    QPainter painter(&shown);
    painter.drawImage(0, 0, picture);
    painter.end();
    shown.save(&file, "BMP");
}

void ThumbnailEngine::LoadThumbnails()
{
    m_parts.gate.setLoading(true);
    LoadFiles();
    m_prefetch.reset();
    m_stopBox = nullptr;
    m_parts.gate.setLoading(false);
}

void ThumbnailEngine::LoadFiles()
{
    ThumbnailArea &area = *m_parts.thumbnailArea;
    auto stopBox = std::make_unique<StopBox>(m_parts);
    m_stopBox = stopBox.get();
    // The entries the load works through are those fileList lists as it
    // starts: that reading, shared, never copied. A folder on a slow share
    // may take seconds to list: after a moment the stop box shows, and
    // "中止" or another folder chosen in the tree ends the wait, with no files.
    std::shared_ptr<const FileList::Listing> files;
    {
        FileCalls::Patience patience;
        patience.deadline = -1;
        patience.userInput = true;
        patience.giveUp = [this] { return m_state.StopRequest || m_parts.gate.folderWaiting(); };
        patience.whenSlow = [box = stopBox.get()] { box->ShowWhileListing(); };
        const FileCalls::Scope scope(*m_context.fileCalls, std::move(patience));
        files = m_parts.fileList->listing();
    }
    if (listed)
        listed(files->nativeFolder);
    const bool listsFiles = files->count() > 0;
    // The stop box is loaded for every load; with no entries it stays hidden.
    stopBox->Load();
    stopBox->setVisible(listsFiles);

    m_state.LoadFlag = 1;
    area.pictureAt(0).picture = QImage();
    m_state.FileCount = files->count();
    m_parts.statusPanels->setPanelText(1, QStringLiteral("画像数 %1ファイル").arg(m_state.FileCount));
    stopBox->progressBar->setMaximum(m_state.FileCount);
    ColumnCounter = 0;
    ExtraRows = 0;
    FirstHeldIndex = 0;
    m_state.ThumbCount = 0;
    m_shown = files;
    const QStringList &entries = files->entries;
    const ThumbnailDrawing::Scale scale{Twips::perPixelX(), Twips::perPixelY(), area.devicePixelRatioF(), area.thumbnailSide()};
    m_prefetch = std::make_unique<ThumbnailPrefetch>(files, scale, m_context.thumbnailCache);
    PlatformContext::yield();
    m_state.AreaHeight = Twips::height(m_parts.thumbnailArea);
    ComputeGridShape();

    for (int i = 0; i <= m_state.FileCount; ++i) {
        const int k = m_state.ThumbCount;
        // Drawn again only when it changes: an update of the first cell
        // beside one of the cell just placed would redraw all between.
        if (area.cellAt(0).visible != (k != 0) || area.pictureAt(0).visible != (k != 0)) {
            area.cellAt(0).visible = k != 0;
            area.pictureAt(0).visible = k != 0;
            area.updateElement(0);
        }
        if (i < m_state.FileCount && !entries.value(i).isEmpty()) {
            stopBox->progressBar->show();
            if (k != 0 && area.createElement(k))
                PlaceCell(k);
            if (!area.exists(k))
                break; // the catalogue was not reset before this load
            EventLoops::yieldForFrame();
            MakeThumbnail(i, k, entries.value(i));
            CentreImage(k);
            m_keeper.PictureSet(k);
            GrowRow(k);
            m_state.ThumbCount = k + 1;
            ++ColumnCounter;
            stopBox->SetProgress(m_state.ThumbCount);
            m_parts.statusPanels->setPanelAlignment(2, Qt::AlignRight);
            m_parts.statusPanels->setPanelText(2, QStringLiteral("%1 / %2 取込み ").arg(m_state.ThumbCount).arg(m_state.FileCount));
        }
        // The first thumbnail is shown at once, the others a frame at a time.
        if (m_state.ThumbCount == 1)
            PlatformContext::yield();
        else
            EventLoops::yieldForFrame();
        if (m_state.StopRequest) {
            stopBox->progressBar->hide();
            stopBox->progressBar->setValue(0);
            m_state.StopRequest = false;
            m_parts.mainWindow->unsetCursor();
            stopBox->Unload();
            m_state.CatalogueDone = 1;
            m_parts.scrollBar->setValue(0);
            m_state.LoadFlag = 0;
            return;
        }
        if (i == m_state.FileCount)
            stopBox->Unload();
    }
    FinalRow();
    m_state.CatalogueDone = 1;
    m_parts.scrollBar->setValue(0);
    m_parts.mainWindow->unsetCursor();
}
