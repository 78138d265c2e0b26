#include "widgets/commandtoolbar.h"
#include "app/mainwindow.h"
#include "core/programstate.h"
#include "widgets/statuspanels.h"
#include "catalogue/catalogue.h"
#include "catalogue/stopbox.h"
#include "catalogue/thumbnailengine.h"
#include "catalogue/thumbnaildrawing.h"
#include "catalogue/sizetext.h"
#include "catalogue/thumbnailarea.h"
#include "catalogue/thumbnailprefetch.h"
#include "picturewriters.h"
#include "platform/backgroundwork.h"
#include "platform/eventloops.h"
#include "files/filelist.h"
#include "pictures/pictureloader.h"
#include "platform/twips.h"
#include "sandbox.h"
#include "widgets/picturebox.h"
#include "core/mainwindowstate.h"
#include "core/loadgate.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <QApplication>

namespace {

QImage colouredPicture(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Records which kinds of top-level window were shown.
class ShowSpy : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
            shown.append(QString::fromLatin1(watched->metaObject()->className()));
        return false;
    }
    QStringList shown;
};

// A main window on a folder of pictures under C:\pics.
struct Browser
{
    explicit Browser(Sandbox &sandbox) : form(*sandbox.context, state) {}
    ProgramState state;
    MainWindow form;
    void open(const QString &folder)
    {
        form.fileList->setPath(folder);
    }
};

void writePictures(Sandbox &sandbox, const QString &folder, int count)
{
    for (int i = 0; i < count; ++i)
        colouredPicture(20, 10, QColor::fromHsv(i * 7 % 360, 200, 200))
            .save(sandbox.onC(QStringLiteral("%1/f%2.bmp").arg(folder).arg(i, 3, 10, QLatin1Char('0'))), "BMP");
}

} // namespace

class CatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void sizeTexts_data();
    void sizeTexts();
    void thumbnailSizes_data();
    void thumbnailSizes();
    void stretchModeFollowsTheLastThreeLetters();
    void gridShapeAndScrollArithmetic();
    void emptyFolderNeverShowsTheStopBox();
    void twelveFilesLoadInRowsAndReportDone();
    void stopFinishesTheFileInHand();
    void stopButtonGrowsAPartlyFilledRow();
    void rowGrowthStartsAfterOneScreenful();
    void startFolderRowsBelowTheWindowCanBeScrolledTo();
    void aCellFarDownALargeCatalogueIsDrawnAndHit();
    void aPlacedCellRedrawsOnlyItself();
    void resetLeavesOneHiddenCellAndBlankRecords();
    void cachingModeWritesBitmapFiles();
    void stopBoxIsCentredOnTheMainWindowSize();
    void undecodableFilesKeepTheirCells();
    void validCorpusPicturesGiveThumbnails();
    void photosStandUprightByTheirOrientation();
    void thinPicturesKeepAPixel();
    void theResetPlacesTheAreaAlsoAtValueZero();
    void theScrollHandlerReadsTheValueAfterItsYield();
    void reducedJpegThumbnailsLookLikeFullDecodes();
    void cachedThumbnailsKeepTheirTransparencyAsGrey();
    void theWheelMovesTheScrollBarAStepPerNotch();
    void theCatalogueRunsWithoutTheMainWindow();
    void manySmallFilesArePaintedOncePerFrame();
    void workersRunAheadOfASlowFileByMemory();
    void theLookAheadStaysWithinItsBytes();
};

void CatalogueTest::sizeTexts_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << "ﾊﾞｲﾄ";
    QTest::newRow("512") << qint64(512) << "512ﾊﾞｲﾄ";
    QTest::newRow("1000") << qint64(1000) << "1,000ﾊﾞｲﾄ";
    QTest::newRow("1024") << qint64(1024) << "1KB";
    QTest::newRow("1025") << qint64(1025) << "1.00KB";
    QTest::newRow("1536") << qint64(1536) << "1.5KB";
    QTest::newRow("12800") << qint64(12800) << "12.5KB";
    QTest::newRow("150000") << qint64(150000) << "146KB";
    QTest::newRow("1536x1024") << qint64(1536 * 1024) << "1536KB";
    QTest::newRow("1574000") << qint64(1574000) << "1.50MB";
    QTest::newRow("four digits rounding below 1024 reads as megabytes") << qint64(1024512) << "0.97MB";
    QTest::newRow("five digits read as megabytes cut like kilobytes") << qint64(15000000) << "14.3MB";
    QTest::newRow("three digit megabytes read whole") << qint64(300000000) << "286MB";
}

void CatalogueTest::sizeTexts()
{
    // Size texts follow the byte, kilobyte and megabyte rules, cut, never rounded.
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(FormatSizeText(bytes).text(), text);
    QCOMPARE(CutDecimal(1025, 1024, 2), QStringLiteral("1.00"));
}

void CatalogueTest::thumbnailSizes_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("thumbWidth");
    QTest::addColumn<double>("thumbHeight");
    QTest::newRow("600 x 600 stays") << 600.0 << 600.0 << 600.0 << 600.0;
    QTest::newRow("601 x 300") << 601.0 << 300.0 << 600.0 << 300.0 * 600.0 / 601.0;
    QTest::newRow("300 x 601") << 300.0 << 601.0 << 300.0 * 600.0 / 601.0 << 600.0;
    QTest::newRow("square 1200") << 1200.0 << 1200.0 << 600.0 << 600.0;
    QTest::newRow("small") << 240.0 << 150.0 << 240.0 << 150.0;
}

void CatalogueTest::thumbnailSizes()
{
    // A picture's longer side is brought to 600 twips; smaller ones stay as they are.
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(double, thumbWidth);
    QFETCH(double, thumbHeight);
    const auto size = ThumbnailDrawing::ThumbnailSizeFor(width, height);
    QCOMPARE(size.width, thumbWidth);
    QCOMPARE(size.height, thumbHeight);
    QCOMPARE(size.scaled, width > 600 || height > 600);
}

void CatalogueTest::stretchModeFollowsTheLastThreeLetters()
{
    // jpg and bmp names draw colour-on-colour, all others halftone.
    for (const char *name : {"a.jpg", "b.JPG", "c.Bmp"})
        QVERIFY(ThumbnailDrawing::UsesColourOnColour(QLatin1String(name)));
    for (const char *name : {"a.jpeg", "b.gif", "c.ico", "d.cur", "e.wmf"})
        QVERIFY(!ThumbnailDrawing::UsesColourOnColour(QLatin1String(name)));
}

void CatalogueTest::gridShapeAndScrollArithmetic()
{
    // 9 columns for an 8280-wide area, 74 per screen, top -540 at value 1.
    QCOMPARE(ThumbnailEngine::ColumnsFor(8280, 795, 240), std::int16_t(9));
    QCOMPARE(ThumbnailEngine::PerScreenFor(9, 7000, 750), std::int16_t(74));
    QCOMPARE(Catalogue::AreaTopAt(1, 750), -540.0);
    QCOMPARE(Catalogue::AreaTopAt(0, 750), 300.0);
}

void CatalogueTest::emptyFolderNeverShowsTheStopBox()
{
    // No matching files: no stop box, no visible cell, "not found" right-aligned.
    Sandbox sandbox;
    sandbox.makeFolder("c/empty");
    sandbox.writeFile("c/empty/readme.txt", "x");
    Browser browser(sandbox);
    browser.form.Load();
    ShowSpy spy;
    qApp->installEventFilter(&spy);
    browser.open("C:\\empty");
    qApp->removeEventFilter(&spy);
    QVERIFY(!spy.shown.contains("StopBox"));
    QCOMPARE(browser.form.statusPanels->panelText(1), QStringLiteral("画像数 0ファイル"));
    QCOMPARE(browser.form.statusPanels->panelText(2), QStringLiteral("ﾌｧｲﾙが見つかりません　"));
    QCOMPARE(browser.form.statusPanels->panelAlignment(2), Qt::AlignRight);
    QVERIFY(!browser.form.thumbnailArea->cellAt(0).visible);
    QCOMPARE(browser.form.thumbnailArea->count(), 1);
    QVERIFY(browser.form.isEnabled());
}

void CatalogueTest::twelveFilesLoadInRowsAndReportDone()
{
    // Twelve files: cells in rows of nine from (90, 90), centred pictures, " 完了".
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 12);
    Browser browser(sandbox);
    browser.form.Load();
    ShowSpy spy;
    qApp->installEventFilter(&spy);
    browser.open("C:\\pics");
    qApp->removeEventFilter(&spy);
    QVERIFY(spy.shown.contains("StopBox"));
    const ThumbnailArea &area = *browser.form.thumbnailArea;
    QCOMPARE(browser.state.ThumbCount, 12);
    QCOMPARE(browser.state.GridShape[0], std::int16_t(9));
    QCOMPARE(area.count(), 12);
    for (int k = 0; k < 9; ++k)
        QCOMPARE(area.cellAt(k).rect.topLeft(), QPointF(90 + 885 * k, 90));
    QCOMPARE(area.cellAt(9).rect.topLeft(), QPointF(90, 930));
    QCOMPARE(area.cellAt(11).rect.topLeft(), QPointF(90 + 885 * 2, 930));
    QCOMPARE(area.pictureAt(3).rect, QRectF(90 + 885 * 3 + 397.5 - 150, 90 + 375 - 75, 300, 150));
    QVERIFY(area.pictureAt(3).stretch);
    QCOMPARE(area.pictureAt(3).picture.size(), QSize(20, 10));
    QCOMPARE(browser.form.statusPanels->panelText(1), QStringLiteral("画像数 12ファイル"));
    QCOMPARE(browser.form.statusPanels->panelText(2), QStringLiteral(" 完了"));
    QCOMPARE(browser.form.statusPanels->panelAlignment(2), Qt::AlignLeft);
    QCOMPARE(browser.state.InfoList.size(), std::size_t(12));
    QCOMPARE(browser.state.InfoList[4].NameText, QStringLiteral("ﾌｧｲﾙ名: f004.bmp"));
    QVERIFY(browser.state.InfoList[4].SizeText.startsWith(QStringLiteral("ﾌｧｲﾙｻｲｽﾞ: ")));
    QVERIFY(browser.form.scrollBar->isHidden());
    QCOMPARE(browser.state.CatalogueDone, std::int16_t(1));
    QCOMPARE(browser.state.LoadFlag, std::int16_t(1));
    QVERIFY(browser.form.isEnabled());
    browser.form.resize(browser.form.width() + 100, browser.form.height());
    QCOMPARE(area.cellAt(11).rect.topLeft(), QPointF(90 + 885 * 2, 930));
}

void CatalogueTest::stopFinishesTheFileInHand()
{
    // Stop pressed while the sixth of 20 files is drawn: six thumbnails, progress kept.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 20);
    Browser browser(sandbox);
    browser.form.Load();
    QTimer watcher;
    bool pressed = false;
    connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<StopBox *>(window);
            if (!pressed && box && box->isVisible() && box->fileLabel->text() == QLatin1String("f005.bmp")) {
                pressed = true;
                QTest::mouseClick(box->stopButton, Qt::LeftButton);
            }
        }
    });
    watcher.start(0);
    browser.open("C:\\pics");
    watcher.stop();
    QVERIFY(pressed);
    QCOMPARE(browser.state.ThumbCount, 6);
    QCOMPARE(browser.form.statusPanels->panelText(2), QStringLiteral("6 / 20 取込み "));
    QCOMPARE(browser.form.statusPanels->panelAlignment(2), Qt::AlignRight);
    QCOMPARE(browser.state.LoadFlag, std::int16_t(0));
    QCOMPARE(browser.state.CatalogueDone, std::int16_t(1));
    QVERIFY(!browser.state.StopRequest);
    QVERIFY(browser.form.isEnabled());
    QCOMPARE(browser.state.InfoList[5].NameText, QStringLiteral("ﾌｧｲﾙ名: f005.bmp"));
}

void CatalogueTest::stopButtonGrowsAPartlyFilledRow()
{
    // With 9 columns, 12 thumbnails add a row on stop; 18 or none add nothing.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.Load();
    Twips::setWidth(browser.form.thumbnailArea, 8280);
    for (int made : {12, 18, 0}) {
        browser.state.ThumbCount = made;
        Twips::setHeight(browser.form.thumbnailArea, 7000);
        browser.form.scrollBar->setMaximum(3);
        StopBox box(browser.form.catalogue()->parts());
        box.Load();
        QVERIFY(!browser.form.isEnabled());
        box.StopPressed();
        QVERIFY(browser.state.StopRequest);
        QVERIFY(browser.form.isEnabled());
        QCOMPARE(browser.form.scrollBar->maximum(), made == 12 ? 4 : 3);
        QCOMPARE(Twips::height(browser.form.thumbnailArea), made == 12 ? 7840.0 : 7000.0);
        browser.state.StopRequest = false;
    }
    browser.state.ThumbCount = 0;
}

void CatalogueTest::rowGrowthStartsAfterOneScreenful()
{
    // 9 columns and 74 per screen: the first added row comes after thumbnail 80.
    Sandbox sandbox;
    sandbox.makeFolder("c/many");
    writePictures(sandbox, "many", 90);
    Browser browser(sandbox);
    browser.form.Load();
    browser.form.fileList->setPath("C:\\many");
    Catalogue &catalogue = *browser.form.catalogue();
    catalogue.ResetCatalogue();
    Twips::setWidth(browser.form.thumbnailArea, 8280);
    Twips::setHeight(browser.form.thumbnailArea, 7000);
    browser.form.scrollBar->setMaximum(0);
    QList<int> growthAt;
    connect(browser.form.scrollBar, &QScrollBar::rangeChanged, [&] { growthAt.append(browser.state.ThumbCount); });
    catalogue.LoadThumbnails();
    catalogue.ShowLoadResult();
    QCOMPARE(browser.state.GridShape[1], std::int16_t(74));
    QCOMPARE(growthAt, QList<int>({80, 89}));
    QCOMPARE(browser.form.scrollBar->maximum(), 2);
    QVERIFY(!browser.form.scrollBar->isHidden());
    QCOMPARE(Twips::height(browser.form.thumbnailArea), 7000.0 + 2 * 840);
    QCOMPARE(browser.form.scrollBar->value(), 0);
    browser.form.scrollBar->setValue(1);
    QCOMPARE(Twips::top(browser.form.thumbnailArea), -540.0);
    browser.form.scrollBar->setValue(2);
    QCOMPARE(Twips::top(browser.form.thumbnailArea), 300.0 - 2 * 840);
    browser.form.scrollBar->setValue(0);
    QCOMPARE(Twips::top(browser.form.thumbnailArea), Twips::height(browser.form.toolbar));
}

void CatalogueTest::startFolderRowsBelowTheWindowCanBeScrolledTo()
{
    // The start folder's load counts a screenful by the window's own height.
    Sandbox sandbox;
    sandbox.makeFolder("c/start");
    writePictures(sandbox, "start", 99);
    QDir::setCurrent(sandbox.onC("start"));
    Browser browser(sandbox);
    browser.form.Load();
    QCOMPARE(browser.state.ThumbCount, 99);
    QCOMPARE(browser.state.AreaHeight, 8295.0);
    QCOMPARE(browser.state.GridShape[1], std::int16_t(88));
    QVERIFY(!browser.form.scrollBar->isHidden());
    QCOMPARE(browser.form.scrollBar->maximum(), 2);
    // The area keeps the rows the load added: the last cell lies inside it, on screen at the last
    // scroll value, where a click selects it.
    const QRectF last = browser.form.thumbnailArea->cellAt(98).rect;
    QVERIFY(Twips::height(browser.form.thumbnailArea) >= last.bottom());
    browser.form.scrollBar->setValue(browser.form.scrollBar->maximum());
    const QPoint inArea = Twips::toPixels(last.x(), last.y(), last.width(), last.height()).center();
    const QPoint onScreen = browser.form.thumbnailArea->mapTo(browser.form.client, inArea);
    QVERIFY(browser.form.client->rect().contains(onScreen));
    QCOMPARE(browser.form.client->childAt(onScreen), static_cast<QWidget *>(browser.form.thumbnailArea));
    QTest::mouseClick(browser.form.client->childAt(onScreen), Qt::LeftButton, {}, inArea);
    QCOMPARE(browser.form.window.SelectedIndex, std::int16_t(98));
}

void CatalogueTest::aCellFarDownALargeCatalogueIsDrawnAndHit()
{
    // Far down a catalogue of thousands, the cells on screen are drawn with their own pictures and
    // a click selects the one under the pointer.
    Sandbox sandbox;
    const int count = 4000;
    sandbox.makeFolder("c/many");
    QVERIFY(colouredPicture(20, 10, Qt::green).save(sandbox.onC("many/f0000.bmp"), "BMP"));
    for (int i = 1; i < count - 1; ++i)
        QVERIFY(QFile::link(sandbox.onC("many/f0000.bmp"), sandbox.onC(QStringLiteral("many/f%1.bmp").arg(i, 4, 10, QLatin1Char('0')))));
    QVERIFY(colouredPicture(20, 10, Qt::red).save(sandbox.onC(QStringLiteral("many/f%1.bmp").arg(count - 1)), "BMP"));
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\many");
    QCOMPARE(browser.state.ThumbCount, count);
    browser.form.scrollBar->setValue(browser.form.scrollBar->maximum());
    const QImage shown = browser.form.client->grab().toImage();
    const auto centreOf = [&](int i) {
        const QRectF cell = browser.form.thumbnailArea->pictureAt(i).rect;
        return browser.form.thumbnailArea->mapTo(browser.form.client,
                                           Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).center());
    };
    QCOMPARE(shown.pixelColor(centreOf(count - 1)), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(centreOf(count - 1 - browser.state.GridShape[0])), QColor(Qt::green));
    const QPoint last = centreOf(count - 1);
    QCOMPARE(browser.form.client->childAt(last), static_cast<QWidget *>(browser.form.thumbnailArea));
    QTest::mouseClick(browser.form.thumbnailArea, Qt::LeftButton, {}, browser.form.thumbnailArea->mapFrom(browser.form.client, last));
    QCOMPARE(browser.form.window.SelectedIndex, std::int16_t(count - 1));
    QTest::mouseClick(browser.form.thumbnailArea, Qt::LeftButton, {},
                      browser.form.thumbnailArea->mapFrom(browser.form.client, centreOf(count - 2)));
    QCOMPARE(browser.form.window.SelectedIndex, std::int16_t(count - 2));
}

void CatalogueTest::aPlacedCellRedrawsOnlyItself()
{
    // A new cell placed far from the first one (its hidden picture still where the first cell's
    // is) repaints its own cell, not the whole stretch between; a hidden cell is erased.
    QWidget window;
    ThumbnailArea area(&window);
    area.setGeometry(0, 0, 600, 1500);
    window.resize(600, 1500);
    area.cellAt(0).visible = true;
    area.pictureAt(0).rect = QRectF(200, 200, 300, 300);
    area.pictureAt(0).visible = true;
    QVERIFY(area.createElement(1));
    area.cellAt(1).rect.moveTo(90, 90 + 20 * 850);
    area.cellAt(1).visible = true;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();

    struct PaintSpy : QObject
    {
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted |= static_cast<QPaintEvent *>(event)->region();
            return false;
        }
        QRegion painted;
    } spy;
    area.installEventFilter(&spy);
    const auto cellPixels = [&](int k) {
        const QRectF &cell = area.cellAt(k).rect;
        return Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).adjusted(-1, -1, 1, 1);
    };
    const auto paintsOf = [&](int k) {
        spy.painted = QRegion();
        area.updateElement(k);
        return QTest::qWaitFor([&] { return !spy.painted.isEmpty(); }) ? spy.painted.boundingRect() : QRect();
    };
    QCOMPARE(paintsOf(1), cellPixels(1));
    area.pictureAt(1).rect = area.cellAt(1).rect.adjusted(100, 100, -100, -100);
    area.pictureAt(1).visible = true;
    QCOMPARE(paintsOf(1), cellPixels(1));
    area.cellAt(0).visible = false;
    area.pictureAt(0).visible = false;
    QCOMPARE(paintsOf(0), cellPixels(0));
}

void CatalogueTest::resetLeavesOneHiddenCellAndBlankRecords()
{
    // A reset after 30 thumbnails keeps element 0 only, hidden, and 30 blank records.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 30);
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\pics");
    QCOMPARE(browser.form.thumbnailArea->count(), 30);
    browser.form.window.SelectedIndex = 4;
    browser.form.catalogue()->ResetCatalogue();
    QCOMPARE(browser.form.thumbnailArea->count(), 1);
    QVERIFY(!browser.form.thumbnailArea->cellAt(0).visible);
    QVERIFY(!browser.form.thumbnailArea->pictureAt(0).visible);
    QCOMPARE(browser.state.InfoList.size(), std::size_t(30));
    for (const ThumbInfo &info : browser.state.InfoList)
        QVERIFY(info.NameText.isEmpty() && info.SizeText.isEmpty());
    QCOMPARE(browser.state.ThumbCount, 0);
    QCOMPARE(browser.form.window.SelectedIndex, std::int16_t(-1));
    QVERIFY(!browser.form.openAction->isEnabled());
    QVERIFY(browser.form.scrollBar->isHidden());
    QCOMPARE(browser.state.CatalogueDone, std::int16_t(0));
}

void CatalogueTest::cachingModeWritesBitmapFiles()
{
    // Posing as "Windows 95" writes pictureBox<k>.tmp bitmaps; "Windows 2000" writes nothing.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 12);
    {
        Browser browser(sandbox);
        browser.form.Load();
        browser.open("C:\\pics");
        QVERIFY(!QFileInfo::exists(sandbox.onC("tmp/KRUtemp")));
        QVERIFY(browser.state.TempPath.isEmpty());
    }
    sandbox.poseAs(1, 4, 10);
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\pics");
    QCOMPARE(browser.state.TempPath, QStringLiteral("C:\\tmp\\"));
    for (const char *name : {"img0.tmp", "img10.tmp"}) {
        QImage cached;
        QVERIFY(cached.load(sandbox.onC(QStringLiteral("tmp/KRUtemp/") + QLatin1String(name)), "BMP"));
        QCOMPARE(cached.size(), QSize(20, 10));
    }
    QVERIFY(!QFileInfo::exists(sandbox.onC("tmp/KRUtemp/img12.tmp")));
    browser.form.catalogue()->ResetCatalogue();
    QVERIFY(!QFileInfo::exists(sandbox.onC("tmp/KRUtemp/img0.tmp")));
}

void CatalogueTest::stopBoxIsCentredOnTheMainWindowSize()
{
    // The box is centred on a rectangle of the main window's size at the screen origin.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.Load();
    browser.form.move(Twips::toPixelsX(2000), Twips::toPixelsY(1500));
    browser.form.resize(Twips::toPixelsX(9000), Twips::toPixelsY(6000));
    StopBox box(browser.form.catalogue()->parts());
    box.Load();
    // Centred by its outer size, frame included, before it was ever framed.
    const QSize frameExtra = browser.form.frameGeometry().size() - browser.form.size();
    const QSize outer = box.size() + frameExtra;
    QCOMPARE(Twips::windowLeft(&box), browser.form.WindowWidth() / 2 - Twips::fromPixelsX(outer.width()) / 2);
    QCOMPARE(Twips::windowTop(&box), browser.form.WindowHeight() / 2 - Twips::fromPixelsY(outer.height()) / 2);
    QCOMPARE(box.size(), QSize(225, 80));
    QCOMPARE(box.stopButton->text(), QStringLiteral("中止"));
    QCOMPARE(box.workingLabel->text(), QStringLiteral("処理中です・・・"));
    box.Unload();
    QVERIFY(browser.form.isEnabled());
}

void CatalogueTest::undecodableFilesKeepTheirCells()
{
    // A file that cannot be decoded still gets a cell, a record and a count.
    Sandbox sandbox;
    sandbox.writeFile("c/bad/a.bmp", "not a bitmap");
    colouredPicture(10, 10, Qt::red).save(sandbox.onC("bad/b.bmp"), "BMP");
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\bad");
    QCOMPARE(browser.state.ThumbCount, 2);
    QVERIFY(browser.form.thumbnailArea->pictureAt(0).undecodable);
    QVERIFY(browser.form.thumbnailArea->pictureAt(0).picture.isNull());
    QVERIFY(!browser.form.thumbnailArea->pictureAt(1).undecodable);
    QCOMPARE(browser.state.InfoList[0].SizeText, QStringLiteral("ﾌｧｲﾙｻｲｽﾞ: 12ﾊﾞｲﾄ"));
    QCOMPARE(browser.form.statusPanels->panelText(2), QStringLiteral(" 完了"));
    QImage shot(browser.form.thumbnailArea->size(), QImage::Format_RGB32);
    browser.form.thumbnailArea->render(&shot);
    const QRect cell = Twips::toPixels(90, 90, 795, 750);
    QCOMPARE(shot.pixelColor(cell.center() + QPoint(0, -10)), QColor(Qt::white));
}

void CatalogueTest::validCorpusPicturesGiveThumbnails()
{
    // Every valid metafile of the corpus, and every valid raster picture Qt reads, gives a thumbnail.
    Sandbox sandbox;
    QFile manifest(QStringLiteral(KUROEVIEW_CORPUS_DIR "/MANIFEST.tsv"));
    if (!manifest.open(QIODevice::ReadOnly))
        QSKIP("the picture corpus is not here");
    int checked = 0;
    for (const QByteArray &line : manifest.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 6 || fields[4] != "valid" ||
            !(fields[0].startsWith("wmf/") || fields[5].contains("QImageReader: OK")))
            continue;
        const QString source = QStringLiteral(KUROEVIEW_CORPUS_DIR "/") + QString::fromUtf8(fields[0]);
        const QString name = QFileInfo(source).fileName();
        QDir().mkpath(sandbox.onC("corpus"));
        QFile::remove(sandbox.onC("corpus/") + name);
        QVERIFY(QFile::copy(source, sandbox.onC("corpus/") + name) || QFileInfo::exists(sandbox.onC("corpus/") + name));
        ++checked;
    }
    Browser browser(sandbox);
    browser.form.Load();
    browser.form.fileList->setPattern(QStringLiteral("*"));
    browser.open("C:\\corpus");
    QCOMPARE(browser.state.ThumbCount, checked);
    for (int k = 0; k < browser.state.ThumbCount; ++k) {
        const QImage &thumbnail = browser.form.thumbnailArea->pictureAt(k).picture;
        QVERIFY2(!thumbnail.isNull(), qPrintable(browser.form.fileList->list(k)));
        QVERIFY(thumbnail.width() <= 40 && thumbnail.height() <= 40);
    }
}

void CatalogueTest::photosStandUprightByTheirOrientation()
{
    // A photo stored on its side with an orientation tag is upright in its thumbnail and its natural size.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    QImage stored(1600, 800, QImage::Format_RGB32);
    stored.fill(Qt::darkYellow);
    QImageWriter writer(sandbox.onC("pics/turned.jpg"), "JPEG");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(stored));
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\pics");
    QCOMPARE(browser.state.ThumbCount, 1);
    const QRectF shown = browser.form.thumbnailArea->pictureAt(0).rect;
    QCOMPARE(shown.size(), QSizeF(300, 600));
    const auto picture = PictureLoader::Load(QFile::encodeName(sandbox.onC("pics/turned.jpg")));
    QCOMPARE(QSizeF(picture->widthTwips, picture->heightTwips), QSizeF(800 * 15, 1600 * 15));
}

void CatalogueTest::thinPicturesKeepAPixel()
{
    // A 5000 x 20 and a 20 x 3000 picture: the side that scales below a pixel keeps one, drawn.
    Sandbox sandbox;
    sandbox.makeFolder("c/thin");
    colouredPicture(5000, 20, Qt::red).save(sandbox.onC("thin/a wide.bmp"), "BMP");
    colouredPicture(20, 3000, Qt::blue).save(sandbox.onC("thin/b tall.bmp"), "BMP");
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\thin");
    QCOMPARE(browser.state.ThumbCount, 2);
    for (int k = 0; k < 2; ++k) {
        const ThumbnailArea::Image &image = browser.form.thumbnailArea->pictureAt(k);
        QVERIFY(!image.undecodable && !image.picture.isNull());
        const QRect pixels = Twips::toPixels(image.rect.x(), image.rect.y(), image.rect.width(), image.rect.height());
        QVERIFY(pixels.width() >= 1 && pixels.height() >= 1);
        const QImage shown = browser.form.thumbnailArea->grab(pixels).toImage();
        const QColor colour = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        QVERIFY(colour == (k == 0 ? QColor(Qt::red) : QColor(Qt::blue)));
    }
}

void CatalogueTest::theResetPlacesTheAreaAlsoAtValueZero()
{
    // The reset's "scrollBar value := 0" runs the scroll handler even when the value is 0: the area stands at the
    // toolbar's height from the start.
    Sandbox sandbox;
    Browser browser(sandbox);
    browser.form.Load();
    QCOMPARE(browser.form.scrollBar->value(), 0);
    QCOMPARE(Twips::top(browser.form.thumbnailArea), Twips::height(browser.form.toolbar));
}

void CatalogueTest::theScrollHandlerReadsTheValueAfterItsYield()
{
    // In caching mode the handler yields first; a change made meanwhile is the value it places the area by.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 200);
    sandbox.poseAs(1, 4, 10);
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\pics");
    QVERIFY(browser.form.scrollBar->maximum() >= 3);
    QTimer::singleShot(0, browser.form.scrollBar, [&] { browser.form.scrollBar->setValue(3); });
    browser.form.scrollBar->setValue(1);
    const double cellHeight = browser.form.thumbnailArea->cellAt(0).rect.height();
    QCOMPARE(browser.form.window.ScrollPos, std::int16_t(3));
    QCOMPARE(Twips::top(browser.form.thumbnailArea), Catalogue::AreaTopAt(3, cellHeight));
}

void CatalogueTest::reducedJpegThumbnailsLookLikeFullDecodes()
{
    // A photo's thumbnail decoded at a reduced DCT scale and drawn in its name's mode looks like the whole
    // picture drawn the same way.
    Sandbox sandbox;
    sandbox.makeFolder("c/photos");
    QImage photo(1600, 1200, QImage::Format_RGB32);
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 1600, 1200);
    sky.setColorAt(0, QColor(30, 90, 200));
    sky.setColorAt(1, QColor(240, 200, 60));
    painter.fillRect(photo.rect(), sky);
    painter.setBrush(QColor(20, 140, 40));
    painter.drawEllipse(QPoint(500, 700), 400, 300);
    painter.end();
    for (const char *name : {"fast.jpg", "plain.jpeg"})
        QVERIFY(photo.save(sandbox.onC(QStringLiteral("photos/") + QLatin1String(name)), "JPEG", 90));
    Browser browser(sandbox);
    browser.form.Load();
    browser.form.fileList->setPattern(QStringLiteral("*"));
    browser.open("C:\\photos");
    QCOMPARE(browser.state.ThumbCount, 2);
    for (int k = 0; k < 2; ++k) {
        const QImage &thumbnail = browser.form.thumbnailArea->pictureAt(k).picture;
        const QImage whole(sandbox.onC(QStringLiteral("photos/") + browser.form.fileList->list(k)));
        const QImage expected = ThumbnailDrawing::DrawThumbnail(whole, thumbnail.width(), thumbnail.height(),
                                                       ThumbnailDrawing::UsesColourOnColour(browser.form.fileList->list(k)));
        QCOMPARE(thumbnail.size(), QSize(40, 30));
        double difference = 0;
        for (int y = 0; y < thumbnail.height(); ++y)
            for (int x = 0; x < thumbnail.width(); ++x) {
                const QColor a = thumbnail.pixelColor(x, y);
                const QColor b = expected.pixelColor(x, y);
                difference += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
            }
        QVERIFY2(difference / (thumbnail.width() * thumbnail.height() * 3) < 8,
                 qPrintable(QStringLiteral("%1: mean difference %2").arg(k).arg(difference / (40 * 30 * 3))));
    }

    // Fine detail shows the mode: colour-on-colour keeps whole pixels of a small checkerboard (a strong
    // contrast, as the whole picture drawn so has), halftone blends them to grey.
    const auto contrast = [](const QImage &image) {
        double sum = 0, squares = 0;
        const int count = image.width() * image.height();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const int grey = qGray(image.pixel(x, y));
                sum += grey;
                squares += double(grey) * grey;
            }
        return std::sqrt(std::max(0.0, squares / count - (sum / count) * (sum / count)));
    };
    QImage checks(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < checks.height(); ++y)
        for (int x = 0; x < checks.width(); ++x)
            checks.setPixel(x, y, ((x / 16 + y / 16) % 2) ? 0xffffffff : 0xff000000);
    QVERIFY(checks.save(sandbox.onC("photos/fast.jpg"), "JPEG", 95));
    QVERIFY(checks.save(sandbox.onC("photos/plain.jpeg"), "JPEG", 95));
    browser.form.redisplayAction->trigger();
    const double fast = contrast(browser.form.thumbnailArea->pictureAt(0).picture);
    const double plain = contrast(ThumbnailDrawing::DrawThumbnail(QImage(sandbox.onC("photos/fast.jpg")), 40, 30, true));
    QVERIFY2(fast > 60 && std::abs(fast - plain) < 30, qPrintable(QStringLiteral("%1 against %2").arg(fast).arg(plain)));
    QVERIFY(contrast(browser.form.thumbnailArea->pictureAt(1).picture) < 40);
}

void CatalogueTest::cachedThumbnailsKeepTheirTransparencyAsGrey()
{
    // A transparent icon's cache file holds the cell's grey where the icon is transparent, so that it reads
    // back as it showed.
    Sandbox sandbox;
    sandbox.makeFolder("c/icons");
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    for (int y = 4; y < 12; ++y)
        for (int x = 4; x < 12; ++x)
            icon.setPixelColor(x, y, Qt::red);
    QVERIFY(PictureWriters::save(sandbox.onC("icons/dot.ico"), PictureWriters::icon(icon)));
    sandbox.poseAs(1, 4, 10);
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\icons");
    QImage cached;
    QVERIFY(cached.load(sandbox.onC("tmp/KRUtemp/img0.tmp"), "BMP"));
    QCOMPARE(cached.pixelColor(0, 0), ThumbnailArea::CellGrey);
    QCOMPARE(cached.pixelColor(cached.width() / 2, cached.height() / 2), QColor(Qt::red));
    browser.form.catalogue()->ReloadVisibleThumbs();
    QCOMPARE(browser.form.thumbnailArea->pictureAt(0).picture.pixelColor(0, 0), ThumbnailArea::CellGrey);
}

void CatalogueTest::theWheelMovesTheScrollBarAStepPerNotch()
{
    // A wheel notch over the thumbnails is one step of the scroll bar, and its handler places the area.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 300);
    Browser browser(sandbox);
    browser.form.Load();
    browser.open("C:\\pics");
    QVERIFY(browser.form.scrollBar->isVisible());
    const auto turn = [&](int angle) {
        QWheelEvent wheel(QPointF(50, 50), browser.form.thumbnailArea->mapToGlobal(QPointF(50, 50)), QPoint(),
                          QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(browser.form.thumbnailArea, &wheel);
    };
    turn(-120);
    QCOMPARE(browser.form.scrollBar->value(), 1);
    turn(-240);
    QCOMPARE(browser.form.scrollBar->value(), 3);
    QCOMPARE(browser.form.window.ScrollPos, std::int16_t(3));
    // A fine wheel turns a step once its turns make a notch.
    turn(60);
    QCOMPARE(browser.form.scrollBar->value(), 3);
    turn(60);
    QCOMPARE(browser.form.scrollBar->value(), 2);
    turn(10000);
    QCOMPARE(browser.form.scrollBar->value(), 0);
    QCOMPARE(Twips::top(browser.form.thumbnailArea), Twips::height(browser.form.toolbar));
}

void CatalogueTest::theCatalogueRunsWithoutTheMainWindow()
{
    // The catalogue needs only the widgets and services it is handed: loose ones load a folder and report it.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 12);
    QWidget mainWindow;
    ThumbnailArea area(&mainWindow);
    Twips::place(&area, 3690, 405, 8280, 7890);
    QScrollBar scrollBar(&mainWindow);
    StatusPanels status(&mainWindow);
    CommandToolbar toolbar(&mainWindow);
    for (int i = 0; i < 4; ++i)
        toolbar.addButtonPosition(QIcon(), QString());
    QAction open(QStringLiteral("選択された画像を開く"));
    QWidget tree(&mainWindow);
    PictureBox preview(&mainWindow);
    FileList files(sandbox.context->fileSystem);
    ProgramState state;
    MainWindowState window;
    LoadGate gate;
    int dialogsClosed = 0;
    Catalogue catalogue(CatalogueParts{&mainWindow, &files, &area, &scrollBar, &status, &toolbar, &open, &tree, &preview,
                                       *sandbox.context, state, window, gate, [&] { ++dialogsClosed; }});
    mainWindow.show();
    files.setPath(QStringLiteral("C:\\pics"));
    QCOMPARE(state.ThumbCount, 12);
    QCOMPARE(area.count(), 12);
    QCOMPARE(status.panelText(1), QStringLiteral("画像数 12ファイル"));
    QCOMPARE(status.panelText(2), QStringLiteral(" 完了"));
    QCOMPARE(state.InfoList[11].NameText, QStringLiteral("ﾌｧｲﾙ名: f011.bmp"));
    QCOMPARE(dialogsClosed, 1);
    QVERIFY(mainWindow.isEnabled());
    QVERIFY(!open.isEnabled());
}

namespace {

// Counts the paint events of every widget of the application.
struct PaintCounter : QObject
{
    PaintCounter() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Its class is noted as it paints: the widget may be gone when the counts are read.
        if (event->type() == QEvent::Paint) {
            auto &[count, name] = paints[watched];
            ++count;
            name = QString::fromLatin1(watched->metaObject()->className());
        }
        return false;
    }
    // The paints of the widget painted most often, and its class.
    std::pair<int, QString> most() const
    {
        std::pair<int, QString> found{0, QString()};
        for (const std::pair<int, QString> &painted : paints)
            if (painted.first > found.first)
                found = painted;
        return found;
    }
    QHash<QObject *, std::pair<int, QString>> paints;
};

// The files of C:\pics as a load reads them, in the given order.
std::shared_ptr<const FileList::Listing> Listing(Sandbox &sandbox, const QStringList &entries)
{
    auto listing = std::make_shared<FileList::Listing>();
    listing->folder = QStringLiteral("C:\\pics");
    listing->nativeFolder = QFile::encodeName(sandbox.onC(QStringLiteral("pics")));
    listing->entries = entries;
    listing->natives.resize(size_t(entries.size()));
    return listing;
}

QStringList SmallEntries(int count)
{
    QStringList entries;
    for (int i = 0; i < count; ++i)
        entries.append(QStringLiteral("f%1.bmp").arg(i, 3, 10, QLatin1Char('0')));
    return entries;
}

} // namespace

void CatalogueTest::manySmallFilesArePaintedOncePerFrame()
{
    // With display frames on, a load of small files still takes every step of every file (texts, progress,
    // cells), but no widget is painted more than once per frame; "中止" still lands in the
    // load and ends it after the file in hand.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    constexpr int Files = 2500;
    writePictures(sandbox, "pics", Files);
    constexpr long long Frame = 20000;
    EventLoops::setFrameInterval(Frame);
    Browser browser(sandbox);
    browser.form.Load();
    browser.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser.form));
    QElapsedTimer clock;
    std::pair<int, QString> most;
    double frames = 0;
    {
        PaintCounter counter;
        clock.start();
        browser.open(QStringLiteral("C:\\pics"));
        frames = clock.nsecsElapsed() / 1000.0 / Frame;
        most = counter.most();
    }
    QCOMPARE(browser.state.ThumbCount, Files);
    QCOMPARE(browser.form.statusPanels->panelText(2), QStringLiteral(" 完了"));
    QCOMPARE(browser.state.InfoList[Files - 1].NameText, QStringLiteral("ﾌｧｲﾙ名: f999.bmp"));
    for (int k : {0, 1234, Files - 1})
        QVERIFY2(browser.form.thumbnailArea->pictureAt(k).visible && !browser.form.thumbnailArea->pictureAt(k).picture.isNull(),
                 qPrintable(QString::number(k)));
    // The thumbnail area, the stop box's texts and bar, the status bar: each at most once per frame.
    QVERIFY2(most.first <= frames + 3,
             qPrintable(QStringLiteral("%1 painted %2 times in %3 frames").arg(most.second).arg(most.first).arg(frames)));

    // The same load stopped at the third time its events run.
    int runs = 0;
    int labelAtStop = -1;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<StopBox *>(window);
            if (labelAtStop < 0 && box && box->isVisible() && box->fileLabel->text().startsWith(QLatin1Char('f')) && ++runs == 3) {
                labelAtStop = int(browser.form.fileList->listing()->entries.indexOf(box->fileLabel->text()));
                box->stopButton->click();
            }
        }
    });
    watcher.start(0);
    browser.form.catalogue()->Rebuild();
    watcher.stop();
    QVERIFY(labelAtStop >= 0);
    // The click landed after the file named, or after the next one began.
    QVERIFY2(browser.state.ThumbCount == labelAtStop + 1 || browser.state.ThumbCount == labelAtStop + 2,
             qPrintable(QStringLiteral("%1 made, stopped at entry %2").arg(browser.state.ThumbCount).arg(labelAtStop)));
    QVERIFY(browser.state.ThumbCount < Files);
    QCOMPARE(browser.form.statusPanels->panelText(2),
             QStringLiteral("%1 / %2 取込み ").arg(browser.state.ThumbCount).arg(Files));
    EventLoops::setFrameInterval(0);
}

void CatalogueTest::workersRunAheadOfASlowFileByMemory()
{
    // While the engine waits for a slow first file, the other workers go on with the small files after it,
    // as far as memory allows, not a fixed count; a load dropped while they do so ends cleanly.
    if (QThread::idealThreadCount() < 2)
        QSKIP("needs two cores");
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 200);
    QImage noise(2600, 2600, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < noise.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = (seed = seed * 1664525u + 1013904223u) >> 8;
    }
    QVERIFY(noise.save(sandbox.onC(QStringLiteral("pics/slow.png")), "PNG", 100));
    QStringList entries = SmallEntries(200);
    entries.prepend(QStringLiteral("slow.png"));
    {
        ThumbnailPrefetch prefetch(Listing(sandbox, entries), {});
        const ThumbnailPrefetch::Made slow = prefetch.Take(0);
        QVERIFY(slow.decoded);
        QCOMPARE(slow.widthTwips, 2600 * 15.0);
        // A count of three files per worker would have stopped them at six.
        QTRY_VERIFY_WITH_TIMEOUT(prefetch.mostAhead() >= 150, 20000);
        for (int i = 1; i <= 100; ++i)
            QVERIFY(prefetch.Take(i).decoded);
    }
    QVERIFY(BackgroundWork::thumbnailPool().waitForDone(20000));
}

void CatalogueTest::theLookAheadStaysWithinItsBytes()
{
    // Bound to a byte, the workers make no more than one file each ahead of the engine, and every
    // thumbnail still comes, in order; entries skipped by the engine are dropped.
    Sandbox sandbox;
    sandbox.makeFolder("c/pics");
    writePictures(sandbox, "pics", 120);
    ThumbnailPrefetch prefetch(Listing(sandbox, SmallEntries(120)), {}, QString(), 1);
    for (int i = 0; i < 120; i += i == 50 ? 20 : 1) {
        const ThumbnailPrefetch::Made made = prefetch.Take(i);
        QVERIFY2(made.decoded && made.length > 0, qPrintable(QString::number(i)));
        QCOMPARE(made.thumbnail.pixel(0, 0),
                 colouredPicture(1, 1, QColor::fromHsv(i * 7 % 360, 200, 200)).convertToFormat(QImage::Format_RGB16).pixel(0, 0));
    }
    QVERIFY2(prefetch.mostAhead() <= QThread::idealThreadCount(), qPrintable(QString::number(prefetch.mostAhead())));
    QCOMPARE(prefetch.Take(60).decoded, false); // taken in order: one behind is gone
}

QTEST_MAIN(CatalogueTest)
#include "tst_catalogue.moc"
