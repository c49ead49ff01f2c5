#pragma once
// The full-screen preview: the live picture over the whole screen without the window's own
// controls, and the way back to the window exactly where it was.

#include <QElapsedTimer>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

class CCaptureGraph;
class QWidget;

class FullScreenMode {
public:
    // `showControls(false)` hides the window's own controls, `showControls(true)` brings them
    // back in their places.
    FullScreenMode(QWidget& window, QWidget& client, CCaptureGraph& engine, QSize windowSize, QRect previewRect,
                   std::function<void(bool)> showControls);

    bool IsActive() const { return active_; }
    void Enter();
    void Leave();
    // The window system says the window is full screen while the mode is not: a late echo
    // of the mode just left (a Wayland compositor answers after the window has moved on),
    // which is undone; or the window system's own doing, which enters the mode.
    void OnWindowFullScreenWithoutMode();
    // The window moved or changed size: where it stands at the skin's size, not maximised, is
    // the place to come back to. Read when the mode is entered, the window manager may already
    // have maximised it before telling so.
    void OnWindowPlaced();

private:
    QWidget& window_;
    QWidget& client_;
    CCaptureGraph& engine_;
    const QSize windowSize_;
    const QRect previewRect_;
    std::function<void(bool)> showControls_;
    bool active_ = false;
    QRect savedGeometry_;
    QRect normalGeometry_; // the last place at the skin's size
    QString savedTitle_;
    QElapsedTimer sinceLeft_; // how long ago the mode was left
};
