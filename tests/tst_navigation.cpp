#include "app/mainwindow.h"
#include "core/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "sandbox.h"
#include "tree/foldernavigation.h"
#include "tree/keyedtree.h"

#include <QApplication>
#include <QDir>
#include <QTest>

namespace {

struct Browser
{
    explicit Browser(Sandbox &sandbox) : form(*sandbox.context, state) { form.Load(); }
    ProgramState state;
    MainWindow form;
    KeyedTree &tree() { return *form.treeView; }
    void click(const QString &key)
    {
        QTreeWidgetItem *item = tree().node(key);
        QVERIFY2(item, qPrintable(key));
        tree().scrollToItem(item);
        QTest::mouseClick(tree().viewport(), Qt::LeftButton, {}, tree().visualItemRect(item).center());
    }
    void expand(const QString &key) { tree().node(key)->setExpanded(true); }
    QStringList children(const QString &key) { return tree().childKeys(key); }
};

} // namespace

class NavigationTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void removableDriveWithoutMediumFallsBackToPlaceholder();
    void removableDriveWithMediumShowsItsFolders();
    void volumesMountedAfterStartAppearOnReDisplay();
    void theWalkOpensOnlyTheTargetFolder();
    void theTreeKeepsTheKeyboardAfterAClick();
    void aCutFolderNameShowsWholeAsATooltip();
    void cdRomWhoseDiscWasRemovedGetsItsPlaceholderBack();
    void openingSortsFoldersButNeverRoots();
    void desktopBranchKeepsItsSuffix();
    void clicksMoveTheOpenFolderImage();
    void clickingTheDesktopShowsItsPictures();
    void closingTheParentOfTheCurrentFolderMakesItCurrent();
    void redisplayWalksBackToTheSelectedFolder();
    void walkStopsAtTheDeepestExistingLevel();
};

void NavigationTest::removableDriveWithoutMediumFallsBackToPlaceholder()
{
    // Opening A:\ without a disk closes it again with only "検索中" below it.
    Sandbox sandbox;
    sandbox.makeFolder("floppy/docs");
    QList<DriveTable::Drive> drives = sandbox.context->drives.drives();
    drives.prepend({QLatin1Char('A'), sandbox.path("floppy"), DriveTable::Removable, QString(), false});
    sandbox.setDrives(drives);
    Browser browser(sandbox);
    browser.expand("A:\\");
    QVERIFY(!browser.tree().node("A:\\")->isExpanded());
    QCOMPARE(browser.children("A:\\"), QStringList({"A:\\DUMMY"}));
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\"));
    QVERIFY(browser.form.fileList->path() != QStringLiteral("A:\\"));
    QVERIFY(sandbox.messages->shown.isEmpty());
    QCOMPARE(browser.form.window.RelistGuard, std::int16_t(0));
}

void NavigationTest::removableDriveWithMediumShowsItsFolders()
{
    // With a disk the placeholder gives way to its folders; probing the disk leaves the shown pictures alone.
    Sandbox sandbox;
    sandbox.makeFolder("stick/photos/2024");
    sandbox.makeFolder("stick/empty");
    WritePicture(sandbox, "stick/top.bmp");
    WritePicture(sandbox, "c/shown/one.bmp");
    WritePicture(sandbox, "c/shown/two.bmp");
    sandbox.addDrive(QLatin1Char('E'), DriveTable::Removable, "stick");
    Browser browser(sandbox);
    browser.click("C:\\shown");
    QCOMPARE(browser.state.ThumbCount, 2);
    QCOMPARE(browser.children("E:\\"), QStringList({"E:\\DUMMY"}));
    browser.expand("E:\\");
    QCOMPARE(browser.children("E:\\"), QStringList({"E:\\empty", "E:\\photos"}));
    QCOMPARE(browser.children("E:\\photos"), QStringList({"E:\\photos\\2024"}));
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\shown"));
    QCOMPARE(browser.state.ThumbCount, 2);
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\shown"));
}

void NavigationTest::volumesMountedAfterStartAppearOnReDisplay()
{
    // A stick mounted after start-up appears with the next re-display; unmounted, it goes; back, it keeps its letter.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    sandbox.makeFolder("usb/holiday");
    sandbox.makeFolder("usb2");
    QList<DriveTable::Mount> mounts;
    sandbox.context->drives = DriveTable::fromMounts([&] { return mounts; }, sandbox.path("c"));
    Browser browser(sandbox);
    QVERIFY(!browser.tree().contains("D:\\"));
    mounts.append({sandbox.path("usb"), "vfat", "/dev/sdz1", "HOLIDAY"});
    browser.form.redisplayAction->trigger();
    QVERIFY(browser.tree().contains("D:\\"));
    QCOMPARE(browser.tree().node("D:\\")->text(0), QStringLiteral("HOLIDAY (D:)"));
    QVERIFY(browser.tree().contains("D:\\holiday"));
    mounts.clear();
    browser.form.redisplayAction->trigger();
    QVERIFY(!browser.tree().contains("D:\\"));
    mounts.append({sandbox.path("usb2"), "vfat", "/dev/sdz2", ""});
    mounts.append({sandbox.path("usb"), "vfat", "/dev/sdz1", "HOLIDAY"});
    browser.form.redisplayAction->trigger();
    QCOMPARE(browser.tree().node("D:\\")->text(0), QStringLiteral("HOLIDAY (D:)"));
    QVERIFY(browser.tree().contains("E:\\"));
}

void NavigationTest::theTreeKeepsTheKeyboardAfterAClick()
{
    // A mouse click on a folder (its pictures load behind the stop box, its sub-folders are read with the
    // window disabled) leaves the keyboard with the tree: the arrow keys move on at once.
    Sandbox sandbox;
    for (const char *name : {"c/a/x", "c/b", "c/c"})
        sandbox.makeFolder(name);
    WritePicture(sandbox, "c/a/one.bmp");
    Browser browser(sandbox);
    browser.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&browser.form));
    browser.expand("C:\\");
    browser.click("C:\\c");
    QVERIFY(browser.tree().hasFocus());
    browser.click("C:\\a");
    QCOMPARE(browser.state.ThumbCount, 1);
    QTRY_VERIFY(browser.tree().hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\b"));
}

void NavigationTest::theWalkOpensOnlyTheTargetFolder()
{
    // Walking to a folder four levels down leaves every level on the way with the closed image.
    Sandbox sandbox;
    sandbox.makeFolder("c/one/two/three/four");
    Browser browser(sandbox);
    browser.form.navigation()->SelectPathInTree("C:\\one\\two\\three\\four");
    QCOMPARE(browser.tree().imageKey("C:\\one\\two\\three\\four"), QStringLiteral("Fopen"));
    for (const char *key : {"C:\\one", "C:\\one\\two", "C:\\one\\two\\three"})
        QCOMPARE(browser.tree().imageKey(QLatin1String(key)), QStringLiteral("Fclose"));
}

void NavigationTest::cdRomWhoseDiscWasRemovedGetsItsPlaceholderBack()
{
    // A CD-ROM opened after its disc was taken out drops its folders again.
    Sandbox sandbox;
    sandbox.makeFolder("cd/music");
    sandbox.addDrive(QLatin1Char('D'), DriveTable::CdRom, "cd");
    Browser browser(sandbox);
    browser.expand("D:\\");
    QCOMPARE(browser.children("D:\\"), QStringList({"D:\\music"}));
    browser.tree().node("D:\\")->setExpanded(false);
    sandbox.context->drives.setMediumPresent(QLatin1Char('D'), false);
    browser.expand("D:\\");
    QCOMPARE(browser.children("D:\\"), QStringList({"D:\\DUMMY"}));
    QCOMPARE(browser.tree().node("D:\\DUMMY")->text(0), QStringLiteral("検索中"));
}

void NavigationTest::openingSortsFoldersButNeverRoots()
{
    // Opening a folder sorts its children by name; the roots keep their order.
    Sandbox sandbox;
    for (const char *name : {"WINDOWS/zeta/x", "WINDOWS/Alpha/y", "WINDOWS/beta"})
        sandbox.makeFolder(QStringLiteral("c/") + QLatin1String(name));
    sandbox.makeFolder("c/Users/me/Desktop/zz");
    sandbox.makeFolder("c/Users/me/Desktop/aa");
    Browser browser(sandbox);
    const QStringList rootsBefore = browser.children("ROOT\\");
    browser.expand("C:\\");
    browser.expand("C:\\WINDOWS");
    QCOMPARE(browser.children("C:\\WINDOWS"), QStringList({"C:\\WINDOWS\\Alpha", "C:\\WINDOWS\\beta", "C:\\WINDOWS\\zeta"}));
    QVERIFY(browser.tree().contains("C:\\WINDOWS\\zeta\\x"));
    browser.tree().node("ROOT\\")->setExpanded(false);
    browser.expand("ROOT\\");
    QCOMPARE(browser.children("ROOT\\"), rootsBefore);
    QCOMPARE(browser.children("ROOT\\").mid(0, 2), QStringList({"MyDoc\\", "MyCom\\"}));
}

void NavigationTest::desktopBranchKeepsItsSuffix()
{
    // Opening a desktop folder adds grandchildren whose keys end in "\\".
    Sandbox sandbox;
    sandbox.makeFolder("c/Users/me/Desktop/Work/Inner/Deep");
    Browser browser(sandbox);
    browser.expand("C:\\Users\\me\\Desktop\\Work\\\\");
    QVERIFY(browser.tree().contains("C:\\Users\\me\\Desktop\\Work\\Inner\\Deep\\\\"));
}

void NavigationTest::clicksMoveTheOpenFolderImage()
{
    // Clicking folders moves "Fopen" and the pictures; a drive click moves neither.
    Sandbox sandbox;
    WritePicture(sandbox, "c/TEMP/a.bmp");
    WritePicture(sandbox, "c/WINDOWS/b.bmp");
    WritePicture(sandbox, "c/WINDOWS/c.bmp");
    Browser browser(sandbox);
    browser.expand("C:\\");
    browser.click("C:\\TEMP");
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\TEMP"));
    QCOMPARE(browser.state.ThumbCount, 1);
    browser.click("C:\\WINDOWS");
    QCOMPARE(browser.tree().imageKey("C:\\WINDOWS"), QStringLiteral("Fopen"));
    QCOMPARE(browser.tree().imageKey("C:\\TEMP"), QStringLiteral("Fclose"));
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\WINDOWS"));
    QCOMPARE(browser.state.ThumbCount, 2);
    browser.click("C:\\");
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\WINDOWS"));
    QCOMPARE(browser.state.ThumbCount, 2);
    QCOMPARE(browser.tree().imageKey("C:\\WINDOWS"), QStringLiteral("Fclose"));
    QCOMPARE(browser.tree().imageKey("C:\\"), QStringLiteral("HDD"));
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\"));
}

void NavigationTest::clickingTheDesktopShowsItsPictures()
{
    // "デスクトップ" shows the desktop's pictures and changes no icon or current node.
    Sandbox sandbox;
    WritePicture(sandbox, "c/Users/me/Desktop/d.bmp");
    sandbox.makeFolder("c/Users/me/Desktop/Work");
    WritePicture(sandbox, "c/Users/me/Desktop/Work/w.bmp");
    Browser browser(sandbox);
    browser.click("ROOT\\");
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\Users\\me\\Desktop"));
    QCOMPARE(browser.state.ThumbCount, 1);
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\"));
    browser.click("C:\\Users\\me\\Desktop\\Work\\\\");
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\Users\\me\\Desktop\\Work"));
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\Users\\me\\Desktop\\Work\\\\"));
}

void NavigationTest::closingTheParentOfTheCurrentFolderMakesItCurrent()
{
    // Closing the parent of the current folder makes the parent current, pictures stay.
    Sandbox sandbox;
    WritePicture(sandbox, "c/WINDOWS/SYSTEM/s.bmp");
    Browser browser(sandbox);
    browser.expand("C:\\");
    browser.expand("C:\\WINDOWS");
    browser.click("C:\\WINDOWS\\SYSTEM");
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\WINDOWS\\SYSTEM"));
    browser.tree().node("C:\\WINDOWS")->setExpanded(false);
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\WINDOWS"));
    QCOMPARE(browser.tree().imageKey("C:\\WINDOWS"), QStringLiteral("Fopen"));
    QCOMPARE(browser.tree().imageKey("C:\\WINDOWS\\SYSTEM"), QStringLiteral("Fclose"));
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\WINDOWS\\SYSTEM"));
}

void NavigationTest::redisplayWalksBackToTheSelectedFolder()
{
    // Re-display rebuilds the tree and selects the folder again, four levels deep too.
    Sandbox sandbox;
    sandbox.makeFolder("c/one/two/three/four/five");
    sandbox.makeFolder("c/Users/me/Desktop/Work");
    Browser browser(sandbox);
    browser.form.navigation()->SelectPathInTree("C:\\one\\two\\three\\four");
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\one\\two\\three\\four"));
    sandbox.makeFolder("c/one/new");
    browser.form.redisplayAction->trigger();
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\one\\two\\three\\four"));
    QVERIFY(browser.tree().contains("C:\\one\\new"));
    QCOMPARE(browser.tree().imageKey("C:\\one\\two\\three\\four"), QStringLiteral("Fopen"));

    browser.tree().selectNode("C:\\Users\\me\\Desktop\\Work\\\\");
    browser.form.redisplayAction->trigger();
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\Users\\me\\Desktop\\Work"));

    browser.tree().selectNode("MyCom\\");
    const QString before = browser.tree().imageKey("MyCom\\");
    browser.form.redisplayAction->trigger();
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("MyCom\\"));
    QCOMPARE(browser.tree().imageKey("MyCom\\"), before);
}

void NavigationTest::walkStopsAtTheDeepestExistingLevel()
{
    // A path whose middle level is gone ends on the deepest level that exists.
    Sandbox sandbox;
    sandbox.makeFolder("c/keep/gone/leaf");
    Browser browser(sandbox);
    browser.form.navigation()->SelectPathInTree("C:\\keep\\gone\\leaf");
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\keep\\gone\\leaf"));
    QDir(sandbox.onC("keep/gone")).removeRecursively();
    browser.form.redisplayAction->trigger();
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\keep"));
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void NavigationTest::aCutFolderNameShowsWholeAsATooltip()
{
    // A folder name the tree cuts short shows whole as a tooltip; a short one shows none.
    Sandbox sandbox;
    const QString longName = QStringLiteral("correspondence-with-the-embassy-2024-spring");
    sandbox.makeFolder("c/" + longName);
    sandbox.makeFolder("c/ab");
    Browser browser(sandbox);
    browser.expand("C:\\");
    KeyedTree &tree = browser.tree();
    const QPoint cut = tree.visualItemRect(tree.node("C:\\" + longName)).center();
    const QPoint whole = tree.visualItemRect(tree.node("C:\\ab")).center();
    QCOMPARE(tree.cutCaptionAt(cut), longName);
    QCOMPARE(tree.cutCaptionAt(whole), QString());
}

QTEST_MAIN(NavigationTest)
#include "tst_navigation.moc"
