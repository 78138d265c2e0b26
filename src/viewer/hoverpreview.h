#pragma once

#include "viewer/tot.h"

#include <QObject>
#include <QPointer>

#include <functional>

class PlatformContext;
class QTimer;
class QWidget;
class ThumbnailArea;
struct ProgramState;

// What the hover box works on.
struct HoverParts
{
    // Gets the keyboard focus back; the box is placed from its position.
    QWidget *mainWindow;
    QTimer *Timer1;
    ThumbnailArea *BackPic;
    PlatformContext &context;
    ProgramState &state;
    // The viewer is shown (the box closes).
    std::function<bool()> viewerShown;
};

// The hover box of the thumbnails: armed by the first pointer move over a
// thumbnail, shown by the main window's Timer1 892 ms later, and cancelled
// by moves anywhere else, focus loss, a new selection or the viewer.
class HoverPreview : public QObject
{
    Q_OBJECT

public:
    explicit HoverPreview(const HoverParts &parts, QObject *parent = nullptr);
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

    HoverParts m_parts;
    ProgramState &m_state;
    QPointer<Tot> m_box;
    bool m_ticking = false;
};
