#pragma once

#include "viewer/hoverbox.h"

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
    QTimer *hoverTimer;
    ThumbnailArea *thumbnailArea;
    PlatformContext &context;
    ProgramState &state;
    // The viewer is shown (the box closes).
    std::function<bool()> viewerShown;
};

// The hover box of the thumbnails: armed by the first pointer move over a
// thumbnail, shown by the main window's hover timer 892 ms later, and cancelled
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
    void HoverTimerTicked();
    // Closes the box when it is loaded.
    void UnloadBox();
    // The box while it is loaded, else nullptr.
    HoverBox *box() const { return m_box && !m_box->isUnloaded() ? m_box.data() : nullptr; }

private:
    void LoadBox(HoverBox &box);

    HoverParts m_parts;
    ProgramState &m_state;
    QPointer<HoverBox> m_box;
    bool m_ticking = false;
};
