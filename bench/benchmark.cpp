// Runs the real main window headless on a folder and reports how fast the
// catalogue is: kuroeview-benchmark FOLDER [--json FILE] [--cache DIR]
// [--size PIXELS] [--pace MS]. Without --cache no shared thumbnail cache is used; with
// it, DIR is the cache's folder (a "thumbnails" folder as $XDG_CACHE_HOME
// holds). With --size, the load measured makes thumbnails of that size.
// Starts in the folder as the program does and measures, from the start of
// the process, when the window is first painted and when the first
// thumbnail is; then the catalogue load again (files per second, wall time),
// peak memory, one scroll step, ResetCatalogue, and for the largest picture
// the time from click to preview and from double click to the viewer; then
// the viewer's steps to the next picture (a Right key every 0.4 s, or every
// MS milliseconds, as a person looks at each, 20 times: from the key to the
// next picture painted; KUROEVIEW_BENCH_STEPS=1 prints each);
// last, how soon a load stops after "中止" is clicked in its middle.
#include "app/mainwindow.h"
#include "catalogue/stopbox.h"
#include "core/programstate.h"
#include "catalogue/catalogue.h"
#include "catalogue/thumbnailarea.h"
#include "platform/backgroundwork.h"
#include "files/filelist.h"
#include "platform/platformcontext.h"
#include "viewer/viewerwindow.h"
#include "widgets/picturebox.h"
#include "viewer/selection.h"
#include "core/settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Notes when a widget is first painted, and when the thumbnail area is first
// painted with a thumbnail in it.
class FirstPaints : public QObject
{
public:
    FirstPaints(const QElapsedTimer &clock, const ProgramState &state) : m_clock(clock), m_state(state) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            if (watched->isWindowType() || qobject_cast<QWidget *>(watched)->isWindow()) {
                if (windowMs < 0)
                    windowMs = m_clock.nsecsElapsed() / 1e6;
            } else {
                ++areaPaints;
                if (thumbnailMs < 0 && m_state.ThumbCount > 0)
                    thumbnailMs = m_clock.nsecsElapsed() / 1e6;
            }
        }
        return false;
    }
    double windowMs = -1;
    double thumbnailMs = -1;
    int areaPaints = 0;

private:
    const QElapsedTimer &m_clock;
    const ProgramState &m_state;
};

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kuroeview-benchmark FOLDER [--json FILE] [--cache DIR] [--size PIXELS] [--pace MS]\n");
        return 2;
    }
    const QString folder = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QString jsonPath;
    QString cache;
    int pixels = 0;
    int pace = 400;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (QByteArray(argv[i]) == "--size")
            pixels = std::atoi(argv[i + 1]);
        else if (QByteArray(argv[i]) == "--pace")
            pace = std::max(1, std::atoi(argv[i + 1]));
        else if (QByteArray(argv[i]) == "--json")
            jsonPath = QString::fromLocal8Bit(argv[i + 1]);
        else if (QByteArray(argv[i]) == "--cache")
            cache = QFileInfo(QString::fromLocal8Bit(argv[i + 1])).absoluteFilePath();
    }

    auto context = PlatformContext::forThisMachine();
    context->thumbnailCache = cache;
    // A size is chosen in a copy of the settings file, from the start on.
    QTemporaryDir settings;
    if (pixels > 0) {
        const QString copy = settings.filePath(QStringLiteral("settings.ini"));
        QFile::copy(context->profile.filePath(), copy);
        context->profile.setFilePath(copy);
        WriteSetting(context->profile, QStringLiteral("VIEW"), QStringLiteral("SIZE"), QString::number(pixels));
    }
    QDir::setCurrent(folder);
    ProgramState state;
    FirstPaints paints(sinceStart, state);
    MainWindow form(*context, state);
    form.installEventFilter(&paints);
    form.thumbnailArea->installEventFilter(&paints);
    form.Load();
    const double startLoadSeconds = sinceStart.nsecsElapsed() / 1e9;

    // The same folder again, as F5 loads it.
    QElapsedTimer clock;
    clock.start();
    const int paintsBefore = paints.areaPaints;
    form.fileList->refresh();
    form.catalogue()->Rebuild();
    const double loadSeconds = clock.nsecsElapsed() / 1e9;
    const int files = state.ThumbCount;
    const int loadPaints = paints.areaPaints - paintsBefore;

    std::vector<double> scrollSteps;
    QScrollBar *bar = form.scrollBar;
    for (int value = 1; value <= std::min(bar->maximum(), 200); ++value) {
        clock.restart();
        bar->setValue(value);
        QCoreApplication::processEvents();
        scrollSteps.push_back(clock.nsecsElapsed() / 1e6);
    }

    // The largest picture by file size.
    int largest = 0;
    qint64 largestBytes = -1;
    for (int i = 0; i < form.fileList->listCount(); ++i) {
        const qint64 bytes = QFileInfo(folder + QLatin1Char('/') + form.fileList->list(i)).size();
        if (bytes > largestBytes) {
            largestBytes = bytes;
            largest = i;
        }
    }
    double previewMs = 0;
    double viewerMs = 0;
    double firstViewMs = 0;
    if (files > 0) {
        clock.restart();
        form.selection()->ThumbnailClicked(largest);
        form.previewPicture->grab();
        previewMs = clock.nsecsElapsed() / 1e6;
        // When the viewer first shows (a large picture shows its preview first).
        const QMetaObject::Connection shown = QObject::connect(form.selection(), &Selection::viewerShown, [&] {
            if (firstViewMs > 0)
                return;
            if (ViewerWindow *viewer = form.selection()->viewer())
                viewer->grab();
            firstViewMs = clock.nsecsElapsed() / 1e6;
        });
        clock.restart();
        form.selection()->ThumbnailDoubleClicked(largest);
        QObject::disconnect(shown);
        if (ViewerWindow *viewer = form.selection()->viewer())
            viewer->grab();
        viewerMs = clock.nsecsElapsed() / 1e6;
        if (ViewerWindow *viewer = form.selection()->viewer())
            viewer->Unload();
        QCoreApplication::processEvents();
    }
    // From the first picture, one step after another.
    std::vector<double> nextSteps;
    if (files > 1) {
        form.selection()->ThumbnailClicked(0);
        form.selection()->ThumbnailDoubleClicked(0);
        for (int step = 0; step < std::min(20, files - 1); ++step) {
            ViewerWindow *viewer = form.selection()->viewer();
            if (!viewer)
                break;
            QEventLoop pause;
            QTimer::singleShot(pace, &pause, &QEventLoop::quit);
            pause.exec();
            clock.restart();
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QCoreApplication::sendEvent(viewer, &right);
            viewer->grab();
            nextSteps.push_back(clock.nsecsElapsed() / 1e6);
            if (qEnvironmentVariableIsSet("KUROEVIEW_BENCH_STEPS"))
                std::printf("step %d %.1f ms\n", step, nextSteps.back());
        }
        if (ViewerWindow *viewer = form.selection()->viewer())
            viewer->Unload();
        QCoreApplication::processEvents();
    }

    clock.restart();
    form.catalogue()->ResetCatalogue();
    const double resetMs = clock.nsecsElapsed() / 1e6;

    // "中止" clicked while the load is a third of the way (or 300 ms) in:
    // from the moment the click is due until the load has ended.
    double stopMs = -1;
    if (files > 0) {
        const int aThird = std::max(1.0, std::min(300.0, loadSeconds * 1000 / 3));
        QElapsedTimer sinceDue;
        QTimer::singleShot(aThird, &form, [&] {
            sinceDue.start();
            for (QWidget *window : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<StopBox *>(window); box && box->isVisible())
                    box->stopButton->click();
        });
        clock.restart();
        form.catalogue()->Rebuild();
        // The click is due aThird after the load began.
        if (sinceDue.isValid())
            stopMs = clock.nsecsElapsed() / 1e6 - aThird;
    }

    QJsonObject result{{"folder", folder},
                       {"files", files},
                       {"window_painted_ms", paints.windowMs},
                       {"first_thumbnail_ms", paints.thumbnailMs},
                       {"start_and_load_seconds", startLoadSeconds},
                       {"load_seconds", loadSeconds},
                       {"files_per_second", loadSeconds > 0 ? files / loadSeconds : 0},
                       {"peak_rss_mb", PeakMegabytes()},
                       {"scroll_step_ms_median", Median(scrollSteps)},
                       {"reset_ms", resetMs},
                       {"click_to_preview_ms", previewMs},
                       {"double_click_to_viewer_ms", viewerMs},
                       {"double_click_to_first_view_ms", firstViewMs},
                       {"viewer_next_ms", Median(nextSteps)},
                       {"area_paints_per_second", loadSeconds > 0 ? loadPaints / loadSeconds : 0},
                       {"stop_ms", stopMs}};
    std::printf("%-28s %s\n", "folder", qPrintable(folder));
    for (const char *key : {"files", "window_painted_ms", "first_thumbnail_ms", "start_and_load_seconds", "load_seconds", "files_per_second", "peak_rss_mb", "scroll_step_ms_median",
                            "reset_ms", "click_to_preview_ms", "double_click_to_first_view_ms", "double_click_to_viewer_ms", "viewer_next_ms", "area_paints_per_second", "stop_ms"})
        std::printf("%-28s %.3f\n", key, result.value(QLatin1String(key)).toDouble());
    if (!jsonPath.isEmpty()) {
        QFile out(jsonPath);
        if (out.open(QIODevice::WriteOnly))
            out.write(QJsonDocument(result).toJson());
    }
    context->endProgram = [](int) {};
    // The stopped load's workers end before the application does; a
    // question to a share that never answered ends with the process.
    BackgroundWork::finish(5000);
    if (context->fileCalls->running() > 0) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}
