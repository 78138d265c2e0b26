#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>

class QSocketNotifier;

// Tells what other programs do to the files of one folder (inotify): files
// added, removed, renamed or written. What comes in a burst is collected
// and told at most a few times a second. A file still being written is
// told as unfinished until it is closed, or until it has been left alone
// for a while (a writer on a share may never say it closed).
//
// The watch is set up on a thread of its own: a share that does not answer
// leaves that thread waiting, never the window.
class FolderWatch : public QObject
{
    Q_OBJECT

public:
    struct Changes
    {
        // Names (bytes) written and closed since the last time: their
        // pictures may be other ones now.
        QSet<QByteArray> written;
        // Names still open for writing, or written to a moment ago.
        QSet<QByteArray> unfinished;
        // Files came, went or were renamed.
        bool listChanged = false;
        // Old name to new name of the files renamed within the folder.
        QHash<QByteArray, QByteArray> renamed;
        // Sub-folders came, went or were renamed.
        bool foldersChanged = false;
        // Changes were lost (too many at once), or the folder itself went.
        bool overflowed = false;
    };

    // How long a burst is collected before it is told.
    static constexpr int BurstMs = 250;
    // How long a file open for writing may be left alone before it counts as done.
    static constexpr int QuietMs = 2000;

    explicit FolderWatch(QObject *parent = nullptr);
    ~FolderWatch() override;

    // Watches this folder (bytes of its path) instead; none when empty.
    void watch(const QByteArray &nativeFolder);
    const QByteArray &folder() const { return m_folder; }

signals:
    void changed(const FolderWatch::Changes &changes);

private:
    struct Descriptor;
    void ReadEvents();
    void Tell();

    QByteArray m_folder;
    std::shared_ptr<Descriptor> m_descriptor;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_burst;
    Changes m_pending;
    // Files open for writing, and how long since each was last written to.
    QHash<QByteArray, QElapsedTimer> m_open;
    // Names moved away, by the move's cookie, until their new names come.
    QHash<quint32, QByteArray> m_movedFrom;
};
