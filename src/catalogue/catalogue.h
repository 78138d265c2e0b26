#pragma once

#include "catalogue/loadgate.h"
#include "catalogue/module1.h"

#include <QObject>

class Form1;
struct ProgramState;

// The catalogue of the main window: every rebuild of the thumbnails is
// ResetCatalogue, LoadThumbnails, ShowLoadResult. It also answers the
// change of File1's folder and the scroll bar VS1.
class Catalogue : public QObject
{
    Q_OBJECT

public:
    Catalogue(Form1 &mainWindow, ProgramState &state, QObject *parent = nullptr);

    void ResetCatalogue();
    void LoadThumbnails() { m_engine.LoadThumbnails(); }
    void ShowLoadResult();
    // The three steps of a rebuild.
    void Rebuild();

    // File1's folder changed.
    void FolderChanged();
    // VS1's value changed.
    void ScrollChanged(int value);
    void ReloadVisibleThumbs();

    // Top of the thumbnail area at a scroll value.
    static double AreaTopAt(int value, double cellHeight);

    // Requests that would change the folder or rebuild go through it.
    LoadGate &gate() { return m_gate; }

private:
    Form1 &m_main;
    ProgramState &m_state;
    LoadGate m_gate;
    Module1 m_engine;
};
