#include "catalogue/thumbnailprefetch.h"

#include "catalogue/thumbnaildrawing.h"
#include "platform/backgroundwork.h"
#include "platform/nativefile.h"
#include "platform/pictureloader.h"
#include "platform/twips.h"

#include <QPromise>
#include <QThread>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

int WorkersPerLoad() { return std::max(1, QThread::idealThreadCount()); }

} // namespace

// What the workers share with the engine: the files, and the entries the
// engine has allowed them to make, each with the promise its thumbnail keeps.
struct ThumbnailPrefetch::Work
{
    std::shared_ptr<const FileList::Listing> files;
    double perPixelX;
    double perPixelY;
    double ratio;
    SharedThumbnails cache{QString()};
    std::mutex mutex;
    std::condition_variable more;
    std::deque<std::pair<int, QPromise<Made>>> allowed;
    bool ended = false;
    std::atomic<bool> cancelled{false};

    void Serve()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex);
            more.wait(lock, [this] { return ended || !allowed.empty(); });
            if (allowed.empty())
                return;
            auto [index, promise] = std::move(allowed.front());
            allowed.pop_front();
            lock.unlock();
            promise.start();
            // The listing is shared with the engine, and only ever read.
            if (!cancelled.load() && !BackgroundWork::abandoned().load())
                promise.addResult(Make(files->nativePath(index), files->entries.at(index), perPixelX, perPixelY, ratio,
                                       &cancelled, cache));
            promise.finish();
        }
    }
};

ThumbnailPrefetch::ThumbnailPrefetch(std::shared_ptr<const FileList::Listing> files, double twipsPerPixelX,
                                     double twipsPerPixelY, double devicePixelRatio, const QString &cacheFolder)
    : m_work(std::make_shared<Work>()), m_ahead(WorkersPerLoad() * 3)
{
    m_work->cache = SharedThumbnails(cacheFolder);
    m_work->files = std::move(files);
    m_work->perPixelX = twipsPerPixelX;
    m_work->perPixelY = twipsPerPixelY;
    m_work->ratio = devicePixelRatio;
    if (m_work->files->count() == 0)
        return;
    for (int worker = 0; worker < WorkersPerLoad(); ++worker) {
        const std::shared_ptr<Work> work = m_work;
        BackgroundWork::thumbnailPool().start([work] { work->Serve(); });
    }
}

ThumbnailPrefetch::~ThumbnailPrefetch()
{
    std::deque<std::pair<int, QPromise<Made>>> dropped;
    {
        const std::lock_guard<std::mutex> lock(m_work->mutex);
        m_work->cancelled = true;
        m_work->ended = true;
        dropped.swap(m_work->allowed);
    }
    m_work->more.notify_all();
}

void ThumbnailPrefetch::AllowUpTo(int last)
{
    last = std::min(last, m_work->files->count() - 1);
    if (last <= m_allowed)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_work->mutex);
        while (m_allowed < last) {
            ++m_allowed;
            QPromise<Made> promise;
            m_futures.push_back(promise.future());
            m_work->allowed.emplace_back(m_allowed, std::move(promise));
        }
        m_work->ended = m_allowed + 1 == m_work->files->count();
    }
    m_work->more.notify_all();
}

ThumbnailPrefetch::Made ThumbnailPrefetch::Take(int i)
{
    if (i < 0 || i >= m_work->files->count())
        return Made();
    // Allowed a stretch at a time, so that the workers seldom wait.
    if (i + m_ahead / 2 > m_allowed)
        AllowUpTo(i + m_ahead);
    // Entries are taken in order; any skipped are dropped with their futures.
    while (m_firstFuture < i && !m_futures.empty()) {
        m_futures.pop_front();
        ++m_firstFuture;
    }
    if (m_firstFuture != i || m_futures.empty())
        return Made();
    const QFuture<Made> future = std::move(m_futures.front());
    m_futures.pop_front();
    ++m_firstFuture;
    BackgroundWork::waitWithEvents(future);
    return future.resultCount() > 0 ? future.result() : Made();
}

ThumbnailPrefetch::Made ThumbnailPrefetch::Make(const QByteArray &nativePath, const QString &entry, double perPixelX,
                                                double perPixelY, double ratio, const std::atomic<bool> *cancelled,
                                                const SharedThumbnails &cache)
{
    Made made;
    if (nativePath.isEmpty())
        return made;
    made.length = NativeFile::Length(nativePath).value_or(-1);
    const auto pixelsOf = [&](double widthTwips, double heightTwips) {
        const ThumbnailDrawing::ThumbnailSize size = ThumbnailDrawing::ThumbnailSizeFor(widthTwips, heightTwips);
        // The cell's pixels as Twips would round them, times the density.
        return QSize(std::max<int>(1, static_cast<int>(std::lround(Twips::roundHalfEven(size.width / perPixelX) * ratio))),
                     std::max<int>(1, static_cast<int>(std::lround(Twips::roundHalfEven(size.height / perPixelY) * ratio))));
    };
    const auto draw = [&](const QImage &image) {
        const QSize pixels = pixelsOf(made.widthTwips, made.heightTwips);
        made.thumbnail = ThumbnailDrawing::Compact(ThumbnailDrawing::DrawThumbnail(
            image, pixels.width(), pixels.height(), ThumbnailDrawing::UsesColourOnColour(entry)));
    };

    // A picture seen before (by this program or a file manager) comes from the shared cache.
    const std::optional<qint64> modified =
        cache.enabled() && !cache.Holds(nativePath) ? NativeFile::ModifiedSeconds(nativePath) : std::nullopt;
    const QSize cell = pixelsOf(ThumbnailDrawing::LargestSide, ThumbnailDrawing::LargestSide);
    if (modified) {
        if (cache.Failed(nativePath, *modified))
            return made;
        if (std::optional<SharedThumbnails::Found> found = cache.Read(nativePath, *modified, std::max(cell.width(), cell.height()))) {
            const QSize natural = found->natural.isEmpty() ? found->image.size() : found->natural;
            made.decoded = true;
            made.widthTwips = natural.width() * perPixelX;
            made.heightTwips = natural.height() * perPixelY;
            draw(found->image);
            return made;
        }
    }

    // Decoded large enough for the cell, and for the cache's 128 pixels when it is kept there.
    const auto wanted = [&](double widthTwips, double heightTwips) {
        const QSize pixels = pixelsOf(widthTwips, heightTwips);
        if (!modified)
            return pixels;
        const QSize natural(std::max(1, int(widthTwips / perPixelX)), std::max(1, int(heightTwips / perPixelY)));
        return pixels.expandedTo(natural.scaled(SharedThumbnails::NormalSide, SharedThumbnails::NormalSide, Qt::KeepAspectRatio)
                                     .boundedTo(natural));
    };
    PictureLoader::Options options;
    options.cancelled = cancelled;
    options.exifThumbnailAllowed = true;
    const std::optional<Picture> picture = PictureLoader::LoadReduced(nativePath, perPixelX, perPixelY, wanted, options);
    const bool abandoned = (cancelled && cancelled->load()) || BackgroundWork::abandoned().load();
    if (!picture) {
        if (modified && !abandoned && made.length >= 0)
            cache.WriteFailure(nativePath, *modified);
        return made;
    }
    made.decoded = true;
    made.widthTwips = picture->widthTwips;
    made.heightTwips = picture->heightTwips;
    if (picture->drawing) {
        const QSize pixels = pixelsOf(made.widthTwips, made.heightTwips);
        made.thumbnail = ThumbnailDrawing::Compact(picture->drawing->Render(pixels));
        return made;
    }
    draw(picture->image);
    // Pictures no larger than a thumbnail are as quick to read as one.
    const QSize natural(int(std::lround(made.widthTwips / perPixelX)), int(std::lround(made.heightTwips / perPixelY)));
    if (modified && !abandoned && std::max(natural.width(), natural.height()) > SharedThumbnails::NormalSide)
        cache.Write(nativePath, *modified, made.length, picture->image, natural);
    return made;
}
