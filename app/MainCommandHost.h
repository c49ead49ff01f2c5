#pragma once
// What the capture commands need of the window: the engine and the recording, the processing
// steps they start and stop, the still settings, the parent for their dialogs and messages,
// and a few things only the window knows (its state, full screen).

#include "media/PictureMetadata.h"

#include <QImage>
#include <QString>

#include <vector>

class CCaptureGraph;
class CModalDialog;
class CRecordingControl;
class FlatFieldControl;
class LiveFocusStack;
class LiveMosaic;
class QWidget;
class StillFormatSetting;
struct MediaFolders;

class MainCommandHost {
public:
    virtual ~MainCommandHost() = default;
    // Parent of the commands' dialogs and messages.
    virtual QWidget& HostWidget() = 0;
    virtual QString MessageCaption() const = 0;
    virtual CCaptureGraph& Engine() const = 0;
    virtual CRecordingControl& Recording() const = 0;
    virtual const MediaFolders& Folders() const = 0;
    // The stage calibrations' file.
    virtual QString CalibrationPath() const = 0;
    virtual StillFormatSetting& StillFormat() const = 0;
    virtual FlatFieldControl& FlatField() const = 0;
    virtual LiveFocusStack& LiveStack() const = 0;
    virtual LiveMosaic& LiveMosaicStep() const = 0;
    virtual bool IsConnected() const = 0;
    virtual bool IsPreviewState() const = 0;
    virtual void RunDialog(CModalDialog& dialog) = 0;
    virtual void PlaySound(int soundId) = 0;
    virtual void ReturnToPreview() = 0;
    // The capture size was set: its read-out shows the new one.
    virtual void CaptureSizeChanged() = 0;
    virtual bool IsFullScreen() const = 0;
    virtual void LeaveFullScreen() = 0;
    // The shapes measured on the live picture, for the stills that keep them.
    virtual std::vector<OverlayShape> LiveShapes() const = 0;
    // Draws them into a still of the live picture.
    virtual void DrawLiveMeasurements(QImage& picture) const = 0;
};
