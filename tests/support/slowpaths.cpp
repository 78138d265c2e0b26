#include "slowpaths.h"

#include <chrono>

SlowPaths::SlowPaths()
{
    NativeFile::SetObserver(std::make_shared<const NativeFile::Observer>(
        [this](const QByteArray &path, NativeFile::Asked asked) { Observe(path, asked); }));
}

SlowPaths::~SlowPaths()
{
    release();
    NativeFile::SetObserver(nullptr);
}

void SlowPaths::slow(const QByteArray &path, NativeFile::Asked asked, int milliseconds)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_rules.append(Rule{path, asked, milliseconds});
}

void SlowPaths::release()
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_releasedAll = true;
        m_rules.clear();
    }
    m_released.notify_all();
}

int SlowPaths::asked(const QByteArray &path, NativeFile::Asked asked) const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_asked.value(path + '\n' + QByteArray::number(int(asked)));
}

void SlowPaths::Observe(const QByteArray &path, NativeFile::Asked asked)
{
    std::unique_lock<std::mutex> guard(m_lock);
    ++m_asked[path + '\n' + QByteArray::number(int(asked))];
    for (const Rule &rule : std::as_const(m_rules)) {
        if (rule.asked != asked || (path != rule.path && !path.startsWith(rule.path + '/')))
            continue;
        const auto released = [this] { return m_releasedAll; };
        if (rule.milliseconds < 0)
            m_released.wait(guard, released);
        else
            m_released.wait_for(guard, std::chrono::milliseconds(rule.milliseconds), released);
        return;
    }
}
