#pragma once

#include <QObject>
#include <QString>

class Form1;
class FolderTree;
class KeyedTree;
class QTreeWidgetItem;

// What the folder tree does when the user opens, closes and clicks its
// nodes: one more generation is read at each opening, removable and CD-ROM
// drives are read only when opened, a click on a folder shows its pictures,
// and the open-folder image follows the current folder. Also the walk to a
// stored path and the re-display command.
class FolderNavigation : public QObject
{
    Q_OBJECT

public:
    FolderNavigation(Form1 &mainWindow, FolderTree &folders, QObject *parent = nullptr);

    void ExpandHandler(const QString &key);
    void ExpandChildren(const QString &key);
    void CollapseHandler(const QString &key);
    void NodeClick(const QString &key);
    void SelectPathInTree(const QString &key);
    // The re-display command; while a load ends, it waits for it.
    void Redisplay();

private:
    void RedisplayNow();
    bool IsSelected(const QString &key) const;
    void SetImage(const QString &key, const QString &image);
    static bool IsRootKey(const QString &key);
    static bool NamesFolder(const QString &key);

    Form1 &m_main;
    FolderTree &m_folders;
    KeyedTree &TreeView1;
};
