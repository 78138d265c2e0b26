#pragma once

#include <QObject>
#include <QPointer>

class Form1;
class Form4;
class Ver1;
struct ProgramState;

// The main window's menu and toolbar commands: open the selected picture,
// the settings dialog, close, help, the About box and the favourites menu.
class Commands : public QObject
{
    Q_OBJECT

public:
    Commands(Form1 &mainWindow, ProgramState &state, QObject *parent = nullptr);
    ~Commands() override;

    void ToolbarClicked(int position);
    void ToolbarMenuClicked(int position, int entry);

    void ShowSettingsDialog();
    void OpenHelpFile();
    // Records the main window's size, hides it with an animation of the
    // given length on "Windows 2000" and shows the About box.
    void ShowAboutBox(int milliseconds);
    void CloseProgram();

    // The dialog and the box while they are loaded, else nullptr.
    Form4 *settingsDialog() const;
    Ver1 *aboutBox() const;

private:
    void ShowSettingsDialogNow();

    Form1 &m_main;
    ProgramState &m_state;
    QPointer<Form4> m_settings;
    QPointer<Ver1> m_about;
};
