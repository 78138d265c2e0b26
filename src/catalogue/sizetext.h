#pragma once

#include "core/programstate.h"

#include <QString>

// The size text of a file for the hover box: a number and a unit with no
// space between ("1.5KB", "512ﾊﾞｲﾄ", "1.50MB").
struct SizeText
{
    QString number;
    QString unit;
    QString text() const { return number + unit; }
};

SizeText FormatSizeText(qint64 bytes);

// The hover box's texts of a thumbnail of a file named entry, length bytes
// long; a file whose length cannot be read (-1: gone since it was listed)
// shows no size.
ThumbInfo ThumbInfoFor(const QString &entry, qint64 length);

// Exact decimal digits of numerator / denominator cut (not rounded) after at
// most maxDigits fraction digits, without trailing zeros being added:
// (1025, 1024, 2) gives "1.00", (1536, 1024, 2) gives "1.5".
QString CutDecimal(qint64 numerator, qint64 denominator, int maxDigits);
