#include "app/settings.h"

#include "app/programstate.h"
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

void ReadFavouriteSettings(const ProfileStore &profile, ProgramState &state)
{
    state.FavCount = 0;
    state.FavCntText = ReadSetting(profile, QStringLiteral("FAV2"), QStringLiteral("CNT"), QStringLiteral("0"));
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    bool ok = decimal.match(state.FavCntText).hasMatch();
    const qlonglong count = ok ? state.FavCntText.toLongLong(&ok) : 0;
    if (!ok || count < 0) {
        state.FavCntText = QStringLiteral("0");
        state.FavCount = 0;
    } else {
        state.FavCount = static_cast<std::int16_t>(std::min<qlonglong>(count, 30));
    }
    for (int i = 0; i <= state.FavCount && i <= 30; ++i)
        state.FavPath[i] = ReadSetting(profile, QStringLiteral("FAV"), FavouriteKey(i), QStringLiteral(" "));
}
