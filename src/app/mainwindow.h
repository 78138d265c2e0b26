#pragma once

#include "core/mainwindowstate.h"
#include "pictures/pictureloader.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>

class Catalogue;
class CellMenu;
class Commands;
class Favourites;
class CommandToolbar;
class FileList;
class FolderNavigation;
class FolderTree;
class HoverPreview;
class PictureBox;
class Selection;
class KeyedTree;
class LoadGate;
class PlatformContext;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QScrollBar;
class QTimer;
class StatusPanels;
class ThumbnailArea;
class ViewChoices;
struct ProgramState;

// The main window: folder tree, toolbar, thumbnail area, preview box and
// status bar. It owns its widgets and hands the work to the controllers of
// the tree, the catalogue, the viewer and the commands.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(PlatformContext &context, ProgramState &state, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence: tree, layout, settings, favourites menu, first
    // catalogue, showing the window.
    void Load();
    void LayOutMainWindow();
    // Centres the preview picture in its pane.
    void CentrePreview();

    // Inner width and height, outer width and height, outer position, in twips.
    double ScaleWidth() const;
    double ScaleHeight() const;
    double WindowWidth() const;
    double WindowHeight() const;
    double WindowLeft() const;
    double WindowTop() const;

    // Cancels a pending or shown hover box.
    void CancelHover();

    // Opens the favourite of favourites menu entry index.
    void OpenFavourite(int index);
    // Opens the viewer on the selected thumbnail, when there is one.
    void OpenSelectedPicture();
    // Selects the thumbnail of the file of fileList with that name (its bytes
    // on disk), as a click on it does; nothing when the folder lists no
    // such file.
    void SelectFile(const QByteArray &nativeName);
    PlatformContext &context() { return m_context; }
    ProgramState &state() { return m_state; }
    MainWindowState window;

    // Widgets.
    QWidget *client = nullptr;
    QFrame *toolbarFrame = nullptr;
    QFrame *toolbarRule = nullptr;
    CommandToolbar *toolbar = nullptr;
    KeyedTree *treeView = nullptr;
    ThumbnailArea *thumbnailArea = nullptr;
    QScrollBar *scrollBar = nullptr;
    QLabel *previewPane = nullptr;
    PictureBox *previewPicture = nullptr;
    QLabel *waitLabel = nullptr;
    StatusPanels *statusPanels = nullptr;
    FileList *fileList = nullptr;
    QTimer *hoverTimer = nullptr;

    // Off-screen holder of the picture last chosen by a click, and the
    // Windows path of the file it came from.
    Picture chosenPicture;
    QString chosenPicturePath;

    // Menus.
    QMenu *fileMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *favouritesMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QAction *openAction = nullptr;
    QAction *settingsAction = nullptr;
    QAction *closeAction = nullptr;
    QAction *redisplayAction = nullptr;
    QAction *addFavouriteAction = nullptr;
    QAction *organiseFavouritesAction = nullptr;
    QList<QAction *> favouriteEntries;
    QAction *helpAction = nullptr;
    QAction *aboutAction = nullptr;

    FolderTree *folderTree() const { return m_folderTree; }
    Catalogue *catalogue() const { return m_catalogue; }
    FolderNavigation *navigation() const { return m_navigation; }
    Selection *selection() const { return m_selection; }
    CellMenu *cellMenu() const { return m_cellMenu; }
    HoverPreview *hover() const { return m_hover; }
    Favourites *favourites() const { return m_favourites; }
    Commands *commands() const { return m_commands; }
    ViewChoices *viewChoices() const { return m_viewChoices; }


protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWidgets();
    void buildMenus();
    void buildToolbar();
    void WireControllers();
    void Unload();

    PlatformContext &m_context;
    ProgramState &m_state;
    LoadGate *m_gate = nullptr;
    FolderTree *m_folderTree = nullptr;
    Catalogue *m_catalogue = nullptr;
    FolderNavigation *m_navigation = nullptr;
    HoverPreview *m_hover = nullptr;
    Selection *m_selection = nullptr;
    CellMenu *m_cellMenu = nullptr;
    Favourites *m_favourites = nullptr;
    Commands *m_commands = nullptr;
    ViewChoices *m_viewChoices = nullptr;
    bool m_unloaded = false;
    // The widget of this window that last had the keyboard focus.
    QPointer<QWidget> m_lastFocus;
};
