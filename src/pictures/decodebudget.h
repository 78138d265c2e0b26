#pragma once

#include <QtGlobal>

#include <atomic>
#include <optional>

// The memory every picture decode of the program draws on, thumbnails,
// preview, viewer and full screen alike. A decode works out from the file's
// header how much it needs before it decodes a pixel and reserves that much
// here; a picture that needs more than the whole budget cannot be decoded,
// and decodes running side by side on several threads never hold more than
// the budget together (a reservation waits until the others have given
// enough back).
namespace DecodeBudget {

constexpr qint64 Bytes = 512LL * 1024 * 1024;

// A part of the budget, held until the reservation is destroyed.
class Reservation
{
public:
    Reservation(Reservation &&other) noexcept : m_bytes(other.m_bytes) { other.m_bytes = 0; }
    Reservation &operator=(Reservation &&other) = delete;
    Reservation(const Reservation &) = delete;
    Reservation &operator=(const Reservation &) = delete;
    ~Reservation();

    qint64 bytes() const { return m_bytes; }

private:
    explicit Reservation(qint64 bytes) : m_bytes(bytes) {}
    friend std::optional<Reservation> Reserve(qint64 bytes, const std::atomic<bool> *cancelled);
    qint64 m_bytes;
};

// Reserves bytes, waiting while other decodes hold too much; nullopt when
// the bytes are more than the whole budget, or when cancelled turns true
// while it waits.
std::optional<Reservation> Reserve(qint64 bytes, const std::atomic<bool> *cancelled = nullptr);

// Bytes reserved at this moment.
qint64 InUse();

} // namespace DecodeBudget
