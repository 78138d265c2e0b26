#pragma once

#include "files/nativefile.h"

#include <QByteArray>
#include <QHash>

#include <condition_variable>
#include <mutex>

// Paths that answer slowly, or not at all, as on a share whose server is
// out of reach: the program's own calls on them (NativeFile) wait. Made
// for one test; at its end every wait ends and the hook is removed.
class SlowPaths
{
public:
    SlowPaths();
    ~SlowPaths();
    SlowPaths(const SlowPaths &) = delete;
    SlowPaths &operator=(const SlowPaths &) = delete;

    // Calls of that kind on the path, or on anything below it, wait this
    // long; -1: until release().
    void slow(const QByteArray &path, NativeFile::Asked asked, int milliseconds = -1);
    // Every wait ends, and no call waits any more.
    void release();
    // How many calls of that kind asked about exactly this path.
    int asked(const QByteArray &path, NativeFile::Asked asked) const;

private:
    struct Rule
    {
        QByteArray path;
        NativeFile::Asked asked;
        int milliseconds;
    };
    void Observe(const QByteArray &path, NativeFile::Asked asked);

    mutable std::mutex m_lock;
    std::condition_variable m_released;
    bool m_releasedAll = false;
    QList<Rule> m_rules;
    QHash<QByteArray, int> m_asked;
};
