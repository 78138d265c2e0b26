#include "app/commandline.h"
#include "widgets/commandtoolbar.h"
#include "app/mainwindow.h"
#include "favourites/favourites.h"
#include "core/programstate.h"
#include "widgets/statuspanels.h"
#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "platform/twips.h"
#include "sandbox.h"
#include "tree/keyedtree.h"
#include "widgets/picturebox.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>

#include <unistd.h>

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startsWithDefaultsAndNoSettingsFile();
    void showsStoredFavouritesInTheMenu_data();
    void showsStoredFavouritesInTheMenu();
    void startsWithoutDriveC();
    void laysOutByTheDesignGeometry();
    void hasEveryMenuItemAndToolbarPosition();
    void shutDownRemovesTheCacheFolderSilently();
    void commandLineArguments_data();
    void commandLineArguments();
    void aFileArgumentStartsWithItSelected();

private:
    QString m_startFolder;
};

void MainWindowTest::init() { m_startFolder = QDir::currentPath(); }
void MainWindowTest::cleanup() { QDir::setCurrent(m_startFolder); }

void MainWindowTest::startsWithDefaultsAndNoSettingsFile()
{
    // Start-up without a settings file: default pattern, no favourites, no file.
    Sandbox sandbox;
    sandbox.makeFolder("c/start");
    QDir::setCurrent(sandbox.onC("start"));
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    QCOMPARE(form.windowTitle(), QStringLiteral("KuRoE Zuziz"));
    QCOMPARE(form.window.WindowTitle, QStringLiteral("KuRoE Zuziz"));
    QCOMPARE(state.TypePattern, PictureTypes::DefaultPattern());
    QCOMPARE(form.fileList->pattern(), state.TypePattern);
    QCOMPARE(state.HdDrive, QStringLiteral("C:"));
    QCOMPARE(form.fileList->path(), QStringLiteral("C:\\start"));
    QCOMPARE(state.FavCount, 0);
    QVERIFY(!form.favouriteEntries[0]->isVisible());
    QCOMPARE(form.treeView->selectedKey(), QStringLiteral("C:\\"));
    QCOMPARE(form.window.CurrentPath, QStringLiteral("C:\\"));
    QVERIFY(!form.toolbar->isButtonEnabled(4));
    QVERIFY(!state.StopRequest);
    QVERIFY(form.isVisible());
    QVERIFY(form.treeView->hasFocus() || !form.isActiveWindow());
    QList<int> frontCalls;
    for (const auto &call : sandbox.windows->calls)
        if (call.window == &form)
            frontCalls.append(call.value);
    QCOMPARE(frontCalls, QList<int>({-1, -2}));
    QVERIFY(!QFileInfo::exists(sandbox.settingsPath()));
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void MainWindowTest::showsStoredFavouritesInTheMenu_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("count");
    QTest::newRow("three") << QByteArray("[FAV2]\r\nCNT=2\r\n[FAV]\r\nFAV0=C:\\a\r\nFAV1=C:\\b\r\nFAV2=C:\\c\r\n") << 3;
    QTest::newRow("none") << QByteArray("[FAV2]\r\nCNT=0\r\n") << 0;
    QTest::newRow("one") << QByteArray("[FAV2]\r\nCNT=0\r\n[FAV]\r\nFAV0=C:\\\r\n") << 1;
}

void MainWindowTest::showsStoredFavouritesInTheMenu()
{
    // The favourites menu holds one visible entry per stored favourite.
    QFETCH(QByteArray, file);
    QFETCH(int, count);
    Sandbox sandbox;
    sandbox.writeFile("config/VoDaRadezu.INI", file);
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    QCOMPARE(int(state.FavCount), count);
    int visible = 0;
    for (QAction *entry : form.favouriteEntries)
        visible += entry->isVisible() ? 1 : 0;
    QCOMPARE(visible, count);
    if (count == 3)
        QCOMPARE(form.favourites()->FavouritePath(2), QStringLiteral("C:\\c"));
}

void MainWindowTest::startsWithoutDriveC()
{
    // With no C: drive start-up completes with nothing selected.
    Sandbox sandbox;
    sandbox.setDrives({{QLatin1Char('D'), sandbox.path("c"), DriveTable::Fixed, QString(), true}});
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    QCOMPARE(form.treeView->selectedKey(), QString());
    QCOMPARE(form.window.CurrentPath, QStringLiteral("C:\\"));
    QVERIFY(form.treeView->contains("D:\\"));
    QVERIFY(form.isVisible());
}

void MainWindowTest::laysOutByTheDesignGeometry()
{
    // The layout rules place status bar, preview box, tree and area in twips.
    Sandbox sandbox;
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    QCOMPARE(form.ScaleWidth(), 12015.0);
    QCOMPARE(form.ScaleHeight(), 8610.0);
    QCOMPARE(Twips::top(form.statusPanels), 8295.0);
    QCOMPARE(Twips::top(form.previewPane), 8295.0 - 2625.0 - 100.0);
    QCOMPARE(Twips::height(form.treeView), 8295.0 - 2625.0 - 100.0 - 600.0);
    QCOMPARE(form.fileList->height, Twips::height(form.treeView) + 100.0);
    QCOMPARE(Twips::left(form.thumbnailArea), 3690.0);
    QCOMPARE(Twips::width(form.thumbnailArea), 12015.0 - 3690.0);
    QCOMPARE(Twips::height(form.thumbnailArea), 8295.0);
    QCOMPARE(Twips::left(form.toolbar), 0.0);
    QCOMPARE(Twips::height(form.toolbar), 390.0);

    form.resize(Twips::toPixelsX(15000), Twips::toPixelsY(9000) + form.menuBar()->height());
    QTRY_COMPARE(form.ScaleWidth(), 15000.0);
    QCOMPARE(Twips::width(form.thumbnailArea), 15000.0 - 3690.0);
    QCOMPARE(Twips::top(form.statusPanels), form.ScaleHeight() - 315.0);
    QCOMPARE(Twips::left(form.scrollBar), 15000.0 - 240.0);

    // Too small for the fixed parts: the negative sizes are refused, the rest still runs.
    form.resize(100, 60);
    QTRY_VERIFY(form.ScaleHeight() < 1500);
    QVERIFY(Twips::height(form.treeView) >= 0.0);
    QCOMPARE(Twips::top(form.statusPanels), form.ScaleHeight() - 315.0);
}

void MainWindowTest::hasEveryMenuItemAndToolbarPosition()
{
    // Menu captions, shortcuts and the eight toolbar positions with tooltips.
    Sandbox sandbox;
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    QStringList titles;
    for (QAction *menu : form.menuBar()->actions())
        titles.append(menu->text());
    QCOMPARE(titles, QStringList({"ファイル(&F)", "表示(&V)", "お気に入り(&A)", "ヘルプ(&H)"}));
    QStringList file;
    for (QAction *item : form.fileMenu->actions())
        file.append(item->isSeparator() ? "-" : item->text());
    QCOMPARE(file, QStringList({"選択された画像を開く", "-", "環境設定(&O)", "-", "閉じる(&C)"}));
    QCOMPARE(form.openAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(form.redisplayAction->text(), QStringLiteral("再表示"));
    QCOMPARE(form.redisplayAction->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(form.addFavouriteAction->text(), QStringLiteral("お気に入りに追加(&A)"));
    QCOMPARE(form.organiseFavouritesAction->text(), QStringLiteral("お気に入りの整理(&C)"));
    QCOMPARE(form.helpAction->text(), QStringLiteral("VoDaRadezuヘルプ(&C)"));
    QCOMPARE(form.aboutAction->text(), QStringLiteral("バージョン情報(&A)"));

    QCOMPARE(form.toolbar->positionCount(), 8);
    for (int separator : {1, 3, 7})
        QVERIFY(form.toolbar->isSeparator(separator));
    QCOMPARE(form.toolbar->toolTipOf(2), QStringLiteral("再読み込み"));
    QCOMPARE(form.toolbar->toolTipOf(4), QStringLiteral("選択された画像を開く"));
    QCOMPARE(form.toolbar->toolTipOf(5), QStringLiteral("環境設定"));
    QCOMPARE(form.toolbar->toolTipOf(6), QString());
    QCOMPARE(form.toolbar->toolTipOf(8), QStringLiteral("ヘルプ"));
    QStringList entries;
    for (QAction *entry : form.toolbar->action(8)->menu()->actions())
        entries.append(entry->text());
    QCOMPARE(entries, QStringList({"KuRoEViewヘルプ", "バージョン情報"}));
}

void MainWindowTest::shutDownRemovesTheCacheFolderSilently()
{
    // Closing removes the cache files and folder; without them it just ends.
    Sandbox sandbox;
    {
        ProgramState state;
        MainWindow form(*sandbox.context, state);
        form.Load();
        form.close();
        QCOMPARE(sandbox.endCalls, QList<int>({0}));
    }
    sandbox.writeFile("c/tmp/KRUtemp/img0.tmp", "BM");
    sandbox.writeFile("c/tmp/KRUtemp/img1.tmp", "BM");
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    state.TempPath = sandbox.context->tempPath();
    form.close();
    QVERIFY(!QFileInfo::exists(sandbox.onC("tmp/KRUtemp")));
    QVERIFY(QFileInfo::exists(sandbox.onC("tmp")));
    QCOMPARE(sandbox.endCalls.size(), 2);
    QVERIFY(sandbox.messages->shown.isEmpty());
    QVERIFY(!QFileInfo::exists(sandbox.settingsPath()));
}

void MainWindowTest::commandLineArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::newRow("none") << QStringList() << -1 << QString() << QString();
    QTest::newRow("a folder") << QStringList{"pics"} << -1 << "pics" << QString();
    QTest::newRow("a file") << QStringList{"pics/b.bmp"} << -1 << "pics" << "b.bmp";
    QTest::newRow("a file by a roundabout path") << QStringList{"./pics/../pics//b.bmp"} << -1 << "pics" << "b.bmp";
    QTest::newRow("a name starting with a dash after --") << QStringList{"--", "-odd"} << -1 << "-odd" << QString();
    QTest::newRow("Qt's own options pass") << QStringList{"-platform", "offscreen", "pics"} << -1 << "pics" << QString();
    QTest::newRow("--version") << QStringList{"--version"} << 0 << QString() << QString();
    QTest::newRow("--help") << QStringList{"--help"} << 0 << QString() << QString();
    QTest::newRow("missing") << QStringList{"nowhere"} << 2 << QString() << QString();
    QTest::newRow("two paths") << QStringList{"pics", "pics/b.bmp"} << 2 << QString() << QString();
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << QString() << QString();
}

void MainWindowTest::commandLineArguments()
{
    // A folder or a file to start on; --version and --help print; bad arguments give exit code 2 and a message.
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    Sandbox sandbox;
    WritePicture(sandbox, "pics/b.bmp");
    sandbox.makeFolder("-odd");
    QDir::setCurrent(sandbox.root());
    QList<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes.append(QFile::encodeName(argument));
    const CommandLine line = CommandLine::Parse(bytes);
    if (exitCode < 0) {
        QCOMPARE(line.action, CommandLine::Action::Start);
        QCOMPARE(line.startFolder, folder.isEmpty() ? QByteArray() : QFile::encodeName(sandbox.path(folder)));
        QCOMPARE(line.selectedFile, QFile::encodeName(file));
        return;
    }
    QCOMPARE(line.action, CommandLine::Action::PrintAndExit);
    QCOMPARE(line.exitCode, exitCode);
    QCOMPARE(line.toStandardError, exitCode != 0);
    if (arguments == QStringList{"--version"})
        QCOMPARE(line.text, QStringLiteral("kuroeview %1.%2.%3\n").arg(KUROEVIEW_VERSION_MAJOR).arg(KUROEVIEW_VERSION_MINOR)
                                .arg(KUROEVIEW_VERSION_REVISION));
    if (exitCode == 2)
        QVERIFY(line.text.startsWith(QStringLiteral("kuroeview: ")) && line.text.contains(QStringLiteral("Usage:")));
}

void MainWindowTest::aFileArgumentStartsWithItSelected()
{
    // Started on a file, the program shows its folder with that picture selected and in the preview
    // pane, whatever bytes the names hold (a Shift_JIS folder and file here).
    Sandbox sandbox;
    const QByteArray folder = "\x8e\xca\x90\x5e"; // 写真
    QVERIFY(sandbox.makeNativeFolder("c", folder));
    for (const QByteArray &name : {QByteArray("a.bmp"), QByteArray("\x89\xe6\x91\x9c.bmp"), QByteArray("c.bmp")}) {
        WritePicture(sandbox, "c/picture.bmp");
        QVERIFY(::rename(QFile::encodeName(sandbox.onC("picture.bmp")).constData(),
                         sandbox.nativePath("c", folder + '/' + name).constData()) == 0);
    }
    const CommandLine line = CommandLine::Parse({sandbox.nativePath("c", folder + "/\x89\xe6\x91\x9c.bmp")});
    QCOMPARE(line.selectedFile, QByteArray("\x89\xe6\x91\x9c.bmp"));
    QVERIFY(::chdir(line.startFolder.constData()) == 0);
    ProgramState state;
    MainWindow form(*sandbox.context, state);
    form.Load();
    form.SelectFile(line.selectedFile);
    QCOMPARE(form.fileList->path(), QStringLiteral("C:\\写真"));
    QCOMPARE(form.window.SelectedIndex, std::int16_t(2));
    QCOMPARE(form.fileList->list(2), QStringLiteral("画像.bmp"));
    QCOMPARE(form.thumbnailArea->cellAt(2).background, ThumbnailArea::CellSelected);
    QVERIFY(form.previewPicture->isVisible() && form.previewPicture->hasPicture());
    form.SelectFile("not listed.txt");
    QCOMPARE(form.window.SelectedIndex, std::int16_t(2));
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
