#pragma once

class QEventLoop;
class QObject;

// The window thread's event loops, and what may happen in them. The program
// lets pending events run in the middle of its handlers (a yield, or a wait
// for a worker), so a click, a key or a close can arrive while a handler of
// some window is still on the stack. Three rules keep that safe:
//
// - a window is never freed while its code may be on the stack: closing it
//   hides it and marks it unloaded, and releaseWhenOutermost frees it once
//   control is back in the outermost event loop, where no handler runs;
// - every nested loop goes through yield or a Wait, so that the program
//   knows how deep it is;
// - ending the program (endProgram) makes every wait return at once and
//   ends the main loop when control is back in it, also when it was asked
//   for before the main loop started.
namespace EventLoops {

// Lets pending events run once. While the program is ending, returns at once.
void yield();

// Display frames. A step repeated for many small files yields through
// yieldForFrame: the events run (and what changed is painted) when a display
// frame has passed since they last ran, else the call returns at once. A
// person sees no more than the screen shows, and a click still lands within
// a frame.
void yieldForFrame();
// True when a display frame has passed since the events last ran.
bool frameDue();
// Microseconds until a frame will have passed since the events last ran (0
// when one has).
long long microsecondsToFrame();
// The frame's length in microseconds: the primary screen's refresh interval
// unless set; 0 makes every yieldForFrame a yield.
void setFrameInterval(long long microseconds);
long long frameInterval();

// How many nested loops and yields the window thread is in (the main loop
// not counted).
int depth();
// True when no handler of the program waits in a nested loop or a yield:
// what runs now was called by the outermost event loop (or by main).
bool atOutermost();

// Frees the object once control is back in the outermost event loop. The
// object may be freed before that by its owner; it is then forgotten.
void releaseWhenOutermost(QObject *object);
// Frees what was released, when called from the outermost loop (a test's
// own); else does nothing.
void releaseDue();

// The application's main loop: returns its exit code, at once when the
// program was ended before it began.
int runMainLoop();

// Ends the program with an exit code: every wait returns, and the main loop
// ends once the handlers on the stack have returned.
void endProgram(int code);
bool ending();

// Runs a nested event loop until it is told to quit, or at once returns
// when the program is ending (the loop is told to quit when it begins to).
// flags are QEventLoop::ProcessEventsFlags.
void wait(QEventLoop &loop, int flags = 0);

// Keeps a handler from being entered again from a yield of its own: a
// second entry while the first runs finds the flag taken and does nothing.
//     const EventLoops::OneAtATime once(m_closing);
//     if (!once.entered()) return;
class OneAtATime
{
public:
    explicit OneAtATime(bool &running) : m_running(running), m_entered(!running) { running = true; }
    ~OneAtATime()
    {
        if (m_entered)
            m_running = false;
    }
    OneAtATime(const OneAtATime &) = delete;
    OneAtATime &operator=(const OneAtATime &) = delete;

    bool entered() const { return m_entered; }

private:
    bool &m_running;
    bool m_entered;
};

} // namespace EventLoops
