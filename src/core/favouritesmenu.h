#pragma once

#include <QString>
#include <QStringList>

// The favourites menu of the main window (the menu entries under
// "お気に入り(&A)") as the settings dialog's favourites page reads, rebuilds and
// opens it. The favourites feature implements it.
class FavouritesMenu
{
public:
    virtual ~FavouritesMenu() = default;

    // Number of menu entries that exist (entry 0 always does).
    virtual int EntryCount() const = 0;
    // The path entry index holds, exactly as stored.
    virtual QString FavouritePath(int index) const = 0;
    // Entry 0 is shown: there are favourites.
    virtual bool FirstEntryShown() const = 0;
    // The paths of the entries the menu shows, in order.
    virtual QStringList ShownFavourites() const = 0;
    // Replaces the entries 0 to deletedBase with the favourites the settings
    // file holds (FavPath and FavCount as just read back).
    virtual void RebuildMenu(int deletedBase) = 0;
    // Opens the favourite of entry index.
    virtual void OpenFavourite(int index) = 0;
};
