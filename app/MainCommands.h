#pragma once
// What the window's capture commands do: still pictures, time-lapse, the capture size and
// the camera's settings, all in focus and the mosaic while the picture lives, and the
// settings of stills, calibrations and flat field. The list's commands and the overlays have
// classes of their own (app/commands/); every command is declared in MainCommandTable.cpp.

#include "app/MainCommandHost.h"
#include "app/settings/VideoSettingDlg.h"
#include "capture/FrameDelivery.h"
#include "media/PictureWriter.h"

#include <QPointer>

class CommandTable;
class ListCommands;
class LiveMeasureCommands;
class OverlayCommands;
class SharingCommands;
class StillKeeping;

class MainCommands {
public:
    MainCommands(MainCommandHost& host, StillKeeping& stills) : host_(host), stills_(stills) {}

    // The engine holds the frame for a still request.
    void OnCaptureStill(StillSource source);
    // The devices changed: an open Video Setting dialog reads them again.
    void OnDeviceListChanged();
    const VideoPropertyRows& PropertyRows() const { return propertyRows_; }

    // The commands.
    void TakeStillPicture();
    void RunTimeLapse();
    void SetResolution(int width, int height);
    void RunVideoSetting();
    // F6 and Capture -> All in focus: starts a stack, or ends it and saves the result as the
    // next still ("..._EDF_N0005"). Esc cancels it.
    void ToggleFocusStack();
    // F7 and Capture -> Mosaic: starts a mosaic, or ends it, assembles it and saves it as the
    // next still ("..._MOS_N0006"). Esc cancels it.
    void ToggleMosaic();
    // Esc: a stack or a mosaic is dropped (nothing saved); false when none runs.
    bool CancelStackOrMosaic();
    void LeaveFullScreen();
    void RunCalibrations();
    void RunFlatField();
    // The depth map of All in focus, or the nominal scale of stills, on or off.
    void SwitchStillOption(int command);
    void SetStillFormat(PictureFormat format);
    void ShowAbout();

private:
    QWidget* Parent() const { return &host_.HostWidget(); }

    MainCommandHost& host_;
    StillKeeping& stills_;
    VideoPropertyRows propertyRows_ = MakeVideoPropertyRows();
    QPointer<CVideoSettingDlg> videoSetting_; // while it is open
    bool seriesRunning_ = false;              // a time-lapse series is open
    bool seriesFailureShown_ = false;         // and has told of a failed picture already
};

// Every command of the main window, with its text, keys, places and handler.
void DeclareMainCommands(CommandTable& table, MainCommands& capture, ListCommands& list, OverlayCommands& overlays,
                         SharingCommands& sharing, LiveMeasureCommands& measure, MainCommandHost& host);
