#pragma once

#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// Keeps a test that feeds the program outside files within a memory bound.
// A thread reads the process's resident size every few milliseconds; past
// the bound it prints what the test was doing (the file's name) and ends the
// process with a failure, so a picture that would take the machine fails the
// test by name instead of being killed by the system.
class MemoryWatch
{
public:
    explicit MemoryWatch(qint64 boundBytes = defaultBound());
    ~MemoryWatch();
    MemoryWatch(const MemoryWatch &) = delete;
    MemoryWatch &operator=(const MemoryWatch &) = delete;

    void setDoing(const QString &what);

    // 2 GB; twice that under AddressSanitizer, whose shadow and quarantine
    // count as resident too.
    static qint64 defaultBound();
    // Resident and peak resident size of this process, in bytes.
    static qint64 residentBytes();
    static qint64 peakBytes();
    // Starts the peak over from the present resident size.
    static void resetPeak();

private:
    void watch();

    qint64 m_bound;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    QByteArray m_doing;
    std::thread m_thread;
};
