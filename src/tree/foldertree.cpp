#include "tree/foldertree.h"

#include "core/mainwindowstate.h"
#include "platform/platformcontext.h"
#include "tree/keyedtree.h"
#include "tree/winapi.h"

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
    const auto names = m_context.fileSystem.listSubFolders(folder);
    if (!names)
        return;
    for (const QString &name : *names) {
        const QString key = folder + QLatin1Char('\\') + name + suffix;
        if (!treeView.contains(key))
            treeView.addNode(parentKey, key, name, QStringLiteral("Fclose"));
        ListSecondLevel(key);
    }
}

void FolderTree::ListSecondLevel(const QString &key)
{
    const QString folder = FolderOfKey(key);
    const QString suffix = key.endsWith(DoubleSeparator) ? DoubleSeparator : QString();
    const auto names = m_context.fileSystem.listSubFolders(folder);
    if (!names)
        return;
    for (const QString &name : *names) {
        const QString childKey = folder + QLatin1Char('\\') + name + suffix;
        if (!treeView.contains(childKey))
            treeView.addNode(key, childKey, name, QStringLiteral("Fclose"));
    }
}
