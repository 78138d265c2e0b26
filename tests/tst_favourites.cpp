#include "about/aboutbox.h"
#include "widgets/commandtoolbar.h"
#include "app/mainwindow.h"
#include "core/programstate.h"
#include "core/settings.h"
#include "catalogue/thumbnailarea.h"
#include "favourites/commands.h"
#include "favourites/favourites.h"
#include "files/filelist.h"
#include "loadedwindow.h"
#include "sandbox.h"
#include "settings/settingsdialog.h"
#include "tree/keyedtree.h"
#include "viewer/viewerwindow.h"
#include "viewer/selection.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

struct Browser : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    KeyedTree &tree() { return *form.treeView; }
    void add(const QString &key)
    {
        QVERIFY2(tree().node(key), qPrintable(key));
        tree().selectNode(key);
        form.addFavouriteAction->trigger();
    }
    QStringList menu() const { return VisibleFavourites(form); }
};

QString stored(Sandbox &sandbox, const QString &section, const QString &key)
{
    return ReadSetting(sandbox.context->profile, section, key, QStringLiteral("<none>"));
}

} // namespace

class FavouritesTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void firstAndSecondAddWriteTheWholeList();
    void thirtiethIsSilentThirtyFirstRefused();
    void myComputerAndDuplicatesAreRefused();
    void nodesBecomePaths();
    void favouritesComeBackAfterARestart();
    void openingADriveRootShowsItsPictures();
    void openingTheShownFolderDoesNotReload();
    void openingAVanishedFolderShowsNothing();
    void openCommandWaitsForASelection();
    void settingsCommandsOpenOneDialog();
    void helpOpensTheHelpFileQuietly();
    void aboutBoxCommands();
    void closeCommandEndsTheProgram();
    void anAddKeepsEveryShownEntryWhenTheFileLags();
    void aFileFilledElsewhereRefusesTheAddAndChangesNothing();
    void pathsWithAmpersandsShowAsStored();
};

void FavouritesTest::firstAndSecondAddWriteTheWholeList()
{
    // The first add fills entry 0, FAV0 and CNT 0; the second rewrites FAV0 and FAV1 and CNT 1.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    sandbox.makeFolder("c/more");
    Browser browser(sandbox);
    QCOMPARE(browser.menu(), QStringList());
    browser.add("C:\\");
    browser.tree().node("C:\\")->setExpanded(true);
    QCOMPARE(browser.state.FavCount, std::int16_t(1));
    QCOMPARE(browser.menu(), QStringList{"C:\\"});
    QCOMPARE(stored(sandbox, "FAV", "FAV0"), QStringLiteral("C:\\"));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("0"));
    browser.add("C:\\pics");
    QCOMPARE(browser.state.FavCount, std::int16_t(2));
    QCOMPARE(browser.menu(), (QStringList{"C:\\", "C:\\pics"}));
    QCOMPARE(stored(sandbox, "FAV", "FAV0"), QStringLiteral("C:\\"));
    QCOMPARE(stored(sandbox, "FAV", "FAV1"), QStringLiteral("C:\\pics"));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("1"));
    QVERIFY(sandbox.messages->shown.isEmpty());

    // A favourite that another running copy stored meanwhile is kept, and joins this menu.
    sandbox.writeFile("config/VoDaRadezu.INI",
                      "[FAV]\nFAV0=C:\\\nFAV1=C:\\pics\nFAV2=C:\\elsewhere\n[FAV2]\nCNT=2\n");
    browser.add("C:\\more");
    QCOMPARE(browser.menu(), (QStringList{"C:\\", "C:\\pics", "C:\\elsewhere", "C:\\more"}));
    QCOMPARE(stored(sandbox, "FAV", "FAV3"), QStringLiteral("C:\\more"));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("3"));
    QCOMPARE(browser.state.FavCount, std::int16_t(4));
}

void FavouritesTest::thirtiethIsSilentThirtyFirstRefused()
{
    // Thirty favourites go in without a word; the thirty-first is refused and nothing changes.
    Sandbox sandbox;
    for (int i = 0; i < 31; ++i)
        sandbox.makeFolder(QStringLiteral("c/f%1").arg(i, 2, 10, QLatin1Char('0')));
    Browser browser(sandbox);
    browser.tree().node("C:\\")->setExpanded(true);
    for (int i = 0; i < 30; ++i)
        browser.add(QStringLiteral("C:\\f%1").arg(i, 2, 10, QLatin1Char('0')));
    QVERIFY(sandbox.messages->shown.isEmpty());
    QCOMPARE(browser.state.FavCount, std::int16_t(30));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("29"));
    browser.add("C:\\f30");
    QCOMPARE(sandbox.messages->shown.size(), 1);
    QCOMPARE(sandbox.messages->shown[0].text, QStringLiteral("30個までしか登録できません。"));
    QCOMPARE(sandbox.messages->shown[0].title, QStringLiteral("KuRoEView"));
    QCOMPARE(sandbox.messages->shown[0].icon, MessageBoxService::Icon::None);
    QCOMPARE(browser.menu().size(), 30);
    QCOMPARE(stored(sandbox, "FAV", "FAV30"), QStringLiteral("<none>"));
}

void FavouritesTest::myComputerAndDuplicatesAreRefused()
{
    // My Computer is refused with "情報"; a second add of a path is refused, a path differing in case is not.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    sandbox.makeFolder("c/Pics");
    Browser browser(sandbox);
    browser.add("MyCom\\");
    QCOMPARE(sandbox.messages->shown.size(), 1);
    QCOMPARE(sandbox.messages->shown[0].text, QStringLiteral("マイコンピュータは追加できません。"));
    QCOMPARE(sandbox.messages->shown[0].title, QStringLiteral("情報"));
    QCOMPARE(sandbox.messages->shown[0].icon, MessageBoxService::Icon::Information);
    QCOMPARE(browser.state.FavCount, std::int16_t(0));
    QVERIFY(!QFile::exists(sandbox.settingsPath()));

    browser.tree().node("C:\\")->setExpanded(true);
    browser.add("C:\\pics");
    browser.add("C:\\pics");
    QCOMPARE(sandbox.messages->shown.size(), 2);
    QCOMPARE(sandbox.messages->shown[1].text, QStringLiteral("すでに登録されています。"));
    QCOMPARE(sandbox.messages->shown[1].title, QStringLiteral("KuRoEView"));
    QCOMPARE(browser.form.favouriteEntries.size(), 1);
    browser.add("C:\\Pics");
    QCOMPARE(browser.menu(), (QStringList{"C:\\pics", "C:\\Pics"}));
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("1"));
}

void FavouritesTest::nodesBecomePaths()
{
    // Desktop and documents nodes give their real folders; desktop-branch folders lose their "\\" marker.
    Sandbox sandbox;
    sandbox.makeFolder("c/Users/me/Desktop/holiday");
    sandbox.makeFolder("c/Users/me/Documents");
    Browser browser(sandbox);
    browser.add("ROOT\\");
    browser.add("MyDoc\\");
    browser.add("C:\\Users\\me\\Desktop\\holiday\\\\");
    QCOMPARE(browser.menu(), (QStringList{"C:\\Users\\me\\Desktop", "C:\\Users\\me\\Documents",
                                          "C:\\Users\\me\\Desktop\\holiday"}));

    // A desktop without a folder gives no favourite at all.
    sandbox.context->desktopFolder.clear();
    browser.add("ROOT\\");
    QCOMPARE(browser.menu().size(), 3);
    QCOMPARE(stored(sandbox, "FAV2", "CNT"), QStringLiteral("2"));
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void FavouritesTest::favouritesComeBackAfterARestart()
{
    // Favourites added in one run fill the menu of the next.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    {
        Browser first(sandbox);
        first.tree().node("C:\\")->setExpanded(true);
        first.add("C:\\pics");
        first.add("C:\\");
    }
    Browser second(sandbox);
    QCOMPARE(second.menu(), (QStringList{"C:\\pics", "C:\\"}));
    QCOMPARE(second.state.FavCount, std::int16_t(2));
}

void FavouritesTest::openingADriveRootShowsItsPictures()
{
    // "C:\" selects the drive, leaves its image, closes the previous folder's image and shows the drive's pictures.
    Sandbox sandbox;
    WritePicture(sandbox, "c/root.bmp");
    WritePicture(sandbox, "c/pics/a.bmp");
    WritePicture(sandbox, "c/pics/b.bmp");
    sandbox.writeFile("config/VoDaRadezu.INI", "[FAV]\nFAV0=C:\\pics\nFAV1=C:\\\n[FAV2]\nCNT=1\n");
    Browser browser(sandbox);
    browser.form.favouriteEntries[0]->trigger();
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\pics"));
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\pics"));
    QCOMPARE(browser.tree().imageKey("C:\\pics"), QStringLiteral("Fopen"));
    QCOMPARE(browser.state.ThumbCount, 2);
    browser.form.favouriteEntries[1]->trigger();
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\"));
    QCOMPARE(browser.tree().imageKey("C:\\"), QStringLiteral("HDD"));
    QCOMPARE(browser.tree().imageKey("C:\\pics"), QStringLiteral("Fclose"));
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\"));
    QCOMPARE(browser.state.ThumbCount, 1);
    QCOMPARE(browser.form.cursor().shape(), Qt::ArrowCursor);
}

void FavouritesTest::openingTheShownFolderDoesNotReload()
{
    // The favourite of the folder on show keeps "Fopen" and its thumbnails are not made again.
    Sandbox sandbox;
    WritePicture(sandbox, "c/pics/a.bmp");
    sandbox.writeFile("config/VoDaRadezu.INI", "[FAV]\nFAV0=C:\\pics\n[FAV2]\nCNT=0\n");
    Browser browser(sandbox);
    browser.form.OpenFavourite(0);
    browser.form.thumbnailArea->cellAt(0).background = Qt::magenta;
    browser.form.OpenFavourite(0);
    QCOMPARE(browser.tree().imageKey("C:\\pics"), QStringLiteral("Fopen"));
    QCOMPARE(browser.form.thumbnailArea->cellAt(0).background, QColor(Qt::magenta));
}

void FavouritesTest::openingAVanishedFolderShowsNothing()
{
    // A favourite whose folder is gone stops the walk at its deepest ancestor, keeps the pictures, says nothing.
    Sandbox sandbox;
    WritePicture(sandbox, "c/pics/a.bmp");
    sandbox.makeFolder("c/old");
    sandbox.writeFile("config/VoDaRadezu.INI", "[FAV]\nFAV0=C:\\pics\nFAV1=C:\\old\\gone\n[FAV2]\nCNT=1\n");
    Browser browser(sandbox);
    browser.form.OpenFavourite(0);
    browser.form.OpenFavourite(1);
    QCOMPARE(browser.tree().selectedKey(), QStringLiteral("C:\\old"));
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 1);
    QCOMPARE(browser.tree().imageKey("C:\\pics"), QStringLiteral("Fclose"));
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\old\\gone"));
    QVERIFY(sandbox.messages->shown.isEmpty());
    QCOMPARE(browser.menu().size(), 2);
}

void FavouritesTest::openCommandWaitsForASelection()
{
    // Ctrl+O does nothing until a thumbnail is selected; then it opens the viewer, as toolbar button 4 does.
    Sandbox sandbox;
    WritePicture(sandbox, "c/pics/a.bmp");
    Browser browser(sandbox);
    browser.form.fileList->setPath("C:\\pics");
    browser.form.activateWindow();
    QTest::keyClick(&browser.form, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(!browser.form.selection()->viewer());
    QVERIFY(!browser.form.toolbar->isButtonEnabled(4));
    const QRectF cell = browser.form.thumbnailArea->cellAt(0).rect;
    QTest::mouseClick(browser.form.thumbnailArea, Qt::LeftButton, {}, QPoint(int(cell.center().x() / 15), int(cell.center().y() / 15)));
    // The button is the menu item's command, enabled as it is.
    QVERIFY(browser.form.toolbar->isButtonEnabled(4) && browser.form.openAction->isEnabled());
    QTest::keyClick(&browser.form, Qt::Key_O, Qt::ControlModifier);
    QVERIFY(browser.form.selection()->viewer());
    browser.form.selection()->viewer()->Unload();
    QTest::mouseClick(browser.form.toolbar->buttonWidget(4), Qt::LeftButton);
    QVERIFY(browser.form.selection()->viewer());
}

void FavouritesTest::settingsCommandsOpenOneDialog()
{
    // The settings item, the organise item and toolbar buttons 5 and 6 all open the one dialog,
    // and the main window is disabled while it is open.
    Sandbox sandbox;
    Browser browser(sandbox);
    QTest::mouseClick(browser.form.toolbar->buttonWidget(5), Qt::LeftButton);
    SettingsDialog *dialog = browser.form.commands()->settingsDialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("環境設定"));
    QVERIFY(!browser.form.isEnabled());
    dialog->dialogButtons[1]->click();
    QVERIFY(browser.form.isEnabled());
    QVERIFY(!browser.form.commands()->settingsDialog());
    QTest::mouseClick(browser.form.toolbar->buttonWidget(6), Qt::LeftButton);
    dialog = browser.form.commands()->settingsDialog();
    QVERIFY(dialog);
    browser.form.settingsAction->trigger();
    browser.form.organiseFavouritesAction->trigger();
    QCOMPARE(browser.form.commands()->settingsDialog(), dialog);
    dialog->close();
    QVERIFY(browser.form.isEnabled());
}

void FavouritesTest::helpOpensTheHelpFileQuietly()
{
    // Help opens KuRoEZuziz.chm next to the program through the desktop, from the menu, button 8 and its entry 1.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.helpAction->trigger();
    QTest::mouseClick(browser.form.toolbar->buttonWidget(8), Qt::LeftButton, {}, QPoint(4, 4));
    emit browser.form.toolbar->menuEntryClicked(8, 1);
    const QString help = QDir(sandbox.context->programFolder).filePath("KuRoEZuziz.chm");
    QCOMPARE(sandbox.shell->opened, (QStringList{help, help, help}));
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void FavouritesTest::aboutBoxCommands()
{
    // On "Windows 2000" the menu hides the main window in 300 ms, the toolbar entry in 500 ms; elsewhere it stays.
    Sandbox sandbox;
    Browser browser(sandbox);
    sandbox.windows->calls.clear();
    browser.form.aboutAction->trigger();
    QVERIFY(!sandbox.windows->calls.isEmpty());
    const auto hiding = sandbox.windows->calls.first();
    QCOMPARE(hiding.what, QStringLiteral("animate"));
    QCOMPARE(hiding.window, &browser.form);
    QCOMPARE(hiding.value, 300);
    QCOMPARE(hiding.flags, 0x30010u);
    QCOMPARE(int(browser.state.MainWindowWidth), int(qRound(browser.form.WindowWidth())));
    QVERIFY(browser.form.commands()->aboutBox());
    QVERIFY(!browser.form.isEnabled());
    browser.form.commands()->aboutBox()->close();
    QVERIFY(browser.form.isEnabled());
    QVERIFY(browser.form.isVisible());

    sandbox.windows->calls.clear();
    emit browser.form.toolbar->menuEntryClicked(8, 2);
    QCOMPARE(sandbox.windows->calls.first().value, 500);
    browser.form.commands()->aboutBox()->close();

    sandbox.poseAs(1, 4, 0);
    sandbox.windows->calls.clear();
    browser.form.aboutAction->trigger();
    QVERIFY(sandbox.windows->calls.isEmpty() || sandbox.windows->calls.first().what != QStringLiteral("animate"));
    QVERIFY(browser.form.isVisible());
    QVERIFY(!browser.form.isEnabled());
}

void FavouritesTest::closeCommandEndsTheProgram()
{
    // "閉じる(&C)" runs the main window's shut-down, which ends the program.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.closeAction->trigger();
    QCOMPARE(sandbox.endCalls, QList<int>{0});
}

void FavouritesTest::anAddKeepsEveryShownEntryWhenTheFileLags()
{
    // The settings file cannot be written and holds fewer favourites than the menu; the dialog opened and
    // cancelled read its count back. An add still keeps every entry the menu shows.
    Sandbox sandbox;
    for (const char *folder : {"c/x", "c/y", "c/z", "c/w"})
        sandbox.makeFolder(folder);
    QVERIFY(sandbox.writeFile("config/VoDaRadezu.INI", "[FAV]\nFAV0=C:\\x\nFAV1=C:\\y\nFAV2=C:\\z\n[FAV2]\nCNT=2\n"));
    Browser browser(sandbox);
    QCOMPARE(browser.menu(), (QStringList{"C:\\x", "C:\\y", "C:\\z"}));
    QVERIFY(sandbox.writeFile("config/VoDaRadezu.INI", "[FAV]\nFAV0=C:\\x\n[FAV2]\nCNT=0\n"));
    QFile::setPermissions(sandbox.settingsPath(), QFileDevice::ReadOwner);
    browser.form.settingsAction->trigger();
    SettingsDialog *dialog = browser.form.commands()->settingsDialog();
    QVERIFY(dialog);
    dialog->dialogButtons[1]->click();
    browser.add("C:\\w");
    QCOMPARE(browser.menu(), (QStringList{"C:\\x", "C:\\y", "C:\\z", "C:\\w"}));
    QCOMPARE(browser.state.FavCount, std::int16_t(4));
    QFile::setPermissions(sandbox.settingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void FavouritesTest::aFileFilledElsewhereRefusesTheAddAndChangesNothing()
{
    // Another copy filled the file to 30: the add is refused with its message; menu and file stay as they were.
    Sandbox sandbox;
    for (const char *folder : {"c/a", "c/b", "c/c"})
        sandbox.makeFolder(folder);
    Browser browser(sandbox);
    browser.add("C:\\a");
    browser.add("C:\\b");
    QByteArray full("[FAV]\n");
    for (int i = 0; i < 30; ++i)
        full += "FAV" + QByteArray::number(i) + "=C:\\other" + QByteArray::number(i) + "\n";
    full += "[FAV2]\nCNT=29\n";
    QVERIFY(sandbox.writeFile("config/VoDaRadezu.INI", full));
    browser.add("C:\\c");
    QCOMPARE(sandbox.messages->shown.size(), 1);
    QCOMPARE(sandbox.messages->shown.last().text, QStringLiteral("30個までしか登録できません。"));
    QCOMPARE(browser.menu(), (QStringList{"C:\\a", "C:\\b"}));
    QCOMPARE(browser.state.FavCount, std::int16_t(2));
    QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), full);
}

void FavouritesTest::pathsWithAmpersandsShowAsStored()
{
    // A folder named with "&" is shown and stored as it is; the menu without favourites keeps its separator.
    Sandbox sandbox;
    sandbox.makeFolder("c/R&D");
    WritePicture(sandbox, "c/R&D/plan.bmp");
    Browser browser(sandbox);
    QVERIFY(!browser.form.favouritesMenu->separatorsCollapsible());
    browser.add("C:\\R&D");
    QCOMPARE(browser.menu(), QStringList{"C:\\R&D"});
    QCOMPARE(browser.form.favouriteEntries[0]->text(), QStringLiteral("C:\\R&&D"));
    QCOMPARE(stored(sandbox, "FAV", "FAV0"), QStringLiteral("C:\\R&D"));
    browser.form.fileList->setPath("C:\\");
    browser.form.favouriteEntries[0]->trigger();
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\R&D"));
    QCOMPARE(browser.state.ThumbCount, 1);
}

QTEST_MAIN(FavouritesTest)
#include "tst_favourites.moc"
