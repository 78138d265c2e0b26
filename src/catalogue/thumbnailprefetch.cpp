#include "catalogue/thumbnailprefetch.h"

#include "catalogue/thumbnaildrawing.h"
#include "platform/backgroundwork.h"
#include "platform/pictureloader.h"
#include "platform/twips.h"

#include <QtConcurrent>

#include <cmath>

ThumbnailPrefetch::ThumbnailPrefetch(QStringList nativePaths, QStringList entries, double twipsPerPixelX,
                                     double twipsPerPixelY, double devicePixelRatio)
    : m_paths(std::move(nativePaths)), m_entries(std::move(entries)), m_perPixelX(twipsPerPixelX),
      m_perPixelY(twipsPerPixelY), m_ratio(devicePixelRatio), m_cancelled(std::make_shared<std::atomic<bool>>(false))
{
    m_ahead = BackgroundWork::pool().maxThreadCount() * 3;
    m_futures.resize(static_cast<size_t>(m_paths.size()));
}

ThumbnailPrefetch::~ThumbnailPrefetch() { m_cancelled->store(true); }

void ThumbnailPrefetch::ScheduleUpTo(int last)
{
    last = std::min(last, static_cast<int>(m_paths.size()) - 1);
    while (m_scheduled < last) {
        ++m_scheduled;
        const QString path = m_paths[m_scheduled];
        const QString entry = m_entries[m_scheduled];
        const double perPixelX = m_perPixelX;
        const double perPixelY = m_perPixelY;
        const double ratio = m_ratio;
        const std::shared_ptr<std::atomic<bool>> cancelled = m_cancelled;
        m_futures[static_cast<size_t>(m_scheduled)] =
            QtConcurrent::run(&BackgroundWork::pool(), [path, entry, perPixelX, perPixelY, ratio, cancelled] {
                if (cancelled->load())
                    return Made();
                return Make(path, entry, perPixelX, perPixelY, ratio, cancelled.get());
            });
    }
}

ThumbnailPrefetch::Made ThumbnailPrefetch::Take(int i)
{
    if (i < 0 || i >= static_cast<int>(m_paths.size()))
        return Made();
    ScheduleUpTo(i + m_ahead);
    QFuture<Made> future = std::move(m_futures[static_cast<size_t>(i)]);
    m_futures[static_cast<size_t>(i)] = QFuture<Made>();
    return BackgroundWork::waitWithEvents(future);
}

ThumbnailPrefetch::Made ThumbnailPrefetch::Make(const QString &nativePath, const QString &entry, double perPixelX,
                                                double perPixelY, double ratio, const std::atomic<bool> *cancelled)
{
    Made made;
    if (nativePath.isEmpty())
        return made;
    const auto pixelsOf = [&](double widthTwips, double heightTwips) {
        const ThumbnailDrawing::ThumbnailSize size = ThumbnailDrawing::ThumbnailSizeFor(widthTwips, heightTwips);
        // The cell's pixels as Twips would round them, times the density.
        return QSize(std::max<int>(1, static_cast<int>(std::lround(Twips::roundHalfEven(size.width / perPixelX) * ratio))),
                     std::max<int>(1, static_cast<int>(std::lround(Twips::roundHalfEven(size.height / perPixelY) * ratio))));
    };
    PictureLoader::Options options;
    options.cancelled = cancelled;
    options.exifThumbnailAllowed = true;
    const std::optional<Picture> picture = PictureLoader::LoadReduced(nativePath, perPixelX, perPixelY, pixelsOf, options);
    if (!picture)
        return made;
    made.decoded = true;
    made.widthTwips = picture->widthTwips;
    made.heightTwips = picture->heightTwips;
    const QSize pixels = pixelsOf(made.widthTwips, made.heightTwips);
    made.thumbnail = picture->metafile ? picture->metafile->Render(pixels)
                                       : ThumbnailDrawing::DrawThumbnail(picture->image, pixels.width(), pixels.height(),
                                                                ThumbnailDrawing::UsesColourOnColour(entry));
    return made;
}
