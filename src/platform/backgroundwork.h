#pragma once

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QThreadPool>

// Decoding off the window thread. The window thread never waits for a
// worker without handling its events: waitWithEvents lets the pending
// events run (the stop button, repaints) until the work is done.
namespace BackgroundWork {

// The threads that decode pictures: one per core.
QThreadPool &pool();

template <typename T>
T waitWithEvents(QFuture<T> future)
{
    if (!future.isFinished()) {
        QEventLoop loop;
        QFutureWatcher<T> watcher;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished())
            loop.exec();
    }
    return future.result();
}

} // namespace BackgroundWork
