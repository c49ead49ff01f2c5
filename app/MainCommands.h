#pragma once
// What the main window's buttons, menus and keys do: still pictures, the overlays, the
// capture size, and opening, saving and deleting what the thumbnail list holds.

#include "app/MainCommandHost.h"
#include "app/mail/EmailDlg.h"
#include "app/settings/VideoSettingDlg.h"
#include "capture/FrameDelivery.h"
#include "media/PictureMetadata.h"
#include "media/PictureWriter.h"

#include <QEvent>
#include <QPointer>
#include <QString>

#include <array>

class CommandTable;
struct StillSaveResult;

// Posted to the main window to open the selected picture in Photo Measure or the selected
// video in the player, after the click that asked for it is handled.
class OpenSelectedEvent : public QEvent {
public:
    enum class Kind { Picture, Video };
    explicit OpenSelectedEvent(Kind kind) : QEvent(Type()), kind_(kind) {}
    Kind WhatToOpen() const { return kind_; }
    static QEvent::Type Type();

private:
    Kind kind_;
};

class MainCommands {
public:
    explicit MainCommands(MainCommandHost& host) : host_(host) {}

    // Each command with its text, keys, places and handler (MainCommandTable.cpp).
    void DeclareCommands(CommandTable& table);
    // The engine holds the frame for a still request.
    void OnCaptureStill(StillSource source);
    void OnOpenSelected(const OpenSelectedEvent& event);

    int Magnification() const { return magnification_; }
    const std::array<int, 4>& OverlayCounters() const { return overlayCounters_; }
    QString LastPicturePath() const { return lastPicturePath_; }
    // The magnification box was edited.
    void OnMagnificationEdited();
    // The devices changed: an open Video Setting dialog reads them again.
    void OnDeviceListChanged();
    const VideoPropertyRows& PropertyRows() const { return propertyRows_; }

private:
    void TakeStillPicture();
    // F6 and Capture -> All in focus: starts a stack, or ends it and saves the result as the
    // next still ("..._EDF_N0005"). Esc cancels it.
    void ToggleFocusStack();
    // F7 and Capture -> Mosaic: starts a mosaic, or ends it, assembles it and saves it as the
    // next still ("..._MOS_N0006"). Esc cancels it.
    void ToggleMosaic();
    // The pictures selected in the list stacked or laid out as a mosaic, saved as the next
    // still.
    void CombineSelectedPictures(bool mosaic);
    // The path saved to; empty when it could not be (the user was told).
    QString SaveAsNextStill(const QImage& picture, const QString& tag, PictureMetadata metadata, int magnification);
    // Tells the user a still could not be saved, and why.
    void ReportStillFailure(const StillSaveResult& result);
    // A stack's depth map beside the still `saved` ("..._N0005_depth.png"), when both are there.
    void SaveDepthMapBeside(const QString& saved, const QImage& depthMap, const PictureMetadata& metadata);
    void RunTimeLapse();
    void RunVideoSetting();
    void RunCalibrations();
    void RunFlatField();
    void ShowAbout();
    void MailSelected();
    // The depth map of All in focus, or the nominal scale of stills, on or off.
    void SwitchStillOption(int command);
    void SetStillFormat(PictureFormat format);
    // Esc: a stack or a mosaic is dropped (nothing saved), else full screen is left.
    void CancelOrLeaveFullScreen();
    void ReadMagnification();
    void SwitchOverlay(int command);
    void SwitchScaleBar();
    bool TakeScaleBarCalibration();
    void SetResolution(int width, int height);
    void OpenSelected();
    void SaveSelectedAs();
    QString SaveAsStartFolder(bool pictures) const;
    void DeleteSelected(bool all);
    void OpenPicture();
    void OpenVideo();
    bool SelectedPath(QString& path, bool useMessageCaption);

    QWidget* Parent() const { return &host_.HostWidget(); }

    MainCommandHost& host_;
    int magnification_ = 0;
    std::array<int, 4> overlayCounters_{};
    QString lastPicturePath_;
    QString lastSaveAsFolder_; // where the last successful Save as went
    MailAttachments attachments_;
    VideoPropertyRows propertyRows_ = MakeVideoPropertyRows();
    QPointer<CVideoSettingDlg> videoSetting_; // while it is open
    bool seriesRunning_ = false;              // a time-lapse series is open
    bool seriesFailureShown_ = false;         // and has told of a failed picture already
};
