#include "platform/folderwatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

// The inotify descriptor, closed when both the watch and the thread that
// sets it up have let it go.
struct FolderWatch::Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

FolderWatch::FolderWatch(QObject *parent) : QObject(parent)
{
    m_burst.setSingleShot(true);
    connect(&m_burst, &QTimer::timeout, this, &FolderWatch::Tell);
}

FolderWatch::~FolderWatch() = default;

void FolderWatch::watch(const QByteArray &nativeFolder)
{
    if (nativeFolder == m_folder && (m_descriptor || nativeFolder.isEmpty()))
        return;
    delete m_notifier;
    m_notifier = nullptr;
    m_descriptor.reset();
    m_burst.stop();
    m_pending = Changes();
    m_open.clear();
    m_movedFrom.clear();
    m_folder = nativeFolder;
    if (nativeFolder.isEmpty())
        return;
    auto descriptor = std::make_shared<Descriptor>();
    descriptor->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor->fd < 0)
        return;
    m_descriptor = descriptor;
    m_notifier = new QSocketNotifier(qintptr(descriptor->fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatch::ReadEvents);
    constexpr uint32_t Mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY |
                              IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    std::thread([descriptor, path = nativeFolder] { inotify_add_watch(descriptor->fd, path.constData(), Mask); }).detach();
}

void FolderWatch::ReadEvents()
{
    if (!m_descriptor)
        return;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = ::read(m_descriptor->fd, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR)
                continue;
            break;
        }
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char *name = buffer + at + sizeof(inotify_event);
            const QByteArray file = event.len > 0 ? QByteArray(name, qsizetype(strnlen(name, event.len))) : QByteArray();
            at += ssize_t(sizeof(inotify_event) + event.len);
            if (event.mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                m_pending.overflowed = true;
                continue;
            }
            if (file.isEmpty())
                continue;
            if (event.mask & IN_ISDIR) {
                if (event.mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))
                    m_pending.foldersChanged = true;
                continue;
            }
            if (event.mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))
                m_pending.listChanged = true;
            if (event.mask & (IN_CREATE | IN_MODIFY)) {
                m_open[file].start();
            } else if (event.mask & (IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_TO)) {
                // Closed after writing, touched, or moved in whole.
                m_open.remove(file);
                m_pending.written.insert(file);
            } else if (event.mask & (IN_DELETE | IN_MOVED_FROM)) {
                m_open.remove(file);
                m_pending.written.remove(file);
            }
            if (event.mask & IN_MOVED_FROM)
                m_movedFrom.insert(event.cookie, file);
            else if ((event.mask & IN_MOVED_TO) && m_movedFrom.contains(event.cookie))
                m_pending.renamed.insert(m_movedFrom.take(event.cookie), file);
        }
    }
    if (!m_burst.isActive() || m_burst.remainingTime() > BurstMs)
        m_burst.start(BurstMs);
}

void FolderWatch::Tell()
{
    Changes changes = std::exchange(m_pending, Changes());
    m_movedFrom.clear();
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (it.value().hasExpired(QuietMs)) {
            // Left alone long enough: taken as it is.
            changes.written.insert(it.key());
            changes.listChanged = true;
            it = m_open.erase(it);
        } else {
            changes.unfinished.insert(it.key());
            ++it;
        }
    }
    // Files still open are looked at again once they may be done.
    if (!m_open.isEmpty())
        m_burst.start(QuietMs);
    if (changes.written.isEmpty() && !changes.listChanged && !changes.foldersChanged && !changes.overflowed)
        return;
    emit changed(changes);
}
