#pragma once

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QThreadPool>

#include <memory>
#include <type_traits>

// Decoding off the window thread. The window thread never waits for a
// worker without handling its events: waitWithEvents lets the pending
// events run (the stop button, repaints) until the work is done.
namespace BackgroundWork {

// The threads that decode pictures: one per core.
QThreadPool &pool();

// Returns when the future has finished (with a result or without one).
template <typename T>
void waitWithEvents(const QFuture<T> &future)
{
    if (future.isFinished())
        return;
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
}

// Frees a large value (a catalogue's pictures and texts) on a worker
// thread, so that the window thread does not spend its time freeing.
template <typename T>
void dispose(T &&value)
{
    auto held = std::make_shared<std::decay_t<T>>(std::forward<T>(value));
    pool().start([held = std::move(held)]() mutable { held.reset(); });
}

// The result of work that always gives one.
template <typename T>
T resultWithEvents(const QFuture<T> &future)
{
    waitWithEvents(future);
    return future.result();
}

} // namespace BackgroundWork
