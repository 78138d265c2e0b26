#pragma once

#include <QObject>
#include <QString>

#include <optional>

class Form1;
struct ProgramState;

// The favourite folders: held as the entries of the main window's
// favourites menu, added from the selected tree node, stored in the
// settings file, and opened by walking the tree to them.
class Favourites : public QObject
{
    Q_OBJECT

public:
    Favourites(Form1 &mainWindow, ProgramState &state, QObject *parent = nullptr);

    // The folder path a tree node stands for; nullopt for My Computer.
    std::optional<QString> PathOfKey(const QString &key) const;

    // The add command: the selected node's folder becomes the last favourite.
    void AddFavourite();
    // Opens the favourite of menu entry index.
    void OKINIIRICLK(int index);
    // Replaces the menu entries 0 to deletedBase with the favourites of the
    // settings file (after the settings dialog deleted some).
    void RebuildMenu(int deletedBase);

    static constexpr int MaximumCount = 30;

signals:
    // A favourite was added to the menu.
    void added();

private:
    void OpenFolder(const QString &path);
    void ShowFullMessage();
    // The menu shows exactly these favourites.
    void ShowList(const QStringList &list);

    Form1 &m_main;
    ProgramState &m_state;
};
