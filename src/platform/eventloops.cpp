#include "platform/eventloops.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QList>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace EventLoops {

namespace {

// The window thread's own bookkeeping; only the window thread touches it.
struct State
{
    int yieldDepth = 0;
    bool mainLoopRunning = false;
    bool ending = false;
    int exitCode = 0;
    bool drainScheduled = false;
    QList<QPointer<QObject>> released;
    QList<QEventLoop *> waits;
    // When the events last ran, and how long a display frame lasts (-1: not
    // known yet).
    QElapsedTimer sinceEvents;
    long long frameMicroseconds = -1;
};

State &state()
{
    static State theState;
    return theState;
}

void Drain();

void ScheduleDrain(int milliseconds)
{
    State &s = state();
    if (s.drainScheduled || !QCoreApplication::instance())
        return;
    s.drainScheduled = true;
    QTimer::singleShot(milliseconds, QCoreApplication::instance(), &Drain);
}

// Frees what was released and ends the main loop when asked to, once
// control is back in the outermost loop; until then it looks again now and
// then.
void Drain()
{
    State &s = state();
    s.drainScheduled = false;
    if (!atOutermost()) {
        ScheduleDrain(50);
        return;
    }
    releaseDue();
    if (s.ending && s.mainLoopRunning)
        QCoreApplication::exit(s.exitCode);
}

// A nested loop or yield has returned: what waited for the outermost loop
// may be due soon.
void AfterNested()
{
    State &s = state();
    s.sinceEvents.start();
    if (!s.released.isEmpty() || (s.ending && s.mainLoopRunning))
        ScheduleDrain(0);
}

} // namespace

void yield()
{
    State &s = state();
    if (s.ending)
        return;
    ++s.yieldDepth;
    QCoreApplication::processEvents();
    --s.yieldDepth;
    AfterNested();
}

long long frameInterval()
{
    State &s = state();
    if (s.frameMicroseconds < 0) {
        // The screen's refresh rate, within what displays have (offscreen reports 60).
        const auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
        const qreal rate = gui && QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->refreshRate() : 60.0;
        s.frameMicroseconds = static_cast<long long>(1e6 / std::clamp<qreal>(rate, 30.0, 240.0));
    }
    return s.frameMicroseconds;
}

void setFrameInterval(long long microseconds) { state().frameMicroseconds = std::max(0LL, microseconds); }

long long microsecondsToFrame()
{
    const State &s = state();
    const long long interval = frameInterval();
    if (!s.sinceEvents.isValid())
        return 0;
    return std::max(0LL, interval - s.sinceEvents.nsecsElapsed() / 1000);
}

bool frameDue() { return microsecondsToFrame() == 0; }

void yieldForFrame()
{
    if (frameDue())
        yield();
}

int depth()
{
    const State &s = state();
    return s.yieldDepth + std::max(0, QThread::currentThread()->loopLevel() - (s.mainLoopRunning ? 1 : 0));
}

bool atOutermost() { return depth() == 0; }

void releaseWhenOutermost(QObject *object)
{
    if (!object)
        return;
    state().released.append(QPointer<QObject>(object));
    ScheduleDrain(0);
}

void releaseDue()
{
    if (!atOutermost())
        return;
    const QList<QPointer<QObject>> released = std::exchange(state().released, {});
    for (const QPointer<QObject> &object : released)
        delete object.data();
}

int runMainLoop()
{
    State &s = state();
    if (s.ending)
        return s.exitCode;
    s.mainLoopRunning = true;
    const int code = QCoreApplication::exec();
    s.mainLoopRunning = false;
    return s.ending ? s.exitCode : code;
}

void endProgram(int code)
{
    State &s = state();
    if (!s.ending) {
        s.ending = true;
        s.exitCode = code;
    }
    for (QEventLoop *loop : std::as_const(s.waits))
        loop->quit();
    ScheduleDrain(0);
}

bool ending() { return state().ending; }

void wait(QEventLoop &loop, int flags)
{
    State &s = state();
    if (s.ending)
        return;
    s.waits.append(&loop);
    loop.exec(QEventLoop::ProcessEventsFlags(flags));
    s.waits.removeOne(&loop);
    AfterNested();
}

} // namespace EventLoops
