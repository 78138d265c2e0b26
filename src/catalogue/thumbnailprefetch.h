#pragma once

#include "platform/filelist.h"
#include "platform/sharedthumbnails.h"

#include <QFuture>
#include <QImage>

#include <atomic>
#include <deque>
#include <memory>

// Makes the thumbnails of a load ahead of the engine on worker threads: the
// engine takes them one by one in list order, and the workers decode the
// next few files meanwhile, one after another, without a task per file.
// Taking one lets the window's events run while it is not made yet.
// Thumbnails the engine never takes (the user stopped the load) are
// dropped: a prefetch that goes away cancels the files not begun and lets
// the running decodes end in the background, without waiting for them.
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

    // The files of a reading of the folder; an entry's name decides the
    // drawing mode. Thumbnails are read from and kept in the desktop's
    // shared cache in cacheFolder (none when empty).
    ThumbnailPrefetch(std::shared_ptr<const FileList::Listing> files, double twipsPerPixelX, double twipsPerPixelY,
                      double devicePixelRatio, const QString &cacheFolder = QString());
    ~ThumbnailPrefetch();
    ThumbnailPrefetch(const ThumbnailPrefetch &) = delete;
    ThumbnailPrefetch &operator=(const ThumbnailPrefetch &) = delete;

    // The thumbnail of entry i; while it is not made yet, the window's
    // pending events run.
    Made Take(int i);

    // One thumbnail, made on the calling thread (from the shared cache where
    // it holds a valid one, else decoded and kept there); cancelled may
    // abandon it.
    static Made Make(const QByteArray &nativePath, const QString &entry, double twipsPerPixelX, double twipsPerPixelY,
                     double devicePixelRatio, const std::atomic<bool> *cancelled = nullptr,
                     const SharedThumbnails &cache = SharedThumbnails(QString()));

private:
    struct Work;
    // Lets the workers go on up to entry last.
    void AllowUpTo(int last);

    std::shared_ptr<Work> m_work;
    int m_ahead;
    int m_allowed = -1;
    // The futures of entries m_firstFuture to m_allowed: only those allowed
    // and not yet taken, whatever the folder's size.
    std::deque<QFuture<Made>> m_futures;
    int m_firstFuture = 0;
};
