#pragma once

#include "catalogue/thumbnaildrawing.h"
#include "files/filelist.h"
#include "pictures/sharedthumbnails.h"

#include <QImage>

#include <atomic>
#include <memory>

// Makes the thumbnails of a load ahead of the engine on worker threads: the
// engine takes them one by one in list order, and the workers go on with the
// files after, one task per worker, not per file. How far they run ahead is
// bounded by the memory the thumbnails made and not yet taken hold, so that a
// slow file in hand never leaves a core idle. Taking one that is not made yet
// lets the window's events run, at least once per display frame; the engine
// is woken once a stretch of files is made, not at every file. Thumbnails the
// engine never takes (the user stopped the load) are dropped: a prefetch that
// goes away lets the running decodes end in the background, without waiting.
class ThumbnailPrefetch
{
public:
    struct Made
    {
        bool decoded = false;
        double widthTwips = 0.0;
        double heightTwips = 0.0;
        QImage thumbnail;
        // The file's length in bytes; -1 when it cannot be read.
        qint64 length = -1;
    };

    // What the thumbnails made ahead of the engine may hold, in bytes.
    static constexpr qint64 AheadBytes = 32LL << 20;

    // The files of a reading of the folder, drawn for the screen's scale; an
    // entry's name decides the drawing mode. Thumbnails are read from and
    // kept in the desktop's shared cache in cacheFolder (none when empty).
    ThumbnailPrefetch(std::shared_ptr<const FileList::Listing> files, const ThumbnailDrawing::Scale &scale,
                      const QString &cacheFolder = QString(), qint64 aheadBytes = AheadBytes);
    ~ThumbnailPrefetch();
    ThumbnailPrefetch(const ThumbnailPrefetch &) = delete;
    ThumbnailPrefetch &operator=(const ThumbnailPrefetch &) = delete;

    // The thumbnail of entry i; while it is not made yet, the window's
    // pending events run. Entries are taken in increasing order; those
    // skipped are dropped.
    Made Take(int i);

    // How many entries were made ahead of the one taken last, at most, over
    // the load so far.
    int mostAhead() const;

    // One thumbnail, made on the calling thread (from the shared cache where
    // it holds a valid one, else decoded and kept there); cancelled may
    // abandon it.
    static Made Make(const QByteArray &nativePath, const QString &entry, const ThumbnailDrawing::Scale &scale,
                     const std::atomic<bool> *cancelled = nullptr,
                     const SharedThumbnails &cache = SharedThumbnails(QString()));

private:
    struct Work;
    std::shared_ptr<Work> m_work;
};
