#include "app/MainCommands.h"

#include "app/AboutDlg.h"
#include "app/Commands.h"
#include "app/ProgramPaths.h"
#include "app/commands/StillKeeping.h"
#include "app/recording/RecordingControl.h"
#include "app/settings/FlatFieldDlg.h"
#include "app/stills/StillFormatSetting.h"
#include "app/stills/StillPicture.h"
#include "app/timelapse/TimeLapseDlg.h"
#include "capture/CaptureGraph.h"
#include "framework/LangText.h"
#include "framework/Logging.h"
#include "framework/MessageBox.h"
#include "measure/CalibrationsDlg.h"
#include "measure/StageCalibration.h"
#include "processing/LiveFocusStack.h"
#include "processing/LiveMosaic.h"
#include "resources/Resources.h"
#include "widgets/WorkWithProgress.h"

#include <QApplication>

void MainCommands::TakeStillPicture()
{
    if (host_.IsPreviewState()) {
        host_.Engine().Stills().Request(StillSource::Keyboard);
        return;
    }
    ShowMessageBox(Parent(), LangText("BrowseToCamera", 100, "Please return to the preview state"),
                   QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
}

void MainCommands::OnCaptureStill(StillSource source)
{
    const int magnification = stills_.ReadMagnification();
    CCaptureGraph& engine = host_.Engine();
    StillFileOptions file{host_.StillFormat().Format(), {}, {}};
    if (file.format != PictureFormat::Bmp) {
        // The file carries the scale of the magnification's calibration and the microscope.
        file.metadata = stills_.Describe({}, magnification, engine.CaptureSize());
        if (const CaptureDevice* device = engine.Devices().Current())
            file.metadata.microscope = QString::fromStdU16String(device->friendlyName);
        // What was measured on the live picture goes with it, as shapes (a TIFF's overlay).
        file.metadata.overlay = host_.LiveShapes();
    }
    // Drawn into the pixels when the user chose so, and always where the file cannot keep
    // them as shapes (BMP, PNG).
    if (!host_.LiveShapes().empty() && (host_.StillFormat().DrawMeasurements() || file.format != PictureFormat::Tiff))
        file.drawOver = [this](QImage& picture) { host_.DrawLiveMeasurements(picture); };
    const StillSaveResult result = SaveStillPicture(
        engine.CurrentFrame(), engine.Stills(), host_.Folders().picture, magnification, QDateTime::currentDateTime(),
        [this] {
            ShowMessageBox(Parent(), LangText("PictureError", 64, "Picture Error"), QApplication::applicationName());
        },
        file);
    if (result.outcome == StillSaveResult::Saved) {
        stills_.Kept(result.path);
        if (source == StillSource::CameraButton || host_.Recording().IsRecording()) engine.RestartPreview();
    } else if (result.outcome == StillSaveResult::Failed && !(seriesRunning_ && seriesFailureShown_)) {
        // A picture the user asked for and did not get must not go unnoticed; a series that
        // keeps failing says so once.
        seriesFailureShown_ = seriesRunning_;
        stills_.ReportFailure(result);
    }
    host_.PlaySound(IDW_SHUTTER);
}

void MainCommands::RunTimeLapse()
{
    if (!host_.IsPreviewState()) {
        ShowMessageBox(Parent(), LangText("BrowseToTimer", 100, "Please return to the preview state"),
                       QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
    CTimeLapseDlg dialog(host_.Engine(), Parent());
    seriesRunning_ = true;
    seriesFailureShown_ = false;
    host_.RunDialog(dialog);
    seriesRunning_ = false;
}

void MainCommands::SetResolution(int width, int height)
{
    if (host_.Engine().CaptureSize() != QSize(width, height)) host_.Recording().FinishBeforeStreamChange();
    host_.Engine().SetResolution(width, height);
    host_.CaptureSizeChanged();
}

void MainCommands::RunVideoSetting()
{
    CVideoSettingDlg dialog(
        host_.Engine(), propertyRows_, [this](int width, int height) { SetResolution(width, height); }, Parent());
    dialog.beforeDeviceChange = [this] { host_.Recording().FinishBeforeStreamChange(); };
    videoSetting_ = &dialog;
    host_.RunDialog(dialog);
    videoSetting_.clear();
}

void MainCommands::OnDeviceListChanged()
{
    if (videoSetting_) videoSetting_->FillVideoSettingDialog();
}

void MainCommands::ToggleFocusStack()
{
    LiveFocusStack& stack = host_.LiveStack();
    if (!stack.Running()) {
        if (host_.IsConnected() && !host_.LiveMosaicStep().Running())
            stack.Start(LangText("StackSizeChanged", 100, "The capture size changed: stop to save the stack"));
        return;
    }
    QImage depthMap;
    const QImage result = stack.Stop(host_.StillFormat().DepthMap() ? &depthMap : nullptr);
    if (result.isNull()) return;
    const int magnification = stills_.ReadMagnification();
    const PictureMetadata metadata = stills_.Describe({}, magnification, result.size());
    const QString saved = stills_.SaveAsNext(result, QStringLiteral("EDF"), metadata, magnification);
    stills_.SaveDepthMapBeside(saved, depthMap, metadata);
}

void MainCommands::ToggleMosaic()
{
    LiveMosaic& live = host_.LiveMosaicStep();
    if (!live.Running()) {
        if (!host_.IsConnected() || host_.LiveStack().Running()) return;
        live.Start({LangText("MosaicLost", 100, "Tracking lost: go back over a covered area"),
                    LangText("MosaicBlank", 100, "Nothing to follow here: go back over a covered area"),
                    LangText("MosaicSizeLimit", 100, "The mosaic has reached its size limit: stop to save it"),
                    LangText("MosaicSizeChanged", 100, "The capture size changed: stop to save the mosaic")});
        return;
    }
    const std::unique_ptr<Mosaic> mosaic = live.Stop();
    if (!mosaic) return;
    if (mosaic->KeyCount() < 2) {
        // One picture is no mosaic: nothing is saved, and the user learns why.
        ShowMessageBox(
            Parent(),
            LangText("MosaicNotMoved", 100, "The view did not move over the sample: there is no mosaic to save."),
            host_.MessageCaption(), MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    Mosaic::Assembled assembled;
    if (!RunWithProgress(Parent(), LangText("MosaicAssembling", 100, "Assembling the mosaic..."),
                         LangText("Cancel", 64, "Cancel"),
                         [&](const ProgressReport& report) { assembled = mosaic->Assemble(report); }) ||
        assembled.picture.isNull())
        return;
    // The mosaic has the frames' scale: that of the magnification's calibration at their size.
    const int magnification = stills_.ReadMagnification();
    const PictureMetadata metadata = stills_.Describe({}, magnification, mosaic->FrameSize());
    stills_.SaveAsNext(assembled.picture, QStringLiteral("MOS"), metadata, magnification);
}

bool MainCommands::CancelStackOrMosaic()
{
    if (host_.LiveStack().Running()) host_.LiveStack().Cancel();
    else if (host_.LiveMosaicStep().Running()) host_.LiveMosaicStep().Cancel();
    else return false;
    return true;
}

void MainCommands::LeaveFullScreen()
{
    if (host_.IsFullScreen())
        QMetaObject::invokeMethod(
            Parent(), [this] { host_.LeaveFullScreen(); }, Qt::QueuedConnection);
}

void MainCommands::RunCalibrations()
{
    CalibrationStore store(host_.CalibrationPath());
    CCalibrationsDlg dialog(store, Parent());
    host_.RunDialog(dialog);
}

void MainCommands::RunFlatField()
{
    CFlatFieldDlg dialog(host_.FlatField(), Parent());
    host_.RunDialog(dialog);
}

void MainCommands::SwitchStillOption(int command)
{
    StillFormatSetting& still = host_.StillFormat();
    QString error;
    const bool kept = command == ID_CAPTURE_DEPTH_MAP ? still.SetDepthMap(!still.DepthMap(), &error)
                      : command == ID_MEASURE_DRAW_INTO_STILLS
                          ? still.SetDrawMeasurements(!still.DrawMeasurements(), &error)
                          : still.SetNominalScale(!still.NominalScale(), &error);
    if (!kept) qCWarning(lcMedia) << "the still setting could not be remembered:" << error;
}

void MainCommands::SetStillFormat(PictureFormat format)
{
    QString error;
    if (!host_.StillFormat().SetFormat(format, &error))
        qCWarning(lcMedia) << "the still format could not be remembered:" << error;
}

void MainCommands::ShowAbout()
{
    CAboutDlg about(Parent());
    about.DoModal();
}
