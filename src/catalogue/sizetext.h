#pragma once

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

// Exact decimal digits of numerator / denominator cut (not rounded) after at
// most maxDigits fraction digits, without trailing zeros being added:
// (1025, 1024, 2) gives "1.00", (1536, 1024, 2) gives "1.5".
QString CutDecimal(qint64 numerator, qint64 denominator, int maxDigits);
