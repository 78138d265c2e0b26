#pragma once

#include <QObject>
#include <QString>

#include <functional>

class FileList;
class FolderTree;
class KeyedTree;
class LoadGate;
class PlatformContext;
class QScrollBar;
class QTreeWidgetItem;
class QWidget;
struct MainWindowState;
struct ProgramState;

// What the tree's handlers work on.
struct NavigationParts
{
    // Disabled while folders are read.
    QWidget *mainWindow;
    KeyedTree *treeView;
    FileList *fileList;
    QScrollBar *scrollBar;
    FolderTree &folders;
    PlatformContext &context;
    ProgramState &state;
    MainWindowState &window;
    LoadGate &gate;
    // ResetCatalogue, LoadThumbnails, ShowLoadResult (the re-display).
    std::function<void()> rebuildCatalogue;
};

// What the folder tree does when the user opens, closes and clicks its
// nodes: one more generation is read at each opening, removable and CD-ROM
// drives are read only when opened, a click on a folder shows its pictures,
// and the open-folder image follows the current folder. Also the walk to a
// stored path and the re-display command.
class FolderNavigation : public QObject
{
    Q_OBJECT

public:
    explicit FolderNavigation(const NavigationParts &parts, QObject *parent = nullptr);

    void ExpandHandler(const QString &key);
    void ExpandChildren(const QString &key);
    void CollapseHandler(const QString &key);
    void NodeClick(const QString &key);
    void SelectPathInTree(const QString &key);
    // The re-display command; while a load ends, it waits for it.
    void Redisplay();

private:
    void RedisplayNow();
    void AddLateFolders();
    bool IsSelected(const QString &key) const;
    void SetImage(const QString &key, const QString &image);
    static bool IsRootKey(const QString &key);
    static bool NamesFolder(const QString &key);

    NavigationParts m_parts;
    FolderTree &m_folders;
    KeyedTree &treeView;
    bool m_lateFillDue = false;
};
