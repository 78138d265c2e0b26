#include "app/commandline.h"
#include "catalogue/stopbox.h"
#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "loadedwindow.h"
#include "platform/filecalls.h"
#include "slowpaths.h"
#include "tree/keyedtree.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

using Asked = NativeFile::Asked;

struct Browser : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    KeyedTree &tree() { return *form.treeView; }
    // Opens the node's parents (reading their folders), so that it can be clicked.
    void reveal(const QString &key) { tree().scrollToItem(tree().node(key)); }
    void click(const QString &key)
    {
        QTreeWidgetItem *item = tree().node(key);
        QVERIFY2(item, qPrintable(key));
        tree().scrollToItem(item);
        QTest::mouseClick(tree().viewport(), Qt::LeftButton, {}, tree().visualItemRect(item).center());
    }
};

StopBox *ShownStopBox()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<StopBox *>(window); box && box->isVisible())
            return box;
    return nullptr;
}

// A folder of small pictures on drive C: of the sandbox.
void MakePictures(Sandbox &sandbox, const QString &folder, int count)
{
    for (int i = 0; i < count; ++i)
        WritePicture(sandbox, QStringLiteral("c/%1/p%2.bmp").arg(folder).arg(i));
}

// Counts the turns of the event loop while it lives.
struct Heartbeat
{
    Heartbeat()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { ++beats; });
        timer.start();
    }
    QTimer timer;
    int beats = 0;
};

} // namespace

class SlowFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void aQuestionThatIsNotAnsweredCostsTheWindowNothing();
    void theMountTableIsReadAsTheSystemWritesIt();
    void aVolumeThatDoesNotAnswerIsANetworkDriveWithoutLabel();
    void aSlowListingShowsTheStopBoxAndEndsWithTheCatalogue();
    void aSlowListingIsOvertakenByAnotherFolder();
    void aSlowListingIsOvertakenByStop();
    void aStartFolderThatDoesNotListIsOvertakenByAClick();
    void closingDuringASlowListingEndsAtOnce();
    void aHungSubFolderInTheTreeFillsInWhenItAnswers();
    void aStartFolderThatDoesNotAnswerIsRefused();
};

void SlowFilesTest::aQuestionThatIsNotAnsweredCostsTheWindowNothing()
{
    // A folder whose check never returns: the window gives up after its patience with its events
    // running, asks nothing again while the first question is out, and takes the answer when it comes.
    Sandbox sandbox;
    sandbox.makeFolder("c/share");
    const QByteArray share = QFile::encodeName(sandbox.onC("share"));
    SlowPaths slow;
    slow.slow(share, Asked::Look);
    const FileSystem &files = sandbox.context->fileSystem;

    Heartbeat heartbeat;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!files.isReadableFolder(QStringLiteral("C:\\share")));
    const qint64 firstWait = clock.elapsed();
    QVERIFY2(firstWait >= FileCalls::DefaultDeadline - 50 && firstWait < FileCalls::DefaultDeadline + 500,
             qPrintable(QString::number(firstWait)));
    QVERIFY2(heartbeat.beats >= 10, "the events did not run during the wait");

    clock.restart();
    QVERIFY(!files.isReadableFolder(QStringLiteral("C:\\share")));
    QVERIFY2(clock.elapsed() < 100, "a question already out was asked again");
    QCOMPARE(slow.asked(share, Asked::Look), 1);
    QCOMPARE(sandbox.context->fileCalls->running(), 1);

    QSignalSpy late(sandbox.context->fileCalls.get(), &FileCalls::lateAnswer);
    slow.release();
    QVERIFY(late.wait(5000));
    const int askedBefore = slow.asked(share, Asked::Look);
    QVERIFY(files.isReadableFolder(QStringLiteral("C:\\share")));
    QCOMPARE(slow.asked(share, Asked::Look), askedBefore);
    QCOMPARE(sandbox.context->fileCalls->running(), 0);
}

void SlowFilesTest::theMountTableIsReadAsTheSystemWritesIt()
{
    // The kernel's mount table, with its escapes and optional fields, gives the mounts without
    // asking any volume; the table of this machine always holds its root.
    const QByteArray table =
        "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
        "28 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "46 28 0:41 / /mnt/my\\040share rw,nosuid master:3 propagate_from:1 - fuse.sshfs me@host:/ rw\n"
        "47 28 0:42 / /media/me/USB\\134stick rw - vfat /dev/sdb1 rw\n"
        "broken line\n";
    const QList<DriveTable::Mount> mounts = DriveTable::mountsFromMountInfo(table);
    QCOMPARE(mounts.size(), 4);
    QCOMPARE(mounts[1].point, QStringLiteral("/"));
    QCOMPARE(mounts[2].point, QStringLiteral("/mnt/my share"));
    QCOMPARE(mounts[2].fileSystemType, QStringLiteral("fuse.sshfs"));
    QCOMPARE(mounts[2].device, QStringLiteral("me@host:/"));
    QCOMPARE(mounts[3].point, QStringLiteral("/media/me/USB\\stick"));
    const QList<DriveTable::Mount> here = DriveTable::systemMounts();
    QVERIFY(std::any_of(here.begin(), here.end(), [](const DriveTable::Mount &m) { return m.point == QLatin1String("/"); }));
}

void SlowFilesTest::aVolumeThatDoesNotAnswerIsANetworkDriveWithoutLabel()
{
    // A mounted disk whose root does not answer: the program starts as fast as without it, the
    // disk keeps its letter as a network drive without a label, and nothing on it is asked (through
    // its letter or through C:) until a later reading of the drives finds it answering again.
    Sandbox sandbox;
    sandbox.makeFolder("c/mnt/data/photos");
    sandbox.makeFolder("c/mnt/share/docs");
    MakePictures(sandbox, "Users/me/Documents", 3);
    const QList<DriveTable::Mount> mounts{{sandbox.path("c"), "ext4", "/dev/vda", ""},
                                          {sandbox.onC("mnt/data"), "ext4", "/dev/sdz1", "Data"},
                                          {sandbox.onC("mnt/share"), "nfs", "server:/share", ""}};
    const QByteArray data = QFile::encodeName(sandbox.onC("mnt/data"));
    SlowPaths slow;
    slow.slow(data, Asked::Look);
    PlatformContext &context = *sandbox.context;
    QElapsedTimer clock;
    clock.start();
    context.drives = PlatformContext::machineDrives(*context.fileCalls, [&] { return mounts; }, sandbox.path("c"));
    QVERIFY2(clock.elapsed() < FileCalls::ProbeDeadline + 300, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(context.drives.driveType(QStringLiteral("D:\\")), int(DriveTable::Remote));
    QCOMPARE(context.drives.displayName(QStringLiteral("D:\\")), QStringLiteral("data (D:)"));
    QCOMPARE(context.drives.driveType(QStringLiteral("E:\\")), int(DriveTable::Remote));
    QCOMPARE(context.drives.displayName(QStringLiteral("E:\\")), QStringLiteral("share (E:)"));

    clock.restart();
    QVERIFY(!context.fileSystem.listSubFolders(QStringLiteral("D:")));
    QVERIFY(!context.fileSystem.isReadableFolder(QStringLiteral("C:\\mnt\\data\\photos")));
    QVERIFY(context.fileSystem.isReadableFolder(QStringLiteral("C:\\mnt\\share\\docs")));
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));

    // The main window maps and shows its start folder's pictures as fast as without the disk.
    QDir::setCurrent(sandbox.onC("Users/me/Documents"));
    clock.restart();
    {
        Browser browser(sandbox);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(browser.state.ThumbCount, 3);
        QVERIFY(browser.tree().contains(QStringLiteral("D:\\")));
        QVERIFY(browser.tree().childKeys(QStringLiteral("D:\\")).isEmpty());
        QCOMPARE(browser.tree().imageKey(QStringLiteral("D:\\")), QStringLiteral("REMO"));
        QCOMPARE(browser.tree().childKeys(QStringLiteral("E:\\")), QStringList{QStringLiteral("E:\\docs")});
    }

    // Read again while it still does not answer: at once, and nothing changes.
    clock.restart();
    context.drives.refresh();
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(context.drives.driveType(QStringLiteral("D:\\")), int(DriveTable::Remote));
    QCOMPARE(context.drives.displayName(QStringLiteral("E:\\")), QStringLiteral("share (E:)"));

    // Answering again, it is the disk it was, under the same letter.
    slow.release();
    QTRY_COMPARE(context.fileCalls->running(), 0);
    context.drives.refresh();
    QCOMPARE(context.drives.driveType(QStringLiteral("D:\\")), int(DriveTable::Fixed));
    QCOMPARE(context.drives.displayName(QStringLiteral("D:\\")), QStringLiteral("Data (D:)"));
    QCOMPARE(*context.fileSystem.listSubFolders(QStringLiteral("D:")), QStringList{QStringLiteral("photos")});
}

void SlowFilesTest::aSlowListingShowsTheStopBoxAndEndsWithTheCatalogue()
{
    // A folder that takes a while to list: the stop box shows after a moment, the window goes on
    // answering, and the thumbnails come when the listing has come.
    Sandbox sandbox;
    MakePictures(sandbox, "slow", 3);
    Browser browser(sandbox);
    browser.reveal(QStringLiteral("C:\\tmp"));
    SlowPaths slow;
    slow.slow(QFile::encodeName(sandbox.onC("slow")), Asked::List, 1500);
    Heartbeat heartbeat;
    bool boxSeen = false;
    bool windowEnabled = false;
    QTimer::singleShot(700, [&] {
        boxSeen = ShownStopBox() != nullptr;
        windowEnabled = browser.form.isEnabled();
    });
    browser.click(QStringLiteral("C:\\slow"));
    QVERIFY(boxSeen);
    QVERIFY(windowEnabled);
    QVERIFY(heartbeat.beats >= 30);
    QCOMPARE(browser.state.FileCount, 3);
    QCOMPARE(browser.state.ThumbCount, 3);
    QVERIFY(!ShownStopBox());
    QVERIFY(browser.form.isEnabled());
}

void SlowFilesTest::aSlowListingIsOvertakenByAnotherFolder()
{
    // While a folder that never lists waits, a click on another folder shows that folder's
    // pictures; nothing waits for the first.
    Sandbox sandbox;
    MakePictures(sandbox, "hung", 3);
    MakePictures(sandbox, "fast", 2);
    Browser browser(sandbox);
    browser.reveal(QStringLiteral("C:\\tmp"));
    SlowPaths slow;
    slow.slow(QFile::encodeName(sandbox.onC("hung")), Asked::List);
    QTimer::singleShot(400, [&] { browser.click(QStringLiteral("C:\\fast")); });
    QElapsedTimer clock;
    clock.start();
    browser.click(QStringLiteral("C:\\hung"));
    QTRY_COMPARE(browser.form.fileList->path(), QStringLiteral("C:\\fast"));
    QTRY_COMPARE(browser.state.ThumbCount, 2);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(browser.form.window.CurrentPath, QStringLiteral("C:\\fast"));
    QVERIFY(browser.form.isEnabled());
    QVERIFY(!ShownStopBox());
}

void SlowFilesTest::aSlowListingIsOvertakenByStop()
{
    // "中止" while a folder has not listed: the load ends at once with no thumbnails.
    Sandbox sandbox;
    MakePictures(sandbox, "hung", 3);
    Browser browser(sandbox);
    browser.reveal(QStringLiteral("C:\\tmp"));
    SlowPaths slow;
    slow.slow(QFile::encodeName(sandbox.onC("hung")), Asked::List);
    QElapsedTimer stoppedAt;
    QTimer::singleShot(400, [&] {
        StopBox *box = ShownStopBox();
        QVERIFY(box);
        stoppedAt.start();
        box->stopButton->click();
    });
    browser.click(QStringLiteral("C:\\hung"));
    QVERIFY(stoppedAt.isValid());
    QVERIFY2(stoppedAt.elapsed() < 200, qPrintable(QString::number(stoppedAt.elapsed())));
    QCOMPARE(browser.state.ThumbCount, 0);
    QCOMPARE(browser.state.StopRequest, false);
    QVERIFY(!ShownStopBox());
    QVERIFY(browser.form.isEnabled());
}

void SlowFilesTest::aStartFolderThatDoesNotListIsOvertakenByAClick()
{
    // The folder the program starts in does not list: the window shows, and a folder clicked in the
    // tree meanwhile is shown instead.
    Sandbox sandbox;
    MakePictures(sandbox, "far/away/hung", 3);
    MakePictures(sandbox, "Users/me/Desktop/fast", 2);
    QDir::setCurrent(sandbox.onC("far/away/hung"));
    SlowPaths slow;
    slow.slow(QFile::encodeName(sandbox.onC("far/away/hung")), Asked::List);
    std::optional<Browser> browser;
    bool shownWhileListing = false;
    QTimer::singleShot(400, [&] {
        MainWindow *main = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *candidate = qobject_cast<MainWindow *>(window))
                main = candidate;
        QVERIFY(main);
        shownWhileListing = main->isVisible() && main->isEnabled();
        QTreeWidgetItem *item = main->treeView->node(QStringLiteral("C:\\Users\\me\\Desktop\\fast\\\\"));
        QVERIFY(item);
        QTest::mouseClick(main->treeView->viewport(), Qt::LeftButton, {}, main->treeView->visualItemRect(item).center());
    });
    QElapsedTimer clock;
    clock.start();
    browser.emplace(sandbox);
    QTRY_COMPARE(browser->state.ThumbCount, 2);
    QVERIFY(shownWhileListing);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(browser->form.fileList->path(), QStringLiteral("C:\\Users\\me\\Desktop\\fast"));
}

void SlowFilesTest::closingDuringASlowListingEndsAtOnce()
{
    // The main window closed while a folder does not list: the program ends without waiting for it.
    Sandbox sandbox;
    MakePictures(sandbox, "hung", 3);
    Browser browser(sandbox);
    browser.reveal(QStringLiteral("C:\\tmp"));
    SlowPaths slow;
    slow.slow(QFile::encodeName(sandbox.onC("hung")), Asked::List);
    QElapsedTimer closedAt;
    QTimer::singleShot(400, [&] {
        closedAt.start();
        browser.form.close();
    });
    browser.click(QStringLiteral("C:\\hung"));
    QVERIFY(closedAt.isValid());
    QVERIFY2(closedAt.elapsed() < 200, qPrintable(QString::number(closedAt.elapsed())));
    QCOMPARE(sandbox.endCalls, QList<int>{0});
    QVERIFY(!ShownStopBox());
}

void SlowFilesTest::aHungSubFolderInTheTreeFillsInWhenItAnswers()
{
    // Opening a folder one of whose sub-folders never lists: the opening ends within the patience,
    // with the window's events running, the other sub-folders read; opening it again waits for
    // nothing; when the folder answers at last, its own sub-folders appear.
    Sandbox sandbox;
    for (const char *folder : {"c/share/a/a1", "c/share/b/b1", "c/share/c/c1"})
        sandbox.makeFolder(folder);
    Browser browser(sandbox);
    QVERIFY(browser.tree().contains(QStringLiteral("C:\\share\\b")));
    SlowPaths slow;
    const QByteArray hung = QFile::encodeName(sandbox.onC("share/b"));
    slow.slow(hung, Asked::List);
    Heartbeat heartbeat;
    QElapsedTimer clock;
    clock.start();
    browser.tree().node(QStringLiteral("C:\\share"))->setExpanded(true);
    QVERIFY2(clock.elapsed() < FileCalls::DefaultDeadline + 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(heartbeat.beats >= 10);
    QVERIFY(browser.tree().contains(QStringLiteral("C:\\share\\a\\a1")));
    QVERIFY(browser.tree().contains(QStringLiteral("C:\\share\\c\\c1")));
    QVERIFY(!browser.tree().contains(QStringLiteral("C:\\share\\b\\b1")));
    QVERIFY(browser.form.isEnabled());

    browser.tree().node(QStringLiteral("C:\\share"))->setExpanded(false);
    clock.restart();
    browser.tree().node(QStringLiteral("C:\\share"))->setExpanded(true);
    QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(slow.asked(hung, Asked::List), 1);

    slow.release();
    QTRY_VERIFY(browser.tree().contains(QStringLiteral("C:\\share\\b\\b1")));
}

void SlowFilesTest::aStartFolderThatDoesNotAnswerIsRefused()
{
    // A folder given on the command line that does not answer: the program says so and ends,
    // rather than never starting.
    Sandbox sandbox;
    sandbox.makeFolder("c/share");
    SlowPaths slow;
    const QByteArray share = QFile::encodeName(sandbox.onC("share"));
    slow.slow(share, Asked::Look);
    QElapsedTimer clock;
    clock.start();
    const CommandLine line = CommandLine::Parse({share}, 300);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(line.action, CommandLine::Action::PrintAndExit);
    QCOMPARE(line.exitCode, 2);
    QVERIFY2(line.text.contains(QStringLiteral("does not answer")), qPrintable(line.text));
}

QTEST_MAIN(SlowFilesTest)
#include "tst_slowfiles.moc"
