#include "catalogue/picturekeeper.h"

#include "catalogue/sizetext.h"
#include "catalogue/thumbnailarea.h"
#include "catalogue/thumbnailprefetch.h"
#include "core/mainwindowstate.h"
#include "core/programstate.h"
#include "core/winver.h"
#include "platform/backgroundwork.h"
#include "platform/platformcontext.h"
#include "platform/twips.h"

#include <QThread>

#include <deque>
#include <mutex>

struct PictureKeeper::Job
{
    std::uint32_t generation = 0;
    int k = -1;
    QByteArray native;
    QString entry;
    ThumbnailDrawing::Scale scale;
};

// What the keeper shares with its workers: the pictures asked for, and the
// keeper to hand them to (none once it is gone). Guarded by the mutex.
struct PictureKeeper::Work
{
    std::mutex mutex;
    std::deque<Job> jobs;
    int workers = 0;
    PictureKeeper *receiver = nullptr;
    SharedThumbnails cache{QString()};
    std::atomic<bool> cancelled{false};

    static void Serve(const std::shared_ptr<Work> &work)
    {
        std::unique_lock<std::mutex> lock(work->mutex);
        for (;;) {
            if (work->jobs.empty() || !work->receiver || BackgroundWork::abandoned().load()) {
                --work->workers;
                return;
            }
            Job job = std::move(work->jobs.front());
            work->jobs.pop_front();
            lock.unlock();
            const ThumbnailPrefetch::Made made =
                ThumbnailPrefetch::Make(job.native, job.entry, job.scale, &work->cancelled, work->cache);
            lock.lock();
            if (PictureKeeper *keeper = work->receiver) {
                // Posted while the keeper cannot go: its going takes the mutex
                // first, and drops the calls still waiting for it.
                QMetaObject::invokeMethod(
                    keeper,
                    [keeper, generation = job.generation, k = job.k, entry = job.entry, made] {
                        keeper->Delivered(generation, k, entry, made);
                    },
                    Qt::QueuedConnection);
            }
        }
    }
};

PictureKeeper::PictureKeeper(const CatalogueParts &parts, std::function<std::pair<int, int>()> band,
                             std::function<std::shared_ptr<const FileList::Listing>()> shownFiles, qint64 keptBytes,
                             QObject *parent)
    : QObject(parent), m_parts(parts), m_band(std::move(band)), m_shownFiles(std::move(shownFiles)),
      m_keptBytes(keptBytes), m_work(std::make_shared<Work>())
{
    m_work->receiver = this;
    m_work->cache = SharedThumbnails(parts.context.thumbnailCache);
}

PictureKeeper::~PictureKeeper()
{
    const std::lock_guard<std::mutex> lock(m_work->mutex);
    m_work->receiver = nullptr;
    m_work->cancelled = true;
    m_work->jobs.clear();
}

qint64 PictureKeeper::BytesOf(const QImage &picture) { return picture.isNull() ? 0 : picture.sizeInBytes(); }

bool PictureKeeper::Active() const
{
    // The caching mode lets its pictures go and reads them back from its own files.
    return GetPlatformName(m_parts.context) != QLatin1String("Windows 95");
}

void PictureKeeper::PictureSet(int k)
{
    if (!Active() || !m_parts.thumbnailArea->exists(k))
        return;
    m_heldBytes += BytesOf(m_parts.thumbnailArea->pictureAt(k).picture);
    if (m_heldBytes > m_keptBytes)
        LetGo();
}

void PictureKeeper::LetGo()
{
    ThumbnailArea &area = *m_parts.thumbnailArea;
    const int count = std::min(area.count(), int(m_parts.state.ThumbCount) + 1);
    const auto [first, end] = m_band();
    // Down to three quarters, so that the next few pictures do not start it again.
    const qint64 target = m_keptBytes / 4 * 3;
    int low = 0;
    int high = count - 1;
    while (m_heldBytes > target && (low < first || high >= end) && low <= high) {
        // The one farther from the view goes first.
        const bool fromLow = low < first && (high < end || first - low >= high - end + 1);
        const int k = fromLow ? low++ : high--;
        ThumbnailArea::Image &image = area.pictureAt(k);
        if (image.picture.isNull() || image.undecodable)
            continue;
        m_heldBytes -= BytesOf(image.picture);
        image.picture = QImage();
        image.paged = true;
    }
}

void PictureKeeper::Recount()
{
    const ThumbnailArea &area = *m_parts.thumbnailArea;
    m_heldBytes = 0;
    for (int k = 0; k < area.count(); ++k)
        m_heldBytes += BytesOf(area.pictureAt(k).picture);
}

void PictureKeeper::Reset()
{
    m_heldBytes = 0;
    const std::lock_guard<std::mutex> lock(m_work->mutex);
    m_work->jobs.clear();
}

void PictureKeeper::ViewMoved()
{
    if (!Active())
        return;
    ThumbnailArea &area = *m_parts.thumbnailArea;
    const std::shared_ptr<const FileList::Listing> files = m_shownFiles();
    const auto [first, end] = m_band();
    const int screen = std::max(1, end - first);
    const int count = std::min({area.count(), int(m_parts.state.ThumbCount), files->count()});
    const ThumbnailDrawing::Scale scale{Twips::perPixelX(), Twips::perPixelY(), area.devicePixelRatioF(),
                                       area.thumbnailSide()};
    std::deque<Job> jobs;
    const auto ask = [&](int k) {
        if (k >= 0 && k < count && area.pictureAt(k).paged)
            jobs.push_back(Job{m_parts.window.CatalogueResets, k, files->nativePath(k), files->entries.at(k), scale});
    };
    // Those in view first, then the screens below and above it.
    for (int k = first; k < end; ++k)
        ask(k);
    for (int step = 0; step < screen; ++step) {
        ask(end + step);
        ask(first - 1 - step);
    }
    const std::lock_guard<std::mutex> lock(m_work->mutex);
    // What was asked for before and is not in reach of the view any more is not read.
    m_work->jobs = std::move(jobs);
    const int wanted = std::min<int>(int(m_work->jobs.size()), std::max(1, QThread::idealThreadCount()));
    for (; m_work->workers < wanted; ++m_work->workers)
        BackgroundWork::thumbnailPool().start([work = m_work] { Work::Serve(work); });
}

void PictureKeeper::Delivered(std::uint32_t generation, int k, const QString &entry, const ThumbnailPrefetch::Made &made)
{
    ThumbnailArea &area = *m_parts.thumbnailArea;
    if (generation != m_parts.window.CatalogueResets || !area.exists(k) || !area.pictureAt(k).paged)
        return;
    // A file that no longer reads shows as one; a new or rewritten file's
    // cell takes the size of its picture as it is now.
    m_heldBytes -= BytesOf(area.pictureAt(k).picture);
    area.placePicture(k, made.thumbnail, QSizeF(made.widthTwips, made.heightTwips), made.decoded);
    if (k < m_parts.state.ThumbCount && size_t(k) < m_parts.state.InfoList.size())
        m_parts.state.InfoList[size_t(k)] = ThumbInfoFor(entry, made.length);
    ++m_readBack;
    area.updateElement(k);
    PictureSet(k);
}
