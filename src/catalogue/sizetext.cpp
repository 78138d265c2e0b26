#include "catalogue/sizetext.h"

#include <cmath>

namespace {
const QString Bytes = QStringLiteral("ﾊﾞｲﾄ");
const QString KiloBytes = QStringLiteral("KB");
const QString MegaBytes = QStringLiteral("MB");

// "###,###": thousands separated by commas, nothing for zero.
QString GroupThousands(qint64 value)
{
    if (value == 0)
        return QString();
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}

int IntegerDigits(qint64 value) { return static_cast<int>(QString::number(value).size()); }

// Megabytes for the sizes past the kilobyte rules: cut after two digits
// below 10, one below 100, none above, like the kilobyte texts.
QString Megabytes(qint64 bytes)
{
    const qint64 whole = bytes / (1024 * 1024);
    const int digits = whole < 10 ? 2 : whole < 100 ? 1 : 0;
    return CutDecimal(bytes, 1024 * 1024, digits);
}
} // namespace

QString CutDecimal(qint64 numerator, qint64 denominator, int maxDigits)
{
    if (denominator <= 0 || numerator < 0)
        return QString();
    QString text = QString::number(numerator / denominator);
    qint64 remainder = numerator % denominator;
    if (remainder == 0 || maxDigits <= 0)
        return text;
    text += QLatin1Char('.');
    for (int digit = 0; digit < maxDigits && remainder != 0; ++digit) {
        remainder *= 10;
        text += QChar('0' + static_cast<int>(remainder / denominator));
        remainder %= denominator;
    }
    return text;
}

SizeText FormatSizeText(qint64 bytes)
{
    if (bytes <= 0)
        return {QString(), Bytes};
    if (bytes <= 1023)
        return {GroupThousands(bytes), Bytes};
    if (bytes % 1024 == 0)
        return {QString::number(bytes / 1024), KiloBytes};
    const qint64 whole = bytes / 1024;
    switch (IntegerDigits(whole)) {
    case 1:
        return {CutDecimal(bytes, 1024, 2), KiloBytes};
    case 2:
        return {CutDecimal(bytes, 1024, 1), KiloBytes};
    case 3:
        return {QString::number(whole), KiloBytes};
    case 4: {
        const auto rounded = static_cast<qint64>(std::nearbyint(static_cast<double>(bytes) / 1024.0));
        if (rounded >= 1024)
            return {CutDecimal(rounded, 1024, 2), MegaBytes};
        return {Megabytes(bytes), MegaBytes};
    }
    default:
        return {Megabytes(bytes), MegaBytes};
    }
}

ThumbInfo ThumbInfoFor(const QString &entry, qint64 length)
{
    const SizeText size = length >= 0 ? FormatSizeText(length) : SizeText{QString(), QString()};
    return ThumbInfo{QStringLiteral("ﾌｧｲﾙ名: ") + entry, QStringLiteral("ﾌｧｲﾙｻｲｽﾞ: ") + size.text()};
}
