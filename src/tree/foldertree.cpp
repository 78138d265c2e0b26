#include "tree/foldertree.h"

#include "core/mainwindowstate.h"
#include "platform/platformcontext.h"
#include "tree/keyedtree.h"
#include "tree/winapi.h"

#include <utility>

namespace {
const QString DoubleSeparator = QStringLiteral("\\\\");
} // namespace

FolderTree::FolderTree(PlatformContext &context, KeyedTree &tree, MainWindowState &window, QObject *parent)
    : QObject(parent), m_context(context), treeView(tree), m_window(window)
{
}

QString FolderTree::FolderOfKey(const QString &key)
{
    return key.endsWith(DoubleSeparator) ? key.left(key.size() - 2) : key;
}

void FolderTree::BuildTreeRoots()
{
    m_unanswered.clear();
    if (QTreeWidgetItem *root = treeView.addNode(QString(), QStringLiteral("ROOT\\"), QStringLiteral("デスクトップ"),
                                                  QStringLiteral("ROOT")))
        root->setExpanded(true);
    treeView.addNode(QStringLiteral("ROOT\\"), QStringLiteral("MyDoc\\"), QStringLiteral("マイドキュメント"),
                      QStringLiteral("MyDoc"));
    if (QTreeWidgetItem *computer = treeView.addNode(QStringLiteral("ROOT\\"), QStringLiteral("MyCom\\"),
                                                      QStringLiteral("マイコンピュータ"), QStringLiteral("MyCom")))
        computer->setExpanded(true);
    ListSubFolders(winapi::SpecialFolderPath(m_context, winapi::Desktop) + DoubleSeparator, QStringLiteral("ROOT\\"));
    ListSubFolders(winapi::SpecialFolderPath(m_context, winapi::Documents) + DoubleSeparator, QStringLiteral("MyDoc\\"));
    AddDriveNodes();
}

void FolderTree::AddDriveNodes()
{
    // Volumes mounted or unmounted since the last reading count from now.
    m_context.drives.refresh();
    const std::uint32_t mask = m_context.drives.logicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (mask & (1u << bit)) {
            m_window.DriveLetter = QChar('A' + bit);
            AddDriveNode();
        }
    }
}

void FolderTree::AddDriveNode()
{
    const QString root = m_window.DriveLetter + QStringLiteral(":\\");
    const QString displayName = m_context.drives.displayName(root);
    const int type = m_context.drives.driveType(root);
    QString image;
    switch (type) {
    case DriveTable::Removable:
        image = (m_window.DriveLetter == QLatin1String("A") || m_window.DriveLetter == QLatin1String("B"))
                    ? QStringLiteral("FLOPPY")
                    : QStringLiteral("RMB");
        break;
    case DriveTable::Fixed:
        image = QStringLiteral("HDD");
        break;
    case DriveTable::Remote:
        image = QStringLiteral("REMO");
        break;
    case DriveTable::CdRom:
        image = QStringLiteral("CDROM");
        break;
    default:
        return;
    }
    QTreeWidgetItem *node = treeView.addNode(QStringLiteral("MyCom\\"), root, displayName, image);
    if (type == DriveTable::Removable || type == DriveTable::CdRom) {
        treeView.addNode(root, root + QStringLiteral("DUMMY"), QStringLiteral("検索中"));
        return;
    }
    if (type == DriveTable::Fixed && node)
        node->setExpanded(false);
    ListSubFolders(m_window.DriveLetter + QLatin1Char(':'), root);
}

void FolderTree::ListSubFolders(const QString &path, const QString &parentKey)
{
    QString folder = path;
    QString suffix;
    if (folder.endsWith(DoubleSeparator)) {
        folder.chop(2);
        suffix = DoubleSeparator;
    }
    if (folder.isEmpty())
        return;
    bool answered = true;
    const auto names = m_context.fileSystem.listSubFolders(folder, &answered);
    if (!answered)
        m_unanswered.append(Unanswered{path, parentKey, false});
    if (!names)
        return;
    QStringList keys;
    QStringList folders;
    for (const QString &name : *names) {
        keys.append(folder + QLatin1Char('\\') + name + suffix);
        folders.append(FolderOfKey(keys.last()));
    }
    // The next level of every folder is asked for at once, and taken in order.
    m_context.fileSystem.prefetchSubFolders(folders);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (!treeView.contains(keys[i]))
            treeView.addNode(parentKey, keys[i], names->at(i), QStringLiteral("Fclose"));
        ListSecondLevel(keys[i]);
    }
}

void FolderTree::ListAgainUnanswered()
{
    const QList<Unanswered> unanswered = std::exchange(m_unanswered, {});
    for (const Unanswered &read : unanswered) {
        if (!treeView.contains(read.key))
            continue;
        if (read.secondLevel)
            ListSecondLevel(read.key);
        else
            ListSubFolders(read.path, read.key);
    }
}

void FolderTree::ListSecondLevel(const QString &key)
{
    const QString folder = FolderOfKey(key);
    const QString suffix = key.endsWith(DoubleSeparator) ? DoubleSeparator : QString();
    bool answered = true;
    const auto names = m_context.fileSystem.listSubFolders(folder, &answered);
    if (!answered)
        m_unanswered.append(Unanswered{folder, key, true});
    if (!names)
        return;
    for (const QString &name : *names) {
        const QString childKey = folder + QLatin1Char('\\') + name + suffix;
        if (!treeView.contains(childKey))
            treeView.addNode(key, childKey, name, QStringLiteral("Fclose"));
    }
}
