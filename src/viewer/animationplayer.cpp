#include "viewer/animationplayer.h"

#include "pictures/decodebudget.h"
#include "platform/backgroundwork.h"

#include <QFutureWatcher>
#include <QtConcurrent>

struct AnimationPlayer::Playing
{
    QByteArray path;
    std::unique_ptr<Frames::Source> source;
    std::optional<DecodeBudget::Reservation> reservation;
};

AnimationPlayer::AnimationPlayer(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_ready && !m_paused)
            showReady();
    });
}

AnimationPlayer::~AnimationPlayer() = default;

void AnimationPlayer::play(const QByteArray &nativePath, Show show)
{
    stop();
    if (nativePath.isEmpty())
        return;
    m_show = std::move(show);
    m_playing = std::make_shared<Playing>();
    m_playing->path = nativePath;
    fetch();
}

void AnimationPlayer::stop()
{
    ++m_generation;
    m_timer.stop();
    m_ready.reset();
    m_playing.reset();
    m_show = nullptr;
    m_shown = 0;
    m_paused = false;
}

void AnimationPlayer::togglePause()
{
    if (!m_playing)
        return;
    m_paused = !m_paused;
    // Played on: the next frame comes at once when its time is up.
    if (!m_paused && m_ready && !m_timer.isActive())
        showReady();
}

void AnimationPlayer::fetch()
{
    // The task keeps what it decodes from alive; a frame that comes after a stop is dropped.
    const std::shared_ptr<Playing> playing = m_playing;
    const std::uint64_t generation = m_generation;
    auto *watcher = new QFutureWatcher<std::optional<Frames::Frame>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        arrived(generation, watcher->future().resultCount() ? watcher->future().result() : std::nullopt);
    });
    watcher->setFuture(QtConcurrent::run(&BackgroundWork::pool(), [playing]() -> std::optional<Frames::Frame> {
        if (BackgroundWork::abandoned().load())
            return std::nullopt;
        if (!playing->source) {
            playing->source = Frames::Open(playing->path);
            if (!playing->source)
                return std::nullopt;
            const QSize size = playing->source->size();
            // The frame shown and the one being made, as the canvas holds them.
            std::optional<DecodeBudget::Reservation> reserved =
                DecodeBudget::Reserve(qint64(size.width()) * size.height() * 4 * 3, &BackgroundWork::abandoned());
            if (!reserved)
                return std::nullopt;
            playing->reservation.emplace(std::move(*reserved));
        }
        return playing->source->next();
    }));
}

void AnimationPlayer::arrived(std::uint64_t generation, std::optional<Frames::Frame> frame)
{
    if (generation != m_generation || !m_playing)
        return;
    if (!frame) {
        // Played out, or a frame that cannot be read: the last one shown stays.
        m_playing.reset();
        return;
    }
    m_ready = std::move(frame);
    if (!m_timer.isActive() && !m_paused)
        showReady();
}

void AnimationPlayer::showReady()
{
    Frames::Frame frame = std::move(*m_ready);
    m_ready.reset();
    ++m_shown;
    m_timer.start(frame.delayMs);
    fetch();
    if (m_show)
        m_show(frame.image);
}
