#pragma once

#include <QFuture>
#include <QImage>
#include <QStringList>
#include <QThreadPool>

#include <vector>

// Makes the thumbnails of a load ahead of the engine on worker threads: the
// engine takes them one by one in list order, and the next few files are
// decoded meanwhile. Thumbnails the engine never takes (the user stopped
// the load) are dropped; nothing is shown from here.
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

    // The thumbnail of entry i, waiting for it when it is not made yet.
    Made Take(int i);

    // One thumbnail, made on the calling thread.
    static Made Make(const QString &nativePath, const QString &entry, double twipsPerPixelX, double twipsPerPixelY,
                     double devicePixelRatio);

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
    QThreadPool m_pool;
};
