#include "pictures/decodebudget.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace DecodeBudget {

namespace {

// The account is the process's own, like the allocator it stands for. It is
// never destroyed: a decode abandoned by a closing window may still give its
// part back while the process ends.
struct Account
{
    std::mutex mutex;
    std::condition_variable released;
    qint64 inUse = 0;
};

Account &account()
{
    static Account *instance = new Account;
    return *instance;
}

} // namespace

Reservation::~Reservation()
{
    if (m_bytes <= 0)
        return;
    Account &books = account();
    {
        const std::lock_guard<std::mutex> lock(books.mutex);
        books.inUse -= m_bytes;
    }
    books.released.notify_all();
}

std::optional<Reservation> Reserve(qint64 bytes, const std::atomic<bool> *cancelled)
{
    if (bytes < 0 || bytes > Bytes)
        return std::nullopt;
    Account &books = account();
    std::unique_lock<std::mutex> lock(books.mutex);
    while (books.inUse + bytes > Bytes) {
        if (cancelled && cancelled->load())
            return std::nullopt;
        // Woken by every release; the timeout only lets a cancel be seen.
        books.released.wait_for(lock, std::chrono::milliseconds(20));
    }
    if (cancelled && cancelled->load())
        return std::nullopt;
    books.inUse += bytes;
    return Reservation(bytes);
}

qint64 InUse()
{
    Account &books = account();
    const std::lock_guard<std::mutex> lock(books.mutex);
    return books.inUse;
}

} // namespace DecodeBudget
