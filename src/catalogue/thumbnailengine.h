#pragma once

#include "catalogue/catalogueparts.h"
#include "catalogue/thumbnailprefetch.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class PictureKeeper;
class StopBox;

// The thumbnail engine: makes the thumbnails of fileList's entries one by one,
// lays out their cells in the grid, records their name and size texts and,
// in caching mode, writes each thumbnail to a cache file. It yields to the
// message loop several times per file so that the stop box stays usable.
class ThumbnailEngine
{
public:
    ThumbnailEngine(const CatalogueParts &parts, PictureKeeper &keeper);

    void LoadThumbnails();
    // The reading of the folder the thumbnails stand for: thumbnail i is its
    // entry i, whatever the file list shows since.
    std::shared_ptr<const FileList::Listing> shownFiles() const { return m_shown; }
    void forgetShownFiles() { m_shown = std::make_shared<const FileList::Listing>(); }
    // The thumbnails were put in another order: they stand for these files now.
    void setShownFiles(std::shared_ptr<const FileList::Listing> files) { m_shown = std::move(files); }

    // The catalogue, complete, now holds count thumbnails: the area's
    // height and the scroll bar's range become those a load of count files
    // leaves.
    void Regrow(int count);
    // Told the folder (bytes) a load reads, as soon as it has listed it.
    std::function<void(const QByteArray &nativeFolder)> listed;

    // Grid steps shared with the scroll handler.
    static std::int16_t ColumnsFor(double areaWidth, double cellWidth, double scrollBarWidth);
    static std::int16_t PerScreenFor(std::int16_t columns, double areaHeight, double cellHeight);

private:
    void LoadFiles();
    void ComputeGridShape();
    void PlaceCell(int k);
    void CentreImage(int k);
    void GrowRow(int k);
    void FinalRow();
    void MakeThumbnail(int i, int k, const QString &entry);
    void WriteCacheFile(int k);
    void EndLoad();

    const CatalogueParts &m_parts;
    ProgramState &m_state;
    PlatformContext &m_context;
    PictureKeeper &m_keeper;
    StopBox *m_stopBox = nullptr;
    // fileList's entries as the load found them: a folder or pattern chosen
    // while the load ends never changes the files it is working through.
    std::shared_ptr<const FileList::Listing> m_shown = std::make_shared<const FileList::Listing>();
    std::unique_ptr<ThumbnailPrefetch> m_prefetch;

    // Counters of one load.
    std::int16_t ColumnCounter = 0;
    std::int16_t ExtraRows = 0;
    std::int16_t FirstHeldIndex = 0;
};
