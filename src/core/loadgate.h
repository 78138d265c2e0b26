#pragma once

#include <QObject>

#include <functional>
#include <list>

// Keeps a catalogue load from starting inside another. The engine yields to
// the event loop while it works, and after "中止" the main window takes input
// again while the file in hand is finished; a folder chosen in that moment
// must not reset the catalogue under the running load. Requests that change
// the folder, rebuild the catalogue or open a dialog go through whenIdle:
// they run at once when nothing is running, otherwise once the load (and
// the request that started it) has returned, one after another:
// - of several folder changes only the latest runs, so the user ends on the
//   folder asked for last;
// - steps that keep the tree in step (a node opened or closed) and the
//   re-display all run, in their order;
// - dialogs open after the waiting folder changes and steps, in their order,
//   so that no load starts under an open dialog.
// What a running request asks for in turn (outside any yield of its own)
// belongs to it and runs with it at once.
class LoadGate : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Folder, InOrder, Dialog };

    explicit LoadGate(QObject *parent = nullptr) : QObject(parent) {}

    bool loading() const { return m_loading; }
    // The engine marks its run; when it ends, the waiting requests follow
    // as soon as control is back in the event loop.
    void setLoading(bool loading);

    void whenIdle(Kind kind, std::function<void()> request);
    // True when a folder change waits: what works for the present folder
    // may give up, the person has chosen another.
    bool folderWaiting() const;

private:
    struct Request
    {
        Kind kind;
        std::function<void()> run;
    };
    void Run(const std::function<void()> &request);
    void Enqueue(Kind kind, std::function<void()> request);
    void ScheduleWaiting();
    void RunWaiting();

    bool m_loading = false;
    bool m_scheduled = false;
    // The depth of nested loops the running request runs at; -1 when none runs.
    int m_runningDepth = -1;
    std::list<Request> m_waiting;
};
