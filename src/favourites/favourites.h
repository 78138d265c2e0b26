#pragma once

#include "core/favouritesmenu.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class FileList;
class FolderNavigation;
class KeyedTree;
class LoadGate;
class PlatformContext;
class QAction;
class QMenu;
class QWidget;
struct MainWindowState;
struct ProgramState;

// What the favourites work on: the main window's favourites menu and the
// tree and file list a favourite opens.
struct FavouritesParts
{
    // Carries the wait pointer; owns the messages.
    QWidget *mainWindow;
    // The menu "お気に入り(&A)" and its entries (entry 0 is made here).
    QMenu *favouritesMenu;
    QList<QAction *> &favouriteEntries;
    KeyedTree *treeView;
    FileList *fileList;
    FolderNavigation &navigation;
    PlatformContext &context;
    ProgramState &state;
    MainWindowState &window;
    LoadGate &gate;
};

// The favourite folders: held as the entries of the main window's
// favourites menu, added from the selected tree node, stored in the
// settings file, and opened by walking the tree to them.
class Favourites : public QObject, public FavouritesMenu
{
    Q_OBJECT

public:
    explicit Favourites(const FavouritesParts &parts, QObject *parent = nullptr);

    // Start-up: entries 0 to FavCount with the stored paths (FavPath), entry 0
    // hidden when it is empty; FavCount then counts the entries.
    void FillMenu();
    // Favourites menu entry index as a new copy of entry 0, or its removal
    // (entry 0 always stays).
    void CreateFavouriteEntry(int index);
    void RemoveFavouriteEntry(int index);
    // The path an entry holds; its caption shows the path exactly as stored
    // ("&" included, never as an access key).
    void SetFavouritePath(int index, const QString &path);

    int EntryCount() const override;
    QString FavouritePath(int index) const override;
    bool FirstEntryShown() const override;
    QStringList ShownFavourites() const override;

    // The folder path a tree node stands for; nullopt for My Computer.
    std::optional<QString> PathOfKey(const QString &key) const;

    // The add command: the selected node's folder becomes the last favourite.
    void AddFavourite();
    // Opens the favourite of menu entry index.
    void OpenFavourite(int index) override;
    // Replaces the menu entries 0 to deletedBase with the favourites of the
    // settings file (after the settings dialog deleted some).
    void RebuildMenu(int deletedBase) override;

    static constexpr int MaximumCount = 30;

signals:
    // A favourite was added to the menu.
    void added();

private:
    void OpenFolder(const QString &path);
    void ShowFullMessage();
    // The menu shows exactly these favourites.
    void ShowList(const QStringList &list);

    FavouritesParts m_parts;
    ProgramState &m_state;
};
