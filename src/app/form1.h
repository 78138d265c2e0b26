#pragma once

#include "core/mainwindowstate.h"
#include "platform/pictureloader.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>

class Catalogue;
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
struct ProgramState;

// The main window: folder tree, toolbar, thumbnail area, preview box and
// status bar. It owns its widgets and hands the work to the controllers of
// the tree, the catalogue, the viewer and the commands.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    Form1(PlatformContext &context, ProgramState &state, QWidget *parent = nullptr);
    ~Form1() override;

    // The start-up sequence: tree, layout, settings, favourites menu, first
    // catalogue, showing the window.
    void Load();
    void LayOutMainWindow();
    // Centres the preview picture Image2 in its box Lblp.
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
    void OKINIIRICLK(int index);
    // Opens the viewer on the selected thumbnail, when there is one.
    void OpenSelectedPicture();
    // Selects the thumbnail of the file of File1 with that name (its bytes
    // on disk), as a click on it does; nothing when the folder lists no
    // such file.
    void SelectFile(const QByteArray &nativeName);
    PlatformContext &context() { return m_context; }
    ProgramState &state() { return m_state; }
    MainWindowState window;

    // Widgets.
    QWidget *client = nullptr;
    QFrame *Frm6 = nullptr;
    QFrame *Line3 = nullptr;
    CommandToolbar *Tbar = nullptr;
    KeyedTree *TreeView1 = nullptr;
    ThumbnailArea *BackPic = nullptr;
    QScrollBar *VS1 = nullptr;
    QLabel *Lblp = nullptr;
    PictureBox *Image2 = nullptr;
    QLabel *Label1 = nullptr;
    StatusPanels *Bar1 = nullptr;
    FileList *File1 = nullptr;
    QTimer *Timer1 = nullptr;

    // Off-screen holder of the picture last chosen by a click, and the
    // Windows path of the file it came from.
    Picture pictemp;
    QString pictempPath;

    // Menus.
    QMenu *menuF = nullptr;
    QMenu *MZuziz = nullptr;
    QMenu *Like = nullptr;
    QMenu *HelpIndex = nullptr;
    QAction *pv = nullptr;
    QAction *Setting = nullptr;
    QAction *closeItem = nullptr;
    QAction *reviw = nullptr;
    QAction *Addlike = nullptr;
    QAction *delfav = nullptr;
    QList<QAction *> MenuLikePlus;
    QAction *HELP1 = nullptr;
    QAction *Version = nullptr;

    FolderTree *folderTree() const { return m_folderTree; }
    Catalogue *catalogue() const { return m_catalogue; }
    FolderNavigation *navigation() const { return m_navigation; }
    Selection *selection() const { return m_selection; }
    HoverPreview *hover() const { return m_hover; }
    Favourites *favourites() const { return m_favourites; }
    Commands *commands() const { return m_commands; }


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
    Favourites *m_favourites = nullptr;
    Commands *m_commands = nullptr;
    bool m_unloaded = false;
    // The widget of this window that last had the keyboard focus.
    QPointer<QWidget> m_lastFocus;
};
