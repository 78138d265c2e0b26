#include "files/drivetable.h"
#include "files/filelist.h"
#include "files/nativenames.h"
#include "files/fileoperations.h"
#include "files/trash.h"
#include "platform/twips.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The native path of a Windows-form one; a null array when none.
QByteArray nativeOf(const DriveTable &table, const QString &windowsPath)
{
    return FileSystem(table).toNative(windowsPath).value_or(QByteArray());
}

} // namespace

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
    void listsSubFoldersWithoutFiles();
    void deletesFilesByPattern();
    void namesInAnyBytesShowAndMapBack();
    void trashAsTheDesktopKeepsIt();
    void trashOnAnotherFileSystem();
    void renamesNeverOverwrite();
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
    QCOMPARE(nativeOf(table, QStringLiteral("C:\\home\\me\\Pictures")), QByteArray("/home/me/Pictures"));
    QCOMPARE(nativeOf(table, QStringLiteral("C:\\")), QByteArray("/"));
    QCOMPARE(nativeOf(table, QStringLiteral("C:\\tmp\\\\KRUtemp")), QByteArray("/tmp/KRUtemp"));
    QCOMPARE(nativeOf(table, QStringLiteral("d:\\photos")), QByteArray("/media/usb/photos"));
    QVERIFY(nativeOf(table, QStringLiteral("E:\\")).isNull());
    QVERIFY(nativeOf(table, QStringLiteral("F:\\")).isNull());
    QCOMPARE(FileSystem(table).toWindows("/home/me"), QStringLiteral("C:\\home\\me"));
    QCOMPARE(FileSystem(table).toWindows("/"), QStringLiteral("C:\\"));
    QCOMPARE(FileSystem(table).toWindows("/media/usb/a b"), QStringLiteral("D:\\a b"));
    QCOMPARE(FileSystem(table).toWindows("/home/odd\\name"), QStringLiteral("C:\\home\\odd＼name"));
    QCOMPARE(table.displayName(QStringLiteral("C:\\")), QStringLiteral("ローカル ディスク (C:)"));
    QCOMPARE(table.displayName(QStringLiteral("D:\\")), QStringLiteral("usb (D:)"));
    QCOMPARE(table.driveType(QStringLiteral("E:\\")), int(DriveTable::CdRom));
    QCOMPARE(table.driveType(QStringLiteral("Q:\\")), int(DriveTable::NoRootDir));
    table.setMediumPresent(QLatin1Char('E'), true);
    QCOMPARE(nativeOf(table, QStringLiteral("E:\\x")), QByteArray("/mnt/cd/x"));
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
    QCOMPARE(nativeOf(table, QStringLiteral("C:\\")), QByteArray("/"));
    QCOMPARE(table.driveType(QStringLiteral("D:\\")), int(DriveTable::CdRom));
    QCOMPARE(nativeOf(table, QStringLiteral("D:\\")), QByteArray("/media/me/DISC"));
    QCOMPARE(table.driveType(QStringLiteral("E:\\")), int(DriveTable::Removable));
    QCOMPARE(table.displayName(QStringLiteral("E:\\")), QStringLiteral("STICK ONE (E:)"));
    QCOMPARE(table.driveType(QStringLiteral("F:\\")), int(DriveTable::Remote));
    QCOMPARE(table.driveType(QStringLiteral("G:\\")), int(DriveTable::Fixed));
    QCOMPARE(nativeOf(table, QStringLiteral("G:\\")), QByteArray("/srv/data"));
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
    QCOMPARE(nativeOf(table, QStringLiteral("D:\\")), QByteArray("/media/me/A"));
    mounts.append({"/media/me/0first", "vfat", "/dev/sdc1", ""});
    QVERIFY(nativeOf(table, QStringLiteral("E:\\")).isNull());
    table.refresh();
    QCOMPARE(nativeOf(table, QStringLiteral("D:\\")), QByteArray("/media/me/A"));
    QCOMPARE(nativeOf(table, QStringLiteral("E:\\")), QByteArray("/media/me/0first"));
    mounts.removeAt(1);
    table.refresh();
    QCOMPARE(table.driveType(QStringLiteral("D:\\")), int(DriveTable::NoRootDir));
    mounts.append({"/media/me/B", "vfat", "/dev/sdd1", ""});
    mounts.append({"/media/me/A", "vfat", "/dev/sdb1", ""});
    table.refresh();
    QCOMPARE(nativeOf(table, QStringLiteral("D:\\")), QByteArray("/media/me/A"));
    QCOMPARE(nativeOf(table, QStringLiteral("F:\\")), QByteArray("/media/me/B"));
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

void PlatformTest::listsSubFoldersWithoutFiles()
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
    QCOMPARE(*names, QStringList({".hidden", "alpha", "back＼slash"}));
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

void PlatformTest::namesInAnyBytesShowAndMapBack()
{
    // Names on disk that are not UTF-8 still show, in Japanese where they are Shift_JIS, and every
    // shown path leads back to the very bytes; names that would show alike are told apart.
    using NativeNames::Shown;
    QCOMPARE(Shown("\x89\xe6\x91\x9c.jpg"), QStringLiteral("画像.jpg"));
    QCOMPARE(Shown("\x83\x65\x83\x58\x83\x67.bmp"), QStringLiteral("テスト.bmp"));
    QCOMPARE(Shown("\xb1\xb2.bmp"), QStringLiteral("ｱｲ.bmp"));
    QCOMPARE(Shown("caf\xe9.gif"), QStringLiteral("caf%E9.gif"));
    QCOMPARE(Shown("bad\xff\x81.bmp"), QStringLiteral("bad%FF%81.bmp"));
    QCOMPARE(Shown("\xe7\x94\xbb\xff"), QStringLiteral("画%FF"));
    QCOMPARE(Shown("back\\slash"), QStringLiteral("back＼slash"));
    QCOMPARE(Shown("tab\tnew\nline\x7f"), QStringLiteral("tab␉new␊line␡"));
    QCOMPARE(Shown("ordinary 名前.jpg"), QStringLiteral("ordinary 名前.jpg"));
    QCOMPARE(NativeNames::Bytes(QStringLiteral("back＼slash␊")), QByteArray("back\\slash\n"));

    Sandbox sandbox;
    const QByteArray folder = sandbox.nativePath("c/names", QByteArray());
    const QList<QByteArray> names{"\x89\xe6\x91\x9c.jpg", "caf\xe9.gif", "back\\slash.bmp", "new\nline.bmp",
                                  "bad\xff.bmp", "bad%FF.bmp", "plain.bmp", "\xe7\x94\xbb\xe5\x83\x8f.jpg"};
    for (const QByteArray &name : names)
        QVERIFY(sandbox.writeNativeFile("c/names", name, name));
    QVERIFY(sandbox.makeNativeFolder("c/names", "\x8e\xca\x90\x5e"));
    const FileSystem &fs = sandbox.context->fileSystem;
    const auto files = fs.listFiles(QStringLiteral("C:\\names"));
    QVERIFY(files.has_value());
    QHash<QString, QByteArray> listed;
    for (const NativeNames::Listed &file : files->names)
        listed.insert(file.shown, file.native);
    // A name that shows as it is keeps its text; one that would show the same is numbered.
    const QHash<QString, QByteArray> expected{
        {QStringLiteral("画像.jpg"), "\xe7\x94\xbb\xe5\x83\x8f.jpg"},
        {QStringLiteral("画像 (2).jpg"), "\x89\xe6\x91\x9c.jpg"},
        {QStringLiteral("caf%E9.gif"), "caf\xe9.gif"},
        {QStringLiteral("back＼slash.bmp"), "back\\slash.bmp"},
        {QStringLiteral("new␊line.bmp"), "new\nline.bmp"},
        {QStringLiteral("bad%FF.bmp"), "bad%FF.bmp"},
        {QStringLiteral("bad%FF (2).bmp"), "bad\xff.bmp"},
        {QStringLiteral("plain.bmp"), "plain.bmp"}};
    QCOMPARE(listed, expected);
    QCOMPARE(*fs.listSubFolders(QStringLiteral("C:\\names")), QStringList{QStringLiteral("写真")});

    // Each shown path leads to the file whose bytes it stands for, in a fresh file system too
    // (as after a restart, before any listing), and the bytes lead back to the shown path.
    const FileSystem fresh(sandbox.context->drives);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString windows = QStringLiteral("C:\\names\\") + it.key();
        for (const FileSystem *system : {&fs, &fresh}) {
            const auto native = system->toNative(windows);
            QVERIFY2(native.has_value(), qPrintable(it.key()));
            QCOMPARE(*native, folder + it.value());
            QFile file;
            QVERIFY(NativeFile::Open(file, *native, QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), it.value());
            QCOMPARE(system->fileLength(windows), std::optional<qint64>(it.value().size()));
        }
        QCOMPARE(FileSystem(sandbox.context->drives).toWindows(folder + it.value()), windows);
    }
    QVERIFY(fresh.isReadableFolder(QStringLiteral("C:\\names\\写真")));
    QCOMPARE(fresh.toNative(QStringLiteral("C:\\names\\写真")), folder + "\x8e\xca\x90\x5e");

    // The file list sorts and matches by the shown names and opens by the bytes.
    FileList list(fs);
    list.setPattern(QStringLiteral("*.BMP"));
    QVERIFY(list.setPath(QStringLiteral("C:\\names")));
    QStringList shown;
    for (int i = 0; i < list.listCount(); ++i) {
        shown.append(list.list(i));
        QCOMPARE(list.nativePath(i), folder + expected.value(list.list(i)));
    }
    QCOMPARE(shown, (QStringList{"back＼slash.bmp", "bad%FF (2).bmp", "bad%FF.bmp", "new␊line.bmp", "plain.bmp"}));
    QVERIFY(list.nativePath(list.listCount()).isEmpty());
}

QTEST_MAIN(PlatformTest)
namespace {

// A file's bytes by its name's bytes.
QByteArray ReadAll(const QByteArray &path)
{
    QByteArray bytes;
    const int file = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return bytes;
    char block[4096];
    for (ssize_t n; (n = ::read(file, block, sizeof block)) > 0;)
        bytes.append(block, n);
    ::close(file);
    return bytes;
}

// A small tmpfs on a folder while it lives; only where the tests may mount (as root).
class SmallFileSystem
{
public:
    SmallFileSystem(QByteArray at, const char *size) : m_at(std::move(at)), m_size(size)
    {
        m_mounted = ::mount("tmpfs", m_at.constData(), "tmpfs", 0, m_size) == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_at.constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;
    bool mounted() const { return m_mounted; }
    bool makeReadOnly() const { return ::mount("tmpfs", m_at.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, m_size) == 0; }

private:
    QByteArray m_at;
    const char *m_size;
    bool m_mounted = false;
};

} // namespace

void PlatformTest::trashAsTheDesktopKeepsIt()
{
    // A file on the home trash's file system goes to $XDG_DATA_HOME/Trash/files with its .trashinfo (the
    // path's bytes percent-encoded, the deletion date); a second of the same name gets a name of its own; a
    // name in Latin-1 bytes keeps its bytes. Put back, it is where it was and the .trashinfo is gone, but
    // never over a file that is there now. A file that is gone leaves nothing in the trash.
    Sandbox sandbox;
    QVERIFY(sandbox.makeFolder("pics"));
    const Trash::Places places{QFile::encodeName(sandbox.path("data/Trash")), ::getuid()};
    const QByteArray folder = QFile::encodeName(sandbox.path("pics"));
    const QByteArray latin1 = "caf\xe9 1.jpg";
    QVERIFY(sandbox.writeNativeFile("pics", latin1, "first"));
    const QDateTime when(QDate(2026, 12, 10), QTime(9, 30, 5));
    const Trash::Result first = Trash::MoveToTrash(folder + '/' + latin1, places, when);
    QVERIFY2(first.trashed, qPrintable(first.error));
    QCOMPARE(first.trashed->file, places.home + "/files/" + latin1);
    QCOMPARE(ReadAll(first.trashed->file), QByteArray("first"));
    QVERIFY(access((folder + '/' + latin1).constData(), F_OK) != 0);
    QCOMPARE(ReadAll(places.home + "/info/" + latin1 + ".trashinfo"),
             "[Trash Info]\nPath=" + folder.toPercentEncoding("/") + "/caf%E9%201.jpg\nDeletionDate=2026-12-10T09:30:05\n");
    struct stat trash{};
    QCOMPARE(::stat(places.home.constData(), &trash), 0);
    QCOMPARE(int(trash.st_mode & 0777), 0700);

    QVERIFY(sandbox.writeNativeFile("pics", latin1, "second"));
    const Trash::Result second = Trash::MoveToTrash(folder + '/' + latin1, places, when);
    QVERIFY2(second.trashed, qPrintable(second.error));
    QCOMPARE(second.trashed->file, places.home + "/files/" + latin1 + ".2");
    QCOMPARE(ReadAll(second.trashed->file), QByteArray("second"));

    QVERIFY(Trash::Restore(*first.trashed));
    QCOMPARE(ReadAll(folder + '/' + latin1), QByteArray("first"));
    QVERIFY(access(first.trashed->info.constData(), F_OK) != 0);
    QString error;
    QVERIFY(!Trash::Restore(*second.trashed, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(ReadAll(folder + '/' + latin1), QByteArray("first"));
    QCOMPARE(ReadAll(second.trashed->file), QByteArray("second"));
    QVERIFY(access(second.trashed->info.constData(), F_OK) == 0);

    const Trash::Result gone = Trash::MoveToTrash(folder + "/gone.jpg", places, when);
    QVERIFY(!gone.trashed && !gone.error.isEmpty());
    QVERIFY(access((places.home + "/info/gone.jpg.trashinfo").constData(), F_OK) != 0);
}

void PlatformTest::trashOnAnotherFileSystem()
{
    // On a file system of its own (a small tmpfs), a file goes to its $topdir/.Trash-$uid, made 0700, with the
    // path from the top folder; a shared $topdir/.Trash that is not sticky is not used. When the file system is
    // full, the file stays where it was and nothing is left in the trash.
    Sandbox sandbox;
    QVERIFY(sandbox.makeFolder("other"));
    const QByteArray top = QFile::encodeName(sandbox.path("other"));
    const SmallFileSystem other(top, "size=256k");
    if (!other.mounted())
        QSKIP("no tmpfs can be mounted here");
    const Trash::Places places{QFile::encodeName(sandbox.path("data/Trash")), ::getuid()};
    QVERIFY(QDir().mkpath(sandbox.path("other/.Trash")));
    QVERIFY(QDir().mkpath(sandbox.path("other/album")));
    QVERIFY(sandbox.writeFile("other/album/a.jpg", "picture"));
    const Trash::Result moved = Trash::MoveToTrash(top + "/album/a.jpg", places);
    QVERIFY2(moved.trashed, qPrintable(moved.error));
    const QByteArray own = top + "/.Trash-" + QByteArray::number(::getuid());
    QCOMPARE(moved.trashed->file, own + "/files/a.jpg");
    QVERIFY(ReadAll(own + "/info/a.jpg.trashinfo").startsWith("[Trash Info]\nPath=album/a.jpg\n"));
    struct stat trash{};
    QCOMPARE(::stat(own.constData(), &trash), 0);
    QCOMPARE(int(trash.st_mode & 0777), 0700);
    QVERIFY(!QDir(sandbox.path("data/Trash")).exists());
    QVERIFY(Trash::Restore(*moved.trashed));
    QCOMPARE(sandbox.readFile("other/album/a.jpg"), QByteArray("picture"));

    // Full: the .trashinfo cannot be written.
    QFile filler(sandbox.path("other/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush())
        ;
    filler.close();
    const Trash::Result full = Trash::MoveToTrash(top + "/album/a.jpg", places);
    QVERIFY(!full.trashed && !full.error.isEmpty());
    QCOMPARE(sandbox.readFile("other/album/a.jpg"), QByteArray("picture"));
    QVERIFY(QDir(QString::fromLocal8Bit(own + "/info")).entryList(QDir::Files).isEmpty());
}

void PlatformTest::renamesNeverOverwrite()
{
    // A rename by the bytes of the names (Shift_JIS and Latin-1 ones too) keeps the file's contents; a name that
    // is taken, a file gone, a read-only file system and a name with "/" leave every file as it was, with a reason.
    Sandbox sandbox;
    QVERIFY(sandbox.makeFolder("album"));
    const QByteArray folder = QFile::encodeName(sandbox.path("album"));
    const QByteArray shiftJis("\x83\x65\x83\x58\x83\x67.jpg"); // テスト.jpg
    const QByteArray latin1("caf\xe9.jpg");
    for (const QByteArray &name : {shiftJis, latin1, QByteArray("taken.jpg")})
        QVERIFY(sandbox.writeNativeFile("album", name, name));
    FileOperations::Outcome renamed = FileOperations::Rename(folder + '/' + shiftJis, QFile::encodeName(QStringLiteral("テスト.jpg")));
    QVERIFY2(renamed.done, qPrintable(renamed.error));
    QCOMPARE(ReadAll(folder + "/" + QFile::encodeName(QStringLiteral("テスト.jpg"))), shiftJis);
    QVERIFY(access((folder + '/' + shiftJis).constData(), F_OK) != 0);

    const FileOperations::Outcome clash = FileOperations::Rename(folder + '/' + latin1, "taken.jpg");
    QVERIFY(!clash.done);
    QCOMPARE(clash.error, QStringLiteral("同じ名前のファイルがすでにあります。"));
    QCOMPARE(ReadAll(folder + "/taken.jpg"), QByteArray("taken.jpg"));
    QCOMPARE(ReadAll(folder + '/' + latin1), latin1);
    QVERIFY(!FileOperations::Rename(folder + "/gone.jpg", "here.jpg").done);
    QVERIFY(access((folder + "/here.jpg").constData(), F_OK) != 0);
    QVERIFY(!FileOperations::Rename(folder + '/' + latin1, "a/b.jpg").done);
    QCOMPARE(FileOperations::NameProblem(QStringLiteral("a/b.jpg")), QStringLiteral("名前に「/」は使えません。"));
    QVERIFY(!FileOperations::NameProblem(QString()).isEmpty());
    QVERIFY(!FileOperations::NameProblem(QStringLiteral("..")).isEmpty());
    QVERIFY(!FileOperations::NameProblem(QString(200, QChar(0x3042))).isEmpty()); // 600 bytes
    QVERIFY(FileOperations::NameProblem(QStringLiteral("写真 2.jpg")).isEmpty());

    QVERIFY(sandbox.makeFolder("fixed"));
    const QByteArray top = QFile::encodeName(sandbox.path("fixed"));
    const SmallFileSystem fixed(top, "size=64k");
    if (!fixed.mounted())
        QSKIP("no tmpfs can be mounted here");
    QVERIFY(sandbox.writeFile("fixed/a.jpg", "picture"));
    QVERIFY(fixed.makeReadOnly());
    const FileOperations::Outcome readOnly = FileOperations::Rename(top + "/a.jpg", "b.jpg");
    QVERIFY(!readOnly.done && !readOnly.error.isEmpty());
    QCOMPARE(sandbox.readFile("fixed/a.jpg"), QByteArray("picture"));
}

#include "tst_platform.moc"
