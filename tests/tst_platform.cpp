#include "platform/drivetable.h"
#include "platform/filelist.h"
#include "platform/twips.h"
#include "sandbox.h"

#include <QSignalSpy>
#include <QTest>

class PlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void roundsHalvesToEven_data();
    void roundsHalvesToEven();
    void keepsWidgetGeometryInTwips();
    void mapsPathsThroughTheDriveTable();
    void readsDrivesFromMountedVolumes();
    void volumesMountedLaterKeepTheirLetters();
    void listsOnlyMatchingPlainFilesSortedWithoutCase();
    void keepsOldFolderWhenNewOneCannotBeRead();
    void listsSubFoldersWithoutFilesOrUnrepresentableNames();
    void deletesFilesByPattern();
};

void PlatformTest::roundsHalvesToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded");
    QTest::newRow("2.5 to 2") << 2.5 << qint64(2);
    QTest::newRow("3.5 to 4") << 3.5 << qint64(4);
    QTest::newRow("-2.5 to -2") << -2.5 << qint64(-2);
    QTest::newRow("8.63 to 9") << 7725.0 / 895.0 << qint64(9);
    QTest::newRow("74.1 to 74") << 9 * 7000.0 / 850.0 << qint64(74);
    QTest::newRow("111.5 to 112") << 111.5 << qint64(112);
    QTest::newRow("135.33 to 135") << 2030.0 / 15.0 << qint64(135);
}

void PlatformTest::roundsHalvesToEven()
{
    // Fractions become integers by rounding halves to the even neighbour.
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    QCOMPARE(Twips::roundHalfEven(value), rounded);
}

void PlatformTest::keepsWidgetGeometryInTwips()
{
    // What is set in twips reads back exactly; negative sizes are refused.
    Twips::setPerPixelOverride(15.0);
    QWidget widget;
    QVERIFY(Twips::place(&widget, 3690, 405, 8280, 11820));
    QCOMPARE(widget.geometry(), QRect(246, 27, 552, 788));
    QVERIFY(Twips::setLeft(&widget, 7));
    QCOMPARE(Twips::left(&widget), 7.0);
    QCOMPARE(Twips::width(&widget), 8280.0);
    QVERIFY(!Twips::setHeight(&widget, -10));
    QCOMPARE(Twips::height(&widget), 11820.0);
}

void PlatformTest::mapsPathsThroughTheDriveTable()
{
    // Windows-form paths go to native ones through the longest drive root.
    DriveTable table({{QLatin1Char('C'), QStringLiteral("/"), DriveTable::Fixed, QString(), true},
                      {QLatin1Char('D'), QStringLiteral("/media/usb"), DriveTable::Removable, QStringLiteral("usb"), true},
                      {QLatin1Char('E'), QStringLiteral("/mnt/cd"), DriveTable::CdRom, QString(), false}});
    QCOMPARE(table.logicalDrives(), (1u << 2) | (1u << 3) | (1u << 4));
    QCOMPARE(table.toNative(QStringLiteral("C:\\home\\me\\Pictures")), QStringLiteral("/home/me/Pictures"));
    QCOMPARE(table.toNative(QStringLiteral("C:\\")), QStringLiteral("/"));
    QCOMPARE(table.toNative(QStringLiteral("C:\\tmp\\\\KRUtemp")), QStringLiteral("/tmp/KRUtemp"));
    QCOMPARE(table.toNative(QStringLiteral("d:\\photos")), QStringLiteral("/media/usb/photos"));
    QVERIFY(!table.toNative(QStringLiteral("E:\\")).has_value());
    QVERIFY(!table.toNative(QStringLiteral("F:\\")).has_value());
    QCOMPARE(table.toWindows(QStringLiteral("/home/me")), QStringLiteral("C:\\home\\me"));
    QCOMPARE(table.toWindows(QStringLiteral("/")), QStringLiteral("C:\\"));
    QCOMPARE(table.toWindows(QStringLiteral("/media/usb/a b")), QStringLiteral("D:\\a b"));
    QVERIFY(!table.toWindows(QStringLiteral("/home/odd\\name")).has_value());
    QCOMPARE(table.displayName(QStringLiteral("C:\\")), QStringLiteral("ローカル ディスク (C:)"));
    QCOMPARE(table.displayName(QStringLiteral("D:\\")), QStringLiteral("usb (D:)"));
    QCOMPARE(table.driveType(QStringLiteral("E:\\")), int(DriveTable::CdRom));
    QCOMPARE(table.driveType(QStringLiteral("Q:\\")), int(DriveTable::NoRootDir));
    table.setMediumPresent(QLatin1Char('E'), true);
    QCOMPARE(table.toNative(QStringLiteral("E:\\x")), QStringLiteral("/mnt/cd/x"));
}

void PlatformTest::readsDrivesFromMountedVolumes()
{
    // C: is the root; other volumes get D:, E:, ... in mount-path order by kind.
    const QList<DriveTable::Mount> mounts{
        {"/", "ext4", "/dev/vda", ""},
        {"/proc", "proc", "proc", ""},
        {"/tmp", "tmpfs", "tmpfs", ""},
        {"/srv/data", "ext4", "/dev/vdb", ""},
        {"/net/share", "nfs4", "server:/share", ""},
        {"/media/me/DISC", "iso9660", "/dev/sr0", "DISC"},
        {"/media/me/STICK ONE", "vfat", "/dev/sdc1", ""},
        {"/srv/labelled", "ext4", "/dev/vdc", "Archive"},
    };
    const DriveTable table = DriveTable::fromMounts([&] { return mounts; });
    QCOMPARE(table.drives().size(), 6);
    QCOMPARE(table.toNative(QStringLiteral("C:\\")), QStringLiteral("/"));
    QCOMPARE(table.driveType(QStringLiteral("D:\\")), int(DriveTable::CdRom));
    QCOMPARE(table.toNative(QStringLiteral("D:\\")), QStringLiteral("/media/me/DISC"));
    QCOMPARE(table.driveType(QStringLiteral("E:\\")), int(DriveTable::Removable));
    QCOMPARE(table.displayName(QStringLiteral("E:\\")), QStringLiteral("STICK ONE (E:)"));
    QCOMPARE(table.driveType(QStringLiteral("F:\\")), int(DriveTable::Remote));
    QCOMPARE(table.driveType(QStringLiteral("G:\\")), int(DriveTable::Fixed));
    QCOMPARE(table.toNative(QStringLiteral("G:\\")), QStringLiteral("/srv/data"));
    QCOMPARE(table.displayName(QStringLiteral("G:\\")), QStringLiteral("ローカル ディスク (G:)"));
    QCOMPARE(table.displayName(QStringLiteral("H:\\")), QStringLiteral("Archive (H:)"));
    QCOMPARE(table.logicalDrives() & 3u, 0u);
}

void PlatformTest::volumesMountedLaterKeepTheirLetters()
{
    // Mounts are read again: a new volume takes the next letter never given, an unmounted one goes,
    // and one mounted again gets its letter back.
    QList<DriveTable::Mount> mounts{{"/", "ext4", "/dev/vda", ""}, {"/media/me/A", "vfat", "/dev/sdb1", ""}};
    DriveTable table = DriveTable::fromMounts([&] { return mounts; });
    QCOMPARE(table.toNative(QStringLiteral("D:\\")), QStringLiteral("/media/me/A"));
    mounts.append({"/media/me/0first", "vfat", "/dev/sdc1", ""});
    QVERIFY(!table.toNative(QStringLiteral("E:\\")));
    table.refresh();
    QCOMPARE(table.toNative(QStringLiteral("D:\\")), QStringLiteral("/media/me/A"));
    QCOMPARE(table.toNative(QStringLiteral("E:\\")), QStringLiteral("/media/me/0first"));
    mounts.removeAt(1);
    table.refresh();
    QCOMPARE(table.driveType(QStringLiteral("D:\\")), int(DriveTable::NoRootDir));
    mounts.append({"/media/me/B", "vfat", "/dev/sdd1", ""});
    mounts.append({"/media/me/A", "vfat", "/dev/sdb1", ""});
    table.refresh();
    QCOMPARE(table.toNative(QStringLiteral("D:\\")), QStringLiteral("/media/me/A"));
    QCOMPARE(table.toNative(QStringLiteral("F:\\")), QStringLiteral("/media/me/B"));
    QCOMPARE(table.logicalDrives(), (1u << 2) | (1u << 3) | (1u << 4) | (1u << 5));
}

void PlatformTest::listsOnlyMatchingPlainFilesSortedWithoutCase()
{
    // The file list filters by the pattern without case and sorts by name.
    Sandbox sandbox;
    for (const char *name : {"b.JPG", "a.bmp", "C.gif", "notes.txt", ".hidden.bmp", "clip.WMF", "xwmf"})
        sandbox.writeFile(QStringLiteral("c/pics/") + QLatin1String(name), "x");
    sandbox.makeFolder(QStringLiteral("c/pics/folder.bmp"));
    FileList list(sandbox.context->fileSystem);
    list.setPattern(QStringLiteral("*wmf;*ICO;*.CUR;*.BMP;*.jpg;*.gif"));
    QVERIFY(list.setPath(QStringLiteral("C:\\pics")));
    QStringList names;
    for (int i = 0; i < list.listCount(); ++i)
        names.append(list.list(i));
    QCOMPARE(names, QStringList({"a.bmp", "b.JPG", "C.gif", "clip.WMF", "xwmf"}));
    QCOMPARE(list.list(list.listCount()), QString());
    list.setPattern(QStringLiteral("*.*KUROE"));
    QCOMPARE(list.listCount(), 0);
    QVERIFY(FileList::matchesPattern(QStringLiteral("photo.jpg"), QStringLiteral("*BMP;*JPG")));
    QVERIFY(!FileList::matchesPattern(QStringLiteral("photo.jpeg"), QStringLiteral("*BMP;*JPG")));
}

void PlatformTest::keepsOldFolderWhenNewOneCannotBeRead()
{
    // A folder that cannot be read fails; only a different folder notifies.
    Sandbox sandbox;
    sandbox.makeFolder(QStringLiteral("c/one"));
    sandbox.makeFolder(QStringLiteral("c/two"));
    FileList list(sandbox.context->fileSystem);
    QSignalSpy changes(&list, &FileList::pathChanged);
    QVERIFY(list.setPath(QStringLiteral("C:\\one")));
    QVERIFY(!list.setPath(QStringLiteral("C:\\missing")));
    QVERIFY(!list.setPath(QStringLiteral("ROOT\\")));
    QCOMPARE(list.path(), QStringLiteral("C:\\one"));
    QVERIFY(list.setPath(QStringLiteral("C:\\one")));
    QVERIFY(list.setPath(QStringLiteral("C:\\two")));
    QCOMPARE(changes.count(), 2);
}

void PlatformTest::listsSubFoldersWithoutFilesOrUnrepresentableNames()
{
    // Folder listings hold folders only, hidden ones included, never "." or "..".
    Sandbox sandbox;
    sandbox.makeFolder(QStringLiteral("c/top/alpha"));
    sandbox.makeFolder(QStringLiteral("c/top/.hidden"));
    sandbox.makeFolder(QStringLiteral("c/top/back\\slash"));
    sandbox.writeFile(QStringLiteral("c/top/file.txt"), "x");
    auto names = sandbox.context->fileSystem.listSubFolders(QStringLiteral("C:\\top"));
    QVERIFY(names.has_value());
    names->sort();
    QCOMPARE(*names, QStringList({".hidden", "alpha"}));
    QVERIFY(!sandbox.context->fileSystem.listSubFolders(QStringLiteral("C:\\nothing")).has_value());
    QVERIFY(!sandbox.context->fileSystem.listSubFolders(QStringLiteral("Z:\\")).has_value());
}

void PlatformTest::deletesFilesByPattern()
{
    // Cache clean-up deletes only the matching files, doubled separators and all.
    Sandbox sandbox;
    sandbox.writeFile(QStringLiteral("c/tmp/KRUtemp/img0.tmp"), "x");
    sandbox.writeFile(QStringLiteral("c/tmp/KRUtemp/img10.TMP"), "x");
    sandbox.writeFile(QStringLiteral("c/tmp/KRUtemp/keep.bmp"), "x");
    const FileSystem &fs = sandbox.context->fileSystem;
    QCOMPARE(fs.deleteFiles(QStringLiteral("C:\\tmp\\\\KRUtemp\\*.tmp")), 2);
    QVERIFY(fs.fileExists(QStringLiteral("C:\\tmp\\KRUtemp\\keep.bmp")));
    QVERIFY(!fs.removeFolder(QStringLiteral("C:\\tmp\\KRUtemp")));
    QCOMPARE(sandbox.context->tempPath(), QStringLiteral("C:\\tmp\\"));
}

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
