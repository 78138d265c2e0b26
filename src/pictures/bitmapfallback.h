#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// Readers for valid bitmap, icon and cursor files that Qt's own readers
// refuse: bitmaps with the 52- and 56-byte info headers (given to Qt as the
// version 4 header they extend), and icon or cursor pictures Qt cannot take
// (decoded from their device-independent bitmap and AND mask). Every size
// and offset is checked against the bytes that are there.
namespace BitmapFallback {

std::optional<QImage> ReadBmp(const QByteArray &file);
// The largest picture of an icon (type 1) or cursor (type 2) file.
std::optional<QImage> ReadIcon(const QByteArray &file);

// Pictures larger than this are not decoded here.
constexpr qint64 MaximumPixels = 16LL * 1024 * 1024;

} // namespace BitmapFallback
