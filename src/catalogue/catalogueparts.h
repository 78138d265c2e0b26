#pragma once

#include <functional>

class CommandToolbar;
class FileList;
class LoadGate;
class PictureBox;
class PlatformContext;
class QAction;
class QScrollBar;
class QWidget;
class StatusPanels;
class ThumbnailArea;
struct MainWindowState;
struct ProgramState;

// What the catalogue (the engine, the reset and status steps, the stop box)
// works on: the main window's widgets it drives and the services it uses.
// The main window fills it in; tests can fill it with loose widgets.
struct CatalogueParts
{
    // Disabled by the stop box, which is centred on its size.
    QWidget *mainWindow;
    FileList *fileList;
    ThumbnailArea *thumbnailArea;
    QScrollBar *scrollBar;
    StatusPanels *statusPanels;
    // Toolbar button 4 and the menu item openAction follow the selection.
    CommandToolbar *toolbar;
    QAction *openAction;
    // Its top bounds the area a reset leaves.
    const QWidget *treeView;
    // The preview pane, emptied by a reset.
    PictureBox *previewPicture;
    PlatformContext &context;
    ProgramState &state;
    MainWindowState &window;
    LoadGate &gate;
    // Closes the settings dialog when it is open (the stop box does it).
    std::function<void()> closeSettingsDialog;
};
