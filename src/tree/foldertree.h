#pragma once

#include <QList>
#include <QObject>
#include <QString>

class KeyedTree;
class PlatformContext;
struct MainWindowState;

// Fills the folder tree: the three roots, a node per drive and the folders
// below them, read two levels ahead of what the user has opened. Removable
// and CD-ROM drives get a "検索中" placeholder and are not read here.
class FolderTree : public QObject
{
    Q_OBJECT

public:
    FolderTree(PlatformContext &context, KeyedTree &tree, MainWindowState &window, QObject *parent = nullptr);

    void BuildTreeRoots();
    void AddDriveNodes();
    void AddDriveNode();
    // Adds the sub-folders of path below parentKey, and their sub-folders.
    // A path ending in "\\" lists the folder without those two characters and
    // gives the new keys the "\\" suffix (desktop and documents branches).
    void ListSubFolders(const QString &path, const QString &parentKey);
    void ListSecondLevel(const QString &key);

    // A folder on a share that did not answer in time adds nothing at
    // first; once its answer has come, this adds what it holds to the nodes
    // that are still there.
    void ListAgainUnanswered();
    bool hasUnanswered() const { return !m_unanswered.isEmpty(); }

    // Folder path of a node: its key without a trailing "\\".
    static QString FolderOfKey(const QString &key);

private:
    struct Unanswered
    {
        QString path;
        QString key;
        bool secondLevel;
    };

    PlatformContext &m_context;
    KeyedTree &treeView;
    MainWindowState &m_window;
    QList<Unanswered> m_unanswered;
};
