#pragma once

#include "platform/eventloops.h"

#include <QCloseEvent>

// A window of the program that goes by being unloaded. Unload runs the
// window's own steps (Unloading) once, hides it, and frees it once control
// is back in the outermost event loop (EventLoops::releaseWhenOutermost),
// so that no code of the window is freed while it still runs; code that
// yielded asks isUnloaded before it goes on. A close from the window
// manager runs CloseRequested, which unloads unless the window has another
// way of going.
//     class AboutBox : public UnloadingWindow<QWidget> { Q_OBJECT ... };
template <typename Base>
class UnloadingWindow : public Base
{
public:
    using Base::Base;

    void Unload()
    {
        if (m_unloaded)
            return;
        m_unloaded = true;
        Unloading();
        this->hide();
        EventLoops::releaseWhenOutermost(this);
    }
    bool isUnloaded() const { return m_unloaded; }

protected:
    // The window's own steps of going, before it is hidden.
    virtual void Unloading() {}
    virtual void CloseRequested() { Unload(); }

    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
        if (!m_unloaded)
            CloseRequested();
    }

private:
    bool m_unloaded = false;
};
