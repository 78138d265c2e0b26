#pragma once

#include "platform/eventloops.h"

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <type_traits>

// Decoding off the window thread. The window thread never waits for a
// worker without handling its events: waitWithEvents lets the pending
// events run (the stop button, repaints) until the work is done.
namespace BackgroundWork {

// The threads that decode for the preview and the viewer: one per core.
QThreadPool &pool();
// The thumbnail workers' own threads, so that the preview and the viewer
// never wait for a load to end; room for the workers of two loads, so that
// a load just stopped, still ending its decodes, never holds up the next.
QThreadPool &thumbnailPool();

// Turns true when the program ends: every decode running gives up.
const std::atomic<bool> &abandoned();

// Abandons the decodes still running and waits for the threads, at most
// the given time; false when some decode did not end in that time.
bool finish(int milliseconds);

// Returns when the future has finished (with a result or without one), or
// early when the program is ending.
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
        EventLoops::wait(loop);
}

// Frees a large value (a catalogue's pictures and texts) on a worker
// thread, so that the window thread does not spend its time freeing.
template <typename T>
void dispose(T &&value)
{
    auto held = std::make_shared<std::decay_t<T>>(std::forward<T>(value));
    pool().start([held = std::move(held)]() mutable { held.reset(); });
}

// The result of the work, or abandonedResult when the wait ended without
// one (the program is ending).
template <typename T>
T resultWithEvents(const QFuture<T> &future, T abandonedResult = T())
{
    waitWithEvents(future);
    return future.isFinished() && future.resultCount() > 0 ? future.result() : abandonedResult;
}

} // namespace BackgroundWork
