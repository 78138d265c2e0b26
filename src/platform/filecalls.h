#pragma once

#include "files/filecallrunner.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThreadPool;

// The window thread's way of asking the disk. Each call runs on a thread
// of its own while the window thread waits: for a call that ends at once
// (a local disk) it just blocks, for at most a display frame; after that
// it waits in a nested event loop (EventLoops::wait), so the window repaints
// and answers the window manager, until the call ends, its patience runs
// out or the program ends. A call that does not end in time counts as one
// that failed: its thread goes on alone, and asking the same thing again
// joins it rather than starting another, so a share that never answers
// costs one thread per question, never the window. An answer that comes
// after its wait gave up is kept for a while for the next asker: a slow
// share's folders show as soon as it answers (lateAnswer).
//
// Calls from other threads run in place.
class FileCalls : public QObject, public FileCallRunner
{
    Q_OBJECT

public:
    // How a wait on the window thread behaves.
    struct Patience
    {
        // Milliseconds after which a call counts as not answering; -1 for
        // no limit (the wait then ends only with the call, giveUp or the
        // end of the program).
        int deadline = DefaultDeadline;
        // Whether clicks and keys are taken during the wait; otherwise they
        // wait for it (the window still repaints and can be closed).
        bool userInput = false;
        // Asked at every turn of the wait: true ends it, the call unanswered.
        std::function<bool()> giveUp;
        // Called once when the call has taken longer than a moment; without
        // it the pointer shows that the program is busy.
        std::function<void()> whenSlow;
    };
    // The patience of a call nobody set one for: reading the tree, checking
    // a folder before it is chosen.
    static constexpr int DefaultDeadline = 1000;
    // How long the drives' probes may take together.
    static constexpr int ProbeDeadline = 300;
    // How long a call may take before the program shows that it works.
    static constexpr int Moment = 100;
    // How long an answer that came too late is kept for the next asker.
    static constexpr int LateAnswerKept = 30000;

    // Sets the patience of the calls made at the same depth of nested event
    // loops while it lives (a call made by a handler that runs during the
    // wait of another gets its own).
    class Scope
    {
    public:
        Scope(FileCalls &calls, Patience patience);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        FileCalls &m_calls;
    };

    FileCalls();
    // Waits for the calls still running (a program that ends with a call
    // that never answers ends without destroying its context).
    ~FileCalls() override;
    FileCalls(const FileCalls &) = delete;
    FileCalls &operator=(const FileCalls &) = delete;

    std::shared_ptr<Call> run(const QString &key, std::shared_ptr<Call> call) override;
    void start(const QString &key, std::shared_ptr<Call> call) override;
    // Runs the calls side by side and waits for them all at most deadline
    // milliseconds: for each, the call whose result to read, or nullptr.
    QList<std::shared_ptr<Call>> runAll(const QStringList &keys, const QList<std::shared_ptr<Call>> &calls, int deadline);

    // Calls started that have not ended (some may never end).
    int running() const;

signals:
    // A call whose wait gave up has ended: asking again now gets its answer.
    void lateAnswer();
    // A call has ended (on the window thread, soon after).
    void callEnded();

private:
    struct Flight
    {
        std::shared_ptr<Call> call;
        QElapsedTimer started;
        std::mutex lock;
        std::condition_variable ended;
        bool done = false;
        // Its thread no longer touches the runner.
        bool finished = false;
        // Nobody waits for it: the answer, when it comes, is kept a while.
        bool kept = false;
        // A wait for it gave up (lateAnswer tells when it ends).
        std::atomic<bool> gaveUp = false;
        QElapsedTimer endedAt;
        bool isDone();
        // Blocks until the flight is done or the time is up.
        bool waitFor(long long microseconds);
    };
    struct Waiting
    {
        Patience patience;
        int depth;
    };

    // The flight of a key: the one running, a late answer, or a new one.
    std::shared_ptr<Flight> flightFor(const QString &key, const std::shared_ptr<Call> &call);
    void Start(const std::shared_ptr<Flight> &flight);
    // Waits for the flights with the patience; true when all are done.
    bool Wait(const QList<std::shared_ptr<Flight>> &flights, const Patience &patience);
    // Takes the flights' answers out of the table, or leaves them to come late.
    void Settle(const QStringList &keys, const QList<std::shared_ptr<Flight>> &flights);
    Patience CurrentPatience() const;
    static bool OnWindowThread();

    QThreadPool *m_pool;
    // Only the window thread touches the table and the scopes.
    QHash<QString, std::shared_ptr<Flight>> m_flights;
    QList<Waiting> m_scopes;
};
