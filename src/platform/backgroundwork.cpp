#include "platform/backgroundwork.h"

#include <QDeadlineTimer>
#include <QThread>

namespace BackgroundWork {

namespace {

std::atomic<bool> &AbandonedFlag()
{
    static std::atomic<bool> flag{false};
    return flag;
}

QThreadPool *MakePool(int threadsPerCore)
{
    auto *created = new QThreadPool;
    created->setMaxThreadCount(threadsPerCore * std::max(1, QThread::idealThreadCount()));
    return created;
}

} // namespace

// Never destroyed: a pool is finished (and its threads joined) before the
// program ends, not by the static destruction.
QThreadPool &pool()
{
    static QThreadPool *threads = MakePool(1);
    return *threads;
}

QThreadPool &thumbnailPool()
{
    static QThreadPool *threads = MakePool(2);
    return *threads;
}

const std::atomic<bool> &abandoned() { return AbandonedFlag(); }

bool finish(int milliseconds)
{
    AbandonedFlag() = true;
    const QDeadlineTimer deadline(milliseconds);
    const bool thumbnailsDone = thumbnailPool().waitForDone(std::max<qint64>(0, deadline.remainingTime()));
    const bool othersDone = pool().waitForDone(std::max<qint64>(0, deadline.remainingTime()));
    return thumbnailsDone && othersDone;
}

} // namespace BackgroundWork
