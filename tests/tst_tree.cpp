#include "core/mainwindowstate.h"
#include "sandbox.h"
#include "tree/foldertree.h"
#include "tree/keyedtree.h"
#include "tree/treeimages.h"
#include "tree/winapi.h"

#include <QTest>

class TreeTest : public QObject
{
    Q_OBJECT

private slots:
    void hasTenImagesInListOrder();
    void buildsRootsDrivesAndPlaceholders();
    void desktopFolderHasTwoKeys();
    void listsTwoLevelsWithoutDotsOrFiles();
    void refusesDuplicateKeysAndMissingParents();
    void missingSpecialFolderLeavesOnlyFixedChildren();
    void trimsAtNul();
    void aSpecialFolderTooLongForTheShellIsMissing();
};

void TreeTest::hasTenImagesInListOrder()
{
    // The image list holds the ten node images in their fixed order.
    QCOMPARE(TreeImages::keys(), QStringList({"HDD", "FLOPPY", "CDROM", "REMO", "ROOT", "MyDoc", "MyCom", "Fclose",
                                              "Fopen", "RMB"}));
    const auto images = TreeImages::make();
    for (const QString &key : TreeImages::keys())
        QCOMPARE(images.value(key).pixmap(16, 16).size(), QSize(16, 16));
}

void TreeTest::buildsRootsDrivesAndPlaceholders()
{
    // A:, C:, D: (CD-ROM) and E: (removable) give the drive nodes of My Computer.
    Sandbox sandbox;
    sandbox.makeFolder("c/WINDOWS/SYSTEM");
    sandbox.makeFolder("floppy/disk-folder");
    sandbox.makeFolder("cd/disc-folder");
    sandbox.makeFolder("stick/stick-folder");
    QList<DriveTable::Drive> drives = sandbox.context->drives.drives();
    drives.prepend({QLatin1Char('A'), sandbox.path("floppy"), DriveTable::Removable, QString(), false});
    drives.append({QLatin1Char('D'), sandbox.path("cd"), DriveTable::CdRom, QStringLiteral("DISC"), true});
    drives.append({QLatin1Char('E'), sandbox.path("stick"), DriveTable::Removable, QString(), true});
    drives.append({QLatin1Char('F'), sandbox.path("ram"), DriveTable::RamDisk, QString(), true});
    sandbox.setDrives(drives);

    KeyedTree tree;
    MainWindowState window;
    FolderTree(*sandbox.context, tree, window).BuildTreeRoots();

    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(KeyedTree::keyOf(tree.topLevelItem(0)), QStringLiteral("ROOT\\"));
    QCOMPARE(tree.node("ROOT\\")->text(0), QStringLiteral("デスクトップ"));
    QVERIFY(tree.node("ROOT\\")->isExpanded());
    QCOMPARE(tree.childKeys("ROOT\\").mid(0, 2), QStringList({"MyDoc\\", "MyCom\\"}));
    QCOMPARE(tree.node("MyDoc\\")->text(0), QStringLiteral("マイドキュメント"));
    QVERIFY(!tree.node("MyDoc\\")->isExpanded());
    QVERIFY(tree.node("MyCom\\")->isExpanded());
    QCOMPARE(tree.childKeys("MyCom\\"), QStringList({"A:\\", "C:\\", "D:\\", "E:\\"}));
    QCOMPARE(tree.imageKey("A:\\"), QStringLiteral("FLOPPY"));
    QCOMPARE(tree.imageKey("C:\\"), QStringLiteral("HDD"));
    QCOMPARE(tree.imageKey("D:\\"), QStringLiteral("CDROM"));
    QCOMPARE(tree.imageKey("E:\\"), QStringLiteral("RMB"));
    QCOMPARE(tree.node("C:\\")->text(0), QStringLiteral("ローカル ディスク (C:)"));
    QCOMPARE(tree.node("D:\\")->text(0), QStringLiteral("DISC (D:)"));
    for (const QString &root : {QStringLiteral("A:\\"), QStringLiteral("D:\\"), QStringLiteral("E:\\")}) {
        QCOMPARE(tree.childKeys(root), QStringList({root + "DUMMY"}));
        QCOMPARE(tree.node(root + "DUMMY")->text(0), QStringLiteral("検索中"));
    }
    QVERIFY(!tree.node("C:\\")->isExpanded());
    QVERIFY(tree.contains("C:\\WINDOWS"));
    QVERIFY(tree.contains("C:\\WINDOWS\\SYSTEM"));
    QCOMPARE(tree.imageKey("C:\\WINDOWS"), QStringLiteral("Fclose"));
    QCOMPARE(window.DriveLetter, QStringLiteral("F"));
}

void TreeTest::desktopFolderHasTwoKeys()
{
    // A desktop folder stands under the desktop with "\\" and under its drive without.
    Sandbox sandbox;
    sandbox.makeFolder("c/Users/me/Desktop/Work/Inner");
    sandbox.makeFolder("c/Users/me/Documents/Letters");
    KeyedTree tree;
    MainWindowState window;
    FolderTree folders(*sandbox.context, tree, window);
    folders.BuildTreeRoots();
    QCOMPARE(tree.childKeys("ROOT\\"), QStringList({"MyDoc\\", "MyCom\\", "C:\\Users\\me\\Desktop\\Work\\\\"}));
    QCOMPARE(tree.childKeys("C:\\Users\\me\\Desktop\\Work\\\\"),
             QStringList({"C:\\Users\\me\\Desktop\\Work\\Inner\\\\"}));
    QCOMPARE(tree.childKeys("MyDoc\\"), QStringList({"C:\\Users\\me\\Documents\\Letters\\\\"}));
    folders.ListSubFolders("C:\\Users\\me\\Desktop", "C:\\Users");
    QVERIFY(tree.contains("C:\\Users\\me\\Desktop\\Work"));
    QVERIFY(tree.contains("C:\\Users\\me\\Desktop\\Work\\\\"));
    QCOMPARE(FolderTree::FolderOfKey("C:\\Users\\me\\Desktop\\Work\\\\"), QStringLiteral("C:\\Users\\me\\Desktop\\Work"));
    QCOMPARE(FolderTree::FolderOfKey("C:\\"), QStringLiteral("C:\\"));
}

void TreeTest::listsTwoLevelsWithoutDotsOrFiles()
{
    // Listing reads two levels, keeps existing nodes and never adds files.
    Sandbox sandbox;
    sandbox.makeFolder("c/a/b/c/d");
    sandbox.writeFile("c/a/file.bmp", "x");
    sandbox.writeFile("c/plain.txt", "x");
    KeyedTree tree;
    MainWindowState window;
    FolderTree folders(*sandbox.context, tree, window);
    folders.BuildTreeRoots();
    QVERIFY(tree.contains("C:\\a"));
    QVERIFY(tree.contains("C:\\a\\b"));
    QVERIFY(!tree.contains("C:\\a\\b\\c"));
    QVERIFY(!tree.contains("C:\\a\\file.bmp"));
    QVERIFY(!tree.contains("C:\\plain.txt"));
    QVERIFY(!tree.contains("C:\\."));
    QVERIFY(!tree.contains("C:\\.."));
    QCOMPARE(tree.node("C:\\a")->childCount(), 1);
    folders.ListSubFolders("C:\\a", "C:\\a");
    QCOMPARE(tree.node("C:\\a")->childCount(), 1);
    QVERIFY(tree.contains("C:\\a\\b\\c"));
    QVERIFY(!tree.contains("C:\\a\\b\\c\\d"));
}

void TreeTest::refusesDuplicateKeysAndMissingParents()
{
    // The tree holds each key once and never adds below a missing parent.
    KeyedTree tree;
    QVERIFY(tree.addNode(QString(), "ROOT\\", "x"));
    QVERIFY(!tree.addNode(QString(), "ROOT\\", "y"));
    QVERIFY(!tree.addNode("nowhere", "child", "z"));
    QVERIFY(tree.addNode("ROOT\\", "b", "beta"));
    QVERIFY(tree.addNode("ROOT\\", "a", "Alpha"));
    tree.sortChildrenFromNowOn("ROOT\\");
    QVERIFY(tree.addNode("ROOT\\", "c", "BETA2"));
    QVERIFY(tree.addNode("ROOT\\", "d", "aardvark"));
    QCOMPARE(tree.childKeys("ROOT\\"), QStringList({"d", "a", "b", "c"}));
    QVERIFY(tree.removeNode("ROOT\\"));
    QVERIFY(!tree.contains("a"));
    QVERIFY(!tree.removeNode("ROOT\\"));
}

void TreeTest::missingSpecialFolderLeavesOnlyFixedChildren()
{
    // A desktop that does not exist adds nothing below the desktop root.
    Sandbox sandbox;
    sandbox.context->desktopFolder = sandbox.path("no-desktop");
    sandbox.context->documentsFolder.clear();
    KeyedTree tree;
    MainWindowState window;
    FolderTree(*sandbox.context, tree, window).BuildTreeRoots();
    QCOMPARE(tree.childKeys("ROOT\\"), QStringList({"MyDoc\\", "MyCom\\"}));
    QVERIFY(tree.childKeys("MyDoc\\").isEmpty());
    QCOMPARE(winapi::SpecialFolderPath(*sandbox.context, winapi::Desktop), QString());
}

void TreeTest::aSpecialFolderTooLongForTheShellIsMissing()
{
    // A documents folder whose path needs more than 259 characters fails; it is never cut short.
    Sandbox sandbox;
    const QString deep = QStringLiteral("c/") + QString(120, QLatin1Char('d')) + QLatin1Char('/') + QString(140, QLatin1Char('e'));
    sandbox.makeFolder(deep);
    sandbox.context->documentsFolder = sandbox.path(deep);
    QVERIFY(sandbox.context->specialFolder(winapi::Documents)->size() > 259);
    QCOMPARE(winapi::SpecialFolderPath(*sandbox.context, winapi::Documents), QString());
    sandbox.makeFolder("c/Users/me/Documents");
    sandbox.context->documentsFolder = sandbox.onC("Users/me/Documents");
    QCOMPARE(winapi::SpecialFolderPath(*sandbox.context, winapi::Documents), QStringLiteral("C:\\Users\\me\\Documents"));
}

void TreeTest::trimsAtNul()
{
    // Text before the first NUL; empty when there is none.
    QCOMPARE(winapi::TrimAtNul(QStringLiteral("C:\\x") + QChar(0) + "junk"), QStringLiteral("C:\\x"));
    QCOMPARE(winapi::TrimAtNul(QStringLiteral("no nul")), QString());
}

QTEST_MAIN(TreeTest)
#include "tst_tree.moc"
