#pragma once

#include "about/aboutbox.h"
#include "settings/settingsdialog.h"

#include <QObject>
#include <QPointer>

#include <functional>

class CommandToolbar;
class Favourites;
class LoadGate;
class PlatformContext;
class QAction;
struct ProgramState;

// What the commands work on: the menu items and toolbar that give them, and
// what the windows they open work on.
struct CommandsParts
{
    // Closed by "閉じる(&C)"; its size is recorded for the About box.
    QWidget *mainWindow;
    QAction *settingsAction;
    QAction *organiseFavouritesAction;
    QAction *closeAction;
    QAction *helpAction;
    QAction *aboutAction;
    CommandToolbar *toolbar;
    // Its additions reach an open settings dialog.
    Favourites &favourites;
    PlatformContext &context;
    ProgramState &state;
    LoadGate &gate;
    SettingsDialogParts settingsDialog;
    AboutBoxParts aboutBox;
};

// The main window's menu and toolbar commands: open the selected picture,
// the settings dialog, close, help, the About box and the favourites menu.
class Commands : public QObject
{
    Q_OBJECT

public:
    explicit Commands(const CommandsParts &parts, QObject *parent = nullptr);
    ~Commands() override;

    void ToolbarMenuClicked(int position, int entry);

    void ShowSettingsDialog();
    void OpenHelpFile();
    // Records the main window's size, hides it with an animation of the
    // given length on "Windows 2000" and shows the About box.
    void ShowAboutBox(int milliseconds);
    void CloseProgram();

    // The dialog and the box while they are loaded, else nullptr.
    SettingsDialog *settingsDialog() const;
    AboutBox *aboutBox() const;
    // Closes the settings dialog when it is loaded (the stop box does it).
    void CloseSettingsDialog();

    const CommandsParts &parts() const { return m_parts; }

private:
    void ShowSettingsDialogNow();
    void ShowAboutBoxNow(int milliseconds);

    CommandsParts m_parts;
    ProgramState &m_state;
    QPointer<SettingsDialog> m_settings;
    QPointer<AboutBox> m_about;
};
