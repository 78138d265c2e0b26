#include "app/form1.h"
#include "app/programstate.h"
#include "catalogue/thumbnailarea.h"
#include "platform/filelist.h"
#include "platform/twips.h"
#include "sandbox.h"
#include "viewer/form3.h"
#include "viewer/picturebox.h"
#include "viewer/selection.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <QTimer>

namespace {

struct Browser
{
    explicit Browser(Sandbox &sandbox) : form(*sandbox.context, state) { form.Load(); }
    ~Browser() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    ProgramState state;
    Form1 form;
    QPoint cellCentre(int i) const
    {
        const QRectF cell = form.BackPic->Lbl1(i).rect;
        return Twips::toPixels(cell.x(), cell.y(), cell.width(), cell.height()).center();
    }
};

bool Blank(const QImage &image)
{
    if (image.isNull())
        return true;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

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
        valid.insert(name, fields[4] == "valid");
    }
    Browser browser(sandbox);
    browser.form.File1->setPattern(QStringLiteral("*"));
    QElapsedTimer clock;
    clock.start();
    browser.form.File1->setPath(QStringLiteral("C:\\corpus"));
    QCOMPARE(browser.state.ThumbCount, static_cast<int>(valid.size()));
    QVERIFY(clock.elapsed() < 60000);

    ThumbnailArea &area = *browser.form.BackPic;
    for (int i = 0; i < browser.state.ThumbCount; ++i) {
        const QString name = browser.form.File1->list(i);
        const bool isValid = valid.value(name);
        if (isValid) {
            QVERIFY2(!area.Image1(i).undecodable && !area.Image1(i).picture.isNull(), qPrintable(name));
        }
        clock.restart();
        // The cell may lie below the visible rows; the handlers take it all the same.
        browser.form.selection()->ThumbnailClicked(i);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(name));
        if (isValid) {
            QVERIFY2(browser.form.pictempPath.endsWith(name), qPrintable(name));
            QVERIFY2(browser.form.Image2->hasPicture(), qPrintable(name));
        }
        clock.restart();
        browser.form.selection()->ThumbnailDoubleClicked(i);
        Form3 *viewer = browser.form.selection()->viewer();
        QVERIFY2(viewer && viewer->isVisible(), qPrintable(name));
        QVERIFY2(viewer->windowTitle().startsWith(name), qPrintable(name));
        if (isValid) {
            QCOMPARE(viewer->windowTitle(), name);
            QVERIFY2(!Blank(viewer->img->grab().toImage()) || Blank(OnBlack(browser.form.pictemp.image)), qPrintable(name));
        }
        viewer->Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(name));
    }
    QVERIFY(sandbox.messages->shown.isEmpty());
}

QTEST_MAIN(ReliabilityTest)
#include "tst_reliability.moc"
