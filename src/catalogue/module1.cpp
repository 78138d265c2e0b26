#include "catalogue/module1.h"

#include "core/programstate.h"
#include "widgets/statuspanels.h"
#include "core/winver.h"
#include "catalogue/form2.h"
#include "core/loadgate.h"
#include "catalogue/sizetext.h"
#include "catalogue/thumbnaildrawing.h"
#include "catalogue/thumbnailarea.h"
#include "platform/eventloops.h"
#include "platform/filelist.h"
#include "platform/nativefile.h"
#include "platform/pictureloader.h"
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
constexpr double CellGap = 90.0;
} // namespace

Module1::Module1(const CatalogueParts &parts) : m_parts(parts), m_state(parts.state), m_context(parts.context)
{
}

std::int16_t Module1::ColumnsFor(double areaWidth, double cellWidth, double scrollBarWidth)
{
    return static_cast<std::int16_t>(Twips::roundHalfEven((areaWidth - cellWidth + scrollBarWidth) / (cellWidth + 100)));
}

std::int16_t Module1::PerScreenFor(std::int16_t columns, double areaHeight, double cellHeight)
{
    return static_cast<std::int16_t>(Twips::roundHalfEven(columns * (areaHeight / (cellHeight + 100))));
}

void Module1::ComputeGridShape()
{
    const QRectF &cell = m_parts.BackPic->Lbl1(0).rect;
    m_state.GridShape[0] = ColumnsFor(Twips::width(m_parts.BackPic), cell.width(), Twips::width(m_parts.VS1));
    m_state.GridShape[1] = PerScreenFor(m_state.GridShape[0], m_state.AreaHeight, cell.height());
}

void Module1::PlaceCell(int k)
{
    ThumbnailArea &area = *m_parts.BackPic;
    const QRectF previous = area.Lbl1(k - 1).rect;
    QRectF &cell = area.Lbl1(k).rect;
    cell.moveTo(previous.left() + previous.width() + CellGap, previous.top());
    area.Lbl1(k).visible = true;
    if (ColumnCounter == m_state.GridShape[0]) {
        cell.moveTo(CellGap, previous.top() + previous.height() + CellGap);
        ColumnCounter = 0;
    }
    area.updateElement(k);
}

void Module1::CentreImage(int k)
{
    ThumbnailArea &area = *m_parts.BackPic;
    const QRectF cell = area.Lbl1(k).rect;
    QRectF &image = area.Image1(k).rect;
    image.moveTop(cell.top() + cell.height() / 2 - image.height() / 2);
    image.moveLeft(cell.left() + cell.width() / 2 - image.width() / 2);
    area.Lbl1(k).visible = true;
    area.Image1(k).visible = true;
    area.updateElement(k);
}

void Module1::GrowRow(int k)
{
    const std::int16_t columns = m_state.GridShape[0];
    if (k == 0 || columns <= 0 || k + 1 <= m_state.GridShape[1] || (k + 1) % columns != 0)
        return;
    ++ExtraRows;
    m_parts.VS1->show();
    Twips::setHeight(m_parts.BackPic, Twips::height(m_parts.BackPic) + m_parts.BackPic->Lbl1(0).rect.height() + CellGap);
    m_parts.VS1->setMaximum(ExtraRows);
    m_state.SavedScroll = static_cast<std::int16_t>(m_parts.VS1->value());
    m_parts.VS1->setValue(m_parts.VS1->value() + 1);
    if (GetPlatformName(m_context) == QLatin1String("Windows 95") && m_state.SavedScroll < m_parts.VS1->value()) {
        m_state.SavedScroll = 0;
        for (int j = FirstHeldIndex; j < FirstHeldIndex + columns; ++j)
            if (m_parts.BackPic->exists(j))
                m_parts.BackPic->Image1(j).picture = QImage();
        FirstHeldIndex = static_cast<std::int16_t>(FirstHeldIndex + columns);
    }
}

void Module1::FinalRow()
{
    const std::int16_t columns = m_state.GridShape[0];
    if (m_state.ThumbCount == 0 || m_state.ThumbCount < m_state.GridShape[1] || columns <= 0 ||
        m_state.ThumbCount % columns == 0)
        return;
    ++ExtraRows;
    Twips::setHeight(m_parts.BackPic, Twips::height(m_parts.BackPic) + m_parts.BackPic->Lbl1(0).rect.height() + CellGap);
    m_parts.VS1->setMaximum(ExtraRows);
    m_parts.VS1->setValue(m_parts.VS1->value() + 1);
    if (GetPlatformName(m_context) == QLatin1String("Windows 95"))
        m_state.SavedScroll = static_cast<std::int16_t>(m_parts.VS1->value());
}

void Module1::MakeThumbnail(int i, int k, const QString &entry)
{
    // Decoded ahead on the worker threads while earlier files were placed.
    const ThumbnailPrefetch::Made made = m_prefetch->Take(i);

    m_state.InfoList.resize(i + 1);
    // A file whose length cannot be read (gone since it was listed) shows no size.
    const SizeText size = made.length >= 0 ? FormatSizeText(made.length) : SizeText{QString(), QString()};

    m_stopBox->Label1->setText(entry);
    EventLoops::yieldForFrame();
    m_stopBox->Label2->setVisible(i % 2 == 1);

    ThumbnailArea::Image &image = m_parts.BackPic->Image1(k);
    if (made.decoded) {
        const ThumbnailDrawing::ThumbnailSize thumbnail = ThumbnailDrawing::ThumbnailSizeFor(made.widthTwips, made.heightTwips);
        if (ThumbnailDrawing::UsesColourOnColour(entry))
            EventLoops::yieldForFrame();
        // A very long and thin picture keeps a side of at least one pixel.
        image.rect.setSize(QSizeF(std::max(thumbnail.width, Twips::perPixelX()),
                                  std::max(thumbnail.height, Twips::perPixelY())));
        image.picture = made.thumbnail;
        image.stretch = !thumbnail.scaled;
        image.undecodable = false;
    } else {
        image.rect.setSize(QSizeF(0, 0));
        image.picture = QImage();
        image.undecodable = true;
    }

    m_state.InfoList.resize(k + 1);
    m_state.InfoList[k].NameText = QStringLiteral("ﾌｧｲﾙ名: ") + entry;
    m_state.InfoList[k].SizeText = QStringLiteral("ﾌｧｲﾙｻｲｽﾞ: ") + size.text();

    if (GetPlatformName(m_context) == QLatin1String("Windows 95"))
        WriteCacheFile(k);
}

void Module1::WriteCacheFile(int k)
{
    m_state.TempPath = m_context.tempPath().left(127);
    const QString folder = m_state.TempPath + QStringLiteral("\\KRUtemp");
    m_context.fileSystem.makeFolder(folder);
    const auto native = m_context.fileSystem.toNative(folder + QStringLiteral("\\img%1.tmp").arg(k));
    const QImage &picture = m_parts.BackPic->Image1(k).picture;
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

void Module1::LoadThumbnails()
{
    m_parts.gate.setLoading(true);
    LoadFiles();
    m_prefetch.reset();
    m_stopBox = nullptr;
    m_parts.gate.setLoading(false);
}

void Module1::LoadFiles()
{
    ThumbnailArea &area = *m_parts.BackPic;
    // The entries the load works through are those File1 lists as it
    // starts, before anything yields: that reading, shared, never copied.
    std::shared_ptr<const FileList::Listing> files = m_parts.File1->listing();
    const bool listsFiles = files->count() > 0;
    // The stop box is created for every load; with no entries it stays hidden.
    auto stopBox = std::make_unique<Form2>(m_parts);
    m_stopBox = stopBox.get();
    stopBox->Load();
    if (listsFiles)
        stopBox->show();

    m_state.LoadFlag = 1;
    area.Image1(0).picture = QImage();
    m_state.FileCount = files->count();
    m_parts.Bar1->setPanelText(1, QStringLiteral("画像数 %1ファイル").arg(m_state.FileCount));
    stopBox->PrsBar->setMaximum(m_state.FileCount);
    ColumnCounter = 0;
    ExtraRows = 0;
    FirstHeldIndex = 0;
    m_state.ThumbCount = 0;
    m_shown = files;
    const QStringList &entries = files->entries;
    m_prefetch = std::make_unique<ThumbnailPrefetch>(files, Twips::perPixelX(), Twips::perPixelY(),
                                                     m_parts.BackPic->devicePixelRatioF(), m_context.thumbnailCache);
    PlatformContext::yield();
    m_state.AreaHeight = Twips::height(m_parts.BackPic);
    ComputeGridShape();

    for (int i = 0; i <= m_state.FileCount; ++i) {
        const int k = m_state.ThumbCount;
        // Drawn again only when it changes: an update of the first cell
        // beside one of the cell just placed would redraw all between.
        if (area.Lbl1(0).visible != (k != 0) || area.Image1(0).visible != (k != 0)) {
            area.Lbl1(0).visible = k != 0;
            area.Image1(0).visible = k != 0;
            area.updateElement(0);
        }
        if (i < m_state.FileCount && !entries.value(i).isEmpty()) {
            stopBox->PrsBar->show();
            if (k != 0 && area.createElement(k))
                PlaceCell(k);
            if (!area.exists(k))
                break; // the catalogue was not reset before this load
            EventLoops::yieldForFrame();
            MakeThumbnail(i, k, entries.value(i));
            CentreImage(k);
            GrowRow(k);
            m_state.ThumbCount = k + 1;
            ++ColumnCounter;
            stopBox->SetProgress(m_state.ThumbCount);
            m_parts.Bar1->setPanelAlignment(2, Qt::AlignRight);
            m_parts.Bar1->setPanelText(2, QStringLiteral("%1 / %2 取込み ").arg(m_state.ThumbCount).arg(m_state.FileCount));
        }
        // The first thumbnail is shown at once, the others a frame at a time.
        if (m_state.ThumbCount == 1)
            PlatformContext::yield();
        else
            EventLoops::yieldForFrame();
        if (m_state.StopRequest) {
            stopBox->PrsBar->hide();
            stopBox->PrsBar->setValue(0);
            m_state.StopRequest = false;
            m_parts.mainWindow->unsetCursor();
            stopBox->Unload();
            m_state.CatalogueDone = 1;
            m_parts.VS1->setValue(0);
            m_state.LoadFlag = 0;
            return;
        }
        if (i == m_state.FileCount)
            stopBox->Unload();
    }
    FinalRow();
    m_state.CatalogueDone = 1;
    m_parts.VS1->setValue(0);
    m_parts.mainWindow->unsetCursor();
}
