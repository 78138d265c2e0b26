#include "memorywatch.h"

#include <QFile>

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

qint64 statusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

} // namespace

MemoryWatch::MemoryWatch(qint64 boundBytes) : m_bound(boundBytes), m_thread([this] { watch(); }) {}

MemoryWatch::~MemoryWatch()
{
    m_stop = true;
    m_thread.join();
}

void MemoryWatch::setDoing(const QString &what)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_doing = what.toUtf8();
}

qint64 MemoryWatch::defaultBound()
{
#if defined(__SANITIZE_ADDRESS__)
    return 4LL * 1024 * 1024 * 1024;
#else
    return 2LL * 1024 * 1024 * 1024;
#endif
}

qint64 MemoryWatch::residentBytes() { return statusField("VmRSS"); }
qint64 MemoryWatch::peakBytes() { return statusField("VmHWM"); }

void MemoryWatch::resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void MemoryWatch::watch()
{
    while (!m_stop) {
        const qint64 resident = residentBytes();
        if (resident > m_bound) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            std::fprintf(stderr, "FAIL!  : memory bound of %lld MB passed (%lld MB resident) while %s\n",
                         m_bound / (1024 * 1024), resident / (1024 * 1024), m_doing.constData());
            std::fflush(stderr);
            _exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
