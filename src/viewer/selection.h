#pragma once

#include "files/filelist.h"
#include "pictures/pictureloader.h"

#include <QObject>
#include <QPointer>
#include <QSizeF>

#include <cstdint>
#include <functional>
#include <optional>

class CommandToolbar;
class ViewerWindow;
class HoverPreview;
class PictureBox;
class PlatformContext;
class QAction;
class QLabel;
class QWidget;
class ThumbnailArea;
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
    // Toolbar button 4 and the menu item openAction open the selection.
    CommandToolbar *toolbar;
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
    void ShowSelectedPicture(int i);
    void OpenViewer(int i);

    // The viewer window while it is loaded, else nullptr.
    ViewerWindow *viewer() const;

    // Preview pane limit: the larger side of the shown picture, in twips.
    static constexpr double PreviewLimit = 2600;
    // The preview's size for a picture of a natural size, in twips.
    static QSizeF PreviewSize(double width, double height);

private:
    // Opens the viewer on thumbnail i of the catalogue that had been reset
    // resets times; nothing when it was reset since.
    void RequestViewer(int i, std::uint32_t resets);
    void ShowViewer(const QString &caption, Picture picture);
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
    // The open under way, and the latest double click it is to show.
    bool m_openingViewer = false;
    int m_openWanted = -1;
    std::uint32_t m_openResets = 0;
    std::uint64_t m_openRequests = 0;
};
