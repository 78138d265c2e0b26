#include "catalogue/thumbnailprefetch.h"

#include "catalogue/thumbnaildrawing.h"
#include "platform/backgroundwork.h"
#include "files/nativefile.h"
#include "pictures/pictureloader.h"

#include <QEventLoop>
#include <QThread>

#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

int WorkersPerLoad() { return std::max(1, QThread::idealThreadCount()); }

// The engine waiting without its events is woken once this many entries
// from the one it waits for are made (or no worker is making any).
constexpr int Stretch = 64;

} // namespace

// What the workers share with the engine: the files, and the thumbnails made
// from entry `first` on, the engine's next, up to `next`, the next to begin.
// Everything below the mutex is guarded by it.
struct ThumbnailPrefetch::Work
{
    struct Slot
    {
        bool made = false;
        Made thumbnail;
    };

    std::shared_ptr<const FileList::Listing> files;
    ThumbnailDrawing::Scale scale;
    SharedThumbnails cache{QString()};
    qint64 aheadBytes = AheadBytes;
    std::atomic<bool> cancelled{false};

    std::mutex mutex;
    // Workers wait here for room under the memory bound.
    std::condition_variable room;
    // The engine waits here while it lets no events run.
    std::condition_variable stretchMade;
    std::deque<Slot> ahead;
    int first = 0;
    int next = 0;
    int busy = 0;
    qint64 heldBytes = 0;
    int mostAhead = 0;
    bool tookOne = false;
    bool ended = false;
    // What the engine waits for: entry `wanted`, and to be woken without its
    // events, also the stretch up to `wantedLast`; with its events, loop.
    int wanted = -1;
    int wantedLast = -1;
    QEventLoop *loop = nullptr;

    static qint64 BytesOf(const Made &made) { return qint64(sizeof(Slot)) + made.thumbnail.sizeInBytes(); }

    bool IsMade(int index) const { return index >= first && index < first + int(ahead.size()) && ahead[index - first].made; }

    // Entry wanted is made, and so is its stretch, or nothing more is coming soon.
    bool StretchReady() const
    {
        if (!IsMade(wanted))
            return false;
        if (busy == 0)
            return true;
        for (int index = wanted + 1; index <= wantedLast; ++index)
            if (!IsMade(index))
                return false;
        return true;
    }

    // The entry the engine takes next may always be begun; those after it
    // only while the thumbnails made ahead hold less than the bound.
    bool MayBegin() const { return next == first || heldBytes < aheadBytes; }

    // Forgets the entries below index; those still being made are dropped
    // when they are done.
    void DropBelow(int index)
    {
        while (first < index && !ahead.empty()) {
            heldBytes -= ahead.front().made ? BytesOf(ahead.front().thumbnail) : 0;
            ahead.pop_front();
            ++first;
        }
        first = std::max(first, index);
        next = std::max(next, first);
    }

    void Serve()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            room.wait(lock, [this] { return ended || next >= files->count() || MayBegin(); });
            if (ended || next >= files->count() || cancelled.load() || BackgroundWork::abandoned().load())
                return;
            const int index = next++;
            ahead.resize(std::max<size_t>(ahead.size(), size_t(next - first)));
            ++busy;
            lock.unlock();
            // The listing is shared with the engine, and only ever read.
            Made made = Make(files->nativePath(index), files->entries.at(index), scale, &cancelled, cache);
            lock.lock();
            --busy;
            // Entries dropped meanwhile (skipped, or the load stopped) are not kept.
            if (index >= first && index < first + int(ahead.size())) {
                Slot &slot = ahead[index - first];
                slot.made = true;
                slot.thumbnail = std::move(made);
                heldBytes += BytesOf(slot.thumbnail);
                mostAhead = std::max(mostAhead, index - first);
            }
            if (wanted >= 0 && loop && IsMade(wanted)) {
                QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
                loop = nullptr;
            } else if (wanted >= 0 && StretchReady()) {
                stretchMade.notify_one();
            }
        }
    }
};

ThumbnailPrefetch::ThumbnailPrefetch(std::shared_ptr<const FileList::Listing> files,
                                     const ThumbnailDrawing::Scale &scale, const QString &cacheFolder, qint64 aheadBytes)
    : m_work(std::make_shared<Work>())
{
    m_work->cache = SharedThumbnails(cacheFolder);
    m_work->files = std::move(files);
    m_work->scale = scale;
    m_work->aheadBytes = aheadBytes;
    for (int worker = 0; worker < std::min(WorkersPerLoad(), m_work->files->count()); ++worker) {
        const std::shared_ptr<Work> work = m_work;
        BackgroundWork::thumbnailPool().start([work] { work->Serve(); });
    }
}

ThumbnailPrefetch::~ThumbnailPrefetch()
{
    std::deque<Work::Slot> dropped;
    {
        const std::lock_guard<std::mutex> lock(m_work->mutex);
        m_work->cancelled = true;
        m_work->ended = true;
        m_work->loop = nullptr;
        dropped.swap(m_work->ahead);
    }
    m_work->room.notify_all();
}

int ThumbnailPrefetch::mostAhead() const
{
    const std::lock_guard<std::mutex> lock(m_work->mutex);
    return m_work->mostAhead;
}

ThumbnailPrefetch::Made ThumbnailPrefetch::Take(int i)
{
    // Held here too: the events that run below may end the load.
    const std::shared_ptr<Work> held = m_work;
    Work &work = *held;
    if (i < 0 || i >= work.files->count())
        return Made();
    std::unique_lock<std::mutex> lock(work.mutex);
    if (i < work.first)
        return Made();
    if (i > work.first) {
        // Entries skipped by the engine: their room goes to the workers.
        work.DropBelow(i);
        work.room.notify_all();
    }
    work.wanted = i;
    while (!work.IsMade(i)) {
        if (!EventLoops::frameDue()) {
            // The events ran less than a frame ago: wait for a stretch of
            // thumbnails, and at the latest for the frame. The load's first
            // thumbnail is shown as soon as it is made.
            work.wantedLast = work.tookOne ? std::min(i + Stretch - 1, work.files->count() - 1) : i;
            work.stretchMade.wait_for(lock, std::chrono::microseconds(EventLoops::microsecondsToFrame()),
                                      [&] { return work.StretchReady(); });
            continue;
        }
        QEventLoop loop;
        work.loop = &loop;
        lock.unlock();
        EventLoops::wait(loop);
        lock.lock();
        work.loop = nullptr;
        if (EventLoops::ending() || work.ended) {
            work.wanted = -1;
            return Made();
        }
    }
    work.wanted = -1;
    work.tookOne = true;
    Work::Slot &slot = work.ahead.front();
    work.heldBytes -= Work::BytesOf(slot.thumbnail);
    slot.made = false;
    Made made = std::move(slot.thumbnail);
    work.DropBelow(i + 1);
    work.room.notify_all();
    return made;
}

ThumbnailPrefetch::Made ThumbnailPrefetch::Make(const QByteArray &nativePath, const QString &entry,
                                                const ThumbnailDrawing::Scale &scale, const std::atomic<bool> *cancelled,
                                                const SharedThumbnails &cache)
{
    Made made;
    if (nativePath.isEmpty())
        return made;
    made.length = NativeFile::Length(nativePath).value_or(-1);
    const double perPixelX = scale.perPixelX;
    const double perPixelY = scale.perPixelY;
    const auto pixelsOf = [&](double widthTwips, double heightTwips) {
        return ThumbnailDrawing::PixelsOf(scale, widthTwips, heightTwips);
    };
    const auto draw = [&](const QImage &image) {
        const QSize pixels = pixelsOf(made.widthTwips, made.heightTwips);
        made.thumbnail = ThumbnailDrawing::Compact(ThumbnailDrawing::DrawThumbnail(
            image, pixels.width(), pixels.height(), ThumbnailDrawing::UsesColourOnColour(entry)));
    };

    // A picture seen before (by this program or a file manager) comes from the shared cache.
    const std::optional<qint64> modified =
        cache.enabled() && !cache.Holds(nativePath) ? NativeFile::ModifiedSeconds(nativePath) : std::nullopt;
    const qint64 changed = modified ? NativeFile::ChangedNanoseconds(nativePath).value_or(-1) : -1;
    const QSize cell = pixelsOf(scale.side, scale.side);
    // Cells of the normal thumbnail's size and more keep larger ones too.
    const int kept = SharedThumbnails::KeptSide(std::max(cell.width(), cell.height()));
    if (modified) {
        if (cache.Failed(nativePath, *modified, changed))
            return made;
        if (std::optional<SharedThumbnails::Found> found = cache.Read(nativePath, *modified, std::max(cell.width(), cell.height()))) {
            // The cell's size is the picture's, from its header; a thumbnail
            // of another shape, or too small for the cell, is made again.
            const std::optional<QSizeF> natural = PictureLoader::NaturalSize(nativePath, perPixelX, perPixelY);
            if (natural && ThumbnailDrawing::SameShape(found->image.size(), *natural) &&
                ThumbnailDrawing::LargeEnough(found->image.size(), pixelsOf(natural->width(), natural->height()))) {
                made.decoded = true;
                made.widthTwips = natural->width();
                made.heightTwips = natural->height();
                draw(found->image);
                return made;
            }
        }
    }

    // Decoded large enough for the cell, and for the cache's thumbnails when they are kept there.
    const auto wanted = [&](double widthTwips, double heightTwips) {
        const QSize pixels = pixelsOf(widthTwips, heightTwips);
        if (!modified)
            return pixels;
        const QSize natural(std::max(1, int(widthTwips / perPixelX)), std::max(1, int(heightTwips / perPixelY)));
        return pixels.expandedTo(natural.scaled(kept, kept, Qt::KeepAspectRatio).boundedTo(natural));
    };
    PictureLoader::Options options;
    options.cancelled = cancelled;
    options.exifThumbnailAllowed = true;
    const std::optional<Picture> picture = PictureLoader::LoadReduced(nativePath, perPixelX, perPixelY, wanted, options);
    const bool abandoned = (cancelled && cancelled->load()) || BackgroundWork::abandoned().load();
    if (!picture) {
        // A file this user may not open is no file that cannot be read: its
        // permissions may change.
        if (modified && !abandoned && made.length >= 0 && NativeFile::IsReadable(nativePath))
            cache.WriteFailure(nativePath, *modified, changed);
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
    // Pictures no larger than a thumbnail are as quick to read as one; what
    // the cache is given is the picture decoded, never a copy it carries.
    const QSize natural(int(std::lround(made.widthTwips / perPixelX)), int(std::lround(made.heightTwips / perPixelY)));
    if (modified && !abandoned && !picture->fromEmbeddedCopy &&
        std::max(natural.width(), natural.height()) > SharedThumbnails::NormalSide)
        cache.Write(nativePath, *modified, made.length, picture->image, natural, kept);
    return made;
}
