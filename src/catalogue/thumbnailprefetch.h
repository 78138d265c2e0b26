#pragma once

#include <QFuture>
#include <QImage>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

// Makes the thumbnails of a load ahead of the engine on worker threads: the
// engine takes them one by one in list order, and the next few files are
// decoded meanwhile. Taking one lets the window's events run while it is not
// made yet. Thumbnails the engine never takes (the user stopped the load)
// are dropped: a prefetch that goes away cancels the decodes not begun and
// lets the running ones end in the background, without waiting for them.
class ThumbnailPrefetch
{
public:
    struct Made
    {
        bool decoded = false;
        double widthTwips = 0.0;
        double heightTwips = 0.0;
        QImage thumbnail;
    };

    // nativePaths[i] is the file of entry i (empty when it has none);
    // entries[i] its name, which decides the drawing mode.
    ThumbnailPrefetch(QStringList nativePaths, QStringList entries, double twipsPerPixelX, double twipsPerPixelY,
                      double devicePixelRatio);
    ~ThumbnailPrefetch();
    ThumbnailPrefetch(const ThumbnailPrefetch &) = delete;
    ThumbnailPrefetch &operator=(const ThumbnailPrefetch &) = delete;

    // The thumbnail of entry i; while it is not made yet, the window's
    // pending events run.
    Made Take(int i);

    // One thumbnail, made on the calling thread; cancelled may abandon it.
    static Made Make(const QString &nativePath, const QString &entry, double twipsPerPixelX, double twipsPerPixelY,
                     double devicePixelRatio, const std::atomic<bool> *cancelled = nullptr);

private:
    void ScheduleUpTo(int last);

    QStringList m_paths;
    QStringList m_entries;
    double m_perPixelX;
    double m_perPixelY;
    double m_ratio;
    int m_ahead;
    int m_scheduled = -1;
    std::vector<QFuture<Made>> m_futures;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};
