#pragma once

#include "catalogue/catalogueparts.h"
#include "catalogue/thumbnaildrawing.h"
#include "catalogue/thumbnailprefetch.h"
#include "files/filelist.h"

#include <QObject>

#include <functional>
#include <memory>
#include <utility>

// Bounds the memory the thumbnails of a catalogue hold. While they hold more
// than keptBytes, the pictures of the cells farthest from the view are let
// go (the cell stays, grey, with its size and texts); as the view comes near
// them again they are read back on worker threads, from the desktop's shared
// cache where the load kept them, else decoded again. A folder of a hundred
// thousand photos in large cells then holds a few thousand pictures, not
// gigabytes of them. The caching mode keeps its own files instead.
class PictureKeeper : public QObject
{
    Q_OBJECT

public:
    // A screen of the largest cells at twice the pixels (4K) holds about 28 MB
    // of pictures; the view and a screen either side of it fit well within.
    static constexpr qint64 KeptBytes = 128LL << 20;

    // band: the cells [first, end) the area shows now.
    PictureKeeper(const CatalogueParts &parts, std::function<std::pair<int, int>()> band,
                  std::function<std::shared_ptr<const FileList::Listing>()> shownFiles, qint64 keptBytes = KeptBytes,
                  QObject *parent = nullptr);
    ~PictureKeeper() override;

    // A picture was put on cell k.
    void PictureSet(int k);
    // The catalogue was emptied: nothing is held, nothing asked for.
    void Reset();
    // The view moved, or the pictures changed places: those let go in view,
    // or a screen above or below it, are read back.
    void ViewMoved();

    // The catalogue's pictures changed places or went: what they hold is counted again.
    void Recount();

    qint64 heldBytes() const { return m_heldBytes; }
    void setKeptBytes(qint64 bytes) { m_keptBytes = bytes; }
    // Pictures read back so far (for the tests and the benchmark).
    int readBack() const { return m_readBack; }

private:
    struct Work;
    struct Job;
    bool Active() const;
    void LetGo();
    void Delivered(std::uint32_t generation, int k, const QString &entry, const ThumbnailPrefetch::Made &made);
    static qint64 BytesOf(const QImage &picture);

    const CatalogueParts &m_parts;
    std::function<std::pair<int, int>()> m_band;
    std::function<std::shared_ptr<const FileList::Listing>()> m_shownFiles;
    qint64 m_keptBytes;
    qint64 m_heldBytes = 0;
    int m_readBack = 0;
    std::shared_ptr<Work> m_work;
};
