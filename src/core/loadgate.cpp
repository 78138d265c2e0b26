#include "core/loadgate.h"

#include <QTimer>

void LoadGate::setLoading(bool loading)
{
    m_loading = loading;
    if (!loading && !m_waiting.empty() && !m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &LoadGate::RunWaiting);
    }
}

void LoadGate::whenIdle(Kind kind, std::function<void()> request)
{
    // What a waiting request does in turn (its own folder change) belongs
    // to it and runs with it.
    if (!m_loading && (m_waiting.empty() || m_runningWaiting)) {
        request();
        return;
    }
    if (kind == Kind::Folder)
        m_waiting.remove_if([](const Request &waiting) { return waiting.kind == Kind::Folder; });
    m_waiting.push_back(Request{kind, std::move(request)});
    if (!m_loading && !m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &LoadGate::RunWaiting);
    }
}

void LoadGate::RunWaiting()
{
    m_scheduled = false;
    // One at a time: a request that starts a load leaves the rest waiting
    // for that load in turn.
    while (!m_loading && !m_waiting.empty()) {
        Request next = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_runningWaiting = true;
        next.run();
        m_runningWaiting = false;
    }
}
