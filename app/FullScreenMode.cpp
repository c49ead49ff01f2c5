#include "app/FullScreenMode.h"

#include "framework/WindowSystem.h"

#include "capture/CaptureGraph.h"

#include <QScreen>
#include <QTimer>
#include <QWidget>

FullScreenMode::FullScreenMode(QWidget& window, QWidget& client, CCaptureGraph& engine, QSize windowSize,
                               QRect previewRect, std::function<void(bool)> showControls)
    : window_(window), client_(client), engine_(engine), windowSize_(windowSize), previewRect_(previewRect),
      showControls_(std::move(showControls))
{
}

void FullScreenMode::Enter()
{
    if (active_) return;
    // Maximised by the window manager on the way here: the place to come back to is the
    // last one at the skin's size (the window may have its maximised size before it is told
    // it is maximised).
    const bool normal = window_.size() == windowSize_ && !(window_.windowState() & Qt::WindowMaximized);
    savedGeometry_ = normal                      ? window_.geometry()
                     : normalGeometry_.isValid() ? normalGeometry_
                                                 : window_.normalGeometry();
    savedTitle_ = window_.windowTitle();
    active_ = true;
    showControls_(false);
    window_.setMinimumSize(0, 0);
    window_.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const QRect screen = window_.screen() ? window_.screen()->geometry() : QRect(QPoint(0, 0), windowSize_);
    window_.showFullScreen();
    // Under Wayland the compositor gives the full-screen size when it grants the state; a size
    // set before that (while it still holds the window maximised) breaks the protocol and
    // ends the connection.
    if (ProgramPlacesWindows()) window_.setGeometry(screen);
    client_.setGeometry(0, 0, screen.width(), screen.height());
    engine_.setGeometry(client_.rect());
    engine_.show();
    engine_.SetFullScreen(true);
    engine_.EnterFullScreen();
}

void FullScreenMode::Leave()
{
    if (!active_) return;
    active_ = false;
    sinceLeft_.start();
    window_.showNormal();
    window_.setMinimumSize(windowSize_);
    window_.resize(windowSize_);
    window_.setWindowTitle(savedTitle_);
    // Back where it was, where the program places windows; under Wayland the compositor
    // puts it back and only the size is ours.
    if (ProgramPlacesWindows()) window_.setGeometry(savedGeometry_);
    engine_.setGeometry(previewRect_);
    engine_.SetFullScreen(false);
    showControls_(true);
    window_.activateWindow();
    engine_.LeaveFullScreen();
    // The window system may still report the full-screen size after this; the remembered
    // placement is applied once more when it has settled.
    QTimer::singleShot(0, &window_, [this] {
        if (!active_ && ProgramPlacesWindows()) window_.setGeometry(savedGeometry_);
    });
}

void FullScreenMode::OnWindowFullScreenWithoutMode()
{
    if (active_) return;
    if (sinceLeft_.isValid() && sinceLeft_.elapsed() < 1500) {
        window_.showNormal();
        window_.resize(windowSize_);
        return;
    }
    Enter();
}

void FullScreenMode::OnWindowPlaced()
{
    if (!active_ && window_.size() == windowSize_ &&
        !(window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        normalGeometry_ = window_.geometry();
}
