#include "tree/foldernavigation.h"

#include "core/loadgate.h"
#include "core/mainwindowstate.h"
#include "core/programstate.h"
#include "files/filelist.h"
#include "platform/eventloops.h"
#include "platform/platformcontext.h"
#include "tree/foldertree.h"
#include "tree/keyedtree.h"
#include "tree/winapi.h"

#include <QApplication>
#include <QScrollBar>
#include <QTimer>

namespace {
const QString Separator = QStringLiteral("\\");
const QString DoubleSeparator = QStringLiteral("\\\\");
const QString Placeholder = QStringLiteral("DUMMY");

// The busy pointer for as long as it lives.
class BusyPointer
{
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;
};
} // namespace

FolderNavigation::FolderNavigation(const NavigationParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_folders(parts.folders), treeView(*parts.treeView)
{
    // While a load ends, what the tree asks for waits until it has returned.
    LoadGate &gate = m_parts.gate;
    connect(&treeView, &QTreeWidget::itemExpanded, this, [this, &gate](QTreeWidgetItem *item) {
        gate.whenIdle(LoadGate::Kind::InOrder, [this, key = KeyedTree::keyOf(item)] { ExpandHandler(key); });
    });
    connect(&treeView, &QTreeWidget::itemCollapsed, this, [this, &gate](QTreeWidgetItem *item) {
        gate.whenIdle(LoadGate::Kind::InOrder, [this, key = KeyedTree::keyOf(item)] { CollapseHandler(key); });
    });
    // Folders of a share that answered late are added once the handlers
    // on the stack have returned, in turn with the tree's own steps.
    connect(m_parts.context.fileCalls.get(), &FileCalls::lateAnswer, this, [this] {
        if (m_lateFillDue || !m_folders.hasUnanswered())
            return;
        m_lateFillDue = true;
        AddLateFolders();
    });
    connect(&treeView, &QTreeWidget::itemClicked, this, [this, &gate](QTreeWidgetItem *item) {
        // A click on a drive, My Documents or My Computer shows no other
        // folder: it takes its turn, and a folder chosen before it still shows.
        const QString clicked = KeyedTree::keyOf(item);
        const bool changesFolder = clicked == QLatin1String("ROOT\\") || !clicked.endsWith(Separator) ||
                                   clicked.endsWith(DoubleSeparator);
        gate.whenIdle(changesFolder ? LoadGate::Kind::Folder : LoadGate::Kind::InOrder, [this, key = clicked] {
            // A click that waited (a re-display may have rebuilt the tree
            // meanwhile) is still a click on that node.
            if (!IsSelected(key))
                treeView.selectNode(key);
            NodeClick(key);
        });
    });
}

void FolderNavigation::AddLateFolders()
{
    if (!EventLoops::atOutermost()) {
        QTimer::singleShot(50, this, &FolderNavigation::AddLateFolders);
        return;
    }
    m_parts.gate.whenIdle(LoadGate::Kind::InOrder, [this] {
        m_lateFillDue = false;
        m_folders.ListAgainUnanswered();
    });
}

bool FolderNavigation::IsRootKey(const QString &key)
{
    return key == QLatin1String("ROOT\\") || key == QLatin1String("MyDoc\\") || key == QLatin1String("MyCom\\");
}

bool FolderNavigation::NamesFolder(const QString &key)
{
    return !key.endsWith(Separator) || key.endsWith(DoubleSeparator);
}

bool FolderNavigation::IsSelected(const QString &key) const { return treeView.isSelected(key); }

void FolderNavigation::SetImage(const QString &key, const QString &image) { treeView.setImage(key, image); }

void FolderNavigation::ExpandHandler(const QString &key)
{
    PlatformContext &context = m_parts.context;
    MainWindowState &window = m_parts.window;
    if (IsSelected(key) && !key.endsWith(Separator))
        SetImage(key, QStringLiteral("Fopen"));
    context.drives.refresh();
    const std::uint32_t mask = context.drives.logicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (!(mask & (1u << bit)))
            continue;
        window.DriveLetter = QChar('A' + bit);
        const QString root = window.DriveLetter + QStringLiteral(":\\");
        const int type = context.drives.driveType(root);
        if ((type != DriveTable::Removable && type != DriveTable::CdRom) || root != key)
            continue;
        // The medium is probed without showing its pictures: the folder the
        // catalogue shows stays the one chosen in the tree.
        if (!context.fileSystem.isReadableFolder(key)) {
            // No medium: back to the placeholder, and to the current folder.
            if (QTreeWidgetItem *node = treeView.node(key)) {
                const QSignalBlocker quiet(&treeView);
                node->setExpanded(false);
            }
            treeView.selectNode(window.CurrentPath);
            for (const QString &child : treeView.childKeys(key))
                if (child != key + Placeholder)
                    treeView.removeNode(child);
            if (!treeView.contains(key + Placeholder))
                treeView.addNode(key, key + Placeholder, QStringLiteral("検索中"));
            window.RelistGuard = 0;
            return;
        }
        if (window.RelistGuard == 1)
            continue;
        window.RelistGuard = 1;
        for (const QString &child : treeView.childKeys(key))
            treeView.removeNode(child);
        m_folders.ListSubFolders(window.DriveLetter + QLatin1Char(':'), key);
        window.RelistGuard = 0;
    }
    ExpandChildren(key);
}

void FolderNavigation::ExpandChildren(const QString &key)
{
    if (!treeView.contains(key))
        return;
    m_parts.mainWindow->setEnabled(false);
    {
        BusyPointer busy;
        if (!IsRootKey(key)) {
            QStringList paths;
            QStringList folders;
            const QStringList children = treeView.childKeys(key);
            for (const QString &childKey : children) {
                const QString name = KeyedTree::textOf(treeView.node(childKey));
                if (key.endsWith(DoubleSeparator))
                    paths.append(key.left(key.size() - 2) + Separator + name + DoubleSeparator);
                else if (key.endsWith(Separator))
                    paths.append(key + name);
                else
                    paths.append(key + Separator + name);
                folders.append(FolderTree::FolderOfKey(paths.last()));
            }
            // Every child is asked for at once, and taken in order.
            m_parts.context.fileSystem.prefetchSubFolders(folders);
            for (qsizetype i = 0; i < children.size(); ++i)
                m_folders.ListSubFolders(paths[i], children[i]);
        }
    }
    m_parts.mainWindow->setEnabled(true);
    if (!IsRootKey(key))
        treeView.sortChildrenFromNowOn(key);
}

void FolderNavigation::CollapseHandler(const QString &key)
{
    MainWindowState &window = m_parts.window;
    // Closing a node that holds the selection moves the selection to it.
    const QString selected = treeView.selectedKey();
    if (QTreeWidgetItem *node = treeView.node(key); node && !selected.isEmpty() && selected != key) {
        for (QTreeWidgetItem *up = treeView.node(selected); up; up = up->parent()) {
            if (up == node) {
                treeView.setCurrentItem(node);
                break;
            }
        }
    }
    if (key == window.CurrentPath)
        return;
    if (!IsSelected(key)) {
        if (!key.endsWith(Separator))
            SetImage(key, QStringLiteral("Fclose"));
        return;
    }
    if (NamesFolder(key)) {
        SetImage(key, QStringLiteral("Fopen"));
        SetImage(window.CurrentPath, QStringLiteral("Fclose"));
        window.CurrentPath = key;
    } else if (NamesFolder(window.CurrentPath)) {
        SetImage(window.CurrentPath, QStringLiteral("Fclose"));
        m_parts.fileList->setPath(key);
        window.CurrentPath = key;
    }
}

void FolderNavigation::NodeClick(const QString &key)
{
    if (key.isEmpty())
        return;
    MainWindowState &window = m_parts.window;
    const QString path = FolderTree::FolderOfKey(key);
    if (key == QLatin1String("ROOT\\")) {
        m_parts.fileList->setPath(winapi::SpecialFolderPath(m_parts.context, winapi::Desktop));
        return;
    }
    const bool selected = IsSelected(key);
    if (selected && NamesFolder(key)) {
        SetImage(key, QStringLiteral("Fopen"));
        m_parts.fileList->setPath(path);
        if (key != window.CurrentPath && NamesFolder(window.CurrentPath))
            SetImage(window.CurrentPath, QStringLiteral("Fclose"));
    } else if (!window.CurrentPath.endsWith(Separator)) {
        SetImage(window.CurrentPath, QStringLiteral("Fclose"));
    }
    if (selected)
        window.CurrentPath = key;
    ExpandChildren(key);
}

void FolderNavigation::SelectPathInTree(const QString &key)
{
    if (IsRootKey(key)) {
        treeView.selectNode(key);
        return;
    }
    const QString target = key.endsWith(DoubleSeparator) ? key.left(key.size() - 2) : key;
    qsizetype position = 0;
    bool strip = false;
    for (;;) {
        const qsizetype next = target.indexOf(Separator, position);
        if (next < 0)
            break;
        const QString prefix = target.left(next + 1);
        if (prefix.size() > 3)
            strip = true;
        treeView.selectNode(strip ? prefix.left(prefix.size() - 1) : prefix);
        position = prefix.size();
    }
    treeView.selectNode(target);
    const QString &current = m_parts.window.CurrentPath;
    if (IsSelected(target) && !target.endsWith(Separator)) {
        SetImage(target, QStringLiteral("Fopen"));
        if (!current.endsWith(Separator) && current != target)
            SetImage(current, QStringLiteral("Fclose"));
    } else if (!current.endsWith(Separator)) {
        SetImage(current, QStringLiteral("Fclose"));
    }
}

void FolderNavigation::Redisplay()
{
    m_parts.gate.whenIdle(LoadGate::Kind::InOrder, [this] { RedisplayNow(); });
}

void FolderNavigation::RedisplayNow()
{
    const QString key = treeView.selectedKey();
    m_parts.fileList->refresh();
    m_parts.rebuildCatalogue();
    BusyPointer busy;
    m_parts.scrollBar->setValue(0);
    m_parts.state.SavedScroll = 0;
    treeView.removeAll();
    m_folders.BuildTreeRoots();
    SelectPathInTree(key);
}
