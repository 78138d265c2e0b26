#include "core/loadgate.h"

#include "platform/eventloops.h"

#include <QTimer>

#include <algorithm>

void LoadGate::setLoading(bool loading)
{
    m_loading = loading;
    if (!loading)
        ScheduleWaiting();
}

void LoadGate::whenIdle(Kind kind, std::function<void()> request)
{
    const bool running = m_runningDepth >= 0;
    const bool ownStep = running && EventLoops::depth() == m_runningDepth;
    if (!m_loading && (ownStep || (!running && m_waiting.empty()))) {
        Run(request);
        return;
    }
    Enqueue(kind, std::move(request));
    ScheduleWaiting();
}

bool LoadGate::folderWaiting() const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(), [](const Request &waiting) { return waiting.kind == Kind::Folder; });
}

void LoadGate::Run(const std::function<void()> &request)
{
    const int outer = m_runningDepth;
    m_runningDepth = EventLoops::depth();
    request();
    m_runningDepth = outer;
    if (outer < 0)
        ScheduleWaiting();
}

void LoadGate::Enqueue(Kind kind, std::function<void()> request)
{
    if (kind == Kind::Folder)
        m_waiting.remove_if([](const Request &waiting) { return waiting.kind == Kind::Folder; });
    const auto firstDialog = kind == Kind::Dialog ? m_waiting.end()
                                                  : std::find_if(m_waiting.begin(), m_waiting.end(), [](const Request &waiting) {
                                                        return waiting.kind == Kind::Dialog;
                                                    });
    m_waiting.insert(firstDialog, Request{kind, std::move(request)});
}

void LoadGate::ScheduleWaiting()
{
    if (m_loading || m_runningDepth >= 0 || m_waiting.empty() || m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &LoadGate::RunWaiting);
}

void LoadGate::RunWaiting()
{
    m_scheduled = false;
    // One at a time: a request that starts a load leaves the rest waiting
    // for that load and for itself in turn.
    while (!m_loading && m_runningDepth < 0 && !m_waiting.empty()) {
        const Request next = std::move(m_waiting.front());
        m_waiting.pop_front();
        Run(next.run);
    }
}
