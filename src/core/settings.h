#pragma once

#include <QString>

#include <optional>

class ProfileStore;
struct ProgramState;

// The settings file "VoDaRadezu.INI": every read and write of the program
// goes through these two calls.
QString ReadSetting(const ProfileStore &profile, const QString &section, const QString &key,
                    const QString &defaultValue);
void WriteSetting(const ProfileStore &profile, const QString &section, const QString &key, const QString &value);

// Reads "FAV2"/"CNT" into FavCntText and FavCount (a negative or non-numeric
// count reads as "0"), then FAV0 up to FAV<count>, at most FAV30, into FavPath.
void ReadFavouriteSettings(const ProfileStore &profile, ProgramState &state);

// The stored "FAV2"/"CNT" as the index of the last favourite to read, at most
// 30; nullopt when it is no decimal integer or negative.
std::optional<int> LastFavouriteIndex(const QString &countText);

// "FAV" followed by the index in decimal.
QString FavouriteKey(int index);
