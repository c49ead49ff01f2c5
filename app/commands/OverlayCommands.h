#pragma once
// What shows over the live picture: the four overlays, the scale bar of the magnification's
// calibration and focus peaking. User-interface thread.

#include "capture/Overlays.h"

#include <QString>

#include <array>

class CCaptureGraph;
class FocusMeter;
class QWidget;

// What the overlay commands need of the window.
class OverlayCommandHost {
public:
    virtual ~OverlayCommandHost() = default;
    virtual QWidget& HostWidget() = 0; // parent of the messages
    virtual QString MessageCaption() const = 0;
    virtual CCaptureGraph& Engine() const = 0;
    virtual FocusMeter& Focus() const = 0;
    virtual QString CalibrationPath() const = 0;
    virtual bool IsConnected() const = 0;
    // What the magnification box holds, as typed.
    virtual QString MagnificationText() const = 0;
};

class OverlayCommands {
public:
    explicit OverlayCommands(OverlayCommandHost& host) : host_(host) {}

    // One of the four overlays (cross line, coordinates, circles, time) on or off.
    void SwitchOverlay(int command);
    void SwitchScaleBar();
    void SwitchPeaking();
    // The magnification box was edited: a bar shown takes that magnification's scale.
    void OnMagnificationEdited();
    // What the menus tick.
    bool IsOn(bool OverlaySwitches::*which) const;
    bool PeakingOn() const;
    const std::array<int, 4>& Counters() const { return counters_; }

private:
    // The bar's scale from the calibration of the magnification in the box; false when
    // that magnification has none.
    bool TakeScaleBarCalibration();

    OverlayCommandHost& host_;
    std::array<int, 4> counters_{};
};
