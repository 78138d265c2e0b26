#pragma once

#include "viewer/tot.h"

#include <QObject>
#include <QPointer>

#include <functional>

class Form1;
struct ProgramState;

// The hover box of the thumbnails: armed by the first pointer move over a
// thumbnail, shown by the main window's Timer1 892 ms later, and cancelled
// by moves anywhere else, focus loss, a new selection or the viewer.
class HoverPreview : public QObject
{
    Q_OBJECT

public:
    HoverPreview(Form1 &mainWindow, ProgramState &state, std::function<bool()> viewerShown,
                 QObject *parent = nullptr);
    ~HoverPreview() override;

    // Pointer move over thumbnail i at (x, y) twips within the control under it.
    void MovedOverThumbnail(int i, double x, double y);
    void CancelHover();
    void Timer1Tick();
    // Closes the box when it is loaded.
    void UnloadBox();
    // The box while it is loaded, else nullptr.
    Tot *box() const { return m_box && !m_box->isUnloaded() ? m_box.data() : nullptr; }

private:
    void LoadBox(Tot &box);

    Form1 &m_main;
    ProgramState &m_state;
    std::function<bool()> m_viewerShown;
    QPointer<Tot> m_box;
};
