#include "app/mainwindow.h"
#include "core/programstate.h"
#include "core/settings.h"
#include "tree/keyedtree.h"
#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "platform/twips.h"
#include "catalogue/sizetext.h"
#include "catalogue/thumbnailprefetch.h"
#include "memorywatch.h"
#include "pictures/pictureloader.h"
#include "loadedwindow.h"
#include "sandbox.h"
#include "viewer/viewerwindow.h"
#include "widgets/picturebox.h"
#include "viewer/selection.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QProcess>
#include <QAction>

#include <QStandardPaths>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/resource.h>

namespace {

struct Browser : LoadedWindow
{
    using LoadedWindow::LoadedWindow;
    QPoint cellCentre(int i) const
    {
        const QRectF cell = form.thumbnailArea->cellAt(i).rect;
        return Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).center();
    }
};

// What a picture looks like on the viewer's black.
QImage OnBlack(const QImage &picture)
{
    QImage composed(picture.size(), QImage::Format_RGB32);
    composed.fill(Qt::black);
    QPainter painter(&composed);
    painter.drawImage(0, 0, picture);
    return composed;
}

} // namespace

class ReliabilityTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void everyCorpusFileThroughEveryWindow();
    void damagedSettingsFilesReadWhatTheyCan_data();
    void damagedSettingsFilesReadWhatTheyCan();
    void settingsThatCannotBeWrittenStayWhole();
    void killedWritersNeverLeaveHalfAFile();
    void twoCopiesAddingFavouritesLoseNothing();
    void filesVanishingDuringALoad();
    void foldersThatCannotBeRead();
    void symlinkLoopsOpenWithoutEnd();
    void namesInAnyBytesThroughEveryWindow();
    void tenThousandSubfolders();
};

void ReliabilityTest::everyCorpusFileThroughEveryWindow()
{
    // Every corpus file goes through the catalogue, the preview and the viewer: valid ones show a
    // picture, malformed ones an undecodable cell or what could be read, each within seconds.
    QFile manifest(QStringLiteral(KUROEVIEW_CORPUS_DIR "/MANIFEST.tsv"));
    if (!manifest.open(QIODevice::ReadOnly))
        QSKIP("the picture corpus is not here");
    Sandbox sandbox;
    sandbox.makeFolder("c/corpus");
    QHash<QString, bool> valid;
    for (const QByteArray &line : manifest.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 5 || fields[0] == "path")
            continue;
        const QString relative = QString::fromUtf8(fields[0]);
        const QString name = QString(relative).replace(QLatin1Char('/'), QLatin1Char('_'));
        QVERIFY(QFile::copy(QStringLiteral(KUROEVIEW_CORPUS_DIR "/") + relative, sandbox.onC("corpus/" + name)));
        // RAW files LibRaw opens are valid too (LibRaw does not read floating-point DNGs).
        valid.insert(name, fields[4] == "valid" || (fields[4] == "valid-raw" && !fields[5].contains("opens: no")));
    }
    // Each file alone through the decoders, in a memory bound that names it; no file's decode grows the
    // process by more than 1 GB (2 GB under AddressSanitizer, whose shadow counts too).
    MemoryWatch memory;
    const qint64 perFile = MemoryWatch::defaultBound() / 2;
    for (auto it = valid.cbegin(); it != valid.cend(); ++it) {
        memory.setDoing(QStringLiteral("decoding ") + it.key());
        const QByteArray native = QFile::encodeName(sandbox.onC("corpus/" + it.key()));
        const qint64 before = MemoryWatch::residentBytes();
        MemoryWatch::resetPeak();
        ThumbnailPrefetch::Make(native, it.key(), {});
        PictureLoader::Load(native);
        QVERIFY2(MemoryWatch::peakBytes() - before < perFile, qPrintable(it.key()));
    }
    memory.setDoing(QStringLiteral("loading the corpus folder"));
    Browser browser(sandbox);
    browser.form.fileList->setPattern(QStringLiteral("*"));
    QElapsedTimer clock;
    clock.start();
    browser.form.fileList->setPath(QStringLiteral("C:\\corpus"));
    QCOMPARE(browser.state.ThumbCount, static_cast<int>(valid.size()));
    QVERIFY(clock.elapsed() < 60000);

    ThumbnailArea &area = *browser.form.thumbnailArea;
    for (int i = 0; i < browser.state.ThumbCount; ++i) {
        const QString name = browser.form.fileList->list(i);
        const bool isValid = valid.value(name);
        if (isValid) {
            QVERIFY2(!area.pictureAt(i).undecodable && !area.pictureAt(i).picture.isNull(), qPrintable(name));
        }
        memory.setDoing(QStringLiteral("previewing and viewing ") + name);
        clock.restart();
        // The cell may lie below the visible rows; the handlers take it all the same.
        browser.form.selection()->ThumbnailClicked(i);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(name));
        if (isValid) {
            QVERIFY2(browser.form.chosenPicturePath.endsWith(name), qPrintable(name));
            QVERIFY2(browser.form.previewPicture->hasPicture(), qPrintable(name));
        }
        clock.restart();
        browser.form.selection()->ThumbnailDoubleClicked(i);
        ViewerWindow *viewer = browser.form.selection()->viewer();
        QVERIFY2(viewer && viewer->isVisible(), qPrintable(name));
        QVERIFY2(viewer->windowTitle().startsWith(name), qPrintable(name));
        if (isValid) {
            // A RAW's embedded preview with fewer pixels than its sensor is named so.
            QVERIFY2(viewer->windowTitle() == name ||
                         (!viewer->Pic.sensorPixels.isEmpty() && viewer->windowTitle().startsWith(name + QStringLiteral(" （埋め込みプレビュー "))),
                     qPrintable(viewer->windowTitle()));
            QVERIFY2(!IsBlank(viewer->pictureBox->grab().toImage()) || IsBlank(OnBlack(browser.form.chosenPicture.image)), qPrintable(name));
        }
        viewer->Unload();
        FreeClosedWindows();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(name));
    }
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void ReliabilityTest::damagedSettingsFilesReadWhatTheyCan_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("favourites");
    const QString standard = PictureTypes::DefaultPattern();
    QTest::newRow("empty") << QByteArray() << standard << QStringList();
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 256);
    QTest::newRow("binary garbage") << garbage << standard << QStringList();
    QTest::newRow("ten-megabyte line") << QByteArray(10 * 1024 * 1024, 'x') + "\n[PATT]\nTYPE=*BMP\n"
                                       << QStringLiteral("*BMP") << QStringList();
    QTest::newRow("no trailing newline") << QByteArray("[FAV]\nFAV0=C:\\a\n[FAV2]\nCNT=0") << standard
                                         << QStringList{"C:\\a"};
    QTest::newRow("CRLF") << QByteArray("[PATT]\r\nTYPE=*GIF\r\n[FAV]\r\nFAV0=C:\\b\r\n[FAV2]\r\nCNT=0\r\n")
                          << QStringLiteral("*GIF") << QStringList{"C:\\b"};
    QTest::newRow("duplicates: the first wins")
        << QByteArray("[PATT]\nTYPE=*JPG\nTYPE=*GIF\n[PATT]\nTYPE=*ICO\n[FAV]\nFAV0=C:\\c\n[FAV2]\nCNT=0\nCNT=5\n")
        << QStringLiteral("*JPG") << QStringList{"C:\\c"};
    QTest::newRow("header without bracket") << QByteArray("[PATT\nTYPE=*CUR\n") << QStringLiteral("*CUR")
                                            << QStringList();
    QTest::newRow("count beyond the list") << QByteArray("[FAV]\nFAV0=C:\\d\n[FAV2]\nCNT=99999999999\n")
                                           << standard << QStringList();
}

void ReliabilityTest::damagedSettingsFilesReadWhatTheyCan()
{
    // The program starts on any settings file and reads what can be read, without a message.
    QFETCH(QByteArray, file);
    QFETCH(QString, pattern);
    QFETCH(QStringList, favourites);
    Sandbox sandbox;
    QVERIFY(sandbox.writeFile("config/VoDaRadezu.INI", file));
    Browser browser(sandbox);
    QCOMPARE(browser.state.TypePattern, pattern);
    QStringList menu = VisibleFavourites(browser.form);
    menu.removeAll(QString());
    if (QByteArray(QTest::currentDataTag()) != "count beyond the list")
        QCOMPARE(menu, favourites);
    QVERIFY(menu.size() <= 31);
    QVERIFY(sandbox.messages->shown.isEmpty());
    // Adding a favourite afterwards keeps the file readable.
    browser.form.treeView->selectNode(QStringLiteral("C:\\"));
    browser.form.addFavouriteAction->trigger();
    if (!sandbox.messages->shown.isEmpty()) {
        // Counted as full: refused with its message.
        QCOMPARE(sandbox.messages->shown.first().text, QStringLiteral("30個までしか登録できません。"));
        return;
    }
    const int last = ReadSetting(sandbox.context->profile, "FAV2", "CNT", "?").toInt();
    QCOMPARE(ReadSetting(sandbox.context->profile, "FAV", FavouriteKey(last), "?"), QStringLiteral("C:\\"));
    QCOMPARE(int(browser.state.FavCount), last + 1);
}

void ReliabilityTest::settingsThatCannotBeWrittenStayWhole()
{
    // A read-only file and a full disk: the add is shown, the file keeps what it had.
    Sandbox sandbox;
    const QByteArray before("[FAV]\nFAV0=C:\\Users\n[FAV2]\nCNT=0\n");
    QVERIFY(sandbox.writeFile("config/VoDaRadezu.INI", before));
    QFile::setPermissions(sandbox.settingsPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    {
        Browser browser(sandbox);
        browser.form.treeView->selectNode(QStringLiteral("C:\\"));
        browser.form.addFavouriteAction->trigger();
        QCOMPARE(browser.state.FavCount, std::int16_t(2));
        QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), before);
    }
    QFile::setPermissions(sandbox.settingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    // The disk fills up while the file is written: the old file stays.
    {
        Browser browser(sandbox);
        browser.form.treeView->selectNode(QStringLiteral("C:\\"));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &small);
        browser.form.addFavouriteAction->trigger();
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(sandbox.readFile("config/VoDaRadezu.INI"), before);
        QCOMPARE(browser.state.FavCount, std::int16_t(2));
    }

    // The settings folder is gone (a fresh account): the add makes it and stores the favourite.
    QVERIFY(QDir(sandbox.path("config")).removeRecursively());
    {
        Browser browser(sandbox);
        browser.form.treeView->selectNode(QStringLiteral("C:\\"));
        browser.form.addFavouriteAction->trigger();
        QCOMPARE(browser.state.FavCount, std::int16_t(1));
        QCOMPARE(ReadSetting(sandbox.context->profile, "FAV", "FAV0", "?"), QStringLiteral("C:\\"));
        QVERIFY(sandbox.messages->shown.isEmpty());
    }
}

void ReliabilityTest::killedWritersNeverLeaveHalfAFile()
{
    // Writers killed at random moments leave the old or the new file, never a mixture.
    Sandbox sandbox;
    sandbox.makeFolder("c/a00");
    for (int round = 0; round < 12; ++round) {
        QFile::remove(sandbox.settingsPath());
        QProcess writer;
        writer.start(QStringLiteral(KUROEVIEW_FAVOURITE_ADDER),
                     {sandbox.root(), QStringLiteral("a"), QStringLiteral("1"), sandbox.path("go")});
        QVERIFY(writer.waitForStarted());
        sandbox.writeFile("go", "");
        QTest::qWait(40 + round * 15);
        writer.kill();
        writer.waitForFinished();
        QFile::remove(sandbox.path("go"));
        const QByteArray file = sandbox.readFile("config/VoDaRadezu.INI");
        QVERIFY2(file.isEmpty() || file == "[FAV]\nFAV0=C:\\a00\n[FAV2]\nCNT=0\n" ||
                     file == "[FAV]\r\nFAV0=C:\\a00\r\n[FAV2]\r\nCNT=0\r\n",
                 file.constData());
    }
}

void ReliabilityTest::twoCopiesAddingFavouritesLoseNothing()
{
    // Two copies of the program add fifteen favourites each at the same moment, seven times over:
    // every time all thirty are stored, in FAV0 to FAV29, with CNT 29.
    Sandbox sandbox;
    QStringList all;
    for (const char *prefix : {"a", "b"})
        for (int k = 0; k < 15; ++k) {
            const QString name = QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(k, 2, 10, QLatin1Char('0'));
            sandbox.makeFolder("c/" + name);
            all.append(QStringLiteral("C:\\") + name);
        }
    for (int round = 0; round < 7; ++round) {
        QFile::remove(sandbox.settingsPath());
        QFile::remove(sandbox.path("go"));
        QProcess first;
        QProcess second;
        first.start(QStringLiteral(KUROEVIEW_FAVOURITE_ADDER),
                    {sandbox.root(), QStringLiteral("a"), QStringLiteral("15"), sandbox.path("go")});
        second.start(QStringLiteral(KUROEVIEW_FAVOURITE_ADDER),
                     {sandbox.root(), QStringLiteral("b"), QStringLiteral("15"), sandbox.path("go")});
        QVERIFY(first.waitForStarted() && second.waitForStarted());
        QTest::qWait(300);
        sandbox.writeFile("go", "");
        QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(ReadSetting(sandbox.context->profile, "FAV2", "CNT", "?"), QStringLiteral("29"));
        QStringList stored;
        for (int i = 0; i < 30; ++i)
            stored.append(ReadSetting(sandbox.context->profile, "FAV", FavouriteKey(i), "?"));
        QCOMPARE(ReadSetting(sandbox.context->profile, "FAV", FavouriteKey(30), "none"), QStringLiteral("none"));
        QStringList sorted = stored;
        sorted.sort();
        QCOMPARE(sorted, all);
    }
}

void ReliabilityTest::filesVanishingDuringALoad()
{
    // A folder removed, a file deleted and a file cut short while the thumbnails load: every listed
    // file still gets its cell, the rest show what could be read, and nothing is said.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    for (int i = 0; i < 12; ++i) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 30, 200, 200));
        QVERIFY(image.save(sandbox.onC(QStringLiteral("pics/p%1.jpg").arg(i, 2, 10, QLatin1Char('0'))), "JPEG"));
    }
    Browser browser(sandbox);
    QTimer::singleShot(0, [&] {
        QFile::remove(sandbox.onC("pics/p03.jpg"));
        QFile cut(sandbox.onC("pics/p05.jpg"));
        if (cut.open(QIODevice::ReadWrite))
            cut.resize(cut.size() / 3);
    });
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.state.ThumbCount, 12);
    QVERIFY(browser.form.thumbnailArea->pictureAt(3).undecodable);
    QVERIFY(!browser.form.thumbnailArea->pictureAt(4).undecodable);
    QVERIFY(browser.form.isEnabled());

    sandbox.makeFolder("c/other");
    QTimer::singleShot(0, [&] { QDir(sandbox.onC("pics")).removeRecursively(); });
    browser.form.fileList->setPath(QStringLiteral("C:\\other"));
    browser.form.fileList->setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\other"));
    browser.form.treeView->selectNode(QStringLiteral("C:\\"));
    browser.form.redisplayAction->trigger();
    QVERIFY(browser.form.isEnabled());
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void ReliabilityTest::foldersThatCannotBeRead()
{
    // As a user without rights: a folder that cannot be read or entered keeps the pictures shown,
    // an unreadable picture gets its cell, and no message comes.
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root to run the probe as another user with setpriv");
    Sandbox sandbox;
    QFile::setPermissions(sandbox.root(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther);
    sandbox.makeFolder("c/open");
    sandbox.makeFolder("c/locked/inner");
    sandbox.makeFolder("c/noentry");
    for (const char *name : {"c/open/a.bmp", "c/open/secret.bmp", "c/locked/b.bmp"}) {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(sandbox.path(QLatin1String(name)), "BMP"));
    }
    QFile::setPermissions(sandbox.path("c/open/secret.bmp"), QFileDevice::WriteOwner);
    QFile::setPermissions(sandbox.path("c/locked"), QFileDevice::Permissions());
    QFile::setPermissions(sandbox.path("c/noentry"), QFileDevice::ReadOther | QFileDevice::ReadOwner);
    const auto probe = [&](const QString &folder) {
        QProcess process;
        process.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                  QStringLiteral("--clear-groups"), QStringLiteral(KUROEVIEW_PROBE),
                                                  sandbox.root(), folder});
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAllStandardOutput()) + QStringLiteral("exit %1").arg(process.exitCode());
    };
    const QString open = probe(QStringLiteral("C:\\open"));
    if (!open.contains(QLatin1String("thumbnails")) && (open.endsWith("exit 126") || open.endsWith("exit 127")))
        QSKIP("the probe cannot be started as another user from this build folder");
    QVERIFY2(open.contains("thumbnails 2\n") && open.contains("undecodable 1\n") && open.contains("messages 0\n") &&
                 open.contains("exit 0"),
             qPrintable(open));
    const QString locked = probe(QStringLiteral("C:\\locked"));
    QVERIFY2(locked.contains("folder C:\\tmp") || locked.contains("thumbnails 0"), qPrintable(locked));
    QVERIFY2(locked.contains("messages 0\n") && locked.contains("exit 0"), qPrintable(locked));
    const QString noEntry = probe(QStringLiteral("C:\\noentry"));
    QVERIFY2(noEntry.contains("messages 0\n") && noEntry.contains("exit 0"), qPrintable(noEntry));
    QFile::setPermissions(sandbox.path("c/locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(sandbox.path("c/noentry"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void ReliabilityTest::symlinkLoopsOpenWithoutEnd()
{
    // A folder linking to itself opens level after level without end or hang; links that lead in a
    // circle are no folders.
    Sandbox sandbox;
    sandbox.makeFolder("c/loop");
    QVERIFY(QFile::link(sandbox.onC("loop"), sandbox.onC("loop/self")));
    QVERIFY(QFile::link(sandbox.onC("loop/b"), sandbox.onC("loop/a")));
    QVERIFY(QFile::link(sandbox.onC("loop/a"), sandbox.onC("loop/b")));
    Browser browser(sandbox);
    KeyedTree &tree = *browser.form.treeView;
    tree.node(QStringLiteral("C:\\"))->setExpanded(true);
    QString key = QStringLiteral("C:\\loop");
    for (int level = 0; level < 6; ++level) {
        QVERIFY2(tree.node(key), qPrintable(key));
        tree.node(key)->setExpanded(true);
        QVERIFY(!tree.childKeys(key).contains(key + QStringLiteral("\\a")));
        key += QStringLiteral("\\self");
    }
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void ReliabilityTest::namesInAnyBytesThroughEveryWindow()
{
    // Names that are not UTF-8 (Shift_JIS from a Japanese archive, Latin-1) or hold a backslash or
    // a control character are listed, drawn, hovered, previewed and viewed as the very file they
    // stand for; a Shift_JIS folder opens from the tree and comes back as a favourite after a restart.
    struct Named
    {
        QByteArray bytes;
        QString shown;
        QColor colour;
    };
    const QList<Named> files{
        {"\x89\xe6\x91\x9c.jpg", QStringLiteral("画像.jpg"), QColor(220, 40, 40)},
        {"\x83\x65\x83\x58\x83\x67.bmp", QStringLiteral("テスト (2).bmp"), QColor(40, 200, 40)},
        {"\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88.bmp", QStringLiteral("テスト.bmp"), QColor(200, 40, 200)},
        {"caf\xe9.bmp", QStringLiteral("caf%E9.bmp"), QColor(40, 40, 220)},
        {"back\\slash.bmp", QStringLiteral("back＼slash.bmp"), QColor(220, 220, 40)},
        {"new\nline.bmp", QStringLiteral("new␊line.bmp"), QColor(40, 220, 220)},
    };
    const auto encoded = [](const QColor &colour, const char *format) {
        QImage image(48, 32, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        return bytes;
    };
    const auto near = [](const QColor &a, const QColor &b) {
        return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
               std::abs(a.blue() - b.blue()) < 40;
    };
    const auto centre = [](const QImage &image) { return image.pixelColor(image.width() / 2, image.height() / 2); };
    Sandbox sandbox;
    QHash<QByteArray, QByteArray> contents;
    for (const Named &file : files) {
        contents.insert(file.bytes, encoded(file.colour, file.bytes.endsWith(".jpg") ? "JPG" : "BMP"));
        QVERIFY(sandbox.writeNativeFile("c/names", file.bytes, contents.value(file.bytes)));
    }
    const QByteArray photos = "\x8e\xca\x90\x5e"; // 写真
    const QColor flower(250, 150, 30);
    QVERIFY(sandbox.makeNativeFolder("c/names", photos));
    QVERIFY(sandbox.writeNativeFile("c/names", photos + "/\x89\xd4.bmp", encoded(flower, "BMP"))); // 花.bmp

    {
        Browser browser(sandbox);
        browser.form.fileList->setPattern(QStringLiteral("*.jpg;*.bmp"));
        browser.form.fileList->setPath(QStringLiteral("C:\\names"));
        QCOMPARE(browser.state.ThumbCount, int(files.size()));
        QStringList shown;
        for (int i = 0; i < browser.state.ThumbCount; ++i)
            shown.append(browser.form.fileList->list(i));
        QCOMPARE(shown, (QStringList{"back＼slash.bmp", "caf%E9.bmp", "new␊line.bmp", "テスト (2).bmp", "テスト.bmp",
                                     "画像.jpg"}));
        for (int i = 0; i < browser.state.ThumbCount; ++i) {
            const QString name = browser.form.fileList->list(i);
            const auto file = std::find_if(files.begin(), files.end(), [&](const Named &f) { return f.shown == name; });
            const ThumbnailArea::Image &thumbnail = browser.form.thumbnailArea->pictureAt(i);
            QVERIFY2(!thumbnail.undecodable && near(centre(thumbnail.picture), file->colour), qPrintable(name));
            QCOMPARE(browser.state.InfoList[i].NameText, QStringLiteral("ﾌｧｲﾙ名: ") + name);
            QCOMPARE(browser.state.InfoList[i].SizeText,
                     QStringLiteral("ﾌｧｲﾙｻｲｽﾞ: ") + FormatSizeText(contents.value(file->bytes).size()).text());

            browser.form.selection()->ThumbnailClicked(i);
            QCOMPARE(browser.form.chosenPicturePath, QStringLiteral("C:\\names\\") + name);
            QVERIFY2(near(centre(browser.form.chosenPicture.image), file->colour), qPrintable(name));
            browser.form.selection()->ThumbnailDoubleClicked(i);
            ViewerWindow *viewer = browser.form.selection()->viewer();
            QVERIFY2(viewer && viewer->isVisible(), qPrintable(name));
            // A RAW's embedded preview with fewer pixels than its sensor is named so.
            QVERIFY2(viewer->windowTitle() == name ||
                         (!viewer->Pic.sensorPixels.isEmpty() && viewer->windowTitle().startsWith(name + QStringLiteral(" （埋め込みプレビュー "))),
                     qPrintable(viewer->windowTitle()));
            QVERIFY2(near(centre(viewer->Pic.image), file->colour), qPrintable(name));
            viewer->Unload();
            FreeClosedWindows();
        }

        // The Shift_JIS folder in the tree, opened by a click and kept as a favourite.
        KeyedTree &tree = *browser.form.treeView;
        tree.node(QStringLiteral("C:\\"))->setExpanded(true);
        tree.node(QStringLiteral("C:\\names"))->setExpanded(true);
        const QString key = QStringLiteral("C:\\names\\写真");
        QCOMPARE(tree.childKeys(QStringLiteral("C:\\names")), QStringList{key});
        QTreeWidgetItem *item = tree.node(key);
        tree.scrollToItem(item);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
        QCOMPARE(browser.form.fileList->path(), key);
        QCOMPARE(browser.state.ThumbCount, 1);
        QCOMPARE(browser.form.fileList->list(0), QStringLiteral("花.bmp"));
        QVERIFY(near(centre(browser.form.thumbnailArea->pictureAt(0).picture), flower));
        browser.form.addFavouriteAction->trigger();
        QCOMPARE(VisibleFavourites(browser.form), QStringList{key});
    }
    Browser restarted(sandbox);
    QCOMPARE(VisibleFavourites(restarted.form), QStringList{QStringLiteral("C:\\names\\写真")});
    restarted.form.favouriteEntries[0]->trigger();
    QCOMPARE(restarted.form.fileList->path(), QStringLiteral("C:\\names\\写真"));
    QCOMPARE(restarted.state.ThumbCount, 1);
    QVERIFY(near(centre(restarted.form.thumbnailArea->pictureAt(0).picture), flower));
    restarted.form.selection()->ThumbnailClicked(0);
    QVERIFY(near(centre(restarted.form.chosenPicture.image), flower));
    QVERIFY(sandbox.messages->shown.isEmpty());
}

void ReliabilityTest::tenThousandSubfolders()
{
    // A folder of ten thousand sub-folders opens in the tree in seconds and its neighbours stay usable.
    Sandbox sandbox;
    for (int i = 0; i < 10000; ++i)
        QVERIFY(QDir().mkpath(sandbox.onC(QStringLiteral("big/d%1").arg(i, 5, 10, QLatin1Char('0')))));
    Browser browser(sandbox);
    KeyedTree &tree = *browser.form.treeView;
    tree.node(QStringLiteral("C:\\"))->setExpanded(true);
    QElapsedTimer clock;
    clock.start();
    tree.node(QStringLiteral("C:\\big"))->setExpanded(true);
    QCOMPARE(tree.childKeys(QStringLiteral("C:\\big")).size(), 10000);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    browser.form.fileList->setPath(QStringLiteral("C:\\big\\d09999"));
    QCOMPARE(browser.form.fileList->path(), QStringLiteral("C:\\big\\d09999"));
}

QTEST_MAIN(ReliabilityTest)
#include "tst_reliability.moc"
