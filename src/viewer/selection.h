#pragma once

#include "platform/pictureloader.h"

#include <QObject>
#include <QPointer>
#include <QSizeF>

#include <cstdint>
#include <optional>

class Form1;
class Form3;
class HoverPreview;
struct ProgramState;

// Selecting a thumbnail and opening the viewer: a click highlights the cell
// and shows the picture in the preview pane, a double click (or the open
// command) shows it in the viewer window.
class Selection : public QObject
{
    Q_OBJECT

public:
    Selection(Form1 &mainWindow, ProgramState &state, HoverPreview &hover, QObject *parent = nullptr);
    ~Selection() override;

    void ThumbnailClicked(int i);
    void ThumbnailDoubleClicked(int i);
    void ShowSelectedPicture(int i);
    void OpenViewer(int i);

    // The viewer window while it is loaded, else nullptr.
    Form3 *viewer() const;

    // Preview pane limit: the larger side of the shown picture, in twips.
    static constexpr double PreviewLimit = 2600;
    // The preview's size for a picture of a natural size, in twips.
    static QSizeF PreviewSize(double width, double height);

private:
    std::optional<Picture> LoadForPreview(const QString &nativePath);
    std::optional<Picture> LoadForViewer(const Picture &held);
    Form3 &ReferViewer();
    QString CaptionFor(int i) const;
    void SetWaitPointer(bool wait);

    Form1 &m_main;
    ProgramState &m_state;
    HoverPreview &m_hover;
    QPointer<Form3> m_viewer;
    int m_loading = 0;
    int m_pendingOpen = -1;
    bool m_openingViewer = false;
};
