#include "platform/filecalls.h"

#include "platform/eventloops.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <limits>

namespace {
// How often a wait with its events looks at its calls.
constexpr int TurnMilliseconds = 5;
// A call that ends within this blocks the window thread no longer than that.
constexpr long long BlockMicroseconds = 2000;
} // namespace

bool FileCalls::Flight::isDone()
{
    const std::lock_guard<std::mutex> guard(lock);
    return done;
}

bool FileCalls::Flight::waitFor(long long microseconds)
{
    std::unique_lock<std::mutex> guard(lock);
    return ended.wait_for(guard, std::chrono::microseconds(std::max(0LL, microseconds)), [this] { return done; });
}

FileCalls::Scope::Scope(FileCalls &calls, Patience patience) : m_calls(calls)
{
    m_calls.m_scopes.append(Waiting{std::move(patience), EventLoops::depth()});
}

FileCalls::Scope::~Scope() { m_calls.m_scopes.removeLast(); }

FileCalls::FileCalls() : m_pool(new QThreadPool)
{
    // Threads that wait for a share that does not answer are lost to the
    // pool until it answers; there are enough for every other question.
    m_pool->setMaxThreadCount(16);
}

FileCalls::~FileCalls()
{
    for (const std::shared_ptr<Flight> &flight : std::as_const(m_flights)) {
        std::unique_lock<std::mutex> guard(flight->lock);
        flight->ended.wait(guard, [&] { return flight->finished; });
    }
    delete m_pool;
}

bool FileCalls::OnWindowThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

int FileCalls::running() const
{
    return int(std::count_if(m_flights.begin(), m_flights.end(),
                             [](const std::shared_ptr<Flight> &flight) { return !flight->isDone(); }));
}

FileCalls::Patience FileCalls::CurrentPatience() const
{
    const int depth = EventLoops::depth();
    for (auto scope = m_scopes.crbegin(); scope != m_scopes.crend(); ++scope)
        if (scope->depth == depth)
            return scope->patience;
    return Patience();
}

std::shared_ptr<FileCalls::Flight> FileCalls::flightFor(const QString &key, const std::shared_ptr<Call> &call)
{
    // Late answers nobody asked for again are forgotten.
    for (auto it = m_flights.begin(); it != m_flights.end();) {
        const std::shared_ptr<Flight> &flight = *it;
        if (flight->isDone() && flight->kept && flight->endedAt.elapsed() > LateAnswerKept)
            it = m_flights.erase(it);
        else
            ++it;
    }
    // Running, just ended for a waiter further out, or come late.
    if (const std::shared_ptr<Flight> known = m_flights.value(key))
        return known;
    auto flight = std::make_shared<Flight>();
    flight->call = call;
    flight->started.start();
    m_flights.insert(key, flight);
    Start(flight);
    return flight;
}

void FileCalls::Start(const std::shared_ptr<Flight> &flight)
{
    m_pool->start([this, flight] {
        flight->call->run();
        {
            const std::lock_guard<std::mutex> guard(flight->lock);
            flight->done = true;
            flight->endedAt.start();
        }
        flight->ended.notify_all();
        QMetaObject::invokeMethod(
            this,
            [this, flight] {
                emit callEnded();
                if (flight->gaveUp)
                    emit lateAnswer();
            },
            Qt::QueuedConnection);
        // From here on the runner may be gone.
        {
            const std::lock_guard<std::mutex> guard(flight->lock);
            flight->finished = true;
        }
        flight->ended.notify_all();
    });
}

bool FileCalls::Wait(const QList<std::shared_ptr<Flight>> &flights, const Patience &patience)
{
    const auto allDone = [&] {
        return std::all_of(flights.begin(), flights.end(), [](const std::shared_ptr<Flight> &f) { return f->isDone(); });
    };
    // Milliseconds left before the patience of the flight that started last runs out.
    const auto left = [&]() -> long long {
        if (patience.deadline < 0)
            return std::numeric_limits<long long>::max() / 1000;
        long long youngest = std::numeric_limits<long long>::max();
        for (const std::shared_ptr<Flight> &flight : flights)
            youngest = std::min(youngest, flight->started.elapsed());
        return patience.deadline - youngest;
    };
    if (allDone())
        return true;
    if (left() <= 0)
        return false;

    // A call that ends at once keeps the window thread for no longer than a frame.
    const long long block = std::min(std::max(BlockMicroseconds, EventLoops::microsecondsToFrame()), left() * 1000);
    QElapsedTimer blocked;
    blocked.start();
    for (const std::shared_ptr<Flight> &flight : flights)
        if (!flight->waitFor(block - blocked.nsecsElapsed() / 1000))
            break;
    if (allDone())
        return true;
    if (EventLoops::ending())
        return false;

    QElapsedTimer waited;
    waited.start();
    bool slow = false;
    bool busyPointer = false;
    QEventLoop loop;
    QTimer turn;
    turn.setInterval(TurnMilliseconds);
    QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
        if (allDone() || left() <= 0 || (patience.giveUp && patience.giveUp())) {
            loop.quit();
            return;
        }
        if (!slow && waited.elapsed() + blocked.elapsed() >= Moment) {
            slow = true;
            if (patience.whenSlow) {
                patience.whenSlow();
            } else if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
                QGuiApplication::setOverrideCursor(Qt::WaitCursor);
                busyPointer = true;
            }
        }
    });
    turn.start();
    // Woken as soon as a call ends, not at the next turn.
    QObject::connect(this, &FileCalls::callEnded, &loop, [&] {
        if (allDone())
            loop.quit();
    });
    EventLoops::wait(loop, patience.userInput ? 0 : QEventLoop::ExcludeUserInputEvents);
    if (busyPointer)
        QGuiApplication::restoreOverrideCursor();
    return allDone();
}

void FileCalls::Settle(const QStringList &keys, const QList<std::shared_ptr<Flight>> &flights)
{
    for (qsizetype i = 0; i < flights.size(); ++i) {
        const std::shared_ptr<Flight> &flight = flights[i];
        if (m_flights.value(keys[i]) != flight)
            continue;
        if (flight->isDone()) {
            m_flights.remove(keys[i]);
        } else {
            flight->kept = true;
            flight->gaveUp = true;
        }
    }
}

std::shared_ptr<FileCallRunner::Call> FileCalls::run(const QString &key, std::shared_ptr<Call> call)
{
    if (!OnWindowThread()) {
        call->run();
        return call;
    }
    const std::shared_ptr<Flight> flight = flightFor(key, call);
    const bool done = Wait({flight}, CurrentPatience());
    Settle({key}, {flight});
    return done ? flight->call : nullptr;
}

void FileCalls::start(const QString &key, std::shared_ptr<Call> call)
{
    if (!OnWindowThread())
        return;
    const std::shared_ptr<Flight> flight = flightFor(key, call);
    flight->kept = true;
}

QList<std::shared_ptr<FileCallRunner::Call>> FileCalls::runAll(const QStringList &keys,
                                                              const QList<std::shared_ptr<Call>> &calls, int deadline)
{
    QList<std::shared_ptr<Call>> answers;
    if (!OnWindowThread()) {
        for (const std::shared_ptr<Call> &call : calls) {
            call->run();
            answers.append(call);
        }
        return answers;
    }
    QList<std::shared_ptr<Flight>> flights;
    for (qsizetype i = 0; i < calls.size(); ++i)
        flights.append(flightFor(keys[i], calls[i]));
    Patience patience;
    patience.deadline = deadline;
    // Each flight waits for the time left of its own patience; one already
    // past it is not waited for.
    QList<std::shared_ptr<Flight>> pending;
    for (const std::shared_ptr<Flight> &flight : flights)
        if (!flight->isDone() && flight->started.elapsed() < deadline)
            pending.append(flight);
    if (!pending.isEmpty())
        Wait(pending, patience);
    for (const std::shared_ptr<Flight> &flight : flights)
        answers.append(flight->isDone() ? flight->call : nullptr);
    Settle(keys, flights);
    return answers;
}
