#include "core/settings.h"

#include "core/programstate.h"
#include "platform/profilestore.h"

#include <QRegularExpression>

QString ReadSetting(const ProfileStore &profile, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    return profile.read(section, key, defaultValue, 256);
}

void WriteSetting(const ProfileStore &profile, const QString &section, const QString &key, const QString &value)
{
    profile.write(section, key, value);
}

QString FavouriteKey(int index) { return QStringLiteral("FAV%1").arg(index); }

std::optional<int> LastFavouriteIndex(const QString &countText)
{
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!decimal.match(countText).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong count = countText.toLongLong(&ok);
    if (!ok)
        // Too many digits for a number: a count far above 30, or far below 0.
        return countText.startsWith(QLatin1Char('-')) ? std::nullopt : std::optional<int>(30);
    if (count < 0)
        return std::nullopt;
    return static_cast<int>(std::min<qlonglong>(count, 30));
}

void ReadFavouriteSettings(const ProfileStore &profile, ProgramState &state)
{
    state.FavCount = 0;
    state.FavCntText = ReadSetting(profile, QStringLiteral("FAV2"), QStringLiteral("CNT"), QStringLiteral("0"));
    if (const std::optional<int> last = LastFavouriteIndex(state.FavCntText)) {
        state.FavCount = static_cast<std::int16_t>(*last);
    } else {
        state.FavCntText = QStringLiteral("0");
        state.FavCount = 0;
    }
    for (int i = 0; i <= state.FavCount && i <= 30; ++i)
        state.FavPath[i] = ReadSetting(profile, QStringLiteral("FAV"), FavouriteKey(i), QStringLiteral(" "));
}
