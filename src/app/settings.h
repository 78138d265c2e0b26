#pragma once

#include <QString>

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

// "FAV" followed by the index in decimal.
QString FavouriteKey(int index);
