#pragma once

#include "pictures/frames.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

// Plays an animated picture's frames in the viewer and the full screen:
// each frame is decoded on a background thread while the one before shows,
// and handed over when its time has come (or as soon as it is decoded, when
// that takes longer). Frames are held two at a time, within the decoding
// budget; a picture of one frame plays nothing.
class AnimationPlayer : public QObject
{
    Q_OBJECT

public:
    using Show = std::function<void(const QImage &frame)>;

    explicit AnimationPlayer(QObject *parent = nullptr);
    ~AnimationPlayer() override;

    // Plays the file's frames through show, after stopping what played before.
    void play(const QByteArray &nativePath, Show show);
    void stop();
    // Holds the frame shown, or plays on from it.
    void togglePause();
    bool paused() const { return m_paused; }
    // Frames shown since play (tests read it).
    int framesShown() const { return m_shown; }

private:
    struct Playing;
    void fetch();
    void arrived(std::uint64_t generation, std::optional<Frames::Frame> frame);
    void showReady();

    std::shared_ptr<Playing> m_playing;
    std::uint64_t m_generation = 0;
    std::optional<Frames::Frame> m_ready;
    QTimer m_timer;
    Show m_show;
    int m_shown = 0;
    bool m_paused = false;
};
