#pragma once

#include "app/mainwindow.h"
#include "core/programstate.h"
#include "sandbox.h"

// The program's main window on a sandbox, loaded as the program starts it;
// the windows it closed are freed with it. Tests add their own steps:
//     struct Browser : LoadedWindow { using LoadedWindow::LoadedWindow; ... };
struct LoadedWindow
{
    explicit LoadedWindow(Sandbox &sandbox) : form(*sandbox.context, state) { form.Load(); }
    ~LoadedWindow() { FreeClosedWindows(); }
    LoadedWindow(const LoadedWindow &) = delete;
    LoadedWindow &operator=(const LoadedWindow &) = delete;

    ProgramState state;
    MainWindow form;
};
