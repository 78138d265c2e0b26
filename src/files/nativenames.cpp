#include "files/nativenames.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>

namespace NativeNames {

namespace {

constexpr char16_t ShownBackslash = u'＼';
constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;

// Length of the valid UTF-8 sequence starting at i, 0 when none starts there.
int Utf8SequenceAt(const QByteArray &bytes, qsizetype i)
{
    const auto byte = [&](qsizetype at) { return at < bytes.size() ? uchar(bytes[at]) : uchar(0); };
    const uchar lead = byte(i);
    if (lead < 0x80)
        return 1;
    const auto continuation = [&](qsizetype at) { return (byte(at) & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(i + 1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uchar second = byte(i + 1);
        // No overlong forms, no surrogates.
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F))
            return 0;
        return continuation(i + 1) && continuation(i + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uchar second = byte(i + 1);
        if ((lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return 0;
        return continuation(i + 1) && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    return 0;
}

bool ValidUtf8(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = Utf8SequenceAt(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// "\" and control characters as their visible stand-ins.
QString WithPictures(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\\'))
            c = QChar(ShownBackslash);
        else if (c.unicode() < 0x20)
            c = QChar(char16_t(ControlPictures + c.unicode()));
        else if (c.unicode() == 0x7F)
            c = QChar(DeletePicture);
    }
    return text;
}

std::optional<QString> Cp932(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.isEmpty())
        return std::nullopt;
    // Only a reading that gives back the very bytes counts.
    QStringEncoder encoder("windows-31j", QStringConverter::Flag::Stateless);
    if (encoder.encode(text) != bytes || encoder.hasError())
        return std::nullopt;
    return text;
}

// Bytes that do not decode as "%XX", the rest as UTF-8.
QString WithStandIns(const QByteArray &bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = Utf8SequenceAt(bytes, i);
        if (length == 0) {
            text += QStringLiteral("%%1").arg(uchar(bytes[i]), 2, 16, QLatin1Char('0')).toUpper();
            ++i;
        } else {
            text += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return text;
}

// "name (n).ext": the number before the extension, which keeps the name's type.
QString Numbered(const QString &shown, int number)
{
    const qsizetype dot = shown.lastIndexOf(QLatin1Char('.'));
    const QString suffix = QStringLiteral(" (%1)").arg(number);
    return dot > 0 ? shown.left(dot) + suffix + shown.mid(dot) : shown + suffix;
}

} // namespace

bool ShowsAsItIs(const QByteArray &name)
{
    // One pass, as every name of every folder listed comes through here.
    for (qsizetype i = 0; i < name.size();) {
        const uchar c = uchar(name[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F || c == '\\')
                return false;
            ++i;
            continue;
        }
        const int length = Utf8SequenceAt(name, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

QString Shown(const QByteArray &name)
{
    if (ValidUtf8(name))
        return WithPictures(QString::fromUtf8(name));
    if (const std::optional<QString> text = Cp932(name))
        return WithPictures(*text);
    return WithPictures(WithStandIns(name));
}

QByteArray Bytes(const QString &shown)
{
    QString text = shown;
    for (QChar &c : text) {
        if (c == QChar(ShownBackslash))
            c = QLatin1Char('\\');
        else if (c.unicode() >= ControlPictures && c.unicode() < ControlPictures + 0x20)
            c = QChar(char16_t(c.unicode() - ControlPictures));
        else if (c == QChar(DeletePicture))
            c = QChar(char16_t(0x7F));
    }
    return text.toUtf8();
}

std::vector<Listed> UniqueShownNames(std::vector<QByteArray> names)
{
    std::vector<Listed> listed;
    listed.reserve(names.size());
    std::vector<QByteArray> others;
    for (QByteArray &name : names) {
        if (ShowsAsItIs(name))
            listed.push_back(Listed{QString::fromUtf8(name), std::move(name), true});
        else
            others.push_back(std::move(name));
    }
    // Names that show as they are cannot show alike (their bytes differ) and
    // keep their text; the others, in byte order, take what is left.
    if (others.empty())
        return listed;
    std::sort(others.begin(), others.end());
    QHash<QString, int> taken;
    taken.reserve(static_cast<qsizetype>(listed.size() + others.size()));
    for (const Listed &name : listed)
        taken.insert(name.shown, 1);
    for (QByteArray &name : others) {
        const QString plain = Shown(name);
        QString shown = plain;
        for (int number = 2; taken.contains(shown); ++number)
            shown = Numbered(plain, number);
        taken.insert(shown, 1);
        listed.push_back(Listed{std::move(shown), std::move(name), false});
    }
    return listed;
}

} // namespace NativeNames
