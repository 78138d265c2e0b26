#pragma once

#include <QObject>

#include <functional>
#include <list>

// Keeps a catalogue load from starting inside another. The engine yields to
// the event loop while it works, and after "中止" the main window takes input
// again while the file in hand is finished; a folder chosen in that moment
// must not reset the catalogue under the running load. Requests that would
// change the folder or rebuild the catalogue go through whenIdle: they run
// at once when no load is running, otherwise once the load has returned,
// and of several such requests only the latest runs, so the user ends on
// the folder asked for last. Requests that only keep the tree in step (a
// node opened or closed) wait too but all run, in their order.
class LoadGate : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Folder, Tree };

    explicit LoadGate(QObject *parent = nullptr) : QObject(parent) {}

    bool loading() const { return m_loading; }
    // The engine marks its run; when it ends, the waiting requests follow
    // as soon as control is back in the event loop.
    void setLoading(bool loading);

    void whenIdle(Kind kind, std::function<void()> request);

private:
    struct Request
    {
        Kind kind;
        std::function<void()> run;
    };
    void RunWaiting();

    bool m_loading = false;
    bool m_scheduled = false;
    bool m_runningWaiting = false;
    std::list<Request> m_waiting;
};
