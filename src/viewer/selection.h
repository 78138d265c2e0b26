#pragma once

#include "catalogue/thumbnailarea.h"
#include "files/filelist.h"
#include "pictures/pictureloader.h"

#include "viewer/viewerparts.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QSizeF>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class ViewerWindow;
class HoverPreview;
class PictureBox;
class PlatformContext;
class QAction;
class QLabel;
class QWidget;
struct MainWindowState;
struct ProgramState;

// What selecting a thumbnail and opening the viewer work on.
struct SelectionParts
{
    // Hidden while the viewer shows; carries the wait pointer.
    QWidget *mainWindow;
    ThumbnailArea *thumbnailArea;
    // The files the thumbnails stand for: thumbnail i is entry i.
    std::function<std::shared_ptr<const FileList::Listing>()> shownFiles;
    // The preview pane and its "ちょっと待ってね♪".
    PictureBox *previewPicture;
    QLabel *waitLabel;
    // Opens the selection (the menu item, its toolbar button and Ctrl+O).
    QAction *openAction;
    // The main window's holder of the chosen picture, and the file's Windows path.
    Picture &chosenPicture;
    QString &chosenPicturePath;
    PlatformContext &context;
    ProgramState &state;
    MainWindowState &window;
    HoverPreview &hover;
    // Centres the preview picture in its pane.
    std::function<void()> centrePreview;
    // Scrolls the thumbnails so that thumbnail i is in view, and tells how
    // many rows they show at once.
    std::function<void(int)> showCell;
    std::function<int()> rowsInView;
};

// Selecting a thumbnail and opening the viewer: a click highlights the cell
// and shows the picture in the preview pane, a double click (or the open
// command) shows it in the viewer window.
class Selection : public QObject
{
    Q_OBJECT

public:
    explicit Selection(const SelectionParts &parts, QObject *parent = nullptr);
    ~Selection() override;

    void ThumbnailClicked(int i);
    void ThumbnailDoubleClicked(int i);
    // A key of the thumbnails: the selection moves by the step, as a click
    // on the cell it comes to, which scrolls into view.
    void StepSelection(ThumbnailArea::Step step);
    // The thumbnail a step from `from` comes to, of count thumbnails in
    // rows of columns, rows of them in view.
    static int StepTarget(int from, ThumbnailArea::Step step, int count, int columns, int rows);
    void ShowSelectedPicture(int i);
    void OpenViewer(int i);

    // The thumbnails of the catalogue reset `before` times moved (thumbnail
    // i is now placeOf[i], -1 gone): the viewer's steps go on from its
    // picture's new place; a picture whose file went ends them.
    void EntriesMoved(const std::vector<int> &placeOf, std::uint32_t before);

    // The viewer window while it is loaded, else nullptr.
    ViewerWindow *viewer() const;
    // The thumbnail the viewer shows (-1 when none).
    int viewerIndex() const { return m_viewerIndex; }

    // A key of the viewer: the next (previous, first, last) picture of the
    // catalogue opens in it as a double click opens one, its zoom at the
    // natural size again. The pictures beside the one shown are decoded
    // ahead, so that a step shows at once.
    void StepViewer(ViewerStep step);

    // Pictures decoded ahead for the viewer are at most this large each (three
    // of them are held beside the one shown).
    static constexpr qint64 AheadLimitBytes = 128LL * 1024 * 1024;

    // A picture of this many pixels or more opens in the viewer at once as
    // the preview held it, and sharpens when its whole decode is done.
    static constexpr double SoftFirstPixels = 8e6;
    // Whether the viewer shows the preview's picture first, while it reads the whole.
    static bool TakesLongWhole(const Picture &held);
    // The viewer's title for a picture named caption.
    static QString TitleFor(const QString &caption, const Picture &picture);

    // Preview pane limit: the larger side of the shown picture, in twips.
    static constexpr double PreviewLimit = 2600;
    // The preview's size for a picture of a natural size, in twips.
    static QSizeF PreviewSize(double width, double height);

signals:
    // The viewer window was shown with a picture (its first, or the next).
    void viewerShown();

private:
    // Opens the viewer on thumbnail i of the catalogue that had been reset
    // resets times; nothing when it was reset since.
    void RequestViewer(int i, std::uint32_t resets);
    // showWindow false: the viewer is hidden behind the full screen.
    void ShowViewer(const QString &caption, const QString &windowsPath, Picture picture, bool showWindow = true);
    // The picture of thumbnail i at its natural size (or the largest scale
    // the budget allows), decoded ahead or now, while the events run.
    std::optional<Picture> ViewerPicture(const FileList::Listing &files, int i);
    // Decodes the pictures beside thumbnail i ahead, two of them the way the
    // steps go (direction 1 or -1), and drops the others.
    void DecodeAhead(const FileList::Listing &files, int i, int direction);
    void DropAhead();
    // The viewer's picture stays at hand as thumbnail i's, decoded ahead.
    void KeepAhead(int i, const Picture &picture);
    // The viewer closed: the selection and the preview follow the picture it showed last.
    void ViewerClosed();
    std::optional<Picture> LoadForPreview(const QByteArray &nativePath);
    std::optional<Picture> LoadForViewer(const Picture &held);
    ViewerWindow &ReferViewer();
    QString CaptionFor(int i) const;
    void SetWaitPointer(bool wait);
    std::uint32_t Resets() const;

    SelectionParts m_parts;
    ProgramState &m_state;
    HoverPreview &m_hover;
    QPointer<ViewerWindow> m_viewer;
    // Clicks still loading their picture; a double click waits for them.
    int m_loading = 0;
    std::uint64_t m_clicks = 0;
    int m_pendingOpen = -1;
    std::uint32_t m_pendingResets = 0;
    // The thumbnail the viewer shows, of the catalogue as it was then, and
    // the one it opened on.
    int m_viewerIndex = -1;
    int m_viewerOpenedIndex = -1;
    // The viewer's picture is its file's own decode: a step away keeps it as
    // the neighbour it then is, rather than decoding it again.
    bool m_viewerWhole = false;
    // Counts the pictures the viewer was given, so that a late whole picture
    // goes only to the viewer that still shows its preview.
    std::uint64_t m_viewerShows = 0;
    std::uint32_t m_viewerResets = 0;
    // A step under way, and the picture the latest key asked for.
    bool m_stepping = false;
    int m_stepWanted = -1;
    struct Ahead
    {
        std::shared_ptr<std::atomic<bool>> cancelled;
        // Too large to be decoded ahead: decoded when it is shown.
        std::shared_ptr<std::atomic<bool>> tooLarge;
        QFuture<std::optional<Picture>> picture;
    };
    std::map<int, Ahead> m_ahead;
    // The open under way, and the latest double click it is to show.
    bool m_openingViewer = false;
    int m_openWanted = -1;
    std::uint32_t m_openResets = 0;
    std::uint64_t m_openRequests = 0;
};
