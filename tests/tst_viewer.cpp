#include "app/commandtoolbar.h"
#include "app/form1.h"
#include "app/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "platform/filelist.h"
#include "platform/twips.h"
#include "sandbox.h"
#include "viewer/form3.h"
#include "viewer/full.h"
#include "viewer/hoverpreview.h"
#include "viewer/picturebox.h"
#include "viewer/primgsetfrom3.h"
#include "viewer/selection.h"
#include "viewer/tot.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

namespace {

// A main window showing the pictures of C:\pics.
struct Viewing
{
    explicit Viewing(Sandbox &sandbox) : form(*sandbox.context, state)
    {
        form.Load();
        form.File1->setPath(QStringLiteral("C:\\pics"));
    }
    ~Viewing() { flushDeletes(); }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QPoint cellCentre(int i) const
    {
        const QRectF cell = form.BackPic->Lbl1(i).rect;
        return Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).center();
    }
    QPoint cellCorner(int i) const { return cellCentre(i) - QPoint(20, 20); }
    void click(int i) { QTest::mouseClick(form.BackPic, Qt::LeftButton, {}, cellCentre(i)); }
    void doubleClick(int i)
    {
        click(i);
        QTest::mouseDClick(form.BackPic, Qt::LeftButton, {}, cellCentre(i));
    }
    Form3 *viewer() const { return form.selection()->viewer(); }

    ProgramState state;
    Form1 form;
};

void writeBitmap(Sandbox &sandbox, const QString &name, int width, int height, QColor colour = Qt::darkCyan)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    sandbox.makeFolder(QStringLiteral("c/pics"));
    QVERIFY(image.save(sandbox.onC(QStringLiteral("pics/") + name), "BMP"));
}

Picture pictureOfTwips(double width, double height)
{
    Picture picture;
    picture.image = QImage(std::max(1, int(width / 15)), std::max(1, int(height / 15)), QImage::Format_RGB32);
    picture.image.fill(Qt::darkMagenta);
    picture.widthTwips = width;
    picture.heightTwips = height;
    return picture;
}

// Opens the viewer on a picture of the given natural size in twips, as the
// open command does with what the last click loaded.
Form3 *openOn(Viewing &viewing, double width, double height)
{
    viewing.form.pictemp = pictureOfTwips(width, height);
    viewing.form.selection()->OpenViewer(0);
    return viewing.viewer();
}

} // namespace

class ViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir::setCurrent(QDir::tempPath()); }
    void previewSizes_data();
    void previewSizes();
    void clickHighlightsAndPreviews();
    void reclickingTheSelectionDoesNothing();
    void viewerOpensAroundThePicture();
    void viewerBars();
};

void ViewerTest::previewSizes_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<QSizeF>("shown");
    QTest::newRow("2600 x 1300 natural") << 2600.0 << 1300.0 << QSizeF(2600, 1300);
    QTest::newRow("2601 x 100 scaled") << 2601.0 << 100.0 << QSizeF(2600, 100 * 2600.0 / 2601.0);
    QTest::newRow("5200 square halved") << 5200.0 << 5200.0 << QSizeF(2600, 2600);
    QTest::newRow("tall") << 1000.0 << 5200.0 << QSizeF(500, 2600);
}

void ViewerTest::previewSizes()
{
    // The preview shows pictures up to 2600 twips as they are, larger ones with the longer side at 2600.
    QFETCH(double, width);
    QFETCH(double, height);
    QFETCH(QSizeF, shown);
    Sandbox sandbox;
    writeBitmap(sandbox, "bad.bmp", 1, 1);
    sandbox.writeFile("c/pics/bad.bmp", "not a picture");
    Viewing viewing(sandbox);
    // The file cannot be read, so the preview shows the picture held before.
    viewing.form.pictemp = pictureOfTwips(width, height);
    viewing.click(0);
    PictureBox *preview = viewing.form.Image2;
    QCOMPARE(QSizeF(Twips::width(preview), Twips::height(preview)), shown);
    QVERIFY(preview->isVisible());
    const QLabel *box = viewing.form.Lblp;
    QCOMPARE(Twips::left(preview) + Twips::width(preview) / 2, Twips::left(box) + Twips::width(box) / 2);
    QCOMPARE(Twips::top(preview) + Twips::height(preview) / 2, Twips::top(box) + Twips::height(box) / 2);
}

void ViewerTest::clickHighlightsAndPreviews()
{
    // A click turns the cell dark blue, the others grey, loads the picture and enables the open command.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 40, 30, Qt::red);
    writeBitmap(sandbox, "b.bmp", 20, 60, Qt::green);
    Viewing viewing(sandbox);
    QVERIFY(!viewing.form.pv->isEnabled());
    viewing.click(0);
    viewing.click(1);
    QCOMPARE(viewing.form.window.SelectedIndex, std::int16_t(1));
    QCOMPARE(viewing.form.BackPic->Lbl1(0).background, QColor(192, 192, 192));
    QCOMPARE(viewing.form.BackPic->Lbl1(1).background, QColor(0, 0, 128));
    QCOMPARE(viewing.form.pictemp.image.pixelColor(0, 0), QColor(Qt::green));
    QCOMPARE(QSizeF(Twips::width(viewing.form.Image2), Twips::height(viewing.form.Image2)), QSizeF(300, 900));
    QVERIFY(viewing.form.pv->isEnabled());
    QVERIFY(viewing.form.Tbar->isButtonEnabled(4));
    QVERIFY(!viewing.form.Label1->isVisible());
    QCOMPARE(viewing.form.cursor().shape(), Qt::ArrowCursor);
}

void ViewerTest::reclickingTheSelectionDoesNothing()
{
    // Clicking the selected thumbnail again neither reloads the file nor touches the cells.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 40, 30, Qt::red);
    writeBitmap(sandbox, "b.bmp", 40, 30, Qt::blue);
    Viewing viewing(sandbox);
    viewing.click(0);
    writeBitmap(sandbox, "a.bmp", 40, 30, Qt::yellow);
    viewing.form.BackPic->Lbl1(1).background = Qt::magenta;
    viewing.click(0);
    QCOMPARE(viewing.form.pictemp.image.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(viewing.form.BackPic->Lbl1(1).background, QColor(Qt::magenta));
}

void ViewerTest::viewerOpensAroundThePicture()
{
    // A double click opens the viewer titled with the bare name, at least 6800 x 3000, the main window hidden.
    Sandbox sandbox;
    writeBitmap(sandbox, "icon.bmp", 16, 16);
    writeBitmap(sandbox, "wide.bmp", 800, 600);
    Viewing viewing(sandbox);
    viewing.doubleClick(0);
    Form3 *viewer = viewing.viewer();
    QVERIFY(viewer && viewer->isVisible());
    QVERIFY(!viewing.form.isVisible());
    QCOMPARE(viewer->windowTitle(), QStringLiteral("icon.bmp"));
    QCOMPARE(viewer->Width(), 6800.0);
    QCOMPARE(viewer->Height(), 3000.0);
    QCOMPARE(Twips::width(viewer->img), 240.0);
    QCOMPARE(Twips::left(viewer->img), 6800 / 2 - 120 - 50.0);
    QCOMPARE(viewing.state.ZoomLevel, std::int16_t(5));
    QVERIFY(!viewer->Tlb->isButtonEnabled(5));
    QVERIFY(!viewer->DefV->isEnabled());

    viewer->Unload();
    QVERIFY(viewing.form.isVisible());
    QVERIFY(!viewing.viewer());
    Viewing::flushDeletes();

    viewing.doubleClick(1);
    viewer = viewing.viewer();
    QVERIFY(viewer);
    QCOMPARE(viewer->windowTitle(), QStringLiteral("wide.bmp"));
    QCOMPARE(viewer->Width(), 12100.0);
    QCOMPARE(viewer->Height(), 9000 + Twips::height(viewer->StBar) + Twips::height(viewer->Tlb) + 705);
    const QRect screen = viewer->screen()->geometry();
    QCOMPARE(viewer->Left(), (Twips::fromPixelsX(screen.width()) - 12100) / 2);
    QCOMPARE(viewer->Top(), (Twips::fromPixelsY(screen.height()) - viewer->Height()) / 2);
}

void ViewerTest::viewerBars()
{
    // The toolbar sits at the top and the status bar at the bottom of the viewer's inner area.
    Sandbox sandbox;
    writeBitmap(sandbox, "a.bmp", 100, 100);
    Viewing viewing(sandbox);
    Form3 *viewer = openOn(viewing, 1500, 1500);
    QVERIFY(viewer->StBar->isVisible());
    QCOMPARE(viewer->StBar->geometry().bottom(), viewer->centralWidget()->height() - 1);
    QCOMPARE(viewer->Tlb->geometry().top(), 0);
    const QImage shown = viewer->grab().toImage();
    QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() - 3), viewer->StBar->palette().color(QPalette::Window));
    QCOMPARE(shown.pixelColor(2, shown.height() / 2), QColor(Qt::black));
}

QTEST_MAIN(ViewerTest)
#include "tst_viewer.moc"
