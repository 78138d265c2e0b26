#include "platform/backgroundwork.h"

#include <QThread>

namespace BackgroundWork {

QThreadPool &pool()
{
    static QThreadPool *threads = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        return created;
    }();
    return *threads;
}

} // namespace BackgroundWork
